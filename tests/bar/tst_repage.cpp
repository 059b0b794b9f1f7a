#include "bar/Repage.h"
#include "settings/ButtonRecord.h"
#include "settings/NewIniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Pages = QList<QStringList>; // per page, the program of each slot ("" = empty)

namespace {

QStringList Seq(const QString &prefix, int first, int last) {
    QStringList list;
    for (int i = first; i <= last; ++i)
        list << prefix + QString::number(i);
    return list;
}

QStringList Gap(int cells) {
    return QStringList(cells, QString());
}

// Every stored record carries a description and a working directory made from its program,
// so a record that moved in pieces shows.
QString About(const QString &program) {
    return QStringLiteral("About ") + program;
}
QString WorkDir(const QString &program) {
    return QStringLiteral("/work/") + program;
}

QString PageTab(int page) {
    return QStringLiteral("PageTab") + QString::number(page);
}

// Records kept beyond the page count: program "h" + number, and an icon index written the way
// another program might have written it.
QString KeptProgram(int number) {
    return QStringLiteral("h") + QString::number(number);
}

QByteArray IniText(int perPage, const QStringList &names, const Pages &pages,
                   const QList<int> &kept = {}) {
    QMap<int, QString> programs;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        for (qsizetype s = 0; s < pages[p].size(); ++s) {
            if (!pages[p][s].isEmpty())
                programs[int(p) * perPage + int(s) + 1] = pages[p][s];
        }
    }
    for (int n : kept)
        programs[n] = KeptProgram(n);

    QStringList lines{"[Location]",
                      "Top=700",
                      QStringLiteral("ButtonCount=%1").arg(perPage),
                      "[Pages]",
                      QStringLiteral("Count=%1").arg(names.size()),
                      "[Tabs]"};
    for (qsizetype p = 0; p < names.size(); ++p)
        lines << PageTab(int(p) + 1) + u'=' + names[p];
    auto section = [&](const char *name, auto value) {
        lines << QStringLiteral("[%1]").arg(QLatin1String(name));
        for (auto it = programs.cbegin(); it != programs.cend(); ++it)
            lines << ButtonKey(it.key()) + u'=' + value(it.value());
    };
    section("Programs", [](const QString &p) { return p; });
    section("Names", About);
    section("Working", WorkDir);
    lines << "[IconSelection]";
    for (int n : kept)
        lines << ButtonKey(n) + QStringLiteral("=0x10");
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QString WriteFixture(const QTemporaryDir &dir, const QByteArray &text) {
    const QString path = dir.filePath(QStringLiteral("OV.INI"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write the fixture");
    return path;
}

QByteArray FileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QString Describe(const QStringList &names, const Pages &pages) {
    QStringList out;
    for (qsizetype p = 0; p < qMax(names.size(), pages.size()); ++p) {
        QStringList cells = pages.value(p);
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        for (QString &s : cells) {
            if (s.isEmpty())
                s = QStringLiteral(".");
        }
        out << names.value(p, QStringLiteral("<none>")) + u'[' + cells.join(u' ') + u']';
    }
    return out.join(u' ');
}

// The pages the file holds, as Describe() writes them.
QString Describe(const TNewIniFile &ini, int perPage) {
    const int count = ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), -1);
    QStringList names;
    Pages pages;
    for (int p = 1; p <= count; ++p) {
        names << ini.ReadString(QStringLiteral("Tabs"), PageTab(p), QStringLiteral("<none>"));
        QStringList cells;
        for (int s = 1; s <= perPage; ++s)
            cells << ini.ReadString(QStringLiteral("Programs"), ButtonKey((p - 1) * perPage + s),
                                    QString());
        pages << cells;
    }
    return QStringLiteral("%1 pages: ").arg(count) + Describe(names, pages);
}

QString Want(const QStringList &names, const Pages &pages) {
    return QStringLiteral("%1 pages: ").arg(names.size()) + Describe(names, pages);
}

// Records 1 .. last that are not whole: a program without its own description and working
// directory, or an empty button with keys left over.
QStringList BrokenRecords(const TNewIniFile &ini, int last) {
    QStringList broken;
    for (int n = 1; n <= last; ++n) {
        const ButtonRecord r = ReadButtonRecord(ini, n);
        if (r.Occupied()) {
            if (r.Names != About(r.Programs) || r.Working != WorkDir(r.Programs))
                broken << ButtonKey(n) + QStringLiteral(" is not whole");
            continue;
        }
        for (const QString &section : ButtonRecordSections()) {
            if (ini.ValueExists(section, ButtonKey(n)))
                broken << ButtonKey(n) + QStringLiteral(" keeps ") + section;
        }
    }
    return broken;
}

// The tab names the bar shows after its rebuild.
QStringList TabNames(const TNewIniFile &ini) {
    QStringList names;
    const int count = ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 20);
    for (int p = 1; p <= count; ++p)
        names << ini.ReadString(QStringLiteral("Tabs"), PageTab(p),
                                QStringLiteral("Page") + QString::number(p));
    return names;
}

} // namespace

