// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CTransferStatusDialog ("File Transfer Status"): the wait for one file transfer, or for a whole
// directory copy over several connections. Under the caller's text line ("Retrieving name From
// host", "Sending name To host") it shows a bar and, at most once a second, how much has moved and
// how fast; for a copy also how many of its files are done. It only reads the session's progress
// counters.

#include "ui/waiting_dialog.h"

#include <QString>

#include <optional>

class QLabel;
class QProgressBar;

// The bar counts steps of `bytesPerStep` bytes (1000, or a larger power of 1000 for totals whose
// thousands do not fit an int). A total of at most 1000 bytes has no steps: its bar never moves.
struct ProgressBarScale {
    int maximum = 0;
    long long bytesPerStep = 0;
};
ProgressBarScale ScaleForTotal(long long total);
int BarPosition(const ProgressBarScale& scale, long long done);

// "Starting File Transfer" before the first byte, then done and total in K and the rate since the
// dialog opened (taken as 1024 bytes per second while no whole second has passed). The rate leaves
// out `resumedFrom`, the bytes of `done` an earlier try moved.
QString TransferStatusText(long long done, long long total, long long elapsedSeconds, long long resumedFrom = 0);

class CTransferStatusDialog final : public CWaitingDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTransferStatusDialog)

public:
    CTransferStatusDialog(OperationRunner& runner, const QString& text, QWidget* parent);

protected:
    void ShowProgress() override;

private:
    QProgressBar* bar;
    QLabel* statusLine;
    QLabel* filesLine;  // "12 of 500 files done", for a whole directory copy
    long long startTime;
    std::optional<ProgressBarScale> scale;  // set by the first look that knows the total
    long long scaledTotal = 0;              // the total `scale` was made for
    std::optional<long long> lastTextTime;  // the second of the last status line
};
