// src/prefs owns the user's preferences: tab colours, the buttons' sounds and the password lock
// on changes to the bar.
// The tab colours and the password lock on changes to the bar.
#include "app/Icons.h"
#include "pages/TabSet.h"
#include "prefs/Lockout.h"
#include "prefs/TabColors.h"

#include <QAction>

namespace {
const QString kLocation = QStringLiteral("Location");
const QString kUser = QStringLiteral("User");
} // namespace

bool TForm1::ModifyLocked() const {
    return prefs_.lockValue != lockout::kUnlockedMarker;
}

void TForm1::ShowLockState() {
    const bool locked = ModifyLocked();
    const SetupMenuItems &setup = items_.setup;
    setup.LockoutModify1->setChecked(locked);
    // The setup options that the lock holds still. Starting with the desktop is a change to the
    // user's session made from the bar, locked like the bar's own options.
    for (QAction *item : {setup.StayonTop1, setup.ConfirmExit1, setup.AutoExpand1, setup.HideGraph1,
                          setup.ShrinkOnLaunch1, setup.LockGraphLocation1, setup.StartWithDesktop1})
        item->setEnabled(!locked);
}

void TForm1::WriteLockFile(const QByteArray &value) {
    if (!paths_.usable)
        throw SettingsWriteError(paths_.datFile);
    lockout::WriteScrambled(paths_.datFile, lockout::Encrypt(value));
}

void TForm1::CheckPassword(const QString &user) {
    const QByteArray scrambled = lockout::ReadScrambled(paths_.datFile);
    prefs_.lockValue = lockout::Decrypt(scrambled);
    if (scrambled.isEmpty() && user == QLatin1String("UpdateMe")) {
        // A new installation starts unlocked, even when its data file cannot be made: there is
        // no password yet. "User" records that the file is set up, so it is written only once
        // the file is, and the next start tries again otherwise.
        prefs_.lockValue = lockout::kUnlockedMarker;
        try {
            WriteLockFile(lockout::kUnlockedMarker);
            Ini().WriteString(kLocation, kUser, profile_.name);
        } catch (const SettingsWriteError &error) {
            platform_.dialogs->Error(QString::fromUtf8(error.what()));
        }
    }
    ShowLockState();
}

void TForm1::LockoutModify1Click() {
    ShowLockState(); // the item ticks itself when chosen; only an accepted password changes it
    OpenInlineBox(InlineBoxMode::Lockout, QStringLiteral("Enter Password"));
}

void TForm1::WritePassword(const QString &text) {
    // The file decides, not this copy's memory: another copy may have locked or unlocked.
    const QByteArray stored = lockout::Decrypt(lockout::ReadScrambled(paths_.datFile));
    const QByteArray typed = lockout::ToValue(text);
    switch (lockout::Judge(stored, typed)) {
    case lockout::Entry::TooLong:
        platform_.dialogs->Message(QStringLiteral("A password can be at most %1 characters long.")
                                       .arg(lockout::kMaxValueBytes));
        return;
    case lockout::Entry::Refuse:
        // The record is left as it is: rewriting it could only lose a password it holds.
        prefs_.lockValue = stored;
        ShowLockState();
        platform_.dialogs->Warning(QStringLiteral("Incorrect Password"), 40);
        return;
    case lockout::Entry::Unlock:
        WriteLockFile(lockout::kUnlockedMarker); // refused: nothing has changed
        prefs_.lockValue = lockout::kUnlockedMarker;
        break;
    case lockout::Entry::Lock:
        WriteLockFile(typed);
        prefs_.lockValue = typed;
        break;
    }
    ShowLockState();
}

void TForm1::ChangeColor1Click(QAction *sender) {
    const bool selected = sender == items_.page.SelectedColor1;
    TNewIniFile ini = Ini();
    QList<QColor> custom = tabcolors::GetCustomPalette(ini);
    const std::optional<QColor> chosen =
        platform_.dialogs->ChooseColor(prefs_.lastColor, custom, 32);
    if (!chosen)
        return; // nothing is kept, not even custom colours edited in the dialog
    prefs_.lastColor = *chosen;
    const int value = tabcolors::ColorValue(*chosen);
    {
        // Stored first: a tab row in a colour the file does not hold would look like a page
        // being renamed, and launch buttons would stop working.
        SettingsTransaction transaction(ini);
        ini.WriteInteger(
            QStringLiteral("Tabs"),
            selected ? QStringLiteral("SelectedColor") : QStringLiteral("UnselectedColor"), value);
        tabcolors::SaveCustomPalette(ini, custom);
        transaction.Commit();
    }
    (selected ? prefs_.selectedColor : prefs_.unselectedColor) = value;
    ApplyTabColors();
}

QColor TForm1::StoredSelectedColor() const {
    return tabcolors::FromColorValue(prefs_.selectedColor);
}

void TForm1::ApplyTabColors() {
    TabSet1->setSelectedColor(tabcolors::FromColorValue(prefs_.selectedColor));
    TabSet1->setUnselectedColor(tabcolors::FromColorValue(prefs_.unselectedColor));
}
