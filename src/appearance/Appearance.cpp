// Glyphs and hints of the launch buttons.
#include "app/Icons.h"

#include <QToolButton>

void TForm1::IconVert(QToolButton *button, const ButtonRecord &record) {
    // Until the icon chain is in place the button keeps its design hint.
    button->setProperty("program", record.Programs);
}

void TForm1::ChangeIcon() {}
