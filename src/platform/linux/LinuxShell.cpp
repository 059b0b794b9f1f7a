// GIO first: its headers use "signals" as a name, which Qt's headers define as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/linux/LinuxShell.h"

#include "commandline/CommandLine.h"
#include "platform/linux/IcoFile.h"
#include "platform/linux/LinuxAppMenu.h"
#include "platform/linux/PeIcons.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <cstring>
#include <sys/stat.h>

namespace {

// The marker stored in place of an icon source: "never ask for an icon again", never a file.
const QString DefaultMarker = QStringLiteral("Default");

template <typename T> struct GObjectPtr {
    T *p = nullptr;
    explicit GObjectPtr(T *object) : p(object) {}
    ~GObjectPtr() {
        if (p)
            g_object_unref(p);
    }
    GObjectPtr(const GObjectPtr &) = delete;
    GObjectPtr &operator=(const GObjectPtr &) = delete;
};

QString TakeString(gchar *text) {
    const QString result = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return result;
}

QByteArray Encoded(const QString &path) {
    return QFile::encodeName(path);
}

// The file a stored word stands for, absolute: the word without its quoting, or, when that is
// no file, the program word of a stored command line ("/usr/bin/gedit --new-window").
QString FileOf(const QString &word) {
    const QString plain = UnquotePath(word);
    if (plain.isEmpty())
        return QString();
    QFileInfo info(plain);
    if (info.exists())
        return QDir::cleanPath(info.absoluteFilePath());
    const QString program = ProgramFile(word);
    if (!QDir::isAbsolutePath(program) || !QFileInfo::exists(program))
        return QString();
    return QDir::cleanPath(program);
}

bool IsRegularFile(const QString &path) {
    struct stat st;
    return ::stat(Encoded(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QByteArray Head(const QString &path, qint64 length) {
    // Only regular files: opening a FIFO or a device would block or have effects.
    if (!IsRegularFile(path))
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(length);
}

// An ELF binary or a "#!" script that may be executed runs as it is.
bool IsProgram(const QString &path) {
    if (!QFileInfo(path).isExecutable())
        return false;
    const QByteArray head = Head(path, 4);
    return head.startsWith("\x7f"
                           "ELF") ||
           head.startsWith("#!");
}

// The command line of an application (CommandOfEntry); the reason it has none in refusal when
// the user should be told.
QString CommandLineOf(GAppInfo *app, QString *refusal, const QByteArray &location = {}) {
    ProgramLookup lookup;
    const EntryCommand command = CommandOfEntry(app, lookup, location);
    if (command.noTerminal && refusal)
        *refusal = NoTerminalMessage(QString::fromUtf8(g_app_info_get_name(app)));
    return command.commandLine;
}

QString DefaultCommandForType(const char *contentType, QString *refusal) {
    if (!contentType)
        return QString();
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(contentType, FALSE));
    return app.p ? CommandLineOf(app.p, refusal) : QString();
}

// Directories that hold icon themes, in the order the icon theme rules search them.
QStringList IconDirectories() {
    QStringList dirs;
    dirs << QString::fromUtf8(g_get_user_data_dir()) + QStringLiteral("/icons")
         << QDir::homePath() + QStringLiteral("/.icons");
    for (const gchar *const *dir = g_get_system_data_dirs(); dir && *dir; ++dir)
        dirs << QString::fromUtf8(*dir) + QStringLiteral("/icons");
    return dirs;
}

// Without a desktop that names an icon theme, Qt knows only the bare "hicolor" theme, which
// lacks most common icon names. Use the system directories and the usual desktop theme then.
void PrepareIconTheme() {
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList dirs = IconDirectories();
    for (const QString &dir : dirs) {
        if (!paths.contains(dir))
            paths << dir;
    }
    QIcon::setThemeSearchPaths(paths);
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() && theme != QLatin1String("hicolor"))
        return;
    for (const QString &dir : dirs) {
        if (QFileInfo::exists(dir + QStringLiteral("/Adwaita/index.theme"))) {
            QIcon::setThemeName(QStringLiteral("Adwaita"));
            return;
        }
    }
    QIcon::setThemeName(QStringLiteral("hicolor"));
}

QIcon IconFromImage(const QImage &image) {
    // Pixmaps need the GUI application; without one there is nothing to show icons on.
    if (image.isNull() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QIcon();
    return QIcon(QPixmap::fromImage(image));
}

// One image of an .ico file or icon resource: a PNG or a DIB.
QIcon IconFromIconImage(icons::Bytes bytes) {
    if (bytes.empty())
        return QIcon();
    QImage image;
    if (icons::IsPng(bytes)) {
        QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data),
                                                  qsizetype(bytes.size));
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "png");
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > icons::MaxDimension ||
            size.height() > icons::MaxDimension)
            return QIcon();
        image = reader.read();
    } else {
        const icons::Bitmap bitmap = icons::DecodeDib(bytes);
        if (!bitmap.valid())
            return QIcon();
        image = QImage(bitmap.width, bitmap.height, QImage::Format_ARGB32);
        for (int y = 0; y < bitmap.height; ++y)
            std::memcpy(image.scanLine(y), bitmap.pixels.data() + std::size_t(y) * bitmap.width,
                        std::size_t(bitmap.width) * 4);
    }
    return IconFromImage(image);
}

