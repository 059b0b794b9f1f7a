// Moving, copying, removing and describing buttons.
#include "app/Icons.h"
#include "launch/LaunchRules.h"

#include <QAction>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace {
int ShrinkTag(const QString &shrink) {
    const YesNoOption option = YesNoOption::FromWord(shrink);
    return option.IsYes() ? 1 : option.IsNo() ? 0 : 100;
}
} // namespace

void TForm1::BuildButtonMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ButtonMenuItems &items = items_.button;
    constexpr auto checkable = ItemKind::Checkable;
    items.MoveButton1 = AddItem(PopupMenu1, QStringLiteral("MoveButton1"),
                                QStringLiteral("&Move Button"), &TForm1::MoveButton);
    items.CopyButton1 = AddItem(PopupMenu1, QStringLiteral("CopyButton1"),
                                QStringLiteral("&Copy Button"), &TForm1::CopyButton);
    items.RemoveButton1 = AddItem(PopupMenu1, QStringLiteral("RemoveButton1"),
                                  QStringLiteral("&Remove Button"), &TForm1::RemoveButton);
    PopupMenu1->addSeparator();
    QMenu *configure = PopupMenu1->addMenu(QStringLiteral("&Configure Button"));
    configure->setObjectName(QStringLiteral("ConfigureButton1"));
    // Its handler is in src/appearance: ConnectAppearance.
    items.ChangeIcon1 =
        AddItem(configure, QStringLiteral("ChangeIcon1"), QStringLiteral("Change &Icon"));
    items.ChangeDescription1 = AddItem(configure, QStringLiteral("ChangeDescription1"),
                                       QStringLiteral("Change &Description"), &TForm1::ChangeName);
    items.ChangeParameter1 = AddItem(configure, QStringLiteral("ChangeParameter1"),
                                     QStringLiteral("Change &Parameter"), &TForm1::ChangeParameter);
    configure->addSeparator();
    items.ShrinkOnLaunch2 =
        AddItem(configure, QStringLiteral("ShrinkOnLaunch2"), QStringLiteral("&Shrink on Launch"),
                &TForm1::ShrinkOnLaunch2Click, checkable);
    items.SelectWorkingDirectory1 = AddItem(configure, QStringLiteral("SelectWorkingDirectory1"),
                                            QStringLiteral("Select &Working Directory"),
                                            &TForm1::SelectWorkingDirectory1Click, checkable);
    items.SelectFiles1 =
        AddItem(configure, QStringLiteral("SelectFiles1"),
                QStringLiteral("Select &Files on Launch"), &TForm1::SelectFiles1Click, checkable);
    items.SoundLaunch1 =
        AddItem(configure, QStringLiteral("SoundLaunch1"), QStringLiteral("Sound on &Launch"),
                &TForm1::SoundSelect1Click, checkable);
    items.SoundSelect1 =
        AddItem(configure, QStringLiteral("SoundSelect1"),
                QStringLiteral("Sound on &Keyboard Select"), &TForm1::SoundSelect1Click, checkable);
}

void TForm1::SetCurrentButton(const QString &name) {
    editing_.button = name;
}

void TForm1::SpeedRightMouseDown(QToolButton *button) {
    if (InlineBoxOpen())
        return;
    SetCurrentButton(button->objectName());
    if (mode_ != InteractionMode::Normal) {
        PutButton();
        return;
    }
    editing_.sourceNumber = ButtonNumber(editing_.button);
    ReadButtonInfo(editing_.sourceNumber);
    SetOptionMarks(editing_.current);
    if (editing_.current.Occupied() && !ModifyLocked())
        ShowPopup(PopupMenu1, QCursor::pos());
}

void TForm1::SetOptionMarks(const ButtonRecord &record) {
    items_.button.SelectFiles1->setChecked(!record.Select.isEmpty());
    items_.button.SelectWorkingDirectory1->setChecked(!record.Working.isEmpty());
    items_.button.SoundSelect1->setChecked(!record.SoundSelect.isEmpty());
    items_.button.SoundLaunch1->setChecked(!record.SoundLaunch.isEmpty());
    const YesNoOption shrink = YesNoOption::FromWord(record.Shrink);
    items_.button.ShrinkOnLaunch2
        ->setChecked(shrink.IsYes() ||
                     (!shrink.IsNo() && items_.setup.ShrinkOnLaunch1->isChecked()));
}

