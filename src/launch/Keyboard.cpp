// Working the bar from the keyboard: the hidden key box holds the focus and moves a
// selection over the buttons of all pages.
#include "app/Icons.h"

#include <QAction>
#include <QLineEdit>
#include <QToolButton>

namespace {
const QString kEmptyHint = QStringLiteral("Mouse: Left=Load/Launch  Right=Options");
}

void TForm1::SelectKeyButton(int number) {
    keyCursor_.position = number;
    keyCursor_.atStart = false;
    if (QToolButton *button = FindButton(number)) {
        button->setChecked(true); // its page's group releases the others
        SetCurrentButton(button->objectName());
    }
}

void TForm1::ReleaseKeyButton() {
    if (!keyCursor_.atStart && keyCursor_.position > 0)
        if (QToolButton *button = FindButton(keyCursor_.position))
            button->setChecked(false);
}

void TForm1::KeyToPageStart() {
    ReleaseKeyButton();
    const int n = buttonsPerPage_;
    keyCursor_.position = TabSet1->currentIndex() * n;
    if (keyCursor_.position <= 0)
        keyCursor_.position = TabSet1->count() * n;
    keyCursor_.atStart = true;
}

void TForm1::KeysKeyDown(int key) {
    const int n = buttonsPerPage_;
    const int pages = TabSet1->count();
    auto buttonAtCursor = [this]() -> QToolButton * {
        return keyCursor_.atStart || keyCursor_.position <= 0 ? nullptr
                                                              : FindButton(keyCursor_.position);
    };
    auto goToPage = [this](int page) { TabSet1->setCurrentIndex(page); }; // puts S at its start
    // The page keys put the cursor at the start position even when the page stays the same
    // (a page change does it too, but there is none on the first, the last or a single page).
    auto turnToPage = [this, &goToPage](int page) {
        goToPage(page);
        KeyToPageStart();
    };

    switch (key) {
    case Qt::Key_F1:
        platform_.help->ShowContents();
        break;
    case Qt::Key_F2:
        if (!ModifyLocked())
            TopButtonKey();
        break;
    case Qt::Key_F3:
        SmallSize();
        break;
    case Qt::Key_F5:
        if (QToolButton *b = buttonAtCursor(); b && b->isChecked() && !InlineBoxOpen())
            ButtonKeyPop();
        break;
    case Qt::Key_F6:
        // Not while a button waits to be placed, as a right click on the tab row opens no
        // menu then: a page operation would end the placing and strand the button.
        if (TabSet1->selectedColor() == StoredSelectedColor() && !InlineBoxOpen() &&
            !ModifyLocked() && mode_ != InteractionMode::PlaceButton) {
            SetMenuTab(TabSet1->currentIndex());
            ShowPopup(PopupMenu2, mapToGlobal(QPoint(0, 0)));
        }
        break;
    default:
        break;
    }
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (presentation_.shrunk && arrow)
        SmallSize();
    if (presentation_.shrunk)
        return;

    if (pages > 0) {
        const int t = TabSet1->currentIndex();
        const int first = t * n + 1;
        const int last = t * n + n;
        switch (key) {
        case Qt::Key_PageDown: // the previous page, as the bar always had it
            FormCaption();
            ReleaseKeyButton();
            turnToPage(t > 0 ? t - 1 : pages - 1);
            break;
        case Qt::Key_PageUp:
            FormCaption();
            ReleaseKeyButton();
            turnToPage(t < pages - 1 ? t + 1 : 0);
            break;
        case Qt::Key_Left:
            if (keyCursor_.atStart && t == 0) {
                goToPage(pages - 1);
                SelectKeyButton(pages * n);
            } else if (!keyCursor_.atStart && keyCursor_.position > first) {
                SelectKeyButton(keyCursor_.position - 1);
            } else if (t > 0) {
                goToPage(t - 1);
                SelectKeyButton(t * n);
            } else {
                goToPage(pages - 1);
                SelectKeyButton(pages * n);
            }
            break;
        case Qt::Key_Right:
            if (keyCursor_.atStart) {
                SelectKeyButton(first);
            } else if (keyCursor_.position < last) {
                SelectKeyButton(keyCursor_.position + 1);
            } else {
                goToPage(t < pages - 1 ? t + 1 : 0);
                SelectKeyButton(TabSet1->currentIndex() * n + 1);
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (QToolButton *b = buttonAtCursor(); b && keyCursor_.position >= first &&
                                                   keyCursor_.position <= last && b->isChecked()) {
                if (mode_ == InteractionMode::PlaceButton) {
                    SetCurrentButton(b->objectName());
                    PutButton();
                } else {
                    ButtonClick(b);
                }
                b->setChecked(false);
            }
            break;
        case Qt::Key_Escape:
            // Escape also gives back a button or a page that waits to be placed.
            if (mode_ == InteractionMode::PlaceButton)
                CancelPlacing();
            else if (mode_ == InteractionMode::MovePage)
                CancelPageMove();
            if (QToolButton *b = buttonAtCursor()) {
                b->setChecked(false);
                keyCursor_.position = t > 0 ? t * n : pages * n;
                keyCursor_.atStart = true;
                FormCaption();
            }
            break;
        case Qt::Key_Home:
            ReleaseKeyButton();
            FormCaption();
            turnToPage(0);
            TabSet1->setFirstIndex(0);
            break;
        case Qt::Key_End:
            ReleaseKeyButton();
            FormCaption();
            turnToPage(pages - 1);
            break;
        default:
            break;
        }
    }

    QToolButton *b = buttonAtCursor();
    if (b) {
        if (b->isChecked()) {
            const QString hint = b->toolTip() == kEmptyHint ? QStringLiteral("Empty") : b->toolTip();
            FormCaption();
            setWindowTitle(windowTitle() + QString(7, QLatin1Char(' ')) + hint);
        } else {
            FormCaption();
        }
    }
    if (keyCursor_.position == 0) {
        keyCursor_.position = pages * n;
        keyCursor_.atStart = true;
    }
    if (b && b->isChecked())
        PlaySound(b->objectName());
}

void TForm1::ButtonKeyPop() {
    QToolButton *b = keyCursor_.atStart ? nullptr : FindButton(keyCursor_.position);
    if (!b)
        return;
    SetCurrentButton(b->objectName());
    if (mode_ != InteractionMode::Normal) {
        PutButton();
        return;
    }
    const ButtonRecord record = ReadButtonRecord(Ini(), CurrentButton());
    SetOptionMarks(record);
    if (record.Occupied() && !ModifyLocked())
        ShowPopup(PopupMenu1, mapToGlobal(QPoint(0, 0)));
}
