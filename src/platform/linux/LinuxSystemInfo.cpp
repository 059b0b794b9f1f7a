#include "platform/linux/LinuxSystemInfo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <set>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

std::optional<MemoryStatus> ParseMemInfo(const QByteArray &meminfo) {
    // Values are in kB. MemAvailable exists since Linux 3.14; before it, free + buffers + cache
    // is the usual estimate.
    std::optional<quint64> total, available;
    quint64 freeKb = 0, buffers = 0, cached = 0;
    // Walked in place: the gauge reads this file once a second.
    const char *p = meminfo.constData();
    const char *const end = p + meminfo.size();
    while (p < end) {
        const char *lineEnd = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        const char *colon = static_cast<const char *>(memchr(p, ':', size_t(lineEnd - p)));
        if (colon && colon > p) {
            const QByteArrayView key = QByteArrayView(p, colon - p).trimmed();
            const char *digits = colon + 1;
            while (digits < lineEnd && (*digits == ' ' || *digits == '\t'))
                ++digits;
            const char *digitsEnd = digits;
            while (digitsEnd < lineEnd && *digitsEnd >= '0' && *digitsEnd <= '9')
                ++digitsEnd;
            bool ok = false;
            const quint64 value = QByteArrayView(digits, digitsEnd - digits).toULongLong(&ok);
            const bool wordEnds = digitsEnd == lineEnd || *digitsEnd == ' ' || *digitsEnd == '\t' ||
                                  *digitsEnd == '\r';
            if (ok && wordEnds) {
                if (key == "MemTotal")
                    total = value;
                else if (key == "MemAvailable")
                    available = value;
                else if (key == "MemFree")
                    freeKb = value;
                else if (key == "Buffers")
                    buffers = value;
                else if (key == "Cached")
                    cached = value;
            }
        }
        p = lineEnd + 1;
    }
    if (!total || *total == 0)
        return std::nullopt;
    quint64 avail = available ? *available : freeKb + buffers + cached;
    avail = std::min(avail, *total);
    MemoryStatus status;
    status.load = int((100 * (*total - avail)) / *total);
    status.totalPhys = *total * 1024;
    return status;
}

// The mount table writes blanks, tabs, newlines and backslashes in paths as \ooo.
static QString DecodeMountField(const QByteArray &field) {
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

static bool IsCdType(const QByteArray &type) { return type == "iso9660" || type == "udf"; }

static bool IsNetworkType(const QByteArray &type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" ||
           type == "sshfs" || type == "fuse.sshfs";
}

static bool IsUnder(const QString &path, const QString &tree) {
    return path == tree || path.startsWith(tree + QLatin1Char('/'));
}

QList<DriveMount> MountedFilesystems(const QByteArray &mountinfo) {
    struct Candidate {
        QString mountPoint;
        QString device;
        QString root;
        bool network;
        bool mayBlock;
        DriveType type;
    };
    QList<Candidate> candidates;
    QString rootDevice;
    for (const QByteArray &line : mountinfo.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        const int dash = f.indexOf("-");
        if (f.size() < 10 || dash < 6 || dash + 2 >= f.size())
            continue;
        const QString device = QString::fromLatin1(f[2]);
        const QString root = DecodeMountField(f[3]);
        const QString mountPoint = DecodeMountField(f[4]);
        const QByteArray type = f[dash + 1];
        const QByteArray source = f[dash + 2];
        if (mountPoint == QLatin1String("/")) {
            rootDevice = device;
            continue;
        }
        const bool network = IsNetworkType(type);
        if (!network && !source.startsWith("/dev/"))
            continue; // pseudo filesystems: proc, sysfs, tmpfs, cgroup, overlay ...
        if (type == "squashfs")
            continue; // snap packages and live images: read-only, always full
        static const char *const hidden[] = {"/boot", "/proc", "/sys", "/dev", "/run", "/snap"};
        if (std::any_of(std::begin(hidden), std::end(hidden),
                        [&](const char *t) { return IsUnder(mountPoint, QLatin1String(t)); }))
            continue;
        const bool mayBlock = network || type.startsWith("fuse");
        const DriveType kind = network ? DriveType::Remote : IsCdType(type) ? DriveType::CdRom : DriveType::Fixed;
        candidates.append({mountPoint, device, root, network, mayBlock, kind});
    }
    // Free space belongs to a filesystem, not to a mount: a filesystem mounted in several places
    // (bind mounts, btrfs subvolumes) is one drive, at the mount of its whole tree when there
    // is one, else at its first mount point. One on the same device as "/" is drive C itself.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        const bool aWhole = a.root == QLatin1String("/"), bWhole = b.root == QLatin1String("/");
        return aWhole != bWhole ? aWhole : a.mountPoint < b.mountPoint;
    });
    QList<Candidate> chosen;
    QStringList devices{rootDevice};
    for (const Candidate &c : candidates) {
        if (devices.contains(c.device))
            continue;
        devices.append(c.device);
        chosen.append(c);
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const Candidate &a, const Candidate &b) { return a.mountPoint < b.mountPoint; });

    QList<DriveMount> drives;
    drives.append({QChar(), QStringLiteral("/"), rootDevice, false, false, DriveType::Fixed});
    for (const Candidate &c : chosen)
        drives.append({QChar(), c.mountPoint, c.device, c.network, c.mayBlock, c.type});
    return drives;
}

