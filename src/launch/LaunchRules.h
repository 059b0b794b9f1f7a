#pragma once

#include "settings/YesNoOption.h"

#include <QString>
#include <QStringList>

// Whether a launch shrinks the bar: the launch's own choice (yes or no) wins; neither follows
// the global setting. Nothing shrinks for an empty program.
bool ShouldShrink(const QString &program, const YesNoOption &launchChoice, bool globalShrink);

// The parameter made of files chosen at launch: " " + word for each file, in order.
QString ChosenFilesParameter(const QStringList &files);

// The recently launched entry of a launch: the description, else the program's short name,
// then "  |" and the button number.
QString LaunchEntry(const QString &description, const QString &program, int button);

// A text that cannot be stored in the settings file as it is (a line break or NUL in it).
bool HasLineBreak(const QString &text);
