// The real bar under a headless sway with XWayland, as it runs there by default (through
// XWayland), and natively where it is asked to: it stands at its stored place although sway
// centres new floating windows, a move is saved as the place of its frame, shrinking puts the
// gauge at the bar's corner and expanding puts the bar back there, and a stored place beyond the
// screen brings the bar onto it (the native bar: only its place at start-up). Places are measured
// in sway's own tree. Skipped where sway, xhost, xdotool or grim is not installed.

#include "Sway.h"

#include <QtTest>

using namespace e2e;

namespace {
const QRect kScreen(0, 0, 1280, 800);
const QPoint kGaugeCentre(22, 9);

QString StoredPlace(const BarHome &home) {
    return IniValue(home.SettingsFile(), QStringLiteral("Location"), QStringLiteral("Left")) +
           QLatin1Char(',') +
           IniValue(home.SettingsFile(), QStringLiteral("Location"), QStringLiteral("Top"));
}

QString Text(const QPoint &p) {
    return QString::number(p.x()) + QLatin1Char(',') + QString::number(p.y());
}
} // namespace

class TestSwayPlaces : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void placeHolds_data();
    void placeHolds();

private:
    QJsonObject BarWindow(const Bar &bar) const {
        return sway_->Window(bar.Pid(), QStringLiteral("Page [0-9]+ of"));
    }
    QRect Frame(const Bar &bar) const { return Sway::Frame(BarWindow(bar)); }
    // A click on the gauge through XWayland, as a person's; two in a row make no double click.
    bool ClickGauge(const Bar &bar) const {
        const QPoint at = Sway::Client(BarWindow(bar)).topLeft() + kGaugeCentre;
        int exitCode = -1;
        Tool(QStringLiteral("xdotool"),
             {QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0"),
              QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
              QStringLiteral("click"), QStringLiteral("1")},
             &exitCode);
        QTest::qWait(600); // beyond the toolkit's double-click interval (400 ms)
        return exitCode == 0;
    }
    void Screenshot(const QString &name) const {
        const QString row = QString::fromLatin1(QTest::currentDataTag())
                                .replace(QLatin1Char(' '), QLatin1Char('-'));
        const QString path = QStringLiteral(ORVANE_BUILD_DIR "/sway-%1-%2.png").arg(row, name);
        if (sway_->Client(QStringLiteral("grim"), {path}))
            qInfo("screenshot: %s", qPrintable(path));
    }

    std::unique_ptr<Sway> sway_;
};

void TestSwayPlaces::initTestCase() {
    for (const char *tool : {"sway", "swaymsg", "xhost", "xdotool", "grim"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(
                QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)")
                    .arg(QLatin1String(tool))));
    }
    sway_ = std::make_unique<Sway>();
    QString error;
    QVERIFY2(sway_->Start(Sway::XWayland::On, &error), qPrintable(error));
    qputenv("DISPLAY", sway_->XDisplay().toLocal8Bit()); // for xdotool
}

void TestSwayPlaces::placeHolds_data() {
    QTest::addColumn<QPoint>("stored");   // Left, Top
    QTest::addColumn<QPoint>("expected"); // where the frame stands; null: anywhere on the screen
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM: empty for the bar's own choice
    QTest::addColumn<QString>("shell");
    QTest::newRow("on the screen")
        << QPoint(100, 600) << QPoint(100, 600) << QString() << QStringLiteral("xwayland");
    QTest::newRow("beyond the screen")
        << QPoint(3000, 2000) << QPoint() << QString() << QStringLiteral("xwayland");
    QTest::newRow("native") << QPoint(100, 600) << QPoint(100, 600) << QStringLiteral("wayland")
                            << QStringLiteral("xdg_shell");
}

