// The shortcut reader: real Windows shortcut files against their known values, desktop
// entries, Wine drive links, hostile bytes, and the properties' setters.

#include "components/LnkDesktopEntry.h"
#include "components/LnkParser.h"
#include "components/SheLink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

namespace {

const QString kTestData = QStringLiteral(ORVANE_TESTDATA_DIR "/lnk");

// --- Building shortcut files -----------------------------------------------------------------

QByteArray U16(quint16 value) {
    QByteArray bytes(2, 0);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray U32(quint32 value) {
    QByteArray bytes(4, 0);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

void Put32(QByteArray &bytes, int offset, quint32 value) {
    qToLittleEndian(value, bytes.data() + offset);
}

QByteArray Header(quint32 flags, qint32 iconIndex = 0, quint32 show = 1, quint16 hotKey = 0) {
    QByteArray header(lnk::HeaderSize, 0);
    Put32(header, 0, lnk::HeaderSize);
    const char clsid[] = "\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46";
    header.replace(4, 16, QByteArray(clsid, 16));
    Put32(header, 0x14, flags);
    Put32(header, 0x38, quint32(iconIndex));
    Put32(header, 0x3C, show);
    qToLittleEndian(hotKey, header.data() + 0x40);
    return header;
}

QByteArray Ansi(const QString &text) {
    return text.toLatin1() + '\0';
}

// Link information with a local base path and a common path suffix.
QByteArray LocalInfo(const QString &base, const QString &suffix = QString()) {
    const QByteArray volume = U32(0x11) + U32(3) + U32(0x1234) + U32(0x10) + QByteArray(1, 0);
    const quint32 baseAt = 0x1C + volume.size();
    const QByteArray baseBytes = Ansi(base);
    const quint32 suffixAt = baseAt + baseBytes.size();
    const QByteArray body = volume + baseBytes + Ansi(suffix);
    return U32(0x1C + body.size()) + U32(0x1C) + U32(1) + U32(0x1C) + U32(baseAt) + U32(0) +
           U32(suffixAt) + body;
}

// Link information with a network share and a common path suffix.
QByteArray NetworkInfo(const QString &share, const QString &suffix) {
    const QByteArray shareBytes = Ansi(share);
    const QByteArray network =
        U32(0x14 + shareBytes.size()) + U32(2) + U32(0x14) + U32(0) + U32(0x00020000) + shareBytes;
    const quint32 suffixAt = 0x1C + network.size();
    const QByteArray body = network + Ansi(suffix);
    return U32(0x1C + body.size()) + U32(0x1C) + U32(2) + U32(0) + U32(0) + U32(0x1C) +
           U32(suffixAt) + body;
}

// A counted UTF-16 string of the string data.
QByteArray Str(const QString &text) {
    QByteArray bytes = U16(quint16(text.size()));
    for (QChar c : text)
        bytes += U16(c.unicode());
    return bytes;
}

QByteArray IdList(const QList<QByteArray> &items, bool terminal = true) {
    QByteArray list;
    for (const QByteArray &item : items)
        list += U16(quint16(item.size() + 2)) + item;
    if (terminal)
        list += U16(0);
    return U16(quint16(list.size())) + list;
}

// An environment or icon environment block holding text in both of its forms.
QByteArray EnvironmentBlock(quint32 signature, const QString &text) {
    QByteArray ansi = text.toLatin1().leftJustified(260, '\0', true);
    QByteArray wide;
    for (QChar c : text)
        wide += U16(c.unicode());
    wide = wide.leftJustified(520, '\0', true);
    return U32(0x314) + U32(signature) + ansi + wide;
}

const quint32 kStringFlags =
    lnk::HasName | lnk::HasWorkingDir | lnk::HasArguments | lnk::HasIconLocation | lnk::IsUnicode;

// What a shortcut should give, in the order the reader stores its values.
struct Expected {
    QString workingDir, target, iconLocation;
    quint16 iconNumber;
    QString description;
    quint16 showCmd, hotKey;
    QString arguments;
};

// The link most hostile cases are made from, and what it gives.
const Expected kEdit{"C:\\APPS", "C:\\APPS\\EDIT.EXE", "C:\\ICONS\\SET.DLL", 2, "Editor", 3,
                     0x0641,     "-x file.txt"};

QByteArray Strings(const Expected &e) {
    return Str(e.description) + Str(e.workingDir) + Str(e.arguments) + Str(e.iconLocation);
}

QByteArray EditLink(const QByteArray &extra = U32(0)) {
    return Header(lnk::HasLinkInfo | kStringFlags, 2, 3, 0x0641) + LocalInfo(kEdit.target) +
           Strings(kEdit) + extra;
}

// A link with different values in every property, read first so that a failed read can be
// seen to keep them.
const Expected kOld{"D:\\OLD", "D:\\OLD\\OLD.EXE", "D:\\OLD\\OLD.ICO", 7, "old", 7, 0x0250,
                    "--old"};

QByteArray OldLink() {
    return Header(lnk::HasLinkInfo | kStringFlags, 7, 7, 0x0250) + LocalInfo(kOld.target) +
           Strings(kOld) + U32(0);
}

// The values of the link as an Expected, for comparison.
Expected ValuesOf(const TShellLink &link) {
    return {link.WorkingDir(),  link.Target(),  link.IconLocation(), link.IconNumber(),
            link.Description(), link.ShowCmd(), link.HotKey(),       link.Arguments()};
}

// Compares the link with `fresh` for the first `stored` values in reading order and with
// `old` for the rest.
void CompareStored(const TShellLink &link, const Expected &fresh, const Expected &old, int stored) {
    const Expected actual = ValuesOf(link);
    const auto pick = [&](int step) -> const Expected & { return step < stored ? fresh : old; };
    QCOMPARE(actual.workingDir, pick(0).workingDir);
    QCOMPARE(actual.target, pick(1).target);
    QCOMPARE(actual.iconLocation, pick(2).iconLocation);
    QCOMPARE(actual.iconNumber, pick(2).iconNumber);
    QCOMPARE(actual.description, pick(3).description);
    QCOMPARE(actual.showCmd, pick(4).showCmd);
    QCOMPARE(actual.hotKey, pick(5).hotKey);
    QCOMPARE(actual.arguments, pick(6).arguments);
}

QByteArray ReadBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The same link without its link information, so that the ID list alone names the target.
QByteArray WithoutLinkInfo(QByteArray bytes) {
    const quint32 flags = qFromLittleEndian<quint32>(bytes.constData() + 0x14);
    if (!(flags & lnk::HasLinkInfo))
        return bytes;
    int at = lnk::HeaderSize;
    if (flags & lnk::HasLinkTargetIDList)
        at += 2 + qFromLittleEndian<quint16>(bytes.constData() + at);
    const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at);
    bytes.remove(at, int(size));
    Put32(bytes, 0x14, flags & ~quint32(lnk::HasLinkInfo));
    return bytes;
}

// A link with a recorder of its messages.
struct Reader {
    TShellLink link;
    QStringList messages;
    Reader() {
        link.OnMessage = [this](const QString &text) { messages << text; };
    }
};

} // namespace

class TestShellLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void realShortcuts_data();
    void realShortcuts();
    void realShortcutTargetsFromIdLists_data();
    void realShortcutTargetsFromIdLists();

