#pragma once

// The icons of a Windows PE program or library, read from its resource table: each
// RT_GROUP_ICON entry is one icon, in the order the table stores them (named groups first,
// then numbered ones); a group's images are RT_ICON entries. The file is untrusted: every
// offset is checked, the walk is three levels deep at most and refuses directories that point
// back along its own path, and directories with more than MaxEntries entries are refused.

#include "platform/linux/IcoFile.h"

#include <cstdint>
#include <vector>

namespace icons {

class PeIcons {
public:
    // The bytes must outlive this object.
    explicit PeIcons(Bytes file);

    // True for an "MZ" file with a PE header that could be read.
    bool IsPe() const { return pe_; }
    // The number of icon groups; 0 when the file is no PE file or has no icon resources.
    int GroupCount() const { return int(groups_.size()); }
    // The image of group index nearest WantedSize (a DIB or PNG); empty when the index is out
    // of range or the group's data cannot be read.
    Bytes GroupImage(int index) const;

private:
    struct Section {
        std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
    };
    struct Entry {
        std::uint32_t id; // the id, or the offset of the name for named entries
        bool named;
        std::uint32_t target; // offset of a subdirectory or of a data entry, from the root
        bool directory;
    };

    bool ReadDirectory(std::uint32_t offset, std::vector<Entry> &entries) const;
    // The data a name-level entry leads to (through its first language); empty when none.
    Bytes Leaf(const Entry &entry, std::uint32_t parent) const;
    Bytes Data(std::uint32_t offset) const;
    bool FileOffset(std::uint32_t rva, std::uint64_t &offset) const;

    Bytes file_;
    bool pe_ = false;
    std::vector<Section> sections_;
    std::uint64_t root_ = 0; // file offset of the resource root directory
    std::uint32_t groupDir_ = 0, iconDir_ = 0;
    bool hasIcons_ = false;
    std::vector<Entry> groups_;
};

} // namespace icons
