#pragma once

#include "pages/PageShift.h"
#include "settings/ButtonRecord.h"

#include <QString>

// The state of the page and button editing, written by the handlers of this folder alone.

// The button the button menu acts on, and a moved or copied button until it is placed
// (Editing.cpp).
struct ButtonEditing {
    QString button;           // the button the menu acts on, chosen by the mouse or the keys
    ButtonRecord current;     // the record read last
    ButtonRecord held;        // the record of a move or copy, until it is placed
    int sourceNumber = 0;     // the button it was taken from
    bool pendingMove = false; // a move: the source has been emptied
};

// The page menu's page, and a page taken out by "Move Page" until it is put back (PageMenu.cpp).
struct PageMenuState {
    int tab = -1; // the tab the page menu acts on, -1 for none
    MovedPage moved;
    int movedFrom = -1; // the tab index the moved page was taken from
};

// What the inline box (PageName) is open for: its Enter stores the text there.
enum class InlineBoxMode { Closed, Tab, Page, Button, Parameter, Lockout };

struct PageNameBox {
    InlineBoxMode mode = InlineBoxMode::Closed;
    // In the modes Button and Parameter: the button it was opened for, whichever button the
    // keys select meanwhile.
    QString button;
};