void TestSwayPlaces::placeHolds() {
    QFETCH(QPoint, stored);
    QFETCH(QPoint, expected);
    QFETCH(QString, platform);
    QFETCH(QString, shell);
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings("[Location]\nTop=" + QByteArray::number(stored.y()) +
                               "\nLeft=" + QByteArray::number(stored.x()) +
                               "\nButtonCount=16\nOnTop=No\nShrink=No\n"));
    home.SetEnvironment(QStringLiteral("QT_QPA_PLATFORM"), platform);
    home.SetEnvironment(QStringLiteral("WAYLAND_DISPLAY"), sway_->Socket());
    home.SetEnvironment(QStringLiteral("DISPLAY"), sway_->XDisplay());
    home.SetEnvironment(QStringLiteral("SWAYSOCK"), sway_->Ipc());
    Bar bar(home, {});
    QVERIFY2(PollUntil([&] { return !BarWindow(bar).isEmpty(); }, 30000),
             qPrintable(bar.Diagnostics()));
    QCOMPARE(BarWindow(bar).value(QStringLiteral("shell")).toString(), shell);

    // At its place, on the screen, and the place it stands at is the one stored.
    QRect frame;
    const bool placed = PollUntil(
        [&] {
            frame = Frame(bar);
            // Beyond the screen: the bar comes whole onto it, save sway's border.
            return expected.isNull() ? kScreen.contains(Sway::Client(BarWindow(bar))) &&
                                           kScreen.contains(frame.topLeft())
                                     : frame.topLeft() == expected;
        },
        10000);
    QVERIFY2(placed, qPrintable(QStringLiteral("frame at %1, %2 x %3")
                                    .arg(Text(frame.topLeft()))
                                    .arg(frame.width())
                                    .arg(frame.height())));
    QVERIFY2(PollUntil([&] { return StoredPlace(home) == Text(Frame(bar).topLeft()); }),
             qPrintable(StoredPlace(home) + QStringLiteral(" stored, frame at ") +
                        Text(Frame(bar).topLeft())));

    QTest::qWait(200); // for the picture only: the first frame drawn
    Screenshot(QStringLiteral("placed"));

    // A native Wayland window never learns where it stands: sway's IPC places it, but its moves
    // cannot be saved, nor its gauge's place follow them.
    if (shell == QLatin1String("xdg_shell"))
        return;

    // Moved as sway moves it for a person: the frame's new place is saved.
    const QPoint moved(300, 200);
    sway_->Message({QStringLiteral("[pid=%1]").arg(bar.Pid()), QStringLiteral("move"),
                    QStringLiteral("absolute"), QStringLiteral("position"),
                    QString::number(moved.x()), QString::number(moved.y())});
    QVERIFY2(PollUntil(
                 [&] { return Frame(bar).topLeft() == moved && StoredPlace(home) == Text(moved); }),
             qPrintable(StoredPlace(home) + QStringLiteral(" stored, frame at ") +
                        Text(Frame(bar).topLeft())));

    // Shrunk: the gauge at the bar's corner; the stored place stays. (sway gives the gauge's
    // window its smallest floating size, 75 x 50 unless configured otherwise.)
    const int expandedWidth = Sway::Client(BarWindow(bar)).width();
    QVERIFY(ClickGauge(bar));
    QVERIFY2(PollUntil([&] {
                 const QJsonObject gauge = BarWindow(bar);
                 return Sway::Client(gauge).width() < expandedWidth / 2 &&
                        Sway::Frame(gauge).topLeft() == moved;
             }),
             qPrintable(QJsonDocument(BarWindow(bar)).toJson()));
    Screenshot(QStringLiteral("shrunk"));
    QCOMPARE(StoredPlace(home), Text(moved));

    // Expanded: the bar back at its place, whole on the screen, the place still stored.
    QVERIFY(ClickGauge(bar));
    QVERIFY2(PollUntil([&] {
                 frame = Frame(bar);
                 return Sway::Client(BarWindow(bar)).width() == expandedWidth &&
                        frame.topLeft() == moved;
             }),
             qPrintable(Text(frame.topLeft())));
    Screenshot(QStringLiteral("expanded"));
    QVERIFY(kScreen.contains(Sway::Client(BarWindow(bar))));
    QTest::qWait(300); // a late move of the compositor's would be saved by now
    QCOMPARE(StoredPlace(home), Text(moved));
    QCOMPARE(Frame(bar).topLeft(), moved);
}

QTEST_GUILESS_MAIN(TestSwayPlaces)
#include "tst_swayplaces.moc"