    void hostileBytes_data();
    void hostileBytes();
    void everyTruncation();
    void unopenableFiles_data();
    void unopenableFiles();

    void desktopEntries_data();
    void desktopEntries();
    void expandFieldCodes_data();
    void expandFieldCodes();

    void wineDriveLinks_data();
    void wineDriveLinks();
    void wineHomePrefix();

    void pathUpdateAndProperties();

private:
    QString At(const QString &name) const { return dir_.filePath(name); }
    QString Write(const QString &name, const QByteArray &bytes) {
        const QString path = At(name);
        return WriteBytes(path, bytes) ? path : QString();
    }

    QTemporaryDir dir_;
};

void TestShellLink::initTestCase() {
    QVERIFY(dir_.isValid());
    // No Wine prefix unless a test makes one: the user's own ~/.wine must not change targets.
    qputenv("WINEPREFIX", QFile::encodeName(At("no-wine-prefix")));
    qputenv("HOME", QFile::encodeName(At("home")));
    // A program of our own in PATH for the desktop entries to find.
    QVERIFY(QDir().mkpath(At("bin")));
    const QString tool = Write(QStringLiteral("bin/orvane-test-tool"), "#!/bin/sh\nexit 0\n");
    QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(At("bin")) + ":" + qgetenv("PATH"));
    // The language desktop entries are localised for.
    qputenv("LANGUAGE", "xx_YY");
}

// --- Real shortcut files ---------------------------------------------------------------------

void TestShellLink::realShortcuts_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("row");
    QFile table(kTestData + QStringLiteral("/expected.tsv"));
    if (!table.open(QIODevice::ReadOnly))
        QSKIP("the shortcut test data is not there");
    const QStringList header = QString::fromUtf8(table.readLine()).trimmed().split(u'\t');
    QCOMPARE(header, QStringList({"file", "target", "working_dir", "arguments", "description",
                                  "icon_location", "icon_index", "show_cmd", "hot_key"}));
    int rows = 0;
    while (!table.atEnd()) {
        QString line = QString::fromUtf8(table.readLine());
        line.chop(line.endsWith(u'\n') ? 1 : 0);
        if (line.isEmpty())
            continue;
        const QStringList row = line.split(u'\t');
        QCOMPARE(row.size(), header.size());
        QTest::newRow(qPrintable(row[0])) << row[0] << row;
        ++rows;
    }
    QVERIFY(rows > 0);
}

