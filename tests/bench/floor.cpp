// The floor of the start-up benchmark: the least a Qt program with the bar's visible parts
// costs. One window of the bar's size with 21 tool buttons showing theme icons and a tab row
// of 20 tabs; nothing read, nothing else built.

#include "BenchCommon.h"

#include <QApplication>
#include <QIcon>
#include <QTabBar>
#include <QToolButton>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QIcon::setThemeName(QLatin1String(bench::IconTheme));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    int slot = 0;
    for (const std::string &name : bench::IconNames()) {
        auto *button = new QToolButton(&window);
        button->setGeometry(44 + 36 * slot++, 0, 37, 37);
        button->setIcon(QIcon::fromTheme(QString::fromStdString(name)));
        button->setIconSize(QSize(32, 32));
        button->setAutoRaise(false);
    }
    auto *tabs = new QTabBar(&window);
    tabs->setGeometry(44, 36, 36 * 21, 18);
    tabs->setDrawBase(false);
    for (int i = 1; i <= 20; ++i)
        tabs->addTab(QStringLiteral("Page%1").arg(i));
    window.setFixedSize(801, 54);
    window.show();
    return app.exec();
}
