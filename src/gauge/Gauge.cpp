// src/gauge owns the gauge's readings and their rules; the gauge itself is drawn by the
// enhgauge component.
// The gauge's readings: free space of a drive or the memory load, once a second, and the
// setup menu's items that choose between them.

#include "app/Icons.h"
#include "components/Disk.h"
#include "components/enhgauge.h"
#include "gauge/GaugeRules.h"
#include "settings/NewIniFile.h"

#include <QAction>
#include <QDir>
#include <QMenu>

void TForm1::GaugeTimer() {
    // A bar hidden in a notification area that has gone away comes back, shrunk.
    if (HiddenInTray() && !TrayAvailable()) {
        HideTrayIcon();
        SmallSize();
    }
    GasGage();
}

void TForm1::GasGage() {
    const QString &type = gauge_.type;
    if (IsDriveGaugeType(type)) {
        if (FollowGaugeMount()) // which may give the type another letter
            HardDriveSpace(gauge_.type.at(0).unicode());
    } else if (type == QLatin1String("SystemMemory1"))
        SysResource();
    if (type == QLatin1String("UserResource1"))
        SysResource();
    if (type == QLatin1String("GDIResources1"))
        SysResource();
}

void TForm1::HardDriveSpace(int c) {
    DISK1->setDriveLetter(QString(QChar(c)));
    const qint64 size = DISK1->DiskSizeBytes();
    const qint64 free = DISK1->DiskFreeBytes();
    // A drive that cannot be measured leaves the gauge as it was.
    if (free <= 0 || size <= 0)
        return;
    Gauge1->setProgress(FreePercent(size, free));
    ShowReading(DISK1->DriveLetter(), DriveHint(QChar(c), quint64(free), quint64(size)));
}

void TForm1::SysResource() {
    const MemoryStatus memory = platform_.system->Memory();
    Gauge1->setProgress(memory.load);
    ShowReading(QString(), MemoryHint(Gauge1->Progress(), memory.totalPhys));
}

// The label and the hint of a reading. The gauge repaints only when what it shows changes: the
// same label set again once a second would redraw an identical picture.
void TForm1::ShowReading(const QString &label, const QString &hint) {
    if (Gauge1->ProgressText() != label)
        Gauge1->setProgressText(label);
    if (Gauge1->toolTip() != hint)
        Gauge1->setToolTip(hint);
    GaugeColor();
}

void TForm1::GaugeColor() {
    Gauge1->setForeColor(GaugeColorFor(gauge_.type, Gauge1->Progress()));
}

void TForm1::CHardDriveClick(QAction *sender) {
    const QChar letter(sender->data().toInt());
    UnCheck();
    sender->setChecked(true);
    gauge_.type = QString(letter) + QStringLiteral("HardDrive");
    // The filesystem the item shows is the one chosen, whatever letter it has later.
    gauge_.mount = sender->property("mountPoint").toString();
    {
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        ini.WriteString(QStringLiteral("Gauge"), QStringLiteral("Type"), gauge_.type);
        if (gauge_.mount.isEmpty())
            ini.EraseKey(QStringLiteral("Gauge"), QStringLiteral("TypeMount"));
        else
            ini.WriteString(QStringLiteral("Gauge"), QStringLiteral("TypeMount"),
                            GaugeMountValue(letter, gauge_.mount));
        transaction.Commit();
    }
    GasGage();
}

void TForm1::SysResourceClick() {
    UnCheck();
    items_.setup.SystemMemory1->setChecked(true);
    gauge_.type = QStringLiteral("SystemMemory1");
    gauge_.mount.clear();
    {
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        ini.WriteString(QStringLiteral("Gauge"), QStringLiteral("Type"), gauge_.type);
        ini.EraseKey(QStringLiteral("Gauge"), QStringLiteral("TypeMount"));
        transaction.Commit();
    }
    SysResource();
}

void TForm1::ReadGaugeType(const TNewIniFile &ini) {
    // Stored in an older form, converted.
    gauge_.type = OldGage(
        ini.ReadString(QStringLiteral("Gauge"), QStringLiteral("Type"), DefaultGaugeType()));
    ReadGaugeMount(ini);
}

