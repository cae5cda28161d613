// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/engine_settings.h"
#include "ftp/ftp_session.h"
#include "remote/operation_runner.h"
#include "sites/connecting_dialog.h"
#include "sites/current_site_icon.h"
#include "sites/select_group_dialog.h"
#include "sites/session_profile_dialog.h"
#include "sites/site_properties_dialog.h"
#include "support/dialog_fields.h"
#include "support/test_prompter.h"
#include "ui/help_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <tuple>

namespace {

const std::string kEmail = "me@example.org";

CSiteProfile Login(const std::string& userId, const std::string& password)
{
    CSiteProfile profile;
    profile.userId = userId;
    profile.password = password;
    return profile;
}

// What the dialogs edit, in one comparable value (the session dialog leaves the rest alone).
auto EditedFields(const CSiteProfile& p)
{
    return std::tie(p.name, p.host, p.userId, p.password, p.remoteDirectory, p.savePassword, p.useFirewall, p.prompt,
                    p.comment, p.encryption);
}

// Passes the worker's end on to the dialog the way the desktop program's host does: a queued
// signal from the worker thread.
class WakingHost final : public QObject, public OperationHost {
    Q_OBJECT

public:
    bool WaitWhileBusy(WaitKind, const std::string&, OperationRunner&) override { return true; }
    void WorkerEnded() override { emit workerEnded(); }
    void Inform(const std::string&) override {}

signals:
    void workerEnded();
};

}  // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)

class SiteDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void anonymousBoxFillsInTheLogin_data()
    {
        QTest::addColumn<bool>("properties");
        QTest::addColumn<QString>("box");
        QTest::newRow("properties") << true << QStringLiteral("Anonymous &login");
        QTest::newRow("session profile") << false << QStringLiteral("Anonymous &Login");
    }

    void anonymousBoxFillsInTheLogin()
    {
        QFETCH(bool, properties);
        QFETCH(QString, box);
        CurrentSiteIcon icon;
        const auto open = [&](const CSiteProfile& profile) -> std::unique_ptr<QDialog> {
            if (properties) {
                auto dialog = std::make_unique<CSitePropertiesDialog>(icon, kEmail);
                dialog->SetProfile(profile);
                return dialog;
            }
            auto dialog = std::make_unique<CSessionProfileDialog>(kEmail);
            dialog->SetProfile(profile);
            return dialog;
        };

        const std::unique_ptr<QDialog> dialog(open(Login("anonymous", "stored")));
        auto& user = Labelled(*dialog, QStringLiteral("&User ID:"));
        auto& password = Labelled(*dialog, QStringLiteral("Pass&word:"));
        auto& anonymous = Button(*dialog, box);
        QVERIFY(anonymous.isChecked());
        QCOMPARE(user.text(), QStringLiteral("anonymous"));
        QCOMPARE(password.displayText(), QString::fromStdString(kEmail));
        QVERIFY(!user.isEnabled() && !password.isEnabled());

        anonymous.click();
        QCOMPARE(user.text(), QString());
        QCOMPARE(password.text(), QString());
        QVERIFY(user.isEnabled() && password.isEnabled());
        password.setText(QStringLiteral("abc"));
        QCOMPARE(password.displayText(), QStringLiteral("***"));

        // Another login opens with its own texts, masked.
        const std::unique_ptr<QDialog> other(open(Login("bob", "pw")));
        QCOMPARE(Labelled(*other, QStringLiteral("&User ID:")).text(), QStringLiteral("bob"));
        QCOMPARE(Labelled(*other, QStringLiteral("Pass&word:")).displayText(), QStringLiteral("**"));
        QVERIFY(!Button(*other, box).isChecked());
    }

    void propertiesNeedOnlyAProfileName()
    {
        TestPrompter prompter;
        CurrentSiteIcon icon;
        CSitePropertiesDialog dialog(icon, kEmail);
        dialog.show();

        Button(dialog, QStringLiteral("Save/Connect")).click();
        QCOMPARE(prompter.informed, std::vector<QString>{QStringLiteral("You must provide a Profile Name.")});
        QCOMPARE(prompter.beeps, 1);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.closeAction, int(CSitePropertiesDialog::kSaveConnect));
        Button(dialog, QStringLiteral("Cancel")).click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.closeAction, int(CSitePropertiesDialog::kCancel));

        // Nothing else is required: no host at all is fine.
        dialog.show();
        Labelled(dialog, QStringLiteral("Profile name:")).setText(QStringLiteral("home"));
        Button(dialog, QStringLiteral("Save/Exit")).click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.closeAction, int(CSitePropertiesDialog::kSaveExit));
        QCOMPARE(prompter.informed.size(), std::size_t(1));
    }

    void propertiesCopyBackWhatWasSaved()
    {
        TestPrompter prompter;
        CSiteProfile site = Login("carol", "s3cret");
        site.name = "Work";
        site.host = "ftp.example.org:2121";
        site.remoteDirectory = "/pub/incoming";
        site.savePassword = 1;
        site.useFirewall = 1;
        site.prompt = 0;
        site.comment = "first line\nsecond line";
        site.icon = "Tessaline.exe ,4";
        site.group = "Clients";
        site.account = "acct";
        site.encryption = kTlsImplicit;

        CurrentSiteIcon icon;
        CSitePropertiesDialog dialog(icon, kEmail);
        // A site without an icon gets the program's computer.
        QCOMPARE(icon.reference, std::string("Tessaline.exe, 33"));
        dialog.SetProfile(site);
        dialog.show();
        Button(dialog, QStringLiteral("Save/Exit")).click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        CSiteProfile saved;
        dialog.ApplyTo(saved);
        QVERIFY(EditedFields(saved) == EditedFields(site));
        // The icon travels through the current site icon; the rest is not the dialog's.
        QVERIFY(saved.icon.empty() && saved.group.empty() && saved.account.empty());

        // Edits that end in Cancel change nothing.
        icon.reference = "Tessaline.exe ,7";
        CSitePropertiesDialog cancelled(icon, kEmail);
        QCOMPARE(icon.reference, std::string("Tessaline.exe ,7"));
        cancelled.SetProfile(site);
        cancelled.show();
        Labelled(cancelled, QStringLiteral("Host &name:")).setText(QStringLiteral("elsewhere"));
        Labelled<QPlainTextEdit>(cancelled, QStringLiteral("Comments:")).setPlainText(QStringLiteral("x"));
        QTest::keyClick(&cancelled, Qt::Key_Escape);
        QCOMPARE(cancelled.closeAction, int(CSitePropertiesDialog::kCancel));
        CSiteProfile unchanged;
        cancelled.ApplyTo(unchanged);
        QVERIFY(EditedFields(unchanged) == EditedFields(site));
    }

    void sessionProfileNeedsAHost()
    {
        TestPrompter prompter;
        CSiteProfile site = Login("dave", "pw");
        site.savePassword = 1;
        site.encryption = kPlainOnly;
        CSessionProfileDialog dialog(kEmail);
        dialog.SetProfile(site);
        dialog.show();

        Button(dialog, QStringLiteral("Connect")).click();
        QCOMPARE(prompter.informed, std::vector<QString>{QStringLiteral("You must provide a host name.")});
        QCOMPARE(prompter.beeps, 1);
        QVERIFY(dialog.isVisible());

        Labelled(dialog, QStringLiteral("Host &name:")).setText(QStringLiteral("10.0.0.5"));
        Labelled(dialog, QStringLiteral("Initial Directory")).setText(QStringLiteral("/srv"));
        Button(dialog, QStringLiteral("Connect")).click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        CSiteProfile edited;
        dialog.ApplyTo(edited);
        site.host = "10.0.0.5";
        site.remoteDirectory = "/srv";
        QVERIFY(EditedFields(edited) == EditedFields(site));
    }

    // A URL it cannot use is refused saying why; one it can fills the fields it names and, without
    // a password, waits for one.
    void sessionProfileTakesAUrl()
    {
        TestPrompter prompter;
        CSessionProfileDialog dialog(kEmail);
        dialog.SetProfile(Login("anonymous", ""));
        QLineEdit& host = Labelled(dialog, QStringLiteral("Host &name:"));
        host.setText(QStringLiteral("ftp://h:99999"));
        Button(dialog, QStringLiteral("Connect")).click();
        QCOMPARE(prompter.informed,
                 std::vector<QString>{"bad URL ftp://h:99999: the port must be a number from 1 to 65535"});
        host.setText(QStringLiteral("FTP://anna@[::1]:2121//s%40rv/"));
        Button(dialog, QStringLiteral("Connect")).click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QStringList shown;
        for (const QString label : {"Host &name:", "&User ID:", "Pass&word:", "Initial Directory"})
            shown << Labelled(dialog, label).text();
        QCOMPARE(shown, (QStringList{"[::1]:2121", "anna", "", "/s@rv"}));

        host.setText(QStringLiteral("ftps://anna:pw@h/"));
        Button(dialog, QStringLiteral("Connect")).click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Labelled<QComboBox>(dialog, QStringLiteral("&Encryption:")).currentIndex(), int(kTlsImplicit));
        QVERIFY(Labelled<QComboBox>(dialog, QStringLiteral("&Encryption:")).isEnabled());

        // sftp:// chooses SFTP, for which the encryption choice does not apply.
        host.setText(QStringLiteral("sftp://anna@h:2222/"));
        Button(dialog, QStringLiteral("Connect")).click();
        CSiteProfile taken;
        dialog.ApplyTo(taken);
        QCOMPARE(taken.protocol, RemoteProtocol::Sftp);
        QCOMPARE(taken.host, std::string("h:2222"));
        QVERIFY(!Labelled<QComboBox>(dialog, QStringLiteral("&Encryption:")).isEnabled());
    }

    // The choice's entries are the profile's values in order; new sites and Quick Connect start at
    // "if available".
    void encryptionChoiceIsTheSitesKey()
    {
        TestPrompter prompter;
        CurrentSiteIcon icon;
        CSitePropertiesDialog properties(icon, kEmail);
        properties.show();
        auto& choice = Labelled<QComboBox>(properties, QStringLiteral("&Encryption:"));
        QCOMPARE(choice.currentText(), QStringLiteral("Use explicit FTP over TLS if available"));
        QCOMPARE(choice.count(), 4);
        choice.setCurrentIndex(choice.findText(QStringLiteral("Require explicit FTP over TLS")));
        Labelled(properties, QStringLiteral("Profile name:")).setText(QStringLiteral("secure"));
        Button(properties, QStringLiteral("Save/Exit")).click();
        CSiteProfile saved;
        properties.ApplyTo(saved);
        QCOMPARE(saved.encryption, int(kTlsRequired));

        CSiteProfile quick;
        quick.host = "ftp.example.org";
        CSessionProfileDialog session(kEmail);
        session.SetProfile(quick);
        session.show();
        auto& sessionChoice = Labelled<QComboBox>(session, QStringLiteral("&Encryption:"));
        QCOMPARE(sessionChoice.currentIndex(), int(kTlsIfAvailable));
        sessionChoice.setCurrentIndex(sessionChoice.findText(QStringLiteral("Only use plain FTP (insecure)")));
        Button(session, QStringLiteral("Connect")).click();
        session.ApplyTo(quick);
        QCOMPARE(quick.encryption, int(kPlainOnly));
    }

    void selectGroupAnswersTheTreePosition_data()
    {
        QTest::addColumn<std::vector<std::string>>("rootItems");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("position");
        QTest::newRow("quick connect in the middle")
            << std::vector<std::string>{"Alpha", "Quick Connect", "beta"} << QStringList{"Alpha", "beta"} << 1 << 2;
        QTest::newRow("tree order differs from the list's")
            << std::vector<std::string>{"zeta", "Quick Connect", "Alpha"} << QStringList{"Alpha", "zeta"} << 0 << 2;
        QTest::newRow("no groups") << std::vector<std::string>{"Quick Connect"} << QStringList{} << -1 << -1;
    }

    void selectGroupAnswersTheTreePosition()
    {
        QFETCH(std::vector<std::string>, rootItems);
        QFETCH(QStringList, listed);
        QFETCH(int, row);
        QFETCH(int, position);

        CSelectGroupDialog dialog(rootItems);
        auto* list = dialog.findChild<QListWidget*>();
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        QCOMPARE(shown, listed);
        QCOMPARE(list->selectedItems().size(), listed.isEmpty() ? 0 : 1);
        if (row >= 0)
            list->setCurrentRow(row);
        dialog.show();
        Button(dialog, QStringLiteral("OK")).click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ChosenPosition(), position);
    }

    void connectingEndsWhenTheWorkerEnds()
    {
        TestPrompter prompter;
        EngineSettings settings;
        CFtpSession session(settings);
        WakingHost host;
        session.operations.host = &host;

        std::thread worker =
            session.operations.Start([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        CConnectingDialog dialog(session.operations, "ftp.example.org");
        connect(&host, &WakingHost::workerEnded, &dialog, &CConnectingDialog::Wake, Qt::QueuedConnection);
        // Only a guard against hanging: the worker's end closes the dialog long before.
        QTimer::singleShot(10000, &dialog, &QDialog::reject);
        QCOMPARE(Prompter().Exec(dialog), int(QDialog::Accepted));
        worker.join();
        QCOMPARE(dialog.findChild<QLabel*>()->text(), QStringLiteral("Connecting to host: ftp.example.org"));

        // Cancel leaves a busy worker to the caller.
        std::atomic<bool> release = false;
        worker = session.operations.Start([&release] {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        CConnectingDialog cancelled(session.operations, "ftp.example.org");
        connect(&host, &WakingHost::workerEnded, &cancelled, &CConnectingDialog::Wake, Qt::QueuedConnection);
        QTimer::singleShot(50, &cancelled, [&cancelled] { Button(cancelled, QStringLiteral("Cancel")).click(); });
        QCOMPARE(Prompter().Exec(cancelled), int(QDialog::Rejected));
        release = true;
        worker.join();
        // The worker's late wake-up does not turn the cancel into a finish.
        QTest::qWait(20);
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        session.operations.host = nullptr;
    }

    void theHelpWindowStaysUsableBesideModalDialogs()
    {
        QWidget mainWindow;
        mainWindow.show();
        ShowHelpWindow(0);
        QWidget* help = HelpWindow();
        QVERIFY(help);
        help->resize(300, 120);
        auto* guide = help->findChild<QTextBrowser*>();
        guide->setFocus();
        // Keys reach a window only while no modal dialog blocks it.
        const auto scrolls = [help, guide] {
            guide->verticalScrollBar()->setValue(0);
            QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
            return guide->verticalScrollBar()->value() > 0;
        };
        QVERIFY(scrolls());

        // Opened before the dialog (Help > Help..., then Options), and asked for again from it.
        QDialog options(&mainWindow);
        options.setWindowModality(Qt::ApplicationModal);
        options.show();
        QTRY_VERIFY(scrolls());
        ShowHelpWindow(48);
        QVERIFY(scrolls());
        // A message over the dialog, then the dialog alone again.
        auto message = std::make_unique<QDialog>(&options);
        message->setWindowModality(Qt::ApplicationModal);
        message->show();
        QTRY_VERIFY(scrolls());
        message.reset();
        QTRY_VERIFY(scrolls());
        options.close();
        help->close();
    }
};

QTEST_MAIN(SiteDialogsTest)
#include "site_dialogs_test.moc"
