#include "platform/linux/LinuxSystemInfo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

std::optional<MemoryStatus> ParseMemInfo(const QByteArray &meminfo) {
    // Values are in kB. MemAvailable exists since Linux 3.14; before it, free + buffers + cache
    // is the usual estimate.
    std::optional<quint64> total, available;
    quint64 freeKb = 0, buffers = 0, cached = 0;
    for (const QByteArray &line : meminfo.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.left(colon).trimmed();
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const quint64 value = words.value(0).toULongLong(&ok);
        if (!ok)
            continue;
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

static bool IsNetworkType(const QByteArray &type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" ||
           type == "sshfs" || type == "fuse.sshfs";
}

static bool IsUnder(const QString &path, const QString &tree) {
    return path == tree || path.startsWith(tree + QLatin1Char('/'));
}

QList<DriveMount> ParseMountInfo(const QByteArray &mountinfo) {
    struct Candidate {
        QString mountPoint;
        QString device;
        QString root;
        bool network;
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
        candidates.append({mountPoint, device, root, network});
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
    drives.append({QLatin1Char('C'), QStringLiteral("/"), rootDevice, false});
    for (const Candidate &c : chosen) {
        const QChar letter(char16_t(u'C' + drives.size()));
        if (letter > QLatin1Char('Z'))
            break;
        drives.append({letter, c.mountPoint, c.device, c.network});
    }
    return drives;
}

static QByteArray ReadProcFile(const char *path) {
    // /proc files report a size of 0, so read until the end rather than by size.
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Removable media (USB sticks, card readers, optical drives) carry the flag on the disk; a
// partition's own directory has none, so look at its parent as well.
static bool IsRemovable(const QString &device) {
    if (device.isEmpty())
        return false;
    const QString dir = QFileInfo(QStringLiteral("/sys/dev/block/") + device).canonicalFilePath();
    if (dir.isEmpty())
        return false;
    for (const QString &candidate :
         {dir + QStringLiteral("/removable"), dir + QStringLiteral("/../removable")}) {
        QFile flag(candidate);
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

MemoryStatus LinuxSystemInfo::Memory() {
    return ParseMemInfo(ReadProcFile("/proc/meminfo")).value_or(MemoryStatus{});
}

QList<DriveInfo> LinuxSystemInfo::Drives() {
    QList<DriveInfo> drives;
    for (const DriveMount &mount : ParseMountInfo(ReadProcFile("/proc/self/mountinfo"))) {
        DriveInfo info;
        info.letter = mount.letter;
        info.mountPoint = mount.mountPoint;
        struct statvfs st {};
        if (::statvfs(QFile::encodeName(mount.mountPoint).constData(), &st) == 0) {
            const quint64 unit = st.f_frsize ? st.f_frsize : st.f_bsize;
            info.total = quint64(st.f_blocks) * unit;
            // What an ordinary user may still write, as a file manager reports it.
            info.free = quint64(st.f_bavail) * unit;
        }
        info.removable = !mount.network && IsRemovable(mount.device);
        drives.append(info);
    }
    return drives;
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