void TestShellLink::realShortcuts() {
    QFETCH(QString, file);
    QFETCH(QStringList, row);
    const QString path = kTestData + u'/' + file;
    Reader reader;
    QVERIFY(reader.link.Read(path));
    QVERIFY(reader.link.Ok());
    QCOMPARE(reader.messages, QStringList());
    QCOMPARE(reader.link.Path(), path);
    QCOMPARE(reader.link.Target(), row[1]);
    QCOMPARE(reader.link.WorkingDir(), row[2]);
    QCOMPARE(reader.link.Arguments(), row[3]);
    QCOMPARE(reader.link.Description(), row[4]);
    QCOMPARE(reader.link.IconLocation(), row[5]);
    QCOMPARE(reader.link.IconNumber(), quint16(row[6].toInt()));
    QCOMPARE(reader.link.ShowCmd(), quint16(row[7].toUInt()));
    bool hex = false;
    QCOMPARE(reader.link.HotKey(), row[8].toUShort(&hex, 0));
    QVERIFY(hex);

    // Every shorter piece of the file is read without running past it, and whenever the
    // target can still be made out it is the whole file's.
    const QByteArray bytes = ReadBytes(path);
    const std::u16string whole = row[1].toStdU16String();
    for (int size = 0; size < bytes.size(); ++size) {
        const lnk::ShellLink part = lnk::ParseShellLink(
            reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(size));
        if (!part.target.empty())
            QCOMPARE(part.target, whole);
    }
}

void TestShellLink::realShortcutTargetsFromIdLists_data() {
    realShortcuts_data();
}

// Without link information the ID list spells the target: drive, folders and long names.
// Links to network shares are left out: their ID lists spell the mapped drive instead.
void TestShellLink::realShortcutTargetsFromIdLists() {
    QFETCH(QString, file);
    QFETCH(QStringList, row);
    if (row[1].startsWith(QLatin1String("\\\\")))
        QSKIP("a network target");
    const QByteArray bytes = WithoutLinkInfo(ReadBytes(kTestData + u'/' + file));
    Reader reader;
    QVERIFY(reader.link.Read(Write(QStringLiteral("idlist.lnk"), bytes)));
    QCOMPARE(reader.link.Target(), row[1]);
}

// --- Hostile bytes -------------------------------------------------------------------------

