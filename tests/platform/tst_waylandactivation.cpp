// Activation tokens asked of a small compositor of the test's own, which offers xdg_activation_v1
// (or not) and answers each request at once, never, or only once the bar has given up on it.

#include "platform/linux/WaylandActivation.h"

#include <QMutex>
#include <QtTest>
#include <atomic>
#include <sys/socket.h>
#include <thread>
#include <wayland-client.h>
#include <wayland-server.h>

#include "xdg-activation-v1-server-protocol.h"

namespace {
enum class Answer { AtOnce, Never, AfterGivingUp };

// A compositor on a thread of its own, connected to one client through a socket pair.
class FakeCompositor {
public:
    FakeCompositor(bool offersActivation, QList<Answer> answers) : answers_(std::move(answers)) {
        server_ = wl_display_create();
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        wl_client_create(server_, fds[0]);
        if (offersActivation)
            wl_global_create(server_, &xdg_activation_v1_interface, 1, this, BindActivation);
        client_ = wl_display_connect_to_fd(fds[1]);
        thread_ = std::thread([this] {
            wl_event_loop *loop = wl_display_get_event_loop(server_);
            while (!stop_) {
                wl_event_loop_dispatch(loop, 10);
                wl_display_flush_clients(server_);
            }
        });
    }
    ~FakeCompositor() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (client_)
            wl_display_disconnect(client_);
        wl_display_destroy_clients(server_);
        wl_display_destroy(server_);
    }
    wl_display *Client() const { return client_; }
    // The app ids of the requests committed so far, in order.
    QStringList AppIds() {
        QMutexLocker lock(&mutex_);
        return appIds_;
    }

private:
    struct Token {
        FakeCompositor *compositor;
        QString appId;
        Answer answer = Answer::AtOnce;
        QByteArray value;
    };

    static void BindActivation(wl_client *client, void *data, uint32_t version, uint32_t id) {
        wl_resource *resource = wl_resource_create(client, &xdg_activation_v1_interface, int(version), id);
        static const struct xdg_activation_v1_interface implementation = {
            [](wl_client *, wl_resource *resource) { wl_resource_destroy(resource); },
            GetToken,
            [](wl_client *, wl_resource *, const char *, wl_resource *) {},
        };
        wl_resource_set_implementation(resource, &implementation, data, nullptr);
    }

    static void GetToken(wl_client *client, wl_resource *activation, uint32_t id) {
        wl_resource *resource = wl_resource_create(client, &xdg_activation_token_v1_interface, 1, id);
        static const struct xdg_activation_token_v1_interface implementation = {
            [](wl_client *, wl_resource *, uint32_t, wl_resource *) {},
            [](wl_client *, wl_resource *resource, const char *appId) {
                Of(resource)->appId = QString::fromUtf8(appId);
            },
            [](wl_client *, wl_resource *, wl_resource *) {},
            Commit,
            [](wl_client *, wl_resource *resource) {
                // A late answer, sent after the client destroyed its side of the token.
                if (Of(resource)->answer == Answer::AfterGivingUp)
                    xdg_activation_token_v1_send_done(resource, Of(resource)->value.constData());
                wl_resource_destroy(resource);
            },
        };
        auto *token = new Token{static_cast<FakeCompositor *>(wl_resource_get_user_data(activation)), {}, {}, {}};
        wl_resource_set_implementation(resource, &implementation, token,
                                       [](wl_resource *resource) { delete Of(resource); });
    }

    static void Commit(wl_client *, wl_resource *resource) {
        Token *token = Of(resource);
        FakeCompositor *self = token->compositor;
        QMutexLocker lock(&self->mutex_);
        self->appIds_ << token->appId;
        token->answer = self->answers_.value(self->appIds_.size() - 1, Answer::AtOnce);
        token->value = "token-" + QByteArray::number(self->appIds_.size());
        if (token->answer == Answer::AtOnce)
            xdg_activation_token_v1_send_done(resource, token->value.constData());
    }

    static Token *Of(wl_resource *resource) { return static_cast<Token *>(wl_resource_get_user_data(resource)); }

    QList<Answer> answers_;
    wl_display *server_ = nullptr;
    wl_display *client_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    QMutex mutex_;
    QStringList appIds_;
};
} // namespace

class TestWaylandActivation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tokens_data();
    void tokens();
};

// Two starts in a row: what each gets, and what the compositor was told.
void TestWaylandActivation::tokens_data() {
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QList<QByteArray>>("tokens");
    QTest::addColumn<QStringList>("appIds");
    const QStringList both{"gimp", "xterm"};
    QTest::newRow("answered") << true << QList{Answer::AtOnce, Answer::AtOnce}
                              << QList<QByteArray>{"token-1", "token-2"} << both;
    QTest::newRow("no global") << false << QList<Answer>{} << QList<QByteArray>{"", ""} << QStringList{};
    // A stuck request costs its own start the token, not the next one.
    QTest::newRow("never answered") << true << QList{Answer::Never, Answer::AtOnce}
                                    << QList<QByteArray>{"", "token-2"} << both;
    // The first start's token comes after the bar gave up on it: never handed to the second.
    QTest::newRow("answered late") << true << QList{Answer::AfterGivingUp, Answer::AtOnce}
                                   << QList<QByteArray>{"", "token-2"} << both;
}

void TestWaylandActivation::tokens() {
    QFETCH(bool, offered);
    QFETCH(QList<Answer>, answers);
    QFETCH(QList<QByteArray>, tokens);
    FakeCompositor compositor(offered, answers);
    QVERIFY(compositor.Client());
    {
        WaylandActivation activation(compositor.Client());
        QCOMPARE(activation.Available(), offered);
        QList<QByteArray> got;
        for (const char *appId : {"gimp", "xterm"})
            got << activation.RequestToken(QString::fromLatin1(appId), {}, 100);
        QCOMPARE(got, tokens);
    }
    QTEST(compositor.AppIds(), "appIds");
}

QTEST_GUILESS_MAIN(TestWaylandActivation)
#include "tst_waylandactivation.moc"
