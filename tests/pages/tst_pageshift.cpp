#include "FileSizeLimit.h"
#include "pages/PageShift.h"
#include "settings/ButtonRecord.h"
#include "settings/NewIniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

// What a settings file holds for these tests: the page count, the page names and the records.
struct Layout {
    Layout() = default;
    Layout(int pages, const QMap<int, QString> &pageNames, const QList<int> &numbers = {})
        : count(pages), names(pageNames) {
        for (int n : numbers)
            records[n] = n;
    }

    Layout &With(int number, int id) {
        records[number] = id;
        return *this;
    }
    // Expected: the records first .. last of the fixture `from` as it wrote them.
    Layout &Keep(const Layout &from, int first, int last) {
        for (int n = first; n <= last; ++n) {
            if (from.records.contains(n)) {
                records[n] = from.records[n];
                asWritten << n;
            }
        }
        return *this;
    }
    // Expected: the count records of `from` starting at first, rewritten at to onwards.
    Layout &Move(const Layout &from, int to, int first, int count) {
        for (int i = 0; i < count; ++i) {
            if (from.records.contains(first + i))
                records[to + i] = from.records[first + i];
        }
        return *this;
    }

    int count = -1;           // "Pages"/"Count"; -1: no such key
    QMap<int, QString> names; // "Tabs"/"PageTab" + page
    QMap<int, int> records;   // button number -> id of the Stored() record there
    QSet<int> asWritten;      // records expected exactly as the fixture wrote them
};
Q_DECLARE_METATYPE(Layout)

namespace {

QList<int> Numbers(int first, int last) {
    QList<int> numbers;
    for (int n = first; n <= last; ++n)
        numbers << n;
    return numbers;
}

// Button numbers of the given slots on each of the pages first .. last, 16 buttons per page.
QList<int> Slots(int first, int last, const QList<int> &inPage) {
    QList<int> numbers;
    for (int page = first; page <= last; ++page) {
        for (int slot : inPage)
            numbers << (page - 1) * 16 + slot;
    }
    return numbers;
}

// Every field of record id names it, so a record that moved in pieces or lost a field shows.
ButtonRecord Full(int id) {
    const QString n = QString::number(id);
    ButtonRecord r;
    r.Programs = QStringLiteral("/usr/bin/prog") + n;
    r.Parameters = QStringLiteral("--item ") + n;
    r.Icons = QStringLiteral("/icons/icon") + n + QStringLiteral(".png");
    r.IconSelection = id % 7 + 1;
    r.Names = QStringLiteral("Button ") + n;
    r.Shrink = id % 2 ? QStringLiteral("Yes") : QStringLiteral("No");
    r.Select = QStringLiteral("/select/") + n;
    r.Working = QStringLiteral("/work/") + n;
    r.SoundSelect = QStringLiteral("/sounds/select") + n + QStringLiteral(".wav");
    r.SoundLaunch = QStringLiteral("/sounds/launch") + n + QStringLiteral(".wav");
    return r;
}

// Ids from 1000 on stand for a record with a program and a description only.
ButtonRecord Stored(int id) {
    if (id < 1000)
        return Full(id);
    ButtonRecord r;
    r.Programs = QStringLiteral("/usr/bin/bare") + QString::number(id);
    r.Names = QStringLiteral("Bare ") + QString::number(id);
    return r;
}

struct Entry {
    QString section, key, value;
};

// The keys of a layout in file order. The fixture writes icon indexes in hexadecimal, as another
// program might; a record the operation rewrites gets them in decimal, so the form tells a
// record left alone from one rewritten.
QList<Entry> Entries(const Layout &layout, bool fixture) {
    QList<Entry> entries{{"Location", "Top", "700"}};
    if (layout.count >= 0)
        entries.append({"Pages", "Count", QString::number(layout.count)});
    for (auto it = layout.names.cbegin(); it != layout.names.cend(); ++it)
        entries.append({"Tabs", QStringLiteral("PageTab%1").arg(it.key()), it.value()});
    for (const QString &section : ButtonRecordSections()) {
        for (auto it = layout.records.cbegin(); it != layout.records.cend(); ++it) {
            const ButtonRecord r = Stored(it.value());
            QString value;
            if (section == QLatin1String("IconSelection")) {
                if (r.IconSelection == 0)
                    continue;
                value = fixture || layout.asWritten.contains(it.key())
                            ? QStringLiteral("0x") + QString::number(r.IconSelection, 16)
                            : QString::number(r.IconSelection);
            } else {
                const QString ButtonRecord::*field[] = {
                    &ButtonRecord::Programs,    &ButtonRecord::Parameters,
                    &ButtonRecord::Icons,       nullptr,
                    &ButtonRecord::Names,       &ButtonRecord::Shrink,
                    &ButtonRecord::Select,      &ButtonRecord::Working,
                    &ButtonRecord::SoundSelect, &ButtonRecord::SoundLaunch};
                value = r.*field[ButtonRecordSections().indexOf(section)];
            }
            if (!value.isEmpty())
                entries.append({section, ButtonKey(it.key()), value});
        }
    }
    return entries;
}

QByteArray Text(const Layout &layout) {
    QStringList lines;
    const QStringList sections = QStringList{"Location", "Pages", "Tabs"} + ButtonRecordSections();
    const QList<Entry> entries = Entries(layout, true);
    for (const QString &s : sections) {
        lines << u'[' + s + u']';
        for (const Entry &e : entries) {
            if (e.section == s)
                lines << e.key + u'=' + e.value;
        }
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QString WriteFixture(const QTemporaryDir &dir, const Layout &layout) {
    const QString path = dir.filePath(QStringLiteral("OV.INI"));
    QFile file(path);
    const QByteArray text = Text(layout);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("cannot write the fixture");
    return path;
}

QByteArray FileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every key the file holds against every key expected, value by value, in both directions.
QStringList Differences(const QString &path, const Layout &want) {
    QStringList problems;
    QMap<QString, QString> found;
    QString section;
    for (const QString &raw : QString::fromUtf8(FileBytes(path)).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            section = line.mid(1, line.indexOf(u']') - 1);
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
            const QString key = section + u'/' + line.left(eq).trimmed();
            if (found.contains(key))
                problems << QStringLiteral("%1 twice").arg(key);
            found[key] = line.mid(eq + 1).trimmed();
        }
    }
    QMap<QString, QString> expected;
    for (const Entry &e : Entries(want, false))
        expected[e.section + u'/' + e.key] = e.value;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!found.contains(it.key()))
            problems << QStringLiteral("%1 missing, want \"%2\"").arg(it.key(), it.value());
        else if (found[it.key()] != it.value())
            problems << QStringLiteral("%1 is \"%2\", want \"%3\"")
                            .arg(it.key(), found[it.key()], it.value());
    }
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (!expected.contains(it.key()))
            problems << QStringLiteral("%1 = \"%2\" left over").arg(it.key(), it.value());
    }
    if (problems.size() > 20)
        problems = problems.first(20) << QStringLiteral("...");
    return problems;
}

