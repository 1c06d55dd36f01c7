// Writes a handful of dated camera pictures into a folder for the end-to-end
// tests: velmora_e2e_make_photos FOLDER [COUNT]. With COUNT, that many more
// follow, "IMG_n.jpg", one second apart, newest first by name.

#include "jpeg_builder.h"

#include <array>
#include <cstdio>
#include <cstdlib>
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

bool WritePhoto(const std::string& path, const char* taken) {
    const testdata::CTiffBuilder tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, taken);
    if (testdata::WriteFile(path, testdata::CJpegBuilder::Photo(&tiff)))
        return true;
    std::fprintf(stderr, "velmora_e2e_make_photos: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: velmora_e2e_make_photos FOLDER [COUNT]\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const Picture& picture : kPictures) {
        if (!WritePhoto(folder + '/' + picture.name, picture.taken))
            return 1;
    }
    const int count = argc == 3 ? std::atoi(argv[2]) : 0;
    for (int i = 0; i < count; ++i) {
        const int second = count - i; // later names, earlier dates: every file moves
        char taken[32];
        std::snprintf(taken, sizeof(taken), "2023:03:%02d %02d:%02d:%02d", 1 + second / 86400,
                      second / 3600 % 24, second / 60 % 60, second % 60);
        if (!WritePhoto(folder + "/IMG_" + std::to_string(i) + ".jpg", taken))
            return 1;
    }
    return 0;
}
