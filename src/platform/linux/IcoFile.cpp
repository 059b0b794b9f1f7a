#include "platform/linux/IcoFile.h"

#include <cstdlib>
#include <cstring>

namespace icons {

namespace {

std::uint16_t U16(const std::uint8_t *p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::int32_t I32(const std::uint8_t *p) {
    return std::int32_t(U32(p));
}

// Whether [offset, offset + length) lies inside size bytes, without overflowing.
bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// Colour depth from the palette size byte, for directories that leave the bit count 0.
int BitsForColours(int colours) {
    switch (colours) {
    case 2:
        return 1;
    case 16:
        return 4;
    case 0: // 256 or more colours
        return 8;
    default:
        return 0;
    }
}

} // namespace

std::vector<IconEntry> ReadIconDirectory(Bytes data, bool groupResource) {
    std::vector<IconEntry> entries;
    if (!data.data || data.size < 6 || U16(data.data) != 0 || U16(data.data + 2) != 1)
        return entries;
    const std::size_t count = U16(data.data + 4);
    const std::size_t entrySize = groupResource ? 14 : 16;
    if (count == 0 || count > MaxEntries || !Fits(6, count * entrySize, data.size))
        return entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t *e = data.data + 6 + i * entrySize;
        IconEntry entry;
        entry.width = e[0] ? e[0] : 256;
        entry.height = e[1] ? e[1] : 256;
        entry.bitCount = U16(e + 6);
        if (entry.bitCount == 0)
            entry.bitCount = BitsForColours(e[2]);
        entry.bytes = U32(e + 8);
        entry.key = groupResource ? U16(e + 12) : U32(e + 12);
        entries.push_back(entry);
    }
    return entries;
}

int NearestEntry(const std::vector<IconEntry> &entries) {
    int best = -1;
    auto distance = [](const IconEntry &e) {
        return std::abs(e.width - WantedSize) + std::abs(e.height - WantedSize);
    };
    for (int i = 0; i < int(entries.size()); ++i) {
        if (best < 0) {
            best = i;
            continue;
        }
        const IconEntry &e = entries[i];
        const IconEntry &b = entries[best];
        const int de = distance(e), db = distance(b);
        // Equally near: a larger image scales down better than a smaller one scales up.
        const long ae = long(e.width) * e.height, ab = long(b.width) * b.height;
        if (de < db || (de == db && (ae > ab || (ae == ab && e.bitCount > b.bitCount))))
            best = i;
    }
    return best;
}

Bytes BestIcoImage(Bytes file) {
    std::vector<IconEntry> entries = ReadIconDirectory(file, false);
    // Entries whose data is not in the file do not count, so one bad entry leaves the rest.
    std::erase_if(entries, [&](const IconEntry &e) {
        return e.bytes == 0 || e.bytes > MaxImageBytes || !Fits(e.key, e.bytes, file.size);
    });
    const int best = NearestEntry(entries);
    if (best < 0)
        return {};
    return {file.data + entries[best].key, entries[best].bytes};
}

bool IsPng(Bytes image) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return image.data && image.size >= 8 && std::memcmp(image.data, signature, 8) == 0;
}

Bitmap DecodeDib(Bytes image) {
    Bitmap out;
    const std::uint8_t *d = image.data;
    const std::uint64_t size = image.size;
    if (!d || size < 40 || size > MaxImageBytes)
        return out;
    const std::uint32_t headerSize = U32(d);
    const std::int32_t width = I32(d + 4);
    const std::int32_t fullHeight = I32(d + 8);
    const int bits = U16(d + 14);
    const std::uint32_t compression = U32(d + 16);
    const std::uint32_t coloursUsed = U32(d + 32);
    if (headerSize < 40 || headerSize > size)
        return out;
    // The height counts the colour bitmap and the mask below it; top-down icons do not exist.
    if (width <= 0 || width > MaxDimension || fullHeight < 2 || fullHeight > 2 * MaxDimension)
        return out;
    const int height = fullHeight / 2;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return out;
    if (compression != 0) // BI_RGB only
        return out;

    std::uint64_t paletteSize = 0;
    if (bits <= 8) {
        paletteSize = coloursUsed ? coloursUsed : (1u << bits);
        if (paletteSize > (1u << bits))
            return out;
    }
    const std::uint64_t paletteOffset = headerSize;
    if (!Fits(paletteOffset, paletteSize * 4, size))
        return out;
    const std::uint64_t colourOffset = paletteOffset + paletteSize * 4;
    const std::uint64_t colourStride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
    if (!Fits(colourOffset, colourStride * height, size))
        return out;
    const std::uint64_t maskOffset = colourOffset + colourStride * height;
    const std::uint64_t maskStride = ((std::uint64_t(width) + 31) / 32) * 4;
    const bool hasMask = Fits(maskOffset, maskStride * height, size);

    out.width = width;
    out.height = height;
    out.pixels.assign(std::size_t(width) * height, 0);
    const std::uint8_t *palette = d + paletteOffset;
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *row = d + colourOffset + colourStride * (height - 1 - y);
        std::uint32_t *line = out.pixels.data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            std::uint32_t argb = 0xff000000u;
            if (bits <= 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                const std::uint32_t index = (row[x / perByte] >> shift) & ((1u << bits) - 1);
                if (index < paletteSize) {
                    const std::uint8_t *c = palette + index * 4;
                    argb |= (std::uint32_t(c[2]) << 16) | (std::uint32_t(c[1]) << 8) | c[0];
                }
            } else if (bits == 16) { // 5-5-5
                const std::uint32_t v = U16(row + x * 2);
                const std::uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                argb |= (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) |
                        ((b << 3) | (b >> 2));
            } else if (bits == 24) {
                const std::uint8_t *c = row + x * 3;
                argb |= (std::uint32_t(c[2]) << 16) | (std::uint32_t(c[1]) << 8) | c[0];
            } else {
                argb = U32(row + x * 4);
                anyAlpha = anyAlpha || (argb >> 24) != 0;
            }
            line[x] = argb;
        }
    }
    // 32-bit images carry their own transparency; older ones (all alpha 0) use the mask.
    if (bits == 32 && anyAlpha)
        return out;
    for (int y = 0; y < height; ++y) {
        std::uint32_t *line = out.pixels.data() + std::size_t(y) * width;
        const std::uint8_t *mask =
            hasMask ? d + maskOffset + maskStride * (height - 1 - y) : nullptr;
        for (int x = 0; x < width; ++x) {
            const bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
            line[x] = transparent ? 0u : (line[x] | 0xff000000u);
        }
    }
    return out;
}

} // namespace icons
