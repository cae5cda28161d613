// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CWaitingDialog: the modal wait for a background operation. It looks at the session's
// `workerBusy` (or what `busy` tells) every 500 ms and whenever it is woken, ends with Accepted the
// first time it finds the work done, and with Rejected on Cancel (the caller then stops the work).

#include <QDialog>

#include <functional>

class OperationRunner;
class QTimer;

class CWaitingDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWaitingDialog)

public:
    CWaitingDialog(OperationRunner& runner, QWidget* parent);
    // A wait for work of the window thread's own, which `busy` looks at.
    CWaitingDialog(std::function<bool()> busy, QWidget* parent);

public slots:
    // Looks at the worker now; the front end calls it the moment a worker ends.
    void Wake();
    void done(int result) override;

protected:
    // Runs on every look that finds the worker still busy.
    virtual void ShowProgress() {}
    OperationRunner& Runner() const { return *runner; }

private:
    OperationRunner* runner = nullptr;
    std::function<bool()> busy;
    QTimer* timer;
    bool closing = false;
};
