#include "browse/certificate_dialog.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* Value(const std::string& text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CCertificateDialog::CCertificateDialog(const CertificateQuestion& question, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Server Certificate"));
    const QString server = QString::fromStdString(question.server);
    const PeerCertificate& certificate = question.certificate;

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        question.changed
            ? QStringLiteral("The certificate of %1 has changed since you trusted it. Someone may be "
                             "posing as the server, or the server has a new certificate.").arg(server)
            : QStringLiteral("The certificate of %1 could not be verified. Trust it only if you know it "
                             "is the server's.").arg(server),
        this);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Reason:"), Value(certificate.problem, this));
    fields->addRow(QStringLiteral("Subject:"), Value(certificate.subject, this));
    fields->addRow(QStringLiteral("Issuer:"), Value(certificate.issuer, this));
    fields->addRow(QStringLiteral("Valid from:"), Value(certificate.notBefore, this));
    fields->addRow(QStringLiteral("Valid until:"), Value(certificate.notAfter, this));
    QLabel* fingerprint = Value(certificate.fingerprint, this);
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    fields->addRow(QStringLiteral("SHA-256 fingerprint:"), fingerprint);
    layout->addLayout(fields);

    auto* always = new QPushButton(QStringLiteral("Trust this certificate &always"), this);
    auto* once = new QPushButton(QStringLiteral("Trust &once"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    // Nothing is trusted by pressing Return alone: a focused button would take Return itself, so
    // the trust buttons never do and the dialog opens with the focus on "Cancel".
    always->setAutoDefault(false);
    once->setAutoDefault(false);
    cancel->setDefault(true);
    cancel->setFocus();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {always, once, cancel})
        buttons->addWidget(button);
    layout->addLayout(buttons);
    connect(always, &QPushButton::clicked, this, [this] { done(kTrustAlways); });
    connect(once, &QPushButton::clicked, this, [this] { done(kTrustOnce); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TrustAnswer CCertificateDialog::AnswerOf(int result)
{
    switch (result) {
    case kTrustAlways: return TrustAnswer::Always;
    case kTrustOnce: return TrustAnswer::Once;
    default: return TrustAnswer::Refuse;
    }
}
