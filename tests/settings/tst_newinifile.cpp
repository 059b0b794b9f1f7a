// The settings file in one process: reading, writing, refused and failing writes, the cache and
// transactions. tst_newinifile_processes covers several processes sharing one file.

#include "RewriteCounter.h"
#include "settings/IniDocument.h"
#include "settings/NewIniFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

struct stat StatOf(const QString &path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

// "w|Section|Key|Value", "wi|Section|Key|Number", "ek|Section|Key", "es|Section".
void Apply(TNewIniFile &ini, const QString &operation) {
    const QStringList f = operation.split(u'|');
    if (f[0] == u"w")
        ini.WriteString(f[1], f[2], operation.section(u'|', 3)); // values may hold "|"
    else if (f[0] == u"wi")
        ini.WriteInteger(f[1], f[2], f[3].toInt());
    else if (f[0] == u"ek")
        ini.EraseKey(f[1], f[2]);
    else if (f[0] == u"es")
        ini.EraseSection(f[1]);
    else
        QFAIL(qPrintable("unknown operation " + operation));
}

// A full bar: 20 pages of 21 buttons, a record in each of the ten record sections.
QByteArray FullBarFile() {
    static const char *const sections[] = {"Programs",    "Parameters", "Icons",  "IconSelection",
                                           "Names",       "Shrink",     "Select", "Working",
                                           "SoundSelect", "SoundLaunch"};
    QByteArray out = "[Location]\r\nTop=300\r\nLeft=0\r\nButtonCount=21\r\n[Pages]\r\nCount=20\r\n";
    for (const char *section : sections) {
        out += QByteArray("[") + section + "]\r\n";
        for (int n = 1; n <= 420; ++n)
            out += "SpeedButton" + QByteArray::number(n) + "=C:\\PROGRA~1\\APP" +
                   QByteArray::number(n) + "\\" + section + ".EXE\r\n";
    }
    return out;
}

const QString kDefault = QStringLiteral("(default)");

} // namespace

class TestNewIniFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString &name = QStringLiteral("OV.INI")) const {
        return dir_->filePath(name);
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void reading_data() {
        QTest::addColumn<QByteArray>("file"); // a null array: no file at all
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("LF") << QByteArray("[A]\nk=v\n") << "A"
                            << "k"
                            << "v";
        QTest::newRow("CR LF") << QByteArray("[A]\r\nk=1\r\n[B]\r\nx=y\r\n") << "B"
                               << "x"
                               << "y";
        QTest::newRow("CR") << QByteArray("[A]\rk=1\r[B]\rx=y") << "B"
                            << "x"
                            << "y";
        QTest::newRow("mixed line ends") << QByteArray("[A]\r\nk=1\n[B]\rx=y\r\n") << "B"
                                         << "x"
                                         << "y";
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[A]\nk=v") << "A"
                                         << "k"
                                         << "v";
        QTest::newRow("UTF-8") << QByteArray("[A]\nk=caf\xC3\xA9 \xE2\x82\xAC") << "A"
                               << "k" << QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC");
        QTest::newRow("Windows-1252") << QByteArray("[A]\nk=caf\xE9 \x80\n") << "A"
                                      << "k" << QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC");
        QTest::newRow("Windows-1252 names") << QByteArray("[\xC9t\xE9]\nk=v\n") << "\u00c9t\u00e9"
                                            << "k"
                                            << "v";
        QTest::newRow("names without case") << QByteArray("[LoCaTiOn]\nTOP=5\n") << "location"
                                            << "Top"
                                            << "5";
        QTest::newRow("non-ASCII names without case")
            << QByteArray("[\xC3\x89T\xC3\x89]\n\xC3\x84=1\n") << "\u00e9t\u00e9"
            << "\u00e4"
            << "1";
        QTest::newRow("first key wins") << QByteArray("[A]\nk=1\nK=2\n") << "A"
                                        << "k"
                                        << "1";
        QTest::newRow("first section wins") << QByteArray("[A]\nk=1\n[a]\nk=2\n") << "A"
                                            << "k"
                                            << "1";
        QTest::newRow("keys of a repeated section do not count")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nonly=3\n") << "A"
            << "only" << kDefault;
        QTest::newRow("blanks trimmed") << QByteArray("  [ A ]  \n\t k \t=  v w \t\n") << "A"
                                        << "k"
                                        << "v w";
        QTest::newRow("blanks around asked names") << QByteArray("[A]\nk=v\n") << " A "
                                                   << "\tk"
                                                   << "v";
        QTest::newRow("quotes kept") << QByteArray("[A]\nk=\"C:\\Program Files\\x.exe\" \n") << "A"
                                     << "k"
                                     << "\"C:\\Program Files\\x.exe\"";
        QTest::newRow("equals sign in value") << QByteArray("[A]\nk=a=b\n") << "A"
                                              << "k"
                                              << "a=b";
        QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << "A"
                                     << "k"
                                     << "";
        QTest::newRow("missing key") << QByteArray("[A]\nk=v\n") << "A"
                                     << "other" << kDefault;
        QTest::newRow("missing section") << QByteArray("[A]\nk=v\n") << "B"
                                         << "k" << kDefault;
        QTest::newRow("missing file") << QByteArray() << "A"
                                      << "k" << kDefault;
        QTest::newRow("empty file") << QByteArray("") << "A"
                                    << "k" << kDefault;
        QTest::newRow("line without equals sign") << QByteArray("[A]\nnoequals\nk=v\n") << "A"
                                                  << "noequals" << kDefault;
        QTest::newRow("line after one without equals sign")
            << QByteArray("[A]\nnoequals\nk=v\n") << "A"
            << "k"
            << "v";
        QTest::newRow("comment") << QByteArray("[A]\n;k=1\nk=2\n") << "A"
                                 << "k"
                                 << "2";
        QTest::newRow("key before any section") << QByteArray("k=1\n[A]\n") << ""
                                                << "k" << kDefault;
        QTest::newRow("header without bracket") << QByteArray("[A]\nk=1\n[B\nk=2\n") << "B"
                                                << "k"
                                                << "2";
        QTest::newRow("cut at 1023") << QByteArray("[A]\nk=" + QByteArray(1500, 'x')) << "A"
                                     << "k" << QString(1023, u'x');
        QTest::newRow("1023 kept whole")
            << QByteArray("[A]\nk=" + QByteArray(1022, 'x') + "y") << "A"
            << "k" << QString(1022, u'x') + u'y';

        QByteArray garbage(8192, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char &c : garbage)
            c = char(random.bounded(256));
        QTest::newRow("binary garbage") << garbage << "A"
                                        << "k" << kDefault;
    }