void TForm1::ReadGaugeMount(const TNewIniFile &ini) {
    const QChar stored = DriveItemLetter(gauge_.type);
    gauge_.mount.clear();
    if (stored.isNull())
        return;
    gauge_.mount =
        GaugeMountOf(gauge_.type, ini.ReadString(QStringLiteral("Gauge"),
                                                 QStringLiteral("TypeMount"), QString()));
    if (gauge_.mount.isEmpty()) {
        // A file from before the key: the stored letter means what it means now, and from
        // here on that filesystem is followed.
        gauge_.mount = platform_.system->Drive(stored).mountPoint;
        return;
    }
    if (const QChar letter = platform_.system->LetterOf(gauge_.mount); !letter.isNull())
        gauge_.type = QString(letter) + QStringLiteral("HardDrive");
}

bool TForm1::FollowGaugeMount() {
    if (gauge_.mount.isEmpty())
        return true;
    const QChar letter = platform_.system->LetterOf(gauge_.mount);
    if (letter.isNull()) {
        const QString hint = MissingDriveHint(gauge_.mount);
        if (Gauge1->toolTip() != hint)
            Gauge1->setToolTip(hint);
        return false;
    }
    if (letter != gauge_.type.at(0)) {
        gauge_.type = QString(letter) + QStringLiteral("HardDrive");
        ShowDriveItem(letter, gauge_.mount);
        CheckGaugeType();
    }
    return true;
}

void TForm1::UnCheck() {
    for (QAction *drive : items_.setup.drives)
        drive->setChecked(false);
    items_.setup.SystemMemory1->setChecked(false);
}

void TForm1::CheckGaugeType() {
    UnCheck();
    if (QAction *item = GaugeItem(gauge_.type)) {
        // An item showing another filesystem than the chosen one (not mounted now) is not it.
        const bool other = item != items_.setup.SystemMemory1 && !gauge_.mount.isEmpty() &&
                           item->property("mountPoint").toString() != gauge_.mount;
        item->setChecked(!other);
    }
}

void TForm1::CountDrives() {
    for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
        DISK1->setDriveLetter(QString(QChar(letter)));
        if (DISK1->DiskFreeBytes() <= 0)
            continue;
        ShowDriveItem(QChar(letter), DISK1->MountPoint());
    }
}

void TForm1::ShowDriveItem(QChar letter, const QString &mountPoint) {
    QAction *item = DriveItem(letter);
    // The mount point follows a tab, where a menu shows it at the right; an ampersand in it is
    // a character, not a mnemonic.
    QString where = mountPoint;
    where.replace(QLatin1Char('&'), QLatin1String("&&"));
    item->setText(QStringLiteral("Graph %1: HardDrive\t").arg(letter) + where);
    item->setProperty("mountPoint", mountPoint);
    item->setVisible(true);
}

QString TForm1::DefaultGaugeType() const {
    // The drive whose mount point is the longest leading part of the program's directory.
    const QString directory = QDir::cleanPath(platform_.environment.programDirectory);
    QChar letter(u'C');
    int longest = -1;
    for (const DriveInfo &drive : platform_.system->Drives()) {
        const QString mount = drive.mountPoint;
        const bool holds = mount == QLatin1String("/") || directory == mount ||
                           directory.startsWith(mount + QLatin1Char('/'));
        if (holds && mount.size() > longest) {
            longest = mount.size();
            letter = drive.letter;
        }
    }
    return QString(letter) + QStringLiteral("HardDrive");
}

void TForm1::AddGaugeItems(QMenu *menu) {
    SetupMenuItems &setup = items_.setup;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        QAction *drive = AddItem(menu, QString(QLatin1Char(letter)) + QStringLiteral("HardDrive"),
                                 QString(), &TForm1::CHardDriveClick, ItemKind::Checkable);
        drive->setData(int(letter)); // the tag: the letter's character code
        drive->setVisible(false);
        setup.drives[letter - 'C'] = drive;
    }
    setup.SystemMemory1 =
        AddItem(menu, QStringLiteral("SystemMemory1"), QStringLiteral("Graph System Memory"),
                &TForm1::SysResourceClick, ItemKind::Checkable);
}

QAction *TForm1::DriveItem(QChar letter) const {
    const int index = letter.unicode() - u'C';
    return index >= 0 && index < int(std::size(items_.setup.drives)) ? items_.setup.drives[index]
                                                                     : nullptr;
}

QAction *TForm1::GaugeItem(const QString &type) const {
    // Only the gauge's own items: a stored type that happens to name another item is none.
    if (type == QLatin1String("SystemMemory1"))
        return items_.setup.SystemMemory1;
    if (type.size() == 10 && type.endsWith(QLatin1String("HardDrive")))
        return DriveItem(type.at(0));
    return nullptr;
}
