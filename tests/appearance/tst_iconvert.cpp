// Glyphs and hints of launch buttons on the window with a fake platform: the icon chain, the
// one-time prompt for a missing icon, "Change Icon".
#include "FakePlatform.h"
#include "ProgramValues.h"
#include "ShellIconCases.h"
#include "app/Icons.h"
#include "appearance/Glyph.h"
#include "commandline/CommandLine.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {
const QString kEmptyHint = "Mouse: Left=Load/Launch  Right=Options";
const QString kProgram = "/opt/apps/EDIT.EXE";
const QString kPrompt = "EDIT has no Icon. Select a seperate Icon OR Cancel for default";

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Icons by file: each file holds a number of icons, each of its own colour. The top half of an
// icon is that colour, the bottom half transparent.
class IconShell : public IShell {
public:
    void Add(const QString &file, int count) {
        files.append(file);
        counts.insert(file, count);
    }
    QString FindExecutable(const QString &, QString * = nullptr) override { return QString(); }
    int IconCount(const QString &file) override { return counts.value(file); }
    QIcon ExtractIcon(const QString &file, int index) override {
        if (index < 0 || index >= counts.value(file))
            return QIcon();
        QPixmap icon(32, 32);
        icon.fill(Qt::transparent);
        QPainter(&icon).fillRect(0, 0, 32, 16, Colour(file, index));
        return QIcon(icon);
    }
    QColor Colour(const QString &file, int index) const {
        // Through QRgb: as 8-bit components, as the glyph's pixels are.
        return QColor(QColor::fromHsv(int(files.indexOf(file)) * 47 % 360, 255, 100 + index * 12).rgb());
    }
    QStringList files;
    QHash<QString, int> counts;
};

// Refuses writes of files beyond a size while it lives. Root passes every permission check;
// the file size limit fails writes for root too.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit old{};
    void (*oldHandler)(int);
};

QImage GlyphImage(QToolButton *button) {
    return button->icon().pixmap(kGlyphSize).toImage().convertToFormat(QImage::Format_ARGB32);
}
QColor Face(QToolButton *button) { return button->palette().color(QPalette::Button); }
} // namespace

// A saved place: not a new installation, which would first ask about the import.
// An installed bar: a place of its own and a lockout data file marked as set up, so that
// start-up itself writes nothing.
const QString kInstalled = "[Location]\nTop=100\nUser=tester\n";

class IconVertTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<IconShell> shell;

    std::unique_ptr<TForm1> Start(const QString &ini = "[Pages]\nCount=1\n") {
        fake->WriteIni(kInstalled + ini);
        Platform platform = fake->Get();
        platform.shell = shell.get();
        return std::make_unique<TForm1>(platform);
    }
    TNewIniFile Ini() const { return TNewIniFile(fake->IniPath()); }

    // What the button shows: "file#index" of the icon, "ICON_2", or "none".
    QString Shown(QToolButton *button) const {
        if (button->icon().isNull())
            return "none";
        const QImage glyph = GlyphImage(button);
        if (glyph == MakeGlyph(BuiltInIcon(), Face(button)).toImage().convertToFormat(QImage::Format_ARGB32))
            return "ICON_2";
        for (const QString &file : shell->files)
            for (int i = 0; i < shell->counts.value(file); ++i)
                if (glyph.pixelColor(0, 0) == shell->Colour(file, i))
                    return file + "#" + QString::number(i);
        return "?";
    }

    static ButtonRecord Record(const QString &program, const QString &icons = QString(),
                               int index = 0) {
        ButtonRecord r;
        r.Programs = program;
        r.Icons = icons;
        r.IconSelection = index;
        return r;
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        shell = std::make_unique<IconShell>();
        shell->Add("/usr/bin/edit", 1);
        shell->Add("/icons/one.ico", 1);
        shell->Add("/icons/lib.dll", 12);
        shell->Add("/icons/my icons.ico", 2);
        shell->Add("/docs/readme.txt", 0);
    }
    void cleanup() {
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void hints_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("hint");
        // Windows paths as the bar stores them, quoted: a bare backslash escapes.
        QTest::newRow("name and parameter") << "'C:\\APPS\\EDIT.EXE'" << "NOTES.TXT" << "" << "EDIT NOTES.TXT";
        QTest::newRow("one blank is no parameter") << "'C:\\APPS\\EDIT.EXE'" << " " << "" << "EDIT";
        QTest::newRow("empty parameter") << "'C:\\APPS\\EDIT.EXE'" << "" << "" << "EDIT";
        QTest::newRow("parameter led by blanks") << "'C:\\APPS\\EDIT.EXE'" << "  -n" << "" << "EDIT   -n";
        QTest::newRow("control character parameter") << "/usr/bin/edit" << "\t" << "" << "edit";
        QTest::newRow("description wins") << "'C:\\APPS\\EDIT.EXE'" << "NOTES.TXT" << "Editor" << "Editor";
        QTest::newRow("no extension") << "/usr/bin/edit" << "'my notes.txt'" << "" << "edit 'my notes.txt'";
        QTest::newRow("quoted program") << "'/opt/My Apps/run.sh'" << "" << "" << "run";
        QTest::newRow("dot leads the name") << "/home/u/.profile" << "" << "" << ".profile";
        // No short name and no parameter: the empty-button hint, whatever the description.
        QTest::newRow("no file name") << "/usr/bin/" << "" << "Editor" << kEmptyHint;
        QTest::newRow("empty button") << "" << "" << "Editor" << kEmptyHint;
    }
    void hints() {
        QFETCH(QString, program);
        QFETCH(QString, parameter);
        QFETCH(QString, description);
        auto form = Start();
        if (!program.isEmpty())
            shell->Add(ProgramFile(program), 1); // no prompt: the program gives an icon
        ButtonRecord record = Record(program);
        record.Parameters = parameter;
        record.Names = description;
        form->IconVert(form->FindButton(1), record);
        QTEST(form->FindButton(1)->toolTip(), "hint");
    }

    // A stored program value is a command line: the hint, the icon and the prompt for a
    // missing icon all come from its program file.
    void programValues_data() { programvalues::AddRows("/r"); }
    void programValues() {
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QString, shortName);
        auto form = Start();
        Ini().WriteString("Programs", "SpeedButton1", stored);
        Ini().WriteString("Programs", "SpeedButton2", stored);
        shell->Add(file, 1);
        form->IconVert(form->FindButton(1), Record(stored));
        QCOMPARE(Shown(form->FindButton(1)), file + "#0");
        QCOMPARE(form->FindButton(1)->toolTip(), shortName);

        shell->counts.insert(file, 0); // a program without an icon: asked for one, by its name
        fake->dialogs.ExpectOpenFiles({});
        form->IconVert(form->FindButton(2), Record(stored));
        QCOMPARE(fake->dialogs.shown.value(0),
                 shortName + " has no Icon. Select a seperate Icon OR Cancel for default");
        QCOMPARE(Shown(form->FindButton(2)), QString("ICON_2"));
    }

    // The shell fake gives the answers the real shell gives (tests/platform runs the same
    // table against it): the window tests here rely on them.
    void fakeShellAnswersAsTheRealOne_data() { shellcases::AddRows(); }
    void fakeShellAnswersAsTheRealOne() {
        QFETCH(int, row);
        const shellcases::Case &c = shellcases::Cases()[row];
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        const QString source = shellcases::MakeSource(c, dir.path());
        FakeShell fakeShell;
        shellcases::Describe(fakeShell, c, source);
        shellcases::Check(fakeShell, c, source);
        QDir::setCurrent(before);
    }

    // A button and its glyph: the icon at the top-left corner, its transparent parts and the
    // extra bottom row button face.
    void glyph() {
        auto form = Start();
        QToolButton *button = form->FindButton(1);
        form->IconVert(button, Record("/usr/bin/edit"));
        QCOMPARE(button->iconSize(), QSize(32, 33));
        QCOMPARE(button->icon().availableSizes(), QList<QSize>{QSize(32, 33)});
        const QImage image = GlyphImage(button);
        QCOMPARE(image.size(), QSize(32, 33));
        QCOMPARE(image.pixelColor(0, 0), shell->Colour("/usr/bin/edit", 0));
        QCOMPARE(image.pixelColor(31, 15), shell->Colour("/usr/bin/edit", 0));
        QCOMPARE(image.pixelColor(0, 16), Face(button)); // transparent in the icon
        for (int x = 0; x < 32; ++x)
            QCOMPARE(image.pixelColor(x, 32), Face(button));

        // The built-in icon follows the same rule.
        Ini().WriteString("Icons", "SpeedButton1", "Default");
        form->IconVert(button, Record("/opt/none", "Default"));
        QCOMPARE(Shown(button), QString("ICON_2"));
        const QImage builtIn = GlyphImage(button);
        QCOMPARE(builtIn.size(), QSize(32, 33));
        for (int x = 0; x < 32; ++x)
            QCOMPARE(builtIn.pixelColor(x, 32), Face(button));
    }

    // With all inputs empty a button becomes an empty button again; nothing is asked or written.
    void emptyButton() {
        auto form = Start();
        QToolButton *button = form->FindButton(1);
        ButtonRecord filled = Record("/usr/bin/edit");
        filled.Names = "Editor";
        form->IconVert(button, filled);
        QCOMPARE(Shown(button), QString("/usr/bin/edit#0"));
        const QByteArray before = ReadAll(fake->IniPath());
        form->IconVert(button, ButtonRecord());
        QCOMPARE(Shown(button), QString("none"));
        QCOMPARE(button->toolTip(), kEmptyHint);
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QVERIFY(fake->dialogs.shown.isEmpty());
    }

    // The chain without a prompt: the stored source and index, else the program's first icon,
    // else what the settings file holds. None of these touches the settings file.
    void chain_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("storedIcons"); // "Icons" in the settings file
        QTest::addColumn<QString>("icons");       // the record's
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shown");
        QTest::newRow("source and index") << "/usr/bin/edit" << "/icons/lib.dll" << "/icons/lib.dll" << 3 << "/icons/lib.dll#3";
        QTest::newRow("quoted source") << "/usr/bin/edit" << "" << "'/icons/my icons.ico'" << 1 << "/icons/my icons.ico#1";
        QTest::newRow("no source: program") << "/usr/bin/edit" << "" << "" << 0 << "/usr/bin/edit#0";
        QTest::newRow("source gone: program") << "/usr/bin/edit" << "/gone.ico" << "/gone.ico" << 0 << "/usr/bin/edit#0";
        QTest::newRow("index past the source: program") << "/usr/bin/edit" << "/icons/lib.dll" << "/icons/lib.dll" << 12 << "/usr/bin/edit#0";
        QTest::newRow("marker, program has an icon") << "/usr/bin/edit" << "Default" << "Default" << 0 << "/usr/bin/edit#0";
        QTest::newRow("marker, program has none") << "/opt/none" << "Default" << "Default" << 0 << "ICON_2";
        // A source that gives nothing is kept, not replaced by the marker.
        QTest::newRow("source gone, program has none") << "/opt/none" << "/gone.ico" << "/gone.ico" << 0 << "ICON_2";
        QTest::newRow("source no icon file") << "/opt/none" << "/docs/readme.txt" << "/docs/readme.txt" << 0 << "ICON_2";
        // Without an icon from either, the file's own source is used.
        QTest::newRow("file's source") << "/opt/none" << "/icons/lib.dll" << "" << 2 << "/icons/lib.dll#2";
    }
    void chain() {
        QFETCH(QString, program);
        QFETCH(QString, storedIcons);
        QFETCH(QString, icons);
        QFETCH(int, index);
        auto form = Start();
        if (!storedIcons.isEmpty())
            Ini().WriteString("Icons", "SpeedButton1", storedIcons);
        const QByteArray before = ReadAll(fake->IniPath());
        QToolButton *button = form->FindButton(1);
        form->IconVert(button, Record(program, icons, index));
        QTEST(Shown(button), "shown");
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QVERIFY(fake->dialogs.shown.isEmpty());
    }

    // A program without an icon and no source, outside start-up: one prompt, then the picker
    // for a file with a choice of icons; what was chosen is stored and the next redraw asks
    // nothing.
    void missingIcon_data() {
        QTest::addColumn<QString>("chosen");   // empty: cancelled
        QTest::addColumn<int>("picked");       // -2: no picker; -1: picker closed
        QTest::addColumn<QString>("storedIcons");
        QTest::addColumn<QString>("storedSelection"); // empty: none
        QTest::addColumn<QString>("shown");
        QTest::newRow("cancelled") << "" << -2 << "Default" << "" << "ICON_2";
        QTest::newRow("one icon") << "/icons/one.ico" << -2 << "/icons/one.ico" << "" << "/icons/one.ico#0";
        QTest::newRow("fourth of twelve") << "/icons/lib.dll" << 3 << "/icons/lib.dll" << "3" << "/icons/lib.dll#3";
        QTest::newRow("first of twelve") << "/icons/lib.dll" << 0 << "/icons/lib.dll" << "" << "/icons/lib.dll#0";
        QTest::newRow("picker closed") << "/icons/lib.dll" << -1 << "/icons/lib.dll" << "" << "/icons/lib.dll#0";
        QTest::newRow("blank in the name") << "/icons/my icons.ico" << 1 << "'/icons/my icons.ico'" << "1" << "/icons/my icons.ico#1";
        QTest::newRow("file without icons") << "/docs/readme.txt" << -2 << "/docs/readme.txt" << "" << "ICON_2";
        QTest::newRow("line break in the name") << "/icons/a\nb.ico" << -2 << "Default" << "" << "ICON_2";
    }
    void missingIcon() {
        QFETCH(QString, chosen);
        QFETCH(int, picked);
        QFETCH(QString, storedIcons);
        QFETCH(QString, storedSelection);
        auto form = Start();
        Ini().WriteString("Programs", "SpeedButton1", kProgram);
        fake->dialogs.ExpectOpenFiles(chosen.isEmpty() ? QStringList() : QStringList{chosen});
        if (picked != -2)
            fake->dialogs.ExpectPickIcon(picked < 0 ? std::nullopt : std::optional<int>(picked), chosen);
        QToolButton *button = form->FindButton(1);
        form->IconVert(button, Record(kProgram));
        QCOMPARE(fake->dialogs.shown.value(0), kPrompt);
        QCOMPARE(fake->dialogs.shown.size(), picked == -2 ? 1 : 2);
        QTEST(Shown(button), "shown");
        QCOMPARE(Ini().ReadString("Icons", "SpeedButton1", "absent"), storedIcons);
        QCOMPARE(Ini().ReadString("IconSelection", "SpeedButton1", ""), storedSelection);

        // The next redraw, as from a reload, shows the same and asks nothing.
        form->IconVert(button, ReadButtonRecord(Ini(), 1));
        QTEST(Shown(button), "shown");
        QCOMPARE(fake->dialogs.shown.size(), picked == -2 ? 1 : 2);
    }

    // While the bar loads its buttons nothing is asked: a button without any icon gets the
    // built-in one and the marker; one whose stored source gives nothing keeps its source.
    void loadingNeverAsks() {
        auto form = Start("[Pages]\nCount=1\n[Programs]\nSpeedButton1=/opt/none\n"
                          "SpeedButton2=/opt/other\nSpeedButton3=/usr/bin/edit\n"
                          "[Icons]\nSpeedButton2=/gone.ico\nSpeedButton3=/icons/lib.dll\n"
                          "[IconSelection]\nSpeedButton3=5\n");
        QVERIFY(fake->dialogs.shown.isEmpty());
        QCOMPARE(Shown(form->FindButton(1)), QString("ICON_2"));
        QCOMPARE(Shown(form->FindButton(2)), QString("ICON_2"));
        QCOMPARE(Shown(form->FindButton(3)), QString("/icons/lib.dll#5"));
        QCOMPARE(Ini().ReadString("Icons", "SpeedButton1", ""), QString("Default"));
        QCOMPARE(Ini().ReadString("Icons", "SpeedButton2", ""), QString("/gone.ico"));
        QCOMPARE(form->FindButton(1)->toolTip(), QString("none"));
        QCOMPARE(form->FindButton(4)->toolTip(), kEmptyHint);
        QVERIFY(form->FindButton(4)->icon().isNull());
    }

    // A settings file that refuses the marker does not keep the bar from loading.
    void loadingWithARefusedWrite() {
        const QString text = kInstalled + "[Pages]\nCount=1\n[Programs]\nSpeedButton1=/opt/none\nSpeedButton2=/usr/bin/edit\n";
        fake->WriteIni(text);
        Platform platform = fake->Get();
        platform.shell = shell.get();
        std::unique_ptr<TForm1> form;
        {
            FileSizeLimit limit(16);
            form = std::make_unique<TForm1>(platform);
        }
        QVERIFY(!form->Loading());
        QCOMPARE(Shown(form->FindButton(1)), QString("ICON_2"));
        QCOMPARE(Shown(form->FindButton(2)), QString("/usr/bin/edit#0"));
        QCOMPARE(ReadAll(fake->IniPath()), text.toUtf8());
        QVERIFY(fake->dialogs.shown.isEmpty());
    }

    // "Change Icon" on the current button.
    void changeIcon_data() {
        QTest::addColumn<QString>("chosen");  // empty: cancelled
        QTest::addColumn<int>("picked");      // -2: no picker; -1: picker closed
        QTest::addColumn<QString>("storedIcons");
        QTest::addColumn<QString>("storedSelection");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one icon: selection erased") << "/icons/one.ico" << -2 << "/icons/one.ico" << "" << "/icons/one.ico#0";
        QTest::newRow("fourth of twelve") << "/icons/lib.dll" << 3 << "/icons/lib.dll" << "3" << "/icons/lib.dll#3";
        QTest::newRow("first of twelve") << "/icons/lib.dll" << 0 << "/icons/lib.dll" << "" << "/icons/lib.dll#0";
        QTest::newRow("picker closed") << "/icons/lib.dll" << -1 << "/icons/lib.dll" << "" << "/icons/lib.dll#0";
        QTest::newRow("cancelled") << "" << -2 << "'/icons/my icons.ico'" << "1" << "/icons/my icons.ico#1";
        QTest::newRow("line break in the name") << "/icons/a\nb.ico" << -2 << "'/icons/my icons.ico'" << "1" << "/icons/my icons.ico#1";
    }
    void changeIcon() {
        QFETCH(QString, chosen);
        QFETCH(int, picked);
        auto form = Start("[Pages]\nCount=1\n[Programs]\nSpeedButton1=/usr/bin/edit\n"
                          "[Icons]\nSpeedButton1='/icons/my icons.ico'\n"
                          "[IconSelection]\nSpeedButton1=1\n[Names]\nSpeedButton1=Editor\n");
        QToolButton *button = form->FindButton(1);
        QCOMPARE(Shown(button), QString("/icons/my icons.ico#1"));
        const QByteArray before = ReadAll(fake->IniPath());
        fake->dialogs.ExpectOpenFiles(chosen.isEmpty() ? QStringList() : QStringList{chosen});
        if (picked != -2)
            fake->dialogs.ExpectPickIcon(picked < 0 ? std::nullopt : std::optional<int>(picked), chosen);
        form->KeysKeyDown(Qt::Key_Right); // the keys choose the button the menu acts on
        form->Items().button.ChangeIcon1->trigger();
        QCOMPARE(fake->dialogs.shown.value(0), QString("Please select an Icon"));
        QCOMPARE(fake->dialogs.shown.size(), picked == -2 ? 1 : 2);
        QTEST(Shown(button), "shown");
        QTEST(Ini().ReadString("Icons", "SpeedButton1", ""), "storedIcons");
        QTEST(Ini().ReadString("IconSelection", "SpeedButton1", ""), "storedSelection");
        QCOMPARE(button->toolTip(), QString("Editor"));
        if (chosen.isEmpty() || chosen.contains('\n'))
            QCOMPARE(ReadAll(fake->IniPath()), before);
    }

    void changeIconOnAnEmptyButtonDoesNothing() {
        auto form = Start("[Pages]\nCount=3\n[Programs]\nSpeedButton1=/usr/bin/edit\n"
                          "[Icons]\nSpeedButton2=/icons/lib.dll\n");
        QByteArray before = ReadAll(fake->IniPath());
        form->Items().button.ChangeIcon1->trigger(); // no button chosen yet
        form->KeysKeyDown(Qt::Key_Right);
        form->KeysKeyDown(Qt::Key_Right);
        QCOMPARE(form->CurrentButton(), QString("SpeedButton2"));
        form->Items().button.ChangeIcon1->trigger();
        QVERIFY(fake->dialogs.shown.isEmpty());
        QVERIFY(form->FindButton(2)->icon().isNull());
        QCOMPARE(ReadAll(fake->IniPath()), before);

        // A button gone since it was chosen: its page has been dropped.
        const int onPage3 = 2 * form->ButtonsPerPage() + 1;
        form->TabRow()->setCurrentIndex(2);
        form->KeysKeyDown(Qt::Key_Right);
        QCOMPARE(form->CurrentButton(), ButtonKey(onPage3));
        form->TabCount();
        form->InlineBox()->setText("2");
        form->PageNameKeyDown(Qt::Key_Return);
        QCOMPARE(form->TabRow()->count(), 2);
        QVERIFY(!form->FindButton(onPage3));
        before = ReadAll(fake->IniPath());
        form->Items().button.ChangeIcon1->trigger();
        QVERIFY(fake->dialogs.shown.isEmpty());
        QCOMPARE(ReadAll(fake->IniPath()), before);
    }

    // A refused write: "Change Icon" shows the error box and leaves the file and the button as
    // they were; during a redraw the error reaches the caller.
    void refusedWrites() {
        auto form = Start("[Pages]\nCount=1\n[Programs]\nSpeedButton1=/usr/bin/edit\n"
                          "[Icons]\nSpeedButton1=/icons/lib.dll\n[IconSelection]\nSpeedButton1=4\n");
        QToolButton *button = form->FindButton(1);
        const QByteArray before = ReadAll(fake->IniPath());
        fake->dialogs.ExpectOpenFiles({"/icons/one.ico"});
        fake->dialogs.ExpectError("Unable to write to " + fake->IniPath());
        fake->dialogs.ExpectOpenFiles({});
        form->KeysKeyDown(Qt::Key_Right); // the first button
        bool thrown = false;
        {
            FileSizeLimit limit(16);
            form->Items().button.ChangeIcon1->trigger();
            try {
                form->IconVert(form->FindButton(2), Record("/opt/none"));
            } catch (const SettingsWriteError &) {
                thrown = true;
            }
        }
        QVERIFY(thrown);
        QCOMPARE(ReadAll(fake->IniPath()), before);
        QCOMPARE(Shown(button), QString("/icons/lib.dll#4"));
    }
};

QTEST_MAIN(IconVertTest)
#include "tst_iconvert.moc"
