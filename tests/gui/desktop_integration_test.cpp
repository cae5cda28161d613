// SPDX-License-Identifier: GPL-3.0-or-later
// The remote view's ties to the local desktop: file-type names and icons, opening a downloaded
// file with its application, and dragging entries out to local files.

#include "browse/desktop_entries.h"
#include "browse/drag_out.h"
#include "browse/file_types.h"
#include "browse/open_with_application.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"
#include "support/test_files.h"
#include "support/test_prompter.h"
#include "ui/program_icons.h"

#include <QImage>
#include <QMimeDatabase>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

int CountLines(const std::vector<std::string>& lines, const std::string& prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&prefix](const std::string& line) { return line.starts_with(prefix); }));
}

// Sets an environment variable for as long as it lives.
class ScopedEnv final {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name(name), old(qgetenv(name)) { qputenv(name, value); }
    ~ScopedEnv() { old.isNull() ? qunsetenv(name) : qputenv(name, old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    QByteArray old;  // null when it was not set
};

}  // namespace

class DesktopIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void fileExtensionAndFileName()
    {
        const std::pair<std::string, std::string> extensions[] = {
            {"archive.tar.gz", ".gz"}, {"README", ""},     {"my file.txt", ".txt"},  {"a.b c", ""}, {"v1.2/readme", ""},
            {"v1.2/readme.md", ".md"}, {"trailing.", "."}, {".profile", ".profile"},
        };
        for (const auto& [name, extension] : extensions)
            QCOMPARE(FileExtension(name), extension);
        QCOMPARE(FileNameOfPath("/home/anna/Downloads/a b.txt"), std::string("a b.txt"));
        QCOMPARE(FileNameOfPath("plain name"), std::string("plain name"));
        QCOMPARE(FileNameOfPath("/dir/"), std::string());
    }

    void typeNamesAndIconsAreLookedUpOncePerExtension()
    {
        // A theme of our own with one icon: the generic one of text files.
        TempDir themes;
        const fs::path theme = fs::path(themes.path) / "TestTheme";
        fs::create_directories(theme / "16x16" / "mimetypes");
        WriteFile(theme / "index.theme",
                  "[Icon Theme]\nName=TestTheme\nDirectories=16x16/mimetypes\n\n"
                  "[16x16/mimetypes]\nSize=16\nType=Fixed\n");
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(QString::fromStdString((theme / "16x16" / "mimetypes" / "text-x-generic.png").string())));
        QIcon::setThemeSearchPaths({QString::fromStdString(themes.path)});
        QIcon::setThemeName(QStringLiteral("TestTheme"));

        QStringList probes;
        CFileTypes types([&probes](const QString& probe) {
            probes << probe;
            return RegisteredTypeOfExtension(probe);
        });
        const qint64 document = ProgramIcon(ProgramIconId::Document).cacheKey();

        QCOMPARE(types.IconForFileName("README").cacheKey(), document);
        QCOMPARE(types.TypeNameForExtension("README"), QString());
        QVERIFY(probes.isEmpty());

        // Only the last extension counts, in lower case; ".exe" is looked up as ".com".
        types.IconForFileName("archive.tar.gz");
        types.IconForFileName("SETUP.EXE");
        QCOMPARE(probes, (QStringList{".gz", ".com"}));
        // No icon of the gzip type in the theme, and nothing registered for ".com": the document icon.
        QCOMPARE(types.IconForFileName("other.gz").cacheKey(), document);
        QCOMPARE(types.IconForFileName("setup.exe").cacheKey(), document);
        // text/plain has no icon of its own there, its generic kind has.
        QCOMPARE(types.IconForFileName("notes.TXT").name(), QStringLiteral("text-x-generic"));