void TestShellLink::hostileBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message"); // empty: silent
    QTest::addColumn<int>("stored");      // values taken from the bytes, in reading order

    const quint32 linkInfoFlags = lnk::HasLinkInfo | kStringFlags;
    const QByteArray strings = Strings(kEdit);
    const QByteArray header = Header(linkInfoFlags, 2, 3, 0x0641);
    const QByteArray info = LocalInfo(kEdit.target);
    const auto silent = [](const char *name, const QByteArray &bytes) {
        QTest::newRow(name) << bytes << false << QString() << 0;
    };

    // Not shortcuts at all.
    silent("empty", QByteArray());
    silent("text", "[Shortcut]\nTarget=C:\\APPS\\EDIT.EXE\n");
    silent("png", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(200, 0));
    silent("header cut short", EditLink().left(40));
    QByteArray wrongClass = EditLink();
    wrongClass[5] = 0x15;
    silent("another class id", wrongClass);
    QByteArray wrongSize = EditLink();
    wrongSize[0] = 0x4D;
    silent("header size not 0x4C", wrongSize);
    silent("header alone, nothing to resolve", Header(0));
    silent("strings alone, nothing to resolve", Header(kStringFlags) + strings);

    // ID lists.
    silent("ID list size past the end",
           Header(lnk::HasLinkTargetIDList) + U16(0xFFFF) + QByteArray(100, 1));
    silent("ID list without a terminal item",
           Header(lnk::HasLinkTargetIDList) + IdList({QByteArray("\x2F"
                                                                 "C:\\",
                                                                 4)},
                                                     false));
    silent("ID list item of size 1",
           Header(lnk::HasLinkTargetIDList) + U16(6) + U16(1) + U16(4) + U16(0));
    silent("ID list item larger than the list",
           Header(lnk::HasLinkTargetIDList) + U16(6) + U16(40) + U16(0) + U16(0));
    // 21845 items of three bytes: the largest list there can be; the link information names
    // the target.
    QByteArray manyItems;
    for (int i = 0; i < 21844; ++i)
        manyItems += U16(3) + QByteArray(1, char(0x70));
    manyItems += U16(0) + QByteArray(1, 0);
    QTest::newRow("enormous ID list")
        << Header(lnk::HasLinkTargetIDList | linkInfoFlags, 2, 3, 0x0641) +
               U16(quint16(manyItems.size())) + manyItems + info + strings + U32(0)
        << true << QString() << 7;
    // Control Panel {21EC2020-3AEA-1069-A2DD-08002B30309D}: a link that resolves to something
    // that is not a file.
    const QByteArray controlPanel =
        QByteArray("\x1F\x50\x20\x20\xEC\x21\xEA\x3A\x69\x10\xA2\xDD\x08\x00\x2B\x30\x30\x9D", 18);
    QTest::newRow("ID list of a shell folder")
        << Header(lnk::HasLinkTargetIDList | kStringFlags, 2, 3, 0x0641) + IdList({controlPanel}) +
               strings + U32(0)
        << false << "Error in get GP" << 1;

    // Link information.
    silent("link info size past the end", header + U32(0xFFFFFFF0) + info.mid(4) + strings);
    silent("link info size below its header", header + U32(8) + info.mid(4) + strings);
    QByteArray lyingHeader = info;
    Put32(lyingHeader, 4, 0x7FFFFFFF);
    silent("link info header larger than the link info", header + lyingHeader + strings);
    QByteArray lyingOffsets = info;
    Put32(lyingOffsets, 0x10, 0xFFFFFFF0);
    silent("local path offset past the link info", header + lyingOffsets + strings);
    QByteArray noTerminator = info;
    noTerminator.chop(1);                        // the suffix's NUL
    noTerminator[noTerminator.size() - 1] = 'X'; // the base path's NUL
    Put32(noTerminator, 0, quint32(noTerminator.size()));
    silent("paths without terminators", header + noTerminator + strings);
    QByteArray lyingShare = NetworkInfo(QStringLiteral("\\\\server\\share"), QStringLiteral("x"));
    Put32(lyingShare, 0x1C, 0xFFFF);
    silent("network block larger than the link info", header + lyingShare + strings);

    // String data: a count past the end hides that string and every later one.
    QTest::newRow("description count past the end")
        << header + info + U16(0xFFFF) + strings.mid(2) << false << "Error in get WD" << 0;
    QTest::newRow("arguments count past the end")
        << header + info + Str(kEdit.description) + Str(kEdit.workingDir) + U16(0x7FFF) << false
        << "Error in get IL" << 2;
    QTest::newRow("icon location cut in the middle")
        << header + info + strings.left(strings.size() - 3) << false << "Error in get IL" << 2;

    // Extra data: blocks the reader does not know or cannot use are passed over.
    QTest::newRow("unknown extra block")
        << EditLink(U32(40) + U32(0xA00000FF) + QByteArray(32, 7) + U32(0)) << true << QString()
        << 7;
    QTest::newRow("extra block larger than the file")
        << EditLink(U32(0xFFFFFFF0) + U32(0xA0000001) + QByteArray(32, 7)) << true << QString()
        << 7;
    QTest::newRow("extra block of 5 bytes")
        << EditLink(U32(5) + QByteArray(8, 1)) << true << QString() << 7;
    QTest::newRow("no terminal block") << EditLink(QByteArray()) << true << QString() << 7;
    QByteArray unterminated = EnvironmentBlock(0xA0000007, QString(300, u'A'));
    unterminated.replace(8, 260, QByteArray(260, 'B'));
    QTest::newRow("icon environment block without terminators")
        << Header(linkInfoFlags | lnk::HasExpIcon, 2, 3, 0x0641) + info + strings + unterminated +
               U32(0)
        << true << QString() << 7;
}

void TestShellLink::hostileBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, stored);

    Reader reader;
    const QString old = Write(QStringLiteral("old.lnk"), OldLink());
    QVERIFY(reader.link.Read(old));
    const QString path = Write(QStringLiteral("hostile.lnk"), bytes);
    QVERIFY(!path.isEmpty());

    QCOMPARE(reader.link.Read(path), ok);
    QCOMPARE(reader.link.Ok(), ok);
    QCOMPARE(reader.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(reader.link.Path(), ok ? path : old);
    CompareStored(reader.link, kEdit, kOld, stored);
}

