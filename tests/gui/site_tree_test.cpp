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

#include <fstream>
#include <memory>
#include <tuple>

namespace {

// Stands for the main view and remembers what the tree asked of it.
class RecordingView final : public CSiteTreeViewLink {
public:
    void SelectItemByName(const std::string& name) override { calls.push_back("select " + name); }
    void OpenTreeItem() override { calls.push_back("open"); }
    void RenameItemRow(const CSiteTreeItem& item) override { calls.push_back("rename row " + item.name); }
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

CSiteProfile Site(const std::string& name, const std::string& host)
{
    CSiteProfile profile;
    profile.name = name;
    profile.host = host;
    return profile;
}

QStringList Labels(const std::vector<CSiteTreeItem*>& items)
{
    QStringList labels;
    for (const CSiteTreeItem* item : items)
        labels << item->text(0);
    return labels;
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
            tree->AddGroupItem(group);
        tree->SetCurrentItem(tree->FindGroupItem("Work"));
        tree->AddSiteUnderCurrentGroup(Site("mirror", "ftp.example.org"));
        tree->SetCurrentItem(tree->FindGroupItem("Work"));
        tree->AddSiteUnderCurrentGroup(Site("backup", "10.0.0.2"));
        view.calls.clear();
    }

    void cleanup() { tree.reset(); }

    void groupsAndSitesStayInNameOrder()
    {
        QCOMPARE(Labels(tree->RootItems()), (QStringList{"alpha", "Work", "Zeta"}));
        QCOMPARE(Labels(tree->Children(tree->FindGroupItem("Work"))), (QStringList{"backup", "mirror"}));
    }

    // A click selects, and opens only an expanded group or a directory of the connected site:
    // nothing that connects. Return opens what is selected.
    void aClickOpensNothingThatConnects()
    {
        CSiteTreeItem* work = tree->FindGroupItem("Work");
        CSiteTreeItem* mirror = tree->Children(work)[1];
        tree->SetCurrentItem(mirror);
        CSiteTreeItem* pub = tree->AddDirectoryNode("pub");
        RemoteLogin login;
        login.host = "ftp.example.org";
        session.SetLogin(login);
        // An expanded item, whether the session is connected, whether a click opens it.
        for (const auto& [item, connected, opens] : std::vector<std::tuple<CSiteTreeItem*, bool, bool>>{
                 {work, false, true}, {mirror, false, false}, {pub, false, false}, {pub, true, true}}) {
            tree->SetCurrentItem(nullptr);
            tree->clearSelection();
            item->setExpanded(true);
            session.Ftp().connected = connected;
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
            QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{item});
            QCOMPARE(tree->currentItem == item, opens);
        }
        session.Ftp().connected = 0;
        tree->SetCurrentItem(nullptr);
        view.calls.clear();
        QTest::keyClick(tree.get(), Qt::Key_Return);
        QCOMPARE(view.calls, (std::vector<std::string>{"select pub", "open"}));
    }

    void aNewSiteGoesIntoTheGroupOfTheCurrentSite()
    {
        tree->SetCurrentItem(tree->FindGroupItem("Work"));
        tree->FindChildAndMakeCurrent("mirror");
        QCOMPARE(CSiteTree::ItemKindOf(tree->currentItem), int(kItemSite));
        tree->AddSiteUnderCurrentGroup(Site("new", "h"));
        QCOMPARE(tree->currentItem->text(0), QStringLiteral("new"));
        QCOMPARE(tree->currentItem->profile.group, std::string("Work"));
        QCOMPARE(Labels(tree->Children(tree->FindGroupItem("Work"))), (QStringList{"backup", "mirror", "new"}));
    }

