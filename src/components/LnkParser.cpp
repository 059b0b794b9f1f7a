#include "components/LnkParser.h"

#include <cstring>
#include <optional>

namespace lnk {

namespace {

// {00021401-0000-0000-C000-000000000046} as stored.
const std::uint8_t LinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// My Computer {20D04FE0-3AEA-1069-A2D8-08002B30309D} and My Network Places
// {208D2C60-3AEA-1069-A2D7-08002B30309D}, the roots of ID lists that spell paths.
const std::uint8_t MyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                          0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
const std::uint8_t NetworkClsid[16] = {0x60, 0x2C, 0x8D, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                       0xA2, 0xD7, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

constexpr std::uint32_t EnvironmentBlock = 0xA0000001;
constexpr std::uint32_t IconEnvironmentBlock = 0xA0000007;
constexpr std::uint32_t EnvironmentBlockSize = 0x314;
constexpr std::uint32_t FileEntryExtension = 0xBEEF0004;

// A bounds-checked view of bytes. Reads outside it give 0 or nothing; callers check Fits()
// where the difference matters.
class Bytes {
public:
    Bytes() = default;
    Bytes(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    const std::uint8_t *data() const { return data_; }

    // Whether [offset, offset + length) lies inside, without overflowing.
    bool Fits(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    std::uint8_t U8(std::size_t offset) const { return Fits(offset, 1) ? data_[offset] : 0; }
    std::uint16_t U16(std::size_t offset) const {
        return Fits(offset, 2) ? std::uint16_t(data_[offset] | (data_[offset + 1] << 8)) : 0;
    }
    std::uint32_t U32(std::size_t offset) const {
        if (!Fits(offset, 4))
            return 0;
        const std::uint8_t *p = data_ + offset;
        return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
               (std::uint32_t(p[3]) << 24);
    }
    // The part [offset, offset + length), or an empty view when it does not fit.
    Bytes Part(std::uint64_t offset, std::uint64_t length) const {
        return Fits(offset, length) ? Bytes(data_ + offset, std::size_t(length)) : Bytes();
    }
    // From offset to the end, or empty.
    Bytes From(std::uint64_t offset) const {
        return offset <= size_ ? Bytes(data_ + offset, size_ - std::size_t(offset)) : Bytes();
    }
    bool Equals(std::size_t offset, const std::uint8_t (&what)[16]) const {
        return Fits(offset, 16) && std::memcmp(data_ + offset, what, 16) == 0;
    }

private:
    const std::uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
};

const char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string FromUtf16(Bytes bytes, std::size_t units) {
    std::u16string text;
    text.reserve(units);
    for (std::size_t i = 0; i < units; ++i)
        text.push_back(char16_t(bytes.U16(2 * i)));
    return text;
}

// Cut at the first NUL: the shell hands strings out as C strings.
std::u16string CutAtNul(std::u16string text) {
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos)
        text.resize(nul);
    return text;
}

// A NUL-terminated single-byte string at offset; nothing when there is no terminator before
// the end of the view.
std::optional<std::u16string> AnsiZ(Bytes bytes, std::uint64_t offset) {
    if (offset >= bytes.size())
        return std::nullopt;
    const std::uint8_t *start = bytes.data() + offset;
    const void *nul = std::memchr(start, 0, bytes.size() - std::size_t(offset));
    if (!nul)
        return std::nullopt;
    return FromAnsi(start, std::size_t(static_cast<const std::uint8_t *>(nul) - start));
}

// A NUL-terminated UTF-16 string at offset, likewise.
std::optional<std::u16string> WideZ(Bytes bytes, std::uint64_t offset) {
    for (std::uint64_t end = offset; bytes.Fits(end, 2); end += 2) {
        if (bytes.U16(std::size_t(end)) == 0)
            return FromUtf16(bytes.Part(offset, end - offset), std::size_t(end - offset) / 2);
    }
    return std::nullopt;
}

std::u16string JoinUnc(const std::u16string &share, const std::u16string &suffix) {
    if (suffix.empty())
        return share;
    if (!share.empty() && share.back() == u'\\')
        return share + suffix;
    return share + u'\\' + suffix;
}

// The target the link information spells: the network path when there is one (network paths
// are preferred), else the local base path; empty when neither can be read.
std::u16string LinkInfoTarget(Bytes info) {
    const std::uint32_t headerSize = info.U32(4);
    if (headerSize < 0x1C || headerSize > info.size())
        return {};
    const std::uint32_t flags = info.U32(8);
    const bool unicode = headerSize >= 0x24;
    std::optional<std::u16string> suffix;
    if (unicode && info.U32(0x20) != 0)
        suffix = WideZ(info, info.U32(0x20));
    if (!suffix)
        suffix = AnsiZ(info, info.U32(0x18));
    if (!suffix)
        return {};

    if (flags & 0x2) {
        const std::uint32_t offset = info.U32(0x14);
        const Bytes network = info.Part(offset, info.U32(offset));
        if (network.size() >= 0x14) {
            const std::uint32_t nameOffset = network.U32(8);
            std::optional<std::u16string> share;
            if (nameOffset > 0x14 && network.size() >= 0x1C)
                share = WideZ(network, network.U32(0x14));
            if (!share)
                share = AnsiZ(network, nameOffset);
            if (share && !share->empty())
                return JoinUnc(*share, *suffix);
        }
    }
    if (flags & 0x1) {
        std::optional<std::u16string> base;
        if (unicode && info.U32(0x1C) != 0)
            base = WideZ(info, info.U32(0x1C));
        if (!base)
            base = AnsiZ(info, info.U32(0x10));
        if (base && !base->empty())
            return *base + *suffix;
    }
    return {};
}

// The long name a file entry item keeps in its 0xBEEF0004 extension block; the block's place
// is given by the item's last two bytes.
std::optional<std::u16string> LongName(Bytes item) {
    if (item.size() < 2)
        return std::nullopt;
    const std::uint16_t offset = item.U16(item.size() - 2);
    const Bytes block = item.Part(offset, item.U16(offset));
    if (block.size() < 8 || block.U32(4) != FileEntryExtension)
        return std::nullopt;
    const std::uint16_t version = block.U16(2);
    if (version < 3)
        return std::nullopt;
    std::size_t nameOffset = 18;
    if (version >= 7)
        nameOffset += 18; // file reference and what surrounds it
    nameOffset += 2;      // long string size
    if (version >= 9)
        nameOffset += 4;
    if (version >= 8)
        nameOffset += 4;
    std::optional<std::u16string> name = WideZ(block, nameOffset);
    if (name && name->empty())
        return std::nullopt;
    return name;
}

struct IdListResult {
    bool wellFormed = false;
    std::u16string path; // empty when the items do not spell a file-system path
};

// Walks the items of an ID list (the bytes after IDListSize). Each item is at least three
// bytes long, so the walk ends within size / 3 steps whatever the bytes say.
IdListResult IdListTarget(Bytes list) {
    IdListResult result;
    std::u16string path;
    bool spellsPath = true;
    bool rooted = false; // a volume or a network share has been seen
    std::size_t at = 0;
    int index = 0;
    for (;; ++index) {
        if (!list.Fits(at, 2))
            return result; // no terminal item
        const std::uint16_t size = list.U16(at);
        if (size == 0)
            break;
        if (size < 3 || !list.Fits(at, size))
            return result;
        const Bytes item = list.Part(at, size);
        at += size;
        if (!spellsPath)
            continue;
        const std::uint8_t type = item.U8(2);
        if (index == 0 && type == 0x1F) {
            spellsPath = item.Equals(4, MyComputerClsid) || item.Equals(4, NetworkClsid);
        } else if ((type & 0x70) == 0x20 && (type & 0x01)) { // volume with a name: "C:\"
            const std::optional<std::u16string> name = AnsiZ(item.Part(3, 20), 0);
            spellsPath = name && !name->empty();
            if (spellsPath) {
                path = *name;
                rooted = true;
            }
        } else if ((type & 0x70) == 0x40) { // network: domain, server, share
            const std::optional<std::u16string> location = AnsiZ(item, 5);
            if (location && location->size() > 2 && location->compare(0, 2, u"\\\\") == 0) {
                path = *location;
                rooted = true;
            }
        } else if ((type & 0x70) == 0x30 && rooted) { // file or folder
            std::optional<std::u16string> name = LongName(item);
            if (!name)
                name = (type & 0x04) ? WideZ(item, 14) : AnsiZ(item, 14);
            spellsPath = name && !name->empty();
            if (spellsPath) {
                if (path.empty() || path.back() != u'\\')
                    path += u'\\';
                path += *name;
            }
        } else {
            spellsPath = false;
        }
    }
    result.wellFormed = index > 0;
    if (spellsPath && rooted)
        result.path = path;
    return result;
}

// The text of an environment block: the Unicode form, or the ANSI one when that is empty.
std::u16string EnvironmentText(Bytes block) {
    std::optional<std::u16string> text = WideZ(block.Part(8 + 260, 520), 0);
    if (!text || text->empty())
        text = AnsiZ(block.Part(8, 260), 0);
    return text ? *text : std::u16string();
}

} // namespace

std::u16string FromAnsi(const std::uint8_t *data, std::size_t size) {
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        text.push_back(c >= 0x80 && c < 0xA0 ? Cp1252High[c - 0x80] : char16_t(c));
    }
    return text;
}

bool LooksLikeShellLink(const std::uint8_t *data, std::size_t size) {
    const Bytes bytes(data, size);
    return bytes.size() >= HeaderSize && bytes.U32(0) == HeaderSize && bytes.Equals(4, LinkClsid);
}

ShellLink ParseShellLink(const std::uint8_t *data, std::size_t size) {
    ShellLink link;
    if (!LooksLikeShellLink(data, size))
        return link;
    const Bytes file(data, size);
    const std::uint32_t flags = file.U32(0x14);
    link.iconIndex = std::int32_t(file.U32(0x38));
    const std::uint32_t show = file.U32(0x3C);
    link.showCommand = (show == 3 || show == 7) ? std::uint16_t(show) : 1;
    link.hotKey = file.U16(0x40);

    std::uint64_t at = HeaderSize;
    IdListResult idList;
    if (flags & HasLinkTargetIDList) {
        if (!file.Fits(at, 2))
            return link;
        const std::uint16_t listSize = file.U16(at);
        if (!file.Fits(at + 2, listSize))
            return link; // the ID list claims more than the file holds
        idList = IdListTarget(file.Part(at + 2, listSize));
        at += 2 + listSize;
    }
    std::u16string infoTarget;
    if (flags & HasLinkInfo) {
        const std::uint32_t infoSize = file.U32(at);
        if (infoSize < 0x1C || !file.Fits(at, infoSize))
            return link;
        if (!(flags & ForceNoLinkInfo))
            infoTarget = LinkInfoTarget(file.Part(at, infoSize));
        at += infoSize;
    }

    // The strings follow one another, so one that runs past the end hides the rest.
    const bool unicode = flags & IsUnicode;
    bool stringsIntact = true;
    for (const auto &[bit, text] :
         {std::pair{HasName, &link.description}, std::pair{HasRelativePath, &link.relativePath},
          std::pair{HasWorkingDir, &link.workingDir}, std::pair{HasArguments, &link.arguments},
          std::pair{HasIconLocation, &link.iconLocation}}) {
        if (!(flags & bit))
            continue;
        const std::uint16_t count = file.U16(at);
        const std::uint64_t bytes = unicode ? 2u * count : count;
        if (!stringsIntact || !file.Fits(at, 2) || !file.Fits(at + 2, bytes)) {
            stringsIntact = false;
            text->readable = false;
            continue;
        }
        const Bytes raw = file.Part(at + 2, bytes);
        text->value = CutAtNul(unicode ? FromUtf16(raw, count) : FromAnsi(raw.data(), count));
        at += 2 + bytes;
    }

    // Extra data: blocks until a terminal one (size below 4). A block that claims more than is
    // left ends the walk; what came before it stands. Each block is at least 8 bytes long.
    std::u16string environmentTarget;
    if (stringsIntact) {
        while (file.Fits(at, 4)) {
            const std::uint32_t blockSize = file.U32(at);
            if (blockSize < 8 || !file.Fits(at, blockSize))
                break;
            const Bytes block = file.Part(at, blockSize);
            const std::uint32_t signature = block.U32(4);
            if (blockSize >= EnvironmentBlockSize) {
                if (signature == EnvironmentBlock && (flags & HasExpString))
                    environmentTarget = EnvironmentText(block);
                else if (signature == IconEnvironmentBlock && (flags & HasExpIcon)) {
                    const std::u16string icon = EnvironmentText(block);
                    if (!icon.empty() && link.iconLocation.readable)
                        link.iconLocation.value = icon;
                }
            }
            at += blockSize;
        }
    }

    if (!infoTarget.empty())
        link.target = infoTarget;
    else if (!idList.path.empty())
        link.target = idList.path;
    else
        link.target = environmentTarget;
    link.resolved = !link.target.empty() || idList.wellFormed;
    return link;
}

} // namespace lnk
