// Which Qt platform the bar asks for in each kind of session.
#include "app/QtPlatformChoice.h"

#include <QTest>

class TestQtPlatformChoice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
};

void TestQtPlatformChoice::choice_data() {
    QTest::addColumn<QStringList>("variables"); // NAME=value, as in the environment
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");

    const QStringList none;
    QTest::newRow("X11 session") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << none
                                 << QByteArray();
    QTest::newRow("no display at all") << QStringList{} << none << QByteArray();
    QTest::newRow("Wayland with XWayland")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << none << QByteArray("xcb");
    QTest::newRow("Wayland session type with XWayland")
        << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=:1"} << none << QByteArray("xcb");
    QTest::newRow("absolute Wayland socket with XWayland")
        << QStringList{"WAYLAND_DISPLAY=/run/user/1000/wayland-1", "DISPLAY=:3",
                       "XDG_SESSION_TYPE=tty"}
        << none << QByteArray("xcb");
    QTest::newRow("Wayland without XWayland")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "XDG_SESSION_TYPE=wayland"} << none
        << QByteArray();
    QTest::newRow("Wayland, empty DISPLAY")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY="} << none << QByteArray();
    QTest::newRow("empty WAYLAND_DISPLAY on X11")
        << QStringList{"WAYLAND_DISPLAY=", "DISPLAY=:0"} << none << QByteArray();
    QTest::newRow("user chose wayland")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM=wayland"} << none
        << QByteArray();
    QTest::newRow("user chose a list")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM=wayland;xcb"}
        << none << QByteArray();
    QTest::newRow("empty QT_QPA_PLATFORM is unset")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM="} << none
        << QByteArray("xcb");
    QTest::newRow("-platform argument") << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"}
                                        << QStringList{"-platform", "wayland"} << QByteArray();
    QTest::newRow("--platform after the profile")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"}
        << QStringList{"Work", "--platform", "wayland"} << QByteArray();
    QTest::newRow("a profile named like an option's value")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << QStringList{"/m", "wayland"}
        << QByteArray("xcb");
}

void TestQtPlatformChoice::choice() {
    QFETCH(QStringList, variables);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    QProcessEnvironment environment;
    for (const QString &variable : variables) {
        const qsizetype equals = variable.indexOf(QLatin1Char('='));
        environment.insert(variable.left(equals), variable.mid(equals + 1));
    }
    QCOMPARE(ChooseQtPlatform(environment, arguments), expected);
}

QTEST_APPLESS_MAIN(TestQtPlatformChoice)
#include "tst_qtplatformchoice.moc"
