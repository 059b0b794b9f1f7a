// The gauge's readings against a fake system with set figures: the drive and memory readings,
// their colours and hints, the drive items of the setup menu, choosing a reading, and what a
// stored gauge type of any shape does at start-up. Also the drive component on its own.

#include "FakePlatform.h"
#include "app/Icons.h"
#include "components/Disk.h"
#include "gauge/GaugeRules.h"

#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
const QColor kLime(0x00, 0xFF, 0x00), kYellow(0xFF, 0xFF, 0x00), kRed(0xFF, 0x00, 0x00);

DriveInfo Drive(char letter, const QString &mount, quint64 total, quint64 free,
                DriveType type = DriveType::Fixed) {
    return DriveInfo{QChar(letter), mount, total, free, type};
}

QString Stored(const FakePlatform &fake, const QByteArray &key = "Type") {
    QFile f(fake.IniPath());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1)).trimmed();
    return QString();
}

// The names of the ticked gauge items.
QStringList Ticked(TForm1 &form) {
    QStringList ticked;
    for (QAction *a : form.SetupMenu()->actions())
        if (a->isChecked() && (a->objectName().endsWith(QLatin1String("HardDrive")) ||
                               a->objectName() == QLatin1String("SystemMemory1")))
            ticked << a->objectName();
    return ticked;
}
} // namespace

class TestReadings : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;

    std::unique_ptr<TForm1> Start(const QString &ini = QString()) {
        if (!ini.isNull())
            fake->WriteIni(ini);
        fake->ExpectImportQuestionIfNew();
        return std::make_unique<TForm1>(fake->Get());
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() {
        fake = std::make_unique<FakePlatform>();
        fake->system.drives = {Drive('C', "/", 4000, 1000),
                               Drive('D', "/home", 3ull << 40, 3ull << 39),
                               Drive('E', "/media/u/My Stick & Co", 100, 0, DriveType::Removable),
                               Drive('F', "/mnt/nas", 1000, 210, DriveType::Remote)};
        fake->system.memory = {42, 64ull << 30};
    }
    void cleanup() {
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void rules_data();
    void rules();
    void colours();
    void freePercent();
    void driveReading();
    void memoryReading();
    void repaintsOnlyOnChange();
    void driveItems();
    void choosingReadings();
    void unmeasurableDrives();
    void chosenFilesystem_data();
    void chosenFilesystem();
    void filesystemGoneAndBack();
    void storedTypes_data();
    void storedTypes();
    void defaultType();
    void textFitsTheFace_data();
    void textFitsTheFace();
    void driveComponent();
};

void TestReadings::rules_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("converted");
    QTest::addColumn<bool>("drive");
    QTest::newRow("drive") << "CHardDrive"
                           << "CHardDrive" << true;
    QTest::newRow("letter and colon") << "D:"
                                      << "DHardDrive" << true;
    QTest::newRow("root path") << "D:\\"
                               << "DHardDrive" << true;
    QTest::newRow("old memory") << "SysResource"
                                << "SystemMemory1" << false;
    QTest::newRow("old user") << "UserResource"
                              << "SystemMemory1" << false;
    QTest::newRow("old gdi") << "GDIResource"
                             << "SystemMemory1" << false;
    QTest::newRow("memory") << "SystemMemory1"
                            << "SystemMemory1" << false;
    QTest::newRow("just Drive") << "Drive"
                                << "Drive" << true;
    QTest::newRow("Drive inside") << "HardDriveX"
                                  << "HardDriveX" << false;
    QTest::newRow("lower case") << "chardrive"
                                << "chardrive" << false;
    QTest::newRow("empty") << ""
                           << "" << false;
}

void TestReadings::rules() {
    QFETCH(QString, stored);
    QFETCH(QString, converted);
    QCOMPARE(OldGage(stored), converted);
    QTEST(IsDriveGaugeType(OldGage(stored)), "drive");
}

