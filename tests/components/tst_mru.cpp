// The recently launched list: ordering and limits, its menu items in every style and position,
// the configuration rules, storage in the settings file and the click event.

#include "RewriteCounter.h"
#include "components/Mru.h"
#include "settings/NewIniFile.h"

#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/inotify.h>
#include <unistd.h>

using Options = TMruList::TMruOptions;

namespace {

const QString kSection = QStringLiteral("MRU");

// "+text" adds, "-text" deselects.
void Apply(TMruList &list, const QStringList &operations) {
    for (const QString &op : operations) {
        if (op.startsWith(u'+'))
            list.AddItem(op.mid(1));
        else
            list.DeselectItem(op.mid(1));
    }
}

// The entries, a selected one followed by "*".
QStringList Described(const TMruList &list) {
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.Item(i) + (list.Selected(i) ? QStringLiteral("*") : QString());
    return out;
}

// What the menu shows: visible items in order, "-" for a line, " [x]" after a checked item.
QStringList Shown(const QMenu *menu) {
    QStringList out;
    if (!menu)
        return out;
    for (const QAction *action : menu->actions()) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator())
            out << QStringLiteral("-");
        else
            out << action->text() + (action->isChecked() ? QStringLiteral(" [x]") : QString());
    }
    return out;
}

QStringList Numbered(const QString &prefix, int from, int to) {
    QStringList out;
    for (int i = from; from <= to ? i <= to : i >= to; i += from <= to ? 1 : -1)
        out << prefix + QString::number(i);
    return out;
}

// Each text added as a launch adds it: the previous entry deselected first.
QStringList Launches(const QStringList &texts) {
    QStringList out;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out << u'-' + texts[i - 1];
        out << u'+' + texts[i];
    }
    return out;
}

void WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A menu "first", "anchor", "last" whose items are owned by a window.
struct MenuFixture {
    QWidget window;
    QMenu *menu = new QMenu(&window);
    QAction *first = menu->addAction(QStringLiteral("first"));
    QAction *anchor = menu->addAction(QStringLiteral("anchor"));
    QAction *last = menu->addAction(QStringLiteral("last"));
};

// A list next to the fixture's anchor, without any file access unless the options ask for it.
std::unique_ptr<TMruList> MakeList(QAction *anchor, Options options,
                                   TMruList::TMruStyle style = TMruList::msNormal,
                                   TMruList::TMruPosition position = TMruList::mpAfter,
                                   int maxShowCount = 9) {
    auto list = std::make_unique<TMruList>();
    list->setAnchor(anchor);
    list->setOptions(options);
    list->setStyle(style);
    list->setPosition(position);
    list->setMaxShowCount(maxShowCount);
    return list;
}

} // namespace

