// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CPlainLoginDialog ("No Encryption"): asked before a password goes in plain text to a server that
// refused TLS and has never spoken it here, for a site that takes TLS if available. Its result is
// the answer (trust_answer_buttons.h); "Always" sets the site to "Only use plain FTP".

#include <QDialog>

#include <string>

class CPlainLoginDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPlainLoginDialog)

public:
    // `server` is "host:port".
    CPlainLoginDialog(const std::string& server, QWidget* parent);
};
