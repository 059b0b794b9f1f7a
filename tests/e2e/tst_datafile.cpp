// The lock's data file is read only when it is a regular file: a FIFO in its place (any
// program can make one) neither holds up the bar's start nor a rebuild that another program
// asks for on the session bus, and SIGTERM still closes the bar.

#include "BarHarness.h"
#include "settings/NewIniFile.h"

#include <QtTest>
#include <sys/stat.h>

using namespace e2e;

class TestDataFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fifoHoldsNothingUp_data();
    void fifoHoldsNothingUp();
};

void TestDataFile::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestDataFile::fifoHoldsNothingUp_data() {
    QTest::addColumn<bool>("throughLink"); // the data file a symbolic link to the FIFO
    QTest::addColumn<bool>("atStart");     // else made while the bar runs, before the rebuild
    QTest::newRow("a FIFO at start-up") << false << true;
    QTest::newRow("a link to a FIFO at start-up") << true << true;
    QTest::newRow("a FIFO made while running") << false << false;
}

void TestDataFile::fifoHoldsNothingUp() {
    QFETCH(bool, throughLink);
    QFETCH(bool, atStart);
    BarHome home;
    QVERIFY(home.IsValid());
    const QString profile = QStringLiteral("Team");
    // An installation whose data file has been set up ("User"), so start-up reads it.
    QVERIFY(
        home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nUser=tester\n"
                           "[Pages]\nCount=2\n",
                           profile));
    const QString dataFile =
        home.Path("config") + QStringLiteral("/orvane/OV") + profile + QStringLiteral(".DAT");
    const QString fifo = throughLink ? home.Path("fifo") : dataFile;
    auto makeFifo = [&] {
        return ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0 &&
               (!throughLink || QFile::link(fifo, dataFile));
    };
    if (atStart)
        QVERIFY(makeFifo());

    Bar bar(home, {QStringLiteral("/m"), profile});
    QVERIFY2(bar.WaitForWindow(), qPrintable(QStringLiteral("no window\n") + bar.Diagnostics()));
    if (!atStart)
        QVERIFY(makeFifo());

    // A rebuild reads the data file again.
    TNewIniFile(home.SettingsFile(profile))
        .WriteInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 3);
    QVERIFY(PostFromOutside(QStringLiteral("UOVForm") + profile));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral("Page 1 of 3")); }),
             qPrintable(QStringLiteral("no rebuild\n") + bar.Diagnostics()));

    const int exitCode = bar.Terminate();
    QVERIFY2(exitCode == 0,
             qPrintable(QStringLiteral("SIGTERM did not close the bar\n") + bar.Diagnostics()));
    QVERIFY(!QFileInfo(fifo).isFile()); // left as it was
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
