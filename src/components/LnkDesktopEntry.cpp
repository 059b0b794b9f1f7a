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
void ReadExec(GKeyFile *file, DesktopEntry &entry, const std::string &location) {
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
    const std::vector<std::string> written(argv, argv + argc);
    g_strfreev(argv);
    const std::vector<std::string> words = ExpandFieldCodes(
        written, {Value(file, "Icon", true).value, Value(file, "Name", true).value, location});
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

std::vector<std::string> ExpandFieldCodes(const std::vector<std::string> &words,
                                          const ExecFields &fields) {
    std::vector<std::string> result;
    for (const std::string &word : words) {
        if (word == "%i") {
            if (!fields.icon.empty()) {
                result.push_back("--icon");
                result.push_back(fields.icon);
            }
            continue;
        }
        std::string expanded;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 >= word.size()) {
                expanded += word[i];
                continue;
            }
            switch (word[++i]) {
            case '%':
                expanded += '%';
                break;
            case 'c':
                expanded += fields.name;
                break;
            case 'k':
                expanded += fields.location;
                break;
            default: // files, URLs, deprecated and unknown codes
                break;
            }
        }
        // A word that expanded to nothing goes (an empty %c too: Exec=app --title %c would
        // otherwise pass an empty title); an empty word written as "" stays.
        if (!expanded.empty() || word.empty())
            result.push_back(std::move(expanded));
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

DesktopEntry ParseDesktopEntry(const char *data, std::size_t size, const std::string &location) {
    DesktopEntry entry;
    if (!data || size == 0)
        return entry;
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), data, size, G_KEY_FILE_NONE, nullptr) ||
        !g_key_file_has_group(file.get(), Group))
        return entry;
    const EntryText type = Value(file.get(), "Type", false);
    if (type.value == "Application")
        ReadExec(file.get(), entry, location);
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
