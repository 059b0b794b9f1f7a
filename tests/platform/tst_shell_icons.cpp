#include "platform/linux/LinuxAppMenu.h"
#include "platform/linux/LinuxShell.h"

#include "../fuzz/IconFixtures.h"
#include "ShellIconCases.h"
#include "commandline/CommandLine.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

// Desktop entries, an icon theme and programs of the test live here; the environment points
// at it before anything reads it (see main).
static QTemporaryDir *Sandbox;

static QString SandboxPath(const QString &relative) {
    return Sandbox->filePath(relative);
}

static bool WriteFile(const QString &path, const QByteArray &bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    return true;
}

static QByteArray Bytes(const std::string &s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

static QByteArray Png(int side, QRgb colour) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

static QImage ImageOf(const QIcon &icon) {
    const QList<QSize> sizes = icon.availableSizes();
    const QSize size = sizes.isEmpty() ? QSize(32, 32) : sizes.first();
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

static QRgb Centre(const QIcon &icon) {
    const QImage image = icon.pixmap(32, 32).toImage();
    return image.pixel(image.width() / 2, image.height() / 2) & 0xffffff;
}

// Runs a reference tool; empty output when it is not installed or fails.
static QByteArray Run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

// The icon groups wrestool lists, by name, in the order it lists them.
static QStringList WrestoolGroups(const QString &file) {
    QStringList names;
    const QList<QByteArray> lines =
        Run(QStringLiteral("wrestool"),
            {QStringLiteral("-l"), QStringLiteral("--type=group_icon"), file})
            .split('\n');
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("--name=(\\S+)")).match(QString::fromUtf8(line));
        QString name = match.captured(1);
        if (name.startsWith(QLatin1Char('\'')) && name.endsWith(QLatin1Char('\'')))
            name = name.mid(1, name.size() - 2);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

// Group name of a PE file as an .ico file, written by wrestool.
static QString WrestoolGroupIco(const QString &file, const QString &name, const QString &out) {
    const QByteArray ico =
        Run(QStringLiteral("wrestool"), {QStringLiteral("-x"), QStringLiteral("--type=group_icon"),
                                         QStringLiteral("--name=") + name, file});
    return !ico.isEmpty() && WriteFile(out, ico) ? out : QString();
}

static bool HaveTool(const char *name) {
    return !QStandardPaths::findExecutable(QLatin1String(name)).isEmpty();
}

static QStringList NsisFiles(bool pe) {
    QStringList files;
    QDirIterator it(QStringLiteral("/usr/share/nsis"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (pe) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && file.read(2) == "MZ")
                files << path;
        } else if (path.endsWith(QLatin1String(".ico"))) {
            files << path;
        }
    }
    files.sort();
    return files;
}

class TestShellIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void nsisProgramsAgreeWithWrestool_data();
    void nsisProgramsAgreeWithWrestool();
    void nsisIcoFilesGiveImageNearest32_data();
    void nsisIcoFilesGiveImageNearest32();
    void groupsInResourceOrder_data();
    void groupsInResourceOrder();
    void icoImageNearest32_data();
    void icoImageNearest32();
    void hostileFiles_data();
    void hostileFiles();
    void desktopEntriesAndPrograms_data();
    void desktopEntriesAndPrograms();
    void answersAsTheFake_data();
    void answersAsTheFake();
    void readOncePerFileAndIndex();

private:
    QTemporaryDir dir_;
};

