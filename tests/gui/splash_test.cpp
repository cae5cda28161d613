// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bitmap/dib.h"
#include "app/bitmap_dialog.h"
#include "app/main_frame.h"
#include "app/splash_dialog.h"
#include "app/tessaline_app.h"
#include "support/test_home.h"
#include "support/test_prompter.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sstream>

namespace {

// Minimises the main window as it is shown, as a desktop may when the program starts.
class MinimiseMainWindow final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<CMainFrame*>(watched))
            static_cast<QWidget*>(watched)->setWindowState(Qt::WindowMinimized);
        return false;
    }
};

QPushButton* Button(const QWidget& dialog, const QString& text)
{
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

}  // namespace

class SplashTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        UseTestHome(dir->path(), dir->path());
    }

    void splashClosesAtTheFirstIdleStepAfter2500MsOrAfterAPress_data()
    {
        QTest::addColumn<std::uint32_t>("shown");
        QTest::addColumn<Qt::MouseButton>("press");
        QTest::addColumn<std::uint32_t>("elapsed");
        QTest::addColumn<bool>("closes");
        QTest::newRow("left press") << 1000u << Qt::LeftButton << 100u << true;
        QTest::newRow("right press") << 1000u << Qt::RightButton << 100u << true;
        QTest::newRow("middle press") << 1000u << Qt::MiddleButton << 100u << false;
        QTest::newRow("2500 ms") << 1000u << Qt::NoButton << 2500u << false;
        QTest::newRow("2501 ms") << 1000u << Qt::NoButton << 2501u << true;
        QTest::newRow("clock wraps, 2500 ms") << 0xffffff00u << Qt::NoButton << 2500u << false;
        QTest::newRow("clock wraps, 2501 ms") << 0xffffff00u << Qt::NoButton << 2501u << true;
    }

    void splashClosesAtTheFirstIdleStepAfter2500MsOrAfterAPress()
    {
        QFETCH(std::uint32_t, shown);
        QFETCH(Qt::MouseButton, press);
        QFETCH(std::uint32_t, elapsed);
        QFETCH(bool, closes);
        std::uint32_t now = shown;
        CTessalineApp app;
        app.tickCount = [&now] { return now; };
        QVERIFY(app.Startup());
        CSplashDialog* splash = app.Splash();
        QVERIFY(splash && splash->isVisible());
        QVERIFY(!Button(*splash, "OK")->isVisible());
        QCOMPARE(splash->geometry().center(), app.MainFrame()->frameGeometry().center());

        now = shown + elapsed;
        if (press != Qt::NoButton)
            QTest::mouseClick(splash, press, {}, QPoint(20, 20));
        app.IdleStep();
        QCOMPARE(app.Splash() == nullptr, closes);
        QCOMPARE(app.MainFrame()->findChildren<CSplashDialog*>().isEmpty(), closes);
        app.Shutdown(0);
    }

    void minimisedStartShowsNoSplash()
    {
        MinimiseMainWindow minimise;
        qApp->installEventFilter(&minimise);
        CTessalineApp app;
        QVERIFY(app.Startup());
        qApp->removeEventFilter(&minimise);
        QVERIFY(app.MainFrame()->isMinimized());
        QVERIFY(!app.Splash());
        QVERIFY(app.MainFrame()->findChildren<CSplashDialog*>().isEmpty());
        QVERIFY(app.startupComplete);
        app.Shutdown(0);
    }

    void aboutBoxShowsThePictureAndHelpLeavesItOpenUntilOk()
    {
        TestPrompter prompter;
        QWidget owner;
        bool paintedPicture = false;
        bool openAfterHelp = false;
        QString version;
        int result = -1;
        prompter.onDialog = [&](QDialog& dialog) {
            dialog.show();
            const QImage& picture = static_cast<const CSplashDialog&>(dialog).Background();
            paintedPicture =
                dialog.size() == QSize(460, 251) && dialog.grab().toImage().pixel(40, 30) == picture.pixel(40, 30);
            version = dialog.findChild<QLabel*>("version")->text();
            Button(dialog, "Help")->click();
            openAfterHelp = dialog.isVisible();
            Button(dialog, "OK")->click();
            result = dialog.isVisible() ? -1 : dialog.result();
            return result;
        };
        ShowAboutBox(&owner);
        QVERIFY(paintedPicture);
        QCOMPARE(version, QStringLiteral("Tessaline for Linux\nVersion 2.5"));
        QVERIFY(openAfterHelp);
        QCOMPARE(prompter.helpShown, std::vector<int>{101});
        QCOMPARE(result, int(QDialog::Accepted));
    }

    void splashPictureConvertsAsQtReadsIt()
    {
        QFile resource(QStringLiteral(":/splash/IDR_SPLASH"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray bytes = resource.readAll();
        std::istringstream file(bytes.toStdString());
        CDIB dib;
        QCOMPARE(dib.Read(file), 1);
        QCOMPARE(dib.ColourCount(), 256);
        const QImage image = DibImage(dib);
        QCOMPARE(image.size(), QSize(460, 251));
        QCOMPARE(image, QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32));
    }

    void missingBitmapLeavesABlackPlaceholder()
    {
        const CBitmapDialog dialog(QStringLiteral("IDR_NOWHERE"), nullptr);
        QImage black(459, 250, QImage::Format_RGB32);
        black.fill(Qt::black);
        QCOMPARE(dialog.Background(), black);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(SplashTest)
#include "splash_test.moc"
