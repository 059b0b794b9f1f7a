// A program for the end-to-end tests whose first window appears some time after it starts (the
// milliseconds given as its argument, a second without one), as a slow program's would. Its toolkit ends the desktop's startup notification when the window maps.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Late window"));
    window.resize(200, 100);
    const int delay = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QTimer::singleShot(delay, &window, [&window] { window.show(); });
    return app.exec();
}
