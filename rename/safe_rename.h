#pragma once

#include "list_rows.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>

// Renames inside one folder that never replace a file and never leave it: a
// taken name fails with EEXIST, atomically, also when another process creates
// it meanwhile, and a name with a folder part reaches an existing subfolder
// without following a symbolic link.
namespace velmora {

class CFolderHandle {
public:
    explicit CFolderHandle(const std::string& folder);
    ~CFolderHandle();
    CFolderHandle(const CFolderHandle&) = delete;
    CFolderHandle& operator=(const CFolderHandle&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int OpenError() const { return m_openError; }
    int Fd() const { return m_fd; }

    // Takes the folder's run lock, held until the handle goes: 0, EWOULDBLOCK
    // when another run holds it, or another errno value. File systems that
    // keep no locks count as locked: the identity checks still hold there.
    int Lock();

    // Renames `from` to `to`, both relative to the folder. 0 on success, else
    // the errno value; EEXIST when `to` is taken, ELOOP when a folder part is
    // a symbolic link.
    int RenameNoReplace(const std::string& from, const std::string& to) const;

    // Creates the folder `name` (relative, its folder part reached without
    // following a link): 0, or the errno value (EEXIST when it exists).
    int MakeFolder(const std::string& name) const;
    // Removes the folder `name` when it is empty: 0, or the errno value
    // (ENOTEMPTY when it holds anything).
    int RemoveEmptyFolder(const std::string& name) const;

    // The modification time of the folder `name` ("" for this folder): 0 or
    // the errno value. Setting it leaves the access time alone.
    int FolderTime(const std::string& name, timespec& time) const;
    int SetFolderTime(const std::string& name, const timespec& time) const;

    // The status of the entry `name` ("" for this folder; a link itself, not
    // its target): 0 or the errno value.
    int Status(const std::string& name, struct stat& status) const;
    // Sets the times of the entry `name` (a link is never followed); a time
    // of UTIME_OMIT is left as it is. 0 or the errno value.
    int SetTimes(const std::string& name, const timespec (&times)[2]) const;

    // True when the folder `name` (never reached through a link) holds no
    // entry but those `removable` accepts; false when it can't be read.
    bool HoldsOnly(const std::string& name,
                   const std::function<bool(std::string_view)>& removable) const;
    // Makes the folder `name` again with the permission bits `mode` and
    // `times`, never through a link: made private first, so that it never
    // shows more than it should. 0 or the errno value (EEXIST: left as it is).
    int RemakeFolder(const std::string& name, std::uint32_t mode, const CFileTimes& times) const;

    // 0 when the folder part of a relative name leads to a subfolder, else
    // the errno value (ELOOP for a symbolic link on the way).
    int ParentError(const std::string& name) const;

    // The entry a relative name stands for (a link itself, not its target);
    // nothing when there is none.
    std::optional<CFileId> Identify(const std::string& name) const;

    // The entry's identity with its stamp (what tells it from a new file that
    // got its inode later). Nothing when there is no entry.
    std::optional<std::pair<CFileId, CFileStamp>> IdentifyStamped(const std::string& name) const;

    // True when both names exist and are the same file.
    bool SameFile(const std::string& a, const std::string& b) const;

    // True when the folder's file system finds names ignoring case; decided
    // from one entry the caller knows to exist.
    bool FoldsCase(const std::string& existingName) const;

    // The folders that names' folder parts led to last, held open, and the
    // ones found missing: a run over a tree reaches the same few folders
    // file after file, and opening each part again (and closing it) for
    // every name took more than half of such a run. A folder made through
    // the handle forgets the missing ones, a folder removed lets go of all.
    // A folder moved away by another program while it is held is still
    // reached where it went, as a name resolved just before the move would be.
    class CHeldFolders {
    public:
        CHeldFolders() = default;
        ~CHeldFolders();
        CHeldFolders(const CHeldFolders&) = delete;
        CHeldFolders& operator=(const CHeldFolders&) = delete;
        // The folder held for `path` (relative, no trailing '/'): -1 when
        // it was found missing, nothing when it is not held.
        std::optional<int> Find(std::string_view path);
        // Holds `fd` (-1: missing) for `path`, letting go of the one used
        // longest ago.
        void Add(std::string_view path, int fd);
        // Lets go of the folders found missing (the held ones stay open, so
        // that a name resolved through one stays valid).
        void ForgetMissing();
        void Clear();

    private:
        struct CHeld {
            std::string strPath;
            int fd = -1;
            std::uint64_t nUsed = 0;
        };
        std::array<CHeld, 8> m_held;
        std::uint64_t m_nClock = 0;
    };

private:
    int m_fd = -1;
    int m_openError = 0;
    mutable CHeldFolders m_held;
};

// A bare name in the temporary form, "~vlm" and twelve hexadecimal digits,
// ending in ".jpg"; random, so that two folders never share one.
std::string RandomTemporaryName();

// The same as its number (the digits' 48 bits), so that a plan keeps eight
// bytes per temporary name instead of the name.
std::uint64_t RandomTemporaryNumber();
std::string TemporaryName(std::uint64_t number);

// True for names of the temporary form.
bool IsTemporaryName(const std::string& name);

} // namespace velmora
