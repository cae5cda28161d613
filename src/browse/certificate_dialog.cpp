// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/certificate_dialog.h"

#include "browse/trust_answer_buttons.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
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

CCertificateDialog::CCertificateDialog(const CertificateQuestion& question, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Server Certificate"));
    const QString server = QString::fromStdString(question.server);
    const PeerCertificate& certificate = question.certificate;

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        question.changed ? QStringLiteral("The certificate of %1 has changed since you trusted it. Someone may be "
                                          "posing as the server, or the server has a new certificate.")
                               .arg(server)
                         : QStringLiteral("The certificate of %1 could not be verified. Trust it only if you know it "
                                          "is the server's.")
                               .arg(server),
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

    AddTrustAnswers(*this, *layout,
                    {{QStringLiteral("Trust this certificate &always"), TrustAnswer::Always},
                     {QStringLiteral("Trust &once"), TrustAnswer::Once}});
}
