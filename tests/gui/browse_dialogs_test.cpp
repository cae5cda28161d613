// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/certificate_dialog.h"
#include "browse/create_directory_dialog.h"
#include "browse/file_properties_dialog.h"
#include "browse/gui_operation_host.h"
#include "browse/host_key_dialog.h"
#include "browse/permissions_dialog.h"
#include "browse/remote_view.h"
#include "browse/transfer_status_dialog.h"
#include "browse/trust_answer_buttons.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "remote/operation_runner.h"
#include "support/test_prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;

void Press(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    dialog.findChild<QDialogButtonBox*>()->button(which)->click();
}

void SetProgress(CFtpSession& session, long long total, long long done)
{
    session.operations.SetTransferTotal(total);
    session.operations.SetTransferDone(done);
}

// A worker that does nothing until it is told to end: the session is busy as long as it runs.
class IdleWorker final {
public:
    explicit IdleWorker(CFtpSession& session)
        : thread(session.operations.Start([done = finish.get_future().share()] { done.wait(); }))
    {}
    ~IdleWorker() { End(); }
    IdleWorker(const IdleWorker&) = delete;
    IdleWorker& operator=(const IdleWorker&) = delete;

    void End()
    {
        if (!thread.joinable())
            return;
        finish.set_value();
        thread.join();
    }

private:
    std::promise<void> finish;
    std::thread thread;
};

}  // namespace

