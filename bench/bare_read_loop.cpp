// The bare loop as a whole process, the yardstick of velmora-cli list:
// lists FOLDER, then opens, reads 64 KiB of and closes each *.jpg in it.
// With --ahead=N it first asks the kernel for the next N files
// (POSIX_FADV_WILLNEED) while it reads the current one. With --evict it reads
// nothing and drops the files' pages from the page cache instead
// (POSIX_FADV_DONTNEED, no privileges needed), for cold measurements.
// velmora_bare_read_loop [--ahead=N | --evict] FOLDER

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    std::size_t ahead = 0;
    bool evict = false;
    int arg = 1;
    if (arg < argc && std::strncmp(argv[arg], "--ahead=", 8) == 0)
        ahead = static_cast<std::size_t>(std::atoi(argv[arg++] + 8));
    else if (arg < argc && std::strcmp(argv[arg], "--evict") == 0)
        evict = (++arg, true);
    if (arg + 1 != argc) {
        std::fprintf(stderr, "usage: velmora_bare_read_loop [--ahead=N | --evict] FOLDER\n");
        return 2;
    }
    const std::string folder = argv[arg];
    std::vector<std::string> paths;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0)
                paths.push_back(folder + '/' + name);
        }
        closedir(dir);
    }
    std::sort(paths.begin(), paths.end());
    if (evict) {
        for (const std::string& path : paths) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            fdatasync(fd); // only clean pages can be dropped
            posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            close(fd);
        }
        return 0;
    }
    std::vector<char> buffer(64 * 1024);
    std::deque<int> open; // files opened and asked for ahead, in order
    std::size_t next = 0; // the next file to open
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        while (next < paths.size() && next <= i + ahead) {
            const int fd = ::open(paths[next++].c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0 && ahead > 0)
                posix_fadvise(fd, 0, static_cast<off_t>(buffer.size()), POSIX_FADV_WILLNEED);
            open.push_back(fd);
        }
        const int fd = open.front();
        open.pop_front();
        if (fd < 0)
            continue;
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        bytes += n > 0 ? static_cast<std::size_t>(n) : 0;
        close(fd);
    }
    std::printf("%zu files, %zu bytes\n", paths.size(), bytes);
    return 0;
}
