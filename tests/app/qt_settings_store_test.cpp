// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store/qt_settings_store.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class QtSettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir->path());
    }

    void firstWriteCreatesAPrivateFileThatKeepsItsMode()
    {
        QtSettingsStore store;
        QVERIFY(!QFile::exists(store.FileName()));
        store.WriteString("ProgramOptions", "Fire Password", "s3cret");
        QVERIFY(store.Commit());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(store.FileName()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);

        // A second save replaces the file and must not widen it.
        store.WriteInt("WndProperties", "Left", 5);
        QVERIFY(store.Commit());
        QCOMPARE(::stat(QFile::encodeName(store.FileName()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
    }

    void valuesComeBackExactly()
    {
        const std::string password = " pa ss;w=rd,\"q\"\\ @x é ";
        {
            QtSettingsStore store;
            store.WriteString("ProgramOptions", "Fire Password", password);
            store.WriteString("ProgramOptions", "e-mail", "");
            store.WriteInt("ProgramOptions", "Fire Port", -3);
            store.WriteInt("TransOptions", "Transfer Mode", 'F');
            QVERIFY(store.Commit());
        }
        QtSettingsStore store;
        QCOMPARE(store.ReadString("ProgramOptions", "Fire Password"), std::optional(password));
        QCOMPARE(store.ReadString("ProgramOptions", "e-mail"), std::optional(std::string()));
        QCOMPARE(store.ReadInt("ProgramOptions", "Fire Port"), std::optional(-3));
        QCOMPARE(store.ReadInt("TransOptions", "Transfer Mode"), std::optional<int>('F'));
        QCOMPARE(store.ReadInt("TransOptions", "Missing"), std::nullopt);
    }

    void plainPasswordIsReadableInTheFile()
    {
        QtSettingsStore store;
        store.WriteString("ProgramOptions", "Fire Password", "Hunter2-plain");
        QVERIFY(store.Commit());
        QFile file(store.FileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("[ProgramOptions]"));
        QVERIFY(text.contains("Fire%20Password=Hunter2-plain"));
    }

    void handEditedValuesThatAreNotNumbersOrTextGiveNothing()
    {
        QtSettingsStore probe;
        QFile file(probe.FileName());
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[ProgramOptions]\nPort=twenty-one\nRetry=99999999999\nSend%20Bytes= 77 \n"
                   "e-mail=a@b, c@d\n");
        file.close();

        QtSettingsStore store;
        QCOMPARE(store.ReadInt("ProgramOptions", "Port"), std::nullopt);
        QCOMPARE(store.ReadInt("ProgramOptions", "Retry"), std::nullopt);
        QCOMPARE(store.ReadInt("ProgramOptions", "Send Bytes"), std::optional(77));
        QCOMPARE(store.ReadString("ProgramOptions", "e-mail"), std::nullopt);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_GUILESS_MAIN(QtSettingsStoreTest)
#include "qt_settings_store_test.moc"
