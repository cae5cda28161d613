#pragma once
// CConnectingDialog ("Connecting"): the wait while the connect worker runs. It ends with Accepted
// once the worker is idle and with Rejected when the user cancels; stopping a cancelled worker is
// the caller's part.

#include <QDialog>

#include <string>

class CFtpSession;
class QTimer;
struct COperationStatus;

class CConnectingDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConnectingDialog)

public:
    CConnectingDialog(CFtpSession& session, const std::string& host, QWidget* parent = nullptr);

public slots:
    // Ends the dialog if the worker is idle. Runs every 500 ms; the front end also calls it
    // (queued) the moment a worker ends, so a quick connect does not wait for the next tick.
    void Wake();
    void done(int result) override;

private:
    COperationStatus& status;
    QTimer* timer = nullptr;
    bool finished = false;
};
