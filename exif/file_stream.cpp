#include "file_stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileStream::~CFileStream() {
    if (m_fd >= 0)
        close(m_fd);
}

bool CFileStream::Open(const char* path) {
    // The status comes first, so that only a regular file is ever opened.
    struct stat entry {};
    if (lstat(path, &entry) != 0)
        return false;
    struct stat target = entry;
    const bool link = S_ISLNK(entry.st_mode);
    if (link && stat(path, &target) != 0)
        return false;
    if (!S_ISREG(target.st_mode))
        return false;
    // Non-blocking and without following a link that was not one a moment
    // ago, in case the name was swapped for a FIFO in between; the status of
    // the open file then confirms it is the one checked.
    const int fd =
        open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != target.st_dev ||
        opened.st_ino != target.st_ino) {
        close(fd);
        return false;
    }
    m_fd = fd;
    m_mtime = opened.st_mtime;
    m_entryDevice = entry.st_dev;
    m_entryInode = entry.st_ino;
    return true;
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
    }
    return done;
}

std::size_t CFileStream::Read(void* buffer, std::size_t count) {
    if (m_fd < 0)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = std::min(count, m_bufferEnd - m_bufferPos);
    std::memcpy(out, m_buffer + m_bufferPos, done);
    m_bufferPos += done;
    if (done == count)
        return done;
    // Large reads go straight to the caller's buffer; small ones refill ours.
    if (count - done >= sizeof(m_buffer))
        return done + ReadDirect(out + done, count - done);
    m_bufferEnd = ReadDirect(m_buffer, sizeof(m_buffer));
    m_bufferPos = std::min(count - done, m_bufferEnd);
    std::memcpy(out + done, m_buffer, m_bufferPos);
    return done + m_bufferPos;
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
