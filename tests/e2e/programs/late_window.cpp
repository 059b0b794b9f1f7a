// A program for the end-to-end tests whose first window appears a second after it starts, as a
// slow program's would. Its toolkit ends the desktop's startup notification when the window maps.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Late window"));
    window.resize(200, 100);
    QTimer::singleShot(1000, &window, [&window] { window.show(); });
    return app.exec();
}
