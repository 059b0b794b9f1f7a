#pragma once

// Measuring helpers the benchmarks share.

#include "BenchCommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace bench {

// Milliseconds for an operation and the events it leaves behind (deleted pages, painting).
inline double Time(const std::function<void()> &operation) {
    QElapsedTimer timer;
    timer.start();
    operation();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

inline bool WriteFile(const QString &path, const std::string &text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// The clock the launched benchmark program reads (CLOCK_MONOTONIC), in nanoseconds.
inline qint64 NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The next clock reading a launched program wrote to the pipe, or -1 when none came within five
// seconds (a start that failed must not hang the benchmark).
inline qint64 ReadStart(int fd) {
    std::string line;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0)
            return -1;
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return -1;
        if (c == '\n')
            return std::stoll(line);
        line += c;
    }
}

} // namespace bench
