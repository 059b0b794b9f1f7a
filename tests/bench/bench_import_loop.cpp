// The application import over an applications folder with a symbolic-link loop in it
// (applications/sub/loop -> ..): the buttons it writes, the time to its answer, and the memory
// and processor time of the process in the seconds after the answer (a listing given up on
// must not go on growing).
//
//   bench_import_loop [--limit MS] [ENTRIES...]      (default: 10000 ms; 20 3000 entries)
//
// Each count runs in a fresh process of its own (GIO keeps what it has read for the life of a
// process), with the given time limit for the listing (the import's own is 10 s; a short one
// shows what a listing given up on does afterwards). Prints figures; judges nothing.
#include "platform/linux/LinuxAppMenu.h"
#include "progman/Progman.h"
#include "settings/NewIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

double ResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Child: one import into a new settings file; prints its figures on one line.
int ImportChild(const QString &settings, int limitMs) {
    LinuxAppMenu menu(limitMs);
    TNewIniFile ini(settings);
    QElapsedTimer timer;
    timer.start();
    const ProgmanImport result = ImportFromAppMenu(menu, ini, 21);
    const double ms = timer.nsecsElapsed() / 1e6;
    const double rssAtAnswer = ResidentMb();
    const double cpuAtAnswer = CpuSeconds();
    QThread::sleep(5);
    QTextStream(stdout) << result.buttons << " buttons" << (result.reached ? ", " : " (no reply), ")
                        << ms << " ms, " << rssAtAnswer << " MB at the answer, " << ResidentMb()
                        << " MB 5 s later, " << (CpuSeconds() - cpuAtAnswer)
                        << " s of processor in those 5 s\n";
    QTextStream(stdout).flush();
    _exit(0); // a listing thread may still be running
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return ImportChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    QList<int> counts;
    int limitMs = 10000;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--limit") == 0 && i + 1 < argc)
            limitMs = QByteArray(argv[++i]).toInt();
        else
            counts << QByteArray(argv[i]).toInt();
    }
    if (counts.isEmpty())
        counts = {20, 3000};
    for (const int count : counts) {
        for (const bool loop : {false, true}) {
            QTemporaryDir root;
            const QString applications = root.filePath(QStringLiteral("data/applications"));
            for (int n = 0; n < count; ++n)
                WriteFile(applications + QStringLiteral("/tool%1.desktop").arg(n),
                          "[Desktop Entry]\nType=Application\nName=Tool " + QByteArray::number(n) +
                              "\nExec=true --item " + QByteArray::number(n) +
                              " %U\nCategories=Utility;\n");
            QDir().mkpath(applications + QStringLiteral("/sub"));
            if (loop)
                QFile::link(QStringLiteral(".."), applications + QStringLiteral("/sub/loop"));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
            env.insert(QStringLiteral("XDG_DATA_DIRS"), root.filePath(QStringLiteral("none")));
            QProcess child;
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), root.filePath(QStringLiteral("OV.INI")),
                         QString::number(limitMs)});
            child.waitForFinished(120000);
            QTextStream(stdout) << count << " entries" << (loop ? " with the loop" : "") << ": "
                                << child.readAllStandardOutput().trimmed() << '\n';
        }
    }
    return 0;
}
