#include "platform/linux/PeIcons.h"

#include <algorithm>
#include <utility>

namespace icons {

namespace {

constexpr std::uint32_t RtIcon = 3;
constexpr std::uint32_t RtGroupIcon = 14;
constexpr std::uint32_t HighBit = 0x80000000u;

std::uint16_t U16(const std::uint8_t *p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

} // namespace

PeIcons::PeIcons(Bytes file) : file_(file) {
    const std::uint8_t *d = file.data;
    const std::uint64_t size = file.size;
    if (!d || size < 0x40 || d[0] != 'M' || d[1] != 'Z')
        return;
    const std::uint64_t pe = U32(d + 0x3c);
    if (!Fits(pe, 24, size) || d[pe] != 'P' || d[pe + 1] != 'E' || d[pe + 2] || d[pe + 3])
        return;
    const std::uint32_t sectionCount = U16(d + pe + 6);
    const std::uint32_t optionalSize = U16(d + pe + 20);
    const std::uint64_t optional = pe + 24;
    if (!Fits(optional, optionalSize, size) || optionalSize < 2)
        return;
    // The data directories follow the fixed part of the optional header, which is longer in
    // 64-bit files.
    std::uint64_t directories;
    switch (U16(d + optional)) {
    case 0x10b:
        directories = 96;
        break;
    case 0x20b:
        directories = 112;
        break;
    default:
        return;
    }
    if (optionalSize < directories)
        return;
    const std::uint32_t directoryCount = U32(d + optional + directories - 4);
    const std::uint64_t sectionTable = optional + optionalSize;
    if (sectionCount > MaxEntries || !Fits(sectionTable, std::uint64_t(sectionCount) * 40, size))
        return;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t *s = d + sectionTable + i * 40;
        sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    pe_ = true;

    // Data directory 2 is the resource table.
    if (directoryCount < 3 || optionalSize < directories + 3 * 8)
        return;
    const std::uint32_t resourceRva = U32(d + optional + directories + 2 * 8);
    if (resourceRva == 0 || !FileOffset(resourceRva, root_))
        return;

    std::vector<Entry> types;
    if (!ReadDirectory(0, types))
        return;
    bool haveGroups = false;
    for (const Entry &type : types) {
        // Types are directories of names; the root itself is never one of them.
        if (type.named || !type.directory || type.target == 0)
            continue;
        if (type.id == RtGroupIcon && !haveGroups) {
            haveGroups = true;
            groupDir_ = type.target;
        } else if (type.id == RtIcon && !hasIcons_) {
            hasIcons_ = true;
            iconDir_ = type.target;
        }
    }
    if (haveGroups && !ReadDirectory(groupDir_, groups_))
        groups_.clear();
}

bool PeIcons::FileOffset(std::uint32_t rva, std::uint64_t &offset) const {
    for (const Section &s : sections_) {
        if (rva < s.virtualAddress)
            continue;
        const std::uint64_t delta = std::uint64_t(rva) - s.virtualAddress;
        const std::uint64_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (delta < extent && delta < s.rawSize) {
            offset = std::uint64_t(s.rawOffset) + delta;
            return offset < file_.size;
        }
    }
    return false;
}

bool PeIcons::ReadDirectory(std::uint32_t offset, std::vector<Entry> &entries) const {
    entries.clear();
    const std::uint64_t at = root_ + offset;
    if (!Fits(at, 16, file_.size))
        return false;
    const std::uint8_t *d = file_.data + at;
    const std::uint32_t named = U16(d + 12);
    const std::uint32_t numbered = U16(d + 14);
    const std::uint64_t count = std::uint64_t(named) + numbered;
    if (count > MaxEntries || !Fits(at + 16, count * 8, file_.size))
        return false;
    entries.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t *e = d + 16 + i * 8;
        const std::uint32_t name = U32(e);
        const std::uint32_t target = U32(e + 4);
        entries.push_back(
            {name & ~HighBit, (name & HighBit) != 0, target & ~HighBit, (target & HighBit) != 0});
    }
    return true;
}

Bytes PeIcons::Data(std::uint32_t offset) const {
    const std::uint64_t at = root_ + offset;
    if (!Fits(at, 16, file_.size))
        return {};
    const std::uint32_t rva = U32(file_.data + at);
    const std::uint32_t length = U32(file_.data + at + 4);
    std::uint64_t where = 0;
    if (length == 0 || length > MaxImageBytes || !FileOffset(rva, where) ||
        !Fits(where, length, file_.size))
        return {};
    return {file_.data + where, length};
}

Bytes PeIcons::Leaf(const Entry &entry, std::uint32_t parent) const {
    if (!entry.directory)
        return Data(entry.target);
    // Below a name come its languages; a directory that leads back to the root or to its own
    // parent would be a loop, which no real file holds.
    if (entry.target == 0 || entry.target == parent)
        return {};
    std::vector<Entry> languages;
    if (!ReadDirectory(entry.target, languages))
        return {};
    for (const Entry &language : languages) {
        if (!language.directory)
            return Data(language.target);
    }
    return {};
}

Bytes PeIcons::GroupImage(int index) const {
    if (index < 0 || index >= GroupCount() || !hasIcons_)
        return {};
    const Bytes group = Leaf(groups_[index], groupDir_);
    std::vector<IconEntry> images = ReadIconDirectory(group, true);
    std::vector<Entry> icons;
    if (images.empty() || !ReadDirectory(iconDir_, icons))
        return {};
    // Look the images' ids up in a sorted copy: both lists may hold thousands of entries.
    std::vector<std::pair<std::uint32_t, std::size_t>> byId;
    for (std::size_t i = 0; i < icons.size(); ++i) {
        if (!icons[i].named)
            byId.emplace_back(icons[i].id, i);
    }
    std::stable_sort(byId.begin(), byId.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    // Images whose RT_ICON entry is missing or unreadable do not count.
    std::vector<Bytes> data;
    std::vector<IconEntry> usable;
    for (const IconEntry &image : images) {
        const auto found = std::lower_bound(
            byId.begin(), byId.end(), image.key,
            [](const auto &element, std::uint32_t id) { return element.first < id; });
        if (found == byId.end() || found->first != image.key)
            continue;
        const Bytes bytes = Leaf(icons[found->second], iconDir_);
        if (!bytes.empty()) {
            usable.push_back(image);
            data.push_back(bytes);
        }
    }
    const int best = NearestEntry(usable);
    return best < 0 ? Bytes{} : data[best];
}

} // namespace icons