#define COMPARE_FILE(path, want)                                                                   \
    do {                                                                                           \
        const QStringList problems = Differences(path, want);                                      \
        QVERIFY2(problems.isEmpty(), qPrintable(u'\n' + problems.join(u'\n')));                    \
    } while (false)

QStringList Describe(const QList<ButtonRecord> &records) {
    QStringList out;
    for (const ButtonRecord &r : records)
        out << QStringList{r.Programs,    r.Parameters, r.Icons,  QString::number(r.IconSelection),
                           r.Names,       r.Shrink,     r.Select, r.Working,
                           r.SoundSelect, r.SoundLaunch}
                   .join(u'|');
    return out;
}

using Names = QMap<int, QString>;

} // namespace

class TestPageShift : public QObject {
    Q_OBJECT

private slots:
    void deletePage_data();
    void deletePage();
    void insertPage_data();
    void insertPage();
    void movePage_data();
    void movePage();
    void invalidArgumentsChangeNothing_data();
    void invalidArgumentsChangeNothing();
    void refusedWriteChangesNothing_data();
    void refusedWriteChangesNothing();
    void pageCountFromText_data();
    void pageCountFromText();
};

void TestPageShift::deletePage_data() {
    QTest::addColumn<int>("perPage");
    QTest::addColumn<Layout>("before");
    QTest::addColumn<int>("page");
    QTest::addColumn<Layout>("after");

    const Layout five(5, Names{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}}, Numbers(1, 80));
    QTest::newRow("page 2 of 5 at 16") << 16 << five << 2
                                       << Layout(4, Names{{1, "A"}, {2, "C"}, {3, "D"}, {4, "E"}})
                                              .Keep(five, 1, 16)
                                              .Move(five, 17, 33, 48);

    // A missing name that moves down is named with its new position.
    const Layout unnamed(3, Names{{1, "One"}, {3, "Three"}}, {1, 5, 22, 42, 43, 63});
    QTest::newRow("first of 3 at 21, a name missing")
        << 21 << unnamed << 1 << Layout(2, Names{{1, "1"}, {2, "Three"}}).Move(unnamed, 1, 22, 42);

    const Layout three(3, Names{{1, "A"}, {2, "B"}, {3, "C"}}, Slots(1, 3, {1, 9, 16}));
    QTest::newRow("last page") << 16 << three << 3
                               << Layout(2, Names{{1, "A"}, {2, "B"}}).Keep(three, 1, 32);

    // Nothing of a full record survives under a smaller one: no sounds, no icon index.
    const Layout bare =
        Layout(2, Names{{1, "A"}, {2, "B"}}, {1, 2, 3}).With(17, 1017).With(19, 1019);
    QTest::newRow("a smaller record replaces a full one")
        << 16 << bare << 1 << Layout(1, Names{{1, "B"}}).Move(bare, 1, 17, 16);

    QTest::newRow("only page") << 16 << Layout(1, Names{{1, "Solo"}}, {1, 16}) << 1
                               << Layout(0, Names{});

    // Page 4 and beyond were hidden by lowering the count: the last page ends empty instead of
    // taking them in, and they stay exactly as they were.
    const Layout hidden(3, Names{{1, "A"}, {2, "B"}, {3, "C"}, {4, "Kept"}},
                        {1, 17, 33, 48, 49, 60, 70});
    QTest::newRow("records and names beyond the count stay")
        << 16 << hidden << 1
        << Layout(2, Names{{1, "B"}, {2, "C"}, {4, "Kept"}})
               .Move(hidden, 1, 17, 32)
               .Keep(hidden, 49, 80);

    // No count in the file: 20 pages.
    const Layout noCount(-1, Names{}, {1, 305, 320, 321});
    QTest::newRow("count missing means 20") << 16 << noCount << 19
                                            << Layout(19, Names{{19, "19"}})
                                                   .Keep(noCount, 1, 1)
                                                   .Move(noCount, 289, 305, 16)
                                                   .Keep(noCount, 321, 321);
}

