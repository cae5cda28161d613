// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CCertificateDialog ("Server Certificate"): asked when the system's trust store does not vouch
// for a server's certificate (self-signed, expired, another name) or when a certificate the user
// trusted has changed. It shows what the certificate says and why it failed; its result is the
// answer (trust_answer_buttons.h).

#include "remote/peer_certificate.h"

#include <QDialog>

class CCertificateDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCertificateDialog)

public:
    CCertificateDialog(const CertificateQuestion& question, QWidget* parent);
};
