// libFuzzer entry point for the run registry: each input is the entry of a
// run going on (its lock held), which a new run meets when it registers.
// Whatever the bytes, the new run registers or is refused as busy, never
// fails, and leaves no entry of its own behind. In an input, "@" stands for
// the new run's folder ("DEVICE INODE") and "^" for the folder above it, so
// that entries can name the folders the new run works in.

#include "run_registry.h"

#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A registry and a photo folder in a scratch folder, removed when the fuzzer
// ends.
struct CScratch {
    std::string strPath;
    std::string strRegistry;
    int nFolder = -1;
    std::string strFolderId; // of photos/sub
    std::string strParentId; // of photos
    CScratch() {
        char folder[] = "/tmp/velmora_fuzz_registry_XXXXXX";
        if (mkdtemp(folder) == nullptr)
            __builtin_trap(); // without the registry there is nothing to test
        strPath = folder;
        strRegistry = strPath + "/runs";
        std::filesystem::create_directories(strPath + "/photos/sub");
        nFolder = open((strPath + "/photos/sub").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (nFolder < 0)
            __builtin_trap();
        strFolderId = IdOf(strPath + "/photos/sub");
        strParentId = IdOf(strPath + "/photos");
    }
    static std::string IdOf(const std::string& path) {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0)
            __builtin_trap();
        return std::to_string(status.st_dev) + ' ' + std::to_string(status.st_ino);
    }
    ~CScratch() {
        close(nFolder);
        std::filesystem::remove_all(strPath);
    }
};

std::size_t Entries(const std::string& registry) {
    std::size_t entries = 0;
    for (const auto& item : std::filesystem::directory_iterator(registry))
        entries += item.path().extension() == ".run";
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CScratch scratch;
    std::filesystem::create_directories(scratch.strRegistry);
    // The other run's entry, held as a run going on holds it.
    const std::string other = scratch.strRegistry + "/1-1.run";
    const int fd = open(other.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        __builtin_trap();
    {
        velmora::CRunRegistration registration;
        int error = 0;
        const bool tree = size % 2 == 0;
        if (registration.Register(scratch.strRegistry, scratch.nFolder, tree, error) ==
            velmora::CRunRegistration::Failed)
            __builtin_trap();
    }
    close(fd);
    unlink(other.c_str());
    if (Entries(scratch.strRegistry) != 0)
        __builtin_trap();
    return 0;
}