class TestRepage : public QObject {
    Q_OBJECT

private slots:
    void roundUp_data();
    void roundUp();
    void repage_data();
    void repage();
    void roundTrip_data();
    void roundTrip();
    void droppedPageMovesNamesUpWithNumberDefaults();
    void addButtonsSpreadsBlocks();
    void keptBeyondPageCount_data();
    void keptBeyondPageCount();
    void refusedWriteLeavesFileUntouched();
    void outOfBoundsCountsLeaveFileUntouched_data();
    void outOfBoundsCountsLeaveFileUntouched();
};

void TestRepage::roundUp_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("want");
    QTest::newRow("21/16") << 21.0 / 16 << 2;
    QTest::newRow("16/21") << 16.0 / 21 << 1;
    QTest::newRow("fraction within tolerance") << 2.0005 << 2;
    QTest::newRow("fraction above tolerance") << 2.002 << 3;
    QTest::newRow("whole") << 1.0 << 1;
    QTest::newRow("32/16") << 32.0 / 16 << 2;
    QTest::newRow("zero") << 0.0 << 0;
}

void TestRepage::roundUp() {
    QFETCH(double, x);
    QFETCH(int, want);
    QCOMPARE(RoundUp(x), want);
}

void TestRepage::repage_data() {
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("newCount");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Pages>("pages");
    QTest::addColumn<QStringList>("wantNames");
    QTest::addColumn<Pages>("wantPages");

    const QStringList a16 = Seq("a", 1, 16);
    QTest::newRow("16->21 same-name pages merge")
        << 16 << 21 << QStringList{"A", "A"} << Pages{a16, Seq("b", 1, 5)} << QStringList{"A"}
        << Pages{a16 + Seq("b", 1, 5)};
    QTest::newRow("16->21 same-name run overflows into a second page")
        << 16 << 21 << QStringList{"A", "A"} << Pages{a16, Seq("b", 1, 10)} << QStringList{"A", "A"}
        << Pages{a16 + Seq("b", 1, 5), Seq("b", 6, 10)};
    QTest::newRow("16->21 run of three")
        << 16 << 21 << QStringList{"A", "A", "A"} << Pages{a16, Seq("b", 1, 16), Seq("c", 1, 16)}
        << QStringList{"A", "A", "A"}
        << Pages{a16 + Seq("b", 1, 5), Seq("b", 6, 16) + Seq("c", 1, 10), Seq("c", 11, 16)};
    QTest::newRow("16->21 empty page inside a run keeps its block")
        << 16 << 21 << QStringList{"A", "A", "A"} << Pages{a16, {}, Seq("c", 1, 16)}
        << QStringList{"A", "A", "A"} << Pages{a16, Gap(11) + Seq("c", 1, 10), Seq("c", 11, 16)};
    QTest::newRow("16->21 page standing alone keeps its slots")
        << 16 << 21 << QStringList{"P", "X", "Q"}
        << Pages{{"p1"}, Seq("x", 1, 11), Gap(15) + QStringList{"q16"}}
        << QStringList{"P", "X", "Q"}
        << Pages{{"p1"}, Seq("x", 1, 11), Gap(15) + QStringList{"q16"}};
    QTest::newRow("16->21 empty page dropped, later pages move up")
        << 16 << 21 << QStringList{"A", "E", "B", "C"}
        << Pages{{"a1"}, {}, {"b1"}, Gap(15) + QStringList{"c16"}} << QStringList{"A", "B", "C"}
        << Pages{{"a1"}, {"b1"}, Gap(15) + QStringList{"c16"}};
    QTest::newRow("16->21 every page empty keeps the first")
        << 16 << 21 << QStringList{"A", "B", "C"} << Pages{{}, {}, {}} << QStringList{"A"}
        << Pages{{}};

    const QStringList a21 = Seq("a", 1, 21);
    QTest::newRow("21->16 full page splits")
        << 21 << 16 << QStringList{"B"} << Pages{Seq("b", 1, 21)} << QStringList{"B", "B"}
        << Pages{Seq("b", 1, 16), Seq("b", 17, 21)};
    QTest::newRow("21->16 twelve buttons stay one page")
        << 21 << 16 << QStringList{"B"} << Pages{Seq("b", 1, 12)} << QStringList{"B"}
        << Pages{Seq("b", 1, 12)};
    QTest::newRow("21->16 only the last slots used")
        << 21 << 16 << QStringList{"B"} << Pages{Gap(16) + Seq("b", 17, 21)} << QStringList{"B"}
        << Pages{Seq("b", 17, 21)};
    QTest::newRow("21->16 empty page dropped, names follow their pages")
        << 21 << 16 << QStringList{"A", "E", "C"} << Pages{a21, {}, Seq("c", 1, 3)}
        << QStringList{"A", "A", "C"} << Pages{Seq("a", 1, 16), Seq("a", 17, 21), Seq("c", 1, 3)};
    QTest::newRow("21->16 same-name pages laid end to end")
        << 21 << 16 << QStringList{"A", "A"} << Pages{a21, Seq("b", 1, 21)}
        << QStringList{"A", "A", "A"}
        << Pages{Seq("a", 1, 16), Seq("a", 17, 21) + Seq("b", 1, 11), Seq("b", 12, 21)};
    QTest::newRow("21->16 every page empty keeps the first")
        << 21 << 16 << QStringList{"A", "B"} << Pages{{}, {}} << QStringList{"A"} << Pages{{}};
}

