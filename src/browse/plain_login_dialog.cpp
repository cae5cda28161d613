// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/plain_login_dialog.h"

#include "browse/trust_answer_buttons.h"

#include <QLabel>
#include <QVBoxLayout>

CPlainLoginDialog::CPlainLoginDialog(const std::string& server, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("No Encryption"));
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(QStringLiteral("%1 does not offer encryption. Send the password in plain text?")
                                    .arg(QString::fromStdString(server)),
                                this);
    auto* detail = new QLabel(QStringLiteral("Anyone on the way can read it. \"Always for this site\" sets the "
                                             "site to \"Only use plain FTP\", and this is not asked again."),
                              this);
    for (QLabel* label : {question, detail}) {
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    AddTrustAnswers(*this, *layout,
                    {{QStringLiteral("&Send this time"), TrustAnswer::Once},
                     {QStringLiteral("&Always for this site"), TrustAnswer::Always}});
}
