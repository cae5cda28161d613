// SPDX-License-Identifier: GPL-3.0-or-later
// The remote view's model and its four styles: rows sorted once, directories first, by the column
// chosen, and a click selects the same row in every style.

#include "browse/remote_entry_model.h"
#include "browse/remote_view.h"
#include "ftp/ftp_remote_session.h"
#include "settings/settings.h"
#include "sites/profiles/site_profile.h"
#include "sites/profiles/site_store.h"
#include "support/view_mouse.h"

#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdlib>

namespace {

CRemoteRow Row(const std::string& name, int kind, const char* size = "")
{
    CRemoteRow row;
    row.name = name;
    row.kind = kind;
    row.size = QString::fromLatin1(size);
    row.listed.size = std::atoll(size);
    return row;
}

QStringList ModelNames(const CRemoteEntryModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, CRemoteEntryModel::kName).data().toString() + QLatin1Char('/')
                + model.index(row, CRemoteEntryModel::kSize).data().toString();
    return names;
}

}  // namespace

class RemoteViewModelTest : public QObject {
    Q_OBJECT

private slots:
    void rowsAreSortedOnceDirectoriesFirstByTheColumnChosen()
    {
        CRemoteEntryModel model;
        int resets = 0;
        connect(&model, &QAbstractItemModel::modelReset, this, [&resets] { ++resets; });
        const std::vector<CRemoteRow> listing = {Row("b", kItemRemoteFile, "1"),    Row("B", kItemRemoteFile, "2"),
                                                 Row("a", kItemRemoteFile, "3"),    Row("b", kItemRemoteDirectory, "4"),
                                                 Row("\xff", kItemRemoteFile, "5"), Row("b", kItemRemoteFile, "6")};
        model.Reset(listing);
        QCOMPARE(resets, 1);
        // "B" before "b" (same folded, then bytes), the two files "b" in the order they came.
        QCOMPARE(ModelNames(model), (QStringList{"b/4", "a/3", "B/2", "b/1", "b/6", QStringLiteral("\ufffd/5")}));
        QCOMPARE(model.Row(5).name, std::string("\xff"));  // the raw bytes stay with the row

        // A column clicked: directories still first, the rest by size downwards, the selection kept;
        // the next listing comes in that order too.
        const QPersistentModelIndex selected = model.index(2, CRemoteEntryModel::kName);
        model.sort(CRemoteEntryModel::kSize, Qt::DescendingOrder);
        QCOMPARE(ModelNames(model), (QStringList{"b/4", "b/6", QStringLiteral("\ufffd/5"), "a/3", "B/2", "b/1"}));
        QCOMPARE(selected.row(), 4);
        model.Reset(listing);
        QCOMPARE(ModelNames(model), (QStringList{"b/4", "b/6", QStringLiteral("\ufffd/5"), "a/3", "B/2", "b/1"}));
        model.sort(CRemoteEntryModel::kName);

        model.Rename(2, "zz");
        QCOMPARE(model.index(2, CRemoteEntryModel::kName).data().toString(), QStringLiteral("zz"));
        model.RemoveRow(0);
        QCOMPARE(ModelNames(model), (QStringList{"a/3", "zz/2", "b/6", "b/1", QStringLiteral("\ufffd/5")}));
        QVERIFY(model.flags(model.index(0, CRemoteEntryModel::kName)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(0, CRemoteEntryModel::kSize)) & Qt::ItemIsEditable));
    }

    // Every file says what it is: the desktop's name for its type, else its extension's.
    void everyFileHasAType()
    {
        for (const auto& [name, type] : std::vector<std::pair<std::string, QString>>{
                 {"image.tessaline-none", QStringLiteral("TESSALINE-NONE file")}, {"README", QStringLiteral("File")}}) {
            CDirEntry entry;
            entry.name = name;
            QCOMPARE(RowOfEntry(entry).type, type);
        }
    }

    void aClickSelectsTheSameRowInEveryStyle()
    {
        QTemporaryDir home;
        CSettings settings;
        FtpRemoteSession session(settings.engine);
        SiteStore sites;
        CurrentSiteIcon currentSiteIcon;
        for (const char* group : {"Work", "archive", "Home"})
            sites.AddGroup(group);
        CTessalinev3View view(session, settings, sites, currentSiteIcon);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.InitialUpdate();
        QCOMPARE(Names(view), (QStringList{"archive", "Home", "Work"}));

        for (const int style : {CTessalinev3View::kLargeIcons, CTessalinev3View::kSmallIcons, CTessalinev3View::kList,
                                CTessalinev3View::kDetails}) {
            view.SetViewStyle(style);
            QApplication::processEvents();
            Click(view, QStringLiteral("Home"));
            QCOMPARE(view.SelectedRows(), std::vector<int>{1});
            Click(view, QStringLiteral("Work"), Qt::ControlModifier);
            QCOMPARE(view.SelectedRows(), (std::vector<int>{1, 2}));
            QCOMPARE(view.SelectedCount(), 2);
            QVERIFY(!view.SelectionIsRemote());
        }
        // In Details a click on the sorted column's header turns the order round, in every style.
        QHeaderView* header = static_cast<QTreeView*>(view.ActiveList())->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(Names(view), (QStringList{"Work", "Home", "archive"}));
    }
};

QTEST_MAIN(RemoteViewModelTest)
#include "remote_view_model_test.moc"
