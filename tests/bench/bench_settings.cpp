// Settings-file parser benchmark: time and memory to read one value from files that repeat
// things, and the cost of writing one key to the largest of them.
//
//   bench_settings
//
// Each file is parsed in a fresh child process, so its memory figures are its own: resident
// memory before the read, after it (the parse kept) and the peak, against the file's size.
// Prints figures; judges nothing.

#include "settings/NewIniFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// VmRSS or VmHWM of this process in MB.
double Memory(const char *field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    }
    return 0;
}

QByteArray RepeatedSection(int times) {
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += "[Programs]\r\nSpeedButton1=/usr/bin/xterm\r\n";
    return out;
}

QByteArray RepeatedKey(int times) {
    QByteArray out = "[Programs]\r\n";
    for (int i = 0; i < times; ++i)
        out += "SpeedButton1=/usr/bin/xterm\r\n";
    return out;
}

// Pages of 21 buttons, each with its program, icon, description, directory and options.
QByteArray Plausible(qsizetype bytes) {
    QByteArray out;
    out.reserve(bytes + 4096);
    out += "[Pages]\r\nCount=9999\r\n";
    for (int page = 1; out.size() < bytes; ++page) {
        out += "[Page" + QByteArray::number(page) + "]\r\nName=Page " + QByteArray::number(page) +
               "\r\n";
        for (int b = 1; b <= 21; ++b) {
            const QByteArray n = QByteArray::number(b);
            out += "SpeedButton" + n + "=/usr/bin/program-" + QByteArray::number(page * 21 + b) +
                   " --option\r\n";
            out += "SpeedButton" + n + "Icon=/usr/share/icons/Adwaita/32x32/apps/app-" + n +
                   ".png\r\n";
            out += "SpeedButton" + n + "Hint=Program number " + n + " of page " +
                   QByteArray::number(page) + "\r\n";
            out += "SpeedButton" + n + "Dir=/home/user/work\r\n";
            out += "SpeedButton" + n + "Options=0\r\n";
        }
    }
    return out;
}

// The child: reads a value that is not there (the whole file is parsed), then writes a key.
int Measure(const QString &path) {
    const double before = Memory("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    TNewIniFile file(path);
    file.ReadString(QStringLiteral("Programs"), QStringLiteral("Missing"), QString());
    const double parseMs = timer.nsecsElapsed() / 1e6;
    const double after = Memory("VmRSS:");
    const double peak = Memory("VmHWM:");
    timer.restart();
    file.WriteString(QStringLiteral("Programs"), QStringLiteral("Added"), QStringLiteral("1"));
    const double writeMs = timer.nsecsElapsed() / 1e6;
    const double size = QFile(path).size() / 1048576.0;
    std::printf("%-28s %7.1f MB  parse %9.1f ms  resident +%6.1f MB (%.2f x)  peak %6.1f MB "
                "(%.2f x)  write one key %8.1f ms\n",
                qPrintable(QFile(path).fileName().section(u'/', -1)), size, parseMs,
                after - before, (after - before) / size, peak, peak / size, writeMs);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0)
        return Measure(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    const struct {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"section-100000x.ini", RepeatedSection(100000)},
        {"key-100000x.ini", RepeatedKey(100000)},
        {"plausible-50MB.ini", Plausible(50 << 20)},
    };
    for (const auto &c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(c.bytes) != c.bytes.size())
            return 1;
        out.close();
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            const QByteArray native = QFile::encodeName(path);
            ::execl("/proc/self/exe", argv[0], "--measure", native.constData(), nullptr);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    return 0;
}
