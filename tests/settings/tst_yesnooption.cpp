// A yes/no value of the settings file: the two words exactly, any other word kept as it is.
#include "settings/YesNoOption.h"

#include <QTest>

class YesNoOptionTest : public QObject {
    Q_OBJECT
private slots:
    void fromWord_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("no");
        QTest::newRow("Yes") << "Yes" << true << false;
        QTest::newRow("No") << "No" << false << true;
        QTest::newRow("another case") << "yes" << false << false;
        QTest::newRow("blank after") << "No " << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("other word") << "Maybe" << false << false;
    }
    void fromWord() {
        QFETCH(QString, word);
        QFETCH(bool, yes);
        QFETCH(bool, no);
        const YesNoOption option = YesNoOption::FromWord(word);
        QCOMPARE(option.IsYes(), yes);
        QCOMPARE(option.IsNo(), no);
        QCOMPARE(option.IsYesOrNo(), yes || no);
        QCOMPARE(option.ToWord(), word); // written back as it was read
    }

    void fromBool() {
        QCOMPARE(YesNoOption(true).ToWord(), QString("Yes"));
        QCOMPARE(YesNoOption(false).ToWord(), QString("No"));
        QCOMPARE(YesNoOption(true), YesNoOption::FromWord("Yes"));
        QVERIFY(!(YesNoOption(false) == YesNoOption::FromWord("no")));
    }
};

QTEST_MAIN(YesNoOptionTest)
#include "tst_yesnooption.moc"
