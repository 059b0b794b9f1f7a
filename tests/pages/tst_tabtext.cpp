// The colour of the tab names: black where it reads on the tab, white on dark tabs.
#include "pages/TabSet.h"

#include <QTest>

class TabTextTest : public QObject {
    Q_OBJECT
private slots:
    void textColour_data() {
        QTest::addColumn<QColor>("tab");
        QTest::addColumn<QColor>("text");
        // The bar's defaults and the red tab of a page being renamed keep their black names.
        QTest::newRow("silver, the selected default")
            << QColor(0xC0, 0xC0, 0xC0) << QColor(Qt::black);
        QTest::newRow("teal, the unselected default")
            << QColor(0x00, 0x80, 0x80) << QColor(Qt::black);
        QTest::newRow("red, renaming") << QColor(0xFF, 0x00, 0x00) << QColor(Qt::black);
        QTest::newRow("white") << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("navy") << QColor(0x00, 0x00, 0x80) << QColor(Qt::white);
        QTest::newRow("dark blue") << QColor(0x20, 0x50, 0xA0) << QColor(Qt::white);
        QTest::newRow("pure blue") << QColor(0x00, 0x00, 0xFF) << QColor(Qt::white);
        QTest::newRow("purple") << QColor(0x80, 0x00, 0x80) << QColor(Qt::white);
        QTest::newRow("black") << QColor(Qt::black) << QColor(Qt::white);
    }
    void textColour() {
        QFETCH(QColor, tab);
        QTEST(TabTextColor(tab), "text");
    }

    // What the row paints: the unselected tab's name in white on navy, the selected one's in black.
    void painted() {
        TTabSet row;
        row.resize(300, 18);
        row.setTabs({QStringLiteral("MMMM"), QStringLiteral("MMMM")});
        row.setUnselectedColor(QColor(0x00, 0x00, 0x80));
        const QImage picture = row.grab().toImage();
        // Pixels inside a tab, away from its outline, lighter or darker than the given grey.
        auto count = [&](const QRect &r, bool lighter, int grey) {
            int n = 0;
            for (int y = r.top() + 2; y < r.bottom() - 1; ++y)
                for (int x = r.left() + 8; x < r.right() - 8; ++x)
                    n += lighter ? qGray(picture.pixel(x, y)) > grey
                                 : qGray(picture.pixel(x, y)) < grey;
            return n;
        };
        QVERIFY(count(row.tabRect(1), true, 200) > 10);
        QCOMPARE(count(row.tabRect(0), true, 200), 0);
        QVERIFY(count(row.tabRect(0), false, 60) > 10);
    }
};

QTEST_MAIN(TabTextTest)
#include "tst_tabtext.moc"
