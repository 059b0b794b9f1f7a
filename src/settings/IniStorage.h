#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <utility>
#include <vector>

// The file system side of the settings file: reading with the identity of what was read,
// the advisory lock shared by every copy, and atomic replacement.

// What tells one version of a file from another without reading it.
struct IniFileStamp {
    bool exists = false;
    quint64 device = 0, inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0, changedNs = 0;
    quint32 mode = 0;

    bool operator==(const IniFileStamp &other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
};

qint64 IniWallClockNs();

// An open file descriptor, closed with the object.
class IniFileHandle {
public:
    IniFileHandle() = default;
    explicit IniFileHandle(int fd) : fd_(fd) {}
    IniFileHandle(IniFileHandle &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    IniFileHandle &operator=(IniFileHandle &&other) noexcept;
    ~IniFileHandle();
    int Fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

IniFileStamp IniStatFile(const QByteArray &path);
// The stamp of an open file; one that has been removed or replaced (no links left) does not
// exist any more. Cheaper than looking the path up again.
IniFileStamp IniStatFile(const IniFileHandle &file);

// Opens a regular file for reading, never anything else: a FIFO would wait for a writer for
// ever, a device may never end. Not open when there is no such file or it cannot be read.
IniFileHandle IniOpenRegularFile(const QByteArray &path);

// What tells one content of a file from another without keeping a copy of it: its size and a
// 64-bit hash of each block. Two contents with equal digests are taken to be the same bytes.
struct IniContentDigest {
    static constexpr qsizetype BlockSize = 256 * 1024;
    qint64 size = 0;
    std::vector<quint64> blocks;

    static IniContentDigest Of(QByteArrayView bytes);
    bool operator==(const IniContentDigest &other) const = default;
};

// Reads the file, unless it holds exactly the content `known` describes: then it is only
// compared, a block at a time, and bytes stays empty. Returns whether bytes holds new content
// (always, without `known`). Either way stamp is the very inode looked at and file that file,
// left open. A missing or unreadable file reads as empty content, with an empty stamp.
bool IniReadFileIfChanged(const QByteArray &path, const IniContentDigest *known,
                          QByteArray *bytes, IniFileStamp *stamp, IniFileHandle *file);

// An exclusive flock() on path + ".lock", held for the object's life. Every writer of the same
// settings file takes it before reading the file for a change and keeps it until the new file
// is in place, so writers never overwrite each other's changes.
class IniFileLock {
public:
    explicit IniFileLock(const QByteArray &settingsPath);
    ~IniFileLock();
    IniFileLock(const IniFileLock &) = delete;
    IniFileLock &operator=(const IniFileLock &) = delete;
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Whether the open file holds exactly the content known describes, read from its start.
bool IniFileHolds(const IniFileHandle &file, const IniContentDigest &known);

// Reads the whole open file into bytes if it has grown beyond size; whether it had.
bool IniReadIfGrown(const IniFileHandle &file, qint64 size, QByteArray *bytes);

enum class IniReplaceResult { Replaced, Changed, Failed };

// Replaces the file at path with bytes: a temporary file in the same directory, written and
// flushed to disk, given the old file's permission bits, renamed over the old one. Readers see
// the old file or the new one, never a torn one. Right before the rename, stillCurrent (when
// given) says whether the file at path is still the one bytes were made from: a program that
// edits it without the lock may have changed it meanwhile. If not, nothing is replaced and
// Changed comes back. It may instead give an addition, for lines that program appended: the
// addition goes at the end of the new file, unflushed as the appended lines were, and it is
// asked again. On failure, or for a file that IniMayReplace refuses, nothing is left behind and
// Failed comes back. Must be called with the lock held: temporary files of writers that died
// while holding it are removed here. When replaced, written and file are the new file's.
IniReplaceResult IniReplaceFile(const QByteArray &path, const QByteArray &bytes,
                                const IniFileStamp &old,
                                const std::function<bool(QByteArray *addition)> &stillCurrent,
                                IniFileStamp *written, IniFileHandle *file);

// Whether the settings file at path (already resolved through symbolic links) may be
// replaced: it does not exist yet, or it is a regular file that its mode lets its owner and
// this user write.
bool IniMayReplace(const QByteArray &path);

// The name prefix of the temporary files that IniReplaceFile makes for path.
QByteArray IniTemporaryPrefix(const QByteArray &path);
