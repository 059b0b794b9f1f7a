// The icon picker on its own: layout, counter, stepping, choosing, closing, help.
#include "FakePlatform.h"
#include "appearance/Glyph.h"
#include "appearance/Pickicon.h"

#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
const QString kLibrary = "/icons/lib.dll";

QColor TopLeft(QToolButton *button) {
    return button->icon().pixmap(kGlyphSize).toImage().pixelColor(0, 0);
}
// The fake shell's colour of icon index.
QColor IconColour(FakeShell &shell, int index) {
    return shell.ExtractIcon(kLibrary, index).pixmap(32, 32).toImage().pixelColor(0, 0);
}
} // namespace

class PickIconTest : public QObject {
    Q_OBJECT
    FakeShell shell;
    FakeHelp help;

private slots:
    void init() {
        shell.iconCounts = {{kLibrary, 12}, {"/icons/two.ico", 2}};
        help.topics.clear();
    }

    void layout() {
        TForm2 picker(shell, help, kLibrary);
        QCOMPARE(picker.windowTitle(), QString("Select"));
        QCOMPARE(picker.size(), QSize(113, 58));
        QCOMPARE(picker.minimumSize(), picker.maximumSize());
        QCOMPARE(picker.pos(), QPoint(258, 162));
        QVERIFY(!(picker.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(picker.windowFlags() & Qt::WindowSystemMenuHint);
        QCOMPARE(picker.Panel1->geometry(), QRect(0, 0, 113, 41));
        QCOMPARE(picker.SpeedButton1->geometry(), QRect(2, 2, 37, 37));
        QCOMPARE(picker.SpeedButton1->toolTip(), QString("Press to choose this Icon"));
        QCOMPARE(picker.SpinButton1->geometry(), QRect(44, 2, 25, 37));
        QCOMPARE(picker.SpeedButton2->geometry(), QRect(74, 2, 37, 37));
        QCOMPARE(picker.SpeedButton2->text(), QString("?"));
        QCOMPARE(picker.SpeedButton2->toolTip(), QString("Help"));
        QCOMPARE(picker.Panel2->geometry().height(), 16);
        QVERIFY(picker.Panel2->font().bold());
        QCOMPARE(picker.Panel2->font().pixelSize(), 12);
    }

    // Up and Down step through the icons without wrapping around; the choose button shows the
    // icon at the index.
    void stepping_data() {
        QTest::addColumn<QString>("clicks"); // u: up, d: down
        QTest::addColumn<int>("index");
        QTest::newRow("opened") << "" << 0;
        QTest::newRow("three up") << "uuu" << 3;
        QTest::newRow("down at the first") << "d" << 0;
        QTest::newRow("up at the last") << QString(12, 'u') << 11;
        QTest::newRow("up and down") << "uuudd" << 1;
        QTest::newRow("down past the first") << "uudddu" << 1;
    }
    void stepping() {
        QFETCH(QString, clicks);
        QFETCH(int, index);
        TForm2 picker(shell, help, kLibrary);
        picker.show();
        for (QChar c : clicks)
            QTest::mouseClick(c == 'u' ? picker.SpinUp : picker.SpinDown, Qt::LeftButton);
        QCOMPARE(picker.Index(), index);
        QCOMPARE(picker.Panel2->text(), QString("Icon %1 of 12").arg(index + 1));
        QCOMPARE(TopLeft(picker.SpeedButton1), IconColour(shell, index));
        const QImage glyph = picker.SpeedButton1->icon().pixmap(kGlyphSize).toImage();
        QCOMPARE(glyph.size(), QSize(32, 33));
        QCOMPARE(glyph.pixelColor(0, 32), picker.SpeedButton1->palette().color(QPalette::Button));
    }

    // Pick() returns the index chosen, nothing when the picker is closed otherwise; every
    // showing starts at the first icon again.
    void picking() {
        TForm2 picker(shell, help, kLibrary);
        QTimer::singleShot(0, &picker, [&picker] {
            QTest::mouseClick(picker.SpinUp, Qt::LeftButton);
            QTest::mouseClick(picker.SpinUp, Qt::LeftButton);
            QTest::keyClick(&picker, Qt::Key_Up);
            QTest::mouseClick(picker.SpeedButton1, Qt::LeftButton);
        });
        QCOMPARE(picker.Pick(), std::optional<int>(3));
        QVERIFY(!picker.isVisible());

        QTimer::singleShot(0, &picker, [&picker] {
            QTest::mouseClick(picker.SpinUp, Qt::LeftButton);
            picker.close(); // the system menu's Close
        });
        QCOMPARE(picker.Pick(), std::nullopt);

        QTimer::singleShot(0, &picker, [&picker] {
            QCOMPARE(picker.Panel2->text(), QString("Icon 1 of 12"));
            QTest::keyClick(&picker, Qt::Key_Escape);
        });
        QCOMPARE(picker.Pick(), std::nullopt);

        QTimer::singleShot(0, &picker, [&picker] {
            QTest::mouseClick(picker.SpeedButton1, Qt::LeftButton);
        });
        QCOMPARE(picker.Pick(), std::optional<int>(0));
    }

    void helpKeepsThePickerOpen() {
        TForm2 picker(shell, help, "/icons/two.ico");
        picker.show();
        QTest::mouseClick(picker.SpinUp, Qt::LeftButton);
        QTest::mouseClick(picker.SpeedButton2, Qt::LeftButton);
        QCOMPARE(help.topics, QList<int>{14});
        QVERIFY(picker.isVisible());
        QCOMPARE(picker.Panel2->text(), QString("Icon 2 of 2"));
    }
};

QTEST_MAIN(PickIconTest)
#include "tst_pickicon.moc"
