// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/trust_answer_buttons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

void AddTrustAnswers(QDialog& dialog, QBoxLayout& layout,
                     std::initializer_list<std::pair<QString, TrustAnswer>> answers)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    // A focused button would take Return itself: the answers never do, and the dialog opens with
    // the focus on "Cancel".
    for (const auto& [text, answer] : answers) {
        auto* button = new QPushButton(text, &dialog);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, &dialog,
                         [&dialog, answer = answer] { dialog.done(static_cast<int>(answer)); });
        buttons->addWidget(button);
    }
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setDefault(true);
    cancel->setFocus();
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    buttons->addWidget(cancel);
    layout.addLayout(buttons);
}

TrustAnswer TrustAnswerOf(int result)
{
    switch (result) {
    case static_cast<int>(TrustAnswer::Once): return TrustAnswer::Once;
    case static_cast<int>(TrustAnswer::Always): return TrustAnswer::Always;
    default: return TrustAnswer::Refuse;
    }
}
