// The bar's sizes, the top correction and button numbers: plain functions, no window.
#include "pages/BarGeometry.h"

#include <QTest>

class GeometryTest : public QObject {
    Q_OBJECT
private slots:
    void geometry_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("usable");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<int>("windowHeight");
        QTest::addColumn<int>("pageWidth");
        QTest::addColumn<int>("clientHeight");
        QTest::addColumn<int>("scrollRange");
        // menu height 19 throughout: framed height = 19 + H + 6
        QTest::newRow("16 framed") << 16 << 1024 << false << 576 << 627 << 79 << 583 << 54 << 0;
        QTest::newRow("16 on top") << 16 << 1024 << true << 576 << 620 << 54 << 576 << 54 << 0;
        QTest::newRow("21 framed") << 21 << 1024 << false << 756 << 807 << 79 << 763 << 54 << 0;
        QTest::newRow("21 on top") << 21 << 1024 << true << 756 << 800 << 54 << 756 << 54 << 0;
        QTest::newRow("10 per page") << 10 << 1024 << false << 360 << 411 << 79 << 367 << 54 << 0;
        // 21 on a screen whose maximum is 16: taller client, scroll range page width + 42,
        // window capped to the usable width
        QTest::newRow("21 over max framed") << 21 << 650 << false << 756 << 650 << 96 << 763 << 71 << 805;
        QTest::newRow("21 over max on top") << 21 << 650 << true << 756 << 650 << 71 << 756 << 71 << 798;
        // width - 10 must exceed the usable width before the cap applies
        QTest::newRow("no cap at the edge") << 16 << 617 << false << 576 << 627 << 79 << 583 << 54 << 0;
        QTest::newRow("cap past the edge") << 16 << 616 << false << 576 << 616 << 79 << 583 << 54 << 0;
    }
    void geometry() {
        QFETCH(int, n);
        QFETCH(int, usable);
        QFETCH(bool, onTop);
        const BarGeometry g = ComputeBarGeometry(n, PerPageMaximum(usable), 19, usable, onTop);
        QTEST(g.barWidth, "barWidth");
        QTEST(g.windowWidth, "windowWidth");
        QTEST(g.windowHeight, "windowHeight");
        QTEST(g.pageAreaWidth, "pageWidth");
        QTEST(g.clientHeight, "clientHeight");
        QTEST(g.scrollRange, "scrollRange");
    }

    void perPageMaximum_data() {
        QTest::addColumn<int>("usable");
        QTest::addColumn<int>("maximum");
        QTest::newRow("narrow") << 500 << 16;
        QTest::newRow("600") << 600 << 16;
        QTest::newRow("601") << 601 << 16;
        QTest::newRow("700") << 700 << 16;
        QTest::newRow("701") << 701 << 21;
    }
    void perPageMaximum() {
        QFETCH(int, usable);
        QTEST(PerPageMaximum(usable), "maximum");
    }

    void correctedTop_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("taller");
        QTest::addColumn<int>("top");
        // screen 768, menu 19: default top D = 664
        QTest::newRow("fits") << 300 << false << 300;
        QTest::newRow("too low") << 718 << false << 674;
        QTest::newRow("just fits") << 717 << false << 717;
        QTest::newRow("taller, low") << 654 << true << 649;
        QTest::newRow("taller, too low") << 760 << true << 649;
        QTest::newRow("taller, fits") << 653 << true << 653;
        QTest::newRow("negative") << -50 << false << -50;
    }
    void correctedTop() {
        QFETCH(int, stored);
        QFETCH(bool, taller);
        QTEST(CorrectedTop(stored, 768, 19, taller), "top");
    }

    void buttonNumber_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("one digit") << "SpeedButton7" << 7;
        QTest::newRow("five digits") << "SpeedButton12345" << 12345;
        QTest::newRow("no digits") << "SpeedButton" << 0;
        QTest::newRow("six digits") << "SpeedButton123456" << 0;
        QTest::newRow("not a number") << "SpeedButtonX" << 0;
    }
    void buttonNumber() {
        QFETCH(QString, name);
        QTEST(ButtonNumber(name), "number");
    }
};

QTEST_GUILESS_MAIN(GeometryTest)
#include "tst_geometry.moc"