class TestMru : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString IniPath() const { return dir_->filePath(QStringLiteral("OV.INI")); }

    // A list bound to the test's settings file, loaded from it explicitly.
    std::unique_ptr<TMruList> StoredList(Options options = TMruList::mrTopSelected) {
        auto list = std::make_unique<TMruList>();
        list->setOptions(options);
        list->setIniFile(IniPath());
        list->setIniSection(kSection);
        list->LoadFromIni();
        return list;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    // ---- the list ----

    void ordering_data() {
        QTest::addColumn<bool>("topSelected");
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QStringList>("expected");

        const QStringList abcb = Launches({"a", "b", "c", "b"});
        QTest::newRow("top: relaunch moves up") << true << abcb << QStringList{"b*", "c", "a"};
        QTest::newRow("no top: relaunch keeps its place")
            << false << abcb << QStringList{"a", "b*", "c"};
        QTest::newRow("buttons 3, 5, 3")
            << true << Launches({"Editor  |3", "Calc  |5", "Editor  |3"})
            << QStringList{"Editor  |3*", "Calc  |5"};
        QTest::newRow("marks stay until deselected")
            << true << QStringList{"+a", "+b"} << QStringList{"b*", "a*"};
        QTest::newRow("re-add ignores case, keeps the first spelling")
            << true << QStringList{"+Editor  |3", "-Editor  |3", "+Calc  |5", "+EDITOR  |3"}
            << QStringList{"Editor  |3*", "Calc  |5*"};
        QTest::newRow("deselect ignores case")
            << true << QStringList{"+Editor  |3", "-eDITOR  |3"} << QStringList{"Editor  |3"};
        QTest::newRow("deselect of a missing entry")
            << true << QStringList{"+a", "-b", "-"} << QStringList{"a*"};
        // Entries must stay storable: one line, no surrounding blanks (the file trims them).
        QTest::newRow("line breaks become blanks")
            << true << QStringList{"+one\r\ntwo\nthree", QStringLiteral("+nul") + QChar(0) + "x"}
            << QStringList{"nul x*", "one  two three*"};
        QTest::newRow("surrounding blanks go, lookups alike")
            << true << QStringList{"+ \tpadded  ", "-padded", "+padded\n"}
            << QStringList{"padded*"};
        QTest::newRow("empty and blank texts are not added")
            << true << QStringList{"+", "+  ", "+\r\n"} << QStringList{};
    }
    void ordering() {
        QFETCH(bool, topSelected);
        QFETCH(QStringList, operations);
        QFETCH(QStringList, expected);
        TMruList list;
        list.setOptions(topSelected ? Options(TMruList::mrTopSelected) : Options());
        Apply(list, operations);
        QCOMPARE(Described(list), expected);
    }

    void maxSaveCount_data() {
        QTest::addColumn<int>("maxSaveCount");
        QTest::addColumn<bool>("topSelected");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("expected");

        // The main window keeps 30, which holds 31 entries: an entry goes only when a new one
        // comes to a list already longer than 30.
        QTest::newRow("30: 31 launches kept")
            << 30 << true << Numbered("p", 1, 31) << Numbered("p", 31, 1);
        QTest::newRow("30: the 32nd drops the oldest")
            << 30 << true << Numbered("p", 1, 32) << Numbered("p", 32, 2);
        QTest::newRow("30: 40 launches")
            << 30 << true << Numbered("p", 1, 40) << Numbered("p", 40, 10);
        QTest::newRow("re-adding drops nothing")
            << 2 << true << QStringList{"a", "b", "c", "A"} << QStringList{"a", "c", "b"};
        // Without moving to the top the last entry is the newest, so it is the one replaced.
        QTest::newRow("no top: the newest is replaced")
            << 2 << false << QStringList{"a", "b", "c", "d", "e"} << QStringList{"a", "b", "e"};
        QTest::newRow("0 keeps one") << 0 << true << QStringList{"a", "b"} << QStringList{"b"};
    }
    void maxSaveCount() {
        QFETCH(int, maxSaveCount);
        QFETCH(bool, topSelected);
        QFETCH(QStringList, added);
        QFETCH(QStringList, expected);
        TMruList list;
        list.setOptions(topSelected ? Options(TMruList::mrTopSelected) : Options());
        list.setMaxSaveCount(maxSaveCount);
        for (const QString &text : added) {
            list.AddItem(text);
            list.DeselectItem(text);
        }
        QCOMPARE(list.Items(), expected);
    }

    void replaceItem_data() {
        QTest::addColumn<bool>("topSelected");
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QStringList>("expected");

        const QStringList launches = Launches({"a", "Editor  |3", "c"});
        QTest::newRow("moved button goes to the top")
            << true << launches << "EDITOR  |3"
            << "Editor  |20" << QStringList{"Editor  |20*", "c*", "a"};
        QTest::newRow("to the top without mrTopSelected too")
            << false << launches << "a"
            << "x" << QStringList{"x*", "Editor  |3", "c*"};
        QTest::newRow("missing old text: nothing") << true << launches << "Editor  |4"
                                                   << "x" << QStringList{"c*", "Editor  |3", "a"};
        QTest::newRow("first entry") << true << launches << "c"
                                     << "d" << QStringList{"d*", "Editor  |3", "a"};
    }
    void replaceItem() {
        QFETCH(bool, topSelected);
        QFETCH(QStringList, operations);
        QFETCH(QString, oldText);
        QFETCH(QString, newText);
        QFETCH(QStringList, expected);
        TMruList list;
        list.setOptions(topSelected ? Options(TMruList::mrTopSelected) : Options());
        Apply(list, operations);
        list.ReplaceItem(oldText, newText);
        QCOMPARE(Described(list), expected);
    }

    // ---- the menu ----

    void menu_data() {
        QTest::addColumn<TMruList::TMruPosition>("position");
        QTest::addColumn<TMruList::TMruStyle>("style");
        QTest::addColumn<Options>("options");
        QTest::addColumn<int>("maxShowCount");
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QStringList>("submenu");
        QTest::addColumn<bool>("anchorEnabled");

        using L = TMruList;
        const Options top = L::mrTopSelected;
        const QStringList abc = Launches({"a", "b", "c"}); // c (selected), b, a
        const QStringList plain{"first", "anchor", "last"};

        QTest::newRow("after, normal, numbered, line before")
            << L::mpAfter << L::msNormal << (top | L::mrLineBefore | L::mrShowNumber) << 9 << abc
            << QStringList{"first", "anchor", "-", "&1  c", "&2  b", "&3  a", "last"}
            << QStringList{} << true;
        QTest::newRow("before, hide selected, both lines")
            << L::mpBefore << L::msHideSelected << (top | L::mrLineBefore | L::mrLineAfter) << 9
            << abc << QStringList{"first", "-", "b", "a", "-", "anchor", "last"} << QStringList{}
            << true;
        QTest::newRow("new menu, check selected, line after")
            << L::mpNewMenu << L::msCheckSelected << (top | L::mrShowNumber | L::mrLineAfter) << 9
            << abc << plain << QStringList{"&1  c [x]", "&2  b", "&3  a", "-"} << true;
        QTest::newRow("numbers count shown items")
            << L::mpAfter << L::msHideSelected << (top | L::mrShowNumber) << 9 << abc
            << QStringList{"first", "anchor", "&1  b", "&2  a", "last"} << QStringList{} << true;
        QTest::newRow("show count limits the items")
            << L::mpBefore << L::msNormal << top << 2 << abc
            << QStringList{"first", "c", "b", "anchor", "last"} << QStringList{} << true;
        QTest::newRow("main window: 15 of 20 after a line")
            << L::mpAfter << L::msNormal << (top | L::mrLineBefore) << 15
            << Launches(Numbered("Prog  |", 1, 20))
            << QStringList{"first", "anchor", "-"} + Numbered("Prog  |", 20, 6) +
                   QStringList{"last"}
            << QStringList{} << true;
        QTest::newRow("empty: lines hidden")
            << L::mpAfter << L::msNormal << (top | L::mrLineBefore | L::mrLineAfter) << 9
            << QStringList{} << plain << QStringList{} << true;
        QTest::newRow("only the hidden selected: lines hidden")
            << L::mpAfter << L::msHideSelected << (top | L::mrLineBefore) << 9 << QStringList{"+a"}
            << plain << QStringList{} << true;
        QTest::newRow("short file names")
            << L::mpAfter << L::msNormal << (top | L::mrShortFileNames) << 9
            << QStringList{"+/opt/tools/editor.sh", "+'/opt/my tools/calc'"}
            << QStringList{"first", "anchor", "calc", "editor.sh", "last"} << QStringList{} << true;
        // An entry's "&" is its own text, not a menu mnemonic: shown as it is.
        QTest::newRow("ampersands shown as typed")
            << L::mpAfter << L::msNormal << (top | L::mrShowNumber) << 9
            << QStringList{"+R&D tools  |3", "+Tom & Jerry  |1"}
            << QStringList{"first", "anchor", "&1  Tom && Jerry  |1", "&2  R&&D tools  |3", "last"}
            << QStringList{} << true;
        QTest::newRow("ampersands of short file names")
            << L::mpAfter << L::msNormal << (top | L::mrShortFileNames) << 9
            << QStringList{"+/opt/a&b/c&d"} << QStringList{"first", "anchor", "c&&d", "last"}
            << QStringList{} << true;
        QTest::newRow("disable anchor while empty")
            << L::mpAfter << L::msHideSelected << (top | L::mrDisableAnchorIfEmpty) << 9
            << QStringList{"+a"} << plain << QStringList{} << false;
        QTest::newRow("enable anchor once filled")
            << L::mpAfter << L::msNormal << (top | L::mrDisableAnchorIfEmpty) << 9
            << QStringList{"+a"} << QStringList{"first", "anchor", "a", "last"} << QStringList{}
            << true;
        // A hidden action also reports itself disabled.
        QTest::newRow("hide anchor while empty")
            << L::mpAfter << L::msNormal << (top | L::mrHideAnchorIfEmpty) << 9 << QStringList{}
            << QStringList{"first", "last"} << QStringList{} << false;
        QTest::newRow("show anchor once filled")
            << L::mpNewMenu << L::msNormal << (top | L::mrHideAnchorIfEmpty) << 9
            << QStringList{"+a"} << plain << QStringList{"a"} << true;
        QTest::newRow("new menu, empty: anchor disabled, hidden")
            << L::mpNewMenu << L::msNormal
            << (top | L::mrDisableAnchorIfEmpty | L::mrHideAnchorIfEmpty) << 9 << QStringList{}
            << QStringList{"first", "last"} << QStringList{} << false;
    }
    void menu() {
        QFETCH(TMruList::TMruPosition, position);
        QFETCH(TMruList::TMruStyle, style);
        QFETCH(Options, options);
        QFETCH(int, maxShowCount);
        QFETCH(QStringList, operations);
        MenuFixture f;
        auto list = MakeList(f.anchor, options, style, position, maxShowCount);
        list->Loaded();
        Apply(*list, operations);
        QTEST(Shown(f.menu), "menu");
        QTEST(Shown(f.anchor->menu<QMenu *>()), "submenu");
        QTEST(f.anchor->isEnabled(), "anchorEnabled");
        QCOMPARE(list->MenuItems().size(), maxShowCount);
        // Every change is shown at once; a rebuild changes nothing more.
        const QStringList before = Shown(f.menu) + Shown(f.anchor->menu<QMenu *>());
        list->RebuildMenu();
        QCOMPARE(Shown(f.menu) + Shown(f.anchor->menu<QMenu *>()), before);
    }

    void itemNames() {
        MenuFixture f;
        const Options lines = TMruList::mrLineBefore | TMruList::mrLineAfter;
        auto one = MakeList(f.anchor, lines, TMruList::msNormal, TMruList::mpAfter, 3);
        auto two = MakeList(f.anchor, lines, TMruList::msNormal, TMruList::mpBefore, 3);
        one->Loaded();
        two->Loaded();
        QVERIFY(one->UniqueNumber() != two->UniqueNumber());

        QStringList names;
        for (const QAction *action : f.menu->actions())
            names << action->objectName();
        const QString p = u'_' + QString::number(one->UniqueNumber());
        const QString q = u'_' + QString::number(two->UniqueNumber());
        QCOMPARE(names, (QStringList{"", q + "A", q + "0", q + "1", q + "2", q + "P", "", p + "A",
                                     p + "0", p + "1", p + "2", p + "P", ""}));

        // The items go with the list; the menu is as it was.
        one.reset();
        two.reset();
        QCOMPARE(f.menu->actions(), (QList<QAction *>{f.first, f.anchor, f.last}));
    }

    void clickReportsEntryText() {
        MenuFixture f;
        auto list = MakeList(f.anchor, TMruList::mrTopSelected | TMruList::mrShowNumber,
                             TMruList::msHideSelected);
        list->Loaded();
        Apply(*list, Launches({"a", "b", "c"})); // shown: "&1  b", "&2  a"
        QString previous = QStringLiteral("c");
        QStringList clicked;
        list->OnMruClick = [&](TMruList *sender, const QString &item) {
            QCOMPARE(sender, list.get());
            clicked << item;
            // What the main window does: the clicked entry becomes the last launched one.
            sender->DeselectItem(previous);
            sender->AddItem(item);
            previous = item;
        };
        list->MenuItems()[0]->trigger();
        QCOMPARE(clicked, QStringList{"b"});
        QCOMPARE(Described(*list), (QStringList{"b*", "c", "a"}));
        QCOMPARE(Shown(f.menu), (QStringList{"first", "anchor", "&1  c", "&2  a", "last"}));
        list->MenuItems()[1]->trigger();
        QCOMPARE(clicked, (QStringList{"b", "a"}));

        // A hidden item reports nothing; without a handler a click does nothing.
        list->MenuItems()[5]->trigger();
        QCOMPARE(clicked.size(), 2);
        list->OnMruClick = nullptr;
        list->MenuItems()[0]->trigger();
    }

    void clickKeepsCheckMark() {
        MenuFixture f;
        auto list = MakeList(f.anchor, TMruList::mrTopSelected, TMruList::msCheckSelected,
                             TMruList::mpNewMenu);
        list->Loaded();
        Apply(*list, {"+/usr/bin/editor", "-/usr/bin/editor", "+/usr/bin/calc"});
        QString reported;
        list->OnMruClick = [&](TMruList *, const QString &item) { reported = item; };
        list->MenuItems()[0]->trigger();
        QCOMPARE(reported, QStringLiteral("/usr/bin/calc"));
        QCOMPARE(Shown(f.anchor->menu<QMenu *>()),
                 (QStringList{"/usr/bin/calc [x]", "/usr/bin/editor"}));
    }

    // ---- configuration ----

    void designOnly_data() {
        QTest::addColumn<QString>("property");
        for (const char *name : {"Options", "Style", "Position", "Anchor", "MaxShowCount"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void designOnly() {
        QFETCH(QString, property);
        MenuFixture f;
        auto list = MakeList(f.anchor, TMruList::mrTopSelected);
        auto set = [&] {
            if (property == u"Options")
                list->setOptions(TMruList::mrLineAfter);
            else if (property == u"Style")
                list->setStyle(TMruList::msCheckSelected);
            else if (property == u"Position")
                list->setPosition(TMruList::mpBefore);
            else if (property == u"Anchor")
                list->setAnchor(f.first);
            else
                list->setMaxShowCount(2);
        };
        set(); // configuring
        list->Loaded();
        try {
            set();
            QFAIL("set after Loaded()");
        } catch (const TMruListError &error) {
            QCOMPARE(error.Message(), QStringLiteral("Operation ist nur im Design-Modus möglich!"));
            QCOMPARE(QString::fromUtf8(error.what()), error.Message());
        }
        // Through the meta-object too: it is the same setter.
        QVERIFY_THROWS_EXCEPTION(
            TMruListError,
            list->setProperty(property.toLatin1(), list->property(property.toLatin1())));

        // Configuring again makes the items anew.
        list->Loading();
        set();
        list->Loaded();
        list->AddItem(QStringLiteral("x"));
        QCOMPARE(list->MenuItems().size(), property == u"MaxShowCount" ? 2 : 9);
        QCOMPARE(f.menu->actions().size(),
                 3 + list->MenuItems().size() + (list->Options() & TMruList::mrLineAfter ? 1 : 0));
    }

    void anytimeProperties() {
        MenuFixture f;
        auto list = MakeList(f.anchor, TMruList::mrTopSelected);
        list->Loaded();
        list->setMaxSaveCount(3);
        list->setIniFile(IniPath());
        list->setIniSection(kSection);
        QCOMPARE(list->MaxSaveCount(), 3);
        QVERIFY(!list->IsLoading());
    }

    void invalidAnchor_data() {
        QTest::addColumn<QString>("anchorKind");
        QTest::addColumn<TMruList::TMruPosition>("position");
        QTest::addColumn<bool>("valid");
        QTest::newRow("none") << "none" << TMruList::mpAfter << false;
        QTest::newRow("none, new menu") << "none" << TMruList::mpNewMenu << false;
        QTest::newRow("no owner") << "orphan" << TMruList::mpAfter << false;
        QTest::newRow("in no menu, after") << "loose" << TMruList::mpAfter << false;
        QTest::newRow("in no menu, before") << "loose" << TMruList::mpBefore << false;
        QTest::newRow("in no menu, new menu") << "loose" << TMruList::mpNewMenu << true;
        QTest::newRow("in a menu, new menu") << "menu" << TMruList::mpNewMenu << true;
    }
    void invalidAnchor() {
        QFETCH(QString, anchorKind);
        QFETCH(TMruList::TMruPosition, position);
        QFETCH(bool, valid);
        MenuFixture f;
        QAction orphan(QStringLiteral("orphan"));
        f.menu->addAction(&orphan);
        QAction *loose = new QAction(QStringLiteral("loose"), &f.window);
        QAction *anchor = anchorKind == u"none"     ? nullptr
                          : anchorKind == u"orphan" ? &orphan
                          : anchorKind == u"loose"  ? loose
                                                    : f.anchor;
        auto list = MakeList(anchor, TMruList::mrTopSelected | TMruList::mrLineBefore,
                             TMruList::msNormal, position);
        const QList<QAction *> menuBefore = f.menu->actions();
        try {
            list->Loaded();
            QVERIFY(valid);
        } catch (const TMruListError &error) {
            QVERIFY2(!valid, error.what());
            QCOMPARE(error.Message(), QStringLiteral("Invalid Anchor!"));
        }
        QVERIFY(!list->IsLoading());
        list->AddItem(QStringLiteral("a"));
        QCOMPARE(list->Items(), QStringList{"a"});
        if (valid) {
            QCOMPARE(Shown(anchor->menu<QMenu *>()), (QStringList{"-", "a"}));
        } else {
            QVERIFY(list->MenuItems().isEmpty());
            QCOMPARE(f.menu->actions(), menuBefore);
        }
    }

    // ---- storage ----

    void saveThenLoad() {
        WriteFile(IniPath(), "[Other]\nKey=1\n[mru]\nCount=2\n1=old\n7=stale\nFoo=bar\n"
                             "[After]\nX=2\n");
        auto list = StoredList();
        QCOMPARE(list->Items(), QStringList{"old"});

        const QString longText = QString(1500, u'x');
        for (const QString &text :
             {QStringLiteral("Editor  |3"), QStringLiteral("a=b;c [d]"),
              QStringLiteral("two\nlines"), longText, QStringLiteral("Ünïcode  |7")})
            list->AddItem(text);
        list->DeselectItem(QStringLiteral("old"));
        const QStringList expected{"Ünïcode  |7", QString(1023, u'x'), "two lines",
                                   "a=b;c [d]",   "Editor  |3",        "old"};
        QCOMPARE(list->Items(), expected);

        RewriteCounter rewrites(dir_->path() + QStringLiteral("/OV.INI"), false);
        list->SaveToIni();
        QCOMPARE(rewrites.Count(), 1); // erase, count and entries land as one rewrite

        // Saved after every change: a save that changes nothing stored costs no rewrite, even
        // with the section no longer last in the file.
        TNewIniFile(IniPath()).WriteString(QStringLiteral("Later"), QStringLiteral("K"), "v");
        const int afterLater = rewrites.Count();
        list->DeselectItem(expected[0]);
        list->AddItem(expected[0]);
        list->SaveToIni();
        QCOMPARE(rewrites.Count(), afterLater);

        const TNewIniFile ini(IniPath());
        QCOMPARE(ini.ReadInteger(kSection, QStringLiteral("Count"), -1), int(expected.size()));
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(ini.ReadString(kSection, QString::number(i + 1), QString()), expected[i]);
        for (const char *gone : {"7", "Foo"})
            QVERIFY2(!ini.ValueExists(kSection, QLatin1String(gone)), gone);
        QCOMPARE(ini.ReadString(QStringLiteral("Other"), QStringLiteral("Key"), QString()),
                 QStringLiteral("1"));
        QCOMPARE(ini.ReadString(QStringLiteral("After"), QStringLiteral("X"), QString()),
                 QStringLiteral("2"));

        auto again = StoredList();
        QCOMPARE(Described(*again), expected); // the marks are not stored
    }

    void saveEmptyList() {
        WriteFile(IniPath(), "[MRU]\nCount=2\n1=a\n2=b\n");
        auto list = StoredList();
        list->Clear();
        list->SaveToIni();
        const TNewIniFile ini(IniPath());
        QCOMPARE(ini.ReadInteger(kSection, QStringLiteral("Count"), -1), 0);
        QVERIFY(!ini.ValueExists(kSection, QStringLiteral("1")));
    }

    void loadOnlyExistingKeys_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("count far beyond the keys")
            << QByteArray("[MRU]\nCount=10000000\n1=a\n2=b\n5=e\n9999999=y\n20000000=z\n")
            << QStringList{"a", "b", "e", "y"};
        QTest::newRow("largest count")
            << QByteArray("[MRU]\nCount=2147483647\n2147483647=z\n") << QStringList{"z"};
        QTest::newRow("count below the keys")
            << QByteArray("[MRU]\nCount=2\n1=a\n2=b\n3=c\n") << QStringList{"a", "b"};
        QTest::newRow("keys out of order")
            << QByteArray("[MRU]\nCount=3\n3=c\n1=a\n2=b\n") << QStringList{"a", "b", "c"};
        QTest::newRow("empty and missing skipped")
            << QByteArray("[MRU]\nCount=4\n1=a\n2=\n4=d\n") << QStringList{"a", "d"};
        QTest::newRow("names as written, blanks trimmed")
            << QByteArray("[MRU]\nCount=3\n01=x\n+2=y\n1=a\n\t3 =  c \n") << QStringList{"a", "c"};
        QTest::newRow("comments and stray lines")
            << QByteArray("[MRU]\nCount=4\n1=a\n;2=x\njunk\n=4\n3=c\n") << QStringList{"a", "c"};
        QTest::newRow("first of duplicate sections")
            << QByteArray("[MRU]\nCount=3\n1=a\n[ mru ]\n2=b\n3=c\n") << QStringList{"a"};
        QTest::newRow("CR LF and a gap")
            << QByteArray("[Other]\r\n5=no\r\n[MRU]\r\nCount=9\r\n1=a\r\n5=e\r\n[X]\r\n6=no\r\n")
            << QStringList{"a", "e"};
        QTest::newRow("hexadecimal count")
            << QByteArray("[MRU]\nCount=0x3\n1=a\n2=b\n3=c\n") << QStringList{"a", "b", "c"};
        QTest::newRow("no count") << QByteArray("[MRU]\n1=a\n") << QStringList{};
        QTest::newRow("unreadable count")
            << QByteArray("[MRU]\nCount=many\n1=a\n") << QStringList{};
        QTest::newRow("negative count") << QByteArray("[MRU]\nCount=-3\n1=a\n") << QStringList{};
        QTest::newRow("no section") << QByteArray("[Other]\nCount=3\n1=a\n") << QStringList{};
    }
    void loadOnlyExistingKeys() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        WriteFile(IniPath(), file);
        auto list = StoredList(Options());
        list->AddItem(QStringLiteral("forgotten")); // loading replaces the list
        list->LoadFromIni();
        QCOMPARE(Described(*list), expected);
    }

    // The list is as long as the file made it; adding keeps that length.
    void loadIgnoresMaxSaveCount() {
        QByteArray file = "[MRU]\nCount=40\n";
        for (int i = 1; i <= 40; ++i)
            file += QByteArray::number(i) + "=p" + QByteArray::number(i) + "\n";
        WriteFile(IniPath(), file);
        auto list = StoredList();
        list->setMaxSaveCount(30);
        list->LoadFromIni();
        QCOMPARE(list->Count(), 40);
        list->AddItem(QStringLiteral("new"));
        QCOMPARE(list->Count(), 40);
        QCOMPARE(list->Item(0), QStringLiteral("new"));
        QCOMPARE(list->Item(39), QStringLiteral("p39"));
    }

    void checkFileExist() {
        const QString tool = dir_->filePath(QStringLiteral("tool.sh"));
        const QString spaced = dir_->filePath(QStringLiteral("my tool"));
        WriteFile(tool, "#!/bin/sh\n");
        WriteFile(spaced, "#!/bin/sh\n");
        const QString missing = dir_->filePath(QStringLiteral("missing"));
        const QString quoted = u'\'' + spaced + u'\'';
        WriteFile(IniPath(), QStringLiteral("[MRU]\nCount=4\n1=%1\n2=%2\n3=%3\n4=%4\n")
                                 .arg(tool, missing, dir_->path(), quoted)
                                 .toUtf8());

        MenuFixture f;
        auto list = MakeList(f.anchor, TMruList::mrCheckFileExist | TMruList::mrShortFileNames |
                                           TMruList::mrAutoLoad);
        list->setIniFile(IniPath());
        list->setIniSection(kSection);
        list->Loaded();
        QCOMPARE(list->Items(), (QStringList{tool, quoted})); // no missing file, no directory
        QCOMPARE(Shown(f.menu), (QStringList{"first", "anchor", "tool.sh", "my tool", "last"}));

        // An added missing file stays in the list but is not shown.
        list->AddItem(missing);
        QCOMPARE(list->Items(), (QStringList{tool, quoted, missing}));
        QCOMPARE(Shown(f.menu), (QStringList{"first", "anchor", "tool.sh", "my tool", "last"}));
    }

    void autoLoadAndSave() {
        WriteFile(IniPath(), "[MRU]\nCount=2\n1=a\n2=b\n");
        MenuFixture f;
        auto list = MakeList(f.anchor,
                             TMruList::mrTopSelected | TMruList::mrAutoLoad | TMruList::mrAutoSave);
        list->setIniSection(kSection);
        list->setIniFile(IniPath()); // configuring: not yet loaded
        QVERIFY(list->Items().isEmpty());
        list->Loaded();
        QCOMPARE(list->Items(), (QStringList{"a", "b"}));
        QCOMPARE(Shown(f.menu), (QStringList{"first", "anchor", "a", "b", "last"}));

        // Setting the same file again reloads: the list follows an emptied section.
        list->AddItem(QStringLiteral("c"));
        TNewIniFile(IniPath()).EraseSection(kSection);
        list->setIniFile(IniPath());
        QVERIFY(list->Items().isEmpty());
        QCOMPARE(Shown(f.menu), (QStringList{"first", "anchor", "last"}));

        // Another section of the file.
        TNewIniFile(IniPath()).WriteString(QStringLiteral("Old"), QStringLiteral("Count"), "1");
        TNewIniFile(IniPath()).WriteString(QStringLiteral("Old"), QStringLiteral("1"), "z");
        list->setIniSection(QStringLiteral("Old"));
        QCOMPARE(list->Items(), QStringList{"z"});

        // Destroyed: saved.
        list->AddItem(QStringLiteral("y"));
        list.reset();
        QCOMPARE(TNewIniFile(IniPath()).ReadString(QStringLiteral("Old"), QStringLiteral("1"), {}),
                 QStringLiteral("y"));
    }

    void noAutoSaveWithoutOption() {
        WriteFile(IniPath(), "[MRU]\nCount=1\n1=a\n");
        auto list = StoredList(TMruList::mrTopSelected);
        list->AddItem(QStringLiteral("b"));
        list.reset();
        QCOMPARE(TNewIniFile(IniPath()).ReadInteger(kSection, QStringLiteral("Count"), -1), 1);
    }

    void refusedSave() {
        // A settings file under a regular file cannot be written.
        const QString blocker = dir_->filePath(QStringLiteral("blocker"));
        WriteFile(blocker, "");
        auto list = std::make_unique<TMruList>();
        list->setOptions(TMruList::mrAutoSave);
        list->setIniFile(blocker + QStringLiteral("/OV.INI"));
        list->setIniSection(kSection);
        list->AddItem(QStringLiteral("a"));
        try {
            list->SaveToIni();
            QFAIL("saved under a regular file");
        } catch (const SettingsWriteError &error) {
            QVERIFY(QString::fromUtf8(error.what()).startsWith("Unable to write to "));
        }
        list.reset(); // the save on destruction fails quietly
    }

    void noSectionNoFile() {
        auto list = std::make_unique<TMruList>();
        list->setIniFile(IniPath());
        list->AddItem(QStringLiteral("a"));
        list->SaveToIni();
        list->LoadFromIni();
        QCOMPARE(list->Items(), QStringList{"a"});
        list.reset(); // auto save, no section
        QVERIFY(!QFile::exists(IniPath()));
    }
};

QTEST_MAIN(TestMru)
#include "tst_mru.moc"
