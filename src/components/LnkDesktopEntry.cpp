#include "components/LnkDesktopEntry.h"

#include <glib.h>

#include <cstring>
#include <memory>
#include <vector>

namespace lnk {

namespace {

const char *const Group = "Desktop Entry";

struct KeyFileDeleter {
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// A string value: empty and readable when the key is missing, unreadable when it is there but
// not valid UTF-8 (or otherwise refused by the key-file rules).
EntryText Value(GKeyFile *file, const char *key, bool localised) {
    EntryText text;
    if (!g_key_file_has_key(file, Group, key, nullptr))
        return text;
    GError *error = nullptr;
    gchar *value = localised ? g_key_file_get_locale_string(file, Group, key, nullptr, &error)
                             : g_key_file_get_string(file, Group, key, &error);
    if (value) {
        text.value = value;
        g_free(value);
    } else {
        text.readable = false;
    }
    g_clear_error(&error);
    return text;
}

// Application: the program and the fixed arguments of Exec.
void ReadExec(GKeyFile *file, DesktopEntry &entry) {
    const EntryText exec = Value(file, "Exec", false);
    entry.program.readable = false;
    if (!exec.readable || exec.value.empty()) {
        entry.arguments.readable = exec.readable;
        return;
    }
    gint argc = 0;
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(exec.value.c_str(), &argc, &argv, nullptr))
        return;
    std::vector<std::string> words;
    for (gint i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        std::string kept = WithoutFieldCodes(word);
        // A word that was only field codes goes; an empty word written as "" stays.
        if (!kept.empty() || word.empty())
            words.push_back(std::move(kept));
    }
    g_strfreev(argv);
    if (words.empty() || words[0].empty())
        return;
    entry.program = {words[0], true};
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (i > 1)
            entry.arguments.value += ' ';
        entry.arguments.value += CommandWord(words[i]);
    }
}

// Link: the local path of URL.
void ReadUrl(GKeyFile *file, DesktopEntry &entry) {
    const EntryText url = Value(file, "URL", false);
    entry.program.readable = false;
    if (!url.readable || url.value.empty())
        return;
    if (url.value[0] == '/') {
        entry.program = url;
        return;
    }
    gchar *path = g_filename_from_uri(url.value.c_str(), nullptr, nullptr);
    if (path) {
        entry.program.value = path;
        entry.program.readable = true;
        g_free(path);
    }
}

} // namespace

std::string WithoutFieldCodes(const std::string &word) {
    std::string result;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%' || i + 1 >= word.size())
            result += word[i];
        else if (word[++i] == '%')
            result += '%';
    }
    return result;
}

std::string CommandWord(const std::string &word) {
    bool safe = !word.empty() && word[0] != '~';
    for (const char c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool alnum = (u >= '0' && u <= '9') || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z');
        // Bytes of multi-byte UTF-8 characters are letters to a shell.
        safe = safe && (alnum || u >= 0x80 || (c != 0 && std::strchr("/._-+,:@%=~", c)));
    }
    if (safe)
        return word;
    gchar *quoted = g_shell_quote(word.c_str());
    std::string result = quoted;
    g_free(quoted);
    return result;
}

DesktopEntry ParseDesktopEntry(const char *data, std::size_t size) {
    DesktopEntry entry;
    if (!data || size == 0)
        return entry;
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), data, size, G_KEY_FILE_NONE, nullptr) ||
        !g_key_file_has_group(file.get(), Group))
        return entry;
    const EntryText type = Value(file.get(), "Type", false);
    if (type.value == "Application")
        ReadExec(file.get(), entry);
    else if (type.value == "Link")
        ReadUrl(file.get(), entry);
    else
        return entry;
    entry.recognised = true;
    entry.workingDir = Value(file.get(), "Path", false);
    entry.description = Value(file.get(), "Comment", true);
    if (entry.description.readable && entry.description.value.empty())
        entry.description = Value(file.get(), "Name", true);
    entry.icon = Value(file.get(), "Icon", true);
    return entry;
}

} // namespace lnk
