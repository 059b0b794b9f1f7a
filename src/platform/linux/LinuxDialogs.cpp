#include "platform/linux/LinuxDialogs.h"

#include "platform/Help.h"

#include <QAction>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>

// The application title: the caption of the bar's own boxes.
static const QString Title = QStringLiteral("Velmora");
static const QString ProgramsName = QStringLiteral("Programs");

LinuxDialogs::LinuxDialogs(QWidget *parent, IHelp *help, IShell *shell, IconPicker iconPicker)
    : parent_(parent), help_(help), shell_(shell), iconPicker_(std::move(iconPicker)) {}

// Runs a box until a button other than Help closes it; Help shows the topic and keeps it open.
static QMessageBox::StandardButton RunBox(QMessageBox &box, IHelp *help, int helpContext) {
    QAbstractButton *helpButton = nullptr;
    if (help && helpContext != 0) {
        helpButton = box.addButton(QMessageBox::Help);
        // With a second button the box finds no way out by itself: Escape is OK's.
        if (!box.escapeButton() && box.button(QMessageBox::Ok))
            box.setEscapeButton(QMessageBox::Ok);
    }
    for (;;) {
        box.exec();
        if (helpButton && box.clickedButton() == helpButton) {
            help->ShowTopic(helpContext);
            continue;
        }
        return box.standardButton(box.clickedButton());
    }
}

void LinuxDialogs::Error(const QString &text) {
    QMessageBox::critical(parent_, Title, text);
}

void LinuxDialogs::ErrorBox(const QString &caption, const QString &text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.exec();
}

void LinuxDialogs::Message(const QString &text, int helpContext) {
    QMessageBox box(QMessageBox::Information, Title, text, QMessageBox::Ok, parent_);
    RunBox(box, help_, helpContext);
}

void LinuxDialogs::Warning(const QString &text, int helpContext) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent_);
    RunBox(box, help_, helpContext);
}

bool LinuxDialogs::Question(const QString &text, int helpContext) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return RunBox(box, help_, helpContext) == QMessageBox::Yes;
}

QString LinuxDialogs::QtFilter(const QString &filter) {
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i] == ProgramsName) {
            filters.append(ProgramsName + QStringLiteral(" (*)"));
            continue;
        }
        QStringList patterns;
        for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*"); // most files here have no extension
            if (!patterns.contains(pattern))
                patterns.append(pattern);
            // Filenames are case-sensitive here; the patterns were written for a system where
            // they were not.
            for (const QString &variant : {pattern.toLower(), pattern.toUpper()})
                if (!patterns.contains(variant))
                    patterns.append(variant);
        }
        filters.append(parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

bool IsProgramsFilter(const QString &qtFilter) {
    return qtFilter == ProgramsName || qtFilter.startsWith(ProgramsName + QStringLiteral(" ("));
}

// While the "Programs" filter is chosen, the dialog lists directories, executable files and
// desktop entries only: what can be run here is told by the executable bit, not by a name.
class ProgramsOnly : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetActive(bool active) {
        if (active == active_)
            return;
        active_ = active;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override {
        if (!active_)
            return true;
        const auto *files = static_cast<const QFileSystemModel *>(sourceModel());
        const QModelIndex index = files->index(row, 0, parent);
        if (files->isDir(index))
            return true;
        QFileInfo info = files->fileInfo(index);
        if (info.filePath().isEmpty())
            info = QFileInfo(files->filePath(index));
        return info.isFile() &&
               (info.isExecutable() || info.fileName().endsWith(QLatin1String(".desktop")));
    }

private:
    bool active_ = false;
};

// Qt's directory dialog, which also takes a typed directory that does not exist yet: its
// choose button stays usable for it, and accepting returns it.
class DirectoryDialog : public QFileDialog {
public:
    DirectoryDialog(QWidget *parent, const QString &title, const QString &directory)
        : QFileDialog(parent, title, directory) {
        setOption(DontUseNativeDialog);
        setOption(ShowDirsOnly);
        setFileMode(Directory);
        edit_ = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (auto *buttons = findChild<QDialogButtonBox *>())
            choose_ = buttons->button(QDialogButtonBox::Open);
        // Qt disables the button whenever the typed name is not an existing directory.
        if (edit_ && choose_)
            choose_->installEventFilter(this);
    }

    void accept() override {
        if (TypedNew())
            QDialog::accept(); // Qt's own accept refuses it
        else
            QFileDialog::accept();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == choose_ && event->type() == QEvent::EnabledChange && !choose_->isEnabled() &&
            TypedNew())
            choose_->setEnabled(true);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    // A path typed in that names nothing yet.
    bool TypedNew() const {
        if (!edit_ || edit_->text().trimmed().isEmpty())
            return false;
        const QString path = selectedFiles().value(0);
        return !path.isEmpty() && !QFileInfo::exists(path);
    }

    QLineEdit *edit_ = nullptr;
    QPushButton *choose_ = nullptr;
};

} // namespace

