#include "safe_rename.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

CFolderHandle::CFolderHandle(const std::string& folder) {
    m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        m_openError = errno;
}

CFolderHandle::~CFolderHandle() {
    if (m_fd >= 0)
        close(m_fd);
}

int CFolderHandle::RenameNoReplace(const std::string& from, const std::string& to) const {
    if (m_fd < 0)
        return m_openError;
    if (renameat2(m_fd, from.c_str(), m_fd, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    // The file system refuses the flag: a hard link also fails on a taken
    // name, and only then is the old name removed.
    if (linkat(m_fd, from.c_str(), m_fd, to.c_str(), 0) != 0)
        return errno == EPERM || errno == EOPNOTSUPP ? error : errno;
    if (unlinkat(m_fd, from.c_str(), 0) != 0) {
        const int unlinkError = errno;
        unlinkat(m_fd, to.c_str(), 0); // undo, so the file keeps one name
        return unlinkError;
    }
    return 0;
}

bool CFolderHandle::SameFile(const std::string& a, const std::string& b) const {
    struct stat sa {};
    struct stat sb {};
    return fstatat(m_fd, a.c_str(), &sa, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstatat(m_fd, b.c_str(), &sb, AT_SYMLINK_NOFOLLOW) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string CFolderHandle::MakeTemporaryName() const {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof(name), "~vlm%012llx.jpg",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        struct stat st {};
        if (fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return name;
    }
    return {};
}

} // namespace velmora
