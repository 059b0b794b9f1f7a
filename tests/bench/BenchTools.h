#pragma once

// Measuring helpers the benchmarks share.

#include "BenchCommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <algorithm>
#include <functional>
#include <string>
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

} // namespace bench
