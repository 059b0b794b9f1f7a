// Moving, copying, removing and describing buttons.
#include "app/Icons.h"
#include "launch/LaunchRules.h"

#include <QAction>
#include <QCursor>
#include <QLineEdit>
#include <QToolButton>

namespace {
int ShrinkTag(const QString &shrink) {
    return shrink == QLatin1String("Yes") ? 1 : shrink == QLatin1String("No") ? 0 : 100;
}
} // namespace

void TForm1::SpeedRightMouseDown(QToolButton *button) {
    if (InlineBoxOpen())
        return;
    currentButton = button->objectName();
    if (mode_ != InteractionMode::Normal) {
        PutButton();
        return;
    }
    sourceNumber = ButtonNumber(currentButton);
    ReadButtonInfo(sourceNumber);
    SetOptionMarks(current);
    if (current.Occupied() && !ModifyLocked())
        ShowPopup(PopupMenu1, QCursor::pos());
}

void TForm1::SetOptionMarks(const ButtonRecord &record) {
    Item(QStringLiteral("SelectFiles1"))->setChecked(!record.Select.isEmpty());
    Item(QStringLiteral("SelectWorkingDirectory1"))->setChecked(!record.Working.isEmpty());
    Item(QStringLiteral("SoundSelect1"))->setChecked(!record.SoundSelect.isEmpty());
    Item(QStringLiteral("SoundLaunch1"))->setChecked(!record.SoundLaunch.isEmpty());
    Item(QStringLiteral("ShrinkOnLaunch2"))->setChecked(
        record.Shrink == QLatin1String("Yes") ||
        (record.Shrink != QLatin1String("No") && Item(QStringLiteral("ShrinkOnLaunch1"))->isChecked()));
}

void TForm1::MoveButton() {
    sourceNumber = ButtonNumber(currentButton);
    ReadButtonInfo(sourceNumber);
    if (!current.Occupied() || held.Occupied())
        return;
    EraseButtonInfo(sourceNumber); // first: a refused write leaves the button where it was
    SetMode(InteractionMode::PlaceButton);
    if (QToolButton *source = FindButton(sourceNumber)) {
        IconVert(source, ButtonRecord());
        source->setProperty("Tag", 100);
    }
    MoveCompare();
    pendingMove = true;
    PostReload();
}

void TForm1::CopyButton() {
    sourceNumber = ButtonNumber(currentButton);
    ReadButtonInfo(sourceNumber);
    if (!current.Occupied() || held.Occupied())
        return;
    SetMode(InteractionMode::PlaceButton);
    MoveCompare();
    PostReload();
}

void TForm1::RemoveButton() {
    sourceNumber = ButtonNumber(currentButton);
    ReadButtonInfo(sourceNumber);
    if (held.Occupied())
        return;
    EraseButtonInfo(sourceNumber);
    if (QToolButton *button = FindButton(sourceNumber)) {
        IconVert(button, ButtonRecord());
        button->setProperty("Tag", 100);
    }
    MoveClear();
    PostReload();
    SetMode(InteractionMode::Normal);
}

void TForm1::PutButton() {
    const int target = ButtonNumber(currentButton);
    ReadButtonInfo(target);
    if (current.Occupied() || !held.Occupied())
        return;
    {
        // The target's leftovers go first, so that nothing of them survives under the record.
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        EraseButtonRecord(ini, currentButton);
        WriteButtonRecord(ini, currentButton, held, true);
        transaction.Commit();
    }
    if (QToolButton *button = FindButton(target)) {
        IconVert(button, held);
        button->setProperty("Tag", ShrinkTag(held.Shrink));
    }
    if (pendingMove)
        RenameLaunchEntry(LaunchEntry(held.Names, held.Programs, sourceNumber),
                          LaunchEntry(held.Names, held.Programs, target));
    pendingMove = false;
    MoveClear();
    PostReload();
    SetMode(InteractionMode::Normal);
}

void TForm1::CancelPlacing() {
    if (!held.Occupied()) {
        if (mode_ == InteractionMode::PlaceButton)
            SetMode(InteractionMode::Normal);
        return;
    }
    if (pendingMove) {
        // Back on its source, or on the first empty button when the source has been filled.
        const TNewIniFile ini = Ini();
        int target = sourceNumber;
        if (!ReadButtonRecord(ini, target).Programs.isEmpty()) {
            target = 0;
            const int count = TabSet1->count() * buttonsPerPage_;
            for (int n = 1; n <= count && target == 0; ++n)
                if (ReadButtonRecord(ini, n).Programs.isEmpty())
                    target = n;
        }
        if (target > 0) {
            currentButton = ButtonKey(target);
            PutButton();
            return;
        }
    }
    pendingMove = false;
    MoveClear();
    SetMode(InteractionMode::Normal);
}

void TForm1::ChangeName() {
    if (Ini().ReadString(QStringLiteral("Programs"), currentButton, QString()).isEmpty())
        return;
    OpenInlineBox(QStringLiteral("Button"), QStringLiteral("Enter New Description"));
    pageNameBox_.button = currentButton;
}

void TForm1::ChangeParameter() {
    const TNewIniFile ini = Ini();
    if (ini.ReadString(QStringLiteral("Programs"), currentButton, QString()).isEmpty())
        return;
    OpenInlineBox(QStringLiteral("Parameter"), QStringLiteral("Enter Parameter"),
                  ini.ReadString(QStringLiteral("Parameters"), currentButton, QString()));
    pageNameBox_.button = currentButton;
}
