// Files dropped on the bar, with synthesized drop events: which button a drop finds, an empty
// button taking the first file, a configured button started with all of them.
#include "FakePlatform.h"
#include "app/Icons.h"
#include "components/SheLink.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <memory>

// The scripted dialogs, telling also the caption of the boxes that bring their own.
class CaptionedDialogs : public FakeDialogs {
public:
    QStringList captions;
    void ErrorBox(const QString &caption, const QString &text) override {
        captions << caption;
        Error(text);
    }
};

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DropsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    void Start(const QString &extra, int n = 16) {
        fake->WriteIni(QString("[Location]\nTop=100\nButtonCount=%1\n[Pages]\nCount=2\n").arg(n) + extra);
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
    }
    void Drop(const QStringList &files, const QPoint &at, const QList<QUrl> &extraUrls = {}) {
        QList<QUrl> urls;
        for (const QString &f : files)
            urls << QUrl::fromLocalFile(f);
        urls += extraUrls;
        QMimeData data;
        data.setUrls(urls);
        // The application delivers drop events only during a real drag; hand the synthesized
        // ones to the window's own event handling instead.
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(form.get())->event(&enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(form.get())->event(&drop);
    }
    // The middle of slot k's column, in window coordinates, at the height of the tab row.
    static QPoint Column(int k) { return QPoint(44 + 36 * (k - 1) + 18, 45); }
    QString Value(const QString &section, const QString &key) {
        return TNewIniFile(fake->IniPath()).ReadString(section, key, "<none>");
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        fake->shell.associations = {{"/docs/letter.txt", "/usr/bin/gedit"}, {"/usr/bin/gimp", "/usr/bin/gimp"}};
        fake->shell.iconCounts = {{"/usr/bin/gedit", 1}, {"/usr/bin/gimp", 1}};
    }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void emptyButtonTakesTheFirstFile_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("parameter");
        QTest::newRow("a document") << QStringList{"/docs/letter.txt"} << "/usr/bin/gedit" << "/docs/letter.txt";
        QTest::newRow("a program") << QStringList{"/usr/bin/gimp"} << "/usr/bin/gimp" << "<none>";
        QTest::newRow("several files") << QStringList{"/usr/bin/gimp", "/docs/letter.txt"} << "/usr/bin/gimp" << "<none>";
    }
    void emptyButtonTakesTheFirstFile() {
        QFETCH(QStringList, files);
        Start("");
        form->TabRow()->setCurrentIndex(1);
        Drop(files, Column(3));
        QTEST(Value("Programs", "SpeedButton19"), "program");
        QTEST(Value("Parameters", "SpeedButton19"), "parameter");
        QVERIFY(fake->processes.started.isEmpty());
    }

    void configuredButtonStartsWithAllFiles() {
        Start("[Programs]\nSpeedButton2=/usr/bin/gedit\n[Parameters]\nSpeedButton2=unused\n"
              "[Working]\nSpeedButton2=/tmp\n[Shrink]\nSpeedButton2=No\n");
        QStringList files{"/docs/a.txt", "/docs/b c.txt", "/docs/$(x).txt"};
        Drop(files, Column(2), {QUrl("https://example.invalid/x")}); // not a local file: left out
        QCOMPARE(fake->processes.started.value(0).commandLine,
                 QString("/usr/bin/gedit  /docs/a.txt '/docs/b c.txt' '/docs/$(x).txt'"));
        QCOMPARE(fake->processes.started.value(0).directory, QString("/tmp"));
        QCOMPARE(form->Launching().lastEntry, QString("gedit  |2"));
        QCOMPARE(Value("Parameters", "SpeedButton2"), QString("unused"));
    }

    void hundredsOfFiles() {
        Start("[Programs]\nSpeedButton1=/usr/bin/gedit\n");
        QStringList files;
        for (int i = 0; i < 500; ++i)
            files << QString("/docs/file %1.txt").arg(i);
        Drop(files, Column(1));
        const QString line = fake->processes.started.value(0).commandLine;
        QVERIFY(line.endsWith("'/docs/file 499.txt'"));
        QCOMPARE(line.count("'/docs/file "), 500);
    }

    void ignoredDrops_data() {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("over the gauge") << QPoint(20, 10);
        QTest::newRow("past the last button") << QPoint(44 + 16 * 36 + 3, 10);
    }
    void ignoredDrops() {
        QFETCH(QPoint, at);
        Start("");
        Drop({"/docs/letter.txt"}, at);
        QVERIFY(!TNewIniFile(fake->IniPath()).SectionExists("Programs"));
    }

    void lineBreakInTheName() {
        Start("");
        fake->dialogs.ExpectMessage("line break");
        Drop({"/docs/a\nb.txt"}, Column(1));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("<none>"));
    }

    void shortcuts() {
        // A Windows shortcut (no Wine prefix here: the target stays as stored) and a desktop entry.
        qputenv("WINEPREFIX", QByteArray("/nonexistent-wine-prefix"));
        const QString lnk = QStringLiteral(ORVANE_TESTDATA_DIR) + "/lnk/testWinXpNotepadIconTree.lnk";
        if (!QFile::exists(lnk))
            QSKIP("the shared shortcut files are not here");
        QTemporaryDir dir;
        const QString desktop = WriteEditorEntry(dir.path());
        QVERIFY(!desktop.isEmpty());
        fake->shell.associations.insert("C:\\WINDOWS\\system32\\notepad.exe", "/usr/bin/wine-notepad");
        fake->shell.associations.insert(desktop, "/usr/bin/gedit --new-window");
        fake->shell.iconCounts.insert("/usr/bin/wine-notepad", 1);
        Start("");
        Drop({lnk}, Column(1));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("/usr/bin/wine-notepad"));
        QCOMPARE(Value("Icons", "SpeedButton1"), QString("%SystemDrive%\\WINDOWS\\system32\\shell32.dll"));
        QCOMPARE(Value("IconSelection", "SpeedButton1"), QString("41"));
        Drop({desktop}, Column(2));
        QCOMPARE(Value("Programs", "SpeedButton2"), QString("/usr/bin/gedit --new-window"));
        QCOMPARE(Value("Icons", "SpeedButton2"), desktop);
        QCOMPARE(Value("IconSelection", "SpeedButton2"), QString("0"));
        QVERIFY(fake->processes.started.isEmpty());
    }

    void unreadableShortcutAssignsNothing() {
        QTemporaryDir dir;
        const QString lnk = dir.filePath("broken.lnk");
        QFile file(lnk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a shortcut at all");
        file.close();
        fake->shell.associations.insert(lnk, "/usr/bin/gedit");
        Start("");
        Drop({lnk}, Column(1));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("<none>"));
    }

    void shortcutIconThroughWinePrefix() {
        // Target and icon of a real shortcut are files of the prefix's drive C.
        const QString lnk = QStringLiteral(ORVANE_TESTDATA_DIR) + "/lnk/testWinXpNotepadIconTree.lnk";
        if (!QFile::exists(lnk))
            QSKIP("the shared shortcut files are not here");
        QTemporaryDir prefix;
        QVERIFY(QDir().mkpath(prefix.filePath("drive_c/windows/system32")));
        QVERIFY(QDir().mkpath(prefix.filePath("dosdevices")));
        QVERIFY(QFile::link("../drive_c", prefix.filePath("dosdevices/c:")));
        const QString system32 = QFileInfo(prefix.path()).canonicalFilePath() + "/drive_c/windows/system32";
        for (const char *name : {"notepad.exe", "shell32.dll"}) {
            QFile file(system32 + '/' + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QByteArray saved = qgetenv("WINEPREFIX");
        qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
        fake->shell.associations.insert(system32 + "/notepad.exe", "/usr/bin/wine-notepad");
        fake->shell.iconCounts.insert("/usr/bin/wine-notepad", 1);
        Start("");
        Drop({lnk}, Column(1));
        qputenv("WINEPREFIX", saved);
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("/usr/bin/wine-notepad"));
        QCOMPARE(Value("Icons", "SpeedButton1"), system32 + "/shell32.dll");
        QCOMPARE(Value("IconSelection", "SpeedButton1"), QString("41"));
    }

    void damagedShortcutSaysSoInItsOwnBox() {
        // A real shortcut cut short inside its values: the largest such cut that the reader
        // reports on.
        const QByteArray whole = ReadAll(QStringLiteral(ORVANE_TESTDATA_DIR) + "/lnk/testWinXpArguments.lnk");
        if (whole.isEmpty())
            QSKIP("the shared shortcut files are not here");
        QTemporaryDir dir;
        const QString lnk = dir.filePath("damaged.lnk");
        QString message;
        for (qsizetype size = whole.size() - 1; size > 0 && message.isEmpty(); --size) {
            QFile file(lnk);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(whole.left(size));
            file.close();
            TShellLink probe;
            probe.OnMessage = [&message](const QString &text) { message = text; };
            probe.Read(lnk);
        }
        QVERIFY(message.startsWith("Error in get"));
        fake->WriteIni("[Location]\nTop=100\n[Pages]\nCount=2\n");
        CaptionedDialogs dialogs;
        dialogs.ExpectError(message);
        Platform platform = fake->Get();
        platform.dialogs = &dialogs;
        form = std::make_unique<TForm1>(platform);
        form->show();
        Drop({lnk}, Column(1));
        QCOMPARE(dialogs.captions, QStringList{"!! Error !!"});
        QVERIFY2(dialogs.Unmet().isEmpty(), qPrintable(dialogs.Unmet()));
        QCOMPARE(Value("Programs", "SpeedButton1"), QString("<none>"));
        form.reset(); // before its dialogs go
    }

    void scrolledRowIsHonoured() {
        // 21 buttons on a screen made for 16: the row scrolls.
        fake->system.usableWidth = 650;
        Start("", 21);
        QScrollBar *bar = form->findChild<QScrollArea *>()->horizontalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        const QToolButton *last = form->FindButton(21);
        const QPoint at = last->mapTo(form.get(), QPoint(18, 10));
        QVERIFY(at.x() < form->width());
        Drop({"/usr/bin/gimp"}, at);
        QCOMPARE(Value("Programs", "SpeedButton21"), QString("/usr/bin/gimp"));
    }
};

QTEST_MAIN(DropsTest)
#include "tst_drops.moc"