// Every whole percentage gets one colour: memory is bad when high, free space when low.
void TestReadings::colours() {
    const struct {
        const char *type;
        int p;
        QColor colour;
    } cases[] = {{"SystemMemory1", 84, kLime},   {"SystemMemory1", 85, kYellow},
                 {"SystemMemory1", 95, kYellow}, {"SystemMemory1", 96, kRed},
                 {"CHardDrive", 50, kLime},      {"CHardDrive", 49, kYellow},
                 {"CHardDrive", 21, kYellow},    {"CHardDrive", 20, kRed},
                 {"UserResource1", 42, kYellow}};
    for (const auto &c : cases)
        QVERIFY2(GaugeColorFor(QLatin1String(c.type), c.p) == c.colour,
                 qPrintable(QStringLiteral("%1 %2").arg(c.type).arg(c.p)));
}

void TestReadings::freePercent() {
    QCOMPARE(FreePercent(4000, 1000), 25);
    QCOMPARE(FreePercent(8, 1), 12);                   // 12.5: ties to even
    QCOMPARE(FreePercent(8, 3), 38);                   // 37.5
    QCOMPARE(FreePercent(3ull << 40, 3ull << 39), 50); // 3 TiB, beyond 32 bits
    QCOMPARE(FreePercent(5ull << 40, 1), 0);
    QCOMPARE(FormatBytes(4000), QStringLiteral("4,000"));
    QCOMPARE(FormatBytes(68719476736ull), QStringLiteral("68,719,476,736"));
}

void TestReadings::driveReading() {
    auto form = Start("[Gauge]\nType=CHardDrive\n");
    QVERIFY(form->ReadingTimer()->isActive());
    QCOMPARE(form->ReadingTimer()->interval(), 1000);
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->Progress(), 25);
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("C : 25%"));
    QCOMPARE(form->Gauge()->toolTip(),
             QStringLiteral("C: HardDrive Space Available 1,000 of 4,000"));
    QCOMPARE(form->Gauge()->ForeColor(), kYellow);
    QCOMPARE(Ticked(*form), QStringList{"CHardDrive"});

    // The next tick follows the figures.
    fake->system.drives[0].free = 800;
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->Progress(), 20);
    QCOMPARE(form->Gauge()->ForeColor(), kRed);
}

void TestReadings::memoryReading() {
    auto form = Start("[Gauge]\nType=SystemMemory1\n");
    fake->system.memory.load = 95;
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->Progress(), 95);
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("95%"));
    QCOMPARE(form->Gauge()->ForeColor(), kYellow);
    // 64 GiB does not fit 32 bits.
    QCOMPARE(form->Gauge()->toolTip(), QStringLiteral("Memory Load 95%: Total RAM 68,719,476,736"));
    fake->system.memory.load = 96;
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->ForeColor(), kRed);
}

// A reading that shows what the gauge already shows draws nothing: the picture is drawn again
// only when the percentage, the label or the colour change; the hint always follows.
void TestReadings::repaintsOnlyOnChange() {
    auto form = Start("[Location]\nTop=10\nLeft=10\n[Gauge]\nType=CHardDrive\n");
    form->ReadingTimer()->stop();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->GaugeTimer();
    int paints = form->Gauge()->PaintCount();
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->PaintCount(), paints);

    fake->system.drives[0].free = 1001; // still 25 %
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->PaintCount(), paints);
    QCOMPARE(form->Gauge()->toolTip(),
             QStringLiteral("C: HardDrive Space Available 1,001 of 4,000"));

    fake->system.drives[0].free = 2000; // 50 %: another fill and colour, drawn at once
    form->GaugeTimer();
    QVERIFY(form->Gauge()->PaintCount() > paints);
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("C : 50%"));

    // Another reading with the same percentage: the label changes, so it is drawn.
    fake->system.memory.load = 50;
    paints = form->Gauge()->PaintCount();
    fake->dialogs.ExpectPopup(QStringLiteral("Graph System Memory"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton); // read at once
    QCOMPARE(form->Gauge()->PaintCount(), paints + 1);
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("50%"));
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->PaintCount(), paints + 1);
}

