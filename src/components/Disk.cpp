#include "components/Disk.h"

#include <limits>

TDISK::TDISK(ISystemInfo &system, QObject *owner) : QObject(owner), system_(system) {
    setDriveLetter(QStringLiteral("C"));
    cdromFound_ = false;
    cdromDriveLetter_ = QStringLiteral("A");
    for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
        if (system_.Drive(QChar(letter)).type == DriveType::CdRom) {
            cdromFound_ = true;
            cdromDriveLetter_ = QString(QChar(letter));
            break;
        }
    }
}

void TDISK::setDriveLetter(const QString &letter) {
    if (letter.isEmpty())
        return;
    driveLetter_ = QString(letter.at(0).toUpper());
    const QChar c = driveLetter_.at(0);
    diskSizeBytes_ = 0;
    diskFreeBytes_ = 0;
    diskType_ = DT_UNKNOWN;
    mountPoint_.clear();
    if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
        return;
    const DriveInfo drive = system_.Drive(c);
    constexpr quint64 most = quint64(std::numeric_limits<qint64>::max());
    diskSizeBytes_ = qint64(qMin(drive.total, most));
    diskFreeBytes_ = qint64(qMin(drive.free, most));
    diskType_ = TDISKTYPE(int(drive.type));
    mountPoint_ = drive.mountPoint;
}
