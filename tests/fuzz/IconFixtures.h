#pragma once

// Small, valid icon files built in memory: icon bitmaps, .ico files and Windows PE files with
// icon resources. The icon tests use them as fixtures (and as the base of hostile variants),
// the fuzz run as its seed corpus. No Qt, so the fuzz build can use them too.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fixture {

inline void Put16(std::string &s, std::size_t at, std::uint32_t v) {
    s[at] = char(v & 0xff);
    s[at + 1] = char((v >> 8) & 0xff);
}

inline void Put32(std::string &s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = char((v >> (8 * i)) & 0xff);
}

inline void Add16(std::string &s, std::uint32_t v) {
    s.append(2, '\0');
    Put16(s, s.size() - 2, v);
}

inline void Add32(std::string &s, std::uint32_t v) {
    s.append(4, '\0');
    Put32(s, s.size() - 4, v);
}

// An icon bitmap (BITMAPINFOHEADER, palette, colour rows, AND mask) of one opaque colour
// 0xRRGGBB. bits: 4, 8, 24 or 32.
inline std::string Dib(int width, int height, int bits, std::uint32_t rgb) {
    std::string s;
    Add32(s, 40);
    Add32(s, std::uint32_t(width));
    Add32(s, std::uint32_t(height * 2));
    Add16(s, 1);
    Add16(s, std::uint32_t(bits));
    Add32(s, 0); // BI_RGB
    Add32(s, 0);
    Add32(s, 0);
    Add32(s, 0);
    const std::uint32_t colours = bits <= 8 ? 1 : 0;
    Add32(s, colours);
    Add32(s, 0);
    if (colours)
        Add32(s, rgb); // palette entry 0, as B G R x
    const std::size_t stride = ((std::size_t(width) * bits + 31) / 32) * 4;
    for (int y = 0; y < height; ++y) {
        std::string row(stride, '\0');
        for (int x = 0; x < width && bits >= 24; ++x) {
            const std::size_t at = std::size_t(x) * (bits / 8);
            row[at] = char(rgb & 0xff);
            row[at + 1] = char((rgb >> 8) & 0xff);
            row[at + 2] = char((rgb >> 16) & 0xff);
            if (bits == 32)
                row[at + 3] = char(0xff);
        }
        s += row; // palette images: every index 0
    }
    const std::size_t maskStride = ((std::size_t(width) + 31) / 32) * 4;
    s.append(maskStride * height, '\0');
    return s;
}

struct Image {
    int width, height, bits;
    std::string data;
};

inline Image SolidImage(int width, int height, int bits, std::uint32_t rgb) {
    return {width, height, bits, Dib(width, height, bits, rgb)};
}

// The 16-byte (.ico) or 14-byte (group resource) directory entry of an image.
inline std::string DirectoryEntry(const Image &image, std::uint32_t key, bool group) {
    std::string e;
    e += char(image.width >= 256 ? 0 : image.width);
    e += char(image.height >= 256 ? 0 : image.height);
    e += char(0);
    e += char(0);
    Add16(e, 1);
    Add16(e, std::uint32_t(image.bits));
    Add32(e, std::uint32_t(image.data.size()));
    if (group)
        Add16(e, key);
    else
        Add32(e, key);
    return e;
}

