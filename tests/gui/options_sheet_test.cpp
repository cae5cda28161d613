// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/firewall_options_page.h"
#include "app/options_sheet.h"
#include "app/transfer_options_page.h"
#include "settings/settings.h"
#include "support/dialog_fields.h"
#include "support/test_prompter.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <memory>

namespace {

constexpr int kProgramPage = 0;
constexpr int kTransferPage = 1;
constexpr int kDisplayPage = 2;
constexpr int kFirewallPage = 3;

const QString kNotAnInteger = QStringLiteral("Please enter an integer.");

QTabWidget& Tabs(QDialog& sheet)
{
    return *sheet.findChild<QTabWidget*>();
}

QPushButton& SheetButton(QDialog& sheet, QDialogButtonBox::StandardButton which)
{
    return *sheet.findChild<QDialogButtonBox*>()->button(which);
}

QLineEdit& DirectoryField(QDialog& sheet)
{
    return *sheet.findChild<CTransOptions*>()->findChild<QLineEdit*>();
}

QStringList CheckedRadios(QWidget& page)
{
    QStringList checked;
    for (const QRadioButton* radio : page.findChildren<QRadioButton*>()) {
        if (radio->isChecked())
            checked << radio->text();
    }
    return checked;
}

}  // namespace

class OptionsSheetTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        prompter = std::make_unique<TestPrompter>();
        settings = std::make_unique<CSettings>();
        settings->defaultDownloadDirectory = "/home/user/Downloads/";
        settings->transferMode = 'A';
        settings->engine.transferMode = 'F';  // differs from the stored default on purpose
        buttonPresses = 0;
        viewWhenPressed = -1;
        Reopen();
    }

    void cleanup()
    {
        sheet.reset();
        prompter.reset();
    }

    void firewallTypeIsKeptUnlessChosen_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("click");
        QTest::addColumn<QStringList>("checkedAtOpening");
        QTest::addColumn<int>("afterOk");
        QTest::newRow("3 kept") << int{kFirewallProxyUserAtHost} << QString()
                                << QStringList{"Logon proxy then &USER remote_userid@remote_host"}
                                << int{kFirewallProxyUserAtHost};
        QTest::newRow("0 checks none") << int{kFirewallProxySite} << QString() << QStringList{}
                                       << int{kFirewallProxySite};
        QTest::newRow("OPEN chosen") << int{kFirewallSiteCommand} << QStringLiteral("&OPEN remote_host")
                                     << QStringList{"Logon proxy then &SITE remote_host"} << int{kFirewallOpenHost};
    }

    void firewallTypeIsKeptUnlessChosen()
    {
        QFETCH(int, stored);
        QFETCH(QString, click);
        QFETCH(QStringList, checkedAtOpening);
        QFETCH(int, afterOk);
        settings->fireMode = stored;
        Reopen();
        QCOMPARE(CheckedRadios(*sheet->findChild<CFireWall*>()), checkedAtOpening);
        Tabs(*sheet).setCurrentIndex(kFirewallPage);
        if (!click.isEmpty())
            Button(*sheet, click).click();
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QCOMPARE(sheet->result(), QDialog::Accepted);
        QCOMPARE(settings->fireMode, afterOk);
    }

    void firewallPortIsCheckedOnLeavingAndOnOk_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("above range") << "100000"
                                     << "Please enter an integer between 0 and 99999.";
        QTest::newRow("not a number") << "21a" << kNotAnInteger;
    }

    void firewallPortIsCheckedOnLeavingAndOnOk()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        Tabs(*sheet).setCurrentIndex(kFirewallPage);
        QLineEdit& port = Labelled(*sheet, QStringLiteral("&Port :"));
        port.setText(typed);

        Tabs(*sheet).setCurrentIndex(kProgramPage);
        QCOMPARE(Tabs(*sheet).currentIndex(), kFirewallPage);
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QVERIFY(sheet->isVisible());
        QCOMPARE(prompter->informed, (std::vector<QString>{message, message}));
        QCOMPARE(sheet->focusWidget(), &port);
        QCOMPARE(settings->firePort, 0);

        port.setText(QStringLiteral("99999"));
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QCOMPARE(sheet->result(), QDialog::Accepted);
        QCOMPARE(settings->firePort, 99999);
    }

    void programNumbersAreCheckedThenStored_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("port not a number") << "Port:"
                                           << "2l" << kNotAnInteger;
        QTest::newRow("negative send bytes") << "Send bytes:"
                                             << "-512"
                                             << "Please enter an integer between 0 and 2147483647.";
        QTest::newRow("empty receive bytes") << "Receive bytes:"
                                             << "" << kNotAnInteger;
        QTest::newRow("time out over a day") << "Time out:"
                                             << "86401"
                                             << "Please enter an integer between 0 and 86400.";
    }

    void programNumbersAreCheckedThenStored()
    {
        QFETCH(QString, label);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        Labelled(*sheet, QStringLiteral("e-mail address:")).setText(QStringLiteral("me@example.org"));
        Labelled(*sheet, QStringLiteral("Port:")).setText(QStringLiteral("2121"));
        QLineEdit& timeOut = Labelled(*sheet, QStringLiteral("Time out:"));
        timeOut.clear();
        QTest::keyClicks(&timeOut, QStringLiteral("-3x0"));
        QCOMPARE(timeOut.text(), QStringLiteral("30"));
        Labelled(*sheet, QStringLiteral("Send bytes:")).setText(QStringLiteral(" 256 "));
        Labelled(*sheet, QStringLiteral("Receive bytes:")).setText(QStringLiteral("2048"));
        QLineEdit& wrong = Labelled(*sheet, label);
        const QString good = wrong.text();
        wrong.setText(typed);

        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QVERIFY(sheet->isVisible());
        QCOMPARE(prompter->informed, std::vector<QString>{message});
        QCOMPARE(sheet->focusWidget(), &wrong);
        QCOMPARE(settings->port, 21);

        wrong.setText(good);
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QCOMPARE(sheet->result(), QDialog::Accepted);
        QCOMPARE(settings->email, std::string("me@example.org"));
        QCOMPARE(settings->port, 2121);
        QCOMPARE(settings->engine.retry.load(), 30);
        QCOMPARE(settings->engine.sendBytes.load(), 256);
        QCOMPARE(settings->engine.receiveBytes.load(), 2048);
    }

    void transferOptionsSetBothModesAndEndTheDirectoryWithASlash_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("applyThenCancel");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no slash") << "/srv/in" << false << "/srv/in/";
        QTest::newRow("no slash, Apply then Cancel") << "/srv/in" << true << "/srv/in/";
        QTest::newRow("slash") << "/srv/in/" << false << "/srv/in/";
        QTest::newRow("emptied keeps the directory") << "" << false << "/home/user/Downloads/";
    }

    void transferOptionsSetBothModesAndEndTheDirectoryWithASlash()
    {
        QFETCH(QString, typed);
        QFETCH(bool, applyThenCancel);
        QFETCH(QString, stored);
        Labelled(*sheet, QStringLiteral("Port:")).setText(QStringLiteral("2121"));  // enables Apply
        Tabs(*sheet).setCurrentIndex(kTransferPage);
        QVERIFY(Button(*sheet, QStringLiteral("ASCII")).isChecked());
        Button(*sheet, QStringLiteral("Binary")).click();
        Button(*sheet, QStringLiteral("Save file on double-click")).click();
        Button(*sheet, QStringLiteral("Keep modification times")).click();
        QVERIFY(Button(*sheet, QStringLiteral("Use MLSD when offered")).isChecked());
        DirectoryField(*sheet).setText(typed);

        if (applyThenCancel) {
            SheetButton(*sheet, QDialogButtonBox::Apply).click();
            SheetButton(*sheet, QDialogButtonBox::Cancel).click();
        } else {
            SheetButton(*sheet, QDialogButtonBox::Ok).click();
            QCOMPARE(sheet->result(), QDialog::Accepted);
        }
        QCOMPARE(settings->transferMode, int('I'));
        QCOMPARE(settings->engine.transferMode.load(), int('I'));
        QCOMPARE(settings->saveOnDoubleClick, 0);
        QCOMPARE(settings->viewOnDoubleClick, 1);
        QVERIFY(settings->engine.useMlsd);
        QVERIFY(!settings->engine.keepTimes);
        QCOMPARE(settings->defaultDownloadDirectory, stored.toStdString());
    }

    void dataConnectionModeIsShownAndStored_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("result");
        const QString automatic = QStringLiteral("Automatic (passive behind a router)");
        QTest::newRow("automatic to active") << int{kAutomaticMode} << "Active" << int{kActiveMode};
        QTest::newRow("active to passive") << int{kActiveMode} << "Passive" << int{kPassiveMode};
        QTest::newRow("passive to automatic") << int{kPassiveMode} << automatic << int{kAutomaticMode};
        QTest::newRow("unknown value kept") << 7 << "" << 7;
    }

    void dataConnectionModeIsShownAndStored()
    {
        QFETCH(int, stored);
        QFETCH(QString, chosen);
        QFETCH(int, result);
        const QStringList choices = {QStringLiteral("Active"), QStringLiteral("Passive"),
                                     QStringLiteral("Automatic (passive behind a router)")};
        settings->engine.passiveMode = stored;
        Reopen();
        Tabs(*sheet).setCurrentIndex(kTransferPage);
        for (int i = 0; i < choices.size(); ++i)
            QCOMPARE(Button(*sheet, choices[i]).isChecked(), i == stored);
        if (!chosen.isEmpty())
            Button(*sheet, chosen).click();
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QCOMPARE(settings->engine.passiveMode.load(), result);

        Reopen();
        for (int i = 0; i < choices.size(); ++i)
            QCOMPARE(Button(*sheet, choices[i]).isChecked(), i == result);
    }

    void browseFillsInTheChosenFolderOnly()
    {
        Tabs(*sheet).setCurrentIndex(kTransferPage);
        QLineEdit& directory = DirectoryField(*sheet);
        Button(*sheet, QStringLiteral("Browse...")).click();
        QCOMPARE(directory.text(), QStringLiteral("/home/user/Downloads/"));
        prompter->chosenFolder = QStringLiteral("/media/disk");
        Button(*sheet, QStringLiteral("Browse...")).click();
        QCOMPARE(directory.text(), QStringLiteral("/media/disk"));
    }

    // A change on any page enables Apply, which stores it as OK does; Cancel keeps what it stored.
    void everyPageEnablesApplyAndApplyOutlivesCancel()
    {
        QPushButton& apply = SheetButton(*sheet, QDialogButtonBox::Apply);
        const auto change = [&](int page, const std::function<void()>& edit) {
            Tabs(*sheet).setCurrentIndex(page);
            QVERIFY(!apply.isEnabled());
            edit();
            QVERIFY(apply.isEnabled());
            apply.click();
        };
        change(kProgramPage, [this] { Labelled(*sheet, QStringLiteral("Port:")).setText(QStringLiteral("2121")); });
        // The transfer page was not shown yet: the mode in force stays as it was.
        QCOMPARE(settings->engine.transferMode.load(), int('F'));
        change(kDisplayPage, [this] { Button(*sheet, QStringLiteral("List view")).click(); });
        QCOMPARE(viewWhenPressed, 3);
        change(kFirewallPage,
               [this] { Labelled(*sheet, QStringLiteral("Proxy &address : ")).setText("proxy.example"); });
        change(kTransferPage, [this] { Button(*sheet, QStringLiteral("Binary")).click(); });
        SheetButton(*sheet, QDialogButtonBox::Cancel).click();
        QCOMPARE(sheet->result(), QDialog::Rejected);
        QCOMPARE(settings->defaultView, 3);
        QCOMPARE(settings->fireHost, std::string("proxy.example"));
        QCOMPARE(settings->engine.transferMode.load(), int('I'));
        QCOMPARE(settings->port, 2121);
    }

    void okPressesTheViewButtonAsApplyDoesAndBothAskForASave()
    {
        QSignalSpy stored(sheet.get(), &COptionsSheet::settingsStored);
        Tabs(*sheet).setCurrentIndex(kDisplayPage);
        Button(*sheet, QStringLiteral("Detail view")).click();
        SheetButton(*sheet, QDialogButtonBox::Ok).click();
        QCOMPARE(sheet->result(), QDialog::Accepted);
        QCOMPARE(buttonPresses, 1);
        QCOMPARE(viewWhenPressed, 1);
        QCOMPARE(stored.count(), 1);

        Reopen();
        QSignalSpy storedAgain(sheet.get(), &COptionsSheet::settingsStored);
        Labelled(*sheet, QStringLiteral("Port:")).setText(QStringLiteral("2121"));
        SheetButton(*sheet, QDialogButtonBox::Apply).click();
        QCOMPARE(storedAgain.count(), 1);
        SheetButton(*sheet, QDialogButtonBox::Cancel).click();
        QCOMPARE(storedAgain.count(), 1);
    }

    void helpOpensTheActivePagesSection()
    {
        for (int page : {kProgramPage, kTransferPage, kDisplayPage, kFirewallPage}) {
            Tabs(*sheet).setCurrentIndex(page);
            SheetButton(*sheet, QDialogButtonBox::Help).click();
        }
        QCOMPARE(prompter->helpShown, (std::vector<int>{48, 50, 51, 49}));
    }

private:
    void Reopen()
    {
        sheet = std::make_unique<COptionsSheet>(*settings, nullptr, [this] {
            ++buttonPresses;
            viewWhenPressed = settings->defaultView;
        });
        sheet->show();
    }

    std::unique_ptr<TestPrompter> prompter;
    std::unique_ptr<CSettings> settings;
    std::unique_ptr<COptionsSheet> sheet;
    int buttonPresses = 0;
    int viewWhenPressed = -1;
};

QTEST_MAIN(OptionsSheetTest)
#include "options_sheet_test.moc"
