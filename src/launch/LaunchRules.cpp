#include "launch/LaunchRules.h"

#include "commandline/CommandLine.h"

bool ShouldShrink(const QString &program, const YesNoOption &launchChoice, bool globalShrink) {
    if (program.trimmed().isEmpty())
        return false;
    return launchChoice.IsYesOrNo() ? launchChoice.IsYes() : globalShrink;
}

QString ChosenFilesParameter(const QStringList &files) {
    QString parameter;
    for (const QString &file : files)
        parameter += QLatin1Char(' ') + LongPath(file);
    return parameter;
}

QString LaunchEntry(const QString &description, const QString &program, int button) {
    const QString caption = description.isEmpty() ? ShortName(program) : description;
    return caption + QStringLiteral("  |") + QString::number(button);
}

bool HasLineBreak(const QString &text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
           text.contains(QChar(0));
}
