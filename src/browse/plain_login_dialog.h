#pragma once
// CPlainLoginDialog ("No Encryption"): asked before a password goes in plain text to a server that
// refused TLS and has never spoken it here, for a site that takes TLS if available. Its result is
// the answer: kSendOnce, kPlainAlways (the site is set to "Only use plain FTP"), or Rejected for
// "Cancel".

#include "ftp/peer_certificate.h"

#include <QDialog>

#include <string>

class CPlainLoginDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPlainLoginDialog)

public:
    static constexpr int kSendOnce = 1;
    static constexpr int kPlainAlways = 2;

    // `server` is "host:port".
    CPlainLoginDialog(const std::string& server, QWidget* parent);

    // The dialog's result as the engine's answer.
    static TrustAnswer AnswerOf(int result);
};
