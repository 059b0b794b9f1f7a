#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

// Puts together the startup notification messages that clients send to the root window. A
// message comes in pieces of 20 bytes, the first as _NET_STARTUP_INFO_BEGIN and the others as
// _NET_STARTUP_INFO, all signed with the sender's window, and ends with a NUL. Any client may
// send them, and as many as it likes, so what waits here is bounded: at most kMaxUnfinished
// messages wait for their end (a new one pushes out the one that has waited longest for a
// piece), and a message ends at kMaxLength bytes whether its NUL came or not.
class StartupMessageAssembler {
public:
    static constexpr int kMaxUnfinished = 64;
    static constexpr qsizetype kMaxLength = 4096;

    // One piece from window; begins: it came as _NET_STARTUP_INFO_BEGIN. Gives the whole
    // message when this piece ends one. A piece that continues no message is dropped.
    std::optional<QByteArray> Add(quint32 window, bool begins, QByteArrayView piece);

    int Unfinished() const { return int(unfinished_.size()); }

private:
    struct Message {
        quint32 window = 0;
        QByteArray text;
    };
    std::vector<Message> unfinished_; // the one that has waited longest first
};