void TestShellIcons::initTestCase() {
    QVERIFY(dir_.isValid());
    // An icon theme, an unthemed picture and programs with and without desktop entries.
    QVERIFY(WriteFile(SandboxPath("data/icons/hicolor/index.theme"),
                      "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n"
                      "[32x32/apps]\nSize=32\nContext=Applications\nType=Threshold\n"));
    QVERIFY(WriteFile(SandboxPath("data/icons/hicolor/32x32/apps/orvane-test-theme.png"),
                      Png(32, qRgb(255, 0, 0))));
    QVERIFY(WriteFile(SandboxPath("data/icons/hicolor/32x32/apps/orvane-test-entry.png"),
                      Png(32, qRgb(0, 255, 0))));
    QVERIFY(WriteFile(SandboxPath("data/icons/hicolor/32x32/apps/orvane-named-tool.png"),
                      Png(32, qRgb(255, 0, 255))));
    QVERIFY(
        WriteFile(SandboxPath("data/pixmaps/orvane-test-pixmap.png"), Png(32, qRgb(0, 0, 255))));
    QVERIFY(WriteFile(SandboxPath("pictures/yellow.png"), Png(32, qRgb(255, 255, 0))));
    const QByteArray script = "#!/bin/sh\nexit 0\n";
    QVERIFY(WriteFile(SandboxPath("bin/orvane-entry-tool"), script, true));
    QVERIFY(WriteFile(SandboxPath("bin/orvane-path-tool"), script, true));
    QVERIFY(WriteFile(SandboxPath("bin/orvane-named-tool"), script, true));
    QVERIFY(WriteFile(SandboxPath("bin/orvane-plain-tool"), script, true));
    QVERIFY(WriteFile(SandboxPath("bin/orvane-test-theme"), script, false)); // not executable
    QVERIFY(WriteFile(SandboxPath("data/applications/entry-tool.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Entry tool\nExec=" +
                          QFile::encodeName(SandboxPath("bin/orvane-entry-tool")) +
                          " --x %F\nIcon=orvane-test-entry\n"));
    // Found through PATH, and given an absolute icon file.
    QVERIFY(WriteFile(SandboxPath("data/applications/path-tool.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Path tool\n"
                      "Exec=orvane-path-tool %u\nIcon=" +
                          QFile::encodeName(SandboxPath("pictures/yellow.png")) + "\n"));
}

void TestShellIcons::nsisProgramsAgreeWithWrestool_data() {
    QTest::addColumn<QString>("file");
    const QStringList files = NsisFiles(true);
    if (files.isEmpty())
        QTest::newRow("nsis-common not installed") << QString();
    for (const QString &file : files)
        QTest::newRow(qPrintable(file.mid(16))) << file;
}

void TestShellIcons::nsisProgramsAgreeWithWrestool() {
    QFETCH(QString, file);
    if (file.isEmpty() || !HaveTool("wrestool"))
        QSKIP("needs nsis-common and icoutils");
    const QStringList groups = WrestoolGroups(file);
    LinuxShell shell;
    QCOMPARE(shell.IconCount(file), int(groups.size()));
    for (int k = 0; k < groups.size(); ++k) {
        const QIcon icon = shell.ExtractIcon(file, k);
        QVERIFY2(!icon.isNull(), qPrintable(QStringLiteral("icon %1").arg(k)));
        // The same group as wrestool takes it out, read as an .ico file.
        const QString ico =
            WrestoolGroupIco(file, groups[k], dir_.filePath(QStringLiteral("group.ico")));
        QVERIFY(!ico.isEmpty());
        QCOMPARE(ImageOf(icon), ImageOf(LinuxShell().ExtractIcon(ico, 0)));
    }
    QVERIFY(shell.ExtractIcon(file, groups.size()).isNull());
}

// The image the rule should choose, from icotool's listing: nearest 32 × 32, then the larger,
// then the deeper colours, then the first.
struct Listed {
    int index, width, height, bits;
};

static Listed ExpectedIcoImage(const QString &file) {
    QList<Listed> images;
    const QRegularExpression pattern(
        QStringLiteral("--index=(\\d+) --width=(\\d+) --height=(\\d+) --bit-depth=(\\d+)"));
    for (const QByteArray &line :
         Run(QStringLiteral("icotool"), {QStringLiteral("-l"), file}).split('\n')) {
        const QRegularExpressionMatch m = pattern.match(QString::fromUtf8(line));
        if (m.hasMatch())
            images.append({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                           m.captured(4).toInt()});
    }
    std::stable_sort(images.begin(), images.end(), [](const Listed &a, const Listed &b) {
        const int da = qAbs(a.width - 32) + qAbs(a.height - 32);
        const int db = qAbs(b.width - 32) + qAbs(b.height - 32);
        if (da != db)
            return da < db;
        if (a.width * a.height != b.width * b.height)
            return a.width * a.height > b.width * b.height;
        return a.bits > b.bits;
    });
    return images.isEmpty() ? Listed{-1, 0, 0, 0} : images.first();
}

void TestShellIcons::nsisIcoFilesGiveImageNearest32_data() {
    QTest::addColumn<QString>("file");
    const QStringList files = NsisFiles(false);
    if (files.isEmpty())
        QTest::newRow("nsis-common not installed") << QString();
    for (const QString &file : files)
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TestShellIcons::nsisIcoFilesGiveImageNearest32() {
    QFETCH(QString, file);
    if (file.isEmpty() || !HaveTool("icotool"))
        QSKIP("needs nsis-common and icoutils");
    LinuxShell shell;
    QCOMPARE(shell.IconCount(file), 1);
    QVERIFY(shell.ExtractIcon(file, 1).isNull());
    const Listed expected = ExpectedIcoImage(file);
    QVERIFY(expected.index > 0);
    const QIcon icon = shell.ExtractIcon(file, 0);
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(expected.width, expected.height)});
    // icotool's own decoding of that image, colours and mask, is the reference.
    const QString png = dir_.filePath(QStringLiteral("reference.png"));
    QFile::remove(png);
    Run(QStringLiteral("icotool"),
        {QStringLiteral("-x"), QStringLiteral("--index=%1").arg(expected.index),
         QStringLiteral("-o"), png, file});
    QImage reference(png);
    // icotool refuses a whole file when one image's stated size is wrong, though the others
    // are good; Qt's reader of .ico files is the reference for those.
    if (reference.isNull()) {
        QImageReader reader(file, "ico");
        QVERIFY(reader.jumpToImage(expected.index - 1));
        reference = reader.read();
    }
    QVERIFY(!reference.isNull());
    QCOMPARE(ImageOf(icon), reference.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestShellIcons::groupsInResourceOrder_data() {
    QTest::addColumn<bool>("wide");
    QTest::addColumn<QString>("name");
    QTest::newRow("PE32") << false << QStringLiteral("tool.exe");
    QTest::newRow("PE32+, quoted path") << true << QStringLiteral("Program Files/o'neil $x.dll");
    QTest::newRow("no extension") << false << QStringLiteral("library");
}

void TestShellIcons::groupsInResourceOrder() {
    QFETCH(bool, wide);
    QFETCH(QString, name);
    using fixture::SolidImage;
    // Each group: a small, a large and the 32 × 32 image in the group's own colour.
    auto group = [](std::u16string groupName, std::uint32_t id, std::uint32_t colour) {
        return fixture::Group{groupName,
                              id,
                              {SolidImage(16, 16, 8, 0x101010), SolidImage(32, 32, 32, colour),
                               SolidImage(48, 48, 24, 0x202020)}};
    };
    const fixture::Pe pe = fixture::BuildPe({group(u"", 7, 0xff0000), group(u"ZED", 0, 0x00ff00),
                                             group(u"", 2, 0x0000ff), group(u"ALPHA", 0, 0xffff00)},
                                            wide);
    const QString path = dir_.filePath(name);
    QVERIFY(WriteFile(path, Bytes(pe.bytes)));

    // Named groups come first, by name, then numbered ones by number.
    const QList<QRgb> expected = {0xffff00, 0x00ff00, 0x0000ff, 0xff0000};
    LinuxShell shell;
    const QString word = LongPath(path);
    QCOMPARE(shell.IconCount(word), 4);
    for (int k = 0; k < expected.size(); ++k)
        QCOMPARE(Centre(shell.ExtractIcon(word, k)), expected[k]);
    QVERIFY(shell.ExtractIcon(word, 4).isNull());
    QVERIFY(shell.ExtractIcon(word, -1).isNull());

    if (!HaveTool("wrestool"))
        QSKIP("needs icoutils");
    const QStringList groups = WrestoolGroups(path);
    QCOMPARE(groups, QStringList({"ALPHA", "ZED", "2", "7"}));
    for (int k = 0; k < groups.size(); ++k) {
        const QString ico =
            WrestoolGroupIco(path, groups[k], dir_.filePath(QStringLiteral("g.ico")));
        QCOMPARE(Centre(LinuxShell().ExtractIcon(ico, 0)), expected[k]);
    }
}

void TestShellIcons::icoImageNearest32_data() {
    using fixture::SolidImage;
    QTest::addColumn<QByteArray>("ico");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("exact size, deepest colours")
        << Bytes(fixture::Ico({SolidImage(16, 16, 32, 0xff0000), SolidImage(32, 32, 4, 0x00ff00),
                               SolidImage(48, 48, 32, 0x0000ff), SolidImage(32, 32, 32, 0xffff00),
                               SolidImage(32, 32, 8, 0x00ffff)}))
        << QSize(32, 32) << QRgb(0xffff00);
    QTest::newRow("equally near: the larger")
        << Bytes(fixture::Ico({SolidImage(16, 16, 32, 0xff0000), SolidImage(48, 48, 24, 0x00ff00)}))
        << QSize(48, 48) << QRgb(0x00ff00);
    QTest::newRow("256 stored as 0")
        << Bytes(
               fixture::Ico({SolidImage(256, 256, 32, 0xff0000), SolidImage(64, 64, 32, 0x00ff00)}))
        << QSize(64, 64) << QRgb(0x00ff00);
    QTest::newRow("one image") << Bytes(fixture::Ico({SolidImage(24, 24, 4, 0x0000ff)}))
                               << QSize(24, 24) << QRgb(0x0000ff);
    // An image held as PNG, as large icons often are.
    fixture::Image png{32, 32, 32, Png(32, qRgb(0, 128, 255)).toStdString()};
    QTest::newRow("PNG image") << Bytes(fixture::Ico({SolidImage(16, 16, 32, 0xff0000), png}))
                               << QSize(32, 32) << QRgb(0x0080ff);
}

void TestShellIcons::icoImageNearest32() {
    QFETCH(QByteArray, ico);
    QFETCH(QSize, size);
    QFETCH(QRgb, colour);
    const QString path = dir_.filePath(QStringLiteral("several.ico"));
    QVERIFY(WriteFile(path, ico));
    LinuxShell shell;
    QCOMPARE(shell.IconCount(path), 1);
    const QIcon icon = shell.ExtractIcon(path, 0);
    QCOMPARE(icon.availableSizes(), QList<QSize>{size});
    QCOMPARE(Centre(icon), colour);
    QVERIFY(shell.ExtractIcon(path, 1).isNull());
}

void TestShellIcons::hostileFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count"); // groups still listed, though none can be read

    using fixture::Put16;
    using fixture::Put32;
    using fixture::SolidImage;
    const fixture::Pe pe = fixture::BuildPe({{u"", 1, {SolidImage(32, 32, 32, 0xff0000)}},
                                             {u"NAMED", 0, {SolidImage(32, 32, 8, 0xff)}}});
    const std::size_t groups = pe.typeDirectory.at(14);
    auto mutated = [&](auto change) {
        std::string bytes = pe.bytes;
        change(bytes);
        return Bytes(bytes);
    };
    QTest::newRow("text named .exe") << "notes.exe" << QByteArray("MZ is not enough\n") << 0;
    QTest::newRow("text named .ico") << "notes.ico" << QByteArray("just text\n") << 0;
    QTest::newRow("text named .png") << "notes.png" << QByteArray("just text\n") << 0;
    QTest::newRow("empty .dll") << "empty.dll" << QByteArray() << 0;
    QTest::newRow("PE cut in its headers") << "cut.exe" << Bytes(pe.bytes.substr(0, 0x100)) << 0;
    QTest::newRow("PE cut in its resource table")
        << "cut.exe" << Bytes(pe.bytes.substr(0, groups + 12)) << 0;
    QTest::newRow("PE header offset past the end")
        << "far.exe" << mutated([](std::string &b) { Put32(b, 0x3c, 0xfffffff0u); }) << 0;
    QTest::newRow("section count 65535")
        << "sections.exe" << mutated([](std::string &b) { Put16(b, 0x46, 0xffff); }) << 0;
    QTest::newRow("resource table outside every section")
        << "rva.exe" << mutated([](std::string &b) { Put32(b, 0x40 + 24 + 96 + 16, 0x7fff0000); })
        << 0;
    QTest::newRow("group type points back at the root")
        << "loop.exe"
        << mutated([&](std::string &b) { Put32(b, pe.root + 16 + 8 + 4, 0x80000000u); }) << 0;
    QTest::newRow("group entries point at their own directory")
        << "loop.exe" << mutated([&](std::string &b) {
               for (int i = 0; i < 2; ++i)
                   Put32(b, groups + 16 + 8 * i + 4, 0x80000000u | std::uint32_t(groups - pe.root));
           })
        << 2;
    QTest::newRow("language directories point at themselves")
        << "loop.exe" << mutated([&](std::string &b) {
               for (std::size_t at : pe.groupLanguages)
                   Put32(b, at + 16 + 4, 0x80000000u | std::uint32_t(at - pe.root));
           })
        << 2;
    QTest::newRow("65535 groups") << "many.exe"
                                  << mutated([&](std::string &b) { Put16(b, groups + 14, 0xffff); })
                                  << 0;
    QTest::newRow("group data beyond the file") << "data.exe" << mutated([&](std::string &b) {
        for (std::size_t at : pe.groupData)
            Put32(b, at, 0xfffffff0u);
    }) << 2;
    QTest::newRow("group data 4 GiB long") << "data.exe" << mutated([&](std::string &b) {
        for (std::size_t at : pe.groupData)
            Put32(b, at + 4, 0xffffffffu);
    }) << 2;

    const std::string ico = fixture::Ico({SolidImage(32, 32, 32, 0xff0000)});
    auto icoMutated = [&](auto change) {
        std::string bytes = ico;
        change(bytes);
        return Bytes(bytes);
    };
    QTest::newRow(".ico image size 0xFFFFFFFF")
        << "size.ico" << icoMutated([](std::string &b) { Put32(b, 6 + 8, 0xffffffffu); }) << 0;
    QTest::newRow(".ico count 65535 past the end")
        << "count.ico" << icoMutated([](std::string &b) { Put16(b, 4, 0xffff); }) << 0;
    QTest::newRow(".ico offset past the end")
        << "offset.ico" << icoMutated([](std::string &b) { Put32(b, 6 + 12, 0x7fffffffu); }) << 0;
    QTest::newRow(".ico bitmap 100000 pixels wide")
        << "wide.ico" << icoMutated([](std::string &b) { Put32(b, 22 + 4, 100000); }) << 0;
    QTest::newRow(".ico bitmap cut short")
        << "short.ico" << Bytes(ico.substr(0, 22 + 40 + 100)) << 0;
    QTest::newRow("fifo named .exe") << "fifo.exe" << QByteArray("<fifo>") << 0;
    QTest::newRow("directory named .ico") << "folder.ico" << QByteArray("<dir>") << 0;
    QTest::newRow("missing file") << "missing.exe" << QByteArray("<missing>") << 0;
}

void TestShellIcons::hostileFiles() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (bytes == "<fifo>")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (bytes == "<dir>")
        QVERIFY(QDir().mkdir(path));
    else if (bytes != "<missing>")
        QVERIFY(WriteFile(path, bytes));
    LinuxShell shell;
    QCOMPARE(shell.IconCount(path), count);
    for (int k = 0; k <= count; ++k)
        QVERIFY(shell.ExtractIcon(path, k).isNull());
}

void TestShellIcons::desktopEntriesAndPrograms_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("entry"); // written to file when not empty
    QTest::addColumn<QRgb>("colour");      // 0: no icon
    const QString desktop = dir_.filePath(QStringLiteral("entry.desktop"));
    QTest::newRow("entry with a theme icon")
        << desktop
        << QByteArray("[Desktop Entry]\nType=Application\nExec=x\nIcon=orvane-test-theme\n")
        << QRgb(0xff0000);
    QTest::newRow("entry with a legacy icon name")
        << desktop
        << QByteArray("[Desktop Entry]\nType=Application\nExec=x\nIcon=orvane-test-theme.png\n")
        << QRgb(0xff0000);
    QTest::newRow("entry with an unthemed picture")
        << desktop
        << QByteArray("[Desktop Entry]\nType=Application\nExec=x\nIcon=orvane-test-pixmap\n")
        << QRgb(0x0000ff);
    QTest::newRow("link entry with an icon file")
        << desktop
        << "[Desktop Entry]\nType=Link\nURL=file:///\nIcon=" +
               QFile::encodeName(SandboxPath("pictures/yellow.png")) + "\n"
        << QRgb(0xffff00);
    QTest::newRow("entry with an unknown icon")
        << desktop << QByteArray("[Desktop Entry]\nType=Application\nExec=x\nIcon=orvane-no-such\n")
        << QRgb(0);
    QTest::newRow("entry without an icon")
        << desktop << QByteArray("[Desktop Entry]\nType=Application\nExec=x\n") << QRgb(0);
    QTest::newRow("not an entry") << desktop << QByteArray("\x01\x02 garbage") << QRgb(0);
    QTest::newRow("program run by an entry")
        << SandboxPath("bin/orvane-entry-tool") << QByteArray() << QRgb(0x00ff00);
    QTest::newRow("program found through PATH by an entry")
        << SandboxPath("bin/orvane-path-tool") << QByteArray() << QRgb(0xffff00);
    QTest::newRow("program named like a theme icon")
        << SandboxPath("bin/orvane-named-tool") << QByteArray() << QRgb(0xff00ff);
    QTest::newRow("program without entry or theme icon")
        << SandboxPath("bin/orvane-plain-tool") << QByteArray() << QRgb(0);
    QTest::newRow("file that is not executable")
        << SandboxPath("bin/orvane-test-theme") << QByteArray() << QRgb(0);
}

