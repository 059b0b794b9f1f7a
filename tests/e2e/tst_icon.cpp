// The bar's window shows the program's one icon, the scalable picture the application menu
// shows (data/io.orvane.Orvane.svg), at every size it hands the window manager.

#include "BarHarness.h"

#include <QGuiApplication>
#include <QIcon>
#include <QtTest>
#include <xcb/xcb.h>

using namespace e2e;

namespace {
// The images of a window's _NET_WM_ICON: width, height, then that many ARGB pixels, repeated.
QList<QImage> WindowIcons(quint32 window) {
    QList<QImage> images;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return images;
    }
    const char *name = "_NET_WM_ICON";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_get_property_reply_t *reply =
        atom ? xcb_get_property_reply(connection,
                                      xcb_get_property(connection, 0, window, atom->atom,
                                                       XCB_ATOM_CARDINAL, 0, 1 << 22),
                                      nullptr)
             : nullptr;
    if (reply && reply->format == 32) {
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int at = 0; at + 2 <= count;) {
            const int width = int(data[at]), height = int(data[at + 1]);
            at += 2;
            if (width <= 0 || height <= 0 || at + width * height > count)
                break;
            QImage image(width, height, QImage::Format_ARGB32);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    image.setPixel(x, y, data[at + y * width + x]);
            at += width * height;
            images << image;
        }
    }
    std::free(reply);
    std::free(atom);
    xcb_disconnect(connection);
    return images;
}

// The largest difference of one colour channel between two images of one size.
int Difference(const QImage &a, const QImage &b) {
    int most = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int shift : {0, 8, 16, 24})
                most = qMax(most, qAbs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
        }
    }
    return most;
}
} // namespace

class TestIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh");
    }

    void windowShowsTheScalableIcon() {
        const QIcon svg(QStringLiteral(ORVANE_SOURCE_DIR "/data/io.orvane.Orvane.svg"));
        QVERIFY2(!svg.pixmap(32, 32).isNull(), "the SVG icon engine (libqt6svg6) is not installed");
        BarHome home;
        QVERIFY(home.IsValid());
        QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\n"));
        Bar bar(home, {});
        QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));

        const QList<QImage> icons = WindowIcons(bar.Window().toUInt());
        QVERIFY(!icons.isEmpty());
        int largest = 0;
        for (const QImage &icon : icons) {
            const QImage expected =
                svg.pixmap(icon.size()).toImage().convertToFormat(QImage::Format_ARGB32);
            icon.save(QStringLiteral(ORVANE_BUILD_DIR "/e2e-window-icon-%1.png").arg(icon.width()));
            // The same picture, give or take the rounding of premultiplied colours.
            QVERIFY2(
                Difference(icon, expected) <= 2,
                qPrintable(QStringLiteral("the %1 x %2 icon is not the SVG's picture (off by %3)")
                               .arg(icon.width())
                               .arg(icon.height())
                               .arg(Difference(icon, expected))));
            largest = qMax(largest, icon.width());
        }
        // Large sizes are there for the desktop's task switchers, rendered, not scaled up.
        QVERIFY2(largest >= 64, qPrintable(QStringLiteral("largest icon %1 px").arg(largest)));
    }
};

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"
