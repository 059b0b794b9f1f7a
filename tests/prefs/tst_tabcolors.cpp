// The tab row's colours: chosen in the colour dialog, shown, stored with the dialog's custom
// colours and read back; values in the file that are not colours.
#include "FakePlatform.h"
#include "app/Icons.h"
#include "pages/TabSet.h"
#include "prefs/TabColors.h"

#include <QAction>
#include <QFile>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

namespace {
QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

// The scripted dialogs, and what the colour dialog was opened with; `edit` plays the user
// changing custom colours in it before the scripted answer is given.
class ColorDialogs : public FakeDialogs {
public:
    std::optional<QColor> ChooseColor(const QColor &initial, QList<QColor> &custom,
                                      int helpContext) override {
        initials << initial;
        helpTopics << helpContext;
        offered << custom;
        if (edit)
            edit(custom);
        return FakeDialogs::ChooseColor(initial, custom, helpContext);
    }
    void ExpectColor(std::optional<QColor> color) {
        Answer a = Make(Kind::ChooseColor);
        a.color = color;
        script.push_back(a);
    }
    QList<QColor> initials;
    QList<int> helpTopics;
    QList<QList<QColor>> offered;
    std::function<void(QList<QColor> &)> edit;
};

const QString kBar = "[Location]\nTop=100\nButtonCount=16\n[Pages]\nCount=3\n"
                     "[Programs]\nSpeedButton1=/usr/bin/gedit\n";
const QColor kSilver(0xC0, 0xC0, 0xC0), kTeal(0x00, 0x80, 0x80);
} // namespace

class TabColorsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    ColorDialogs dialogs;
    std::unique_ptr<TForm1> form;

    void Start(const QString &ini = kBar) {
        fake->WriteIni(ini);
        Restart();
    }
    void Restart() {
        form.reset();
        Platform platform = fake->Get();
        platform.dialogs = &dialogs;
        form = std::make_unique<TForm1>(platform);
        form->show();
    }
    // The page menu of the second tab, and one of its colour items.
    void Choose(const char *item, std::optional<QColor> answer) {
        dialogs.ExpectPopup(QString::fromLatin1(item));
        dialogs.ExpectColor(answer);
        QTest::mousePress(form->TabRow(), Qt::RightButton, {}, form->TabRow()->tabRect(1).center());
    }
    QString Value(const QString &section, const QString &key) {
        return TNewIniFile(fake->IniPath()).ReadString(section, key, "<none>");
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        dialogs.script.clear();
        dialogs.failures.clear();
        dialogs.initials.clear();
        dialogs.offered.clear();
        dialogs.edit = nullptr;
    }
    void cleanup() {
        form.reset();
        QVERIFY2(dialogs.Unmet().isEmpty(), qPrintable(dialogs.Unmet()));
        fake.reset();
    }

    // A new settings file: sixteen white custom colours offered; dark blue for the unselected
    // tabs is shown at once, stored as 0x800000 with all sixteen custom colours, and back
    // after a restart. The selected tab keeps its colour.
    void unselectedColourStoredAndReadBack() {
        Start();
        QCOMPARE(form->TabRow()->unselectedColor(), kTeal);
        Choose("Change Color of Unselected Tabs", QColor(0, 0, 0x80));
        QCOMPARE(dialogs.initials, QList<QColor>{QColor(Qt::black)});
        QCOMPARE(dialogs.helpTopics, QList<int>{32});
        QCOMPARE(dialogs.offered.value(0), QList<QColor>(16, QColor(Qt::white)));
        QCOMPARE(form->TabRow()->unselectedColor(), QColor(0, 0, 0x80));
        QCOMPARE(form->TabRow()->selectedColor(), kSilver);
        QCOMPARE(Value("Tabs", "UnselectedColor"), QString("8388608"));
        QCOMPARE(Value("Tabs", "SelectedColor"), QString("<none>"));
        for (char letter = 'A'; letter <= 'P'; ++letter)
            QCOMPARE(Value("Colors", QString("Color") + letter), QString("FFFFFF"));
        Restart();
        QCOMPARE(form->TabRow()->unselectedColor(), QColor(0, 0, 0x80));
        QCOMPARE(form->TabRow()->selectedColor(), kSilver);
    }

    // The selected tab's colour is also the one the bar compares with to know whether a page is
    // being renamed: after a change, launch buttons still launch.
    void selectedColourKeepsButtonsWorking() {
        Start();
        Choose("Change Color of Selected Tab", QColor(0x12, 0x34, 0x56));
        QCOMPARE(form->TabRow()->selectedColor(), QColor(0x12, 0x34, 0x56));
        QCOMPARE(form->TabRow()->unselectedColor(), kTeal);
        QCOMPARE(Value("Tabs", "SelectedColor"), QString::number(0x563412));
        QCOMPARE(Value("Tabs", "UnselectedColor"), QString("<none>"));
        QTest::mouseClick(form->FindButton(1), Qt::LeftButton);
        QCOMPARE(fake->processes.started.size(), 1);
        // The dialog opens on the colour chosen last.
        Choose("Change Color of Unselected Tabs", std::nullopt);
        QCOMPARE(dialogs.initials.value(1), QColor(0x12, 0x34, 0x56));
    }

    // Custom colours edited in the dialog are kept, blue first; stored ones are offered.
    void customColours() {
        Start(kBar + "[Colors]\nColorB=0000FF\nColorC=123456\n");
        dialogs.edit = [](QList<QColor> &custom) { custom[4] = QColor(255, 0, 0); };
        Choose("Change Color of Unselected Tabs", QColor(1, 2, 3));
        QList<QColor> offered(16, QColor(Qt::white));
        offered[1] = QColor(255, 0, 0);
        offered[2] = QColor(0x56, 0x34, 0x12);
        QCOMPARE(dialogs.offered.value(0), offered);
        QCOMPARE(Value("Colors", "ColorB"), QString("0000FF"));
        QCOMPARE(Value("Colors", "ColorC"), QString("123456"));
        QCOMPARE(Value("Colors", "ColorE"), QString("0000FF"));
        QCOMPARE(Value("Colors", "ColorA"), QString("FFFFFF"));
    }

    // Cancelling writes nothing, even after custom colours were edited, and shows nothing new.
    void cancelWritesNothing() {
        Start();
        const QByteArray before = ReadAll(fake->IniPath());
        dialogs.edit = [](QList<QColor> &custom) { custom[0] = QColor(255, 0, 0); };
        Choose("Change Color of Selected Tab", std::nullopt);
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QCOMPARE(form->TabRow()->selectedColor(), kSilver);
    }

    // A refused write shows the error and leaves the tab row as the file has it.
    void refusedWrite() {
        // A profile whose name holds a slash cannot be written; the first refusal is its new
        // data file, at start-up.
        fake = std::make_unique<FakePlatform>(nullptr, QStringList{"a/b"});
        dialogs.ExpectError("OVa/b.DAT");
        dialogs.ExpectQuestion("New Orvane Installation", false);
        dialogs.ExpectError("Unable to write to " + fake->IniPath("a/b")); // the page size
        Restart();
        dialogs.ExpectPopup("Change Color of Selected Tab");
        dialogs.ExpectColor(QColor(255, 255, 0));
        dialogs.ExpectError("Unable to write to " + fake->IniPath("a/b"));
        QTest::mousePress(form->TabRow(), Qt::RightButton, {}, form->TabRow()->tabRect(1).center());
        QCOMPARE(form->TabRow()->selectedColor(), kSilver);
        QCOMPARE(form->StoredSelectedColor(), kSilver);
    }

    // Values in the file that are not colours give the defaults; the bar starts.
    void storedValues_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QColor>("unselected");
        QTest::newRow("decimal") << "255" << QColor(255, 0, 0);
        QTest::newRow("hexadecimal") << "0xFF0000" << QColor(0, 0, 255);
        QTest::newRow("negative") << "-1" << kTeal;
        QTest::newRow("beyond a colour") << "16777216" << kTeal;
        QTest::newRow("huge") << "99999999999999999999" << kTeal;
        QTest::newRow("text") << "blue" << kTeal;
        QTest::newRow("empty") << "" << kTeal;
    }
    void storedValues() {
        QFETCH(QString, value);
        QFETCH(QColor, unselected);
        Start(kBar + "[Tabs]\nUnselectedColor=" + value + "\nSelectedColor=" + value + "\n");
        QCOMPARE(form->TabRow()->unselectedColor(), unselected);
        QCOMPARE(form->TabRow()->count(), 3);
        // A click on a button still launches: the selected colour read is the one compared with.
        QTest::mouseClick(form->FindButton(1), Qt::LeftButton);
        QCOMPARE(fake->processes.started.size(), 1);
    }

    void customColourTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        QTest::newRow("red, blue first") << "0000FF" << QColor(255, 0, 0);
        QTest::newRow("lower case") << "ff0000" << QColor(0, 0, 255);
        QTest::newRow("short") << "80" << QColor(0x80, 0, 0);
        QTest::newRow("not hexadecimal") << "GREEN" << QColor(Qt::white);
        QTest::newRow("negative") << "-10" << QColor(Qt::white);
        QTest::newRow("prefixed") << "0x12" << QColor(Qt::white);
        QTest::newRow("beyond a colour") << "1000000" << QColor(Qt::white);
        QTest::newRow("huge") << "FFFFFFFFFFFFFFFF" << QColor(Qt::white);
    }
    void customColourTexts() {
        QFETCH(QString, text);
        QFETCH(QColor, color);
        QCOMPARE(tabcolors::CustomColorFromText(text), color);
        if (color != QColor(Qt::white))
            QCOMPARE(tabcolors::CustomColorFromText(tabcolors::CustomColorText(color)), color);
    }
};

QTEST_MAIN(TabColorsTest)
#include "tst_tabcolors.moc"
