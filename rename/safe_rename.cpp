#include "safe_rename.h"

#include "crash_point.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace velmora {
namespace {

bool IsLink(int dir, const std::string& part) {
    struct stat st {};
    return fstatat(dir, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The folder that holds a relative name's last component, and that component.
// Folder parts are opened one by one without following links, so no part can
// lead outside the folder; the folder reached is kept in `held` for the next
// name with the same folder part. The component is the tail of `name`, which
// must outlive this: a rename per file needs no copy of its names.
class CParent {
public:
    CParent(int root, const std::string& name, CFolderHandle::CHeldFolders& held) : m_fd(root) {
        const std::size_t slash = name.rfind('/');
        if (slash == std::string::npos) {
            m_leaf = name.c_str();
            return;
        }
        m_leaf = name.c_str() + slash + 1;
        const std::string_view path(name.data(), slash);
        if (const std::optional<int> fd = held.Find(path)) {
            m_fd = *fd >= 0 ? *fd : root;
            m_error = *fd >= 0 ? 0 : ENOENT;
            return;
        }
        std::size_t start = 0;
        while (start <= slash) {
            const std::size_t end = name.find('/', start);
            const std::string part = name.substr(start, end - start);
            const int next =
                openat(m_fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) {
                m_error = errno == ENOTDIR && IsLink(m_fd, part) ? ELOOP : errno;
                break;
            }
            Close();
            m_fd = next;
            m_owned = true;
            start = end + 1;
        }
        if (m_error == 0 && m_owned) {
            held.Add(path, m_fd);
            m_owned = false;
        } else if (m_error == ENOENT) {
            held.Add(path, -1);
        }
    }
    ~CParent() { Close(); }
    CParent(const CParent&) = delete;
    CParent& operator=(const CParent&) = delete;

    int Error() const { return m_error; }
    int Fd() const { return m_fd; }
    const char* Leaf() const { return m_leaf; }

private:
    void Close() {
        if (m_owned)
            close(m_fd);
        m_owned = false;
    }

    int m_fd;
    bool m_owned = false;
    int m_error = 0;
    const char* m_leaf;
};

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

CFolderHandle::CHeldFolders::~CHeldFolders() {
    Clear();
}

std::optional<int> CFolderHandle::CHeldFolders::Find(std::string_view path) {
    for (CHeld& held : m_held) {
        if (held.nUsed != 0 && held.strPath == path) {
            held.nUsed = ++m_nClock;
            return held.fd;
        }
    }
    return std::nullopt;
}

void CFolderHandle::CHeldFolders::Add(std::string_view path, int fd) {
    CHeld& oldest =
        *std::min_element(m_held.begin(), m_held.end(),
                          [](const CHeld& a, const CHeld& b) { return a.nUsed < b.nUsed; });
    if (oldest.fd >= 0)
        close(oldest.fd);
    oldest.strPath.assign(path);
    oldest.fd = fd;
    oldest.nUsed = ++m_nClock;
}

void CFolderHandle::CHeldFolders::ForgetMissing() {
    for (CHeld& held : m_held) {
        if (held.fd < 0)
            held = CHeld{};
    }
}

void CFolderHandle::CHeldFolders::Clear() {
    for (CHeld& held : m_held) {
        if (held.fd >= 0)
            close(held.fd);
        held = CHeld{};
    }
}

CFolderHandle::CFolderHandle(const std::string& folder) {
    m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        m_openError = errno;
}

CFolderHandle::~CFolderHandle() {
    if (m_fd >= 0)
        close(m_fd); // also releases the lock
}

int CFolderHandle::Lock() {
    if (m_fd < 0)
        return m_openError;
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    const int error = errno;
    return error == ENOLCK || error == EOPNOTSUPP || error == EBADF ? 0 : error;
}

int CFolderHandle::RenameNoReplace(const std::string& from, const std::string& to) const {
    if (m_fd < 0)
        return m_openError;
    const CParent source(m_fd, from, m_held);
    const CParent target(m_fd, to, m_held);
    if (source.Error() != 0)
        return source.Error();
    if (target.Error() != 0)
        return target.Error();
    if (!ForceLinkRename() &&
        renameat2(source.Fd(), source.Leaf(), target.Fd(), target.Leaf(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = ForceLinkRename() ? EINVAL : errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    // The file system refuses the flag: a hard link also fails on a taken
    // name, and only then is the old name removed.
    if (linkat(source.Fd(), source.Leaf(), target.Fd(), target.Leaf(), 0) != 0)
        return errno == EPERM || errno == EOPNOTSUPP ? error : errno;
    CrashPoint("link"); // one file under two names
    if (unlinkat(source.Fd(), source.Leaf(), 0) != 0) {
        const int unlinkError = errno;
        unlinkat(target.Fd(), target.Leaf(), 0); // undo, so the file keeps one name
        return unlinkError;
    }
    return 0;
}

int CFolderHandle::MakeFolder(const std::string& name) const {
    if (m_fd < 0)
        return m_openError;
    const CParent parent(m_fd, name, m_held);
    if (parent.Error() != 0)
        return parent.Error();
    if (mkdirat(parent.Fd(), parent.Leaf(), 0777) != 0)
        return errno;
    m_held.ForgetMissing(); // a folder found missing may be this one, or below it
    return 0;
}

int CFolderHandle::RemoveEmptyFolder(const std::string& name) const {
    if (m_fd < 0)
        return m_openError;
    const CParent parent(m_fd, name, m_held);
    if (parent.Error() != 0)
        return parent.Error();
    if (unlinkat(parent.Fd(), parent.Leaf(), AT_REMOVEDIR) == 0) {
        m_held.Clear(); // it may be held, or below one that is
        return 0;
    }
    // Some file systems say EEXIST for a folder that is not empty.
    return errno == EEXIST ? ENOTEMPTY : errno;
}

int CFolderHandle::Status(const std::string& name, struct stat& status) const {
    if (m_fd < 0)
        return m_openError;
    if (name.empty())
        return fstat(m_fd, &status) == 0 ? 0 : errno;
    const CParent parent(m_fd, name, m_held);
    if (parent.Error() != 0)
        return parent.Error();
    return fstatat(parent.Fd(), parent.Leaf(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int CFolderHandle::SetTimes(const std::string& name, const timespec (&times)[2]) const {
    if (m_fd < 0)
        return m_openError;
    if (name.empty())
        return futimens(m_fd, times) == 0 ? 0 : errno;
    const CParent parent(m_fd, name, m_held);
    if (parent.Error() != 0)
        return parent.Error();
    return utimensat(parent.Fd(), parent.Leaf(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int CFolderHandle::FolderTime(const std::string& name, timespec& time) const {
    struct stat status {};
    if (const int error = Status(name, status); error != 0)
        return error;
    if (!S_ISDIR(status.st_mode))
        return ENOTDIR;
    time = status.st_mtim;
    return 0;
}

int CFolderHandle::SetFolderTime(const std::string& name, const timespec& time) const {
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    return SetTimes(name, times);
}

bool CFolderHandle::HoldsOnly(const std::string& name,
                              const std::function<bool(std::string_view)>& removable) const {
    if (m_fd < 0)
        return false;
    const CParent parent(m_fd, name, m_held);
    const int fd = parent.Error() != 0 ? -1
                                       : openat(parent.Fd(), parent.Leaf(),
                                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    bool only = true;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != ".." && !removable(entryName)) {
            only = false;
            break;
        }
    }
    closedir(dir);
    return only;
}

int CFolderHandle::RemakeFolder(const std::string& name, std::uint32_t mode,
                                const CFileTimes& times) const {
    if (m_fd < 0)
        return m_openError;
    const CParent parent(m_fd, name, m_held);
    if (parent.Error() != 0)
        return parent.Error();
    if (mkdirat(parent.Fd(), parent.Leaf(), 0700) != 0)
        return errno;
    m_held.ForgetMissing();
    const int fd =
        openat(parent.Fd(), parent.Leaf(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const timespec set[2] = {{static_cast<std::time_t>(times.nAccessSeconds),
                              static_cast<long>(times.nAccessNanoseconds)},
                             {static_cast<std::time_t>(times.nModifySeconds),
                              static_cast<long>(times.nModifyNanoseconds)}};
    int error = fchmod(fd, static_cast<mode_t>(mode & 07777u)) == 0 ? 0 : errno;
    if (error == 0 && futimens(fd, set) != 0)
        error = errno;
    close(fd);
    return error;
}

int CFolderHandle::ParentError(const std::string& name) const {
    return m_fd < 0 ? m_openError : CParent(m_fd, name, m_held).Error();
}

std::optional<CFileId> CFolderHandle::Identify(const std::string& name) const {
    const auto stamped = IdentifyStamped(name);
    return stamped ? std::optional<CFileId>(stamped->first) : std::nullopt;
}

std::optional<std::pair<CFileId, CFileStamp>>
CFolderHandle::IdentifyStamped(const std::string& name) const {
    constexpr unsigned kWanted = STATX_INO | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    struct statx st {};
    if (m_fd < 0)
        return std::nullopt;
    // A plain name needs no walk through folder parts.
    if (name.find('/') == std::string::npos) {
        if (statx(m_fd, name.c_str(), AT_SYMLINK_NOFOLLOW, kWanted, &st) != 0)
            return std::nullopt;
    } else {
        const CParent parent(m_fd, name, m_held);
        if (parent.Error() != 0 ||
            statx(parent.Fd(), parent.Leaf(), AT_SYMLINK_NOFOLLOW, kWanted, &st) != 0)
            return std::nullopt;
    }
    CFileStamp stamp;
    const bool born = (st.stx_mask & STATX_BTIME) != 0 && !IgnoreBirthTimes();
    const statx_timestamp& time = born ? st.stx_btime : st.stx_mtime;
    stamp.cKind = born ? 'b' : 'm';
    stamp.nSize = born ? 0 : static_cast<std::int64_t>(st.stx_size);
    stamp.nSeconds = time.tv_sec;
    stamp.nNanoseconds = time.tv_nsec;
    return std::make_pair(
        CFileId::FromStat(makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino), stamp);
}

bool CFolderHandle::SameFile(const std::string& a, const std::string& b) const {
    const std::optional<CFileId> first = Identify(a);
    return first && first == Identify(b);
}

bool CFolderHandle::FoldsCase(const std::string& existingName) const {
    std::string flipped = existingName;
    for (char& c : flipped) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                              : std::tolower(c));
    }
    return flipped != existingName && SameFile(existingName, flipped);
}

std::string RandomTemporaryName() {
    return TemporaryName(RandomTemporaryNumber());
}

std::uint64_t RandomTemporaryNumber() {
    static std::mt19937_64 random{std::random_device{}()};
    return random() & 0xFFFFFFFFFFFFull;
}

std::string TemporaryName(std::uint64_t number) {
    char name[32];
    std::snprintf(name, sizeof(name), "~vlm%012llx.jpg",
                  static_cast<unsigned long long>(number & 0xFFFFFFFFFFFFull));
    return name;
}

bool IsTemporaryName(const std::string& name) {
    constexpr std::size_t kDigits = 12;
    if (name.size() != 4 + kDigits + 4 || name.compare(0, 4, "~vlm") != 0 ||
        name.compare(4 + kDigits, 4, ".jpg") != 0)
        return false;
    for (std::size_t i = 4; i < 4 + kDigits; ++i) {
        if (!IsHexDigit(name[i]))
            return false;
    }
    return true;
}

} // namespace velmora