class BrowseDialogsTest : public QObject {
    Q_OBJECT

private slots:
    // Return alone never trusts a certificate, whichever button has the focus when the dialog opens.
    void returnInTheCertificateDialogTrustsNothing()
    {
        CertificateQuestion question;
        question.server = "127.0.0.1:990";
        question.certificate.subject = "CN=walk";
        question.certificate.problem = "self-signed certificate";
        CCertificateDialog dialog(question, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dialog, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(TrustAnswerOf(dialog.result()), TrustAnswer::Refuse);
        QVERIFY(dialog.isHidden());
    }

    void hostKeyDialogNamesTheKeyAndAnswers()
    {
        const HostKeyQuestion question{"[127.0.0.1]:2222", "ssh-ed25519",
                                       "SHA256:nThbg6kXUpJWGl7E1IGOCspRomTxdCARLviKw6E5SY8"};
        const std::pair<const char*, TrustAnswer> rows[] = {{"Trust and &remember", TrustAnswer::Always},
                                                            {"Trust &once", TrustAnswer::Once},
                                                            {"Cancel", TrustAnswer::Refuse}};
        for (const auto& [button, answer] : rows) {
            CHostKeyDialog dialog(question, nullptr);
            QString shown;
            for (const QLabel* label : dialog.findChildren<QLabel*>())
                shown += label->text() + u'\n';
            for (const std::string& part :
                 {question.server, question.keyType, question.fingerprint, std::string("~/.ssh/known_hosts")})
                QVERIFY2(shown.contains(QString::fromStdString(part)), qPrintable(shown));
            for (QPushButton* push : dialog.findChildren<QPushButton*>()) {
                if (push->text() == QLatin1String(button))
                    push->click();
            }
            QCOMPARE(TrustAnswerOf(dialog.result()), answer);
        }
    }

    // A cancelled connect releases a worker that waits for a passphrase, whether the question was on
    // its way to the window or came after the cancel; the next connect asks again.
    void passphraseQuestionsAndACancelledConnect()
    {
        EngineSettings settings;
        FtpRemoteSession remote{settings};
        CFtpSession& session = remote.Ftp();
        CGuiOperationHost host(nullptr);
        session.operations.host = &host;
        TestPrompter prompter;
        const std::string keyFile = "/home/walk/.ssh/id_ed25519";
        std::atomic<bool> started = false;
        for (const bool askAfterCancel : {false, true}) {
            started = false;
            prompter.onDialog = [&started](QDialog&) {
                while (!started)
                    std::this_thread::sleep_for(1ms);
                std::this_thread::sleep_for(50ms);  // the question is on its way to this thread
                return int(QDialog::Rejected);
            };
            std::optional<std::string> answer = "unanswered";
            std::thread worker = session.operations.Start([&] {
                started = true;
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (askAfterCancel && !session.interrupted && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
                answer = host.AskPassphrase(keyFile);
            });
            QVERIFY(!session.operations.Wait(worker, WaitKind::Connecting, "127.0.0.1"));
            QVERIFY(!answer);
            session.interrupted = 0;  // as a new connect leaves it
        }
        QCoreApplication::processEvents();  // a question that arrives late shows nothing
        QCOMPARE(prompter.dialogs, std::vector<QString>(2, QStringLiteral("Connecting")));

        const std::pair<QDialogButtonBox::StandardButton, std::optional<std::string>> rows[] = {
            {QDialogButtonBox::Ok, "secret"}, {QDialogButtonBox::Cancel, std::nullopt}};
        for (const auto& [press, expected] : rows) {
            prompter.onDialog = [press = press, &keyFile](QDialog& dialog) {
                if (dialog.windowTitle() != QStringLiteral("Key Passphrase"))
                    return dialog.exec();
                // Typed only into a hidden field under a text that names the key.
                auto* field = dialog.findChild<QLineEdit*>();
                if (field->echoMode() == QLineEdit::Password
                    && dialog.findChild<QLabel*>()->text().contains(QString::fromStdString(keyFile)))
                    field->setText(QStringLiteral("secret"));
                Press(dialog, press);
                return dialog.result();
            };
            std::optional<std::string> answer;
            std::thread worker = session.operations.Start([&] { answer = host.AskPassphrase(keyFile); });
            QVERIFY(session.operations.Wait(worker, WaitKind::Connecting, "127.0.0.1"));
            QVERIFY(answer == expected);
        }
    }

    void statusLineTexts()
    {
        QCOMPARE(TransferStatusText(0, 12288, 3), QStringLiteral("Starting File Transfer"));
        // No whole second yet: the rate is taken as 1024 bytes per second.
        QCOMPARE(TransferStatusText(500, 12288, 0), QStringLiteral("Transferred 0K of 12K: 1.0K per second"));
        QCOMPARE(TransferStatusText(1800, 100000, 2), QStringLiteral("Transferred 1K of 97K: 900 bytes per second"));
        QCOMPARE(TransferStatusText(20480, 100000, 4), QStringLiteral("Transferred 20K of 97K: 5.0K per second"));
        // A resumed transfer: what an earlier try moved is progress, not speed.
        QCOMPARE(TransferStatusText(30720, 100000, 4, 10240),
                 QStringLiteral("Transferred 30K of 97K: 5.0K per second"));
        // Beyond what 32 bits of K hold.
        QCOMPARE(TransferStatusText(5'000'000'000'000LL, 10'000'000'000'000LL, 1000),
                 QStringLiteral("Transferred 4882812500K of 9765625000K: 4882812.5K per second"));
    }

    void barScalesEveryTotalIntoItsRange()
    {
        const ProgressBarScale small = ScaleForTotal(800);
        QCOMPARE(small.maximum, 800);
        QCOMPARE(BarPosition(small, 799), 0);

        const ProgressBarScale kilobytes = ScaleForTotal(100'000);
        QCOMPARE(kilobytes.maximum, 100);
        QCOMPARE(BarPosition(kilobytes, 50'999), 50);

        for (const long long total :
             {65'536'000LL, 10'000'000'000LL, 20'000'000'000'000LL, std::numeric_limits<long long>::max()}) {
            const ProgressBarScale scale = ScaleForTotal(total);
            QVERIFY2(scale.maximum > 1000, qPrintable(QString::number(total)));
            const int half = BarPosition(scale, total / 2);
            QVERIFY2(half >= scale.maximum / 2 - 1 && half <= scale.maximum / 2 + 1,
                     qPrintable(QString::number(total)));
            QCOMPARE(BarPosition(scale, total), scale.maximum);
            // A server that announced too little never pushes the bar past its end.
            QCOMPARE(BarPosition(scale, std::numeric_limits<long long>::max()), scale.maximum);
        }
    }

    void transferDialogTicksWithTheProgress()
    {
        EngineSettings settings;
        CFtpSession session{settings};
        CTransferStatusDialog dialog(session.operations, QStringLiteral("Retrieving f From host"), nullptr);
        auto* bar = dialog.findChild<QProgressBar*>();
        auto* status = dialog.findChild<QLabel*>(QStringLiteral("statusLine"));
        IdleWorker worker(session);
        QVERIFY(session.operations.WorkerBusy());

        dialog.Wake();
        QVERIFY(status->text().isEmpty());  // the size is not known yet

        SetProgress(session, 100'000, 0);
        dialog.Wake();
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), -1);  // the look that sets the range leaves the bar empty
        QCOMPARE(status->text(), QStringLiteral("Starting File Transfer"));

        SetProgress(session, 100'000, 50'000);
        dialog.Wake();
        QCOMPARE(bar->value(), 50);

        SetProgress(session, 100'000, 100'000);
        worker.End();
        dialog.Wake();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(bar->value(), 50);  // never shows the finished state
        dialog.Wake();
        QCOMPARE(bar->value(), 50);
    }

    void waitingDialogsEndWhenTheWorkerEnds()
    {
        EngineSettings settings;
        FtpRemoteSession remote{settings};
        CFtpSession& session = remote.Ftp();
        CGuiOperationHost host(nullptr);
        session.operations.host = &host;
        TestPrompter prompter;

        for (const WaitKind kind : {WaitKind::Connecting, WaitKind::GettingDirectory, WaitKind::FileTransfer}) {
            std::thread worker = session.operations.Start([] { std::this_thread::sleep_for(20ms); });
            const auto started = std::chrono::steady_clock::now();
            QVERIFY(session.operations.Wait(worker, kind, "Retrieving f From host"));
            QVERIFY(std::chrono::steady_clock::now() - started < 10s);
        }
        QCOMPARE(prompter.dialogs,
                 (std::vector<QString>{QStringLiteral("Connecting"), QStringLiteral("Getting Directory"),
                                       QStringLiteral("File Transfer Status")}));

        // A remote command runs on a worker too.
        const std::thread::id window = std::this_thread::get_id();
        std::thread::id ranOn = window;
        QCOMPARE(RunRemoteCommand(remote,
                                  [&ranOn] {
                                      ranOn = std::this_thread::get_id();
                                      return 5;
                                  }),
                 std::optional<int>(5));
        QVERIFY(ranOn != window);

        host.Inform("Permission to obtain a directory listing was denied");
        QCOMPARE(prompter.informed,
                 std::vector<QString>{QStringLiteral("Permission to obtain a directory listing was denied")});
    }

    void cancelStopsABusyWorker()
    {
        EngineSettings settings;
        FtpRemoteSession remote{settings};
        CFtpSession& session = remote.Ftp();
        CGuiOperationHost host(nullptr);
        session.operations.host = &host;
        TestPrompter prompter;
        prompter.onDialog = [](QDialog& dialog) {
            QTimer::singleShot(100, &dialog, [&dialog] { Press(dialog, QDialogButtonBox::Cancel); });
            return dialog.exec();
        };

        bool stoppedByCancel = false;
        std::thread worker = session.operations.Start([&session, &stoppedByCancel] {
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (!session.interrupted && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            stoppedByCancel = session.interrupted != 0;
        });
        QVERIFY(!session.operations.Wait(worker, WaitKind::FileTransfer, "Retrieving f From host"));
        QVERIFY(stoppedByCancel);
        QVERIFY(!worker.joinable());
        QVERIFY(!session.operations.WorkerBusy());
        QCOMPARE(session.commandDepth.load(), 0);

        // A remote command the server does not answer shows its dialog after a moment.
        session.interrupted = 0;  // as a new connect leaves it
        const std::optional<int> cancelled = RunRemoteCommand(remote, [&session] {
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (!session.interrupted && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            return 6;
        });
        QVERIFY(!cancelled);
        QCOMPARE(prompter.dialogs.back(), QStringLiteral("Waiting for Server"));
        QVERIFY(!session.operations.WorkerBusy());
    }

    void sizeColumnTexts()
    {
        const std::pair<const char*, const char*> sizes[] = {
            {"0", "0 bytes"},       {"1", "1 byte"},      {"7", "7 bytes"},      {"42", "42 bytes"},
            {"1023", "1023 bytes"}, {"1024", "1.0K"},     {"1536", "1.5K"},      {"1048576", "1.0M"},
            {"5368709120", "5.0G"}, {"0042", "42 bytes"}, {"12abc", "12 bytes"}, {"abc", ""},
        };
        for (const auto& [size, text] : sizes)
            QVERIFY2(SizeColumnText(size) == QLatin1String(text), size);
    }

    void permissionsFromTheListingText()
    {
        // The mode sent, and the row's text afterwards: a text that is no mode stays as it is.
        const struct {
            const char* text;
            const char* mode;
            const char* shown;
        } cases[] = {
            {"-rw-r--r--", "644", "-rw-r--r--"},
            {"drwxr-xr-x", "755", "drwxr-xr-x"},
            {"-rwsr-xr-x", "655", "-rw-r-xr-x"},  // set-user-id: the owner's execute box opens clear
            {"-rwxrwxrwt", "776", "-rwxrwxrw-"},  // sticky: the others' execute box opens clear
            {"----r--r--", "44", "----r--r--"},
            {"rwxrwxrwx", "0", "rwxrwxrwx"},  // no type letter: every letter lands on a box of another right
            {"-rw", "600", "-rw"},
            {"", "0", ""},
            {"- radfwMT", "0", "- radfwMT"},  // MLSD's facts
        };
        for (const auto& row : cases) {
            CPermissionsDialog dialog(QString::fromLatin1(row.text));
            QCOMPARE(dialog.ModeText(), QString::fromLatin1(row.mode));
            QCOMPARE(dialog.PermissionsText(QString::fromLatin1(row.text)), QString::fromLatin1(row.shown));
        }

        CPermissionsDialog dialog(QStringLiteral("-rw-r--r--"));
        auto* groupWrite = dialog.findChild<QCheckBox*>(QStringLiteral("GroupWrite"));
        groupWrite->click();
        QCOMPARE(dialog.ModeText(), QStringLiteral("664"));
        QCOMPARE(dialog.PermissionsText(QStringLiteral("drw-r--r--+")), QStringLiteral("drw-rw-r--+"));
        groupWrite->click();
        QCOMPARE(dialog.ModeText(), QStringLiteral("644"));
    }

    void createDirectoryRefusesLongNames()
    {
        TestPrompter prompter;
        CCreateDirectoryDialog dialog;
        dialog.show();
        auto* name = dialog.findChild<QLineEdit*>();
        QVERIFY(name->text().isEmpty());

        name->setText(QString(129, u'a'));
        Press(dialog, QDialogButtonBox::Ok);
        QCOMPARE(prompter.informed, std::vector<QString>{QStringLiteral("Please enter no more than 128 characters.")});
        QVERIFY(dialog.isVisible());

        name->setText(QString(128, u'a'));
        Press(dialog, QDialogButtonBox::Ok);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.DirectoryName(), QString(128, u'a'));
        QCOMPARE(prompter.informed.size(), std::size_t{1});
    }

    void filePropertiesSeesAChangeOfCase()
    {
        CFilePropertiesDialog dialog(QStringLiteral("Readme"), QStringLiteral("1.0K"), QStringLiteral("File"),
                                     QStringLiteral("Jan 1 2024"), QStringLiteral("Site/pub/"));
        QVERIFY(!dialog.NameChanged());
        dialog.findChild<QLineEdit*>()->setText(QStringLiteral("readme"));
        QVERIFY(dialog.NameChanged());
    }
};

QTEST_MAIN(BrowseDialogsTest)
#include "browse_dialogs_test.moc"
