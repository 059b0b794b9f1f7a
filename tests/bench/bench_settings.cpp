// Settings-file benchmark: time and memory to read one value from files that repeat things,
// the cost of writing one key to the largest of them, and the sections an outside program
// loses when it appends to the file in place, without the lock, while three copies write.
//
//   bench_settings [--appender-rounds N]
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
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// A copy of the bar in shared mode: changes its own key one write at a time, pauseMs apart on
// average (0: as fast as it can), until the stop file appears. Prints the number of writes.
int RunCopy(const QString &path, const QString &name, const QString &stopFile, int pauseMs) {
    QRandomGenerator random(quint32(name.size() + pauseMs));
    std::printf("running\n");
    std::fflush(stdout);
    int writes = 0;
    try {
        while (!QFile::exists(stopFile)) {
            ++writes;
            TNewIniFile(path).WriteInteger(QStringLiteral("Location"), name, writes);
            if (pauseMs > 0)
                QThread::msleep(random.bounded(2 * pauseMs + 1));
        }
    } catch (const SettingsWriteError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::printf("%d\n", writes);
    return 0;
}

// The outside program: appends count sections to the file in place, each with one write and
// without the lock, a moment (up to 2 ms) apart.
int RunAppender(const QString &path, int count) {
    const QByteArray native = QFile::encodeName(path);
    QRandomGenerator random(count);
    for (int i = 1; i <= count; ++i) {
        const QByteArray section =
            "[Outside" + QByteArray::number(i) + "]\r\nValue=" + QByteArray::number(i) + "\r\n";
        const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 || ::write(fd, section.constData(), size_t(section.size())) != section.size())
            return 2;
        ::close(fd);
        QThread::usleep(random.bounded(2000));
    }
    return 0;
}

// One round: three copies write while the outside program appends 300 sections; the sections
// the file holds afterwards, and the copies' writes.
void MeasureAppender(const QString &self, int pauseMs, int round) {
    constexpr int kSections = 300;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("OV.INI"));
    const QString stop = dir.filePath(QStringLiteral("stop"));
    {
        QFile seed(path);
        const QByteArray bytes = QByteArray::fromStdString(bench::FullSettings());
        if (!seed.open(QIODevice::WriteOnly) || seed.write(bytes) != bytes.size())
            return;
    }
    QProcess copies[3];
    for (int i = 0; i < 3; ++i) {
        copies[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copies[i].start(self, {QStringLiteral("--copy"), path, QStringLiteral("Copy%1").arg(i),
                               stop, QString::number(pauseMs)});
        copies[i].waitForReadyRead(30000);
        copies[i].readLine();
    }
    QElapsedTimer timer;
    timer.start();
    QProcess appender;
    appender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    appender.start(self, {QStringLiteral("--appender"), path, QString::number(kSections)});
    appender.waitForFinished(120000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile(stop).open(QIODevice::WriteOnly);
    long writes = 0;
    for (QProcess &copy : copies) {
        copy.waitForFinished(60000);
        writes += copy.readAllStandardOutput().trimmed().toLong();
    }
    const TNewIniFile file(path);
    int lost = 0;
    for (int i = 1; i <= kSections; ++i) {
        if (file.ReadInteger(QStringLiteral("Outside%1").arg(i), QStringLiteral("Value"), 0) != i)
            ++lost;
    }
    std::printf(
        "copies pausing %3d ms, round %d: %3d of %d sections lost (%.1f %%), copies %ld writes in "
        "%.2f s (%.0f a second)\n",
        pauseMs, round, lost, kSections, 100.0 * lost / kSections, writes, seconds,
        writes / seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0)
        return Measure(QString::fromLocal8Bit(argv[2]));
    if (argc == 6 && std::strcmp(argv[1], "--copy") == 0)
        return RunCopy(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                       QString::fromLocal8Bit(argv[4]), std::atoi(argv[5]));
    if (argc == 4 && std::strcmp(argv[1], "--appender") == 0)
        return RunAppender(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    int appenderRounds = 5;
    if (argc == 3 && std::strcmp(argv[1], "--appender-rounds") == 0)
        appenderRounds = std::atoi(argv[2]);

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
    std::printf("\n");
    // Copies that write now and then (a bar moved or changed about ten times a second), and
    // copies that write without a pause.
    for (const int pauseMs : {100, 0}) {
        for (int round = 1; round <= appenderRounds; ++round)
            MeasureAppender(QCoreApplication::applicationFilePath(), pauseMs, round);
    }
    return 0;
}