void TestPageShift::deletePage() {
    QFETCH(int, perPage);
    QFETCH(Layout, before);
    QFETCH(int, page);
    QFETCH(Layout, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(dir, before);
    TNewIniFile ini(path);

    QVERIFY(!DeletePage(ini, page, perPage, false).Taken());

    COMPARE_FILE(path, after);
}

void TestPageShift::insertPage_data() {
    QTest::addColumn<int>("perPage");
    QTest::addColumn<Layout>("before");
    QTest::addColumn<int>("position");
    QTest::addColumn<Layout>("after");

    const Layout three(3, Names{{1, "A"}, {2, "B"}, {3, "C"}}, Numbers(1, 48));
    QTest::newRow("at page 1 of 3")
        << 16 << three << 1
        << Layout(4, Names{{1, "Page 1"}, {2, "A"}, {3, "B"}, {4, "C"}}).Move(three, 17, 1, 48);
    QTest::newRow("below 1 inserts first")
        << 16 << three << -1
        << Layout(4, Names{{1, "Page 1"}, {2, "A"}, {3, "B"}, {4, "C"}}).Move(three, 17, 1, 48);
    QTest::newRow("beyond the last appends")
        << 16 << three << 9
        << Layout(4, Names{{1, "A"}, {2, "B"}, {3, "C"}, {4, "Page 4"}}).Keep(three, 1, 48);

    // A missing name that moves up is named with its old position.
    const Layout unnamed(3, Names{{1, "A"}}, {1, 17, 40});
    QTest::newRow("names missing, at 2 of 3 at 21")
        << 21 << unnamed << 2
        << Layout(4, Names{{1, "A"}, {2, "Page 2"}, {3, "2"}, {4, "3"}})
               .Keep(unnamed, 1, 21)
               .Move(unnamed, 43, 22, 42);

    QTest::newRow("into no pages")
        << 16 << Layout(0, Names{}) << 1 << Layout(1, Names{{1, "Page 1"}});

    // Hidden pages 2 (no name) and 3 (named) would be overwritten by the new last page: they
    // move up one page, as far as the free page 4; page 5 stays as it was.
    const Layout hidden(1, Names{{1, "A"}, {3, "K3"}}, {1, 16, 17, 33, 40, 65});
    QTest::newRow("hidden pages reached move up")
        << 16 << hidden << 1
        << Layout(2, Names{{1, "Page 1"}, {2, "A"}, {4, "K3"}})
               .Move(hidden, 17, 1, 48)
               .Keep(hidden, 65, 80);
    const Layout apart(2, Names{{1, "A"}, {2, "B"}, {4, "K4"}}, {1, 17, 49});
    QTest::newRow("hidden pages not reached stay")
        << 16 << apart << 2
        << Layout(3, Names{{1, "A"}, {2, "Page 2"}, {3, "B"}, {4, "K4"}})
               .Keep(apart, 1, 16)
               .Move(apart, 33, 17, 16)
               .Keep(apart, 49, 64);
}

void TestPageShift::insertPage() {
    QFETCH(int, perPage);
    QFETCH(Layout, before);
    QFETCH(int, position);
    QFETCH(Layout, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(dir, before);
    TNewIniFile ini(path);

    QVERIFY(InsertPage(ini, position, perPage));

    COMPARE_FILE(path, after);
}

// A page taken out (DeletePage with take) and put in front of another (InsertPage with it), as
// the page-move mode does, 16 buttons per page.
void TestPageShift::movePage_data() {
    QTest::addColumn<Layout>("before");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to"); // the position given to InsertPage, counted after the take
    QTest::addColumn<QString>("name");
    QTest::addColumn<Layout>("after");

    const Layout four(4, Names{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}}, Slots(1, 4, {1, 7, 16}));
    QTest::newRow("page 3 to the front") << four << 3 << 1 << "C"
                                         << Layout(4, Names{{1, "C"}, {2, "A"}, {3, "B"}, {4, "D"}})
                                                .Move(four, 1, 33, 16)
                                                .Move(four, 17, 1, 32)
                                                .Move(four, 49, 49, 16);
    QTest::newRow("page 1 in front of page 4")
        << four << 1 << 3 << "A"
        << Layout(4, Names{{1, "B"}, {2, "C"}, {3, "A"}, {4, "D"}})
               .Move(four, 1, 17, 32)
               .Move(four, 33, 1, 16)
               .Move(four, 49, 49, 16);
    QTest::newRow("page 1 behind the last")
        << four << 1 << 4 << "A"
        << Layout(4, Names{{1, "B"}, {2, "C"}, {3, "D"}, {4, "A"}})
               .Move(four, 1, 17, 48)
               .Move(four, 49, 1, 16);
    QTest::newRow("back where it was") << four << 2 << 2 << "B"
                                       << Layout(4, Names{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}})
                                              .Keep(four, 1, 16)
                                              .Move(four, 17, 17, 48);

    // The moved page is named as its tab showed it.
    const Layout unnamed(3, Names{{1, "A"}, {3, "C"}}, Slots(1, 3, {2}));
    QTest::newRow("page without a name") << unnamed << 2 << 1 << "Page2"
                                         << Layout(3, Names{{1, "Page2"}, {2, "A"}, {3, "C"}})
                                                .Move(unnamed, 1, 17, 16)
                                                .Move(unnamed, 17, 1, 16)
                                                .Move(unnamed, 33, 33, 16);
}

