#include "IniStorage.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

qint64 Ns(const timespec &t) {
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

IniFileStamp StampOf(const struct stat &st) {
    IniFileStamp stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = Ns(st.st_mtim);
    stamp.changedNs = Ns(st.st_ctim);
    stamp.mode = st.st_mode;
    return stamp;
}

int CloseFd(int fd) {
    // Linux frees the descriptor even when close() is interrupted: never retry.
    return ::close(fd);
}

bool WriteAll(int fd, const char *data, qint64 size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The permission bits a newly created file gets: 0666 less the umask. Read from /proc so as
// not to change the process umask, which another thread may rely on at the same moment.
mode_t NewFileMode() {
    mode_t mask = 022;
    if (FILE *f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            unsigned value;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = mode_t(value);
                break;
            }
        }
        std::fclose(f);
    }
    return 0666 & ~mask;
}

QByteArray DirectoryOf(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Writers create temporary files only while holding the lock and remove or rename them before
// releasing it, so one found while we hold the lock belongs to a writer that was killed.
void RemoveStaleTemporaries(const QByteArray &path) {
    const QByteArray prefix = IniTemporaryPrefix(path);
    const qsizetype slash = prefix.lastIndexOf('/');
    const QByteArray dirPath = DirectoryOf(prefix);
    const QByteArray namePrefix = prefix.mid(slash + 1);
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return;
    while (dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, namePrefix.constData(), size_t(namePrefix.size())) == 0 &&
            std::strlen(entry->d_name) == size_t(namePrefix.size()) + 6)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

qint64 IniWallClockNs() {
    // File times come from the wall clock, so the comparison with them must too.
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now);
}

IniFileHandle &IniFileHandle::operator=(IniFileHandle &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            CloseFd(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

IniFileHandle::~IniFileHandle() {
    if (fd_ >= 0)
        CloseFd(fd_);
}

IniFileStamp IniStatFile(const IniFileHandle &file) {
    struct stat st;
    if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0 || st.st_nlink == 0)
        return {};
    return StampOf(st);
}

IniFileStamp IniStatFile(const QByteArray &path) {
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return StampOf(st);
}

namespace {

constexpr size_t kDigestSeed = 0x5bd1e995;

quint64 BlockHash(const char *data, qsizetype size) {
    return quint64(qHashBits(data, size_t(size), kDigestSeed));
}

// Reads until the buffer is full or the file ends; the bytes read, or -1 on an error.
qsizetype ReadFully(int fd, char *data, qsizetype size) {
    qsizetype used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, data + used, size_t(size - used));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        used += n;
    }
    return used;
}

// Whether what is left of the file, from its current offset, is the content known describes.
// Reads through one block-sized buffer, so a large file costs no memory of its own size.
bool HoldsKnownContent(int fd, const IniContentDigest &known) {
    QByteArray block(IniContentDigest::BlockSize, Qt::Uninitialized);
    qint64 seen = 0;
    for (const quint64 expected : known.blocks) {
        const qsizetype n = ReadFully(fd, block.data(), block.size());
        if (n <= 0 || BlockHash(block.constData(), n) != expected)
            return false;
        seen += n;
    }
    // Nothing more: the file may have grown since it was looked at.
    char extra;
    return seen == known.size && ReadFully(fd, &extra, 1) == 0;
}

// Opens a regular file for reading, never anything else: opening a FIFO for reading waits for
// a writer, for ever. Non-blocking, for the one that takes the regular file's place after the
// look. -1 when there is no such file or it cannot be read.
int OpenRegularFile(const QByteArray &path, struct stat *st) {
    if (::stat(path.constData(), st) != 0 || !S_ISREG(st->st_mode))
        return -1;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        CloseFd(fd);
        return -1;
    }
    return fd;
}

// The whole file from its start. Read to the end rather than trusting the size: a writer that
// does not replace the file may be changing it right now.
bool ReadWholeFile(int fd, qint64 sizeHint, QByteArray *bytes) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    bytes->resize(qsizetype(sizeHint) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes->size())
            bytes->resize(bytes->size() * 2);
        const qsizetype n = ReadFully(fd, bytes->data() + used, bytes->size() - used);
        if (n < 0) {
            bytes->clear();
            return false;
        }
        used += n;
        if (used < bytes->size())
            break;
    }
    bytes->resize(used);
    return true;
}

} // namespace

