#pragma once

#include <string>

// Renames inside one folder that never replace a file: a taken name fails
// with EEXIST, atomically, also when another process creates it meanwhile.
namespace velmora {

class CFolderHandle {
public:
    explicit CFolderHandle(const std::string& folder);
    ~CFolderHandle();
    CFolderHandle(const CFolderHandle&) = delete;
    CFolderHandle& operator=(const CFolderHandle&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int OpenError() const { return m_openError; }

    // Renames `from` to `to`, both relative to the folder. 0 on success, else
    // the errno value; EEXIST when `to` is taken.
    int RenameNoReplace(const std::string& from, const std::string& to) const;

    // True when both names exist and are the same file.
    bool SameFile(const std::string& a, const std::string& b) const;

    // A bare name ending in ".jpg" that no entry of the folder bears right now.
    // Empty when none could be found.
    std::string MakeTemporaryName() const;

private:
    int m_fd = -1;
    int m_openError = 0;
};

} // namespace velmora