QStringList LinuxDialogs::OpenFiles(const QString &title, const QString &filter,
                                    const QString &directory, bool multiple) {
    const QString qtFilter = QtFilter(filter);
    QFileDialog dialog(parent_, title, directory, qtFilter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (qtFilter.split(QStringLiteral(";;")).contains(ProgramsName + QStringLiteral(" (*)"))) {
        // "Programs (*)" and "All Files (*)" would read alike: the names say enough.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        auto *programs = new ProgramsOnly; // the dialog takes it over
        dialog.setProxyModel(programs);
        const auto follow = [&dialog, programs] {
            programs->SetActive(IsProgramsFilter(dialog.selectedNameFilter()));
        };
        follow();
        QObject::connect(&dialog, &QFileDialog::filterSelected, programs, follow);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString LinuxDialogs::SelectDirectory(const QString &title, const QString &directory) {
    DirectoryDialog dialog(parent_, title, directory);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

std::optional<QColor> LinuxDialogs::ChooseColor(const QColor &initial, QList<QColor> &customColors,
                                                int helpContext) {
    const int count = QColorDialog::customCount();
    for (int i = 0; i < count && i < customColors.size(); ++i)
        QColorDialog::setCustomColor(i, customColors[i]);
    QColorDialog dialog(initial, parent_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    // Help shows the topic and leaves the dialog open.
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>(); buttons && help_ && helpContext != 0) {
        buttons->addButton(QDialogButtonBox::Help);
        QObject::connect(buttons, &QDialogButtonBox::helpRequested, &dialog,
                         [this, helpContext] { help_->ShowTopic(helpContext); });
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    for (int i = 0; i < count && i < customColors.size(); ++i)
        customColors[i] = QColorDialog::customColor(i);
    return dialog.selectedColor();
}

// Fills stand-in with copies of source's items; map takes each copy to its original.
static void CopyMenu(QMenu *source, QMenu *standIn, QHash<QAction *, QAction *> &map,
                     QList<QMenu *> &opened) {
    emit source->aboutToShow();
    opened.append(source);
    standIn->setTitle(source->title());
    standIn->setIcon(source->icon());
    standIn->setFont(source->font());
    standIn->setPalette(source->palette());
    standIn->setStyleSheet(source->styleSheet());
    standIn->setSeparatorsCollapsible(source->separatorsCollapsible());
    standIn->setToolTipsVisible(source->toolTipsVisible());
    for (QAction *action : source->actions()) {
        QAction *copy = nullptr;
        if (action->isSeparator()) {
            copy = standIn->addSeparator();
        } else if (QMenu *sub = action->menu()) {
            QMenu *subCopy = standIn->addMenu(action->text());
            CopyMenu(sub, subCopy, map, opened);
            copy = subCopy->menuAction();
        } else {
            copy = standIn->addAction(action->text());
            copy->setCheckable(action->isCheckable());
            copy->setChecked(action->isChecked());
        }
        copy->setText(action->text());
        copy->setIcon(action->icon());
        copy->setIconVisibleInMenu(action->isIconVisibleInMenu());
        copy->setFont(action->font());
        copy->setToolTip(action->toolTip());
        copy->setStatusTip(action->statusTip());
        copy->setShortcut(action->shortcut());
        copy->setEnabled(action->isEnabled());
        copy->setVisible(action->isVisible());
        map.insert(copy, action);
        if (action == source->defaultAction())
            standIn->setDefaultAction(copy);
        if (action == source->activeAction())
            standIn->setActiveAction(copy);
    }
}

QAction *LinuxDialogs::PopupMenu(QMenu *menu, const QPoint &screenPos) {
    if (!menu)
        return nullptr;
    QMenu standIn(parent_);
    QHash<QAction *, QAction *> map;
    QList<QMenu *> opened;
    CopyMenu(menu, &standIn, map, opened);
    QAction *chosen = standIn.exec(screenPos);
    for (auto it = opened.crbegin(); it != opened.crend(); ++it)
        emit(*it)->aboutToHide();
    // A submenu's own entry only opens the submenu; it is never a choice.
    if (!chosen || chosen->menu())
        return nullptr;
    return map.value(chosen, nullptr);
}

namespace {
class NoHelp : public IHelp {
public:
    void ShowContents() override {}
    void ShowTopic(int) override {}
};
} // namespace

std::optional<int> LinuxDialogs::PickIcon(const QString &file, int) {
    if (!iconPicker_ || !shell_)
        return std::nullopt;
    NoHelp noHelp;
    return iconPicker_(*shell_, help_ ? *help_ : noHelp, file, parent_);
}
