#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

// The rules of the gauge's readings, apart from the window.

// A drive reading: the text from the first "Drive" to the end is exactly "Drive" (so
// "CHardDrive", and also "Drive" itself, whose first character is then the letter).
bool IsDriveGaugeType(const QString &type);

// The letter of a gauge type that names a drive item ("C".."Z" + "HardDrive"); null otherwise.
QChar DriveItemLetter(const QString &type);

// "Gauge"/"TypeMount": the mount point of a drive reading, kept beside "Type" (whose format stays)
// so that the next start finds the same filesystem whatever letter it has then. Stored as the
// letter "Type" held when it was written, a colon and the mount point ("E:/mnt/data"): a "Type"
// written later by a program that does not know the key no longer matches it.
QString GaugeMountValue(QChar letter, const QString &mountPoint);
// The mount point stored for the gauge type; empty when the value does not belong to it.
QString GaugeMountOf(const QString &type, const QString &stored);

// The stored gauge type in its current form: a letter and colon (or a root path) becomes that
// letter + "HardDrive"; the old resource readings become "SystemMemory1"; the rest is kept.
QString OldGage(const QString &stored);

// The share of the drive that is free, rounded to the nearest whole percent (ties to even);
// both figures must be above 0.
int FreePercent(qint64 size, qint64 free);

// Lime, yellow or red for a reading: memory load is bad when high, free space when low.
QColor GaugeColorFor(const QString &type, int progress);

// A byte count with the locale's thousands separators and no decimals.
QString FormatBytes(quint64 bytes);

// The hint of a drive reading, for example "C: HardDrive Space Available 1,000 of 4,000".
QString DriveHint(QChar letter, quint64 free, quint64 size);

// The hint of the memory reading.
QString MemoryHint(int load, quint64 totalPhys);

// The hint of a drive reading whose filesystem is not mounted.
QString MissingDriveHint(const QString &mountPoint);

// The font of the gauge's text: the largest that writes the widest reading ("W : 100%") inside a
// face of this size with a pixel to spare on either side, measured with the fonts this system
// has. Arial's metrics first (the system's metric-compatible face stands in for it), then its
// narrow cut.
QFont GaugeFont(const QSize &face);
