#include "platform/linux/SwayPlacement.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr char kMagic[] = "i3-ipc";
constexpr int kMagicSize = 6;
constexpr int kHeaderSize = kMagicSize + 8;

// Waits until fd is ready for events, at most until the deadline.
bool WaitFor(int fd, short events, const QDeadlineTimer &deadline) {
    for (;;) {
        pollfd ready{fd, events, 0};
        const int remaining = int(deadline.remainingTime());
        if (remaining <= 0)
            return false;
        const int rc = ::poll(&ready, 1, remaining);
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

bool WriteAll(int fd, const QByteArray &bytes, const QDeadlineTimer &deadline) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (!WaitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t n =
            ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (n > 0)
            done += n;
    }
    return true;
}

bool ReadAll(int fd, char *into, size_t size, const QDeadlineTimer &deadline) {
    size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, into + done, size - done, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            return false;
        if (n > 0)
            done += size_t(n);
    }
    return true;
}
} // namespace

QByteArray swayipc::Message(quint32 type, const QByteArray &payload) {
    const quint32 length = quint32(payload.size());
    QByteArray message(kMagic, kMagicSize);
    message.append(reinterpret_cast<const char *>(&length), sizeof length);
    message.append(reinterpret_cast<const char *>(&type), sizeof type);
    return message + payload;
}

std::optional<QByteArray> swayipc::Exchange(const QString &socketPath, quint32 type,
                                            const QByteArray &payload, int timeoutMs) {
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<QByteArray> reply;
    // A local socket connects at once or not at all (a full backlog is a sway too busy for us).
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        WriteAll(fd, Message(type, payload), deadline)) {
        char header[kHeaderSize];
        quint32 length = 0, replyType = 0;
        if (ReadAll(fd, header, sizeof header, deadline) &&
            std::memcmp(header, kMagic, kMagicSize) == 0) {
            std::memcpy(&length, header + kMagicSize, sizeof length);
            std::memcpy(&replyType, header + kMagicSize + 4, sizeof replyType);
            QByteArray body(qsizetype(length), Qt::Uninitialized);
            if (replyType == type && length < (1u << 24) &&
                ReadAll(fd, body.data(), length, deadline))
                reply = body;
        }
    }
    ::close(fd);
    return reply;
}

bool swayipc::CommandSucceeded(const QByteArray &reply) {
    const QJsonArray results = QJsonDocument::fromJson(reply).array();
    if (results.isEmpty())
        return false;
    for (const QJsonValue result : results) {
        if (!result.toObject().value(QStringLiteral("success")).toBool())
            return false;
    }
    return true;
}

QByteArray swayipc::MoveCommand(const QByteArray &criteria, int x, int y) {
    return criteria + " move absolute position " + QByteArray::number(x) + ' ' +
           QByteArray::number(y);
}

namespace {
const QJsonObject *FindWindow(const QJsonObject &node, quint64 window, QJsonObject *found) {
    if (quint64(node.value(QStringLiteral("window")).toInteger()) == window) {
        *found = node;
        return found;
    }
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(QLatin1String(children)).toArray()) {
            if (FindWindow(child.toObject(), window, found))
                return found;
        }
    }
    return nullptr;
}

QRect Rect(const QJsonValue &value) {
    const QJsonObject rect = value.toObject();
    return QRect(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
                 rect.value(QStringLiteral("width")).toInt(),
                 rect.value(QStringLiteral("height")).toInt());
}
} // namespace

std::optional<swayipc::WindowPlace> swayipc::FindX11Window(const QByteArray &tree, quint64 window) {
    QJsonObject node;
    if (window == 0 || !FindWindow(QJsonDocument::fromJson(tree).object(), window, &node))
        return std::nullopt;
    // "rect" is the area below the title bar, "window_rect" the client in it, "deco_rect" the
    // title bar above it.
    const QRect below = Rect(node.value(QStringLiteral("rect")));
    const QRect inner = Rect(node.value(QStringLiteral("window_rect")));
    const int title = Rect(node.value(QStringLiteral("deco_rect"))).height();
    return WindowPlace{QPoint(below.x(), below.y() - title), QPoint(inner.x(), inner.y() + title)};
}

SwayPlacement::SwayPlacement(QString socketPath) : socket_(std::move(socketPath)) {
    retry_ = new QTimer(this);
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, &SwayPlacement::RetryPending);
}

SwayPlacement::~SwayPlacement() = default;

std::unique_ptr<SwayPlacement> SwayPlacement::ForSession() {
    const QString socket = qEnvironmentVariable("SWAYSOCK");
    return socket.isEmpty() ? nullptr : std::make_unique<SwayPlacement>(socket);
}

void SwayPlacement::PlaceWindow(QWidget *window, const QPoint &framePosition) {
    Request request{window, framePosition, kGiveUpMs / kRetryMs};
    if (TryPlace(request)) {
        pending_.remove(window);
        return;
    }
    pending_.insert(window, request);
    retry_->start();
}

void SwayPlacement::RetryPending() {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (TryPlace(*it) || --it->triesLeft <= 0)
            it = pending_.erase(it);
        else
            ++it;
    }
    if (pending_.isEmpty())
        retry_->stop();
}

bool SwayPlacement::TryPlace(Request &request) {
    QWidget *window = request.window;
    if (!window)
        return true;
    if (!window->isVisible() || !window->windowHandle())
        return false; // asked for before it is shown: placed once sway shows it
    QByteArray criteria;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // The native window's own id: the toolkit may make a new native window when the style
        // changes, which the widget's cached id does not follow.
        criteria = "[id=" + QByteArray::number(window->windowHandle()->winId()) + ']';
    } else {
        // A native window has no name sway shares with the toolkit: the process and the exact
        // title tell the bar from its dialogs.
        QString title = QRegularExpression::escape(window->windowTitle());
        title.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        criteria =
            "[pid=" + QByteArray::number(::getpid()) + " title=\"^" + title.toUtf8() + "$\"]";
    }
    const quint64 id = QGuiApplication::platformName() == QLatin1String("xcb")
                           ? window->windowHandle()->winId()
                           : 0;
    const std::optional<QByteArray> reply = swayipc::Exchange(
        socket_, swayipc::kRunCommand,
        swayipc::MoveCommand(criteria, request.at.x(), request.at.y()), kTimeoutMs);
    // No answer in time: a busy sway (one mapping the window on a loaded machine) answers the
    // next time, so it is asked again; one that misses kMaxUnanswered answers is gone or stuck,
    // and asking more would only stall the bar more.
    if (!reply)
        return ++request.unanswered >= kMaxUnanswered;
    if (!swayipc::CommandSucceeded(*reply))
        return false;
    if (id == 0)
        return true;
    if (const std::optional<QByteArray> tree =
            swayipc::Exchange(socket_, swayipc::kGetTree, {}, kTimeoutMs)) {
        // The frameless (shrunk) window's none says nothing of the frame it gets back.
        const std::optional<swayipc::WindowPlace> place = swayipc::FindX11Window(*tree, id);
        if (place && !place->margins.isNull())
            margins_.insert(window, place->margins);
    }
    return true;
}