// One item per drive with free space, with its mount point after a tab.
void TestReadings::driveItems() {
    auto form = Start();
    QStringList shown;
    for (QAction *a : form->SetupMenu()->actions())
        if (a->isVisible() && a->objectName().endsWith(QLatin1String("HardDrive")))
            shown << a->text();
    QCOMPARE(shown, QStringList({"Graph C: HardDrive\t/", "Graph D: HardDrive\t/home",
                                 "Graph F: HardDrive\t/mnt/nas"}));

    // Items once shown stay; a drive with free space now gets its item at the next start-up pass.
    fake->system.drives[2].free = 50;
    fake->system.drives.removeAt(3);
    form->CountDrives();
    QVERIFY(form->Items().setup.drives['F' - 'C']->isVisible());
    QCOMPARE(form->Items().setup.drives['E' - 'C']->text(),
             QStringLiteral("Graph E: HardDrive\t/media/u/My Stick && Co"));
    QVERIFY(form->Items().setup.drives['E' - 'C']->isVisible());
    QVERIFY(!form->Items().setup.drives['G' - 'C']->isVisible());
}

// A right click on the gauge, an item chosen: the reading changes at once and is stored.
void TestReadings::choosingReadings() {
    auto form = Start("[Gauge]\nType=CHardDrive\n");
    form->GaugeTimer();
    fake->dialogs.ExpectPopup(QStringLiteral("Graph D: HardDrive\t/home"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton);
    QCOMPARE(Ticked(*form), QStringList{"DHardDrive"});
    QCOMPARE(Stored(*fake), QStringLiteral("DHardDrive"));
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("D : 50%"));
    QCOMPARE(form->Gauge()->ForeColor(), kLime);

    fake->dialogs.ExpectPopup(QStringLiteral("Graph System Memory"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton);
    QCOMPARE(Ticked(*form), QStringList{"SystemMemory1"});
    QCOMPARE(Stored(*fake), QStringLiteral("SystemMemory1"));
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("42%"));
    QCOMPARE(form->Gauge()->ForeColor(), kLime);

    // Read back at the next start.
    form.reset();
    form = Start();
    QCOMPARE(form->GaugeType(), QStringLiteral("SystemMemory1"));
    QCOMPARE(Ticked(*form), QStringList{"SystemMemory1"});
}

// A drive that vanished, one without free space and one reporting no blocks leave the gauge
// as it was.
void TestReadings::unmeasurableDrives() {
    fake->system.drives.append(Drive('G', "/mnt/empty", 0, 10));
    auto form = Start("[Gauge]\nType=CHardDrive\n");
    form->GaugeTimer();
    const QString hint = form->Gauge()->toolTip();
    fake->system.drives.removeAt(1); // D is gone between the menu and the click
    fake->dialogs.ExpectPopup(QStringLiteral("Graph D: HardDrive\t/home"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton);
    QCOMPARE(Stored(*fake), QStringLiteral("DHardDrive"));
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("C : 25%"));
    QCOMPARE(form->Gauge()->toolTip(), QStringLiteral("/home is not mounted"));
    for (char letter : {'E', 'G'}) {
        form->HardDriveSpace(letter);
        QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("C : 25%"));
    }
}

// A drive reading is stored with its mount point, and the next start reads that filesystem
// whatever letter it has then; a "TypeMount" that does not belong to "Type" (a program unaware of
// it wrote "Type" since) is left aside, and a file without it keeps the stored letter.
void TestReadings::chosenFilesystem_data() {
    QTest::addColumn<QString>("typeMount"); // empty: as the click stores it
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("ticked");
    QTest::newRow("re-lettered") << QString() << "E : 50%"
                                 << "EHardDrive";
    QTest::newRow("older file") << "-"
                                << "D : 10%"
                                << "DHardDrive";
    QTest::newRow("key of another letter") << "C:/home"
                                           << "D : 10%"
                                           << "DHardDrive";
}