void TestRepage::repage() {
    QFETCH(int, oldCount);
    QFETCH(int, newCount);
    QFETCH(QStringList, names);
    QFETCH(Pages, pages);
    QFETCH(QStringList, wantNames);
    QFETCH(Pages, wantPages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TNewIniFile ini(WriteFixture(dir, IniText(oldCount, names, pages)));
    RepageButtons(ini, names, oldCount, newCount);

    QCOMPARE(Describe(ini, newCount), Want(wantNames, wantPages));
    QCOMPARE(ini.ReadInteger("Location", "ButtonCount", 0), newCount);
    const int perOldPage = (oldCount + newCount - 1) / newCount;
    const int used = int(names.size()) * qMax(oldCount, perOldPage * newCount);
    const QStringList broken = BrokenRecords(ini, used);
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(", ")));
    if (newCount > oldCount) { // the names of dropped pages are gone
        for (qsizetype p = wantNames.size() + 1; p <= names.size(); ++p)
            QVERIFY2(!ini.ValueExists("Tabs", PageTab(int(p))), qPrintable(PageTab(int(p))));
    }
}

void TestRepage::roundTrip_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Pages>("pages");
    QTest::newRow("distinct names")
        << QStringList{"A", "B", "C"}
        << Pages{Seq("a", 1, 21), Seq("b", 1, 10) + Gap(9) + QStringList{"b20"},
                 Gap(4) + QStringList{"c5"}};
    QTest::newRow("a name used again further on")
        << QStringList{"A", "B", "A"}
        << Pages{Seq("a", 1, 16) + Gap(4) + QStringList{"a21"}, {"b1"}, Seq("c", 1, 21)};
}