void TestShellIcons::desktopEntriesAndPrograms() {
    QFETCH(QString, file);
    QFETCH(QByteArray, entry);
    QFETCH(QRgb, colour);
    if (!entry.isEmpty())
        QVERIFY(WriteFile(file, entry));
    // The shell lists the programs' entries itself, or takes the listing of the application
    // menu's import: the same answers either way.
    for (const bool fromImport : {false, true}) {
        LinuxShell shell;
        if (fromImport) {
            ProgramIcons icons;
            ListAppMenuEntries(&icons);
            shell.UseProgramIcons(std::move(icons));
        }
        QCOMPARE(shell.IconCount(file), colour ? 1 : 0);
        const QIcon icon = shell.ExtractIcon(file, 0);
        QCOMPARE(icon.isNull(), colour == 0);
        if (colour)
            QCOMPARE(Centre(icon), colour);
        QVERIFY(shell.ExtractIcon(file, 1).isNull());
    }
}

// The window tests' fake gives these answers too (tests/appearance runs the same table). The
// marker "Default" is no icon file: a button marked so shows its program's icon, and the
// built-in one only while the program has none.
void TestShellIcons::answersAsTheFake_data() {
    shellcases::AddRows();
}

void TestShellIcons::answersAsTheFake() {
    QFETCH(int, row);
    const shellcases::Case &c = shellcases::Cases()[row];
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    const QString source = shellcases::MakeSource(c, dir.path());
    LinuxShell shell;
    shellcases::Check(shell, c, source);
    QDir::setCurrent(before);
}

