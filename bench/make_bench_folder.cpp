// Writes the benchmarks' camera photos into a folder, for measuring whole
// processes (velmora-cli, the bare loop) with hyperfine:
// velmora_make_bench_folder FOLDER [COUNT]

#include "bench_folder.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: velmora_make_bench_folder FOLDER [COUNT]\n");
        return 2;
    }
    mkdir(argv[1], 0755);
    std::vector<std::string> names;
    if (!bench::WriteBenchPhotos(argv[1], argc == 3 ? std::atoi(argv[2]) : 10000, names)) {
        std::fprintf(stderr, "velmora_make_bench_folder: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