// 21 -> 16 -> 21 gives back the same pages and cells, with the tab names the bar reloads in
// between.
void TestRepage::roundTrip() {
    QFETCH(QStringList, names);
    QFETCH(Pages, pages);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TNewIniFile ini(WriteFixture(dir, IniText(21, names, pages)));

    RepageButtons(ini, names, 21, 16);
    RepageButtons(ini, TabNames(ini), 16, 21);

    QCOMPARE(Describe(ini, 21), Want(names, pages));
    const QStringList broken = BrokenRecords(ini, int(names.size()) * 32);
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(", ")));
}

// A name that moves up takes, when its key is missing, the number of the position it moves to;
// a name that does not move is left alone.
void TestRepage::droppedPageMovesNamesUpWithNumberDefaults() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList names{"Page1", "E", "Page3", "C"};
    TNewIniFile ini(WriteFixture(dir, IniText(16, names, Pages{{"a1"}, {}, {"x1"}, {"c1"}})));
    ini.EraseKey("Tabs", PageTab(1));
    ini.EraseKey("Tabs", PageTab(3));

    RepageButtons(ini, names, 16, 21);

    QCOMPARE(ini.ReadInteger("Pages", "Count", 0), 3);
    QVERIFY(!ini.ValueExists("Tabs", PageTab(1)));
    QCOMPARE(ini.ReadString("Tabs", PageTab(2), "<none>"), QStringLiteral("2"));
    QCOMPARE(ini.ReadString("Tabs", PageTab(3), "<none>"), QStringLiteral("C"));
    QVERIFY(!ini.ValueExists("Tabs", PageTab(4)));
    QCOMPARE(ini.ReadString("Programs", ButtonKey(22), {}), QStringLiteral("x1"));
}

void TestRepage::addButtonsSpreadsBlocks() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList names{"A", "A", "B"};
    TNewIniFile ini(WriteFixture(
        dir, IniText(21, names, Pages{Seq("a", 1, 21), Seq("b", 1, 21), Seq("c", 1, 21)})));

    AddButtons(ini, names, 32, 21);

    // The run's second page follows the first; the lone page starts its own block.
    QStringList programs;
    for (int n = 1; n <= 96; ++n)
        programs << ini.ReadString("Programs", ButtonKey(n), {});
    QCOMPARE(programs, Seq("a", 1, 21) + Seq("b", 1, 21) + Gap(22) + Seq("c", 1, 21) + Gap(11));
    QCOMPARE(ini.ReadInteger("Pages", "Count", 0), 3);
    const QStringList broken = BrokenRecords(ini, 96);
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(", ")));
}

void TestRepage::keptBeyondPageCount_data() {
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("newCount");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Pages>("pages");
    QTest::addColumn<QList<int>>("kept"); // numbers of records beyond the page count
    QTest::addColumn<QStringList>("wantNames");
    QTest::addColumn<Pages>("wantPages");
    QTest::addColumn<QList<int>>("wantKept"); // where they are afterwards, in the same order

    QTest::newRow("16->21 dropped page pulls nothing in")
        << 16 << 21 << QStringList{"A", "E"} << Pages{{"a1"}, {}} << QList<int>{43, 100}
        << QStringList{"A"} << Pages{{"a1"}} << QList<int>{43, 100};
    QTest::newRow("21->16 kept records do not make a page")
        << 21 << 16 << QStringList{"A", "E"} << Pages{{"a1"}, {}} << QList<int>{43}
        << QStringList{"A"} << Pages{{"a1"}} << QList<int>{43};
    QTest::newRow("16->21 records the new pages reach move up in step")
        << 16 << 21 << QStringList{"A", "B"} << Pages{Seq("a", 1, 16), Seq("b", 1, 16)}
        << QList<int>{33, 40, 48, 60} << QStringList{"A", "B"}
        << Pages{Seq("a", 1, 16), Seq("b", 1, 16)} << QList<int>{43, 50, 58, 60};
    QTest::newRow("21->16 records the new pages reach move up in step")
        << 21 << 16 << QStringList{"A"} << Pages{Seq("a", 1, 21)} << QList<int>{22, 30, 64}
        << QStringList{"A", "A"} << Pages{Seq("a", 1, 16), Seq("a", 17, 21)}
        << QList<int>{33, 41, 64};
}

