// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/transfer_status_dialog.h"

#include "remote/operation_runner.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

constexpr long long kMaximumSteps = std::numeric_limits<int>::max();

long long NowSeconds()
{
    // Whole seconds of a clock that never jumps, so a changed system time cannot give a negative
    // or huge rate.
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ProgressBarScale ScaleForTotal(long long total)
{
    if (total <= 1000)
        return {static_cast<int>(std::max(total, 0LL)), 0};
    long long step = 1000;
    while (total / step > kMaximumSteps)
        step *= 1000;
    return {static_cast<int>(total / step), step};
}

int BarPosition(const ProgressBarScale& scale, long long done)
{
    if (scale.bytesPerStep == 0 || done <= 0)
        return 0;
    // A server may announce less than it sends; the bar stops at its end.
    return static_cast<int>(std::min(done / scale.bytesPerStep, static_cast<long long>(scale.maximum)));
}

QString TransferStatusText(long long done, long long total, long long elapsedSeconds, long long resumedFrom)
{
    if (done <= 0)
        return QStringLiteral("Starting File Transfer");
    const double moved = static_cast<double>(done - resumedFrom);
    const double rate = elapsedSeconds > 0 ? moved / static_cast<double>(elapsedSeconds) : 1024.0;
    const long long doneK = done / 1024;
    const long long totalK = total / 1024;
    if (rate < 1024.0)
        return QString::asprintf("Transferred %lldK of %lldK: %.0f bytes per second", doneK, totalK, rate);
    return QString::asprintf("Transferred %lldK of %lldK: %.1fK per second", doneK, totalK, rate / 1024.0);
}

CTransferStatusDialog::CTransferStatusDialog(OperationRunner& runner, const QString& text, QWidget* parent)
    : CWaitingDialog(runner, parent)
    , bar(new QProgressBar)
    , statusLine(new QLabel)
    , filesLine(new QLabel)
    , startTime(NowSeconds())
{
    setWindowTitle(QStringLiteral("File Transfer Status"));
    bar->setTextVisible(false);
    statusLine->setObjectName(QStringLiteral("statusLine"));
    filesLine->setObjectName(QStringLiteral("filesLine"));
    filesLine->hide();  // shown for a copy of many files only

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text));
    layout->addWidget(bar);
    layout->addWidget(statusLine);
    layout->addWidget(filesLine);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

void CTransferStatusDialog::ShowProgress()
{
    const auto [total, done, filesTotal, filesDone, resumedFrom] = Runner().TransferProgress();
    if (filesTotal > 0) {
        filesLine->setText(QStringLiteral("%1 of %2 files done").arg(filesDone).arg(filesTotal));
        filesLine->show();
    }
    if (total <= 0)
        return;  // the size is not known (yet): nothing to show

    // A whole directory copy's total grows while its tree is walked.
    const bool first = !scale;
    if (first || total != scaledTotal) {
        scale = ScaleForTotal(total);
        scaledTotal = total;
        bar->setRange(0, scale->maximum);
    }
    if (!first)
        bar->setValue(BarPosition(*scale, done));

    const long long now = NowSeconds();
    if (lastTextTime == now)
        return;
    statusLine->setText(TransferStatusText(done, total, now - startTime, resumedFrom));
    lastTextTime = now;
}
