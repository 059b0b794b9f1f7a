#pragma once

#include "platform/WindowPlacement.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

class QTimer;

// sway's IPC (the i3 protocol on the socket in SWAYSOCK): a message is "i3-ipc", the payload's
// length and the message type (both 32-bit, native byte order), then the payload.
namespace swayipc {
constexpr quint32 kRunCommand = 0;
constexpr quint32 kGetTree = 4;
QByteArray Message(quint32 type, const QByteArray &payload);
// Sends one message and reads its reply's payload; nothing when the socket does not answer
// within timeoutMs (counted for the whole exchange) or answers something else.
std::optional<QByteArray> Exchange(const QString &socketPath, quint32 type,
                                   const QByteArray &payload, int timeoutMs);
// True when a RUN_COMMAND reply says that every command succeeded.
bool CommandSucceeded(const QByteArray &reply);
// The command that puts the window's frame at x, y: criteria, then the move.
QByteArray MoveCommand(const QByteArray &criteria, int x, int y);
// Where an X11 window stands in a GET_TREE reply: the top-left corner of the frame sway drew
// (border and title bar), and the client area's offset in it.
struct WindowPlace {
    QPoint frame;
    QPoint margins;
};
// Nothing when the window is not in the tree.
std::optional<WindowPlace> FindX11Window(const QByteArray &tree, quint64 window);
} // namespace swayipc

// Places the bar's windows through sway's IPC: "move absolute position" for the window, named
// by its X11 window id when it runs through XWayland, else by the process and its title. A
// window sway has not shown yet is asked for again every kRetryMs until kGiveUpMs have passed.
// sway also applies the position the toolkit asks for as an X11 window shows again, as the
// client area's: FrameMargins lets the window ask for the same place.
// Every exchange is bounded by kTimeoutMs; a request whose exchanges went unanswered
// kMaxUnanswered times is dropped, so a stuck sway stalls the bar no longer than that.
class SwayPlacement : public QObject, public IWindowPlacement {
    Q_OBJECT
public:
    explicit SwayPlacement(QString socketPath);
    ~SwayPlacement() override;
    // Over $SWAYSOCK; null when it is unset (any other compositor).
    static std::unique_ptr<SwayPlacement> ForSession();

    void PlaceWindow(QWidget *window, const QPoint &framePosition) override;
    QPoint FrameMargins(const QWidget *window) const override {
        return margins_.value(const_cast<QWidget *>(window));
    }

    static constexpr int kTimeoutMs = 100;
    static constexpr int kRetryMs = 25;
    static constexpr int kGiveUpMs = 3000;
    static constexpr int kMaxUnanswered = 5;

private:
    struct Request {
        QPointer<QWidget> window;
        QPoint at;
        int triesLeft = 0;
        int unanswered = 0;
    };
    // One attempt; true when sway moved the window (or never will).
    bool TryPlace(Request &request);
    void RetryPending();

    QString socket_;
    QHash<QWidget *, Request> pending_;
    QHash<QWidget *, QPoint> margins_;
    QTimer *retry_ = nullptr;
};