void TestRepage::keptBeyondPageCount() {
    QFETCH(int, oldCount);
    QFETCH(int, newCount);
    QFETCH(QStringList, names);
    QFETCH(Pages, pages);
    QFETCH(QList<int>, kept);
    QFETCH(QStringList, wantNames);
    QFETCH(Pages, wantPages);
    QFETCH(QList<int>, wantKept);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TNewIniFile ini(WriteFixture(dir, IniText(oldCount, names, pages, kept)));
    RepageButtons(ini, names, oldCount, newCount);

    QCOMPARE(Describe(ini, newCount), Want(wantNames, wantPages));
    QList<int> found;
    for (int n = int(wantNames.size()) * newCount + 1; n <= 200; ++n) {
        if (ini.ValueExists("Programs", ButtonKey(n)))
            found << n;
    }
    QCOMPARE(found, wantKept);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const QString key = ButtonKey(wantKept[i]);
        QCOMPARE(ini.ReadString("Programs", key, {}), KeptProgram(kept[i]));
        QCOMPARE(ini.ReadString("Names", key, {}), About(KeptProgram(kept[i])));
        // A record left in place is not even rewritten; a moved one is whole.
        QCOMPARE(ini.ReadString("IconSelection", key, {}),
                 wantKept[i] == kept[i] ? QStringLiteral("0x10") : QStringLiteral("16"));
    }
}

// A write refused halfway through (the new name of the second page cannot be stored) leaves
// the file exactly as it was, and later reads see the old layout.
void TestRepage::refusedWriteLeavesFileUntouched() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = WriteFixture(
        dir, IniText(21, QStringList{"A", "B"}, Pages{Seq("a", 1, 21), Seq("b", 1, 21)}));
    const QByteArray before = FileBytes(path);
    TNewIniFile ini(path);
    const QStringList names{"A", QString(TNewIniFile::MaxValueLength + 1, u'B')};

    QVERIFY_THROWS_EXCEPTION(SettingsWriteError, RepageButtons(ini, names, 21, 16));

    QCOMPARE(FileBytes(path), before);
    QCOMPARE(ini.ReadString("Programs", ButtonKey(22), {}), QStringLiteral("b1"));
    QCOMPARE(ini.ReadInteger("Location", "ButtonCount", 0), 21);
}

void TestRepage::outOfBoundsCountsLeaveFileUntouched_data() {
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("newCount");
    QTest::addColumn<int>("pages");
    QTest::newRow("six-digit page size") << 16 << 1'000'000'000 << 2;
    QTest::newRow("no buttons per page") << 0 << 21 << 2;
    QTest::newRow("negative page size") << 21 << -16 << 2;
    QTest::newRow("no pages") << 16 << 21 << 0;
    QTest::newRow("16->21 numbers above 99999") << 16 << 21 << 4762;
    QTest::newRow("21->16 numbers above 99999") << 21 << 16 << 3125;
}

void TestRepage::outOfBoundsCountsLeaveFileUntouched() {
    QFETCH(int, oldCount);
    QFETCH(int, newCount);
    QFETCH(int, pages);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path =
        WriteFixture(dir, IniText(16, QStringList{"A", "B"}, Pages{{"a1"}, {}, {"c1"}}));
    const QByteArray before = FileBytes(path);
    TNewIniFile ini(path);

    RepageButtons(ini, QStringList(pages, QStringLiteral("P")), oldCount, newCount);

    QCOMPARE(FileBytes(path), before);
}

QTEST_GUILESS_MAIN(TestRepage)
#include "tst_repage.moc"
