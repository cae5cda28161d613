// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/waiting_dialog.h"

#include "remote/operation_runner.h"

#include <QTimer>

#include <utility>

namespace {

constexpr int kPollMilliseconds = 500;

}  // namespace

CWaitingDialog::CWaitingDialog(OperationRunner& runner, QWidget* parent)
    : CWaitingDialog([&runner] { return runner.WorkerBusy(); }, parent)
{
    this->runner = &runner;
}

CWaitingDialog::CWaitingDialog(std::function<bool()> busy, QWidget* parent)
    : QDialog(parent)
    , busy(std::move(busy))
    , timer(new QTimer(this))
{
    setModal(true);
    connect(timer, &QTimer::timeout, this, &CWaitingDialog::Wake);
    timer->start(kPollMilliseconds);
}

void CWaitingDialog::Wake()
{
    // A wake-up can still arrive after the dialog has decided to close.
    if (closing)
        return;
    if (!busy()) {
        // Closing at once keeps the finished state (a full bar) from ever showing.
        accept();
        return;
    }
    ShowProgress();
}

void CWaitingDialog::done(int result)
{
    // Either way out is final: a cancelled wait never turns into a finished one.
    closing = true;
    timer->stop();
    QDialog::done(result);
}
