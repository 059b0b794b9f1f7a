// src/appearance owns how the launch buttons look: their glyphs and hints, and the icon picker
// of "Change Icon".
// Glyphs and hints of the launch buttons, and "Change Icon".
#include "app/Icons.h"
#include "appearance/Glyph.h"
#include "commandline/CommandLine.h"

#include <QAction>
#include <QToolButton>

namespace {
const QString kIcons = QStringLiteral("Icons");
const QString kIconSelection = QStringLiteral("IconSelection");
const QString kDefaultMarker = QStringLiteral("Default");
const QString kEmptyButtonHint = QStringLiteral("Mouse: Left=Load/Launch  Right=Options");
const QString kIconFilter =
    QStringLiteral("Icon File Types|*.ico;*.png;*.svg;*.xpm;*.bmp;*.desktop;*.exe;*.dll|"
                   "Icon (*.ico)|*.ico|Image (*.png, *.svg, *.xpm, *.bmp)|*.png;*.svg;*.xpm;*.bmp|"
                   "Desktop Entry (*.desktop)|*.desktop|"
                   "Program (*.exe)|*.exe|Dynamic Link Lib (*.dll)|*.dll");

// Stored paths are command-line words; the shell wants the file they stand for.
QIcon Extract(IShell &shell, const QString &source, int index) {
    if (source.isEmpty())
        return QIcon();
    return shell.ExtractIcon(UnquotePath(source), index);
}

// A chosen file's name becomes a settings value: one with a line break or NUL could not be
// stored whole, so it counts as no choice.
QString ChosenSource(const QStringList &files) {
    if (files.isEmpty())
        return QString();
    const QString &file = files.first();
    for (QChar c : file)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0))
            return QString();
    return LongPath(file);
}

// The picker, for a source with a choice of icons; it opens at the first icon.
std::optional<int> PickIcon(const Platform &platform, const QString &source) {
    const QString file = UnquotePath(source);
    if (source.isEmpty() || platform.shell->IconCount(file) < 2)
        return std::nullopt;
    return platform.dialogs->PickIcon(file, 0);
}

QString HintText(const QString &program, const QString &parameter) {
    const QString shortName = ShortName(program);
    // A parameter of one blank stands for none.
    if (QString::compare(parameter, QStringLiteral(" ")) > 0)
        return shortName + QLatin1Char(' ') + parameter;
    return shortName;
}
} // namespace

void TForm1::ConnectAppearance() {
    connect(items_.button.ChangeIcon1, &QAction::triggered, this,
            [this] { Guarded([this] { ChangeIcon(); }); });
}

void TForm1::IconVert(QToolButton *button, const ButtonRecord &record) {
    const QString key = button->objectName();
    const QString &program = record.Programs;
    IShell &shell = *platform_.shell;

    // The record as the file holds it once this is done: a source or marker stored here
    // belongs to it, so that the next Load finds the button as it left it.
    ButtonRecord drawn = record;
    QIcon icon = Extract(shell, record.Icons, record.IconSelection);
    if (icon.isNull() && !program.isEmpty())
        icon = shell.ExtractIcon(ProgramFile(program), 0); // the program word, not its arguments
    if (icon.isNull() && !program.isEmpty()) {
        // Neither the icon source nor the program gives an icon. The settings file's own
        // source decides from here on: once a source (or the "Default" marker) is stored, the
        // user is never asked again for this button.
        TNewIniFile ini = Ini();
        QString source = ini.ReadString(kIcons, key, QString());
        int index = record.IconSelection;
        const bool ask = source.isEmpty() && !Loading();
        std::optional<int> picked;
        if (ask) {
            source = ChosenSource(platform_.dialogs->OpenFiles(
                ShortName(program) +
                    QStringLiteral(" has no Icon. Select a seperate Icon OR Cancel for default"),
                kIconFilter, QString(), false));
            picked = PickIcon(platform_, source);
        }
        SettingsTransaction transaction(ini);
        if (ask) {
            if (picked && *picked > 0)
                ini.WriteInteger(kIconSelection, key, *picked);
            ini.WriteString(kIcons, key, source);
            index = ini.ReadInteger(kIconSelection, key, 0);
        }
        icon = Extract(shell, source, index);
        if (icon.isNull()) {
            icon = BuiltInIcon();
            // A stored source that gives nothing now (a file on a drive not mounted, a program
            // being reinstalled) is kept; only a button without any gets the marker.
            if (source.isEmpty())
                ini.WriteString(kIcons, key, kDefaultMarker);
        }
        try {
            transaction.Commit();
            drawn.Icons = source.isEmpty() ? kDefaultMarker : source;
            drawn.IconSelection = index;
        } catch (const SettingsWriteError &) {
            // While loading, only the marker can be written, and it only spares a later
            // question: the bar must come up all the same. Outside loading the user's choice
            // was not stored, which the handler in progress has to report.
            if (!Loading())
                throw;
        }
    }

    if (icon.isNull())
        button->setIcon(QIcon()); // an empty button
    else
        button->setIcon(MakeGlyph(icon, button->palette().color(QPalette::Button),
                                  button->devicePixelRatioF()));
    button->setIconSize(kGlyphSize);

    const QString hintText = HintText(program, record.Parameters);
    button->setToolTip(hintText.isEmpty()        ? kEmptyButtonHint
                       : !record.Names.isEmpty() ? record.Names
                                                 : hintText);
    ++drawCount_;
    pageMaking_.drawn.insert(key, drawn);
}

void TForm1::ChangeIcon() {
    QToolButton *button = FindButton(CurrentButton());
    if (!button)
        return;
    const QString key = CurrentButton();
    ButtonRecord record;
    {
        const TNewIniFile ini = Ini();
        record.Programs = ini.ReadString(QStringLiteral("Programs"), key, QString());
        record.Parameters = ini.ReadString(QStringLiteral("Parameters"), key, QString());
        record.Icons = ini.ReadString(kIcons, key, QString());
        record.Names = ini.ReadString(QStringLiteral("Names"), key, QString());
    }
    if (record.Programs.isEmpty())
        return; // an empty button has no icon to change

    const QString chosen = ChosenSource(platform_.dialogs->OpenFiles(
        QStringLiteral("Please select an Icon"), kIconFilter, QString(), false));
    TNewIniFile ini = Ini();
    if (!chosen.isEmpty()) {
        const std::optional<int> picked = PickIcon(platform_, chosen);
        // A new file starts at its first icon unless another one was picked.
        SettingsTransaction transaction(ini);
        ini.EraseKey(kIconSelection, key);
        if (picked && *picked > 0)
            ini.WriteInteger(kIconSelection, key, *picked);
        ini.WriteString(kIcons, key, chosen);
        transaction.Commit();
        record.Icons = chosen;
    }
    // After a cancel the button is simply redrawn from its unchanged settings.
    record.IconSelection = ini.ReadInteger(kIconSelection, key, 0);
    IconVert(button, record);
}
