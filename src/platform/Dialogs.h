#pragma once

#include <QColor>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>

class QAction;
class QMenu;
class QWidget;

// Every dialog and popup menu the bar opens goes through here, so that tests can answer them.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    // The application's standard error box.
    virtual void Error(const QString &text) = 0;
    // An error box with a caption of its own and no owner window, for components that report
    // on their own. Dialogs that show no captions may leave it to the standard error box.
    virtual void ErrorBox(const QString & /*caption*/, const QString &text) { Error(text); }
    // An information box with an OK button.
    virtual void Message(const QString &text, int helpContext = 0) = 0;
    // A warning box titled "Warning", with OK (and Help for a topic); an information box where a
    // platform has no warnings of its own.
    virtual void Warning(const QString &text, int helpContext = 0) { Message(text, helpContext); }
    // A question with the buttons Yes and No; true for Yes.
    virtual bool Question(const QString &text, int helpContext = 0) = 0;
    // Open-file dialog; empty when cancelled. multiple: several files may be chosen.
    virtual QStringList OpenFiles(const QString &title, const QString &filter,
                                  const QString &directory, bool multiple) = 0;
    // Directory dialog; empty when cancelled.
    virtual QString SelectDirectory(const QString &title, const QString &directory) = 0;
    // Colour dialog with the sixteen custom colours (and Help for a topic); nothing when
    // cancelled.
    virtual std::optional<QColor> ChooseColor(const QColor &initial, QList<QColor> &customColors,
                                              int helpContext) = 0;
    // Shows a popup menu at a screen point and waits; the chosen action, or nullptr.
    // The chosen action has not been triggered yet: the caller triggers it.
    virtual QAction *PopupMenu(QMenu *menu, const QPoint &screenPos) = 0;
    // The icon picker on a file: the chosen index, or nothing when cancelled.
    virtual std::optional<int> PickIcon(const QString &file, int index) = 0;
};
