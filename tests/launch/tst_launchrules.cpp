// Launch decisions and command-line words: plain functions.
#include "launch/LaunchRules.h"
#include "launch/Paths.h"

#include <QTest>

class LaunchRulesTest : public QObject {
    Q_OBJECT
private slots:
    void shrinkDecision_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("global");
        QTest::addColumn<bool>("shrink");
        QTest::newRow("Yes, any") << "/bin/x " << "Yes" << false << true;
        QTest::newRow("No, any") << "/bin/x " << "No" << true << false;
        QTest::newRow("other, global Yes") << "/bin/x " << "" << true << true;
        QTest::newRow("other, global No") << "/bin/x " << "maybe" << false << false;
        QTest::newRow("empty program") << " " << "Yes" << true << false;
    }
    void shrinkDecision() {
        QFETCH(QString, program);
        QFETCH(QString, choice);
        QFETCH(bool, global);
        QTEST(ShouldShrink(program, choice, global), "shrink");
    }

    void longPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("word");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("plain") << "/usr/bin/gedit" << "/usr/bin/gedit";
        QTest::newRow("cleaned") << "/usr//bin/../bin/gedit" << "/usr/bin/gedit";
        QTest::newRow("blank") << "/tmp/My Docs/a b.txt" << "'/tmp/My Docs/a b.txt'";
        QTest::newRow("quote") << "/tmp/it's" << "'/tmp/it'\\''s'";
        QTest::newRow("dollar") << "/tmp/$(rm -rf x)" << "'/tmp/$(rm -rf x)'";
        QTest::newRow("semicolon, hash") << "/tmp/a;b#c" << "'/tmp/a;b#c'";
        QTest::newRow("non-ASCII") << QString::fromUtf8("/tmp/Büro") << QString::fromUtf8("/tmp/Büro");
    }
    void longPath() {
        QFETCH(QString, path);
        QFETCH(QString, word);
        QCOMPARE(LongPath(path), word);
        QCOMPARE(UnquotePath(LongPath(path)), path.isEmpty() ? QString() : QDir::cleanPath(path));
    }

    void shortNameAndEntry_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("shortName");
        QTest::newRow("windows program") << "C:\\WINDOWS\\NOTEPAD.EXE " << "NOTEPAD";
        QTest::newRow("linux program") << "/usr/bin/gedit " << "gedit";
        QTest::newRow("quoted") << "'/opt/My App/run.sh' " << "run";
        QTest::newRow("leading dot") << "/home/u/.hidden" << ".hidden";
        QTest::newRow("two dots") << "/x/archive.tar.gz" << "archive.tar";
    }
    void shortNameAndEntry() {
        QFETCH(QString, program);
        QFETCH(QString, shortName);
        QCOMPARE(ShortName(program), shortName);
        QCOMPARE(LaunchEntry(QString(), program, 12), shortName + "  |12");
        QCOMPARE(LaunchEntry("Editor", program, 12), QString("Editor  |12"));
    }

    void chosenFiles() {
        QCOMPARE(ChosenFilesParameter({"/d/A.TXT", "/d/B C.TXT"}), QString(" /d/A.TXT '/d/B C.TXT'"));
        QCOMPARE(ChosenFilesParameter({}), QString());
    }
};

QTEST_GUILESS_MAIN(LaunchRulesTest)
#include "tst_launchrules.moc"