        probes.clear();
        const QString gzip = QMimeDatabase().mimeTypeForName(QStringLiteral("application/gzip")).comment();
        QVERIFY(!gzip.isEmpty());
        QCOMPARE(types.TypeNameForExtension("archive.tar.gz"), gzip);
        QCOMPARE(types.TypeNameForExtension("unknown.tessaline-none"), QString());
        for (int entry = 0; entry < 20000; ++entry) {
            const std::string name = "file " + std::to_string(entry) + (entry % 2 ? ".gz" : ".tessaline-none");
            types.TypeNameForExtension(name);
            types.IconForFileName(name);
        }
        QCOMPARE(probes, (QStringList{".gz", ".tessaline-none", ".tessaline-none"}));
        QIcon::setThemeName(QString());
    }

    void execLinesBecomeArgumentVectors()
    {
        const QString path = QStringLiteral("/data/a \"quoted\" name; $(touch pwned) `x` 'y'.txt");
        const QString dash = QStringLiteral("-n not an option.txt");
        struct Row {
            QString exec;
            QString path;
            std::optional<QStringList> arguments;
        };
        const Row rows[] = {
            {"editor %f", path, QStringList{"editor", path}},
            {"editor", path, QStringList{"editor", path}},
            {"editor %U", dash, QStringList{"editor", dash}},
            {"viewer --file=%u --new-window", path, QStringList{"viewer", "--file=" + path, "--new-window"}},
            {"\"/opt/my viewer/bin/view\" %i %c %k %F", path, QStringList{"/opt/my viewer/bin/view", path}},
            {"show 100%% %f", path, QStringList{"show", "100%", path}},
            {"show \"say \\\"hi\\\" \\\\ \\$HOME\" %f", path, QStringList{"show", "say \"hi\" \\ $HOME", path}},
            // A code inside quotes is not expanded: the path goes after, as an argument of its own.
            {"sh -c \"cat %f\"", path, QStringList{"sh", "-c", "cat %f", path}},
            {"editor \"\" %f", path, QStringList{"editor", "", path}},
            {"editor \"open", path, std::nullopt},
            {"", path, std::nullopt},
            {"%i", path, std::nullopt},
        };
        for (const Row& row : rows) {
            const std::optional<QStringList> arguments = ExecArguments(row.exec, row.path);
            const QString got = arguments ? arguments->join(u'|') : QStringLiteral("nothing");
            QVERIFY2(arguments == row.arguments, qPrintable(row.exec + " gave " + got));
        }
    }

    void openWithApplicationStartsTheDefaultApplication()
    {
        TempDir home;
        const fs::path top(home.path);
        const fs::path output = top / "argv";
        // The "editor" writes its arguments, one a line.
        const fs::path script = top / "editor.sh";
        WriteFile(script,
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (top / "argv.part").string() + "'\n/bin/mv '"
                      + (top / "argv.part").string() + "' '" + output.string() + "'\n");
        fs::permissions(script, fs::perms::owner_all);
        fs::create_directories(top / "config");
        fs::create_directories(top / "data" / "applications");
        WriteFile(top / "config" / "mimeapps.list",
                  "[Default Applications]\ntext/plain=missing.desktop;tessaline-test-editor.desktop;\n");
        WriteFile(top / "data" / "applications" / "tessaline-test-editor.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test editor\nExec=" + script.string()
                      + " --open %f\nMimeType=text/plain;\n");
        WriteFile(top / "data" / "applications" / "tessaline-test-archiver.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test archiver\nExec=" + script.string()
                      + " --unpack\nMimeType=application/x-tessaline-none;application/gzip;\n");
        fs::create_directories(top / "bin");
        const ScopedEnv config("XDG_CONFIG_HOME", QByteArray::fromStdString((top / "config").string()));
        const ScopedEnv data("XDG_DATA_HOME", QByteArray::fromStdString((top / "data").string()));
        const ScopedEnv path("PATH", QByteArray::fromStdString((top / "bin").string()));  // no xdg-open
        TestPrompter prompter;
        TakeLog();

        const auto opened = [&output](const std::string& file) -> QStringList {
            if (!QTest::qWaitFor([&output] { return fs::exists(output); }, 10000))
                return {"nothing started for " + QString::fromStdString(file)};
            const QString argv = QString::fromStdString(ReadFile(output));
            fs::remove(output);
            return argv.split(u'\n', Qt::SkipEmptyParts);
        };

        const std::string awkward = (top / "notes with blanks; $(touch pwned) \"q\".txt").string();
        OpenWithApplication(awkward, nullptr);
        QCOMPARE(opened(awkward), (QStringList{"--open", QString::fromStdString(awkward)}));
        QVERIFY(!fs::exists(top / "pwned"));
        QVERIFY(prompter.asked.empty());
        QCOMPARE(TakeLog(), (std::vector<std::string>{"Opening " + awkward + " with " + script.string()}));

        // Without a default, the first entry that lists the type; an Exec without a file code
        // gets the path at the end.
        const std::string packed = (top / "packed.gz").string();
        OpenWithApplication(packed, nullptr);
        QCOMPARE(opened(packed), (QStringList{"--unpack", QString::fromStdString(packed)}));

        // The path goes to the application byte for byte, also when the name is not UTF-8.
        const std::string latin1 = (top / "caf\xe9.txt").string();
        OpenWithApplication(latin1, nullptr);
        QVERIFY(QTest::qWaitFor([&output] { return fs::exists(output); }, 10000));
        QCOMPARE(ReadFile(output), "--open\n" + latin1 + "\n");
        fs::remove(output);

        // A text file without a dot, or one that nothing opens, gets the question, which names
        // the desktop's text editor; Yes opens it there, No starts nothing.
        const QString question = QStringLiteral("Tessaline: I couldn't find an application to open this file, would "
                                                "you like to open it with Test editor?");
        const std::string readme = (top / "README").string();
        prompter.answers.push_back(true);
        OpenWithApplication(readme, nullptr);
        QCOMPARE(prompter.asked, (std::vector<QString>{question}));
        QCOMPARE(opened(readme), (QStringList{"--open", QString::fromStdString(readme)}));
        prompter.asked.clear();
        const std::string notes = (top / "notes.tessaline-none").string();
        WriteFile(notes, "plain words\n");
        OpenWithApplication(notes, nullptr);
        QCOMPARE(prompter.asked, (std::vector<QString>{question}));

        // Any other file nothing opens is only logged.
        prompter.asked.clear();
        TakeLog();
        const std::string binary = (top / "data.tessaline-none").string();
        WriteFile(binary, std::string("\0\x01\x02\xff\xfe", 5));
        OpenWithApplication(binary, nullptr);
        QVERIFY(prompter.asked.empty());
        QCOMPARE(TakeLog(),
                 (std::vector<std::string>{"No application is registered to open " + binary
                                           + " (application/octet-stream)"}));
        QVERIFY(!fs::exists(output));
    }

    void dragOutDownloadsOnlyOnTheDrop()
    {
        TempDir root;
        const fs::path served(root.path);
        WriteFile(served / "two words.txt", "two words\n");
        fs::create_directories(served / "tree" / "inner");
        WriteFile(served / "tree" / "top.txt", "top\n");
        WriteFile(served / "tree" / "inner" / "deep.bin", std::string("\0\r\n\x01", 4));
        PyftpdlibServer server(root.path, "anna", "secret");
        QVERIFY2(server.Started(), server.ServerLog().c_str());

        TempDir local;
        EngineSettings settings;
        settings.retry = 20;
        FtpRemoteSession remote(settings);
        CFtpSession& session = remote.Ftp();
        session.listingFile = local.path + "/listing";
        session.hostName = "127.0.0.1:" + std::to_string(server.Port());
        session.userName = "anna";
        session.password = "secret";
        QVERIFY(session.Connect() != kConnectFailed);

        // Copies left by an earlier drag, one of them of the other kind.
        const fs::path drags = fs::path(local.path) / "dragged";
        fs::create_directories(drags / "tree");
        WriteFile(drags / "tree" / "old.txt", "old");
        fs::create_directories(drags / "two words.txt");
        WriteFile(drags / "missing.txt", "stale");
        TakeLog();

        // The list says "file" for the tree: its permissions decide.
        CDragOutData data(remote, CopyRules{},
                          {{"two words.txt", "-rw-r--r--", false},
                           {"tree", "drwxr-xr-x", false},
                           {"missing.txt", "-rw-r--r--", false},
                           {"..", "drwxr-xr-x", true}},
                          drags.string() + "/");
        QCOMPARE(TakeLog(), (std::vector<std::string>{"Skipped unsafe name .."}));
        QList<QUrl> expected;
        for (const char* name : {"two words.txt", "tree", "missing.txt"})
            expected << QUrl::fromLocalFile(QString::fromStdString((drags / name).string()));
        QVERIFY(data.hasUrls());

        // Before the drop a target may look, but nothing is downloaded.
        QCOMPARE(data.urls(), expected);
        QCOMPARE(CountLines(TakeLog(), "Tessaline: RETR"), 0);
        QVERIFY(fs::is_directory(drags / "two words.txt"));

        // The drop: every entry is downloaded once, before the list is handed over.
        data.SetDropPending();
        QCOMPARE(data.urls(), expected);
        QCOMPARE(CountLines(TakeLog(), "Tessaline: RETR"), 4);
        QCOMPARE(ReadFile(drags / "two words.txt"), std::string("two words\n"));
        QCOMPARE(ReadFile(drags / "tree" / "top.txt"), std::string("top\n"));
        QCOMPARE(ReadFile(drags / "tree" / "inner" / "deep.bin"), std::string("\0\r\n\x01", 4));
        QVERIFY(!fs::exists(drags / "tree" / "old.txt"));
        QVERIFY(!fs::exists(drags / "missing.txt"));  // failed: the target finds nothing there

        // Later requests, and a second word of the drop, download nothing more.
        data.SetDropPending();
        QCOMPARE(QString::fromLatin1(data.data("text/uri-list")).count("\r\n"), 3);
        QCOMPARE(CountLines(TakeLog(), "Tessaline: RETR"), 0);
        session.Quit();
    }
};

QTEST_MAIN(DesktopIntegrationTest)
#include "desktop_integration_test.moc"
