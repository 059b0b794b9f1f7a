// libFuzzer target: the shortcut reader's parsers, the shell link format and desktop entries.
// The same bytes go to both, as the reader itself decides by content.
#include "components/LnkDesktopEntry.h"
#include "components/LnkParser.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const lnk::ShellLink link = lnk::ParseShellLink(data, size);
    (void)link;
    const lnk::DesktopEntry entry =
        lnk::ParseDesktopEntry(reinterpret_cast<const char *>(data), size);
    (void)entry;
    // The word helpers on their own, with every byte value.
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (const std::string &word : lnk::ExpandFieldCodes({text}, {text, text, text}))
        lnk::CommandWord(word);
    return 0;
}
