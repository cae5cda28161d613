#pragma once
// CCertificateDialog ("Server Certificate"): asked when the system's trust store does not vouch
// for a server's certificate (self-signed, expired, another name) or when a certificate the user
// trusted has changed. It shows what the certificate says and why it failed; its result is the
// answer: kTrustAlways, kTrustOnce, or Rejected for "Cancel".

#include "ftp/peer_certificate.h"

#include <QDialog>

class CCertificateDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCertificateDialog)

public:
    static constexpr int kTrustOnce = 1;
    static constexpr int kTrustAlways = 2;

    CCertificateDialog(const CertificateQuestion& question, QWidget* parent);

    // The dialog's result as the engine's answer.
    static TrustAnswer AnswerOf(int result);
};
