#include "browse/plain_login_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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

    auto* once = new QPushButton(QStringLiteral("&Send this time"), this);
    auto* always = new QPushButton(QStringLiteral("&Always for this site"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    // Return alone sends nothing: the dialog opens with the focus on "Cancel", its default.
    once->setAutoDefault(false);
    always->setAutoDefault(false);
    cancel->setDefault(true);
    cancel->setFocus();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {once, always, cancel})
        buttons->addWidget(button);
    layout->addLayout(buttons);
    connect(once, &QPushButton::clicked, this, [this] { done(kSendOnce); });
    connect(always, &QPushButton::clicked, this, [this] { done(kPlainAlways); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TrustAnswer CPlainLoginDialog::AnswerOf(int result)
{
    switch (result) {
    case kSendOnce: return TrustAnswer::Once;
    case kPlainAlways: return TrustAnswer::Always;
    default: return TrustAnswer::Refuse;
    }
}
