// The recently launched list of the main window.
#include "app/Icons.h"
#include "components/Mru.h"

#include <QAction>
#include <QMenu>

void TForm1::BuildRecentMenu() {
    PopupMenu5 = new QMenu(this);
    PopupMenu5->setObjectName(QStringLiteral("PopupMenu5"));
    items_.recent.MRU1 = AddItem(PopupMenu5, QStringLiteral("MRU1"),
                                 QStringLiteral("Switch to &Setup Options >"), &TForm1::MRU1Click);
}

void TForm1::CreateRecentList() {
    MruList1 = new TMruList(this);
    MruList1->setObjectName(QStringLiteral("MruList1"));
    MruList1->setMaxSaveCount(30);
    MruList1->setMaxShowCount(15);
    MruList1->setIniSection(QStringLiteral("MRU"));
    MruList1->setAnchor(items_.recent.MRU1);
    MruList1->setOptions(TMruList::mrLineBefore | TMruList::mrTopSelected | TMruList::mrAutoSave |
                         TMruList::mrAutoLoad);
    MruList1->setStyle(TMruList::msNormal);
    MruList1->setPosition(TMruList::mpAfter);
    MruList1->OnMruClick = [this](TMruList *, const QString &item) {
        Guarded([this, item] { MruList1MruClick(item); });
    };
    MruList1->Loaded();
}

void TForm1::AttachRecentList() {
    // The list belongs to the settings file: setting it loads the list.
    MruList1->setIniFile(paths_.iniFile);
}

void TForm1::RecordLaunch(const QString &previous, const QString &entry) {
    MruList1->DeselectItem(previous);
    MruList1->AddItem(entry);
    MruList1->SaveToIni(); // saved after each change, not only at the end
}

void TForm1::RenameLaunchEntry(const QString &oldEntry, const QString &newEntry) {
    if (MruList1->IndexOfItem(oldEntry) < 0)
        return;
    MruList1->ReplaceItem(oldEntry, newEntry);
    MruList1->SaveToIni();
}

void TForm1::LastLaunchedClick() {
    gaugeMenu_ = PopupMenu5;
    SetTrayMenu(PopupMenu5);
    Ini().WriteString(QStringLiteral("Menu"), QStringLiteral("Show"), QStringLiteral("Launched"));
}

void TForm1::MRU1Click() {
    gaugeMenu_ = PopupMenu3;
    SetTrayMenu(PopupMenu3);
    Ini().WriteString(QStringLiteral("Menu"), QStringLiteral("Show"), QStringLiteral("Setup"));
}

void TForm1::MruList1MruClick(const QString &item) {
    // The number after the last "  |": a description may hold the separator itself.
    const QString digits = item.mid(item.lastIndexOf(QStringLiteral("  |")) + 3);
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || item.lastIndexOf(QStringLiteral("  |")) < 0) {
        platform_.dialogs->Error(QStringLiteral("'%1' is not a valid integer value").arg(digits));
        return;
    }
    const TNewIniFile ini = Ini();
    const QString key = ButtonKey(number);
    const QString program = ini.ReadString(QStringLiteral("Programs"), key, QString());
    const QString parameter = ini.ReadString(QStringLiteral("Parameters"), key, QString());
    const QString working = ini.ReadString(QStringLiteral("Working"), key, QString());
    // A button emptied since: nothing to start, and the list stays as it is.
    if (program.trimmed().isEmpty()) {
        platform_.dialogs->Error(
            QStringLiteral("Could not start \"%1\": button %2 is empty.").arg(item).arg(number));
        return;
    }
    launch_.button = number; // the launch itself unmarks the previous entry
    launch_.captionCut = 4;
    if (!Launch(program, QLatin1Char(' ') + parameter, working))
        return; // said why; the list keeps what it had
    MruList1->AddItem(item);
    MruList1->SaveToIni();
}