void TForm1::MoveButton() {
    editing_.sourceNumber = ButtonNumber(editing_.button);
    ReadButtonInfo(editing_.sourceNumber);
    if (!editing_.current.Occupied() || editing_.held.Occupied())
        return;
    EraseButtonInfo(editing_.sourceNumber); // first: a refused write leaves the button where it was
    SetMode(InteractionMode::PlaceButton);
    if (QToolButton *source = FindButton(editing_.sourceNumber)) {
        IconVert(source, ButtonRecord());
        source->setProperty("Tag", 100);
    }
    MoveCompare();
    editing_.pendingMove = true;
    PostReload();
}

void TForm1::CopyButton() {
    editing_.sourceNumber = ButtonNumber(editing_.button);
    ReadButtonInfo(editing_.sourceNumber);
    if (!editing_.current.Occupied() || editing_.held.Occupied())
        return;
    SetMode(InteractionMode::PlaceButton);
    MoveCompare();
    PostReload();
}

void TForm1::RemoveButton() {
    editing_.sourceNumber = ButtonNumber(editing_.button);
    ReadButtonInfo(editing_.sourceNumber);
    if (editing_.held.Occupied())
        return;
    EraseButtonInfo(editing_.sourceNumber);
    if (QToolButton *button = FindButton(editing_.sourceNumber)) {
        IconVert(button, ButtonRecord());
        button->setProperty("Tag", 100);
    }
    MoveClear();
    PostReload();
    SetMode(InteractionMode::Normal);
}

void TForm1::PutButton() {
    const int target = ButtonNumber(editing_.button);
    ReadButtonInfo(target);
    if (editing_.current.Occupied() || !editing_.held.Occupied())
        return;
    {
        // The target's leftovers go first, so that nothing of them survives under the record.
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        EraseButtonRecord(ini, editing_.button);
        WriteButtonRecord(ini, editing_.button, editing_.held, true);
        transaction.Commit();
    }
    if (QToolButton *button = FindButton(target)) {
        IconVert(button, editing_.held);
        button->setProperty("Tag", ShrinkTag(editing_.held.Shrink));
    }
    if (editing_.pendingMove)
        RenameLaunchEntry(
            LaunchEntry(editing_.held.Names, editing_.held.Programs, editing_.sourceNumber),
            LaunchEntry(editing_.held.Names, editing_.held.Programs, target));
    editing_.pendingMove = false;
    MoveClear();
    PostReload();
    SetMode(InteractionMode::Normal);
}

void TForm1::CancelPlacing() {
    if (!editing_.held.Occupied()) {
        if (mode_ == InteractionMode::PlaceButton)
            SetMode(InteractionMode::Normal);
        return;
    }
    if (editing_.pendingMove) {
        // Back on its source, or on the first empty button when the source has been filled.
        const TNewIniFile ini = Ini();
        int target = editing_.sourceNumber;
        if (!ReadButtonRecord(ini, target).Programs.isEmpty()) {
            target = 0;
            const int count = TabSet1->count() * buttonsPerPage_;
            for (int n = 1; n <= count && target == 0; ++n)
                if (ReadButtonRecord(ini, n).Programs.isEmpty())
                    target = n;
        }
        if (target > 0) {
            editing_.button = ButtonKey(target);
            PutButton();
            return;
        }
    }
    editing_.pendingMove = false;
    MoveClear();
    SetMode(InteractionMode::Normal);
}

void TForm1::ChangeName() {
    if (Ini().ReadString(QStringLiteral("Programs"), editing_.button, QString()).isEmpty())
        return;
    OpenInlineBox(InlineBoxMode::Button, QStringLiteral("Enter New Description"));
    pageNameBox_.button = editing_.button;
}

void TForm1::ChangeParameter() {
    const TNewIniFile ini = Ini();
    if (ini.ReadString(QStringLiteral("Programs"), editing_.button, QString()).isEmpty())
        return;
    OpenInlineBox(InlineBoxMode::Parameter, QStringLiteral("Enter Parameter"),
                  ini.ReadString(QStringLiteral("Parameters"), editing_.button, QString()));
    pageNameBox_.button = editing_.button;
}

// The button records the menus act on: the current one and the held one of a move or copy.
void TForm1::ReadButtonInfo(int number) {
    editing_.current = ReadButtonRecord(Ini(), number);
}

void TForm1::WriteButtonInfo(int number) {
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    WriteButtonRecord(ini, number, editing_.current);
    transaction.Commit();
}

void TForm1::EraseButtonInfo(int number) {
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    EraseButtonRecord(ini, number);
    transaction.Commit();
}

void TForm1::WriteMoveInfo() {
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    WriteButtonRecord(ini, editing_.button, editing_.held, true);
    transaction.Commit();
}

void TForm1::MoveCompare() {
    editing_.held = editing_.current;
}
void TForm1::MoveClear() {
    editing_.held.Clear();
}