void TestPageShift::movePage() {
    QFETCH(Layout, before);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, name);
    QFETCH(Layout, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(dir, before);
    TNewIniFile ini(path);

    const MovedPage taken = DeletePage(ini, from, 16, true);
    QCOMPARE(taken.name, name);
    QList<ButtonRecord> records;
    for (int n = (from - 1) * 16 + 1; n <= from * 16; ++n)
        records << (before.records.contains(n) ? Stored(before.records[n]) : ButtonRecord());
    QCOMPARE(Describe(taken.records), Describe(records));
    QCOMPARE(ini.ReadInteger("Pages", "Count", -1), before.count - 1);

    QVERIFY(InsertPage(ini, to, 16, &taken));

    COMPARE_FILE(path, after);
}

void TestPageShift::invalidArgumentsChangeNothing_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<Layout>("fixture");

    const Layout three(3, Names{{1, "A"}, {2, "B"}, {3, "C"}}, {1, 17, 33, 49});
    QTest::newRow("delete page 0") << "delete" << 0 << 16 << three;
    QTest::newRow("delete beyond the count") << "delete" << 4 << 16 << three;
    QTest::newRow("take beyond the count") << "take" << 4 << 16 << three;
    QTest::newRow("delete with no pages") << "delete" << 1 << 16 << Layout(0, Names{}, {1});
    QTest::newRow("delete with no buttons per page") << "delete" << 1 << 0 << three;
    QTest::newRow("insert with no buttons per page") << "insert" << 1 << 0 << three;
    QTest::newRow("insert with negative buttons per page") << "insert" << 1 << -16 << three;
    // 6249 pages of 16 reach button 99984; one more page would pass 99999.
    QTest::newRow("insert past the last button number")
        << "insert" << 1 << 16 << Layout(6249, Names{{1, "A"}});
    QTest::newRow("insert where hidden pages would pass it")
        << "insert" << 1 << 16 << Layout(6247, Names{{6248, "K"}, {6249, "K"}});
}

