// Files dropped on the bar: an empty button takes the first one, a configured button starts
// its program with all of them.
#include "app/Icons.h"
#include "commandline/CommandLine.h"
#include "components/SheLink.h"
#include "launch/LaunchRules.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>

namespace {
QStringList LocalFiles(const QMimeData *data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files << url.toLocalFile();
    return files;
}

bool IsShortcut(const QString &file) {
    return file.endsWith(QLatin1String("lnk")) || file.endsWith(QLatin1String("LNK")) ||
           file.endsWith(QLatin1String(".desktop"));
}
} // namespace

void TForm1::dragEnterEvent(QDragEnterEvent *event) {
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent *event) {
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent *event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    const int number = DropTarget(event->position().toPoint());
    if (number > 0)
        Guarded([this, files, number] { DropFiles(files, number); });
}

int TForm1::DropTarget(const QPoint &windowPos) const {
    // The button whose column holds the point, by the buttons' real places: the row may be
    // scrolled. Only x counts, so the tab row under a button counts for it.
    if (presentation_.shrunk || !Notebook1->currentWidget())
        return 0;
    const int page = Notebook1->currentIndex();
    // Buttons stand at their slots' places, one step apart: only the button of the slot under
    // the point can hold it (asking every button would make all of a long page's buttons).
    const int x = Notebook1->currentWidget()->mapFrom(this, windowPos).x();
    if (x < 0)
        return 0;
    const int slot = x / BarGeometry::ButtonStep + 1;
    if (slot > buttonsPerPage_)
        return 0;
    const QToolButton *button = FindButton(page * buttonsPerPage_ + slot);
    if (!button || !button->isVisibleTo(this))
        return 0;
    const int left = button->mapTo(this, QPoint(0, 0)).x();
    if (windowPos.x() >= left && windowPos.x() < left + BarGeometry::ButtonStep &&
        windowPos.x() >= BarGeometry::GaugeColumn - scroller_->horizontalScrollBar()->value())
        return page * buttonsPerPage_ + slot;
    return 0;
}

void TForm1::DropFiles(const QStringList &files, int number) {
    QToolButton *target = FindButton(number);
    if (!target || files.isEmpty())
        return;
    const QString key = target->objectName();
    const int tag = target->property("Tag").isValid() ? target->property("Tag").toInt() : 100;
    const bool globalShrink = items_.setup.ShrinkOnLaunch1->isChecked();
    launch_.shrink = YesNoOption(tag == 1 || (tag != 0 && globalShrink));
    const TNewIniFile ini = Ini();
    const QString program = ini.ReadString(QStringLiteral("Programs"), key, QString());
    const QString working = ini.ReadString(QStringLiteral("Working"), key, QString());

    if (program.isEmpty() && !ModifyLocked())
        AssignDroppedFile(target, files.first());

    if (!program.isEmpty()) {
        launch_.button = number;
        launch_.captionCut = 5;
        Launch(program + QLatin1Char(' '), ChosenFilesParameter(files), working);
    }
}

void TForm1::AssignDroppedFile(QToolButton *target, const QString &dropped) {
    ButtonRecord record;
    QString refusal;
    if (!ProgramForFile(dropped, record, refusal)) {
        if (!refusal.isEmpty())
            platform_.dialogs->Message(refusal);
        return;
    }
    // The file first, then the other copies are told.
    {
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        const QString key = target->objectName();
        EraseButtonRecord(ini, key);
        ini.WriteString(QStringLiteral("Programs"), key, record.Programs);
        if (!record.Parameters.isEmpty())
            ini.WriteString(QStringLiteral("Parameters"), key, record.Parameters);
        if (!record.Icons.isEmpty()) {
            ini.WriteString(QStringLiteral("Icons"), key, record.Icons);
            ini.WriteInteger(QStringLiteral("IconSelection"), key, record.IconSelection);
        }
        if (!record.Working.isEmpty())
            ini.WriteString(QStringLiteral("Working"), key, record.Working);
        transaction.Commit();
    }
    target->setProperty("Tag", 100);
    IconVert(target, record);
    PostReload();
}

bool TForm1::ProgramForFile(const QString &file, ButtonRecord &record, QString &refusal) {
    if (HasLineBreak(file)) {
        refusal = QStringLiteral("\"%1\" cannot be given to a button: its name holds a line break.")
                      .arg(QString(file).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        return false;
    }
    QString target = file;
    QString arguments;
    if (IsShortcut(file)) {
        DroppedShortcut shortcut;
        if (!ReadDroppedShortcut(file, shortcut))
            return false; // a shortcut that cannot be read assigns nothing
        if (!shortcut.refusal.isEmpty()) {
            refusal = shortcut.refusal;
            return false;
        }
        target = shortcut.target;
        arguments = shortcut.arguments;
        record.Icons = shortcut.iconSource;
        record.IconSelection = shortcut.iconIndex;
        record.Programs = shortcut.program; // a desktop entry names its command line itself
        record.Working = shortcut.workingDir;
    }
    if (record.Programs.isEmpty()) {
        const QString path = LongPath(target);
        record.Programs = platform_.shell->FindExecutable(target, &refusal);
        record.Parameters = path == record.Programs ? arguments : path;
    }
    if (record.Programs.isEmpty()) {
        if (refusal.isEmpty())
            refusal = QStringLiteral("No program is known to open \"%1\".").arg(target);
        return false;
    }
    return true;
}

bool TForm1::ReadDroppedShortcut(const QString &file, DroppedShortcut &shortcut) {
    if (!ShellLink1->Read(file))
        return false;
    shortcut.target = ShellLink1->Target();
    if (file.endsWith(QLatin1String(".desktop"))) {
        // A desktop entry is its own command line, fixed arguments included, and icon source.
        shortcut.program = platform_.shell->FindExecutable(file, &shortcut.refusal);
        shortcut.iconSource = LongPath(file);
        shortcut.iconIndex = 0;
        // The entry's Path is where its program expects to start (Wine's entries need it).
        const QString directory = ShellLink1->WorkingDir();
        if (!directory.isEmpty() && !HasLineBreak(directory))
            shortcut.workingDir = LongPath(directory);
        return true;
    }
    shortcut.arguments = ShellLink1->Arguments();
    shortcut.iconSource = ShellLink1->IconLocation().isEmpty() ? shortcut.target : ShellLink1->IconLocation();
    shortcut.iconIndex = ShellLink1->IconNumber();
    return true;
}
