#pragma once

// Reading freedesktop desktop entries (.desktop files) as shortcuts: what an entry of type
// Application or Link gives in the terms of a Windows shortcut. GLib's key-file reader and
// shell word splitting do the parsing. No Qt: the fuzz target builds this file on its own.

#include <cstddef>
#include <string>
#include <vector>

namespace lnk {

// A value of the entry in UTF-8. readable is false when the entry has the value in a form
// that cannot be used (see each field).
struct EntryText {
    std::string value;
    bool readable = true;
};

struct DesktopEntry {
    // A key file with a [Desktop Entry] group of Type Application or Link. When false the
    // rest means nothing.
    bool recognised = false;
    // Application: the first word of Exec as written (not yet looked up in PATH).
    // Link: the local path of URL. Unreadable when Exec is missing, empty, badly quoted or
    // nothing but field codes, and when URL is missing or not a local file.
    EntryText program;
    // Application: the other words of Exec with their field codes expanded (ExpandFieldCodes),
    // as a command line (words quoted only where a shell would not take them as they are).
    // Link: empty.
    EntryText arguments;
    EntryText workingDir;  // Path
    EntryText description; // Comment, else Name (localised for the current locale)
    EntryText icon;        // Icon: a theme icon name or a file
};

// location: the entry's own path, for the field code %k.
DesktopEntry ParseDesktopEntry(const char *data, std::size_t size,
                               const std::string &location = {});

// What an entry's field codes stand for when it is started with no files.
struct ExecFields {
    std::string icon;     // Icon
    std::string name;     // Name in the current locale
    std::string location; // the entry's own path (or URI)
};

// The words of an Exec line, as split, with their field codes expanded for a start with no
// files (freedesktop's desktop entry rules, "The Exec key"): %f %F %u %U and the deprecated
// %d %D %n %N %v %m give nothing; %i as a word of its own gives the two words "--icon" and the
// Icon (nothing without an Icon; inside a word it gives nothing); %c gives the Name; %k the
// location; "%%" a "%"; an unknown code gives nothing. A word that was only codes giving
// nothing goes, so the words after it keep their meaning; an empty word written as "" stays.
std::vector<std::string> ExpandFieldCodes(const std::vector<std::string> &words,
                                          const ExecFields &fields);

// A word of a command line: unchanged when a shell would take it as it is, otherwise quoted.
std::string CommandWord(const std::string &word);

} // namespace lnk
