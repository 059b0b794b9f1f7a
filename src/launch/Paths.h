#pragma once

#include <QString>

// A path as one word of a command line: unchanged when it holds only characters a shell
// leaves alone, otherwise quoted. Command lines are built by putting such words side by side.
// The path is made absolute and clean first; an empty path gives an empty result.
QString LongPath(const QString &path);

// The path a stored word stands for: the quoting of LongPath taken away, and surrounding
// blanks. A word that is not quoted comes back as it is.
QString UnquotePath(const QString &word);

// The directory part of a command line's program word, with a trailing separator; empty
// when the word has none.
QString ProgramDirectory(const QString &program);

// The name a program is shown by: its file-name part without the extension (the last dot and
// what follows, unless the dot leads the name). "/usr/bin/gedit" gives "gedit",
// "C:\WINDOWS\NOTEPAD.EXE" gives "NOTEPAD".
QString ShortName(const QString &program);
