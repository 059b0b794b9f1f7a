#pragma once

#include <QString>
#include <QStringList>

class TNewIniFile;

// The ten values of one launch button. Each lives in the section of its name, under the
// button's key "SpeedButton" + number.
struct ButtonRecord {
    QString Programs;
    QString Parameters;
    QString Icons;
    int IconSelection = 0;
    QString Names;
    QString Shrink;
    QString Select;
    QString Working;
    QString SoundSelect;
    QString SoundLaunch;

    bool Occupied() const { return !Programs.isEmpty(); }
    void Clear() { *this = ButtonRecord(); }
    bool operator==(const ButtonRecord &) const = default;
};

// The record sections in record order.
const QStringList &ButtonRecordSections();

QString ButtonKey(int number);

ButtonRecord ReadButtonRecord(const TNewIniFile &ini, const QString &key);
inline ButtonRecord ReadButtonRecord(const TNewIniFile &ini, int number) {
    return ReadButtonRecord(ini, ButtonKey(number));
}
// Writes the non-empty fields ("IconSelection" when above 0); an empty field leaves the key
// in the file as it was. programsAlways also writes an empty "Programs".
void WriteButtonRecord(TNewIniFile &ini, const QString &key, const ButtonRecord &record,
                       bool programsAlways = false);
inline void WriteButtonRecord(TNewIniFile &ini, int number, const ButtonRecord &record) {
    WriteButtonRecord(ini, ButtonKey(number), record);
}
void EraseButtonRecord(TNewIniFile &ini, const QString &key);
inline void EraseButtonRecord(TNewIniFile &ini, int number) {
    EraseButtonRecord(ini, ButtonKey(number));
}
// Moves record from to number to: read from, erase to, write to, erase from. The target is
// erased first so that nothing of its old record survives under the moved one. Returns the
// moved record.
ButtonRecord MoveButtonRecord(TNewIniFile &ini, int from, int to);
