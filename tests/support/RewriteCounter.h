#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <sys/inotify.h>
#include <unistd.h>

// Counts the times a file is replaced by a rename, which is how every rewrite of the settings
// file lands, and (with inPlaceWrites) the times it is written in place, which no rewrite may do.
// Opens() counts the times the file is opened instead: how often it is read.
class RewriteCounter {
public:
    explicit RewriteCounter(const QString &filePath, bool inPlaceWrites = true)
        : RewriteCounter(filePath, Events{inPlaceWrites ? IN_MOVED_TO | IN_CLOSE_WRITE
                                                        : quint32(IN_MOVED_TO)}) {}
    static RewriteCounter Opens(const QString &filePath) {
        return RewriteCounter(filePath, Events{IN_OPEN});
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
    struct Events {
        quint32 mask;
    };
    RewriteCounter(const QString &filePath, Events events)
        : name_(QFile::encodeName(QFileInfo(filePath).fileName())) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, QFile::encodeName(QFileInfo(filePath).absolutePath()).constData(),
                          events.mask);
    }

    int fd_ = -1;
    int count_ = 0;
    QByteArray name_;
};
