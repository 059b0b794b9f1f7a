// Writes the seed corpus of the fuzz targets: small valid PE files with icon groups and .ico
// files, into the two directories named on the command line.
#include "IconFixtures.h"

#include <fstream>
#include <string>

using namespace fixture;

static void Write(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    const std::string pe = argv[1], ico = argv[2];
    const std::vector<Image> images = {
        SolidImage(16, 16, 4, 0xff0000), SolidImage(32, 32, 8, 0x00ff00),
        SolidImage(32, 32, 32, 0x0000ff), SolidImage(48, 48, 24, 0xffff00)};
    Write(pe + "/one-group.exe", BuildPe({{u"", 1, {images[2]}}}).bytes);
    Write(pe + "/named-and-numbered.dll",
          BuildPe({{u"", 7, images}, {u"MAIN", 0, {images[0], images[1]}}, {u"", 2, {images[3]}}})
              .bytes);
    Write(pe + "/wide.exe", BuildPe({{u"ICON", 0, images}}, true).bytes);
    Write(ico + "/several.ico", Ico(images));
    Write(ico + "/one.ico", Ico({images[1]}));
    Write(ico + "/bitmap.dib", images[0].data);
    return 0;
}
