// sway's IPC as the bar speaks it: the messages it sends, the replies it understands, the frame
// it reads from the tree, and exchanges with a socket that answers, answers wrongly or never
// answers (bounded: the bar's GUI waits on them).
#include "platform/linux/SwayPlacement.h"

#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
QByteArray Header(const char *magic, quint32 length, quint32 type) {
    QByteArray header(magic, 6);
    header.append(reinterpret_cast<const char *>(&length), 4);
    header.append(reinterpret_cast<const char *>(&type), 4);
    return header;
}

// A server on its own thread that takes one connection after another, reads one message from
// each and answers the n-th with answers[n] (or nothing, holding the connection until the caller
// gives up).
class ScriptedServer {
public:
    ScriptedServer(const QString &path, const QList<QByteArray> &answers) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        ready_ = listener_ >= 0 &&
                 ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                 ::listen(listener_, 1) == 0;
        if (!ready_)
            return;
        thread_ = std::thread([this, answers] {
            for (const QByteArray &answer : answers)
                if (!Serve(answer))
                    return;
        });
    }
    ~ScriptedServer() {
        if (listener_ >= 0)
            ::shutdown(listener_, SHUT_RDWR); // wakes an accept that no caller will answer
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    bool Ready() const { return ready_; }
    // Connections served so far: read while the server runs.
    int Served() const { return served_; }
    QByteArray Received() {
        if (thread_.joinable())
            thread_.join();
        return received_;
    }

private:
    bool Serve(const QByteArray &answer) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0)
            return false;
        char buffer[4096];
        QByteArray message;
        auto readSome = [&] {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0)
                message.append(buffer, n);
            return n > 0;
        };
        while (message.size() < 14 && readSome()) {
        }
        quint32 length = 0;
        if (message.size() >= 14)
            std::memcpy(&length, message.constData() + 6, 4);
        while (message.size() < 14 + qsizetype(length) && readSome()) {
        }
        received_.append(message);
        ++served_;
        if (!answer.isEmpty()) [[maybe_unused]]
            ssize_t sent = ::send(client, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
        while (readSome()) { // until the caller closes its end
        }
        ::close(client);
        return true;
    }

    int listener_ = -1;
    bool ready_ = false;
    std::thread thread_;
    QByteArray received_;
    std::atomic<int> served_ = 0;
};
} // namespace

class TestSwayPlacement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void message();
    void commandReplies_data();
    void commandReplies();
    void frameFromTree();
    void exchange_data();
    void exchange();
    void noSocket();
    void placesWhenSwayAnswersLate();
};

void TestSwayPlacement::message() {
    const QByteArray command = swayipc::MoveCommand("[id=4194311]", 100, -5);
    QCOMPARE(command, QByteArray("[id=4194311] move absolute position 100 -5"));
    QCOMPARE(swayipc::Message(swayipc::kRunCommand, command),
             Header("i3-ipc", quint32(command.size()), 0) + command);
    QCOMPARE(swayipc::Message(swayipc::kGetTree, {}), Header("i3-ipc", 0, 4));
}

void TestSwayPlacement::commandReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("succeeded");
    QTest::newRow("moved") << QByteArray(R"([ { "success": true } ])") << true;
    QTest::newRow("not shown yet")
        << QByteArray(
               R"([ { "success": false, "parse_error": false, "error": "No matching node." } ])")
        << false;
    QTest::newRow("one of two failed")
        << QByteArray(R"([ { "success": true }, { "success": false } ])") << false;
    QTest::newRow("empty list") << QByteArray("[]") << false;
    QTest::newRow("not JSON") << QByteArray("garbage") << false;
}

void TestSwayPlacement::commandReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, succeeded);
    QCOMPARE(swayipc::CommandSucceeded(reply), succeeded);
}

