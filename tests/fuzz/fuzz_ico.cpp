// libFuzzer target: the .ico directory reader, the choice of image and the bitmap decoder.
#include "platform/linux/IcoFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const icons::Bytes file{data, size};
    const icons::Bytes image = icons::BestIcoImage(file);
    if (!image.empty() && !icons::IsPng(image))
        icons::DecodeDib(image);
    // The same bytes as an icon group resource and as a bare bitmap.
    icons::NearestEntry(icons::ReadIconDirectory(file, true));
    icons::DecodeDib(file);
    return 0;
}
