#include "sites/connecting_dialog.h"

#include "ftp/ftp_session.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <mutex>

namespace {

constexpr int kPollMilliseconds = 500;

} // namespace

CConnectingDialog::CConnectingDialog(CFtpSession& session, const std::string& host, QWidget* parent)
    : QDialog(parent)
    , status(session.operationStatus)
{
    setWindowTitle(QStringLiteral("Connecting"));

    // A busy bar: it moves for as long as the connect takes.
    auto* indicator = new QProgressBar(this);
    indicator->setRange(0, 0);
    indicator->setTextVisible(false);
    auto* text = new QLabel(QStringLiteral("Connecting to host: ") + QString::fromStdString(host), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConnectingDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(indicator);
    layout->addWidget(text);
    layout->addWidget(buttons);

    timer = new QTimer(this);
    timer->setInterval(kPollMilliseconds);
    connect(timer, &QTimer::timeout, this, &CConnectingDialog::Wake);
    timer->start();
}

void CConnectingDialog::Wake()
{
    if (finished)
        return;
    {
        std::lock_guard guard(status.lock);
        if (status.workerBusy)
            return;
    }
    done(Accepted);
}

void CConnectingDialog::done(int result)
{
    // Either way out stops the polling, and a wake-up still queued finds the dialog finished.
    finished = true;
    timer->stop();
    QDialog::done(result);
}
