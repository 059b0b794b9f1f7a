#include "settings/ButtonRecord.h"

#include "settings/NewIniFile.h"

const QStringList &ButtonRecordSections() {
    static const QStringList sections = {
        QStringLiteral("Programs"), QStringLiteral("Parameters"), QStringLiteral("Icons"),
        QStringLiteral("IconSelection"), QStringLiteral("Names"), QStringLiteral("Shrink"),
        QStringLiteral("Select"), QStringLiteral("Working"), QStringLiteral("SoundSelect"),
        QStringLiteral("SoundLaunch")};
    return sections;
}

QString ButtonKey(int number) { return QStringLiteral("SpeedButton") + QString::number(number); }

ButtonRecord ReadButtonRecord(const TNewIniFile &ini, const QString &key) {
    ButtonRecord r;
    const QString none;
    r.Programs = ini.ReadString(QStringLiteral("Programs"), key, none);
    r.Parameters = ini.ReadString(QStringLiteral("Parameters"), key, none);
    r.Icons = ini.ReadString(QStringLiteral("Icons"), key, none);
    r.IconSelection = ini.ReadInteger(QStringLiteral("IconSelection"), key, 0);
    r.Names = ini.ReadString(QStringLiteral("Names"), key, none);
    r.Shrink = ini.ReadString(QStringLiteral("Shrink"), key, none);
    r.Select = ini.ReadString(QStringLiteral("Select"), key, none);
    r.Working = ini.ReadString(QStringLiteral("Working"), key, none);
    r.SoundSelect = ini.ReadString(QStringLiteral("SoundSelect"), key, none);
    r.SoundLaunch = ini.ReadString(QStringLiteral("SoundLaunch"), key, none);
    return r;
}

void WriteButtonRecord(TNewIniFile &ini, const QString &key, const ButtonRecord &r,
                       bool programsAlways) {
    auto put = [&](const char *section, const QString &value) {
        if (!value.isEmpty())
            ini.WriteString(QLatin1String(section), key, value);
    };
    if (programsAlways)
        ini.WriteString(QStringLiteral("Programs"), key, r.Programs);
    else
        put("Programs", r.Programs);
    put("Parameters", r.Parameters);
    put("Icons", r.Icons);
    if (r.IconSelection > 0)
        ini.WriteInteger(QStringLiteral("IconSelection"), key, r.IconSelection);
    put("Names", r.Names);
    put("Shrink", r.Shrink);
    put("Select", r.Select);
    put("Working", r.Working);
    put("SoundSelect", r.SoundSelect);
    put("SoundLaunch", r.SoundLaunch);
}

void EraseButtonRecord(TNewIniFile &ini, const QString &key) {
    for (const QString &section : ButtonRecordSections())
        ini.EraseKey(section, key);
}

ButtonRecord MoveButtonRecord(TNewIniFile &ini, int from, int to) {
    const ButtonRecord moved = ReadButtonRecord(ini, from);
    if (from == to)
        return moved;
    EraseButtonRecord(ini, to);
    WriteButtonRecord(ini, to, moved);
    EraseButtonRecord(ini, from);
    return moved;
}