// A mapped file, unmapped when it goes.
class Mapped {
public:
    explicit Mapped(const QString &path) : file_(path) {
        if (!IsRegularFile(path) || !file_.open(QIODevice::ReadOnly) || file_.size() <= 0)
            return;
        data_ = file_.map(0, file_.size());
        if (data_)
            size_ = std::size_t(file_.size());
    }
    icons::Bytes bytes() const { return {data_, size_}; }

private:
    QFile file_;
    const uchar *data_ = nullptr;
    std::size_t size_ = 0;
};

QIcon IcoFileIcon(const QString &path) {
    Mapped file(path);
    return IconFromIconImage(icons::BestIcoImage(file.bytes()));
}

// A picture file in one of the formats Qt reads (not .ico: that has its own reader).
QIcon ImageFileIcon(const QString &path) {
    QImageReader reader(path);
    const QByteArray format = reader.format();
    if (!reader.canRead() || format == "ico" || format == "cur")
        return QIcon();
    // Decoded once at the size icons are shown: buttons and the picker show them at 32 pixels,
    // twice that on a high-density screen. Large pictures are read scaled down (a photograph
    // as a button's document costs 16 KB, not megabytes), vector pictures rendered at that size.
    QSize size = reader.size();
    const bool vector = format.startsWith("svg");
    const int limit = 64;
    if (size.isValid() && (vector || size.width() > limit || size.height() > limit)) {
        size.scale(limit, limit, Qt::KeepAspectRatio);
        reader.setScaledSize(size);
    }
    return IconFromImage(reader.read());
}

const QStringList &ImageSuffixes() {
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("svg"),
                                         QStringLiteral("svgz"), QStringLiteral("xpm"),
                                         QStringLiteral("bmp"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("gif")};
    return suffixes;
}

bool IsIcoHeader(const QByteArray &head) {
    return head.size() >= 6 && head.startsWith(QByteArray("\0\0\1\0", 4)) &&
           (head[4] != 0 || head[5] != 0);
}

// An icon file named by a desktop entry or an application: an image or an .ico file.
QIcon IconFile(const QString &path) {
    if (!IsRegularFile(path))
        return QIcon();
    if (IsIcoHeader(Head(path, 6)))
        return IcoFileIcon(path);
    return ImageFileIcon(path);
}

// A named icon of the icon theme; legacy names with an image file ending are accepted, and
// names the theme lacks are looked up among the unthemed pictures.
QIcon ThemeIcon(QString name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return QIcon();
    for (const QString &suffix :
         {QStringLiteral(".png"), QStringLiteral(".svg"), QStringLiteral(".xpm")}) {
        if (name.endsWith(suffix, Qt::CaseInsensitive)) {
            name.chop(suffix.size());
            break;
        }
    }
    PrepareIconTheme();
    const QIcon icon = QIcon::fromTheme(name);
    if (!icon.isNull())
        return icon;
    QStringList dirs{QString::fromUtf8(g_get_user_data_dir())};
    for (const gchar *const *dir = g_get_system_data_dirs(); dir && *dir; ++dir)
        dirs << QString::fromUtf8(*dir);
    for (const QString &dir : dirs) {
        for (const char *suffix : {".png", ".svg", ".xpm"}) {
            const QString file = dir + QStringLiteral("/pixmaps/") + name + QLatin1String(suffix);
            if (QFileInfo::exists(file))
                return IconFile(file);
        }
    }
    return QIcon();
}

// The value of a desktop entry's Icon key: an absolute file name or a theme icon name.
QIcon IconFromIconValue(const QString &value) {
    if (value.isEmpty())
        return QIcon();
    if (QDir::isAbsolutePath(value))
        return IconFile(value);
    return ThemeIcon(value);
}

QIcon DesktopFileIcon(const QString &path) {
    GKeyFile *keys = g_key_file_new();
    QString value;
    if (g_key_file_load_from_file(keys, Encoded(path).constData(), G_KEY_FILE_NONE, nullptr))
        value =
            TakeString(g_key_file_get_locale_string(keys, G_KEY_FILE_DESKTOP_GROUP,
                                                    G_KEY_FILE_DESKTOP_KEY_ICON, nullptr, nullptr))
                .trimmed();
    g_key_file_free(keys);
    return IconFromIconValue(value);
}

LinuxShell::Kind KindOf(const QString &path) {
    const QFileInfo info(path);
    if (!IsRegularFile(path))
        return LinuxShell::Kind::None;
    const QByteArray head = Head(path, 6);
    const QString suffix = info.suffix().toLower();
    if (head.startsWith("MZ"))
        return LinuxShell::Kind::Pe;
    if (IsIcoHeader(head))
        return LinuxShell::Kind::Ico;
    if (ImageSuffixes().contains(suffix))
        return LinuxShell::Kind::Image;
    if (suffix == QLatin1String("desktop"))
        return LinuxShell::Kind::Desktop;
    if (IsProgram(path))
        return LinuxShell::Kind::Program;
    return LinuxShell::Kind::None;
}

} // namespace

