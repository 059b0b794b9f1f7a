// libFuzzer target: the PE resource walker and the decoding of the images it finds.
#include "platform/linux/PeIcons.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const icons::PeIcons pe({data, size});
    // The shell asks for one index at a time; the first few and one past the end cover it.
    const int count = pe.GroupCount();
    for (int k = 0; k < std::min(count, 8); ++k) {
        const icons::Bytes image = pe.GroupImage(k);
        if (!image.empty() && !icons::IsPng(image))
            icons::DecodeDib(image);
    }
    pe.GroupImage(count - 1);
    pe.GroupImage(count);
    return 0;
}
