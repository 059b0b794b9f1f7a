// Launch decisions: plain functions.
#include "ProgramValues.h"
#include "launch/LaunchRules.h"

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
        QTest::newRow("the words are exact") << "/bin/x "
                                             << "yes" << false << false;
        QTest::newRow("empty program") << " " << "Yes" << true << false;
    }
    void shrinkDecision() {
        QFETCH(QString, program);
        QFETCH(QString, choice);
        QFETCH(bool, global);
        QTEST(ShouldShrink(program, YesNoOption::FromWord(choice), global), "shrink");
    }

    void shortNameAndEntry_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("shortName");
        // Stored as a quoted word: an unquoted backslash escapes the next character.
        QTest::newRow("windows program") << "'C:\\WINDOWS\\NOTEPAD.EXE' " << "NOTEPAD";
        QTest::newRow("linux program") << "/usr/bin/gedit " << "gedit";
        QTest::newRow("quoted") << "'/opt/My App/run.sh' " << "run";
        QTest::newRow("leading dot") << "/home/u/.hidden" << ".hidden";
        QTest::newRow("two dots") << "/x/archive.tar.gz" << "archive.tar";
    }
    void shortNameAndEntry() {
        QFETCH(QString, program);
        QFETCH(QString, shortName);
        QCOMPARE(LaunchEntry(QString(), program, 12), shortName + "  |12");
        QCOMPARE(LaunchEntry("Editor", program, 12), QString("Editor  |12"));
    }

    // A launch names its entry by the program file of the stored value, not by the whole text.
    void programValues_data() { programvalues::AddRows("/r"); }
    void programValues() {
        QFETCH(QString, stored);
        QFETCH(QString, shortName);
        QCOMPARE(LaunchEntry(QString(), stored, 7), shortName + "  |7");
    }

    void chosenFiles() {
        QCOMPARE(ChosenFilesParameter({"/d/A.TXT", "/d/B C.TXT"}), QString(" /d/A.TXT '/d/B C.TXT'"));
        QCOMPARE(ChosenFilesParameter({}), QString());
    }
};

QTEST_GUILESS_MAIN(LaunchRulesTest)
#include "tst_launchrules.moc"