// Every prefix of a link: silent while the structure is cut, the first unreadable value's
// message once the strings are, and a full read after the last string.
void TestShellLink::everyTruncation() {
    const QByteArray whole = EditLink();
    const int infoEnd = lnk::HeaderSize + LocalInfo(kEdit.target).size();
    const int workingDirEnd =
        infoEnd + Str(kEdit.description).size() + Str(kEdit.workingDir).size();
    const int stringsEnd = infoEnd + Strings(kEdit).size();
    const QString old = Write(QStringLiteral("old.lnk"), OldLink());
    for (int size = 0; size <= whole.size(); ++size) {
        Reader reader;
        QVERIFY(reader.link.Read(old));
        const QString path = Write(QStringLiteral("cut.lnk"), whole.left(size));
        const bool read = reader.link.Read(path);
        if (size < infoEnd) {
            QVERIFY2(!read && reader.messages.isEmpty(), qPrintable(QString::number(size)));
            CompareStored(reader.link, kEdit, kOld, 0);
        } else if (size < workingDirEnd) {
            QCOMPARE(reader.messages, QStringList{"Error in get WD"});
            CompareStored(reader.link, kEdit, kOld, 0);
        } else if (size < stringsEnd) {
            QCOMPARE(reader.messages, QStringList{"Error in get IL"});
            CompareStored(reader.link, kEdit, kOld, 2);
        } else {
            QVERIFY2(read && reader.messages.isEmpty(), qPrintable(QString::number(size)));
            CompareStored(reader.link, kEdit, kOld, 7);
        }
        QCOMPARE(reader.link.Path(), read ? path : old);
    }
}

void TestShellLink::unopenableFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing.lnk";
    QTest::newRow("empty path") << "";
    QTest::newRow("directory") << "a-directory.lnk";
    QTest::newRow("fifo") << "a-fifo.lnk";
    QTest::newRow("too large") << "large.lnk";
}

// Files that cannot be opened as shortcuts: nothing changes, nothing is said, nothing waits.
void TestShellLink::unopenableFiles() {
    QFETCH(QString, name);
    QVERIFY(QDir().mkpath(At("a-directory.lnk")));
    ::mkfifo(QFile::encodeName(At("a-fifo.lnk")).constData(), 0600);
    QVERIFY(QFileInfo(At("a-fifo.lnk")).exists());
    // A real link padded past the largest file read.
    QFile large(At("large.lnk"));
    QVERIFY(large.open(QIODevice::WriteOnly | QIODevice::Truncate));
    large.write(EditLink());
    QVERIFY(large.resize(TShellLink::MaxFileBytes + 1));
    large.close();

    Reader reader;
    const QString old = Write(QStringLiteral("old.lnk"), OldLink());
    QVERIFY(reader.link.Read(old));
    QVERIFY(!reader.link.Read(name.isEmpty() ? QString() : At(name)));
    QCOMPARE(reader.messages, QStringList());
    QCOMPARE(reader.link.Path(), old);
    CompareStored(reader.link, kEdit, kOld, 0);
}

// --- Desktop entries -----------------------------------------------------------------------

void TestShellLink::desktopEntries_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("message"); // "ok": read; "": silent failure
    QTest::addColumn<QString>("target");  // $BIN: the test's program directory
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("icon");

    const QByteArray head = "[Desktop Entry]\nType=Application\nName=Tool\n";
    QTest::newRow("field codes taken out")
        << head + "Exec=orvane-test-tool --new-window %U\nComment=Does things\nIcon=tool\n"
                  "Path=/srv/work\n"
        << "ok"
        << "$BIN/orvane-test-tool"
        << "--new-window"
        << "/srv/work"
        << "Does things"
        << "tool";
    QTest::newRow("field codes inside words, %%, quoting")
        << head + "Exec=orvane-test-tool --file=%f 100%% \"two words\" 'it''s' \"\"\n"
        << "ok"
        << "$BIN/orvane-test-tool"
        << "--file= 100% 'two words' its ''"
        << ""
        << "Tool"
        << "";
    QTest::newRow("absolute program with blanks")
        << head + "Exec=\"/opt/My App/run\" -x %i %c %k\nIcon=/opt/My App/icon.png\n"
        << "ok"
        << "/opt/My App/run"
        << "-x --icon '/opt/My App/icon.png' Tool $ENTRY"
        << ""
        << "Tool"
        << "/opt/My App/icon.png";
    QTest::newRow("program not in PATH") << head + "Exec=orvane-no-such-program a\n"
                                         << "ok"
                                         << "orvane-no-such-program"
                                         << "a"
                                         << ""
                                         << "Tool"
                                         << "";
    QTest::newRow("comment in the user's language")
        << head + "Exec=orvane-test-tool\nComment=plain\nComment[xx_YY]=other\n"
        << "ok"
        << "$BIN/orvane-test-tool"
        << ""
        << ""
        << "other"
        << "";
    QTest::newRow("link to a local file")
        << QByteArray("[Desktop Entry]\nType=Link\nName=Notes\n"
                      "URL=file:///home/someone/My%20Notes.txt\nIcon=text-x-generic\n")
        << "ok"
        << "/home/someone/My Notes.txt"
        << ""
        << ""
        << "Notes"
        << "text-x-generic";

    const auto failed = [](const char *name, const QByteArray &entry, const char *message) {
        QTest::newRow(name) << entry << QString::fromLatin1(message) << ""
                            << ""
                            << ""
                            << ""
                            << "";
    };
    failed("no Exec", head + "Icon=tool\n", "Error in get GP");
    failed("empty Exec", head + "Exec=\n", "Error in get GP");
    failed("unbalanced quotes", head + "Exec=orvane-test-tool \"open\n", "Error in get GP");
    failed("only field codes", head + "Exec=%F %u\n", "Error in get GP");
    failed("link to a web page", "[Desktop Entry]\nType=Link\nName=Web\nURL=https://x.test/\n",
           "Error in get GP");
    failed("link without URL", "[Desktop Entry]\nType=Link\nName=Web\n", "Error in get GP");
    failed("comment not UTF-8", head + "Exec=orvane-test-tool\nComment=caf\xe9\n",
           "Error in get DE");
    failed("directory entry", "[Desktop Entry]\nType=Directory\nName=Games\n", "");
    failed("no type", "[Desktop Entry]\nName=Tool\nExec=orvane-test-tool\n", "");
    failed("another group", "[Desktop Action new]\nType=Application\nExec=orvane-test-tool\n", "");
    failed("not a key file", "Exec=orvane-test-tool\n\x01\x02garbage\n", "");
}

