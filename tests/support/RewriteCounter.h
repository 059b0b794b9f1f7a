#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <sys/inotify.h>
#include <unistd.h>

// Counts the times a file is replaced by a rename, which is how every rewrite of the settings
// file lands, and (with inPlaceWrites) the times it is written in place, which no rewrite may do.
class RewriteCounter {
public:
    explicit RewriteCounter(const QString &filePath, bool inPlaceWrites = true)
        : name_(QFile::encodeName(QFileInfo(filePath).fileName())) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, QFile::encodeName(QFileInfo(filePath).absolutePath()).constData(),
                          inPlaceWrites ? IN_MOVED_TO | IN_CLOSE_WRITE : IN_MOVED_TO);
    }
    ~RewriteCounter() { ::close(fd_); }
    RewriteCounter(const RewriteCounter &) = delete;
    RewriteCounter &operator=(const RewriteCounter &) = delete;

    int Count() {
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char *p = buffer; p < buffer + n;) {
                auto *event = reinterpret_cast<inotify_event *>(p);
                if (event->len && name_ == event->name)
                    ++count_;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return count_;
    }

private:
    int fd_ = -1;
    int count_ = 0;
    QByteArray name_;
};
