#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// CFileStream reads one regular file front to back through a small buffer, so
// that the many one- and two-byte reads of a marker walk cost no system call
// each. Anything that is not a regular file (FIFO, socket, device, directory,
// or a link to one) is refused before it is opened: opening a FIFO alone
// would release a writer waiting on it. The check comes from a status call or
// the caller's listing; a FIFO put in the file's place after it is opened
// without blocking and closed unread.
class CFileStream {
public:
    CFileStream() = default;
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // Opens `path` for reading; false when it can't be opened or is not a
    // regular file (without `followLink`: is not one itself, a link to one
    // refused), or when the name came to hold another file between the
    // status check and the open.
    bool Open(const char* path, bool followLink = true);
    // The same for `name` in the open folder `folder`: a scan spares the
    // system the walk along the folder's path for every file.
    bool OpenAt(int folder, const char* name, bool followLink = true);
    // OpenAt for an entry that its folder's listing just gave as a regular
    // file: opened without following links and without blocking, and the
    // open file's status must show a regular file, or it is closed unread.
    bool OpenRegularAt(int folder, const char* name);

    // Closes the file, if one is open, so that the stream can open another.
    void Close();

    // Closes this stream's file and takes over `other`'s open file (not its
    // buffer), which is left closed: files opened ahead by many streams are
    // read through one buffer, which stays in the processor's cache.
    void TakeOver(CFileStream& other);

    // Asks the system to fetch the file's first `bytes` now, without waiting
    // for them, and with `tail` its last `bytes` too (where movies keep their
    // headers and TIFF files often their directories): a reader that comes
    // to the file later finds them in memory.
    void ReadAhead(std::size_t bytes, bool tail = false) const;

    // True when the file's first byte is in memory already (or the file is
    // empty): asked without waiting for the device and without moving on.
    bool InMemory() const;

    // Reads up to `count` bytes; fewer only at the end of the file (a read
    // error of the system counts as the end), or at the size the file had
    // when it was opened: what it gained since comes with the next read.
    std::size_t Read(void* buffer, std::size_t count);

    // Moves the read position to `offset`; a position past the end reads
    // nothing. Inside the bytes already buffered it costs no system call, so
    // that walking small boxes one after another stays cheap.
    bool Seek(std::uint64_t offset);

    // Reads up to `count` bytes at `offset` without moving the read position.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

    // The file's size now (0 when unknown).
    std::uint64_t Size() const;

    // Bytes taken from the file so far, buffer refills included.
    std::uint64_t BytesRead() const { return m_nBytesRead; }

    // Set by a reader that finds the file's layout broken (a box running
    // past its end, a header cut off); cleared for each read.
    void MarkDamaged() { m_bDamaged = true; }
    void ClearDamaged() { m_bDamaged = false; }
    bool Damaged() const { return m_bDamaged; }

    // The file's last-modification time, from the status taken at open.
    std::time_t ModificationTime() const { return m_mtime; }

    // The device and inode of the entry `path` names (the link itself when it
    // is a symbolic link): what a later rename of that name acts on.
    unsigned long long EntryDevice() const { return m_entryDevice; }
    unsigned long long EntryInode() const { return m_entryInode; }

    // `path` made absolute against the working folder (links are not resolved).
    static std::string FullPath(const char* path);

private:
    // Keeps the open `fd` when its status shows a regular file, and the one
    // `expected` describes when given; closes it otherwise. The entry's
    // identity is `entry`'s when given, else the open file's.
    bool Adopt(int fd, const struct stat* expected, const struct stat* entry);
    std::size_t ReadDirect(unsigned char* buffer, std::size_t count);

    int m_fd = -1;
    std::time_t m_mtime = 0;
    std::uint64_t m_size = 0; // at open
    unsigned long long m_entryDevice = 0;
    unsigned long long m_entryInode = 0;
    unsigned char m_buffer[16384];
    std::size_t m_bufferPos = 0;
    std::size_t m_bufferEnd = 0;
    std::uint64_t m_filePos = 0; // the system's position: just past the buffered bytes
    std::uint64_t m_nBytesRead = 0;
    bool m_bDamaged = false;
};