void TestReadings::chosenFilesystem() {
    auto form = Start("[Gauge]\nType=CHardDrive\n");
    fake->dialogs.ExpectPopup(QStringLiteral("Graph D: HardDrive\t/home"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton);
    QCOMPARE(Stored(*fake), QStringLiteral("DHardDrive"));
    QCOMPARE(Stored(*fake, "TypeMount"), QStringLiteral("D:/home"));
    form.reset();

    // A stick mounted at /a-stick before the next start takes D; /home is E now.
    fake->system.drives.insert(1, Drive('D', "/a-stick", 1000, 100, DriveType::Removable));
    fake->system.drives[2].letter = QLatin1Char('E');
    fake->system.drives[3].letter = QLatin1Char('H');
    QFETCH(QString, typeMount);
    if (typeMount == QLatin1String("-"))
        fake->WriteIni("[Gauge]\nType=DHardDrive\n");
    else if (!typeMount.isEmpty())
        fake->WriteIni("[Gauge]\nType=DHardDrive\nTypeMount=" + typeMount + "\n");
    form = Start();
    form->GaugeTimer();
    QTEST(form->Gauge()->DisplayText(), "shown");
    QTEST(Ticked(*form).join(','), "ticked");
    // Choosing the memory reading leaves no mount point behind.
    fake->dialogs.ExpectPopup(QStringLiteral("Graph System Memory"));
    QTest::mouseClick(form->Gauge(), Qt::RightButton);
    QCOMPARE(Stored(*fake, "TypeMount"), QString());
}

// A chosen filesystem that is not mounted says so in the hint and reads no other drive, not even
// the one that has its stored letter now; mounted again under any letter, it is read again.
void TestReadings::filesystemGoneAndBack() {
    fake->system.drives.removeAt(1); // /home is not mounted; D is a stick now
    fake->system.drives.insert(1, Drive('D', "/a-stick", 1000, 100, DriveType::Removable));
    auto form = Start("[Gauge]\nType=DHardDrive\nTypeMount=D:/home\n");
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("0%"));
    QCOMPARE(form->Gauge()->toolTip(), QStringLiteral("/home is not mounted"));
    QCOMPARE(Ticked(*form), QStringList()); // D's item shows the stick

    fake->system.drives.append(Drive('G', "/home", 3ull << 40, 3ull << 39));
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("G : 50%"));
    QCOMPARE(Ticked(*form), QStringList{"GHardDrive"});
    QVERIFY(form->Items().setup.drives['G' - 'C']->isVisible());
    QCOMPARE(form->Items().setup.drives['G' - 'C']->text(),
             QStringLiteral("Graph G: HardDrive\t/home"));

    fake->system.drives.removeLast(); // unmounted while graphed
    form->GaugeTimer();
    QCOMPARE(form->Gauge()->toolTip(), QStringLiteral("/home is not mounted"));
    QCOMPARE(form->Gauge()->DisplayText(), QStringLiteral("G : 50%"));
}

// Whatever the file holds, start-up neither fails nor ticks a stranger's item.
void TestReadings::storedTypes_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>(
        "shown"); // the gauge's text after a tick; "0%" is the untouched gauge
    QTest::newRow("empty") << ""
                           << ""
                           << "0%";
    QTest::newRow("lower case") << "chardrive"
                                << ""
                                << "0%";
    QTest::newRow("drive A") << "AHardDrive"
                             << ""
                             << "0%";
    QTest::newRow("two letters") << "ZZHardDrive"
                                 << ""
                                 << "0%";
    QTest::newRow("Drive") << "Drive"
                           << ""
                           << "D : 50%"; // its first character, D, is the letter
    QTest::newRow("long") << QString(10000, QLatin1Char('x')) << ""
                          << "0%";
    // The settings file gives back the first 1023 characters: the ending is lost.
    QTest::newRow("long drive") << QString(10000, QLatin1Char('C')) + "Drive"
                                << ""
                                << "0%";
    QTest::newRow("root path") << "D:\\"
                               << "DHardDrive"
                               << "D : 50%";
    QTest::newRow("old resource") << "GDIResource"
                                  << "SystemMemory1"
                                  << "42%";
    QTest::newRow("user resource") << "UserResource1"
                                   << ""
                                   << "42%";
    QTest::newRow("another item") << "SelectFiles1"
                                  << ""
                                  << "0%";
}

void TestReadings::storedTypes() {
    QFETCH(QString, stored);
    auto form = Start("[Gauge]\nType=" + stored + "\n");
    QFETCH(QString, ticked);
    QCOMPARE(Ticked(*form).join(','), ticked);
    if (QAction *other = stored.isEmpty() ? nullptr : form->findChild<QAction *>(stored);
        other && ticked.isEmpty())
        QVERIFY(!other->isChecked()); // a stored type ticks no other item
    form->GaugeTimer();
    QTEST(form->Gauge()->DisplayText(), "shown");
}

