#pragma once

#include <string>

// The runs going on, for the runs over a tree: one folder lock (flock) per
// run keeps two runs out of one folder, but a run over a tree works in every
// folder of it, and taking the lock of each of 10,000 folders is no option.
// Each run (window or terminal, rename or undo) holds, while it runs, an
// entry in a registry beside the journals that names its folder and the
// folders above it (device and inode each) and whether it covers the
// subfolders. A run is refused as busy while another covers its folder (a
// run over a tree above it), or while it covers another's folder (it runs
// over a tree below which another run works). An entry is held by a lock
// on it, so that the entry of a process that died counts for nothing.
namespace velmora {

class CRunRegistration {
public:
    enum Result { Registered, Busy, Failed };

    CRunRegistration() = default;
    ~CRunRegistration();
    CRunRegistration(const CRunRegistration&) = delete;
    CRunRegistration& operator=(const CRunRegistration&) = delete;

    // Registers the run in the folder open as `folder` (whose run lock the
    // caller holds), with the registry in `registry`; `tree`: the run works
    // in subfolders too. Failed (errno in `error`) when the registry can't be
    // used; the run then goes on under its folder lock alone.
    Result Register(const std::string& registry, int folder, bool tree, int& error);

private:
    std::string m_strPath; // the run's entry, removed at the end
    int m_fd = -1;         // its lock
};

} // namespace velmora
