// SPDX-License-Identifier: GPL-3.0-or-later
// Every field a user types into has a name that screen readers and keyboard users find it by (its
// label as buddy), and the Rename dialog starts with the old name selected so typing replaces it.

#include "app/options_sheet.h"
#include "browse/create_directory_dialog.h"
#include "browse/file_properties_dialog.h"
#include "settings/settings.h"
#include "sites/current_site_icon.h"
#include "sites/icon_selection_dialog.h"
#include "sites/name_dialogs.h"
#include "sites/session_profile_dialog.h"
#include "sites/site_properties_dialog.h"

#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>
#include <vector>

class DialogLabelsTest : public QObject {
    Q_OBJECT

private slots:
    void everyInputFieldHasItsLabelAsBuddy()
    {
        CSettings settings;
        CurrentSiteIcon icon;
        std::vector<std::unique_ptr<QDialog>> dialogs;
        dialogs.push_back(std::make_unique<CSitePropertiesDialog>(icon, "me@example.org"));
        dialogs.push_back(std::make_unique<CSessionProfileDialog>("me@example.org"));
        dialogs.push_back(std::make_unique<CNewGroupDialog>(""));
        dialogs.push_back(std::make_unique<CRenameDialog>("old"));
        dialogs.push_back(std::make_unique<CCreateDirectoryDialog>());
        dialogs.push_back(std::make_unique<CIconSelectionDialog>("Tessaline.exe ,33"));
        dialogs.push_back(std::make_unique<CFilePropertiesDialog>("a.txt", "1.0K", "Text", "Jan 1", "site/"));
        dialogs.push_back(std::make_unique<COptionsSheet>(settings, nullptr, [] {}));
        for (const auto& dialog : dialogs) {
            std::vector<QWidget*> fields;
            for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
                fields.push_back(edit);
            for (QPlainTextEdit* edit : dialog->findChildren<QPlainTextEdit*>())
                fields.push_back(edit);
            QVERIFY(!fields.empty());
            for (QWidget* field : fields) {
                bool labelled = !field->accessibleName().isEmpty();
                // A spin box's text field is labelled through the spin box.
                const QWidget* labelledWidget =
                    qobject_cast<QAbstractSpinBox*>(field->parentWidget()) ? field->parentWidget() : field;
                for (const QLabel* label : dialog->findChildren<QLabel*>())
                    labelled = labelled || label->buddy() == labelledWidget;
                QVERIFY2(labelled, qPrintable(dialog->windowTitle() + ": a field without a label"));
            }
        }
    }

    void renameStartsWithTheOldNameSelected()
    {
        CRenameDialog dialog("old name.txt");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* edit = dialog.findChild<QLineEdit*>();
        QCOMPARE(edit->selectedText(), QStringLiteral("old name.txt"));
        QTest::keyClicks(edit, "new.txt");
        dialog.accept();
        QCOMPARE(dialog.Name(), std::string("new.txt"));
    }
};

QTEST_MAIN(DialogLabelsTest)
#include "dialog_labels_test.moc"
