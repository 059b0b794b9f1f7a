// A configured button clicked on the real bar starts its real program: the stored parameter
// arrives as the program's arguments, word for word and nothing expanded, in the button's
// working directory; a program value with arguments of its own and no working directory
// starts in its program's directory, not where the previous launch left the bar; the recently
// launched list holds the launches once the bar has closed.

#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

class TestLaunching : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void clickedButtonStartsItsProgram();
};

void TestLaunching::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestLaunching::clickedButtonStartsItsProgram() {
    BarHome home;
    QVERIFY(home.IsValid());
    QTemporaryDir files;
    QVERIFY(files.isValid());
    QDir root(files.path());
    // Blanks and a quote in the program's directory; the working directory is another one.
    QVERIFY(root.mkpath(QStringLiteral("it's bin")) && root.mkpath(QStringLiteral("work dir")));
    const Recorder recorder(root.filePath(QStringLiteral("it's bin/record")));
    QVERIFY(recorder.Install());
    const QString document = root.filePath(QStringLiteral("my \"letter\" it's $(touch pwned).txt"));
    QVERIFY(QFile(document).open(QIODevice::WriteOnly));
    const QString work = root.filePath(QStringLiteral("work dir"));
    // Button 4: a command line as a desktop entry's, arguments with "/" and "#" in them.
    const Recorder withArguments(root.filePath(QStringLiteral("it's bin/record2")));
    QVERIFY(withArguments.Install());

    // Button 3 of the first page; its values are shell words, as the bar stores paths.
    const QByteArray settings =
        "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n[Pages]\nCount=2\n"
        "[Programs]\nSpeedButton3=" + ShellWord(recorder.Path()).toUtf8() +
        "\nSpeedButton4=" + ShellWord(withArguments.Path()).toUtf8() + " --into=sub/dir #tag" +
        "\n[Parameters]\nSpeedButton3=" + ShellWord(document).toUtf8() + " plain\n"
        "[Working]\nSpeedButton3=" + ShellWord(work).toUtf8() +
        "\n[Names]\nSpeedButton3=Recorder\n[Shrink]\nSpeedButton3=No\nSpeedButton4=No\n";
    QVERIFY(home.WriteSettings(settings));

    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(ClickAt(bar, ButtonCentre(3)));
    QVERIFY2(recorder.WaitUntilRan(), qPrintable(QStringLiteral("the program did not run\n") + bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("launching-clicked"));

    QCOMPARE(recorder.Record(),
             (QStringList{QFileInfo(work).canonicalFilePath(), document, QStringLiteral("plain")}));
    QVERIFY(!QFile::exists(root.filePath(QStringLiteral("work dir/pwned"))));

    QVERIFY(ClickAt(bar, ButtonCentre(4)));
    QVERIFY2(withArguments.WaitUntilRan(),
             qPrintable(QStringLiteral("the second program did not run\n") + bar.Diagnostics()));
    QCOMPARE(withArguments.Record(),
             (QStringList{QFileInfo(root.filePath(QStringLiteral("it's bin"))).canonicalFilePath(),
                          QStringLiteral("--into=sub/dir"), QStringLiteral("#tag")}));

    // Closed the way a person closes it: the window manager's close key.
    QVERIFY(FocusOn(bar.Window()));
    QVERIFY(Keys({QStringLiteral("alt+F4")}));
    QVERIFY2(WaitForEnd(bar), qPrintable(QStringLiteral("Alt+F4 did not close the bar\n") + bar.Diagnostics()));
    const IniSection mru = ReadIniSection(home.SettingsFile(), QStringLiteral("MRU"));
    QCOMPARE(mru, (IniSection{{QStringLiteral("count"), QStringLiteral("2")},
                              {QStringLiteral("1"), QStringLiteral("record2  |4")},
                              {QStringLiteral("2"), QStringLiteral("Recorder  |3")}}));
}

QTEST_GUILESS_MAIN(TestLaunching)
#include "tst_launching.moc"