QList<DriveMount> DriveLetters::Assign(const QList<DriveMount> &mounts) {
    std::set<QChar> given; // the letters of any mount point seen, mounted or not
    for (const auto &[mountPoint, letter] : letters_)
        given.insert(letter);
    std::set<QChar> taken; // the letters of the mounts now
    QList<DriveMount> lettered;
    QList<DriveMount> newcomers;
    std::set<QString> places;
    for (DriveMount mount : mounts) {
        // One mounted over another at the same place: only one of them can be seen there.
        if (!places.insert(mount.mountPoint).second)
            continue;
        if (mount.mountPoint == QLatin1String("/"))
            mount.letter = QLatin1Char('C');
        else if (auto known = letters_.find(mount.mountPoint); known != letters_.end())
            mount.letter = known->second;
        else {
            newcomers.append(mount);
            continue;
        }
        taken.insert(mount.letter);
        letters_[mount.mountPoint] = mount.letter;
        lettered.append(mount);
    }
    auto lowest = [&](bool neverGiven) {
        for (char16_t c = u'D'; c <= u'Z'; ++c)
            if (!taken.count(QChar(c)) && (!neverGiven || !given.count(QChar(c))))
                return QChar(c);
        return QChar();
    };
    for (DriveMount mount : newcomers) {
        mount.letter = lowest(true);
        if (mount.letter.isNull()) {
            mount.letter = lowest(false);
            if (mount.letter.isNull())
                break;
            std::erase_if(letters_,
                          [&](const auto &entry) { return entry.second == mount.letter; });
        }
        taken.insert(mount.letter);
        given.insert(mount.letter);
        letters_[mount.mountPoint] = mount.letter;
        lettered.append(mount);
    }
    std::sort(lettered.begin(), lettered.end(),
              [](const DriveMount &a, const DriveMount &b) { return a.letter < b.letter; });
    return lettered;
}

QList<DriveMount> ParseMountInfo(const QByteArray &mountinfo) {
    return DriveLetters().Assign(MountedFilesystems(mountinfo));
}

