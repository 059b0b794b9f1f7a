// Launching a button's program, the "Run a Program" button and the launch options.
#include "app/Icons.h"
#include "launch/Paths.h"

#include <QToolButton>

void TForm1::ButtonClick(QToolButton *button) {
    if (HelpModeClick(5))
        return;
    Q_UNUSED(button);
}

void TForm1::Launch(const QString &, const QString &, const QString &) {}

void TForm1::RunButtonClick() {
    if (HelpModeClick(29))
        return;
}

void TForm1::SelectFiles1Click() {}
void TForm1::SelectWorkingDirectory1Click() {}
void TForm1::LastLaunchedClick() {}
void TForm1::MRU1Click() {}
void TForm1::MruList1MruClick(const QString &) {}
void TForm1::SoundSelect1Click(QAction *) {}
void TForm1::PlaySound(const QString &) {}
