// SPDX-License-Identifier: GPL-3.0-or-later
// Saved passwords against a real keyring: support/private_keyring.sh runs these in a D-Bus session
// of their own with an unlocked gnome-keyring, and the last case again without any bus.
#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/gui_operation_host.h"
#include "ftp/engine_settings.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "keyring/keyring_store.h"
#include "keyring/keyring_wait.h"
#include "sites/login_fields.h"
#include "sites/site_tree.h"
#include "support/cli_runner.h"
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"
#include "support/test_files.h"
#include "support/test_home.h"
#include "support/test_prompter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>

namespace {

// Long enough for a keyring under the sanitizers.
constexpr int kAnswerMilliseconds = 10000;

// A keyring that answers at once that it is there, holds every other read until told, and refuses
// every write.
class SlowKeyring final : public KeyringStore {
public:
    void Read(const std::string& entry, KeyringAnswer answer) override
    {
        if (entry == "probe")
            answer({KeyringReply::Outcome::NotFound, {}, {}});
        else
            held.push_back(std::move(answer));
    }
    void Write(const std::string&, const std::string&, KeyringAnswer answer) override
    {
        answer({KeyringReply::Outcome::Failed, {}, "refused by the test"});
    }
    void Remove(const std::string&, KeyringAnswer) override {}

    std::vector<KeyringAnswer> held;
};

// A change of a site's profile, as its Properties dialog makes one.
std::function<void(SiteStore&, SiteNodeId)> Edit(std::function<void(CSiteProfile&)> edit)
{
    return [edit](SiteStore& sites, SiteNodeId site) {
        CSiteProfile profile = sites.Node(site)->profile;
        edit(profile);
        sites.ReplaceProfile(site, profile);
    };
}

std::string PlaceText()
{
    QWidget parent;
    return NewPasswordPlaceLabel(&parent)->text().toStdString();
}

}  // namespace

class KeyringTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        home = NewTestHome();
        data = home->path().toStdString() + "/Tessaline/";
        std::filesystem::create_directories(data);
    }

    void cleanup()
    {
        tree.reset();
        home.reset();
    }

    // An old file's passwords move into the keyring; the file keeps the flag, and the desktop
    // program and tessaline-ftp --site both log in with what the keyring holds.
    void anOldFileMovesIntoTheKeyringAndBothProgramsReadIt()
    {
        TempDir root;
        PyftpdlibServer server(root.path, "me", "secret");
        QVERIFY(server.Started());
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        WriteFile(File(),
                  "[Py]\r\nHOST=" + host
                      + "\r\nUID=me\r\nPASSWORD=secret\r\nSAVPWD=TRUE\r\nGROUP=My Sites\r\n\r\n"
                        "[Anon]\r\nUID=anonymous\r\nPASSWORD=me@example.org\r\nSAVPWD=TRUE\r\nGROUP=My Sites\r\n");
        Open();
        QTRY_VERIFY(ReadFile(File()).find("PASSWORD=secret") == std::string::npos);
        QVERIFY(ReadFile(File()).find("UID=me\r\nPASSWORD=\r\nSAVPWD=TRUE") != std::string::npos);
        QCOMPARE(Entry("site My Sites/Py me@" + host), std::optional<std::string>("secret"));
        // An anonymous login's password is the e-mail address: no secret, it stays.
        QVERIFY(ReadFile(File()).find("PASSWORD=me@example.org") != std::string::npos);
        QVERIFY(Logged("Saved passwords are kept in the desktop's keyring."));
        QCOMPARE(PlaceText(), std::string("Saved passwords are kept in the desktop's keyring."));

        tree.reset();
        const CliRun run = RunCli({"--site", "Py", "ls"}, home->path().toStdString());
        QVERIFY2(run.status == 0, run.err.c_str());
        QVERIFY(ReadFile(File()).find("PASSWORD=secret") == std::string::npos);

        Open();
        QTRY_COMPARE(tree->Store().FindSites("Py", "My Sites").at(0).password, std::string("secret"));
    }

    // Whatever changes a site's entry writes the new one and deletes the old: nothing is left
    // behind, and the file never holds the password.
    void changesToASiteKeepTheKeyringInStep()
    {
        const std::tuple<std::function<void(SiteStore&, SiteNodeId)>, std::string, std::string> changes[] = {
            {[](SiteStore& s, SiteNodeId site) { s.Rename(site, "B"); }, "site G/B u@h:2121", "pw"},
            {[](SiteStore& s, SiteNodeId site) { s.Rename(s.ParentOf(site), "H"); }, "site H/A u@h:2121", "pw"},
            {Edit([](CSiteProfile& p) { p.userId = "v"; }), "site G/A v@h:2121", "pw"},
            {Edit([](CSiteProfile& p) { p.host = "h:21"; }), "site G/A u@h", "pw"},
            {Edit([](CSiteProfile& p) { p.password = "new"; }), "site G/A u@h:2121", "new"},
            // The first write is read back after the second: only the last one counts.
            {[](SiteStore& s, SiteNodeId site) {
                 Edit([](CSiteProfile& p) { p.password = "new"; })(s, site);
                 Edit([](CSiteProfile& p) { p.password = "newer"; })(s, site);
             },
             "site G/A u@h:2121", "newer"},
            {Edit([](CSiteProfile& p) { p.savePassword = 0; }), "", ""},
            {[](SiteStore& s, SiteNodeId site) { s.Remove(site); }, "", ""},
        };
        for (const auto& [change, entry, password] : changes) {
            tree.reset();
            WriteFile(File(), "[A]\r\nHOST=h:2121\r\nUID=u\r\nPASSWORD=pw\r\nSAVPWD=TRUE\r\nGROUP=G\r\n");
            Open();
            QTRY_COMPARE(Entry("site G/A u@h:2121"), std::optional<std::string>("pw"));
            QTRY_VERIFY(ReadFile(File()).find("PASSWORD=pw") == std::string::npos);
            change(tree->Store(), tree->Store().ChildNamed(tree->Store().FindGroup("G"), "A"));
            if (!entry.empty())
                QTRY_COMPARE(Entry(entry), std::optional<std::string>(password));
            if (entry != "site G/A u@h:2121")
                QTRY_COMPARE(Entry("site G/A u@h:2121"), std::optional<std::string>());
            QVERIFY(!Logged("did not take"));
            QTRY_VERIFY2(ReadFile(File()).find("PASSWORD=pw") == std::string::npos
                             && ReadFile(File()).find("PASSWORD=new") == std::string::npos,
                         entry.c_str());
        }
    }

    // A keyring that does not take a password leaves it in the file, and the log says why.
    void aRefusedWriteKeepsThePasswordInTheFile()
    {
        const std::string old = "[R]\r\nHOST=h\r\nUID=u\r\nPASSWORD=kept\r\nSAVPWD=TRUE\r\nGROUP=G\r\n";
        WriteFile(File(), old);
        Open(std::make_unique<SlowKeyring>());
        QTRY_VERIFY(Logged("refused by the test"));
        QVERIFY(Logged("saved passwords stay in the profile file"));
        QCOMPARE(ReadFile(File()), old);
        QCOMPARE(PlaceText(), std::string("Saved passwords are kept in the profile file, not encrypted."));
        tree->Store().Rename(tree->Store().FindGroup("G"), "H");
        QVERIFY(ReadFile(File()).find("PASSWORD=kept") != std::string::npos);
    }

    // The firewall password of the settings moves into the keyring as well, and comes back.
    void theFirewallPasswordMovesIntoTheKeyring()
    {
        const QString conf = home->path() + "/Corvane/Tessaline.conf";
        QSettings(conf, QSettings::IniFormat)
            .setValue(QStringLiteral("ProgramOptions/Fire User ID"), QStringLiteral("fw"));
        QSettings(conf, QSettings::IniFormat)
            .setValue(QStringLiteral("ProgramOptions/Fire Password"), QStringLiteral("fwsecret"));
        // The first run moves it, the second reads it back.
        for (int run = 0; run < 2; ++run) {
            CTessalineApp app;
            QVERIFY(app.Startup());
            QTRY_COMPARE(app.Settings().firePassword, std::string("fwsecret"));
            QTRY_COMPARE(Entry("firewall fw@"), std::optional<std::string>("fwsecret"));
            QTRY_VERIFY(ReadFile(conf.toStdString()).find("fwsecret") == std::string::npos);
            app.MainFrame()->close();
            app.Shutdown(0);
            QVERIFY(ReadFile(conf.toStdString()).find("fwsecret") == std::string::npos);
        }
    }

    // A connect waits for a saved password the keyring is still reading, or for the user's Cancel.
    void aConnectWaitsForThePasswordBeingRead()
    {
        TestPrompter prompter;
        for (const bool cancel : {false, true}) {
            WriteFile(File(), "[A]\r\nHOST=h\r\nUID=u\r\nPASSWORD=\r\nSAVPWD=TRUE\r\nGROUP=G\r\n");
            auto keyring = std::make_unique<SlowKeyring>();
            SlowKeyring& slow = *keyring;
            Open(std::move(keyring));
            prompter.onDialog = [&](QDialog& dialog) {
                if (cancel)
                    return int(QDialog::Rejected);
                QTimer::singleShot(0, [&slow] { slow.held.at(0)({KeyringReply::Outcome::Done, "pw", {}}); });
                return dialog.exec();
            };
            CSiteProfile site = tree->Store().FindSites("A", "G").at(0);
            QCOMPARE(AwaitSavedPassword(nullptr, site), !cancel);
            QCOMPARE(site.password, std::string(cancel ? "" : "pw"));
            QCOMPARE(prompter.dialogs.back(), QStringLiteral("Waiting for Keyring"));
        }
    }

    // A key's passphrase saved from its dialog answers the next run's first question for it.
    void aSavedKeyPassphraseAnswersTheNextRun()
    {
        Open();
        QTRY_VERIFY(Logged("Saved passwords are kept in the desktop's keyring."));
        TestPrompter prompter;
        prompter.onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() != QStringLiteral("Key Passphrase"))
                return dialog.exec();
            dialog.findChild<QLineEdit*>()->setText(QStringLiteral("phrase"));
            dialog.findChild<QCheckBox*>()->setChecked(true);
            dialog.accept();
            return int(QDialog::Accepted);
        };
        CFtpSession& engine = session.Ftp();
        // A run's first question, its second (the saved passphrase may be what failed), a new run's.
        CGuiOperationHost first(nullptr), next(nullptr);
        for (const auto& [host, asked] : {std::pair(&first, 1), std::pair(&first, 2), std::pair(&next, 2)}) {
            engine.operations.host = host;
            std::optional<std::string> answer;
            std::thread worker = engine.operations.Start([&] { answer = host->AskPassphrase("/k/id_ed25519"); });
            QVERIFY(engine.operations.Wait(worker, WaitKind::Connecting, "127.0.0.1"));
            QCOMPARE(answer, std::optional<std::string>("phrase"));
            QCOMPARE(std::count(prompter.dialogs.begin(), prompter.dialogs.end(), QStringLiteral("Key Passphrase")),
                     asked);
            QTRY_COMPARE(Entry("ssh key /k/id_ed25519"), std::optional<std::string>("phrase"));
        }
    }

    // No bus at all (run alone, as keyring_without_bus_tests): everything stays in the file, and
    // tessaline-ftp goes on to the next source of a password.
    void withoutAKeyringPasswordsStayInTheFile()
    {
        TempDir root;
        PyftpdlibServer server(root.path, "me", "secret");
        QVERIFY(server.Started());
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        WriteFile(File(),
                  "[Py]\r\nHOST=" + host
                      + "\r\nUID=me\r\nPASSWORD=secret\r\nSAVPWD=TRUE\r\nGROUP=G\r\n\r\n"
                        "[Moved]\r\nHOST="
                      + host + "\r\nUID=me\r\nPASSWORD=\r\nSAVPWD=TRUE\r\nGROUP=G\r\n");
        Open();
        QTRY_VERIFY(Logged("Saved passwords are kept in the profile file: no keyring answered"));
        QCOMPARE(PlaceText(), std::string("Saved passwords are kept in the profile file, not encrypted."));
        tree->Store().Rename(tree->Store().FindGroup("G"), "H");
        QVERIFY(ReadFile(File()).find("PASSWORD=secret") != std::string::npos);
        tree.reset();

        WriteFile(home->path().toStdString() + "/password", "secret\n");
        const std::string passwordFile = home->path().toStdString() + "/password";
        const CliRun run =
            RunCli({"--site", "Moved", "--password-file", passwordFile, "ls"}, home->path().toStdString());
        QVERIFY2(run.status == 0, run.err.c_str());
        QVERIFY2(run.err.find("tessaline-ftp: no saved password from the keyring: ") != std::string::npos,
                 run.err.c_str());
    }

