#pragma once

// Reading freedesktop desktop entries (.desktop files) as shortcuts: what an entry of type
// Application or Link gives in the terms of a Windows shortcut. GLib's key-file reader and
// shell word splitting do the parsing. No Qt: the fuzz target builds this file on its own.

#include <cstddef>
#include <string>

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
    // Application: the other words of Exec without field codes, as a command line (words
    // quoted only where a shell would not take them as they are). Link: empty.
    EntryText arguments;
    EntryText workingDir;  // Path
    EntryText description; // Comment, else Name (localised for the current locale)
    EntryText icon;        // Icon: a theme icon name or a file
};

DesktopEntry ParseDesktopEntry(const char *data, std::size_t size);

// A word of an Exec line with its field codes (%f, %U, %i ...) taken out and "%%" made "%".
std::string WithoutFieldCodes(const std::string &word);

// A word of a command line: unchanged when a shell would take it as it is, otherwise quoted.
std::string CommandWord(const std::string &word);

} // namespace lnk
