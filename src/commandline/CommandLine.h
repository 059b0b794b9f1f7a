// The words of command lines: quoting a path as one word, splitting a line into words, and
// the program file of a stored "Programs" value. Below launching, the components and the Linux
// platform, which all use it; it uses nothing of the bar's.
#pragma once

#include <QString>
#include <QStringList>

// A path as one word of a command line: unchanged when it holds only characters a shell
// leaves alone, otherwise quoted. Command lines are built by putting such words side by side.
// The path is made absolute and clean first; an empty path gives an empty result.
QString LongPath(const QString &path);

// The path a stored word stands for: the quoting of LongPath taken away, and surrounding
// blanks. A word that is not quoted comes back as it is.
QString UnquotePath(const QString &word);

// The words of a command line, as programs are started with them: blanks, tabs and line
// breaks separate words; quotes and backslashes work as in a shell; nothing is expanded, and
// "#" is an ordinary character, not the start of a comment. An empty list when the line
// cannot be passed whole (empty, unbalanced quotes, a trailing backslash, a NUL character),
// with the reason in *error.
QStringList SplitCommandLine(const QString &commandLine, QString *error = nullptr);

// The program file of a stored "Programs" value, which is a command line: its first word,
// unquoted. "/usr/bin/gedit --new-window" gives "/usr/bin/gedit", "'/opt/My App/run' -x"
// gives "/opt/My App/run". A value that cannot be split stands for itself, unquoted.
QString ProgramFile(const QString &programs);

// The directory of a "Programs" value's program file, with a trailing "/"; empty when the
// program file names none.
QString ProgramDirectory(const QString &programs);

// The name a "Programs" value's program is shown by: its file's name without the extension
// (the last dot and what follows, unless the dot leads the name). "/usr/bin/gedit -n" gives
// "gedit", "'C:\WINDOWS\NOTEPAD.EXE'" gives "NOTEPAD".
QString ShortName(const QString &programs);
