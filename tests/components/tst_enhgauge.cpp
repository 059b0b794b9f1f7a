// The gauge control: its range rules and repaints, and the pixels of its five faces, the text
// and the border, rendered off screen. Each face is also saved as a PNG in the build directory
// (gauge-faces/) for people to look at.

#include "components/enhgauge.h"

#include <QDir>
#include <QPainter>
#include <QTest>

namespace {

using G = TEnhancedGauge;

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kSurround(0xC0, 0xC0, 0xC0);

// The main window's gauge: 39 × 15, no border, lime on maroon, text centred.
void LikeTheBar(G &gauge) {
    gauge.resize(39, 15);
    gauge.setBorderStyle(G::bsNone);
    gauge.setForeColor(kLime);
    gauge.setBackColor(kMaroon);
    gauge.setColor(kSurround);
    gauge.setAlignment(G::taCenter);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    gauge.setFont(font);
}

bool Is(const QImage &image, int x, int y, const QColor &color) {
    return image.pixelColor(x, y).rgb() == color.rgb();
}

// Pixels of a colour in a row from the left, and in a column from the bottom.
int RunFromLeft(const QImage &image, int y, int from, const QColor &color) {
    int n = 0;
    while (from + n < image.width() && Is(image, from + n, y, color))
        ++n;
    return n;
}

int RunFromBottom(const QImage &image, int x, int from, const QColor &color) {
    int n = 0;
    while (from - n >= 0 && Is(image, x, from - n, color))
        ++n;
    return n;
}

// The box around the pixels in which two pictures differ.
QRect Changed(const QImage &a, const QImage &b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

QColor Inverted(const QColor &c) {
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

} // namespace

Q_DECLARE_METATYPE(G::TGaugeKind)
Q_DECLARE_METATYPE(G::TBorderStyle)
Q_DECLARE_METATYPE(G::TAlignment)

class TestEnhGauge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arithmetic();
    void rangeRules();
    void rangeErrors();
    void repaints();
    void barFill_data();
    void barFill();
    void pieQuarters_data();
    void pieQuarters();
    void needleDirection_data();
    void needleDirection();
    void borderFrame_data();
    void borderFrame();
    void textPosition_data();
    void textPosition();
    void textInvertsAndClips();
    void screenShowsTheRendering();
    void saveFaces();
};

// The extended-precision quirk of the fill arithmetic and truncation toward zero.
void TestEnhGauge::arithmetic() {
    QCOMPARE(G::PartOf(10, 10), 0);
    QCOMPARE(G::PartOf(20, 15), 2);
    QCOMPARE(G::PartOf(100, 40), 40);
    QCOMPARE(G::PartOf(0, 40), 0);
    QCOMPARE(G::PercentOf(5, 0), 0);
    QCOMPARE(G::PercentOf(1, 3), 33);
    QCOMPARE(G::PercentOf(-1, 3), -33); // not -34
    QCOMPARE(G::PercentOf(2, 3), 66);
}

void TestEnhGauge::rangeRules() {
    G gauge;
    QCOMPARE(gauge.MinValue(), 0);
    QCOMPARE(gauge.MaxValue(), 100);
    QCOMPARE(gauge.Kind(), G::gkHorizontalBar);
    QCOMPARE(gauge.BorderStyle(), G::bsSingle);
    QCOMPARE(gauge.Alignment(), G::taLeftJustify);
    QCOMPARE(gauge.size(), QSize(100, 100));

    gauge.setProgress(150);
    QCOMPARE(gauge.Progress(), 100);
    gauge.setProgress(-5);
    QCOMPARE(gauge.Progress(), 0);
    gauge.setProgress(30);
    gauge.setMinValue(40); // raises Progress with it
    QCOMPARE(gauge.Progress(), 40);
    QCOMPARE(gauge.Percentage(), 0);
    gauge.setProgress(90);
    gauge.setMaxValue(60); // lowers it
    QCOMPARE(gauge.Progress(), 60);
    QCOMPARE(gauge.Percentage(), 100);
    gauge.setMinValue(60); // an empty range is accepted and shows 0 %
    QCOMPARE(gauge.Percentage(), 0);

    // A range wider than 32 bits does not wrap.
    G wide;
    wide.setMaxValue(2000000000);
    wide.setMinValue(-2000000000);
    wide.setProgress(1000000000);
    QCOMPARE(wide.Percentage(), 75);

    // Negative ranges truncate toward zero.
    G negative;
    negative.setMinValue(-300);
    negative.setMaxValue(0);
    negative.setProgress(-299);
    QCOMPARE(negative.Percentage(), 0);
    negative.setProgress(-1);
    QCOMPARE(negative.Percentage(), 99);
}

void TestEnhGauge::rangeErrors() {
    G gauge;
    gauge.setProgress(50);
    try {
        gauge.setMinValue(101);
        QFAIL("no error");
    } catch (const EInvalidOperation &e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("Value must be between -2147483647 and 99"));
    }
    gauge.setMinValue(10);
    try {
        gauge.setMaxValue(9);
        QFAIL("no error");
    } catch (const EInvalidOperation &e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("Value must be between 11 and 2147483647"));
    }
    // A refused value changes nothing.
    QCOMPARE(gauge.MinValue(), 10);
    QCOMPARE(gauge.MaxValue(), 100);
    QCOMPARE(gauge.Progress(), 50);
}

