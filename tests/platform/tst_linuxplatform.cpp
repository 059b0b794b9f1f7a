#include "platform/linux/LinuxPlatform.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

class TestLinuxPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arguments_data();
    void arguments();
    void programDirectory();
    void configHome_data();
    void configHome();
    void winePrefix();
    void everyServiceIsThere();
};

void TestLinuxPlatform::arguments_data() {
    QTest::addColumn<QList<QByteArray>>("argv"); // without the program name
    QTest::addColumn<QStringList>("expected");
    using A = QList<QByteArray>;
    QTest::newRow("none") << A{} << QStringList{};
    // Qt's own options belong to the bar's command line as typed.
    QTest::newRow("qt options") << A{"-style", "fusion", "-display", ":9", "--platform"}
                                << QStringList{"-style", "fusion", "-display", ":9", "--platform"};
    QTest::newRow("shared profile")
        << A{"/m", "B\xc3\xbcro \xe2\x82\xac"} << QStringList{"/m", QStringLiteral(u"Büro €")};
    QTest::newRow("empty and blanks") << A{"", "  two  words "} << QStringList{"", "  two  words "};
}

void TestLinuxPlatform::arguments() {
    QFETCH(QList<QByteArray>, argv);
    QList<QByteArray> storage{"/opt/orvane/orvane"};
    storage += argv;
    QList<char *> pointers;
    for (QByteArray &arg : storage)
        pointers.append(arg.data());
    pointers.append(nullptr);

    const AppEnvironment env =
        LinuxPlatform::CaptureEnvironment(int(storage.size()), pointers.data());
    QTEST(env.arguments, "expected");
}

void TestLinuxPlatform::programDirectory() {
    char name[] = "somewhere-else/orvane";
    char *argv[] = {name, nullptr};
    // The running file decides, not what argv[0] claims.
    const AppEnvironment env = LinuxPlatform::CaptureEnvironment(1, argv);
    QCOMPARE(env.programDirectory, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

void TestLinuxPlatform::configHome_data() {
    QTest::addColumn<QByteArray>("xdg"); // "-": unset
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expectedHome"); // "START": the current directory
    QTest::addColumn<QString>("expected");
    const QByteArray home = "/home/tester";
    QTest::newRow("absolute") << QByteArray("/srv/cfg") << home << "/home/tester"
                              << "/srv/cfg";
    QTest::newRow("relative ignored") << QByteArray("cfg") << home << "/home/tester"
                                      << "/home/tester/.config";
    QTest::newRow("empty") << QByteArray("") << home << "/home/tester"
                           << "/home/tester/.config";
    QTest::newRow("unset") << QByteArray("-") << home << "/home/tester"
                           << "/home/tester/.config";
    // A relative home is where it was at start-up, for good: launches change the directory.
    QTest::newRow("relative home") << QByteArray("-") << QByteArray("me/./home/") << "START/me/home"
                                   << "START/me/home/.config";
    QTest::newRow("both relative") << QByteArray("cfg") << QByteArray("../me") << "START/../me"
                                   << "START/../me/.config";
}

// Shortcuts are resolved through the prefix after launches have changed the directory.
void TestLinuxPlatform::winePrefix() {
    const bool wasSet = qEnvironmentVariableIsSet("WINEPREFIX");
    const QByteArray old = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", "games/wine");
    LinuxPlatform::CaptureEnvironment(0, nullptr);
    const QByteArray after = qgetenv("WINEPREFIX");
    if (wasSet)
        qputenv("WINEPREFIX", old);
    else
        qunsetenv("WINEPREFIX");
    QCOMPARE(QString::fromLocal8Bit(after), QDir::currentPath() + QStringLiteral("/games/wine"));
}

void TestLinuxPlatform::configHome() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, expectedHome);
    QFETCH(QString, expected);
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("HOME", home);
    if (xdg == "-")
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdg);

    const AppEnvironment env = LinuxPlatform::CaptureEnvironment(0, nullptr);
    // Qt and the other libraries read the same directories from now on.
    const QString homeAfter = QDir::homePath();
    const QByteArray xdgAfter = qgetenv("XDG_CONFIG_HOME");

    qputenv("HOME", oldHome);
    if (hadXdg)
        qputenv("XDG_CONFIG_HOME", oldXdg);
    else
        qunsetenv("XDG_CONFIG_HOME");
    const QString start = QDir::currentPath();
    QCOMPARE(QDir::cleanPath(env.configHome), QDir::cleanPath(expected.replace("START", start)));
    QCOMPARE(homeAfter, QDir::cleanPath(expectedHome.replace("START", start)));
    QVERIFY(xdgAfter.isEmpty() || xdgAfter.startsWith('/'));
}

void TestLinuxPlatform::everyServiceIsThere() {
    // Keep the test away from any real session bus.
    QTemporaryDir dir;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath("none")));

    AppEnvironment env;
    env.arguments = QStringList{"/m", "Office"};
    LinuxPlatform real(env);
    const Platform &p = real.Get();
    QCOMPARE(p.environment.arguments, env.arguments);
    QVERIFY(p.processes && p.shell && p.system && p.sound && p.session && p.bus && p.help &&
            p.dialogs && p.appMenu && p.tray);
    QVERIFY(!p.bus->Available());
}

QTEST_MAIN(TestLinuxPlatform)
#include "tst_linuxplatform.moc"
