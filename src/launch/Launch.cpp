// src/launch owns starting programs: a button's launch and its options, dropped files, the
// keyboard selection and the recently launched list.
// Launching a button's program, the "Run a Program" button and the launch options.
#include "app/Icons.h"
#include "commandline/CommandLine.h"
#include "launch/LaunchRules.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QGraphicsOpacityEffect>
#include <QToolButton>

namespace {
const QString kProgramFilter = QStringLiteral("Programs|*.EXE;*.COM;*.BAT;*.PIF|All Files|*.*");
const QString kSelectProgram = QStringLiteral("Select Program to Run");
} // namespace


void TForm1::ButtonClick(QToolButton *button) {
    button->setChecked(false);
    FormCaption();
    if (mode_ == InteractionMode::Normal && TabSet1->selectedColor() == StoredSelectedColor()) {
        const int number = ButtonNumber(button->objectName());
        TNewIniFile ini = Ini();
        ButtonRecord record = ReadButtonRecord(ini, button->objectName());
        const QString program = record.Programs;
        const bool globalShrink = items_.setup.ShrinkOnLaunch1->isChecked();
        launch_.shrink = record.Shrink.isEmpty() ? YesNoOption(globalShrink)
                                                 : YesNoOption::FromWord(record.Shrink);
        if (program.isEmpty() && !ModifyLocked())
            ChooseProgram(button, record);
        if (!record.Programs.isEmpty())
            IconVert(button, record);
        Keys->setFocus();
        QString parameter = record.Parameters;
        if (!record.Select.isEmpty()) {
            const QStringList files = platform_.dialogs->OpenFiles(
                QStringLiteral("Select File(s)"), QStringLiteral("All Files|*.*"),
                UnquotePath(record.Select), true);
            if (files.isEmpty()) {
                launch_.shrink = YesNoOption(false); // an abandoned launch leaves no choice behind
                return;
            }
            parameter = ChosenFilesParameter(files);
        }
        if (!program.isEmpty()) {
            if (!record.SoundLaunch.isEmpty())
                platform_.sound->Play(record.SoundLaunch, false, false);
            launch_.button = number;
            launch_.captionCut = 5;
            Launch(program + QLatin1Char(' '), parameter, record.Working);
        }
        return;
    }
    if (HelpModeClick(5))
        return;
    if (mode_ == InteractionMode::PlaceButton) {
        SetCurrentButton(button->objectName());
        PutButton();
    }
}

void TForm1::ChooseProgram(QToolButton *button, ButtonRecord &record) {
    const QStringList chosen =
        platform_.dialogs->OpenFiles(kSelectProgram, kProgramFilter, QStringLiteral("/"), false);
    const QString file = chosen.value(0);
    if (file.isEmpty())
        return;
    // A shortcut gives its own command line and icon, as when it is dropped.
    ButtonRecord program;
    QString refusal;
    if (!ProgramForFile(file, program, refusal)) {
        if (!refusal.isEmpty())
            platform_.dialogs->Message(refusal);
        return;
    }
    record.Programs = program.Programs;
    record.Parameters = program.Parameters;
    if (!program.Working.isEmpty())
        record.Working = program.Working;
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    ini.WriteString(QStringLiteral("Programs"), button->objectName(), record.Programs);
    ini.WriteString(QStringLiteral("Parameters"), button->objectName(), record.Parameters);
    if (!program.Icons.isEmpty()) {
        record.Icons = program.Icons;
        record.IconSelection = program.IconSelection;
        ini.WriteString(QStringLiteral("Icons"), button->objectName(), record.Icons);
        ini.WriteInteger(QStringLiteral("IconSelection"), button->objectName(), record.IconSelection);
    }
    if (!program.Working.isEmpty())
        ini.WriteString(QStringLiteral("Working"), button->objectName(), record.Working);
    transaction.Commit();
    PostReload();
}