// Progress repaints only when the whole percentage changes; the label and the alignment always.
void TestEnhGauge::repaints() {
    QWidget parent;
    G *gauge = new G(&parent);
    gauge->setMaxValue(1000);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    int count = gauge->PaintCount();
    gauge->setProgress(5); // still 0 %
    QCOMPARE(gauge->PaintCount(), count);
    gauge->setProgress(10); // 1 %, painted at once
    QCOMPARE(gauge->PaintCount(), ++count);
    gauge->setProgress(10);
    QCOMPARE(gauge->PaintCount(), count);
    gauge->setKind(G::gkHorizontalBar); // unchanged
    QCOMPARE(gauge->PaintCount(), count);
    gauge->setKind(G::gkPie);
    QCOMPARE(gauge->PaintCount(), ++count);
    gauge->setProgressText(QString()); // unchanged, painted all the same
    QCOMPARE(gauge->PaintCount(), ++count);
    gauge->setAlignment(G::taLeftJustify);
    QCOMPARE(gauge->PaintCount(), ++count);
    gauge->setForeColor(gauge->ForeColor());
    QCOMPARE(gauge->PaintCount(), count);
}

// Filled columns of the horizontal bar and filled rows of the vertical one, on the bar's
// 39 × 15 gauge without a border and on a 40 × 20 one with a border.
void TestEnhGauge::barFill_data() {
    QTest::addColumn<G::TBorderStyle>("border");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");

    // No border: the face is 40 wide and 16 high by the fill's count, cut to the picture.
    QTest::newRow("bar 0") << G::bsNone << 0 << 0 << 0;
    QTest::newRow("bar 25") << G::bsNone << 25 << 10 << 3;
    QTest::newRow("bar 50") << G::bsNone << 50 << 20 << 7;
    QTest::newRow("bar 100") << G::bsNone << 100 << 39 << 14; // never the top row
    // Border: fills end at absolute coordinates, a pixel short of the face.
    QTest::newRow("border 0") << G::bsSingle << 0 << 0 << 0;
    QTest::newRow("border 25") << G::bsSingle << 25 << 8 << 4;
    QTest::newRow("border 50") << G::bsSingle << 50 << 18 << 9;
    QTest::newRow("border 100") << G::bsSingle << 100 << 38 << 18;
}