LinuxShell::LinuxShell() = default;
LinuxShell::~LinuxShell() = default;

QString LinuxShell::FindExecutable(const QString &file, QString *refusal) {
    const QString path = FileOf(file);
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (info.isDir())
        return DefaultCommandForType("inode/directory", refusal);
    if (info.suffix() == QLatin1String("desktop") && IsRegularFile(path)) {
        GObjectPtr<GDesktopAppInfo> app(LoadDesktopEntry(Encoded(path)));
        return app.p ? CommandLineOf(G_APP_INFO(app.p), refusal, Encoded(path)) : QString();
    }
    if (IsProgram(path))
        return LongPath(path);
    GObjectPtr<GFile> gfile(g_file_new_for_path(Encoded(path).constData()));
    GObjectPtr<GFileInfo> gInfo(g_file_query_info(gfile.p, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                  G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    if (!gInfo.p)
        return QString();
    return DefaultCommandForType(g_file_info_get_content_type(gInfo.p), refusal);
}

LinuxShell::Cached *LinuxShell::Lookup(const QString &path) {
    struct stat st;
    if (path.isEmpty() || ::stat(Encoded(path).constData(), &st) != 0)
        return nullptr;
    const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    Cached &entry = cache_[path];
    if (entry.size != qint64(st.st_size) || entry.modified != modified) {
        entry = Cached();
        entry.size = qint64(st.st_size);
        entry.modified = modified;
        entry.kind = KindOf(path);
    }
    return &entry;
}

int LinuxShell::IconCount(const QString &file) {
    if (file.trimmed() == DefaultMarker)
        return 0;
    const QString path = FileOf(file);
    Cached *entry = Lookup(path);
    if (!entry)
        return 0;
    if (entry->count >= 0)
        return entry->count;
    if (entry->kind == Kind::Pe) {
        Mapped mapped(path);
        entry->count = icons::PeIcons(mapped.bytes()).GroupCount();
    } else {
        // Other files hold one icon when it can be read; reading it now keeps it for later.
        if (!entry->icons.contains(0))
            entry->icons.insert(0, ReadIcon(path, entry->kind, 0));
        entry->count = entry->icons.value(0).isNull() ? 0 : 1;
    }
    return entry->count;
}

QIcon LinuxShell::ExtractIcon(const QString &file, int index) {
    // The marker is no file (not even one of that name in the current directory): extracting
    // from it fails, so a button marked so shows its program's icon once it has one, and the
    // built-in icon only while it has none.
    if (file.trimmed() == DefaultMarker)
        return QIcon();
    const QString path = FileOf(file);
    Cached *entry = Lookup(path);
    if (!entry || index < 0 || entry->kind == Kind::None)
        return QIcon();
    if (entry->count >= 0 && index >= entry->count)
        return QIcon();
    if (const auto found = entry->icons.constFind(index); found != entry->icons.constEnd())
        return *found;
    const QIcon icon = ReadIcon(path, entry->kind, index);
    entry->icons.insert(index, icon);
    return icon;
}

QIcon LinuxShell::ReadIcon(const QString &path, Kind kind, int index) {
    if (kind == Kind::Pe) {
        Mapped mapped(path);
        return IconFromIconImage(icons::PeIcons(mapped.bytes()).GroupImage(index));
    }
    if (index != 0)
        return QIcon();
    switch (kind) {
    case Kind::Ico:
        return IcoFileIcon(path);
    case Kind::Image:
        return ImageFileIcon(path);
    case Kind::Desktop:
        return DesktopFileIcon(path);
    case Kind::Program:
        return ProgramIcon(path);
    default:
        return QIcon();
    }
}

void LinuxShell::UseProgramIcons(ProgramIcons icons) {
    programIcons_ = std::move(icons);
    programIconsRead_ = true;
}

QIcon LinuxShell::ProgramIcon(const QString &path) {
    if (!programIconsRead_) {
        programIconsRead_ = true;
        // Many entries run the same program: each is looked for in PATH and resolved once.
        ProgramLookup lookup;
        QHash<QString, QString> canonical;
        ForEachDesktopEntry([&](const QByteArray &, const QByteArray &, GDesktopAppInfo *desktop) {
            GAppInfo *app = G_APP_INFO(desktop);
            const QString program = CommandOfEntry(app, lookup).program;
            if (program.isEmpty())
                return;
            auto known = canonical.constFind(program);
            if (known == canonical.constEnd())
                known = canonical.insert(program, QFileInfo(program).canonicalFilePath());
            programIcons_.Add(*known, IconValueOf(g_app_info_get_icon(app)),
                              g_app_info_should_show(app));
        });
    }
    const QFileInfo info(path);
    const QString value = programIcons_.Of(info.canonicalFilePath());
    if (!value.isEmpty()) {
        const QIcon icon = IconFromIconValue(value);
        if (!icon.isNull())
            return icon;
    }
    return ThemeIcon(info.fileName());
}
