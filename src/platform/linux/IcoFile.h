#pragma once

// Reading icon images out of .ico files and icon resources. Everything here works on bytes
// from outside (files the user points at), so every offset and size is checked against the
// data, sizes are capped, and bad data gives an empty result, never a crash. No Qt: the fuzz
// targets build these files on their own.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace icons {

// No single image larger than this is read, whatever a header claims.
constexpr std::size_t MaxImageBytes = 16u << 20;
// Directories (.ico entries, resource entries) with more entries than this are refused.
constexpr std::size_t MaxEntries = 4096;
// Decoded bitmaps wider or taller than this are refused.
constexpr int MaxDimension = 1024;
// The size buttons show icons at; of several images the one nearest to it is taken.
constexpr int WantedSize = 32;

struct Bytes {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    bool empty() const { return size == 0; }
};

// One image as an icon directory describes it. width and height 0 in the file mean 256.
struct IconEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::uint32_t bytes = 0; // size of the image data
    std::uint32_t key = 0;   // .ico: file offset of the data; resource group: RT_ICON id
};

// The entries of an .ico file (header type 1) or of an RT_GROUP_ICON resource (groupResource:
// 14-byte entries ending in a resource id instead of a file offset). Empty when the header is
// not an icon directory, the count is 0 or above MaxEntries, or the entries do not fit.
std::vector<IconEntry> ReadIconDirectory(Bytes data, bool groupResource);

// Index of the entry nearest WantedSize × WantedSize (then the deepest colours, then the
// first); -1 when there is none.
int NearestEntry(const std::vector<IconEntry> &entries);

// The bytes of the .ico file's image nearest WantedSize, or empty when the file holds none
// whose data lies inside the file and within MaxImageBytes.
Bytes BestIcoImage(Bytes file);

// True when the bytes start with the PNG signature (icons may hold PNG instead of a DIB).
bool IsPng(Bytes image);

// An icon image decoded to 32-bit ARGB pixels, row by row from the top (not premultiplied).
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    bool valid() const { return width > 0 && height > 0; }
};

// Decodes an icon DIB: a BITMAPINFOHEADER, palette, colour bitmap and AND mask, the height
// counting both bitmaps. 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed. An invalid or
// truncated image gives an invalid bitmap; a missing AND mask counts as fully opaque.
Bitmap DecodeDib(Bytes image);

} // namespace icons