void TestEnhGauge::barFill() {
    QFETCH(G::TBorderStyle, border);
    QFETCH(int, percent);
    G gauge;
    LikeTheBar(gauge);
    gauge.setShowText(false);
    gauge.setBorderStyle(border);
    if (border == G::bsSingle)
        gauge.resize(40, 20);
    gauge.setProgress(percent);
    const int inset = border == G::bsSingle ? 1 : 0;

    const QImage bar = gauge.Render();
    QTEST(RunFromLeft(bar, gauge.height() / 2, inset, kLime), "columns");
    QCOMPARE(RunFromLeft(bar, gauge.height() / 2, inset, kLime) +
                 RunFromLeft(bar, gauge.height() / 2,
                             inset + RunFromLeft(bar, gauge.height() / 2, inset, kLime), kMaroon),
             gauge.width() - 2 * inset);

    gauge.setKind(G::gkVerticalBar);
    const QImage column = gauge.Render();
    const int bottom = gauge.height() - 1 - inset;
    QTEST(RunFromBottom(column, gauge.width() / 2, bottom, kLime), "rows");
    // The vertical fill spans the face's whole width.
    for (int x = inset; x < gauge.width() - inset; ++x)
        QCOMPARE(Is(column, x, bottom, kLime), percent > 0);
}

// The pie fills clockwise from twelve o'clock: 25 % is the quarter from twelve to three.
void TestEnhGauge::pieQuarters_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>(
        "filled"); // quarters: upper right, lower right, lower left, upper left
    QTest::newRow("0") << 0 << "----";
    QTest::newRow("25") << 25 << "X---";
    QTest::newRow("50") << 50 << "XX--";
    QTest::newRow("75") << 75 << "XXX-";
    QTest::newRow("100") << 100 << "XXXX";
}

void TestEnhGauge::pieQuarters() {
    QFETCH(int, percent);
    QFETCH(QString, filled);
    G gauge;
    LikeTheBar(gauge);
    gauge.resize(60, 60);
    gauge.setShowText(false);
    gauge.setKind(G::gkPie);
    gauge.setProgress(percent);
    const QImage pie = gauge.Render();
    const QPoint c(30, 30);
    const QPoint quarters[] = {c + QPoint(12, -12), c + QPoint(12, 12), c + QPoint(-12, 12),
                               c + QPoint(-12, -12)};
    QString got;
    for (const QPoint &q : quarters) {
        QVERIFY2(Is(pie, q.x(), q.y(), kLime) || Is(pie, q.x(), q.y(), kMaroon),
                 "inside the ellipse");
        got += Is(pie, q.x(), q.y(), kLime) ? QLatin1Char('X') : QLatin1Char('-');
    }
    QCOMPARE(got, filled);
    // The corners lie outside the ellipse, in the surround colour.
    QVERIFY(Is(pie, 2, 2, kSurround));
}

// The needle points left at 0 %, up at 50 % and right at 100 %, from the bottom centre.
void TestEnhGauge::needleDirection_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<double>("degrees"); // counter-clockwise from pointing right
    QTest::newRow("25") << 25 << 135.0;
    QTest::newRow("50") << 50 << 90.0;
    QTest::newRow("75") << 75 << 45.0;
}

void TestEnhGauge::needleDirection() {
    QFETCH(int, percent);
    QFETCH(double, degrees);
    G gauge;
    LikeTheBar(gauge);
    gauge.resize(61, 31);
    gauge.setShowText(false);
    gauge.setKind(G::gkNeedle);
    const QImage empty = gauge.Render();
    gauge.setProgress(percent);
    const QImage needle = gauge.Render();
    // Halfway along the needle lies on it; the mirror image of that point does not.
    const double a = degrees * M_PI / 180.0;
    const QPointF base(30, 29);
    const QPoint onIt = (base + QPointF(std::cos(a), -std::sin(a)) * 14).toPoint();
    const QPoint mirror = (base + QPointF(-std::cos(a), -std::sin(a)) * 14).toPoint();
    auto nearLime = [&](QPoint p) {
        for (int dx = -1; dx <= 1; ++dx)
            if (Is(needle, p.x() + dx, p.y(), kLime))
                return true;
        return false;
    };
    QVERIFY2(nearLime(onIt),
             qPrintable(QStringLiteral("no needle at %1,%2").arg(onIt.x()).arg(onIt.y())));
    if (percent != 50)
        QVERIFY(!nearLime(mirror));
    // 0 % draws nothing but the empty face.
    gauge.setProgress(0);
    QCOMPARE(gauge.Render(), empty);
}