static QByteArray ReadProcFile(const char *path) {
    // /proc files report a size of 0, so read until the end rather than by size.
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// What the block device says of itself: removable media (USB sticks, card readers, optical
// drives) carry the flag on the disk, and a partition's own directory has none, so look at its
// parent as well; RAM disks and compressed RAM are told by their names.
static DriveType DeviceType(const QString &device) {
    if (device.isEmpty())
        return DriveType::Fixed;
    const QString dir = QFileInfo(QStringLiteral("/sys/dev/block/") + device).canonicalFilePath();
    if (dir.isEmpty())
        return DriveType::Fixed;
    const QString name = QFileInfo(dir).fileName();
    if (name.startsWith(QLatin1String("ram")) || name.startsWith(QLatin1String("zram")))
        return DriveType::RamDisk;
    if (name.startsWith(QLatin1String("sr")))
        return DriveType::CdRom;
    for (const QString &candidate :
         {dir + QStringLiteral("/removable"), dir + QStringLiteral("/../removable")}) {
        QFile flag(candidate);
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1" ? DriveType::Removable : DriveType::Fixed;
    }
    return DriveType::Fixed;
}

static std::optional<FilesystemFigures::Figures> StatFilesystem(const QByteArray &path) {
    struct statvfs st {};
    if (::statvfs(path.constData(), &st) != 0)
        return std::nullopt;
    const quint64 unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    // Free is what an ordinary user may still write, as a file manager reports it.
    return FilesystemFigures::Figures{quint64(st.f_blocks) * unit, quint64(st.f_bavail) * unit};
}

struct FilesystemFigures::Waiting {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    std::optional<Figures> figures;
};

std::optional<FilesystemFigures::Figures> FilesystemFigures::Ask(const QString &mountPoint, bool mayBlock) {
    const QByteArray path = QFile::encodeName(mountPoint);
    auto ask = query ? query : StatFilesystem;
    if (!mayBlock)
        return ask(path);
    std::shared_ptr<Waiting> waiting;
    std::chrono::milliseconds limit(limitMs_);
    if (auto it = waiting_.find(mountPoint); it != waiting_.end()) {
        waiting = it->second; // asked before and not answered then: look, but do not wait again
        limit = std::chrono::milliseconds(0);
    } else {
        waiting = std::make_shared<Waiting>();
        waiting_[mountPoint] = waiting;
        // The thread owns its share of the answer, so a question that never returns costs
        // one sleeping thread and nothing else.
        std::thread([waiting, path, ask] {
            std::optional<Figures> figures = ask(path);
            std::lock_guard<std::mutex> lock(waiting->mutex);
            waiting->figures = figures;
            waiting->done = true;
            waiting->answered.notify_all();
        }).detach();
    }
    std::unique_lock<std::mutex> lock(waiting->mutex);
    if (!waiting->answered.wait_for(lock, limit, [&] { return waiting->done; }))
        return std::nullopt;
    const std::optional<Figures> figures = waiting->figures;
    lock.unlock();
    waiting_.erase(mountPoint);
    return figures;
}

LinuxSystemInfo::LinuxSystemInfo() = default;

LinuxSystemInfo::~LinuxSystemInfo() {
    if (mountTable_ >= 0)
        ::close(mountTable_);
}

const QList<DriveMount> &LinuxSystemInfo::Mounts() {
    // The kernel marks the mount table with an exceptional condition after every change, so
    // a tick costs one poll rather than a read and parse of the whole table.
    bool changed = !mountsRead_;
    if (mountTable_ < 0) {
        mountTable_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        changed = true;
    } else {
        pollfd poll{mountTable_, POLLPRI, 0};
        if (::poll(&poll, 1, 0) > 0 && (poll.revents & (POLLPRI | POLLERR)))
            changed = true;
    }
    if (!changed)
        return mounts_;
    QByteArray text;
    if (mountTable_ >= 0 && ::lseek(mountTable_, 0, SEEK_SET) == 0) {
        char buffer[16384];
        for (ssize_t n; (n = ::read(mountTable_, buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
    } else {
        text = ReadProcFile("/proc/self/mountinfo");
    }
    mounts_ = letters_.Assign(MountedFilesystems(text));
    for (DriveMount &mount : mounts_)
        if (mount.type == DriveType::Fixed && !mount.network)
            mount.type = DeviceType(mount.device);
    mountsRead_ = true;
    return mounts_;
}

DriveInfo LinuxSystemInfo::Measure(const DriveMount &mount) {
    DriveInfo info;
    info.letter = mount.letter;
    info.mountPoint = mount.mountPoint;
    info.type = mount.type;
    if (const auto figures = figures_.Ask(mount.mountPoint, mount.mayBlock)) {
        info.total = figures->total;
        info.free = figures->free;
    }
    return info;
}

MemoryStatus LinuxSystemInfo::Memory() {
    // Read with plain calls into a buffer on the stack: the file is a few kilobytes.
    char buffer[16384];
    qsizetype size = 0;
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return MemoryStatus{};
    for (ssize_t n; size < qsizetype(sizeof buffer) &&
                    (n = ::read(fd, buffer + size, sizeof buffer - size_t(size))) > 0;)
        size += n;
    ::close(fd);
    return ParseMemInfo(QByteArray::fromRawData(buffer, size)).value_or(MemoryStatus{});
}

QList<DriveInfo> LinuxSystemInfo::Drives() {
    QList<DriveInfo> drives;
    for (const DriveMount &mount : Mounts())
        drives.append(Measure(mount));
    return drives;
}

DriveInfo LinuxSystemInfo::Drive(QChar letter) {
    for (const DriveMount &mount : Mounts())
        if (mount.letter == letter)
            return Measure(mount);
    DriveInfo none;
    none.letter = letter;
    none.type = DriveType::NoRootDir;
    return none;
}

QChar LinuxSystemInfo::LetterOf(const QString &mountPoint) {
    for (const DriveMount &mount : Mounts())
        if (mount.mountPoint == mountPoint)
            return mount.letter;
    return QChar();
}

QString LinuxSystemInfo::UserName() {
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QFile::decodeName(pw->pw_name);
    return qEnvironmentVariable("USER");
}

int LinuxSystemInfo::ScreenHeight() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

int LinuxSystemInfo::UsableScreenWidth() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 0;
}

int LinuxSystemInfo::MenuBarHeight() {
    const QStyle *style = qobject_cast<QApplication *>(QCoreApplication::instance())
                              ? QApplication::style()
                              : nullptr;
    const int height = style ? style->pixelMetric(QStyle::PM_TitleBarHeight) : 0;
    return height > 0 ? height : 19;
}

QList<QRect> LinuxSystemInfo::Screens() {
    QList<QRect> screens;
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screens.append(primary->geometry());
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens.append(screen->geometry());
    return screens;
}