void TestShellLink::desktopEntries() {
    QFETCH(QByteArray, entry);
    QFETCH(QString, message);
    QFETCH(QString, target);
    QFETCH(QString, arguments);
    QFETCH(QString, workingDir);
    QFETCH(QString, description);
    QFETCH(QString, icon);

    Reader reader;
    const QString path = Write(QStringLiteral("entry.desktop"), entry);
    const bool ok = message == QLatin1String("ok");
    QCOMPARE(reader.link.Read(path), ok);
    QCOMPARE(reader.messages, ok || message.isEmpty() ? QStringList() : QStringList{message});
    if (!ok)
        return;
    QCOMPARE(reader.link.Path(), path);
    QCOMPARE(reader.link.Target(), QString(target).replace("$BIN", At("bin")));
    QCOMPARE(reader.link.Arguments(), QString(arguments).replace("$ENTRY", path));
    QCOMPARE(reader.link.WorkingDir(), workingDir);
    QCOMPARE(reader.link.Description(), description);
    QCOMPARE(reader.link.IconLocation(), icon);
    QCOMPARE(reader.link.IconNumber(), quint16(0));
    QCOMPARE(reader.link.ShowCmd(), quint16(1));
    QCOMPARE(reader.link.HotKey(), quint16(0));
}

// The field codes of an Exec line, as every reader of desktop entries expands them for a start
// with no files: the icon, Name = "Tool Name", location = "/apps/tool.desktop".
void TestShellLink::expandFieldCodes_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QStringList>("expanded");
    const QString icon = QStringLiteral("tool-icon");
    QTest::newRow("%i: two words") << QStringList{"app", "%i", "--file"} << icon
                                   << QStringList{"app", "--icon", "tool-icon", "--file"};
    QTest::newRow("%i without an icon: nothing")
        << QStringList{"app", "%i", "--file"} << "" << QStringList{"app", "--file"};
    QTest::newRow("%i inside a word: nothing") << QStringList{"x%i"} << icon << QStringList{"x"};
    QTest::newRow("%c: the argument after it keeps its place")
        << QStringList{"app", "--caption", "%c", "--file"} << icon
        << QStringList{"app", "--caption", "Tool Name", "--file"};
    QTest::newRow("%c inside a word")
        << QStringList{"--title=%c!"} << icon << QStringList{"--title=Tool Name!"};
    QTest::newRow("%k") << QStringList{"app", "--entry", "%k"} << icon
                        << QStringList{"app", "--entry", "/apps/tool.desktop"};
    QTest::newRow("file and URL codes go")
        << QStringList{"app", "%f", "%F", "%u", "%U", "--x"} << icon << QStringList{"app", "--x"};
    QTest::newRow("deprecated and unknown codes go")
        << QStringList{"%d", "%D", "%n", "%N", "%v", "%m", "%z", "a"} << icon << QStringList{"a"};
    QTest::newRow("file code inside a word")
        << QStringList{"--file=%f"} << icon << QStringList{"--file="};
    QTest::newRow("%% is a percent sign")
        << QStringList{"100%%", "%%c"} << icon << QStringList{"100%", "%c"};
    QTest::newRow("lone % at the end stays") << QStringList{"50%"} << icon << QStringList{"50%"};
    QTest::newRow("empty word written as \"\" stays")
        << QStringList{"app", ""} << icon << QStringList{"app", ""};
    QTest::newRow("values are not expanded again")
        << QStringList{"%c", "%i"} << "%f" << QStringList{"Tool Name", "--icon", "%f"};
}

