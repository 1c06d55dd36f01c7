#include "run_registry.h"

#include "journal_format.h"
#include "journal_store.h"
#include "safe_rename.h"
#include <optional>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velmora {
namespace {

// A registry entry's text:
//   "tree" or "folder"      whether the run covers the subfolders
//   DEVICE INODE            its folder, then each folder above it up to the root
constexpr const char* kEntrySuffix = ".run";
constexpr std::size_t kMaxEntryBytes = 16 * 1024; // some 400 folders deep
constexpr int kMaxDepth = 256;

using CFolderId = std::pair<std::uint64_t, std::uint64_t>;

struct CEntry {
    bool bTree = false;
    std::vector<CFolderId> chain; // its folder first
};

// The folder open as `fd` and those above it, walked up by "..".
std::vector<CFolderId> ChainOf(int fd) {
    std::vector<CFolderId> chain;
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return chain;
    chain.emplace_back(status.st_dev, status.st_ino);
    int current = dup(fd);
    for (int depth = 0; current >= 0 && depth < kMaxDepth; ++depth) {
        const int parent = openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(current);
        current = parent;
        if (parent < 0 || fstat(parent, &status) != 0 ||
            CFolderId(status.st_dev, status.st_ino) == chain.back())
            break;
        chain.emplace_back(status.st_dev, status.st_ino);
    }
    if (current >= 0)
        close(current);
    return chain;
}

std::string EntryText(const CEntry& entry) {
    std::string text = entry.bTree ? "tree\n" : "folder\n";
    for (const auto& [device, inode] : entry.chain)
        text += std::to_string(device) + ' ' + std::to_string(inode) + '\n';
    return text;
}

// An entry as EntryText writes it; nothing when it is not one.
std::optional<CEntry> ParseEntry(std::string_view text) {
    using journal_format::ParseNumber;
    using journal_format::SplitFields;
    CEntry entry;
    std::vector<std::string_view> lines = SplitFields(text, '\n');
    if (lines.size() < 3 || !lines.back().empty() || (lines[0] != "tree" && lines[0] != "folder"))
        return std::nullopt;
    entry.bTree = lines[0] == "tree";
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string_view> fields = SplitFields(lines[i]);
        CFolderId id;
        if (fields.size() != 2 || !ParseNumber(fields[0], id.first) ||
            !ParseNumber(fields[1], id.second))
            return std::nullopt;
        entry.chain.push_back(id);
    }
    return entry;
}

// Whether two runs would work in one folder.
bool Overlap(const CEntry& a, const CEntry& b) {
    const auto covers = [](const CEntry& above, const CEntry& below) {
        const auto at = std::find(below.chain.begin(), below.chain.end(), above.chain.front());
        return at == below.chain.begin() || (at != below.chain.end() && above.bTree);
    };
    return covers(a, b) || covers(b, a);
}

// The entry of a run still going on; nothing for a stale or unreadable
// one (a stale entry, whose lock nobody holds, is removed).
std::optional<CEntry> LiveEntry(int registry, const char* name) {
    const int fd = openat(registry, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    std::optional<CEntry> entry;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            unlinkat(registry, name, 0);
        } else {
            std::string text(kMaxEntryBytes, '\0');
            const ssize_t got = pread(fd, text.data(), text.size(), 0);
            if (got > 0) {
                text.resize(static_cast<std::size_t>(got));
                entry = ParseEntry(text);
            }
        }
    }
    close(fd);
    return entry;
}

} // namespace

CRunRegistration::~CRunRegistration() {
    if (m_fd < 0)
        return;
    unlink(m_strPath.c_str());
    close(m_fd);
}

CRunRegistration::Result CRunRegistration::Register(const std::string& registry, int folder,
                                                    bool tree, int& error) {
    error = MakeFolders(registry);
    if (error != 0)
        return Failed;
    const int dirFd = open(registry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        error = errno;
        return Failed;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(dirFd), closedir);
    if (!dir) {
        error = errno;
        close(dirFd);
        return Failed;
    }
    // One run at a time looks and registers, so that two starting together
    // never both miss the other.
    const int guard = openat(dirFd, "lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (guard < 0 || flock(guard, LOCK_EX) != 0) {
        error = errno;
        if (guard >= 0)
            close(guard);
        return Failed;
    }
    const std::unique_ptr<int, void (*)(int*)> guardCloser(new int(guard), [](int* fd) {
        close(*fd);
        delete fd;
    });
    const CEntry own{tree, ChainOf(folder)};
    if (own.chain.empty()) {
        error = errno;
        return Failed;
    }
    while (const dirent* item = readdir(dir.get())) {
        const std::string_view name = item->d_name;
        if (!name.ends_with(kEntrySuffix))
            continue;
        const std::optional<CEntry> other = LiveEntry(dirFd, item->d_name);
        if (other && !other->chain.empty() && Overlap(own, *other))
            return Busy;
    }
    const std::string name =
        std::to_string(getpid()) + '-' + std::to_string(RandomTemporaryNumber()) + kEntrySuffix;
    const int fd =
        openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return Failed;
    }
    const std::string text = EntryText(own);
    if (flock(fd, LOCK_EX) != 0 ||
        write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        error = errno != 0 ? errno : EIO;
        unlinkat(dirFd, name.c_str(), 0);
        close(fd);
        return Failed;
    }
    m_strPath = registry + '/' + name;
    m_fd = fd;
    return Registered;
}

} // namespace velmora
