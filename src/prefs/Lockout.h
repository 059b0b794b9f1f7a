#pragma once

#include <QByteArray>
#include <QString>

// The password lock on changes to the bar. The lock value is the unlocked marker or the
// password in force; the data file beside the settings file keeps it, scrambled, in one record
// of 257 bytes: a length byte n, n scrambled bytes, and filler that is never read.
namespace lockout {

inline constexpr char kUnlockedMarker[] = "KepR417";
inline constexpr int kRecordSize = 257;
inline constexpr int kMaxValueBytes = 255;

// Byte i (from 1) becomes (byte + i) mod 256, and back. No key: this only keeps the password
// from being read at a glance.
QByteArray Encrypt(const QByteArray &text);
QByteArray Decrypt(const QByteArray &scrambled);

// The record holding a scrambled text (cut to 255 bytes), filler zero.
QByteArray FormatRecord(const QByteArray &scrambled);
// The scrambled text of a record. Only the first 257 bytes count. A record whose length byte
// promises more bytes than follow is damaged and reads as empty, like a file that cannot be read.
QByteArray ParseRecord(const QByteArray &fileBytes);

// The scrambled text the data file holds; empty when it is missing, empty, not a regular file
// (a FIFO, a device, a directory: never waited for), cannot be read or is damaged.
QByteArray ReadScrambled(const QString &path);
// Writes the record whole (in place atomically), readable by its owner only. A refused write
// throws SettingsWriteError with the data file's path and leaves the old file as it was.
void WriteScrambled(const QString &path, const QByteArray &scrambled);

// What an entry in the password box does, given the lock value the file holds (unscrambled)
// and the typed text.
enum class Entry { Unlock, Lock, Refuse, TooLong };
Entry Judge(const QByteArray &stored, const QByteArray &typed);

// The lock value as text and back: UTF-8, one scrambled byte per byte.
inline QByteArray ToValue(const QString &text) {
    return text.toUtf8();
}

} // namespace lockout
