// The buttons' sounds: on launch and on keyboard selection.
#include "app/Icons.h"
#include "launch/LaunchRules.h"
#include "platform/Sound.h"

#include <QAction>

void TForm1::SoundSelect1Click(QAction *sender) {
    const bool launchSound = sender == items_.button.SoundLaunch1;
    QString value;
    if (sender->isChecked()) { // the item ticked itself: it was off
        value = platform_.dialogs
                    ->OpenFiles(QStringLiteral("Select Sound to Play"), SoundFilesFilter(),
                                QString(), false)
                    .value(0);
        if (HasLineBreak(value)) {
            platform_.dialogs->Message(QStringLiteral("A sound file whose name holds a line break cannot be used."));
            return;
        }
    }
    Ini().WriteString(launchSound ? QStringLiteral("SoundLaunch") : QStringLiteral("SoundSelect"),
                      CurrentButton(), value);
}

void TForm1::PlaySound(const QString &buttonKey) {
    const QString sound = Ini().ReadString(QStringLiteral("SoundSelect"), buttonKey, QString());
    if (!sound.isEmpty())
        platform_.sound->Play(sound, true, true);
}
