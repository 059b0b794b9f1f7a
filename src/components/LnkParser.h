#pragma once

// Reading Windows shortcut (.lnk) files in the shell link binary format: the header, the
// link target ID list, the link information (local and network paths), the string data and
// the extra data blocks that carry a target or an icon location. Every size and offset comes
// from outside and is checked against the data before use; nothing here can run past the
// bytes given, loop, or allocate more than a few times their size. No Qt: the fuzz target
// builds this file on its own.

#include <cstddef>
#include <cstdint>
#include <string>

namespace lnk {

constexpr std::uint32_t HeaderSize = 0x4C;

// LinkFlags bits used here.
enum : std::uint32_t {
    HasLinkTargetIDList = 0x1,
    HasLinkInfo = 0x2,
    HasName = 0x4,
    HasRelativePath = 0x8,
    HasWorkingDir = 0x10,
    HasArguments = 0x20,
    HasIconLocation = 0x40,
    IsUnicode = 0x80,
    ForceNoLinkInfo = 0x100,
    HasExpString = 0x200,
    HasExpIcon = 0x4000,
};

// A string of the string data. readable is false when the flags promise the string but its
// bytes run past the end of the file (then every string after it is unreadable too).
struct Text {
    std::u16string value;
    bool readable = true;
};

struct ShellLink {
    // The bytes are a shell link whose structure holds together and whose target can be
    // located (link information, a well-formed ID list, or an environment target). When
    // false the rest means nothing.
    bool resolved = false;
    // The target's path as stored: the network (UNC) path when the link information has one,
    // else its local path, else the path the ID list spells, else the environment target.
    // Empty when the target has no file-system path (say, an ID list of a shell folder).
    std::u16string target;
    Text description;  // NAME_STRING
    Text relativePath; // RELATIVE_PATH
    Text workingDir;   // WORKING_DIR
    Text arguments;    // COMMAND_LINE_ARGUMENTS
    // ICON_LOCATION, or the icon environment block's location when the flags say the link
    // has one (that is the form the link keeps across machines).
    Text iconLocation;
    std::int32_t iconIndex = 0;
    // 1 (normal), 3 (maximised) or 7 (minimised, not active): any other stored value means
    // normal, as the format requires.
    std::uint16_t showCommand = 1;
    std::uint16_t hotKey = 0; // virtual key in the low byte, modifier flags in the high byte
};

// True when the bytes start with the shell link header: its size and its class identifier.
bool LooksLikeShellLink(const std::uint8_t *data, std::size_t size);

ShellLink ParseShellLink(const std::uint8_t *data, std::size_t size);

// Text in the Windows ANSI code page (1252), as the link's single-byte strings are stored.
std::u16string FromAnsi(const std::uint8_t *data, std::size_t size);

} // namespace lnk
