// The gauge on a high-density screen (a scale factor of 2): drawn at the screen's own pixels,
// not a picture of the widget's size scaled up, which shows blocky or blurred edges. The faces
// are saved as PNGs in the build directory (gauge-faces/) for people to look at.

#include "components/enhgauge.h"

#include <QApplication>
#include <QDir>
#include <QSet>
#include <QTest>

namespace {
using G = TEnhancedGauge;

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kSurround(0xC0, 0xC0, 0xC0);

// Every colour a face can show without blending: each of its colours, and each under the text
// (inverted).
QSet<QRgb> UnblendedColours() {
    QSet<QRgb> colours;
    for (const QColor &colour : {QColor(Qt::black), kLime, kMaroon, kSurround}) {
        colours << colour.rgb() << (colour.rgb() ^ 0x00FFFFFFu);
    }
    return colours;
}

// True when every aligned 2 × 2 block of the image has one colour: a picture of half the size
// doubled.
bool IsDoubled(const QImage &image) {
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb corner = image.pixel(x, y);
            if (image.pixel(x + 1, y) != corner || image.pixel(x, y + 1) != corner ||
                image.pixel(x + 1, y + 1) != corner)
                return false;
        }
    }
    return true;
}
} // namespace

class GaugeDensityTest : public QObject {
    Q_OBJECT
private slots:
    void sharpOnHighDensityScreens_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("text");
        QTest::addColumn<bool>("straightEdgesOnly"); // then the face is exactly the 1x one, doubled
        QTest::newRow("bar") << int(G::gkHorizontalBar) << false << true;
        QTest::newRow("column") << int(G::gkVerticalBar) << false << true;
        QTest::newRow("bar with text") << int(G::gkHorizontalBar) << true << false;
        QTest::newRow("pie") << int(G::gkPie) << false << false;
        QTest::newRow("pie with text") << int(G::gkPie) << true << false;
        QTest::newRow("needle") << int(G::gkNeedle) << false << false;
        QTest::newRow("text") << int(G::gkText) << true << false;
    }
    void sharpOnHighDensityScreens() {
        QFETCH(int, kind);
        QFETCH(bool, text);
        QFETCH(bool, straightEdgesOnly);
        // The main window's gauge: 39 × 15, lime on maroon.
        G gauge;
        gauge.resize(39, 15);
        gauge.setBorderStyle(G::bsNone);
        gauge.setForeColor(kLime);
        gauge.setBackColor(kMaroon);
        gauge.setColor(kSurround);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        gauge.setFont(font);
        gauge.setKind(G::TGaugeKind(kind));
        gauge.setShowText(text);
        gauge.setProgress(37);
        gauge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gauge));
        QCOMPARE(gauge.devicePixelRatioF(), 2.0);

        const QImage shown = gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QDir().mkpath(QStringLiteral(ORVANE_BUILD_DIR "/gauge-faces"));
        shown.save(QStringLiteral(ORVANE_BUILD_DIR "/gauge-faces/2x-%1.png")
                       .arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
        QCOMPARE(shown.size(), QSize(78, 30));

        const QSet<QRgb> allowed = UnblendedColours();
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                QVERIFY2(allowed.contains(shown.pixel(x, y)),
                         qPrintable(QStringLiteral("a blended pixel at %1,%2: %3")
                                        .arg(x)
                                        .arg(y)
                                        .arg(shown.pixel(x, y), 8, 16)));
        const QImage single = gauge.Render().convertToFormat(QImage::Format_RGB32);
        if (straightEdgesOnly) {
            // Nothing to sharpen: the same face, each pixel as four.
            QImage doubled = single.scaled(shown.size());
            doubled.setDevicePixelRatio(shown.devicePixelRatio());
            QCOMPARE(shown, doubled);
        } else {
            // Curves and letters get the screen's finer pixels.
            QVERIFY2(!IsDoubled(shown), "the face is the 1x picture scaled up");
        }
    }
};

int main(int argc, char **argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    GaugeDensityTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_gaugedensity.moc"