void TestShellLink::expandFieldCodes() {
    QFETCH(QStringList, words);
    QFETCH(QString, icon);
    std::vector<std::string> in;
    for (const QString &word : words)
        in.push_back(word.toStdString());
    QStringList out;
    for (const std::string &word :
         lnk::ExpandFieldCodes(in, {icon.toStdString(), "Tool Name", "/apps/tool.desktop"}))
        out << QString::fromStdString(word);
    QTEST(out, "expanded");
}

// --- Wine drive links ----------------------------------------------------------------------

void TestShellLink::wineDriveLinks_data() {
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QString>("target"); // $C: the prefix's drive_c, $UNC: its share
    QTest::addColumn<QString>("icon");

    const quint32 flags = lnk::HasLinkInfo | lnk::HasWorkingDir | lnk::IsUnicode;
    const QByteArray workingDir = Str(QStringLiteral("C:\\WINDOWS"));
    const auto local = [&](const QString &path) {
        return Header(flags) + LocalInfo(path) + workingDir;
    };
    QTest::newRow("names matched without regard to case")
        << local("C:\\WINDOWS\\System32\\CMD.EXE") << "$C/windows/system32/cmd.exe"
        << "";
    QTest::newRow("missing names kept as written")
        << local("c:\\Windows\\New Folder\\Tool.exe") << "$C/windows/New Folder/Tool.exe"
        << "";
    QTest::newRow("drive root") << local("C:\\") << "$C"
                                << "";
    QTest::newRow("dot-dot stays on the path")
        << local("C:\\windows\\..\\windows\\system32") << "$C/windows/system32"
        << "";
    QTest::newRow("drive without a link") << local("E:\\Specials\\a.jpg") << "E:\\Specials\\a.jpg"
                                          << "";
    QTest::newRow("share with a link")
        << Header(flags) + NetworkInfo("\\\\FILSRV01\\ISO", "Home.pdf") + workingDir
        << "$UNC/home.pdf"
        << "";
    QTest::newRow("share without a link")
        << Header(flags) + NetworkInfo("\\\\other\\ISO", "Home.pdf") + workingDir
        << "\\\\other\\ISO\\Home.pdf"
        << "";
    QTest::newRow("relative path") << local("..\\tool.exe") << "..\\tool.exe"
                                   << "";

    // The icon is a file to read as much as the target is.
    const auto withIcon = [&](const QString &icon) {
        return Header(flags | lnk::HasIconLocation, 3) +
               LocalInfo("C:\\WINDOWS\\System32\\CMD.EXE") + workingDir + Str(icon);
    };
    const QString cmd = QStringLiteral("$C/windows/system32/cmd.exe");
    QTest::newRow("icon on a drive") << withIcon("C:\\Windows\\SYSTEM32\\cmd.exe") << cmd << cmd;
    QTest::newRow("icon under %SystemRoot%") << withIcon("%SystemRoot%\\system32\\SHELL32.dll")
                                             << cmd << "$C/windows/system32/SHELL32.dll";
    QTest::newRow("icon under %programfiles%")
        << withIcon("%programfiles%\\Tool\\tool.ico") << cmd << "$C/Program Files/Tool/tool.ico";
    QTest::newRow("icon on a share")
        << withIcon("\\\\filsrv01\\iso\\home.ico") << cmd << "$UNC/home.ico";
    QTest::newRow("icon on a drive without a link")
        << withIcon("E:\\icons\\a.ico") << cmd << "E:\\icons\\a.ico";
    QTest::newRow("icon under an unknown variable")
        << withIcon("%MYICONS%\\a.ico") << cmd << "%MYICONS%\\a.ico";
    QTest::newRow("icon without a folder") << withIcon("shell32.dll") << cmd << "shell32.dll";
    // A real shortcut whose icon is given as %SystemDrive%\WINDOWS\system32\shell32.dll.
    const QByteArray real = ReadBytes(kTestData + QStringLiteral("/testWinXpNotepadIconTree.lnk"));
    if (!real.isEmpty())
        QTest::newRow("real shortcut") << real << "$C/windows/system32/notepad.exe"
                                       << "$C/windows/system32/shell32.dll";
}