inline std::string Ico(const std::vector<Image> &images) {
    std::string s;
    Add16(s, 0);
    Add16(s, 1);
    Add16(s, std::uint32_t(images.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * images.size());
    for (const Image &image : images) {
        s += DirectoryEntry(image, offset, false);
        offset += std::uint32_t(image.data.size());
    }
    for (const Image &image : images)
        s += image.data;
    return s;
}

// One icon group of a PE file: named when name is not empty, else numbered.
struct Group {
    std::u16string name;
    std::uint32_t id = 0;
    std::vector<Image> images;
};

struct Pe {
    std::string bytes;
    std::size_t root = 0; // file offset of the resource root directory
    // File offsets of each resource type's directory (3: RT_ICON, 14: RT_GROUP_ICON), and of
    // the data entries of the groups in the order the file stores them.
    std::map<std::uint32_t, std::size_t> typeDirectory;
    std::vector<std::size_t> groupData;
    // File offsets of the language directories of the groups, in stored order.
    std::vector<std::size_t> groupLanguages;
};

// A PE program (32- or 64-bit) whose resource section holds the groups, sorted as the
// resource table requires: named groups by name, then numbered ones by number.
inline Pe BuildPe(std::vector<Group> groups, bool wide = false) {
    std::stable_sort(groups.begin(), groups.end(), [](const Group &a, const Group &b) {
        if (a.name.empty() != b.name.empty())
            return !a.name.empty();
        return a.name.empty() ? a.id < b.id : a.name < b.name;
    });
    struct Leaf {
        std::u16string name;
        std::uint32_t id;
        std::string data;
    };
    std::vector<Leaf> icons, groupLeaves;
    std::uint32_t nextIcon = 1;
    for (const Group &group : groups) {
        std::string directory;
        Add16(directory, 0);
        Add16(directory, 1);
        Add16(directory, std::uint32_t(group.images.size()));
        for (const Image &image : group.images) {
            directory += DirectoryEntry(image, nextIcon, true);
            icons.push_back({u"", nextIcon++, image.data});
        }
        groupLeaves.push_back({group.name, group.id, directory});
    }
    const std::vector<std::pair<std::uint32_t, std::vector<Leaf> *>> types = {{3, &icons},
                                                                              {14, &groupLeaves}};

    // Layout: root, type directories, language directories, data entries, names, data.
    const std::uint32_t sectionRva = 0x1000;
    std::uint32_t at = 16 + 8 * 2;
    std::map<std::uint32_t, std::uint32_t> typeAt;
    for (const auto &[type, leaves] : types) {
        typeAt[type] = at;
        at += 16 + 8 * std::uint32_t(leaves->size());
    }
    std::vector<std::uint32_t> languageAt, dataEntryAt, nameAt, dataAt;
    for (const auto &[type, leaves] : types)
        for (std::size_t i = 0; i < leaves->size(); ++i, at += 16 + 8)
            languageAt.push_back(at);
    for (const auto &[type, leaves] : types)
        for (std::size_t i = 0; i < leaves->size(); ++i, at += 16)
            dataEntryAt.push_back(at);
    for (const auto &[type, leaves] : types)
        for (const Leaf &leaf : *leaves) {
            nameAt.push_back(at);
            if (!leaf.name.empty())
                at += 2 + 2 * std::uint32_t(leaf.name.size());
        }
    at = (at + 7) & ~7u;
    for (const auto &[type, leaves] : types)
        for (const Leaf &leaf : *leaves) {
            dataAt.push_back(at);
            at += (std::uint32_t(leaf.data.size()) + 7) & ~7u;
        }
    std::string rsrc(at, '\0');
    auto directory = [&](std::uint32_t offset, std::uint32_t named, std::uint32_t numbered) {
        Put16(rsrc, offset + 12, named);
        Put16(rsrc, offset + 14, numbered);
    };
    directory(0, 0, 2);
    std::size_t leafIndex = 0;
    for (std::size_t t = 0; t < types.size(); ++t) {
        const auto &[type, leaves] = types[t];
        Put32(rsrc, 16 + 8 * t, type);
        Put32(rsrc, 16 + 8 * t + 4, 0x80000000u | typeAt[type]);
        std::uint32_t named = 0;
        for (const Leaf &leaf : *leaves)
            named += leaf.name.empty() ? 0 : 1;
        directory(typeAt[type], named, std::uint32_t(leaves->size()) - named);
        for (std::size_t i = 0; i < leaves->size(); ++i, ++leafIndex) {
            const Leaf &leaf = (*leaves)[i];
            const std::uint32_t entry = typeAt[type] + 16 + 8 * std::uint32_t(i);
            if (leaf.name.empty()) {
                Put32(rsrc, entry, leaf.id);
            } else {
                Put32(rsrc, entry, 0x80000000u | nameAt[leafIndex]);
                Put16(rsrc, nameAt[leafIndex], std::uint32_t(leaf.name.size()));
                for (std::size_t c = 0; c < leaf.name.size(); ++c)
                    Put16(rsrc, nameAt[leafIndex] + 2 + 2 * c, leaf.name[c]);
            }
            Put32(rsrc, entry + 4, 0x80000000u | languageAt[leafIndex]);
            directory(languageAt[leafIndex], 0, 1);
            Put32(rsrc, languageAt[leafIndex] + 16, 1033);
            Put32(rsrc, languageAt[leafIndex] + 20, dataEntryAt[leafIndex]);
            Put32(rsrc, dataEntryAt[leafIndex], sectionRva + dataAt[leafIndex]);
            Put32(rsrc, dataEntryAt[leafIndex] + 4, std::uint32_t(leaf.data.size()));
            rsrc.replace(dataAt[leafIndex], leaf.data.size(), leaf.data);
        }
    }

    const std::uint32_t fileAlign = 0x200;
    const std::uint32_t rawSize = (std::uint32_t(rsrc.size()) + fileAlign - 1) & ~(fileAlign - 1);
    std::string s(fileAlign, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    Put32(s, 0x3c, 0x40);
    const std::size_t pe = 0x40;
    s.replace(pe, 4, std::string("PE\0\0", 4));
    const std::uint32_t optionalSize = wide ? 240 : 224;
    Put16(s, pe + 4, wide ? 0x8664 : 0x14c);
    Put16(s, pe + 6, 1);
    Put16(s, pe + 20, optionalSize);
    Put16(s, pe + 22, 0x2102);
    const std::size_t optional = pe + 24;
    Put16(s, optional, wide ? 0x20b : 0x10b);
    const std::size_t directories = optional + (wide ? 112 : 96);
    Put32(s, directories - 4, 16);
    Put32(s, directories + 2 * 8, sectionRva);
    Put32(s, directories + 2 * 8 + 4, std::uint32_t(rsrc.size()));
    const std::size_t section = optional + optionalSize;
    s.replace(section, 5, ".rsrc");
    Put32(s, section + 8, std::uint32_t(rsrc.size()));
    Put32(s, section + 12, sectionRva);
    Put32(s, section + 16, rawSize);
    Put32(s, section + 20, fileAlign);
    Put32(s, section + 36, 0x40000040u);
    rsrc.resize(rawSize, '\0');

    Pe result;
    result.bytes = s + rsrc;
    result.root = fileAlign;
    for (const auto &[type, offset] : typeAt)
        result.typeDirectory[type] = fileAlign + offset;
    for (std::size_t i = icons.size(); i < languageAt.size(); ++i) {
        result.groupLanguages.push_back(fileAlign + languageAt[i]);
        result.groupData.push_back(fileAlign + dataEntryAt[i]);
    }
    return result;
}

} // namespace fixture
