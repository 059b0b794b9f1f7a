#include "prefs/Lockout.h"
#include "settings/IniStorage.h"
#include "settings/NewIniFile.h"

#include <QFile>
#include <QSaveFile>

namespace lockout {

QByteArray Encrypt(const QByteArray &text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = char((quint8(text[i]) + i + 1) & 0xFF);
    return out;
}

QByteArray Decrypt(const QByteArray &scrambled) {
    QByteArray out(scrambled.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < scrambled.size(); ++i)
        out[i] = char((quint8(scrambled[i]) - i - 1) & 0xFF);
    return out;
}

QByteArray FormatRecord(const QByteArray &scrambled) {
    const QByteArray text = scrambled.left(kMaxValueBytes);
    QByteArray record(kRecordSize, '\0');
    record[0] = char(text.size());
    record.replace(1, text.size(), text);
    return record;
}

QByteArray ParseRecord(const QByteArray &fileBytes) {
    if (fileBytes.isEmpty())
        return {};
    const int length = quint8(fileBytes[0]);
    if (fileBytes.size() < 1 + length)
        return {};
    return fileBytes.mid(1, length);
}

QByteArray ReadScrambled(const QString &path) {
    // The settings file's rule: only a regular file is read, so a FIFO or a device in its
    // place cannot hold up the bar.
    const IniFileHandle handle = IniOpenRegularFile(QFile::encodeName(path));
    QFile file;
    if (!handle.IsOpen() ||
        !file.open(handle.Fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {}; // missing, not a regular file, no permission
    return ParseRecord(file.read(kRecordSize));
}

void WriteScrambled(const QString &path, const QByteArray &scrambled) {
    QSaveFile file(path);
    const QByteArray record = FormatRecord(scrambled);
    // Unbuffered: a short write (a full disk) shows in what write() returns; buffered, the
    // flush at commit() can lose it.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(record) == record.size() && file.commit();
    if (!written) {
        file.cancelWriting();
        throw SettingsWriteError(path);
    }
}

Entry Judge(const QByteArray &stored, const QByteArray &typed) {
    if (typed.size() > kMaxValueBytes)
        return Entry::TooLong;
    if (typed == stored)
        return Entry::Unlock;
    if (stored == kUnlockedMarker)
        return Entry::Lock;
    return Entry::Refuse;
}

} // namespace lockout