void TestShellLink::wineDriveLinks() {
    QFETCH(QByteArray, link);
    QFETCH(QString, target);
    QFETCH(QString, icon);

    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QString driveC = prefix.filePath("drive_c");
    QVERIFY(QDir().mkpath(driveC + "/windows/system32"));
    QVERIFY(QDir().mkpath(driveC + "/Program Files"));
    QVERIFY(WriteBytes(driveC + "/windows/system32/cmd.exe", "MZ"));
    QVERIFY(QDir().mkpath(prefix.filePath("dosdevices/unc/filsrv01")));
    QVERIFY(QDir().mkpath(prefix.filePath("shares/iso")));
    QVERIFY(WriteBytes(prefix.filePath("shares/iso/home.pdf"), "%PDF"));
    // Drive links as Wine makes them: relative symbolic links.
    QVERIFY(QFile::link("../drive_c", prefix.filePath("dosdevices/c:")));
    QVERIFY(QFile::link("../../../shares/iso", prefix.filePath("dosdevices/unc/filsrv01/iso")));
    const QByteArray saved = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));

    Reader reader;
    const bool read = reader.link.Read(Write(QStringLiteral("wine.lnk"), link));
    qputenv("WINEPREFIX", saved);
    QVERIFY(read);
    const QString canonical = QFileInfo(prefix.path()).canonicalFilePath();
    const auto local = [&](QString path) {
        return path.replace("$C", canonical + "/drive_c")
            .replace("$UNC", canonical + "/shares/iso");
    };
    QCOMPARE(reader.link.Target(), local(target));
    QCOMPARE(reader.link.IconLocation(), local(icon));
    // The working directory is not a file to open; it stays as stored.
    QVERIFY(reader.link.WorkingDir().startsWith(QStringLiteral("C:\\WINDOWS")));
}

// Without WINEPREFIX the prefix is ~/.wine.
void TestShellLink::wineHomePrefix() {
    const QString home = At("home");
    QVERIFY(QDir().mkpath(home + "/.wine/dosdevices"));
    QVERIFY(QDir().mkpath(home + "/.wine/drive_d/games"));
    QFile::link("../drive_d", home + "/.wine/dosdevices/d:");
    const QByteArray saved = qgetenv("WINEPREFIX");
    qunsetenv("WINEPREFIX");
    Reader reader;
    const bool read = reader.link.Read(
        Write("home.lnk", Header(lnk::HasLinkInfo) + LocalInfo("D:\\GAMES\\run.exe")));
    qputenv("WINEPREFIX", saved);
    QVERIFY(read);
    QCOMPARE(reader.link.Target(),
             QFileInfo(home).canonicalFilePath() + "/.wine/drive_d/games/run.exe");
}

// --- The properties ------------------------------------------------------------------------

void TestShellLink::pathUpdateAndProperties() {
    TShellLink link; // no window and no message hook
    QCOMPARE(link.Update(), false);
    QCOMPARE(link.Ok(), false);

    // Setting Path reads the shortcut there; through the property system as well.
    const QString path = Write(QStringLiteral("edit.lnk"), EditLink());
    QVERIFY(link.setProperty("Path", path));
    QCOMPARE(link.property("Path").toString(), path);
    QVERIFY(link.Ok());
    CompareStored(link, kEdit, kOld, 7);
    QCOMPARE(link.property("IconNumber").value<quint16>(), quint16(2));
    QCOMPARE(link.property("Target").toString(), kEdit.target);

    // A file that is not a shortcut changes nothing.
    link.setPath(Write(QStringLiteral("notes.txt"), "just text\n"));
    QVERIFY(!link.Ok());
    QCOMPARE(link.Path(), path);
    CompareStored(link, kEdit, kOld, 7);

    // Update, to either value, reads the shortcut at Path again and ends up true.
    QVERIFY(WriteBytes(path, OldLink()));
    link.setUpdate(false);
    QCOMPARE(link.Update(), true);
    QVERIFY(link.Ok());
    CompareStored(link, kEdit, kOld, 0);
    QVERIFY(WriteBytes(path, EditLink()));
    QVERIFY(link.setProperty("Update", true));
    CompareStored(link, kEdit, kOld, 7);

    // A damaged value without a message hook is only logged.
    QVERIFY(WriteBytes(path, EditLink().left(EditLink().size() - 8)));
    QTest::ignoreMessage(QtWarningMsg, "!! Error !! Error in get IL");
    link.setUpdate(true);
    QVERIFY(!link.Ok());
}

QTEST_GUILESS_MAIN(TestShellLink)
#include "tst_shelllink.moc"
