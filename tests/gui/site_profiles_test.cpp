// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing a user typed into the sites may be lost: every change reaches the profile file at once,
// a file that cannot be read is never written over, and names and texts the file could not keep
// are refused where they are typed. Driven through the program's own commands and dialogs.

#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/remote_view.h"
#include "sites/site_tree.h"
#include "support/dialog_fields.h"
#include "support/test_files.h"
#include "support/test_home.h"
#include "support/test_prompter.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

// Answers the dialogs of New Group, New Site and Properties as a user types into them.
int FillIn(QDialog& dialog, const QString& name, const QString& host = QString())
{
    const QString title = dialog.windowTitle();
    if (title == "New Group") {
        Labelled(dialog, "Group name:").setText(name);
        dialog.accept();
    } else if (title == "Properties") {
        Labelled(dialog, "Profile name:").setText(name);
        if (!host.isNull())
            Labelled(dialog, "Host &name:").setText(host);
        Button(dialog, "Save/Exit").click();
    } else {
        dialog.accept();  // "Select A Group for New Site": the first group
    }
    return dialog.result();
}

bool Has(const std::vector<QString>& messages, const QString& part)
{
    return std::any_of(messages.begin(), messages.end(), [&](const QString& m) { return m.contains(part); });
}

}  // namespace

class SiteProfilesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        UseTestHome(home->path() + "/config", home->path() + "/data");
        data = home->path().toStdString() + "/data/Tessaline/";
        fs::create_directories(data);
        prompter = std::make_unique<TestPrompter>();
    }

    void cleanup()
    {
        Stop();
        prompter.reset();
    }

    void everyChangeReachesTheFileAtOnceAndAFailedSaveSaysWhy()
    {
        Start();
        prompter->onDialog = [](QDialog& d) { return FillIn(d, "Work"); };
        frame->NewGroup();
        // No exit in between: what a kill -9 would leave behind.
        QVERIFY(ReadFile(File()).find("GROUP=Work\r\n") != std::string::npos);

        prompter->onDialog = [](QDialog& d) { return FillIn(d, "Mirror", "ftp.example.org"); };
        frame->NewSite();
        QVERIFY(ReadFile(File()).find("[Mirror]\r\nHOST=ftp.example.org\r\n") != std::string::npos);

        const SiteNodeId site = Sites(tree->Store().FindGroup("Work")).at(0);
        QVERIFY(tree->LabelEdited(site, "Mirror 2"));
        QVERIFY(ReadFile(File()).find("[Mirror 2]\r\n") != std::string::npos);
        QVERIFY(tree->LabelEdited(tree->Store().FindGroup("Work"), "Jobs"));
        QVERIFY(ReadFile(File()).find("GROUP=Jobs\r\n") != std::string::npos);

        fs::remove(File());
        fs::create_directory(File());
        QVERIFY(prompter->informed.empty());
        QVERIFY(tree->LabelEdited(site, "Mirror 3"));
        QCOMPARE(prompter->informed.back(),
                 QString::fromStdString("The site profiles could not be saved (" + File() + ": Is a directory)."));
    }

    // On a first start New Site offers the group a site needs; declined, nothing is made.
    void newSiteWithoutAGroupOffersOne()
    {
        Start();
        prompter->onDialog = [](QDialog& d) { return FillIn(d, "Mirror", "ftp.example.org"); };
        prompter->answers = {false};
        frame->NewSite();
        QVERIFY(tree->Store().Children(kRootNode).empty());
        QVERIFY(prompter->dialogs.empty());
        prompter->answers = {true};
        frame->NewSite();
        QCOMPARE(prompter->asked.back(),
                 QStringLiteral("New Site (Yes): A site is kept in a group, and there is none "
                                "yet. Make the group \"My Sites\" for it?"));
        QVERIFY(ReadFile(File()).find("[Mirror]\r\nHOST=ftp.example.org\r\n") != std::string::npos);
        QVERIFY(ReadFile(File()).find("GROUP=My Sites\r\n") != std::string::npos);
    }

    void aFileThatCannotBeReadIsReportedAndNeverWrittenOver()
    {
        const bool root = ::geteuid() == 0;
        if (root) {
            // Root reads any file: a FIFO stands for a profile file the program may not read.
            QCOMPARE(::mkfifo(File().c_str(), 0600), 0);
        } else {
            WriteFile(File(), "[Alpha production]\r\nHOST=alpha.example.org\r\n\r\n");
            QCOMPARE(::chmod(File().c_str(), 0), 0);
        }
        Start();
        const QString why = QString::fromStdString(File() + (root ? ": not a regular file" : ": Permission denied"));
        QCOMPARE(prompter->informed,
                 (std::vector<QString>{"The site profiles could not be read (" + why
                                       + "). Changes to the sites will not be saved in this "
                                         "run, so that the file stays as it is."}));

        prompter->onDialog = [](QDialog& d) { return FillIn(d, "Work"); };
        frame->NewGroup();
        QCOMPARE(prompter->informed.size(), std::size_t(1));  // told once, not at every change
        Stop();
        QCOMPARE(prompter->informed.back(),
                 "Your changes to the sites were not saved: the site profiles could not "
                 "be read when the program started ("
                     + why + ").");
        struct stat st {};
        QCOMPARE(::lstat(File().c_str(), &st), 0);
        if (root) {
            QVERIFY(S_ISFIFO(st.st_mode));
        } else {
            ::chmod(File().c_str(), 0600);
            QCOMPARE(ReadFile(File()), std::string("[Alpha production]\r\nHOST=alpha.example.org\r\n\r\n"));
        }
    }

    void namesAndTextsTheFileCannotKeepAreRefusedWhereTyped()
    {
        WriteFile(File(), "[Mirror]\r\nHOST=ftp.example.org\r\nGROUP=Work\r\n\r\n");
        Start();
        prompter->onDialog = [](QDialog& d) { return FillIn(d, "Quick Connect"); };
        frame->NewGroup();
        QVERIFY(Has(prompter->informed, "\"Quick Connect\" holds the sites opened with Quick Connect"));
        QCOMPARE(tree->Store().FindGroup("Quick Connect"), kRootNode);
        const SiteNodeId work = tree->Store().FindGroup("Work");
        QVERIFY(!tree->LabelEdited(work, "Quick Connect"));
        QCOMPARE(tree->Store().Node(work)->name, std::string("Work"));

        const SiteNodeId mirror = Sites(work).at(0);
        prompter->informed.clear();
        QVERIFY(!tree->LabelEdited(mirror, "Group Place Holder"));
        QVERIFY(Has(prompter->informed, "\"Group Place Holder\" is the name the profile file keeps"));

        // The Properties dialog stays open on a name the file could not keep, and on a comment too
        // long for one line of it; its fields take no more than a line holds.
        int rounds = 0;
        prompter->informed.clear();
        prompter->onDialog = [&rounds](QDialog& dialog) {
            QLineEdit& name = Labelled(dialog, "Profile name:");
            name.setText(QString(40000, 'x'));
            if (name.text().size() > 4086)
                return int(QDialog::Rejected);
            for (const QString& refused : {QStringLiteral("Group Place Holder"), QString(1400, QChar(0x20AC))}) {
                name.setText(refused);
                Button(dialog, "Save/Exit").click();
                rounds += dialog.isVisible() || dialog.result() != QDialog::Accepted;
            }
            name.setText("Mirror");
            Labelled<QPlainTextEdit>(dialog, "Comments:").setPlainText(QString(2100, '\n'));
            Button(dialog, "Save/Exit").click();
            rounds += dialog.result() != QDialog::Accepted;
            dialog.reject();
            return dialog.result();
        };
        Select(0);
        view->OpenSelectedItem();  // into "Work"
        Select(0);
        view->ShowProperties();
        QCOMPARE(rounds, 3);
        QCOMPARE(prompter->informed,
                 (std::vector<QString>{
                     "\"Group Place Holder\" is the name the profile file keeps for empty groups; please choose "
                     "another name.",
                     "The profile name is too long to be kept in the profile file; please make it shorter.",
                     "The comment is too long to be kept in the profile file; please make it shorter."}));
        QCOMPARE(tree->Store().Node(mirror)->profile.comment, std::string());
    }

    void propertiesAndDeleteActOnTheSiteChosenAmongSitesOfOneName()
    {
        WriteFile(File(),
                  "[Dup]\r\nHOST=one.example.org\r\nGROUP=G\r\n\r\n"
                  "[Dup]\r\nHOST=two.example.org\r\nGROUP=G\r\n\r\n");
        Start();
        Select(0);
        view->OpenSelectedItem();  // into the group
        QCOMPARE(view->RowCount(), 2);

        QString shownHost;
        prompter->onDialog = [&shownHost](QDialog& dialog) {
            shownHost = Labelled(dialog, "Host &name:").text();
            return FillIn(dialog, "Dup", "changed.example.org");
        };
        Select(1);
        view->ShowProperties();
        QCOMPARE(shownHost, QStringLiteral("two.example.org"));
        const std::vector<SiteNodeId> sites = Sites(tree->Store().FindGroup("G"));
        QCOMPARE(Host(sites.at(0)), std::string("one.example.org"));
        QCOMPARE(Host(sites.at(1)), std::string("changed.example.org"));

        prompter->onDialog = [](QDialog&) { return int(QDialog::Accepted); };
        Select(0);
        view->DeleteSelected();
        const std::vector<SiteNodeId> left = Sites(tree->Store().FindGroup("G"));
        QCOMPARE(left.size(), std::size_t(1));
        QCOMPARE(Host(left.at(0)), std::string("changed.example.org"));
        QVERIFY(ReadFile(File()).find("one.example.org") == std::string::npos);
    }

private:
    std::string File() const { return data + "Tessaline.site"; }
    std::vector<SiteNodeId> Sites(SiteNodeId group) const { return tree->Store().Children(group); }
    std::string Host(SiteNodeId site) const { return tree->Store().Node(site)->profile.host; }

    void Start()
    {
        app = std::make_unique<CTessalineApp>();
        QVERIFY(app->Startup());
        frame = app->MainFrame();
        tree = frame->SiteTreePane();
        view = frame->MainViewPane();
    }

    void Stop()
    {
        if (!app)
            return;
        frame->close();
        app->Shutdown(0);
        app.reset();
    }

    void Select(int row)
    {
        QAbstractItemView* list = view->ActiveList();
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    std::unique_ptr<QTemporaryDir> home;
    std::string data;
    std::unique_ptr<TestPrompter> prompter;
    std::unique_ptr<CTessalineApp> app;
    CMainFrame* frame = nullptr;
    CSiteTree* tree = nullptr;
    CTessalinev3View* view = nullptr;
};

QTEST_MAIN(SiteProfilesTest)
#include "site_profiles_test.moc"
