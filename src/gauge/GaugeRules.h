#pragma once

#include <QColor>
#include <QString>

// The rules of the gauge's readings, apart from the window.

// A drive reading: the text from the first "Drive" to the end is exactly "Drive" (so
// "CHardDrive", and also "Drive" itself, whose first character is then the letter).
bool IsDriveGaugeType(const QString &type);

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
