#include "platform/linux/HelpWindow.h"
#include "platform/linux/LinuxHelp.h"

#include <QApplication>
#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

// Every link target on the page shown.
static QStringList Links(const QTextDocument *document) {
    QStringList links;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QString href = it.fragment().charFormat().anchorHref(); !href.isEmpty())
                links.append(href);
    return links;
}

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void contents();
    void topics_data();
    void topics();
    void unknownTopicShowsContents();
};

void TestHelp::contents() {
    LinuxHelp help;
    QVERIFY(!help.Window()); // nothing is made before help is asked for
    help.ShowContents();
    HelpWindow *window = help.Window();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Velmora Help"));
    QCOMPARE(window->Browser()->source(), HelpWindow::ContentsUrl());
    QVERIFY(window->Browser()->toPlainText().contains(QStringLiteral("Velmora")));

    // Every topic is reachable from the contents.
    const QStringList links = Links(window->Browser()->document());
    for (int topic : HelpWindow::Topics())
        QVERIFY2(links.contains(QStringLiteral("topic-%1.html").arg(topic)),
                 qPrintable(QString::number(topic)));

    // Escape closes it, as the Close button does, wherever the keys are.
    QTest::keyClick(window->Browser(), Qt::Key_Escape);
    QVERIFY(!window->isVisible());

    // A closed window comes back for the next request.
    help.ShowTopic(5);
    QCOMPARE(help.Window(), window);
    QVERIFY(window->isVisible());
}

void TestHelp::topics_data() {
    QTest::addColumn<int>("topic");
    for (int topic : HelpWindow::Topics())
        QTest::addRow("%d", topic) << topic;
}

void TestHelp::topics() {
    QFETCH(int, topic);
    LinuxHelp help;
    help.ShowTopic(topic);
    QTextBrowser *browser = help.Window()->Browser();
    QCOMPARE(browser->source(), QUrl(QStringLiteral("qrc:/help/topic-%1.html").arg(topic)));

    // A real page: a title and some text, not just the title.
    const QString text = browser->toPlainText().simplified();
    const QString title = browser->documentTitle();
    QVERIFY(!title.isEmpty());
    QVERIFY2(text.size() > title.size() + 100, qPrintable(text));

    // The page's own links lead somewhere, and one leads back to the contents.
    const QStringList links = Links(browser->document());
    QVERIFY(links.contains(QStringLiteral("contents.html")));
    for (const QString &link : links) {
        const QUrl target = browser->source().resolved(QUrl(link));
        QVERIFY2(QFile::exists(QLatin1Char(':') + target.path()), qPrintable(link));
    }
}

void TestHelp::unknownTopicShowsContents() {
    LinuxHelp help;
    help.ShowTopic(5);
    help.ShowTopic(99);
    QCOMPARE(help.Window()->Browser()->source(), HelpWindow::ContentsUrl());
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
