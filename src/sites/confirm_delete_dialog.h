// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CConfirmDeleteDialog ("Delete"): asks before anything is deleted, with the caller's message.
// "Yes" ends it with Accepted; "No", Escape and the close box with Rejected.

#include <QDialog>

#include <string>
#include <vector>

class CConfirmDeleteDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConfirmDeleteDialog)

public:
    explicit CConfirmDeleteDialog(const QString& message, QWidget* parent = nullptr);
};

// The question before `names` are deleted: the one name, or how many there are.
QString DeleteQuestion(const std::vector<std::string>& names);