IniContentDigest IniContentDigest::Of(QByteArrayView bytes) {
    IniContentDigest digest;
    digest.size = bytes.size();
    digest.blocks.reserve(size_t((bytes.size() + BlockSize - 1) / BlockSize));
    for (qsizetype at = 0; at < bytes.size(); at += BlockSize)
        digest.blocks.push_back(BlockHash(bytes.data() + at, std::min(BlockSize, bytes.size() - at)));
    return digest;
}

IniFileHandle IniOpenRegularFile(const QByteArray &path) {
    struct stat st;
    return IniFileHandle(OpenRegularFile(path, &st));
}

bool IniReadFileIfChanged(const QByteArray &path, const IniContentDigest *known,
                          QByteArray *bytes, IniFileStamp *stamp, IniFileHandle *file) {
    bytes->clear();
    *stamp = {};
    *file = IniFileHandle();
    struct stat st;
    const int fd = OpenRegularFile(path, &st);
    if (fd < 0)
        return !known || known->size != 0;
    IniFileHandle opened(fd);
    const bool same = known && known->size == st.st_size && HoldsKnownContent(fd, *known);
    if (!same && !ReadWholeFile(fd, st.st_size, bytes))
        return !known || known->size != 0; // unreadable: empty, as a missing file
    *stamp = StampOf(st);
    *file = std::move(opened);
    return !same;
}

IniFileLock::IniFileLock(const QByteArray &settingsPath) {
    const QByteArray lockPath = settingsPath + ".lock";
    fd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == EACCES) // another user's lock file: flock() needs no write access
        fd_ = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            CloseFd(fd_);
            fd_ = -1;
            return;
        }
    }
}

IniFileLock::~IniFileLock() {
    if (fd_ >= 0)
        CloseFd(fd_); // closing the last descriptor releases the lock
}

bool IniMayReplace(const QByteArray &path) {
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT; // a new file
    // A FIFO, a device or a directory is never replaced by a file; a file its owner may not
    // write, or that this user may not write, is read-only, whoever could rename over it.
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) && ::access(path.constData(), W_OK) == 0;
}

QByteArray IniTemporaryPrefix(const QByteArray &path) {
    return path + ".tmp.";
}

bool IniFileHolds(const IniFileHandle &file, const IniContentDigest &known) {
    return file.IsOpen() && ::lseek(file.Fd(), 0, SEEK_SET) == 0 &&
           HoldsKnownContent(file.Fd(), known);
}

bool IniReadIfGrown(const IniFileHandle &file, qint64 size, QByteArray *bytes) {
    struct stat st;
    return file.IsOpen() && ::fstat(file.Fd(), &st) == 0 && st.st_size > size &&
           ReadWholeFile(file.Fd(), st.st_size, bytes) && bytes->size() > size;
}

IniReplaceResult IniReplaceFile(const QByteArray &path, const QByteArray &bytes,
                                const IniFileStamp &old,
                                const std::function<bool(QByteArray *addition)> &stillCurrent,
                                IniFileStamp *written, IniFileHandle *file) {
    // A settings file reached through a symbolic link is replaced where it really lives, so the
    // link survives.
    QByteArray target = path;
    struct stat lst;
    if (::lstat(path.constData(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char *real = ::realpath(path.constData(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    if (!IniMayReplace(target))
        return IniReplaceResult::Failed;
    RemoveStaleTemporaries(target);

    QByteArray temp = IniTemporaryPrefix(target) + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return IniReplaceResult::Failed;
    IniFileHandle handle(fd);
    const mode_t mode = old.exists ? mode_t(old.mode & 07777) : NewFileMode();
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes.constData(), bytes.size()) ||
        ::fsync(fd) != 0) {
        ::unlink(temp.constData());
        return IniReplaceResult::Failed;
    }
    // Asked after the flush, which takes most of the time: what remains between the question
    // and the rename is a few system calls.
    for (QByteArray addition; stillCurrent;) {
        addition.clear();
        if (!stillCurrent(&addition)) {
            ::unlink(temp.constData());
            return IniReplaceResult::Changed;
        }
        if (addition.isEmpty())
            break;
        if (!WriteAll(fd, addition.constData(), addition.size())) {
            ::unlink(temp.constData());
            return IniReplaceResult::Failed;
        }
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return IniReplaceResult::Failed;
    }
    // Stamped after the rename, which changes the file's ctime.
    *written = IniStatFile(handle);
    *file = std::move(handle);
    return IniReplaceResult::Replaced;
}