    void reading() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        if (!file.isNull())
            WriteAll(Path(), file);
        const TNewIniFile ini(Path());
        QCOMPARE(ini.ReadString(section, key, kDefault), expected);
        QCOMPARE(ini.ValueExists(section, key), expected != kDefault);
    }

    void sectionExists() {
        WriteAll(Path(), "[Empty]\n[Full]\nk=1\n");
        const TNewIniFile ini(Path());
        QVERIFY(ini.SectionExists("empty"));
        QVERIFY(ini.SectionExists("FULL"));
        QVERIFY(!ini.SectionExists("k"));
    }

    // A whole section at once: keys folded, the first of duplicates, values cut, and the
    // pending writes of an open transaction seen.
    void sectionValues() {
        WriteAll(Path(), "[Names]\nSpeedButton1=One\nSPEEDBUTTON2 = Two \nspeedbutton1=Dup\n"
                         "[names]\nSpeedButton3=Hidden\n[Other]\nx=1\n");
        TNewIniFile ini(Path());
        QHash<QString, QString> values = ini.ReadSectionValues("NAMES");
        QCOMPARE(values.size(), 2);
        QCOMPARE(values.value("speedbutton1"), QString("One"));
        QCOMPARE(values.value("speedbutton2"), QString("Two"));
        QVERIFY(ini.ReadSectionValues("Missing").isEmpty());
        SettingsTransaction transaction(ini);
        ini.WriteString("Names", "SpeedButton4", QString(1100, 'x').left(1023));
        ini.EraseKey("Names", "SpeedButton1");
        values = TNewIniFile(Path()).ReadSectionValues("Names");
        QCOMPARE(values.value("speedbutton4").size(), 1023);
        QVERIFY(!values.contains("speedbutton1"));
    }

    void parseInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal") << "31" << true << 31;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("negative") << "-5" << true << -5;
        QTest::newRow("plus sign") << "+7" << true << 7;
        QTest::newRow("0x") << "0x1F" << true << 31;
        QTest::newRow("0X lower digits") << "0X1f" << true << 31;
        QTest::newRow("dollar") << "$1F" << true << 31;
        QTest::newRow("signed dollar") << "-$1F" << true << -31;
        QTest::newRow("largest") << "2147483647" << true << INT_MAX;
        QTest::newRow("smallest") << "-2147483648" << true << INT_MIN;
        QTest::newRow("hex wraps") << "0xFFFFFFFF" << true << -1;
        QTest::newRow("blanks") << " 42\t" << true << 42;
        QTest::newRow("prefix only") << "0x" << false << 0;
        QTest::newRow("dollar only") << "$" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("trailing letters") << "12abc" << false << 0;
        QTest::newRow("inner blank") << "1 2" << false << 0;
        QTest::newRow("too large") << "99999999999" << false << 0;
        QTest::newRow("just too large") << "2147483648" << false << 0;
        QTest::newRow("just too small") << "-2147483649" << false << 0;
        QTest::newRow("hex too large") << "0x100000000" << false << 0;
        QTest::newRow("signed 0x") << "-0x1F" << false << 0;
        QTest::newRow("sign after 0x") << "0x-1" << false << 0;
        QTest::newRow("hex digits without prefix") << "1F" << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
    }

    void parseInteger() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        int parsed = 12345;
        QCOMPARE(TNewIniFile::ParseInteger(text, &parsed), ok);
        if (ok)
            QCOMPARE(parsed, value);
    }

    void readInteger() {
        WriteAll(Path(), "[Icons]\nSel=0x1F\nBad=12abc\nHuge=99999999999\nEmpty=\n");
        const TNewIniFile ini(Path());
        QCOMPARE(ini.ReadInteger("Icons", "Sel", -7), 31);
        QCOMPARE(ini.ReadInteger("Icons", "Bad", -7), -7);
        QCOMPARE(ini.ReadInteger("Icons", "Huge", -7), -7);
        QCOMPARE(ini.ReadInteger("Icons", "Empty", -7), -7);
        QCOMPARE(ini.ReadInteger("Icons", "Missing", -7), -7);
    }

    void writing_data() {
        QTest::addColumn<QByteArray>("before"); // a null array: no file at all
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << QByteArray() << QStringList{"w|Location|Top|5"}
                                  << QByteArray("[Location]\nTop=5\n");
        QTest::newRow("new section at the end")
            << QByteArray("[A]\nk=1\n\n") << QStringList{"w|B|x|2"}
            << QByteArray("[A]\nk=1\n\n[B]\nx=2\n");
        QTest::newRow("new key after the last key of its section")
            << QByteArray("[A]\nk=1\n\n[B]\ny=2\n") << QStringList{"w|a|n|3", "w|A|m|4"}
            << QByteArray("[A]\nk=1\nn=3\nm=4\n\n[B]\ny=2\n");
        QTest::newRow("new key before a closing comment")
            << QByteArray("[A]\nk=1\n; about B\n[B]\n") << QStringList{"w|A|n|3"}
            << QByteArray("[A]\nk=1\nn=3\n; about B\n[B]\n");
        QTest::newRow("new key in a section without keys")
            << QByteArray("[A]\n; nothing yet\n\n[B]\n") << QStringList{"w|A|n|3"}
            << QByteArray("[A]\n; nothing yet\nn=3\n\n[B]\n");
        QTest::newRow("key keeps its spelling and place")
            << QByteArray("[Sec]\nMyKey = 1\nz=2\n") << QStringList{"w|SEC|MYKEY|9"}
            << QByteArray("[Sec]\nMyKey=9\nz=2\n");
        QTest::newRow("comments and unknown lines kept")
            << QByteArray("; head\n[A]\nnonsense\n;k=1\nk=1\n  \n")
            << QStringList{"w|A|k|2", "w|A|j|3"}
            << QByteArray("; head\n[A]\nnonsense\n;k=1\nk=2\nj=3\n  \n");
        QTest::newRow("CR LF kept") << QByteArray("[A]\r\nk=1\r\n") << QStringList{"w|A|n|2"}
                                    << QByteArray("[A]\r\nk=1\r\nn=2\r\n");
        QTest::newRow("CR kept") << QByteArray("[A]\rk=1") << QStringList{"w|B|x|y"}
                                 << QByteArray("[A]\rk=1\r[B]\rx=y\r");
        QTest::newRow("byte order mark kept")
            << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << QStringList{"w|A|k|2"}
            << QByteArray("\xEF\xBB\xBF[A]\nk=2\n");
        QTest::newRow("a Windows-1252 line kept, the new one UTF-8")
            << QByteArray("[A]\nk=caf\xE9\n") << QStringList{QString::fromUtf8("w|A|n|\xC3\xA9")}
            << QByteArray("[A]\nk=caf\xE9\nn=\xC3\xA9\n");
        QTest::newRow("last line gets its end")
            << QByteArray("[A]\nk=1") << QStringList{"w|A|n|2"} << QByteArray("[A]\nk=1\nn=2\n");
        QTest::newRow("first of repeated keys written")
            << QByteArray("[A]\nk=1\nk=2\n") << QStringList{"w|A|k|3"}
            << QByteArray("[A]\nk=3\nk=2\n");
        QTest::newRow("first of repeated sections written")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nn=2\n") << QStringList{"w|A|n|3"}
            << QByteArray("[A]\nk=1\nn=3\n[B]\n[A]\nn=2\n");
        QTest::newRow("names trimmed, value and quotes kept")
            << QByteArray() << QStringList{"w| A |\tk |\"C:\\x y\""}
            << QByteArray("[A]\nk=\"C:\\x y\"\n");
        QTest::newRow("integer as decimal")
            << QByteArray("[A]\nn=0x1F\n") << QStringList{"wi|A|n|-5"} << QByteArray("[A]\nn=-5\n");
        QTest::newRow("erase key")
            << QByteArray("[A]\nk=1\nn=2\n") << QStringList{"ek|A|K"} << QByteArray("[A]\nn=2\n");
        QTest::newRow("erase key with its repeats")
            << QByteArray("[A]\nk=1\nk=2\n") << QStringList{"ek|A|k"} << QByteArray("[A]\n");
        QTest::newRow("erase section with all its lines")
            << QByteArray("[A]\nk=1\n;c\n\n[B]\nx=1\n") << QStringList{"es|a"}
            << QByteArray("[B]\nx=1\n");
        QTest::newRow("erase repeated section") << QByteArray("[M]\n1=a\n[B]\nx=1\n[m]\n2=b\n")
                                                << QStringList{"es|M"} << QByteArray("[B]\nx=1\n");
        QTest::newRow("erase section, then write to it")
            << QByteArray("[A]\nk=1\n[B]\n") << QStringList{"es|A", "w|A|k|2"}
            << QByteArray("[B]\n[A]\nk=2\n");
        QTest::newRow("erase key, then write it")
            << QByteArray("[A]\nk=1\nz=0\n") << QStringList{"ek|A|k", "w|A|k|2"}
            << QByteArray("[A]\nz=0\nk=2\n");
        QTest::newRow("the list rewritten")
            << QByteArray("[MRU]\nCount=2\n1=a  |1\n2=b  |2\n[X]\n")
            << QStringList{"es|MRU", "w|MRU|Count|1", "w|MRU|1|c  |3"}
            << QByteArray("[X]\n[MRU]\nCount=1\n1=c  |3\n");
    }

    // Each operation on its own, and all of them as one transaction, give the same file.
    void writing() {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, operations);
        QFETCH(QByteArray, after);
        for (const QString &name : {QStringLiteral("direct.ini"), QStringLiteral("tx.ini")}) {
            if (!before.isNull())
                WriteAll(Path(name), before);
            TNewIniFile ini(Path(name));
            {
                std::optional<SettingsTransaction> transaction;
                if (name == u"tx.ini")
                    transaction.emplace(ini);
                for (const QString &operation : operations)
                    Apply(ini, operation);
                if (transaction)
                    transaction->Commit();
            }
            QCOMPARE(ReadAll(Path(name)), after);
        }
    }

    // What a write leaves is what a new reader reads, and the cache agrees with it.
    void writtenValuesReadBack() {
        TNewIniFile ini(Path());
        const QString longest(TNewIniFile::MaxValueLength, u'v');
        ini.WriteString("A", "long", longest);
        ini.WriteString("A", "quoted", "\"a b\"");
        ini.WriteInteger("A", "n", INT_MIN);
        QCOMPARE(ini.ReadString("A", "long", kDefault), longest);
        QCOMPARE(TNewIniFile(Path()).ReadString("a", "QUOTED", kDefault), "\"a b\"");
        QCOMPARE(ini.ReadInteger("A", "n", 0), INT_MIN);
        ini.EraseKey("A", "long");
        QCOMPARE(ini.ReadString("A", "long", kDefault), kDefault);
        ini.EraseSection("A");
        QVERIFY(!ini.SectionExists("A"));
        QCOMPARE(ReadAll(Path()), QByteArray(""));
    }

    // U+FEFF is a byte-order mark only as the file's first bytes; inside the file it is part
    // of a key or a value, read as such and written back with its line, in every encoding.
    void byteOrderMarkCharacterKept_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("text"); // what the file reads as, after its own mark
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("newValue");
        QTest::addColumn<QByteArray>("afterOther"); // after z is written
        QTest::addColumn<QByteArray>("afterSame");  // after key is written

        enum Encoding { Utf8, Utf8Mark, Utf8With1252Line, Utf16Le, Utf16Be };
        // A Windows-1252 line at the end makes the file as a whole invalid UTF-8, so that
        // DecodeIniText decodes it line by line.
        auto encode = [](const QString &text, Encoding encoding) {
            if (encoding == Utf16Le || encoding == Utf16Be) {
                QByteArray bytes = encoding == Utf16Le ? "\xFF\xFE" : "\xFE\xFF";
                for (QChar c : text) {
                    const char low = char(c.unicode() & 0xFF), high = char(c.unicode() >> 8);
                    bytes.append(encoding == Utf16Le ? low : high);
                    bytes.append(encoding == Utf16Le ? high : low);
                }
                return bytes;
            }
            const QByteArray utf8 = text.toUtf8();
            if (encoding == Utf8Mark)
                return "\xEF\xBB\xBF" + utf8;
            return encoding == Utf8With1252Line ? utf8 + "c=caf\xE9\n" : utf8;
        };
        const struct {
            const char *name;
            QString before, key, value, newValue, afterOther, afterSame;
        } cases[] = {
            {"key on its section's first line", u"[A]\n\uFEFFk=1\nz=0\n"_s, u"\uFEFFk"_s, "1", "2",
             u"[A]\n\uFEFFk=1\nz=9\n"_s, u"[A]\n\uFEFFk=2\nz=0\n"_s},
            {"key on a later line", u"[A]\nz=0\n\uFEFF\uFEFFk=1\n"_s, u"\uFEFF\uFEFFk"_s, "1", "2",
             u"[A]\nz=9\n\uFEFF\uFEFFk=1\n"_s, u"[A]\nz=0\n\uFEFF\uFEFFk=2\n"_s},
            {"value", u"[A]\nk=\uFEFF1\nz=0\n"_s, "k", u"\uFEFF1"_s, u"\uFEFF2"_s,
             u"[A]\nk=\uFEFF1\nz=9\n"_s, u"[A]\nk=\uFEFF2\nz=0\n"_s},
            // Without a mark of the file's own, these first bytes would be its mark.
            {"the file's first line", u"\uFEFF;first\n[A]\n\uFEFFk=1\nz=0\n"_s, u"\uFEFFk"_s, "1",
             "2", u"\uFEFF;first\n[A]\n\uFEFFk=1\nz=9\n"_s,
             u"\uFEFF;first\n[A]\n\uFEFFk=2\nz=0\n"_s},
        };
        const struct {
            const char *name;
            Encoding encoding;
        } encodings[] = {{"UTF-8", Utf8},
                         {"UTF-8 with a mark", Utf8Mark},
                         {"UTF-8 and a Windows-1252 line", Utf8With1252Line},
                         {"UTF-16LE", Utf16Le},
                         {"UTF-16BE", Utf16Be}};
        for (const auto &e : encodings) {
            for (const auto &c : cases) {
                if (c.before.startsWith(u'\uFEFF') &&
                    (e.encoding == Utf8 || e.encoding == Utf8With1252Line))
                    continue;
                const QString text = e.encoding == Utf8With1252Line
                                         ? c.before + QString::fromUtf8("c=caf\xC3\xA9\n")
                                         : c.before;
                QTest::addRow("%s, %s", c.name, e.name)
                    << encode(c.before, e.encoding) << text << c.key << c.value << c.newValue
                    << encode(c.afterOther, e.encoding) << encode(c.afterSame, e.encoding);
            }
        }
    }

    void byteOrderMarkCharacterKept() {
        QFETCH(QByteArray, before);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, newValue);
        QFETCH(QByteArray, afterOther);
        QFETCH(QByteArray, afterSame);
        QCOMPARE(DecodeIniText(before), text);
        WriteAll(Path(), before);
        TNewIniFile ini(Path());
        QCOMPARE(ini.ReadString("A", key, kDefault), value);
        QCOMPARE(ini.ReadSectionValues("A").value(key.toCaseFolded(), kDefault), value);
        ini.WriteString("A", "z", "9");
        QCOMPARE(ReadAll(Path()), afterOther);
        WriteAll(Path(), before);
        ini.WriteString("A", key, newValue);
        QCOMPARE(ReadAll(Path()), afterSame);
        QCOMPARE(TNewIniFile(Path()).ReadString("A", key, kDefault), newValue);
    }

    void refusedWrites_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("CR in value") << "A"
                                     << "k"
                                     << "a\rb";
        QTest::newRow("LF in value") << "A"
                                     << "k"
                                     << "a\nb";
        QTest::newRow("NUL in value") << "A"
                                      << "k" << QString("a") + QChar(0) + "b";
        QTest::newRow("1024 characters") << "A"
                                         << "k" << QString(1024, u'x');
        QTest::newRow("LF in section") << "A\n[B"
                                       << "k"
                                       << "v";
        QTest::newRow("bracket in section") << "A]"
                                            << "k"
                                            << "v";
        QTest::newRow("equals sign in section") << "A=B"
                                                << "k"
                                                << "v";
        QTest::newRow("equals sign in key") << "A"
                                            << "k=j"
                                            << "v";
        QTest::newRow("CR in key") << "A"
                                   << "k\rj"
                                   << "v";
        QTest::newRow("empty key") << "A"
                                   << " "
                                   << "v";
        QTest::newRow("key like a comment") << "A"
                                            << ";k"
                                            << "v";
        QTest::newRow("key like a section") << "A"
                                            << "[k"
                                            << "v";
    }

    void refusedWrites() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = "[A]\r\nk=1\r\n";
        WriteAll(Path(), before);
        const struct stat old = StatOf(Path());
        TNewIniFile ini(Path());
        try {
            ini.WriteString(section, key, value);
            QFAIL("the write was accepted");
        } catch (const SettingsWriteError &e) {
            QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + Path());
        }
        QCOMPARE(ReadAll(Path()), before);
        QCOMPARE(StatOf(Path()).st_ino, old.st_ino);
        QCOMPARE(ini.ReadString("A", "k", kDefault), "1");
    }

    void refusingFile() {
        WriteAll(Path(), "[A]\nk=1\n");
        TNewIniFile ini = TNewIniFile::Refusing(Path());
        QCOMPARE(ini.ReadString("A", "k", kDefault), kDefault);
        QVERIFY(!ini.ValueExists("A", "k"));
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, ini.WriteString("A", "k", "2"));
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, ini.WriteInteger("A", "k", 2));
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, ini.EraseKey("A", "missing"));
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, ini.EraseSection("Missing"));
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\nk=1\n"));
    }

    // Erasing what is not there, or writing what is, leaves the file alone: not even its time.
    void noChangeNoRewrite() {
        WriteAll(Path(), "[A]\nk=1\nq=\"x\"\n");
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(Path()).constData(), old, 0), 0);
        const struct stat before = StatOf(Path());
        RewriteCounter rewrites(Path());
        TNewIniFile ini(Path());
        ini.EraseKey("A", "missing");
        ini.EraseKey("Missing", "k");
        ini.EraseSection("Missing");
        ini.WriteString("a", "K", "1");
        ini.WriteString("A", "q", "\"x\"");
        {
            SettingsTransaction transaction(ini);
            ini.EraseKey("A", "missing");
            transaction.Commit();
        }
        const struct stat after = StatOf(Path());
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        QCOMPARE(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
        QCOMPARE(rewrites.Count(), 0);
        QVERIFY(!QFile::exists(Path() + ".lock")); // no lock was even needed
    }

    void writeFailures_data() {
        QTest::addColumn<QString>("setup");
        QTest::newRow("directory missing") << "missing";
        QTest::newRow("directory is a file") << "file";
        QTest::newRow("no room for the temporary file's name") << "long";
        QTest::newRow("disk full") << "full";
    }

    // Root passes every permission check, so these are failures that hold for root too.
    void writeFailures() {
        QFETCH(QString, setup);
        QString path;
        QByteArray before; // null: no file
        if (setup == u"missing") {
            path = Path("nowhere/OV.INI");
        } else if (setup == u"file") {
            WriteAll(Path("plain"), "x");
            path = Path("plain/OV.INI");
        } else if (setup == u"long") {
            // The name leaves room for ".lock" but not for the temporary file's suffix.
            path = Path(QString(NAME_MAX - 7, u'n'));
            before = "[A]\nk=1\n[B]\nx=1\n";
        } else {
            path = Path();
            before = "[A]\nk=1\n[B]\nx=1\n";
        }
        if (!before.isNull())
            WriteAll(path, before);
        const QString message = "Unable to write to " + path;

        rlimit oldLimit{};
        auto oldHandler = SIG_DFL;
        if (setup == u"full") {
            // The file size limit makes writes fail like a full disk, for root as well.
            oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &oldLimit);
            rlimit limit = oldLimit;
            limit.rlim_cur = 4; // smaller than any file the changes leave
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        QStringList thrown;
        auto attempt = [&](const std::function<void()> &change) {
            try {
                change();
                thrown << QStringLiteral("no error");
            } catch (const SettingsWriteError &e) {
                thrown << QString::fromUtf8(e.what());
            }
        };
        TNewIniFile ini(path);
        attempt([&] { ini.WriteString("A", "k", "2"); });
        attempt([&] { ini.WriteInteger("B", "n", 5); });
        attempt([&] {
            SettingsTransaction transaction(ini);
            ini.WriteString("A", "k", "3");
            ini.EraseKey("A", "k");
            ini.WriteString("C", "x", "y");
            transaction.Commit();
        });
        if (!before.isNull()) {
            attempt([&] { ini.EraseKey("A", "k"); });
            attempt([&] { ini.EraseSection("A"); });
        }
        if (setup == u"full") {
            ::setrlimit(RLIMIT_FSIZE, &oldLimit);
            std::signal(SIGXFSZ, oldHandler);
        }

        for (const QString &text : thrown)
            QCOMPARE(text, message);
        QCOMPARE(thrown.size(), before.isNull() ? 3 : 5);
        QCOMPARE(ReadAll(path), before.isNull() ? QByteArray() : before);
        QCOMPARE(ini.ReadString("A", "k", kDefault), before.isNull() ? kDefault : "1");
        const QStringList left = QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : left)
            QVERIFY2(!name.contains(u".tmp."), qPrintable(name));
    }

    void permissionsKept() {
        WriteAll(Path(), "[A]\nk=1\n");
        QVERIFY(
            QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        TNewIniFile(Path()).WriteString("A", "k", "2");
        QCOMPARE(StatOf(Path()).st_mode & 07777, 0640u);

        // A new file gets what any new file would: 0666 less the umask.
        const mode_t mask = ::umask(027);
        TNewIniFile(Path("new.ini")).WriteString("A", "k", "1");
        ::umask(mask);
        QCOMPARE(StatOf(Path("new.ini")).st_mode & 07777, 0640u);
    }

    void symbolicLinkKept() {
        WriteAll(Path("real.ini"), "[A]\nk=1\n");
        QVERIFY(QFile::link(Path("real.ini"), Path()));
        TNewIniFile(Path()).WriteString("A", "k", "2");
        QVERIFY(QFileInfo(Path()).isSymLink());
        QCOMPARE(ReadAll(Path("real.ini")), QByteArray("[A]\nk=2\n"));
    }

    // Another writer changes the file in place, same size, without the file's times or any
    // other part of its stamp changing: a write through a shared mapping whose page is already
    // writable. Only the bytes tell; the next read still sees the new value.
    void racyChangeSeen() {
        TNewIniFile ini(Path());
        for (int round = 0; round < 5; ++round) {
            const QString mine = QString::number(1000 + round);
            ini.WriteString("A", "k", mine);
            const QByteArray theirs = "[A]\nk=" + QByteArray::number(5000 + round) + "\n";
            const int fd = ::open(QFile::encodeName(Path()).constData(), O_RDWR);
            QVERIFY(fd >= 0);
            char *map = static_cast<char *>(
                ::mmap(nullptr, theirs.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
            ::close(fd);
            QVERIFY(map != MAP_FAILED);
            map[0] = '['; // the write fault that stamps the file's times, before the read

            QCOMPARE(ini.ReadString("A", "k", kDefault), mine);
            const struct stat seen = StatOf(Path());
            std::memcpy(map, theirs.constData(), size_t(theirs.size()));
            const struct stat now = StatOf(Path());
            ::munmap(map, theirs.size());
            QCOMPARE(now.st_ino, seen.st_ino);
            QCOMPARE(now.st_size, seen.st_size);
            QCOMPARE(now.st_mtim.tv_nsec, seen.st_mtim.tv_nsec);
            QCOMPARE(now.st_ctim.tv_nsec, seen.st_ctim.tv_nsec);

            QCOMPARE(ini.ReadString("A", "k", kDefault), QString::number(5000 + round));
        }
    }

    // A change to a file that nobody touched since it was read takes its stamp's word and does
    // not read it again: a large file is read once at start, not again for the first write.
    // Right after a write the stamp is too recent to vouch for anything (racyChangeSeen).
    void unchangedFileNotReadAgainForAChange() {
        WriteAll(Path(), "[A]\nk=1\n");
        QThread::msleep(60); // the file's times well before the read
        TNewIniFile ini(Path());
        QCOMPARE(ini.ReadString("A", "k", kDefault), "1");
        RewriteCounter opens = RewriteCounter::Opens(Path());
        ini.WriteString("A", "k", "2");
        QCOMPARE(opens.Count(), 0);
        ini.WriteString("A", "q", "3"); // its stamp too new: the bytes are compared
        QVERIFY(opens.Count() > 0);
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\nk=2\nq=3\n"));
    }

    // An outside change of the file, made while nobody holds the cache's attention.
    void outsideChangeSeen() {
        WriteAll(Path(), "[A]\nk=1\n");
        const TNewIniFile ini(Path());
        QCOMPARE(ini.ReadString("A", "k", kDefault), "1");
        QFile::remove(Path());
        QCOMPARE(ini.ReadString("A", "k", kDefault), kDefault);
        WriteAll(Path(), "[A]\nk=22\n");
        QCOMPARE(ini.ReadString("A", "k", kDefault), "22");
    }

    void transactionLandsOnce() {
        const QByteArray before = FullBarFile();
        WriteAll(Path(), before);
        RewriteCounter rewrites(Path());
        {
            SettingsTransaction transaction(TNewIniFile{Path()});
            for (int n = 1; n <= 420; ++n) {
                // One short-lived object per operation, as the window uses them.
                TNewIniFile(Path()).EraseKey("Icons", "SpeedButton" + QString::number(n));
                TNewIniFile(Path()).WriteString("Names", "SpeedButton" + QString::number(n),
                                                "Name " + QString::number(n));
                TNewIniFile(Path()).WriteInteger("IconSelection", "New" + QString::number(n), n);
            }
            TNewIniFile(Path()).EraseSection("Sounds");
            TNewIniFile(Path()).EraseSection("SoundLaunch");

            const TNewIniFile reader(Path());
            QCOMPARE(reader.ReadString("names", "speedbutton7", kDefault), "Name 7");
            QCOMPARE(reader.ReadInteger("IconSelection", "New420", 0), 420);
            QCOMPARE(reader.ReadString("Icons", "SpeedButton7", kDefault), kDefault);
            QVERIFY(!reader.SectionExists("SoundLaunch"));
            QCOMPARE(ReadAll(Path()), before);
            QCOMPARE(rewrites.Count(), 0);
            transaction.Commit();
        }
        QCOMPARE(rewrites.Count(), 1);
        const QByteArray after = ReadAll(Path());
        QVERIFY(after.contains("SpeedButton7=Name 7\r\n"));
        QVERIFY(after.contains("New420=420\r\n"));
        QVERIFY(!after.contains("[SoundLaunch]"));
        QVERIFY(!after.contains("\\Icons.EXE"));
        QVERIFY(after.contains("SpeedButton420=C:\\PROGRA~1\\APP420\\Programs.EXE\r\n"));
    }

    // A refused write in the middle: the exception leaves the operation, and nothing of it
    // reaches the file or later reads.
    void abandonedTransactionLeavesNothing() {
        const QByteArray before = "[A]\r\nk=1\r\n[B]\r\nx=1\r\n";
        WriteAll(Path(), before);
        const struct stat old = StatOf(Path());
        TNewIniFile ini(Path());
        try {
            SettingsTransaction transaction(ini);
            ini.WriteString("A", "k", "2");
            ini.EraseSection("B");
            ini.WriteString("C", "new", "3");
            QCOMPARE(ini.ReadString("A", "k", kDefault), "2");
            ini.WriteString("A", "bad", "line\nbreak");
            transaction.Commit();
            QFAIL("the bad write was accepted");
        } catch (const SettingsWriteError &) {
        }
        QCOMPARE(ReadAll(Path()), before);
        QCOMPARE(StatOf(Path()).st_ino, old.st_ino);
        QCOMPARE(ini.ReadString("A", "k", kDefault), "1");
        QCOMPARE(ini.ReadString("B", "x", kDefault), "1");
        QVERIFY(!ini.SectionExists("C"));

        // The file goes on working normally afterwards.
        ini.WriteString("A", "k", "4");
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\r\nk=4\r\n[B]\r\nx=1\r\n"));
    }

    void nestedTransactions() {
        WriteAll(Path(), "[A]\nk=0\n");
        RewriteCounter rewrites(Path());
        TNewIniFile ini(Path());
        {
            SettingsTransaction outer(ini);
            ini.WriteString("A", "outer", "1");
            {
                SettingsTransaction inner(ini);
                // The same file under another spelling of its path belongs to the transaction.
                TNewIniFile(dir_->path() + "/./OV.INI").WriteString("A", "inner", "2");
                inner.Commit();
            }
            QCOMPARE(rewrites.Count(), 0);
            try {
                SettingsTransaction failing(ini);
                ini.EraseKey("A", "outer");
                ini.WriteString("A", "failed", "3");
                throw std::runtime_error("the step failed");
            } catch (const std::runtime_error &) {
            }
            QCOMPARE(ini.ReadString("A", "outer", kDefault), "1");
            QCOMPARE(ini.ReadString("A", "failed", kDefault), kDefault);
            ini.WriteString("A", "last", "4");
            outer.Commit();
        }
        QCOMPARE(rewrites.Count(), 1);
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\nk=0\nouter=1\ninner=2\nlast=4\n"));
    }

    // A write from another thread waits for the transaction instead of joining it.
    void otherThreadWaitsForTransaction() {
        TNewIniFile ini(Path());
        std::thread other;
        bool landedEarly;
        {
            SettingsTransaction transaction(ini);
            ini.WriteString("A", "mine", "1");
            other =
                std::thread([path = Path()] { TNewIniFile(path).WriteString("A", "theirs", "2"); });
            QThread::msleep(50);
            landedEarly = ReadAll(Path()).contains("theirs");
            transaction.Commit();
        }
        other.join();
        QVERIFY(!landedEarly);
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\nmine=1\ntheirs=2\n"));
    }

    // Another copy changed the file while the transaction was open: the transaction's changes
    // are replayed on the file as it is now, and the other copy's stay.
    void transactionReplaysOnNewerFile() {
        WriteAll(Path(), "[A]\nk=1\ngone=1\n");
        TNewIniFile ini(Path());
        SettingsTransaction transaction(ini);
        ini.WriteString("A", "k", "2");
        ini.EraseKey("A", "gone");
        WriteAll(Path(), "[A]\nk=1\ngone=1\nfromOther=5\n[Other]\nz=1\n");
        QCOMPARE(ini.ReadString("A", "fromOther", kDefault), kDefault); // a stable view
        try {
            // A step given up after the other copy's write keeps the steps before it.
            SettingsTransaction failing(ini);
            ini.WriteString("A", "k", "3");
            throw std::runtime_error("the step failed");
        } catch (const std::runtime_error &) {
        }
        QCOMPARE(ini.ReadString("A", "k", kDefault), "2");
        QCOMPARE(ini.ReadString("A", "gone", kDefault), kDefault);
        transaction.Commit();
        QCOMPARE(ReadAll(Path()), QByteArray("[A]\nk=2\nfromOther=5\n[Other]\nz=1\n"));
        QCOMPARE(ini.ReadString("A", "fromOther", kDefault), "5");
    }
};

QTEST_GUILESS_MAIN(TestNewIniFile)
#include "tst_newinifile.moc"
