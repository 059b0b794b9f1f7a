// The real bar worked from the keyboard alone: the arrows select buttons (the caption names the
// selected one), Enter starts its program, the page keys change pages.

#include "BarDriver.h"

#include <QtTest>

using namespace e2e;

class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void selectLaunchAndTurnPages();
};

void TestKeyboard::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
}

void TestKeyboard::selectLaunchAndTurnPages() {
    BarHome home;
    QVERIFY(home.IsValid());
    QTemporaryDir files;
    QVERIFY(files.isValid());
    QVERIFY(QDir(files.path()).mkdir(QStringLiteral("tool box")));
    const Recorder first(files.filePath(QStringLiteral("tool box/first")));
    const Recorder second(files.filePath(QStringLiteral("tool box/second")));
    QVERIFY(first.Install() && second.Install());
    // No working directory: the program starts in its own.
    QVERIFY(home.WriteSettings(
        "[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\nShrink=No\n[Pages]\nCount=3\n"
        "[Programs]\nSpeedButton1=" + ShellWord(first.Path()).toUtf8() +
        "\nSpeedButton2=" + ShellWord(second.Path()).toUtf8() +
        "\n[Parameters]\nSpeedButton2=--from keys\n"
        "[Icons]\nSpeedButton1=Default\nSpeedButton2=Default\n"
        "[Names]\nSpeedButton1=First tool\nSpeedButton2=Second tool\n"));

    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QVERIFY(FocusOn(bar.Window()));

    QVERIFY(Keys({QStringLiteral("Right"), QStringLiteral("Right")}));
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral("Page 1 of 3       Second tool")); }),
             qPrintable(bar.Title()));
    SaveScreenshot(QStringLiteral("keyboard-selected"));

    QVERIFY(Keys({QStringLiteral("Return")}));
    QVERIFY2(second.WaitUntilRan(), qPrintable(QStringLiteral("Enter started nothing\n") + bar.Diagnostics()));
    QCOMPARE(second.Record(), (QStringList{QFileInfo(files.filePath(QStringLiteral("tool box"))).canonicalFilePath(),
                                           QStringLiteral("--from"), QStringLiteral("keys")}));
    QVERIFY(!first.Ran());
    QVERIFY2(PollUntil([&] { return bar.Title().endsWith(QStringLiteral("Page 1 of 3")); }), qPrintable(bar.Title()));

    // Page Up goes on a page, Page Down back, and from the first page round to the last.
    const QList<std::pair<QString, QString>> turns = {{QStringLiteral("Page_Up"), QStringLiteral("Page 2 of 3")},
                                                      {QStringLiteral("Page_Down"), QStringLiteral("Page 1 of 3")},
                                                      {QStringLiteral("Page_Down"), QStringLiteral("Page 3 of 3")}};
    for (const auto &[key, position] : turns) {
        QVERIFY(Keys({key}));
        QVERIFY2(PollUntil([&] { return bar.Title().endsWith(position); }),
                 qPrintable(QStringLiteral("after %1: \"%2\"").arg(key, bar.Title())));
    }
    SaveScreenshot(QStringLiteral("keyboard-last-page"));
}

QTEST_GUILESS_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