private:
    std::string File() const { return data + "Tessaline.site"; }

    // The session log has had a line with `part` since the last Open().
    bool Logged(const std::string& part)
    {
        for (std::string& line : TakeLog())
            log.push_back(std::move(line));
        return LogHas(log, part);
    }

    void Open(std::unique_ptr<KeyringStore> keyring = nullptr)
    {
        log.clear();
        tree = std::make_unique<CSiteTree>(session, data, nullptr, std::move(keyring));
        tree->InitialUpdate();
    }

    // What the keyring holds under `entry`, asked as the program asks it.
    std::optional<std::string> Entry(const std::string& entry)
    {
        std::optional<KeyringReply> reply;
        keyring.Read(entry, [&reply](const KeyringReply& answer) { reply = answer; });
        for (int waited = 0; !reply && waited < kAnswerMilliseconds; waited += 10)
            QTest::qWait(10);
        if (!reply || reply->outcome == KeyringReply::Outcome::Failed)
            return std::string("keyring failure: ") + (reply ? reply->error : std::string("no answer"));
        return reply->outcome == KeyringReply::Outcome::Done ? std::optional(reply->password) : std::nullopt;
    }

    EngineSettings settings;
    FtpRemoteSession session{settings};
    QtKeychainStore keyring;
    std::unique_ptr<QTemporaryDir> home;
    std::string data;
    std::unique_ptr<CSiteTree> tree;
    std::vector<std::string> log;
};

QTEST_MAIN(KeyringTest)
#include "keyring_test.moc"