    void directoryPathsMakeNodesOnceAndGiveThePathBack()
    {
        tree->SetCurrentItem(tree->FindGroupItem("Work"));
        tree->FindChildAndMakeCurrent("mirror");
        CSiteTreeItem* site = tree->currentItem;
        tree->AddDirectoryPath("/pub/x");
        QCOMPARE(tree->currentItem->text(0), QStringLiteral("x"));
        QCOMPARE(Labels(tree->Children(site)), (QStringList{""}));
        CSiteProfile profile;
        std::string path;
        QVERIFY(tree->SiteAndPathOfCurrent(&profile, &path));
        QCOMPARE(profile.name, std::string("mirror"));
        QCOMPARE(path, std::string("/pub/"));

        tree->SetCurrentItem(site);
        tree->AddDirectoryPath("/pub/y");
        QCOMPARE(Labels(tree->Children(site)), (QStringList{""}));
        QCOMPARE(Labels(tree->Children(tree->Children(tree->Children(site)[0])[0])), (QStringList{"x", "y"}));

        CSiteTreeItem* parent = nullptr;
        QCOMPARE(tree->ParentKind(&parent), int(kItemRemoteDirectory));
        tree->SetCurrentItem(site);
        QCOMPARE(tree->ParentKind(&parent), int(kItemGroup));
        tree->SetCurrentItem(nullptr);
        QCOMPARE(tree->ParentKind(&parent), CSiteTree::kNoParent);
    }

    void deletingAGroupTakesItsSitesAfterOneConfirmation()
    {
        TestPrompter prompter;
        int confirmations = 0;
        prompter.onDialog = [&confirmations](QDialog&) {
            ++confirmations;
            return int(QDialog::Accepted);
        };
        CSiteTreeItem* work = tree->FindGroupItem("Work");
        tree->SetCurrentItem(work);
        tree->FindChildAndMakeCurrent("mirror");
        tree->clearSelection();
        work->setSelected(true);
        tree->DeleteSelected();
        QCOMPARE(confirmations, 1);
        QCOMPARE(Labels(tree->RootItems()), (QStringList{"alpha", "Zeta"}));
        QVERIFY(tree->currentItem == nullptr);  // it was inside the deleted group
        QCOMPARE(view.calls, (std::vector<std::string>{"refresh"}));

        // Answered No, nothing goes.
        prompter.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        tree->FindGroupItem("Zeta")->setSelected(true);
        tree->DeleteSelected();
        QCOMPARE(tree->RootItems().size(), std::size_t(2));
    }

    void labelEditsFollowTheRulesOfEachKind()
    {
        TestPrompter prompter;
        CSiteTreeItem* work = tree->FindGroupItem("Work");
        QVERIFY(!tree->LabelEdited(work, QString()));
        QCOMPARE(prompter.informed.back(), QStringLiteral("You must have a name, can't you see it's important."));

        // A group may take the name of another group.
        QVERIFY(tree->LabelEdited(work, QStringLiteral("alpha")));
        QCOMPARE(work->text(0), QStringLiteral("alpha"));

        CSiteTreeItem* mirror = tree->Children(work)[1];
        QVERIFY(tree->LabelEdited(mirror, QStringLiteral("mirror 2")));
        QCOMPARE(mirror->profile.name, std::string("mirror 2"));
        QCOMPARE(view.calls.back(), std::string("rename row mirror 2"));

        tree->SetCurrentItem(mirror);
        CSiteTreeItem* directory = tree->AddDirectoryNode("pub");
        QVERIFY(!tree->LabelEdited(directory, QStringLiteral("other")));
        QCOMPARE(prompter.informed.back(),
                 QStringLiteral("To change a directory name, select it in the main view and choose rename."));
        QCOMPARE(directory->text(0), QStringLiteral("pub"));
    }

    void theFileKeepsEverythingButQuickConnect()
    {
        tree->SetCurrentItem(tree->AddGroupItem("Quick Connect"));
        tree->AddSiteUnderCurrentGroup(Site("ftp.quick.example", "ftp.quick.example"));
        tree.reset();  // the tree writes the file as it goes

        std::ifstream file(dir->path().toStdString() + "/Tessaline.site", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), {});
        QVERIFY(text.find("[mirror]\r\nHOST=ftp.example.org\r\n") != std::string::npos);
        QVERIFY(text.find("quick") == std::string::npos);

        CSiteTree again(session, dir->path().toStdString() + "/");
        again.InitialUpdate();
        QCOMPARE(Labels(again.RootItems()), (QStringList{"alpha", "Work", "Zeta"}));
        QCOMPARE(Labels(again.Children(again.FindGroupItem("Work"))), (QStringList{"backup", "mirror"}));
        QCOMPARE(again.Children(again.FindGroupItem("Work"))[0]->profile.host, std::string("10.0.0.2"));
    }

private:
    EngineSettings settings;
    FtpRemoteSession session{settings};
    RecordingView view;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CSiteTree> tree;
};

QTEST_MAIN(SiteTreeTest)
#include "site_tree_test.moc"