// With a border every face is framed by one black pixel; without one the face reaches the edges.
void TestEnhGauge::borderFrame_data() {
    QTest::addColumn<G::TGaugeKind>("kind");
    QTest::newRow("text") << G::gkText;
    QTest::newRow("horizontal") << G::gkHorizontalBar;
    QTest::newRow("vertical") << G::gkVerticalBar;
    QTest::newRow("pie") << G::gkPie;
    QTest::newRow("needle") << G::gkNeedle;
}

void TestEnhGauge::borderFrame() {
    QFETCH(G::TGaugeKind, kind);
    G gauge;
    LikeTheBar(gauge);
    gauge.resize(40, 24);
    gauge.setKind(kind);
    // A full needle lies along the face's bottom and reaches the right edge of the control.
    gauge.setProgress(kind == G::gkNeedle ? 50 : 100);
    gauge.setProgressText(QStringLiteral("A very long label"));
    gauge.setBorderStyle(G::bsSingle);
    const QImage framed = gauge.Render();
    const int w = gauge.width(), h = gauge.height();
    for (int x = 0; x < w; ++x) {
        QVERIFY(Is(framed, x, 0, Qt::black));
        // The needle's baseline lies on the bottom edge of its face, which with a border is
        // the frame's row, up to the corner: kept as the drawing has always done.
        QVERIFY(Is(framed, x, h - 1, kind == G::gkNeedle && x > 0 ? kLime : QColor(Qt::black)));
    }
    for (int y = 0; y < h - 1; ++y)
        QVERIFY(Is(framed, 0, y, Qt::black) && Is(framed, w - 1, y, Qt::black));

    gauge.setBorderStyle(G::bsNone);
    const QImage bare = gauge.Render();
    int black = 0;
    for (int x = 0; x < w; ++x)
        black += Is(bare, x, 0, Qt::black) + Is(bare, x, h - 1, Qt::black);
    QVERIFY2(black < w, "the face reaches the edges");
}

// Where the text goes: centred without a label or with taCenter, two pixels from the left or
// the right otherwise; the label's side follows the alignment.
void TestEnhGauge::textPosition_data() {
    QTest::addColumn<G::TAlignment>("alignment");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("where");
    QTest::newRow("no label") << G::taLeftJustify << QString() << "85%"
                              << "centre";
    QTest::newRow("left") << G::taLeftJustify << "C"
                          << "85% : C"
                          << "left";
    QTest::newRow("right") << G::taRightJustify << "C"
                           << "C : 85%"
                           << "right";
    QTest::newRow("centre") << G::taCenter << "C"
                            << "C : 85%"
                            << "centre";
}

void TestEnhGauge::textPosition() {
    QFETCH(G::TAlignment, alignment);
    QFETCH(QString, label);
    QFETCH(QString, where);
    G gauge;
    LikeTheBar(gauge);
    gauge.resize(100, 20);
    gauge.setKind(G::gkText);
    gauge.setAlignment(alignment);
    gauge.setProgressText(label);
    gauge.setProgress(85);
    QTEST(gauge.DisplayText(), "text");
    gauge.setShowText(false);
    const QImage plain = gauge.Render();
    gauge.setShowText(true);
    const QRect text = Changed(plain, gauge.Render());
    QVERIFY(!text.isEmpty());
    const int leftGap = text.left(), rightGap = gauge.width() - 1 - text.right();
    if (where == QLatin1String("left"))
        QVERIFY2(leftGap >= 1 && leftGap <= 4, qPrintable(QString::number(leftGap)));
    else if (where == QLatin1String("right"))
        QVERIFY2(rightGap >= 1 && rightGap <= 4, qPrintable(QString::number(rightGap)));
    else
        QVERIFY2(qAbs(leftGap - rightGap) <= 3,
                 qPrintable(QStringLiteral("%1 %2").arg(leftGap).arg(rightGap)));
    // Vertically centred.
    const int topGap = text.top(), bottomGap = gauge.height() - 1 - text.bottom();
    QVERIFY2(qAbs(topGap - bottomGap) <= 4,
             qPrintable(QStringLiteral("%1 %2").arg(topGap).arg(bottomGap)));
}