// As sway 1.7 reported the bar (framed: a 2 px border and a 25 px title bar) and its gauge
// (frameless), nested in an output and a workspace.
void TestSwayPlacement::frameFromTree() {
    const QByteArray tree =
        R"({"id":1,"nodes":[{"id":3,"type":"output","nodes":[{"id":4,"type":"workspace",
        "nodes":[],"floating_nodes":[
          {"id":5,"window":4194311,"rect":{"x":100,"y":625,"width":625,"height":56},
           "window_rect":{"x":2,"y":0,"width":621,"height":54},"deco_rect":{"x":100,"y":600,"width":625,"height":25}},
          {"id":6,"window":4194320,"rect":{"x":300,"y":200,"width":75,"height":50},
           "window_rect":{"x":0,"y":0,"width":75,"height":50},"deco_rect":{"x":0,"y":0,"width":0,"height":0}}]}]}]})";
    const std::optional<swayipc::WindowPlace> bar = swayipc::FindX11Window(tree, 4194311);
    QVERIFY(bar);
    QCOMPARE(bar->frame, QPoint(100, 600));
    QCOMPARE(bar->margins, QPoint(2, 25));
    const std::optional<swayipc::WindowPlace> gauge = swayipc::FindX11Window(tree, 4194320);
    QVERIFY(gauge);
    QCOMPARE(gauge->frame, QPoint(300, 200));
    QCOMPARE(gauge->margins, QPoint(0, 0));
    QVERIFY(!swayipc::FindX11Window(tree, 42));
    QVERIFY(!swayipc::FindX11Window(tree, 0)); // native windows have no X11 id
}

void TestSwayPlacement::exchange_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("replied");
    QTest::addColumn<QByteArray>("payload");
    const QByteArray ok = R"([ { "success": true } ])";
    QTest::newRow("answers") << Header("i3-ipc", quint32(ok.size()), 0) + ok << true << ok;
    QTest::newRow("wrong magic") << Header("i3-ipx", quint32(ok.size()), 0) + ok << false
                                 << QByteArray();
    QTest::newRow("another type") << Header("i3-ipc", quint32(ok.size()), 4) + ok << false
                                  << QByteArray();
    QTest::newRow("cut short") << Header("i3-ipc", 100, 0) + ok << false << QByteArray();
    QTest::newRow("never answers") << QByteArray() << false << QByteArray();
}

void TestSwayPlacement::exchange() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, replied);
    QFETCH(QByteArray, payload);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sway-ipc.sock"));
    ScriptedServer server(path, {answer});
    QVERIFY(server.Ready());
    const QByteArray command = swayipc::MoveCommand("[id=7]", 1, 2);
    const std::optional<QByteArray> reply =
        swayipc::Exchange(path, swayipc::kRunCommand, command, 300);
    QCOMPARE(bool(reply), replied);
    if (replied)
        QCOMPARE(*reply, payload);
    QCOMPARE(server.Received(), swayipc::Message(swayipc::kRunCommand, command));
}

void TestSwayPlacement::noSocket() {
    QTemporaryDir dir;
    QVERIFY(!swayipc::Exchange(dir.filePath(QStringLiteral("none")), swayipc::kGetTree, {}, 300));
    QVERIFY(!swayipc::Exchange(QString(), swayipc::kGetTree, {}, 300));
    QVERIFY(!SwayPlacement::ForSession() || !qEnvironmentVariableIsEmpty("SWAYSOCK"));
}

// A sway too busy to answer in time (mapping the window on a loaded machine) is asked again, and
// the window is placed once it answers.
void TestSwayPlacement::placesWhenSwayAnswersLate() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sway-ipc.sock"));
    const QByteArray ok = R"([ { "success": true } ])";
    ScriptedServer server(path, {QByteArray(), Header("i3-ipc", quint32(ok.size()), 0) + ok});
    QVERIFY(server.Ready());
    QWidget window;
    window.show();
    SwayPlacement placement(path);
    placement.PlaceWindow(&window, QPoint(10, 20));
    QTRY_COMPARE_WITH_TIMEOUT(server.Served(), 2, 10000);
    QCOMPARE(server.Received().count("move absolute position 10 20"), 2);
}

QTEST_MAIN(TestSwayPlacement)
#include "tst_swayplacement.moc"
