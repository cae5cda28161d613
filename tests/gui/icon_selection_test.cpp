// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/icon_selection_dialog.h"
#include "sites/site_icons.h"
#include "support/test_prompter.h"

#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

QImage ImageOf(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage();
}

QRgb ColourOf(int index)
{
    return qRgb(index * 2, 255 - index * 2, (index * 37) % 256);
}

QRgb CentreOf(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().pixel(8, 8);
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void AppendLittleEndian(QByteArray& bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

// An .ico of `count` 16x16 images, each one colour (ColourOf its index): even entries PNG-compressed,
// odd ones bitmaps as Qt writes them. Returns the offset where each entry's data starts.
std::vector<quint32> WriteIconFile(const QString& path, int count)
{
    std::vector<QByteArray> entries;
    std::vector<QByteArray> directory;
    for (int index = 0; index < count; ++index) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(ColourOf(index));
        if (index % 2 == 0) {
            entries.push_back(Encoded(image, "png"));
            QByteArray entry(4, '\0');
            entry[0] = entry[1] = 16;
            AppendLittleEndian(entry, 1, 2);
            AppendLittleEndian(entry, 32, 2);
            directory.push_back(entry);
        } else {
            const QByteArray single = Encoded(image, "ico");
            entries.push_back(single.mid(qFromLittleEndian<quint32>(single.constData() + 18)));
            directory.push_back(single.mid(6, 8));
        }
    }
    QByteArray file;
    AppendLittleEndian(file, 0, 2);
    AppendLittleEndian(file, 1, 2);
    AppendLittleEndian(file, count, 2);
    std::vector<quint32> offsets;
    quint32 offset = 6 + 16 * count;
    for (int index = 0; index < count; ++index) {
        file.append(directory[index]);
        AppendLittleEndian(file, entries[index].size(), 4);
        AppendLittleEndian(file, offset, 4);
        offsets.push_back(offset);
        offset += entries[index].size();
    }
    for (const QByteArray& entry : entries)
        file.append(entry);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        qFatal("cannot write %s", qPrintable(path));
    return offsets;
}

QStringList Labels(const QListWidget* list)
{
    QStringList labels;
    for (int row = 0; row < list->count(); ++row)
        labels << list->item(row)->text();
    return labels;
}

QString Text(const std::optional<std::string>& chosen)
{
    return chosen ? QString::fromStdString(*chosen) : QStringLiteral("<unchanged>");
}

QStringList NumbersUpTo(int count)
{
    QStringList numbers;
    for (int n = 0; n < count; ++n)
        numbers << QString::number(n);
    return numbers;
}

}  // namespace

class IconSelectionTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        icoPath = dir->filePath("many.ico");
        WriteIconFile(icoPath, 120);
    }

    void referencesAreParsedAndFormatted()
    {
        const struct {
            const char* text;
            const char* file;
            int index;
        } rows[] = {
            {"Tessaline.exe ,33", "Tessaline.exe", 33},
            {"Tessaline.exe, 33", "Tessaline.exe", 33},
            {"/icons/My Icons.ico  ,  7,2", "/icons/My Icons.ico", 7},
            {"plain.png", "plain.png", 0},
            {"x.ico ,none", "x.ico", 0},
            {", 5", "", 5},
        };
        for (const auto& row : rows) {
            const IconReference parsed = ParseIconReference(row.text);
            QCOMPARE(QString::fromStdString(parsed.file), QString(row.file));
            QCOMPARE(parsed.index, row.index);
        }
        QCOMPARE(QString::fromStdString(FormatIconReference("/p/a b.ico", 5)), QString("/p/a b.ico ,5"));
    }

    void theProgramSetAndProgramIcons()
    {
        const std::vector<QIcon> set = IconsInFile("Tessaline.exe");
        QVERIFY(set.size() >= 34);
        for (size_t i = 0; i < set.size(); ++i) {
            QVERIFY2(!ImageOf(set[i]).isNull(), qPrintable(QString::number(i)));
            for (size_t j = 0; j < i; ++j)
                QVERIFY2(ImageOf(set[i]) != ImageOf(set[j]), qPrintable(QString("%1 %2").arg(i).arg(j)));
        }

        const QImage computer = ImageOf(ProgramIcon(151));
        QCOMPARE(computer, ImageOf(set[33]));
        for (const char* reference : {"Tessaline.exe ,33", "Tessaline.exe, 33", "/opt/TESSALINE.EXE ,33",
                                      "C:\\Tessa\\tessaline.exe ,33", "151"})
            QCOMPARE(ImageOf(IconFromSpec(reference)), computer);
        QCOMPARE(ImageOf(IconFromSpec("3")), ImageOf(set[3]));

        std::vector<QImage> named;
        for (int number : {131, 132, 133, 153}) {
            named.push_back(ImageOf(ProgramIcon(number)));
            QVERIFY(!named.back().isNull());
            QVERIFY(!std::count(named.begin(), named.end() - 1, named.back()));
        }
        for (int index = 0; index < 4; ++index)
            QVERIFY(!TreeImage(index).pixmap(16, 16).isNull());
        QVERIFY(TreeImage(4).isNull());

        const std::string past = "Tessaline.exe ," + std::to_string(set.size());
        for (const std::string& reference :
             {past, std::string("Tessaline.exe ,-1"), std::string(", 3"), std::string(""), std::string("999"),
              (dir->filePath("missing.ico") + " ,0").toStdString()})
            QVERIFY2(IconFromSpec(reference).isNull(), reference.c_str());
    }

    void filesGiveTheirIconsInOrder()
    {
        const std::vector<QIcon> icons = IconsInFile(icoPath);
        QCOMPARE(icons.size(), size_t(120));
        for (int index = 0; index < 120; ++index)
            QCOMPARE(CentreOf(icons[index]), ColourOf(index));
        QCOMPARE(CentreOf(IconFromSpec((icoPath + " ,57").toStdString())), ColourOf(57));
        QVERIFY(IconFromSpec((icoPath + " ,120").toStdString()).isNull());

        // A directory that promises more images than the file holds ends at the first one missing.
        const QString cut = dir->filePath("cut.ico");
        const std::vector<quint32> offsets = WriteIconFile(cut, 60);
        QFile(cut).resize(offsets[40] + 10);
        QCOMPARE(IconsInFile(cut).size(), size_t(40));

        const QString png = dir->filePath("one.png");
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(ColourOf(9));
        QVERIFY(image.save(png));
        QCOMPARE(IconsInFile(png).size(), size_t(1));
        QCOMPARE(CentreOf(IconFromSpec(png.toStdString())), ColourOf(9));
        QVERIFY(IconFromSpec((png + " ,1").toStdString()).isNull());

        const QString text = dir->filePath("notes.txt");
        QFile notes(text);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("no icons here\n") > 0);
        notes.close();
        QVERIFY(IconsInFile(text).empty());

        // Opening a pipe would wait for a writer that never comes.
        const QString pipe = dir->filePath("pipe.ico");
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(IconsInFile(pipe).empty());
        QVERIFY(IconFromSpec((pipe + " ,0").toStdString()).isNull());
    }

    void openingShowsTheFileAndOkWithoutSelectionKeepsTheIcon()
    {
        TestPrompter prompter;
        prompter.onDialog = [](QDialog& dialog) {
            const auto* fileName = dialog.findChild<QLineEdit*>("fileName");
            const auto* icons = dialog.findChild<QListWidget*>("icons");
            [&] {
                QCOMPARE(fileName->text(), QString("Tessaline.exe"));
                QCOMPARE(Labels(icons), NumbersUpTo(int(IconsInFile("Tessaline.exe").size())));
                QVERIFY(icons->selectedItems().isEmpty());
            }();
            dialog.findChild<QPushButton*>("ok")->click();
            return dialog.result();
        };
        QCOMPARE(Text(CIconSelectionDialog::ChooseIcon(nullptr, "Tessaline.exe ,33")), QString("<unchanged>"));
        QCOMPARE(prompter.dialogs, std::vector<QString>{"Icon Selection"});
    }

    void browsingThenCancellingKeepsTheIcon()
    {
        TestPrompter prompter;
        prompter.onDialog = [&](QDialog& dialog) {
            const auto* fileName = dialog.findChild<QLineEdit*>("fileName");
            auto* icons = dialog.findChild<QListWidget*>("icons");
            auto* browse = dialog.findChild<QPushButton*>("browse");
            const int setSize = icons->count();
            browse->click();  // the chooser is cancelled: nothing changes
            [&] {
                QCOMPARE(icons->count(), setSize);
                QCOMPARE(fileName->text(), QString("Tessaline.exe"));
            }();
            prompter.chosenFile = icoPath;
            browse->click();
            [&] {
                QCOMPARE(fileName->text(), icoPath);
                QCOMPARE(Labels(icons), NumbersUpTo(120));
                QCOMPARE(CentreOf(icons->item(119)->icon()), ColourOf(119));
            }();
            icons->item(7)->setSelected(true);
            dialog.reject();
            return dialog.result();
        };
        QCOMPARE(Text(CIconSelectionDialog::ChooseIcon(nullptr, "Tessaline.exe, 33")), QString("<unchanged>"));
        const QString chooser = "Select File Containing Icon(s):";
        QCOMPARE(prompter.dialogs, (std::vector<QString>{"Icon Selection", chooser, chooser}));
    }

    void pickingAnIconOfAnotherFileGivesItsReference()
    {
        TestPrompter prompter;
        prompter.chosenFile = icoPath;
        prompter.onDialog = [](QDialog& dialog) {
            dialog.findChild<QPushButton*>("browse")->click();
            dialog.findChild<QListWidget*>("icons")->item(5)->setSelected(true);
            dialog.findChild<QPushButton*>("ok")->click();
            return dialog.result();
        };
        QCOMPARE(Text(CIconSelectionDialog::ChooseIcon(nullptr, "Tessaline.exe ,33")), icoPath + " ,5");
        QVERIFY(prompter.informed.empty());
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString icoPath;
};

QTEST_MAIN(IconSelectionTest)
#include "icon_selection_test.moc"