// The text inverts what lies beneath it and never leaves the face.
void TestEnhGauge::textInvertsAndClips() {
    G gauge;
    LikeTheBar(gauge);
    gauge.setProgress(50);
    gauge.setShowText(false);
    const QImage plain = gauge.Render();
    gauge.setShowText(true);
    const QImage text = gauge.Render();
    int onBar = 0, onBack = 0;
    for (int y = 0; y < text.height(); ++y)
        for (int x = 0; x < text.width(); ++x) {
            if (text.pixel(x, y) == plain.pixel(x, y))
                continue;
            const QColor under = plain.pixelColor(x, y);
            QCOMPARE(text.pixelColor(x, y), Inverted(under));
            (under == kLime ? onBar : onBack)++;
        }
    QVERIFY(onBar > 0 && onBack > 0); // magenta on the bar, light cyan on the maroon

    // A label far wider than the face stays inside the border.
    gauge.setBorderStyle(G::bsSingle);
    gauge.setAlignment(G::taLeftJustify);
    gauge.setProgressText(QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWWW"));
    gauge.setShowText(false);
    const QImage framed = gauge.Render();
    gauge.setShowText(true);
    const QRect changed = Changed(framed, gauge.Render());
    QVERIFY(!changed.isEmpty());
    QVERIFY2(QRect(1, 1, gauge.width() - 2, gauge.height() - 2).contains(changed),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(changed.x())
                            .arg(changed.y())
                            .arg(changed.width())
                            .arg(changed.height())));
    QCOMPARE(changed.right(), gauge.width() - 2); // cut at the face, not before it
}

// What reaches the screen is the composed picture, copied in one piece.
void TestEnhGauge::screenShowsTheRendering() {
    QWidget parent;
    parent.resize(60, 30);
    auto *gauge = new G(&parent);
    LikeTheBar(*gauge);
    gauge->move(2, 1);
    gauge->setProgress(64);
    gauge->setProgressText(QStringLiteral("C"));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    const QImage shown = gauge->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, gauge->Render());
}

void TestEnhGauge::saveFaces() {
    const QString dir = QStringLiteral(ORVANE_BUILD_DIR) + QStringLiteral("/gauge-faces");
    QVERIFY(QDir().mkpath(dir));
    const struct {
        G::TGaugeKind kind;
        const char *name;
    } kinds[] = {{G::gkText, "text"},
                 {G::gkHorizontalBar, "horizontal"},
                 {G::gkVerticalBar, "vertical"},
                 {G::gkPie, "pie"},
                 {G::gkNeedle, "needle"}};
    const int percents[] = {0, 25, 50, 100};
    const int scale = 4;
    // One sheet: a row per face, the bar's own gauge and a larger framed one with a label.
    QImage sheet(scale * (4 * 39 + 4 * 64 + 9 * 4), scale * (5 * 40 + 6 * 4), QImage::Format_RGB32);
    sheet.fill(QColor(0x00, 0x80, 0x80));
    QPainter painter(&sheet);
    int row = 0;
    for (const auto &k : kinds) {
        int x = 4;
        for (bool large : {false, true}) {
            for (int p : percents) {
                G gauge;
                LikeTheBar(gauge);
                gauge.setKind(k.kind);
                if (large) {
                    gauge.resize(64, 40);
                    gauge.setBorderStyle(G::bsSingle);
                    gauge.setProgressText(QStringLiteral("C"));
                }
                gauge.setProgress(p);
                const QImage face = gauge.Render();
                QVERIFY(face.save(QStringLiteral("%1/%2-%3%4.png")
                                      .arg(dir, QLatin1String(k.name))
                                      .arg(p)
                                      .arg(large ? "-framed" : "")));
                painter.drawImage(QRect(x * scale, (4 + row * 44) * scale, face.width() * scale,
                                        face.height() * scale),
                                  face);
                x += face.width() + 4;
            }
        }
        ++row;
    }
    painter.end();
    QVERIFY(sheet.save(dir + QStringLiteral("/all-faces.png")));
}

QTEST_MAIN(TestEnhGauge)
#include "tst_enhgauge.moc"
