// Writes a handful of dated camera pictures into a folder for the end-to-end
// test of the window: velmora_e2e_make_photos FOLDER

#include "jpeg_builder.h"

#include <array>
#include <cstdio>
#include <string>

namespace {

struct Picture {
    const char* name;
    const char* taken; // EXIF "YYYY:MM:DD HH:MM:SS"
};

// File names deliberately out of date order, so the window's sorting shows in
// the counters of the new names.
constexpr std::array<Picture, 5> kPictures = {{
    {"DSC_0001.jpg", "2021:07:14 09:30:00"},
    {"DSC_0002.jpg", "2019:12:31 23:59:59"},
    {"DSC_0003.jpg", "2021:07:14 18:05:42"},
    {"holiday.jpg", "2020:02:29 12:00:00"},
    {"scan 5.jpg", "2022:01:01 00:00:01"},
}};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_e2e_make_photos FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const Picture& picture : kPictures) {
        const testdata::CTiffBuilder tiff =
            testdata::CameraTiff(testdata::ByteOrder::Intel, picture.taken);
        const std::string path = folder + '/' + picture.name;
        if (!testdata::WriteFile(path, testdata::CJpegBuilder::Photo(&tiff))) {
            std::fprintf(stderr, "velmora_e2e_make_photos: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
