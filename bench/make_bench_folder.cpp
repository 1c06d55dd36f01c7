// Writes the benchmarks' camera photos into a folder, for measuring whole
// processes (velmora-cli, the bare loop) with hyperfine:
// velmora_make_bench_folder FOLDER [COUNT]
// velmora_make_bench_folder --devices FOLDER PHONE_PHOTOS ONE_OFF_DEVICES
// velmora_make_bench_folder --tree FOLDER FILES FOLDERS
// The second form writes small photos of one phone that records its zone and
// of as many devices with one photo each: the folder `devices` is measured on.
// The third writes a photo library of FILES small photos over FOLDERS nested
// folders (WriteBenchTree), for the tree scans and the runs into date folders.

#include "bench_folder.h"
#include "jpeg_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// A photo of `make` `model` taken at the `index`th minute of 2024, its zone recorded.
testdata::Bytes DevicePhoto(const char* make, const std::string& model, int index,
                            const char* zone) {
    char date[32];
    std::snprintf(date, sizeof(date), "2024:%02d:%02d %02d:%02d:00", index / 40320 % 12 + 1,
                  index / 1440 % 28 + 1, index / 60 % 24, index % 60);
    testdata::CTiffBuilder tiff;
    tiff.Ascii(0, 0x010F, make).Ascii(0, 0x0110, model).SubDirectory(0, 0x8769, 1);
    tiff.AddDirectory(), tiff.Ascii(1, 0x9003, date).Ascii(1, 0x9011, zone);
    return testdata::CJpegBuilder::Photo(&tiff);
}

bool WriteDeviceFolder(const std::string& folder, int phonePhotos, int oneOffs) {
    char name[32];
    for (int i = 0; i < phonePhotos; ++i) {
        std::snprintf(name, sizeof(name), "PXL_%06d.jpg", i);
        if (!testdata::WriteFile(folder + "/" + name,
                                 DevicePhoto("Lumio", "Pocket 7", i, "+02:00")))
            return false;
    }
    for (int i = 0; i < oneOffs; ++i) {
        std::snprintf(name, sizeof(name), "DSC_%06d.jpg", i);
        if (!testdata::WriteFile(
                folder + "/" + name,
                DevicePhoto("Quorvant", "QX-" + std::to_string(i), i * 7, "+01:00")))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool devices = argc == 5 && std::strcmp(argv[1], "--devices") == 0;
    const bool tree = argc == 5 && std::strcmp(argv[1], "--tree") == 0;
    if (!devices && !tree && argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: velmora_make_bench_folder FOLDER [COUNT]\n"
                             "       velmora_make_bench_folder --devices FOLDER PHONE_PHOTOS "
                             "ONE_OFF_DEVICES\n"
                             "       velmora_make_bench_folder --tree FOLDER FILES FOLDERS\n");
        return 2;
    }
    const char* folder = argv[devices || tree ? 2 : 1];
    mkdir(folder, 0755);
    std::vector<std::string> names;
    const bool written =
        devices ? WriteDeviceFolder(folder, std::atoi(argv[3]), std::atoi(argv[4]))
        : tree  ? bench::WriteBenchTree(folder, std::atoi(argv[3]), std::atoi(argv[4]))
                : bench::WriteBenchPhotos(folder, argc == 3 ? std::atoi(argv[2]) : 10000, names);
    if (!written) {
        std::fprintf(stderr, "velmora_make_bench_folder: cannot write into %s\n", folder);
        return 1;
    }
    return 0;
}
