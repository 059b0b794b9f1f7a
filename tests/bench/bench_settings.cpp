// Settings-file parser benchmark: time and memory to read one value from files that repeat
// things, and the cost of writing one key to the largest of them.
//
//   bench_settings
//
// Each file is parsed in a fresh child process, so its memory figures are its own: resident
// memory before the read, after it (the parse kept) and the peak, against the file's size.
// Prints figures; judges nothing.

#include "BenchCommon.h"
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
        {"section-100000x.ini", QByteArray::fromStdString(bench::RepeatedSection(100000))},
        {"key-100000x.ini", QByteArray::fromStdString(bench::RepeatedKey(100000))},
        {"plausible-50MB.ini", QByteArray::fromStdString(bench::PlausibleSettings(50 << 20))},
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
