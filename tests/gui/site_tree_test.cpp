// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/engine_settings.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "sites/site_tree.h"
#include "support/test_prompter.h"

#include <QDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <tuple>

namespace {

// Stands for the main view and remembers what the tree asked of it.
class RecordingView final : public CSiteTreeViewLink {
public:
    void RenameItemRow(SiteNodeId) override { calls.push_back("rename row"); }
    bool RenameDirectoryByName(const std::string& o, const std::string& n) override
    {
        calls.push_back("rename directory " + o + " " + n);
        return renameDirectories;
    }
    void Disconnect(bool) override { calls.push_back("disconnect"); }
    void RefreshAfterTreeChange() override { calls.push_back("refresh"); }

    std::vector<std::string> calls;
    bool renameDirectories = false;
};

CSiteProfile Site(const std::string& group, const std::string& name, const std::string& host)
{
    CSiteProfile profile;
    profile.group = group;
    profile.name = name;
    profile.host = host;
    return profile;
}

}  // namespace

class SiteTreeTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        tree = std::make_unique<CSiteTree>(session, dir->path().toStdString() + "/");
        tree->SetViewLink(&view);
        tree->InitialUpdate();
        for (const char* group : {"Work", "alpha", "Zeta"})
            sites().AddGroup(group);
        sites().AddSite(Site("Work", "mirror", "ftp.example.org"));
        sites().AddSite(Site("Work", "backup", "10.0.0.2"));
        view.calls.clear();
    }

    void cleanup() { tree.reset(); }

    // A click selects, and opens only an expanded group or a directory of the connected site:
    // nothing that connects. Return opens what is selected. Listed directories open their site.
    void aClickOpensNothingThatConnects()
    {
        const SiteNodeId work = sites().FindGroup("Work");
        const SiteNodeId mirror = sites().ChildNamed(work, "mirror");
        sites().SetCurrent(mirror);
        sites().AddDirectories(mirror, {"pub"});
        QVERIFY(tree->isExpanded(tree->IndexOf(mirror)));
        QVERIFY(tree->isExpanded(tree->IndexOf(work)));
        const SiteNodeId pub = sites().ChildNamed(mirror, "pub");
        RemoteLogin login;
        login.host = "ftp.example.org";
        session.SetLogin(login);
        QSignalSpy activated(tree.get(), &CSiteTree::itemActivated);
        // An expanded item, whether the session is connected, whether a click opens it.
        for (const auto& [item, connected, opens] : std::vector<std::tuple<SiteNodeId, bool, bool>>{
                 {work, false, true}, {mirror, false, false}, {pub, false, false}, {pub, true, true}}) {
            sites().SetCurrent(kRootNode);
            tree->clearSelection();
            activated.clear();
            tree->expand(tree->IndexOf(item));
            session.Ftp().connected = connected;
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->IndexOf(item)).center());
            QCOMPARE(tree->SelectedNode(), item);
            QCOMPARE(sites().Current() == item, opens);
            QCOMPARE(activated.size(), opens ? 1 : 0);
        }
        session.Ftp().connected = 0;
        sites().SetCurrent(kRootNode);
        activated.clear();
        QTest::keyClick(tree.get(), Qt::Key_Return);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(sites().Current(), pub);

        // A double-click opens the item and shows what it holds, expanded or not before.
        tree->collapse(tree->IndexOf(work));
        for (const SiteNodeId item : {work, mirror}) {
            const QPoint at = tree->visualRect(tree->IndexOf(item)).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(sites().Current(), item);
            QVERIFY(tree->isExpanded(tree->IndexOf(item)));
        }
    }

    void deletingAGroupTakesItsSitesAfterOneConfirmation()
    {
        TestPrompter prompter;
        int confirmations = 0;
        prompter.onDialog = [&confirmations](QDialog&) {
            ++confirmations;
            return int(QDialog::Accepted);
        };
        const SiteNodeId work = sites().FindGroup("Work");
        sites().SetCurrent(sites().ChildNamed(work, "mirror"));
        tree->setCurrentIndex(tree->IndexOf(work));
        tree->DeleteSelected();
        QCOMPARE(confirmations, 1);
        QCOMPARE(tree->model()->rowCount(), 2);
        QCOMPARE(tree->model()->index(0, 0).data().toString(), QStringLiteral("alpha"));
        QCOMPARE(sites().Current(), kRootNode);  // it was inside the deleted group
        QCOMPARE(view.calls, (std::vector<std::string>{"refresh"}));

        // Answered No, nothing goes.
        prompter.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        tree->setCurrentIndex(tree->IndexOf(sites().FindGroup("Zeta")));
        tree->DeleteSelected();
        QCOMPARE(tree->model()->rowCount(), 2);
    }

    void labelEditsFollowTheRulesOfEachKind()
    {
        TestPrompter prompter;
        const SiteNodeId work = sites().FindGroup("Work");
        QVERIFY(!tree->LabelEdited(work, QString()));
        QCOMPARE(prompter.informed.back(), QStringLiteral("You must have a name, can't you see it's important."));

        // A group may take the name of another group.
        QVERIFY(tree->LabelEdited(work, QStringLiteral("alpha")));
        QCOMPARE(tree->IndexOf(work).data().toString(), QStringLiteral("alpha"));

        const SiteNodeId mirror = sites().ChildNamed(work, "mirror");
        QVERIFY(tree->LabelEdited(mirror, QStringLiteral("mirror 2")));
        QCOMPARE(sites().Node(mirror)->profile.name, std::string("mirror 2"));
        QCOMPARE(view.calls.back(), std::string("rename row"));

        sites().AddDirectories(mirror, {"pub"});
        const SiteNodeId directory = sites().ChildNamed(mirror, "pub");
        QVERIFY(!tree->LabelEdited(directory, QStringLiteral("other")));
        QCOMPARE(prompter.informed.back(),
                 QStringLiteral("To change a directory name, select it in the main view and choose rename."));
        QCOMPARE(tree->IndexOf(directory).data().toString(), QStringLiteral("pub"));
    }

private:
    EngineSettings settings;
    FtpRemoteSession session{settings};
    RecordingView view;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CSiteTree> tree;
    SiteStore& sites() { return tree->Store(); }
};

QTEST_MAIN(SiteTreeTest)
#include "site_tree_test.moc"