bool TForm1::Launch(const QString &program, const QString &parameter, const QString &workingDir,
                    bool recordLaunch) {
    const bool shrink =
        ShouldShrink(program, launch_.shrink, items_.setup.ShrinkOnLaunch1->isChecked());
    const QString commandLine = program + parameter;
    const QString directory = workingDir.isEmpty() ? ProgramDirectory(program) : UnquotePath(workingDir);
    if (!directory.isEmpty())
        platform_.processes->SetCurrentDirectory(directory); // a missing directory is no obstacle
    const ProcessStart started = platform_.processes->Start(commandLine);
    if (!started.started) {
        // Nothing shrinks or hides, and the list keeps what it had.
        launch_.shrink = YesNoOption(false);
        // A NUL would end the box's text: it is shown by its symbol.
        const QString shown = QString(commandLine.trimmed()).replace(QChar(0), QChar(0x2400));
        platform_.dialogs->Error(QStringLiteral("Could not start \"%1\": %2").arg(shown, started.error));
        return false;
    }
    WatchProcess(started.handle);
    if (recordLaunch)
        ShowStarting(started.handle, FindButton(launch_.button));
    if (shrink && !presentation_.shrunk)
        ShrinkForLaunch();
    if (items_.setup.HideGraph1->isChecked() && !launch_.shrink.IsYes())
        HideForLaunch();
    if (recordLaunch) {
        const QString description =
            Ini().ReadString(QStringLiteral("Names"), ButtonKey(launch_.button), QString());
        const QString previous = launch_.lastEntry;
        launch_.lastEntry = LaunchEntry(description, program, launch_.button);
        RecordLaunch(previous, launch_.lastEntry);
    }
    launch_.shrink = YesNoOption(false);
    return true;
}

// The launched button is dimmed until its program's start is over (its first window, its end,
// or the time limit: the process layer tells which).
void TForm1::ShowStarting(qint64 handle, QToolButton *button) {
    if (!button)
        return;
    launchWatch_.startingButtons.insert(handle, button);
    if (!button->graphicsEffect()) {
        auto *dimmed = new QGraphicsOpacityEffect(button);
        dimmed->setOpacity(0.4);
        button->setGraphicsEffect(dimmed);
    }
}

void TForm1::EndStarting(qint64 handle) {
    const QPointer<QToolButton> button = launchWatch_.startingButtons.take(handle);
    if (button && !launchWatch_.startingButtons.values().contains(button))
        button->setGraphicsEffect(nullptr);
}

void TForm1::RunButtonClick() {
    if (HelpModeClick(29))
        return;
    if (mode_ != InteractionMode::Normal)
        return;
    const QString file =
        platform_.dialogs->OpenFiles(kSelectProgram, kProgramFilter, QString(), false).value(0);
    if (file.isEmpty())
        return;
    // The dialog offers desktop entries among the programs: such an entry starts its
    // application, as on a button.
    QString commandLine = LongPath(file);
    QString working;
    if (file.endsWith(QLatin1String(".desktop"))) {
        ButtonRecord record;
        QString refusal;
        if (ProgramForFile(file, record, refusal)) {
            commandLine = record.Programs;
            working = record.Working;
        } else if (!refusal.isEmpty()) {
            platform_.dialogs->Message(refusal);
            return;
        }
    }
    // Not a button: no recently launched entry; the global shrink setting decides.
    launch_.shrink = YesNoOption(items_.setup.ShrinkOnLaunch1->isChecked());
    Launch(commandLine, QString(), working, false);
}

void TForm1::ChooseLaunchDirectory(QAction *item, const QString &section) {
    const TNewIniFile ini = Ini();
    if (ini.ReadString(QStringLiteral("Programs"), CurrentButton(), QString()).isEmpty()) {
        item->setChecked(false);
        return;
    }
    QString value;
    if (item->isChecked()) { // the item ticked itself: it was off
        const QString directory = platform_.dialogs->SelectDirectory(
            QStringLiteral("Select Directory"), platform_.processes->CurrentDirectory());
        if (HasLineBreak(directory)) {
            platform_.dialogs->Message(QStringLiteral("A directory whose name holds a line break cannot be used."));
            return;
        }
        if (!directory.isEmpty() && !QFileInfo(directory).isDir()) {
            if (!platform_.dialogs->Question(QStringLiteral("The specified directory does not exist. Create it?")))
                return;
            if (!QDir().mkpath(directory)) {
                platform_.dialogs->Message(QStringLiteral("The directory \"%1\" could not be created.").arg(directory));
                return;
            }
        }
        value = LongPath(directory);
    }
    Ini().WriteString(section, CurrentButton(), value);
}

void TForm1::SelectFiles1Click() {
    ChooseLaunchDirectory(items_.button.SelectFiles1, QStringLiteral("Select"));
}

void TForm1::SelectWorkingDirectory1Click() {
    ChooseLaunchDirectory(items_.button.SelectWorkingDirectory1, QStringLiteral("Working"));
}
