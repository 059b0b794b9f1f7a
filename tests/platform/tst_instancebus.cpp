#include "platform/linux/LinuxInstanceBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <climits>
#include <csignal>
#include <sys/prctl.h>

struct Received {
    QString name;
    quint32 first;
    qint32 second;
    bool operator==(const Received &o) const {
        return name == o.name && first == o.first && second == o.second;
    }
};
namespace QTest {
template <> char *toString(const Received &r) {
    return qstrdup(QStringLiteral("(%1, %2, %3)").arg(r.name).arg(r.first).arg(r.second).toUtf8());
}
} // namespace QTest

static const QString OtherName = QStringLiteral("UOrvaneBüro");

// Run as a second copy: post one message and wait until it comes back to this copy too.
static int PostAsOtherCopy(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    LinuxInstanceBus bus;
    if (!bus.Available())
        return 2;
    const Received sent{OtherName, 4294967295u, INT_MIN};
    bus.OnMessage = [&](const QString &name, quint32 first, qint32 second) {
        if (Received{name, first, second} == sent)
            app.exit(0);
    };
    bus.Post(sent.name, sent.first, sent.second);
    QTimer::singleShot(60000, &app, [&] { app.exit(3); }); // never hang the test run
    return app.exec();
}

class TestInstanceBus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void senderReceivesItsOwnMessage();
    void otherCopyReachesThisOne();
    void foreignSignaturesAreIgnored();
    void noBusMeansUnavailable();

private:
    QTemporaryDir dir_;
    QProcess daemon_;
};

// A private session bus in a temporary directory, so the test neither needs nor touches the
// user's own bus. It dies with this process even if the test crashes.
void TestInstanceBus::initTestCase() {
    QVERIFY(dir_.isValid());
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                          QStringLiteral("--address=unix:dir=") + dir_.path()});
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start();
    QVERIFY2(daemon_.waitForStarted(), "dbus-daemon could not be started");
    QTRY_VERIFY_WITH_TIMEOUT(daemon_.canReadLine() || daemon_.state() != QProcess::Running, 30000);
    const QByteArray address = daemon_.readLine().trimmed();
    QVERIFY2(!address.isEmpty(), daemon_.readAllStandardError().constData());
    // Before the first use of the session bus; the second copy inherits it.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestInstanceBus::cleanupTestCase() {
    daemon_.terminate();
    daemon_.waitForFinished();
}

void TestInstanceBus::senderReceivesItsOwnMessage() {
    LinuxInstanceBus sender, listener;
    QVERIFY(sender.Available());
    QList<Received> bySender, byListener;
    sender.OnMessage = [&](const QString &n, quint32 f, qint32 s) { bySender.append({n, f, s}); };
    listener.OnMessage = [&](const QString &n, quint32 f, qint32 s) {
        byListener.append({n, f, s});
    };

    sender.Post(QStringLiteral("UOrvaneHome"), 1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(bySender.size(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(byListener.size(), 1, 30000);
    const Received expected{QStringLiteral("UOrvaneHome"), 1, 0};
    QCOMPARE(bySender.first(), expected);
    QCOMPARE(byListener.first(), expected);
}

void TestInstanceBus::otherCopyReachesThisOne() {
    LinuxInstanceBus bus;
    QList<Received> received;
    bus.OnMessage = [&](const QString &n, quint32 f, qint32 s) { received.append({n, f, s}); };

    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--post-as-other-copy")});
    QVERIFY(other.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(other.state() == QProcess::NotRunning, 90000);
    QCOMPARE(other.exitStatus(), QProcess::NormalExit);
    QCOMPARE(other.exitCode(), 0); // the other copy heard its own message

    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 30000);
    QCOMPARE(received.first(), (Received{OtherName, 4294967295u, INT_MIN}));
}

// Other programs may use the same signal name with other arguments; those are not ours.
void TestInstanceBus::foreignSignaturesAreIgnored() {
    LinuxInstanceBus bus;
    QList<Received> received;
    bus.OnMessage = [&](const QString &n, quint32 f, qint32 s) { received.append({n, f, s}); };

    auto signal = [] {
        return QDBusMessage::createSignal(QStringLiteral("/Orvane"),
                                          QStringLiteral("io.orvane.Shared"),
                                          QStringLiteral("Message"));
    };
    QDBusConnection::sessionBus().send(signal() << QStringLiteral("UOrvaneX") << int(1));
    QDBusConnection::sessionBus().send(signal() << QStringLiteral("UOrvaneX"));
    QDBusConnection::sessionBus().send(signal() << QStringLiteral("UOrvaneX") << uint(1) << int(2)
                                                << int(3));
    QDBusConnection::sessionBus().send(signal()
                                       << QStringLiteral("UOrvaneX") << uint(7) << int(-1));

    // Signals arrive in the order sent, so the good one comes after the others were handled.
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), 30000);
    QCoreApplication::processEvents();
    QCOMPARE(received, (QList<Received>{{QStringLiteral("UOrvaneX"), 7, -1}}));
}

void TestInstanceBus::noBusMeansUnavailable() {
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + dir_.filePath(QStringLiteral("no-such-bus")),
        QStringLiteral("orvane-no-bus"));
    LinuxInstanceBus bus(none);
    QVERIFY(!bus.Available());
    bool called = false;
    bus.OnMessage = [&](const QString &, quint32, qint32) { called = true; };
    bus.Post(QStringLiteral("UOrvane"), 1, 0);
    QCoreApplication::processEvents();
    QVERIFY(!called);
    QDBusConnection::disconnectFromBus(QStringLiteral("orvane-no-bus"));
}

int main(int argc, char **argv) {
    if (argc > 1 && qstrcmp(argv[1], "--post-as-other-copy") == 0)
        return PostAsOtherCopy(argc, argv);
    QCoreApplication app(argc, argv);
    TestInstanceBus test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancebus.moc"