void TestPageShift::invalidArgumentsChangeNothing() {
    QFETCH(QString, operation);
    QFETCH(int, page);
    QFETCH(int, perPage);
    QFETCH(Layout, fixture);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(dir, fixture);
    const QByteArray before = FileBytes(path);
    TNewIniFile ini(path);

    if (operation == QLatin1String("insert"))
        QVERIFY(!InsertPage(ini, page, perPage));
    else
        QVERIFY(!DeletePage(ini, page, perPage, operation == QLatin1String("take")).Taken());

    QCOMPARE(FileBytes(path), before);
}

// A write refused at any point of an operation leaves the file as it was: refused when the
// file is replaced at the end (file size limit), or by a value halfway through.
void TestPageShift::refusedWriteChangesNothing_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::newRow("delete, file size limit") << "delete"
                                             << "size limit";
    QTest::newRow("take, file size limit") << "take"
                                           << "size limit";
    QTest::newRow("insert, file size limit") << "insert"
                                             << "size limit";
    QTest::newRow("put back, file size limit") << "put back"
                                               << "size limit";
    QTest::newRow("delete, a name with NUL moves down") << "delete"
                                                        << "NUL name";
    QTest::newRow("put back, name too long") << "put back"
                                             << "long name";
    QTest::newRow("put back, record with a line break") << "put back"
                                                        << "line break";
}

void TestPageShift::refusedWriteChangesNothing() {
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    Layout fixture(3, Names{{1, "A"}, {2, "B"}, {3, "C"}}, Numbers(1, 48));
    if (fault == QLatin1String("NUL name"))
        fixture.names[3] = QStringLiteral("C") + QChar(0) + QStringLiteral("C");
    MovedPage moved{QStringLiteral("Moved"), {Full(900), ButtonRecord(), Full(901)}};
    if (fault == QLatin1String("long name"))
        moved.name = QString(TNewIniFile::MaxValueLength + 1, u'N');
    if (fault == QLatin1String("line break"))
        moved.records[2].Parameters = QStringLiteral("one\ntwo");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(dir, fixture);
    const QByteArray before = FileBytes(path);
    auto run = [&] {
        TNewIniFile ini(path);
        if (operation == QLatin1String("delete") || operation == QLatin1String("take"))
            DeletePage(ini, 2, 16, operation == QLatin1String("take"));
        else
            InsertPage(ini, 2, 16, operation == QLatin1String("put back") ? &moved : nullptr);
    };
    {
        std::optional<FileSizeLimit> limit;
        if (fault == QLatin1String("size limit"))
            limit.emplace(16);
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, run());
    }

    QCOMPARE(FileBytes(path), before);
    // Nothing of the abandoned operation lingers for later reads either.
    const TNewIniFile ini(path);
    QCOMPARE(ini.ReadInteger("Pages", "Count", -1), 3);
    QCOMPARE(ini.ReadString("Programs", ButtonKey(17), {}), Full(17).Programs);
    QCOMPARE(ini.ReadString("Programs", ButtonKey(33), {}), Full(33).Programs);
    if (fault == QLatin1String("size limit")) { // and without the limit it goes through
        run();
        const bool removes =
            operation == QLatin1String("delete") || operation == QLatin1String("take");
        QCOMPARE(ini.ReadInteger("Pages", "Count", -1), removes ? 2 : 4);
    }
}

void TestPageShift::pageCountFromText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<int>("want");
    QTest::newRow("0") << "0" << 16 << 2;
    QTest::newRow("1") << "1" << 16 << 2;
    QTest::newRow("2") << "2" << 16 << 2;
    QTest::newRow("-5") << "-5" << 16 << 2;
    QTest::newRow("12abc") << "12abc" << 16 << 12;
    QTest::newRow("abc") << "abc" << 16 << 2;
    QTest::newRow("blanks before") << "  7" << 16 << 7;
    QTest::newRow("decimal point") << "3.9" << 21 << 3;
    QTest::newRow("10000000 at 16") << "10000000" << 16 << 6249;
    QTest::newRow("10000000 at 21") << "10000000" << 21 << 4761;
    QTest::newRow("last within the bound") << "4761" << 21 << 4761;
    QTest::newRow("first beyond the bound") << "6250" << 16 << 6249;
    QTest::newRow("beyond the integer range") << "99999999999999999999" << 16 << 6249;
}

void TestPageShift::pageCountFromText() {
    QFETCH(QString, text);
    QFETCH(int, perPage);
    QTEST(PageCountFromText(text, perPage), "want");
}

QTEST_GUILESS_MAIN(TestPageShift)
#include "tst_pageshift.moc"
