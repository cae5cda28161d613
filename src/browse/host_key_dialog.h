// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CHostKeyDialog ("Unknown Host Key"): asked when an SSH server's host key is in none of the
// user's known hosts. It shows the key type and fingerprint for the user to compare with what the
// server's administrator gives; its result is the answer (trust_answer_buttons.h), and "Always"
// adds the key to ~/.ssh/known_hosts.

#include "remote/host_key.h"

#include <QDialog>

class CHostKeyDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHostKeyDialog)

public:
    CHostKeyDialog(const HostKeyQuestion& question, QWidget* parent);
};
