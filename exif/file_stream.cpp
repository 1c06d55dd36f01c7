#include "file_stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

CFileStream::~CFileStream() {
    if (m_fd >= 0)
        close(m_fd);
}

bool CFileStream::OpenRegularAt(int folder, const char* name) {
    const int fd = openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
    return fd >= 0 && Adopt(fd, nullptr, nullptr);
}

bool CFileStream::Adopt(int fd, const struct stat* expected, const struct stat* entry) {
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        (expected != nullptr &&
         (opened.st_dev != expected->st_dev || opened.st_ino != expected->st_ino))) {
        close(fd);
        return false;
    }
    m_fd = fd;
    m_mtime = opened.st_mtime;
    m_size = static_cast<std::uint64_t>(opened.st_size);
    m_entryDevice = (entry != nullptr ? entry : &opened)->st_dev;
    m_entryInode = (entry != nullptr ? entry : &opened)->st_ino;
    return true;
}

void CFileStream::TakeOver(CFileStream& other) {
    Close();
    m_fd = other.m_fd;
    m_mtime = other.m_mtime;
    m_size = other.m_size;
    m_entryDevice = other.m_entryDevice;
    m_entryInode = other.m_entryInode;
    m_filePos = other.m_filePos;
    m_nBytesRead = other.m_nBytesRead;
    other.m_fd = -1;
    other.Close();
}

void CFileStream::Close() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_mtime = 0;
    m_size = 0;
    m_entryDevice = m_entryInode = 0;
    m_bufferPos = m_bufferEnd = 0;
    m_filePos = m_nBytesRead = 0;
}

bool CFileStream::Open(const char* path, bool followLink) {
    return OpenAt(AT_FDCWD, path, followLink);
}

bool CFileStream::OpenAt(int folder, const char* name, bool followLink) {
    // The status comes first, so that only a regular file is ever opened.
    struct stat entry {};
    if (fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    struct stat target = entry;
    const bool link = S_ISLNK(entry.st_mode);
    if (link && (!followLink || fstatat(folder, name, &target, 0) != 0))
        return false;
    if (!S_ISREG(target.st_mode))
        return false;
    // Non-blocking and without following a link that was not one a moment
    // ago, in case the name was swapped for a FIFO in between; the status of
    // the open file then confirms it is the one checked.
    const int fd = openat(folder, name,
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    return fd >= 0 && Adopt(fd, &target, &entry);
}

void CFileStream::ReadAhead(std::size_t bytes, bool tail) const {
    if (m_fd < 0)
        return;
    posix_fadvise(m_fd, 0, static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
    if (tail && m_size > 2 * bytes)
        posix_fadvise(m_fd, static_cast<off_t>(m_size - bytes), static_cast<off_t>(bytes),
                      POSIX_FADV_WILLNEED);
}

bool CFileStream::InMemory() const {
    unsigned char byte = 0;
    iovec part{&byte, 1};
    return m_fd >= 0 && preadv2(m_fd, &part, 1, 0, RWF_NOWAIT) >= 0;
}

std::size_t CFileStream::ReadDirect(unsigned char* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = read(m_fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
        // Past the size the file had at open, asking again would most likely
        // only hear that it ends: a system call per file, a tenth of a scan.
        // Bytes written since come with the next read.
        if (m_size != 0 && m_filePos + done >= m_size)
            break;
    }
    m_filePos += done;
    m_nBytesRead += done;
    return done;
}

std::size_t CFileStream::Read(void* buffer, std::size_t count) {
    if (m_fd < 0 || count == 0) // an empty read may come with no buffer at all
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = std::min(count, m_bufferEnd - m_bufferPos);
    std::memcpy(out, m_buffer + m_bufferPos, done);
    m_bufferPos += done;
    if (done == count)
        return done;
    // Large reads go straight to the caller's buffer; small ones refill ours.
    if (count - done >= sizeof(m_buffer)) {
        m_bufferPos = m_bufferEnd = 0;
        return done + ReadDirect(out + done, count - done);
    }
    m_bufferEnd = ReadDirect(m_buffer, sizeof(m_buffer));
    m_bufferPos = std::min(count - done, m_bufferEnd);
    std::memcpy(out + done, m_buffer, m_bufferPos);
    return done + m_bufferPos;
}

bool CFileStream::Seek(std::uint64_t offset) {
    if (m_fd < 0)
        return false;
    const std::uint64_t bufferStart = m_filePos - m_bufferEnd;
    if (offset >= bufferStart && offset <= m_filePos) {
        m_bufferPos = static_cast<std::size_t>(offset - bufferStart);
        return true;
    }
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    m_filePos = offset;
    m_bufferPos = m_bufferEnd = 0;
    return true;
}

std::size_t CFileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (m_fd >= 0 && done < count && offset <= static_cast<std::uint64_t>(INT64_MAX) - count) {
        const ssize_t n = pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    m_nBytesRead += done;
    return done;
}

std::uint64_t CFileStream::Size() const {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::string CFileStream::FullPath(const char* path) {
    if (path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof(cwd)) == nullptr)
        return path;
    std::string full = cwd;
    if (full.back() != '/')
        full += '/';
    return full + path;
}