void TestShellIcons::readOncePerFileAndIndex() {
    using fixture::SolidImage;
    auto pe = [](std::uint32_t colour) {
        return Bytes(fixture::BuildPe({{u"", 1, {SolidImage(32, 32, 32, 0x123456)}},
                                       {u"", 2, {SolidImage(32, 32, 32, colour)}}})
                         .bytes);
    };
    const QString path = dir_.filePath(QStringLiteral("changing.dll"));
    QVERIFY(WriteFile(path, pe(0xff0000)));
    LinuxShell shell;
    const QIcon first = shell.ExtractIcon(path, 1);
    QCOMPARE(Centre(first), QRgb(0xff0000));
    QCOMPARE(shell.ExtractIcon(path, 1).cacheKey(), first.cacheKey());
    QVERIFY(shell.ExtractIcon(path, 0).cacheKey() != first.cacheKey());

    // A file rewritten with the same size is read again for its new time.
    QVERIFY(WriteFile(path, pe(0x00ff00)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                             QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(Centre(shell.ExtractIcon(path, 1)), QRgb(0x00ff00));
    QCOMPARE(shell.IconCount(path), 2);
}

// The environment GIO and the icon theme read must be in place before either reads it.
int main(int argc, char **argv) {
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    Sandbox = &sandbox;
    qputenv("HOME", QFile::encodeName(SandboxPath("home")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(SandboxPath("home/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(SandboxPath("home/config")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(SandboxPath("data")));
    qputenv("PATH", QFile::encodeName(SandboxPath("bin")) + ":" + qgetenv("PATH"));
    QGuiApplication app(argc, argv);
    TestShellIcons test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell_icons.moc"
