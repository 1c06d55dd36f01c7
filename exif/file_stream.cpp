#include "file_stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileStream::~CFileStream() {
    if (m_fd >= 0)
        close(m_fd);
}

bool CFileStream::Open(const char* path) {
    // Non-blocking, so that opening a FIFO with no writer returns at once; the
    // status then tells whether this is a file we may read at all.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    m_fd = fd;
    m_mtime = st.st_mtime;
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