// With no stored type, the gauge graphs the drive that holds the program's directory.
void TestReadings::defaultType() {
    const QString programDir = fake->programDir.path();
    fake->system.drives.append(Drive('G', programDir, 1000, 500));
    fake->system.drives.append(Drive('H', programDir + "-not", 1000, 500));
    auto form = Start();
    QCOMPARE(form->GaugeType(), QStringLiteral("GHardDrive"));
    QCOMPARE(Ticked(*form), QStringList{"GHardDrive"});
    fake->system.drives.removeLast();
    fake->system.drives.removeLast();
    form.reset();
    form = Start();
    QCOMPARE(form->GaugeType(), QStringLiteral("CHardDrive"));
}

// The widest readings, written in the font chosen for the bar's 39 x 15 face with this
// system's fonts, leave the face's first and last columns alone: nothing is cut.
void TestReadings::textFitsTheFace_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("percent");
    QTest::newRow("W, full") << "W" << 100;
    QTest::newRow("M, 99") << "M" << 99;
    QTest::newRow("C, 31") << "C" << 31;
    QTest::newRow("memory") << "" << 100;
}

void TestReadings::textFitsTheFace() {
    QFETCH(QString, label);
    QFETCH(int, percent);
    TEnhancedGauge gauge;
    gauge.resize(39, 15);
    gauge.setBorderStyle(TEnhancedGauge::bsNone);
    gauge.setForeColor(kLime);
    gauge.setBackColor(QColor(0x80, 0x00, 0x00));
    gauge.setAlignment(TEnhancedGauge::taCenter);
    gauge.setFont(GaugeFont(gauge.size()));
    gauge.setProgress(percent);
    gauge.setProgressText(label);
    const QImage face = gauge.Render();
    for (int x : {0, face.width() - 1})
        for (int y = 0; y < face.height(); ++y) {
            const QColor c = face.pixelColor(x, y);
            QVERIFY2(c == kLime || c == gauge.BackColor(),
                     qPrintable(QStringLiteral("%1 at %2,%3: %4")
                                    .arg(gauge.DisplayText())
                                    .arg(x)
                                    .arg(y)
                                    .arg(c.name())));
        }
    // Still a text to read: not shrunk to nothing.
    QVERIFY(QFontMetrics(gauge.font()).height() >= 9);
}

void TestReadings::driveComponent() {
    fake->system.drives.append(Drive('H', "/media/cd", 700, 0, DriveType::CdRom));
    fake->system.drives.append(Drive('J', "/media/cd2", 700, 0, DriveType::CdRom));
    TDISK disk(fake->system);
    QCOMPARE(disk.DriveLetter(), QStringLiteral("C"));
    QCOMPARE(disk.DiskSizeBytes(), 4000);
    QCOMPARE(disk.DiskFreeBytes(), 1000);
    QCOMPARE(disk.DiskType(), TDISK::DT_FIXED);
    QVERIFY(disk.CDROMFound());
    QCOMPARE(disk.CDROMDriveLetter(), QStringLiteral("H"));

    disk.setDriveLetter(QStringLiteral("dummy")); // first character, upper case
    QCOMPARE(disk.DriveLetter(), QStringLiteral("D"));
    QCOMPARE(disk.DiskSizeBytes(), qint64(3ull << 40));
    disk.setDriveLetter(QStringLiteral("f"));
    QCOMPARE(disk.DiskType(), TDISK::DT_REMOTE);
    disk.setDriveLetter(QString()); // nothing
    QCOMPARE(disk.DriveLetter(), QStringLiteral("F"));
    disk.setDriveLetter(QStringLiteral("Q")); // no filesystem has it
    QCOMPARE(disk.DiskType(), TDISK::DT_NOROOTDIR);
    QCOMPARE(disk.DiskSizeBytes(), 0);
    disk.setDriveLetter(QStringLiteral("1")); // not a letter
    QCOMPARE(disk.DiskType(), TDISK::DT_UNKNOWN);
    QCOMPARE(disk.DiskFreeBytes(), 0);

    fake->system.drives.removeLast();
    fake->system.drives.removeLast();
    TDISK none(fake->system);
    QVERIFY(!none.CDROMFound());
    QCOMPARE(none.CDROMDriveLetter(), QStringLiteral("A"));
}

QTEST_MAIN(TestReadings)
#include "tst_readings.moc"
