#pragma once

#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class IHelp;
class IShell;

// Shows the icon picker on a file, with the icons of the shell and the help given, in front of
// parent: the chosen index, or nothing when it is closed without a choice. The picker is the
// bar's own dialog: the platform is handed it and never makes one itself.
using IconPicker = std::function<std::optional<int>(IShell &shell, IHelp &help, const QString &file,
                                                    QWidget *parent)>;

// The real dialogs: Qt's message boxes and Qt's own (non-native) file and colour dialogs, so
// they look and behave the same on every desktop.
//
// Popup menus: QMenu::exec triggers the chosen action itself, but the caller must decide when it
// runs. So the menu shown is a stand-in built from the caller's menu (texts, icons, check marks,
// enabled and visible states, separators, submenus); the caller's actions are never triggered
// here, and the caller's action matching the chosen stand-in is returned. aboutToShow and
// aboutToHide of the caller's menus are emitted around the display, so menus that set their
// check marks when opened still do.
//
// File filters may be written in the "Text|*.a;*.b|Text|*" form: each pair becomes a Qt filter,
// "*.*" means every file, and patterns match both letter cases of the extension. A filter named
// "Programs" shows what can be run here, whatever its patterns say: executable files and
// desktop entries (and directories, to get about).
class LinuxDialogs : public IDialogs {
public:
    // help: when given, boxes with a help context offer a Help button that shows that topic
    // and leaves the box open. shell: where the icon picker takes its icons from.
    explicit LinuxDialogs(QWidget *parent = nullptr, IHelp *help = nullptr, IShell *shell = nullptr,
                          IconPicker iconPicker = {});

    void SetParent(QWidget *parent) { parent_ = parent; }
    void SetHelp(IHelp *help) { help_ = help; }

    void Error(const QString &text) override;
    void ErrorBox(const QString &caption, const QString &text) override;
    void Message(const QString &text, int helpContext = 0) override;
    void Warning(const QString &text, int helpContext = 0) override;
    bool Question(const QString &text, int helpContext = 0) override;
    QStringList OpenFiles(const QString &title, const QString &filter, const QString &directory,
                          bool multiple) override;
    // A directory may also be typed; one that does not exist is returned as typed, for the
    // caller to offer to create.
    QString SelectDirectory(const QString &title, const QString &directory) override;
    std::optional<QColor> ChooseColor(const QColor &initial, QList<QColor> &customColors,
                                      int helpContext) override;
    QAction *PopupMenu(QMenu *menu, const QPoint &screenPos) override;
    // The icon picker handed in; it always opens at the file's first icon. Without a picker or
    // a shell there is nothing to pick from: cancelled.
    std::optional<int> PickIcon(const QString &file, int index) override;

    // "Sounds|*.WAV;*.MID|All Files|*.*" → "Sounds (*.WAV *.wav *.MID *.mid);;All Files (*)".
    // The "Programs" filter takes every name ("Programs (*)"): the dialog narrows it. A filter
    // without "|" is taken as a Qt filter already.
    static QString QtFilter(const QString &filter);

private:
    QPointer<QWidget> parent_;
    IHelp *help_ = nullptr;
    IShell *shell_ = nullptr;
    IconPicker iconPicker_;
};
