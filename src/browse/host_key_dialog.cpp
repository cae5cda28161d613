// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/host_key_dialog.h"

#include "browse/trust_answer_buttons.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

CHostKeyDialog::CHostKeyDialog(const HostKeyQuestion& question, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Unknown Host Key"));
    auto* layout = new QVBoxLayout(this);
    auto* heading =
        new QLabel(QStringLiteral("The host key of %1 is not in ~/.ssh/known_hosts. Trust it only if you know it is "
                                  "the server's: compare the fingerprint with the one its administrator gives.")
                       .arg(QString::fromStdString(question.server)),
                   this);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto* fields = new QFormLayout;
    auto* type = new QLabel(QString::fromStdString(question.keyType), this);
    auto* fingerprint = new QLabel(QString::fromStdString(question.fingerprint), this);
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (QLabel* value : {type, fingerprint})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fields->addRow(QStringLiteral("Key type:"), type);
    fields->addRow(QStringLiteral("Fingerprint:"), fingerprint);
    layout->addLayout(fields);

    AddTrustAnswers(*this, *layout,
                    {{QStringLiteral("Trust and &remember"), TrustAnswer::Always},
                     {QStringLiteral("Trust &once"), TrustAnswer::Once}});
}
