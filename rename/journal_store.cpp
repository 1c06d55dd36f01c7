#include "journal_store.h"

#include "crash_point.h"
#include "journal_format.h"
#include "journal_reader.h"
#include "journal_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

using journal_format::kSuffix;

constexpr const char* kPartSuffix = ".journal.part"; // a journal being written
constexpr std::size_t kSuffixLength = 8;
constexpr std::size_t kStampLength = 28;
// Kept per photo folder, and in all; journals of runs that never ended are
// kept whatever their number, for they are what an undo needs.
constexpr std::size_t kKeptPerFolder = 5;
constexpr std::size_t kKeptInAll = 200;

// "DEVICE-INODE-": the start of the names of one photo folder's journals.
std::string FolderPrefix(std::uint64_t device, std::uint64_t inode) {
    return std::to_string(device) + '-' + std::to_string(inode) + '-';
}

// Journal file names of the store, in the order they were written.
std::vector<std::string> JournalNames(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() > kSuffixLength + kStampLength && name.starts_with(prefix) &&
            name.ends_with(kSuffix))
            names.push_back(name);
    }
    // The name ends in the time in nanoseconds, zero-padded, and the suffix.
    const auto stamp = [](const std::string& name) {
        return name.substr(name.size() - kSuffixLength - kStampLength, kStampLength);
    };
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return stamp(a) < stamp(b); });
    return names;
}

int SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return error;
}

// The lines of journal.files.
class CStoredLines : public CJournalLines {
public:
    explicit CStoredLines(const CJournalFiles& files) : m_files(files) {}
    std::size_t Count() const override { return m_files.size(); }
    CJournalLine Line(std::size_t i) override {
        return {m_files.Device(i), m_files.Inode(i), m_files.Before(i), m_files.Temporary(i),
                m_files.After(i)};
    }

private:
    const CJournalFiles& m_files;
};

} // namespace

std::string JournalFileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

int MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

std::string DefaultJournalFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        return std::string(state) + "/velmora";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.local/state/velmora";
    return {};
}

std::vector<CJournal> CJournalStore::Runs(const CFolderKey& folder) const {
    std::vector<CJournal> runs;
    for (const std::string& name :
         JournalNames(m_folder, FolderPrefix(folder.nDevice, folder.nInode))) {
        CJournal journal = ReadJournalSummary(m_folder + '/' + name);
        const bool sameBirth = journal.folder.nBirth == 0 || folder.nBirth == 0 ||
                               journal.folder.nBirth == folder.nBirth;
        if (sameBirth && journal.state != CJournal::Unready)
            runs.push_back(std::move(journal));
    }
    return runs;
}

int CJournalStore::Write(CJournal& journal) const {
    CStoredLines files(journal.files);
    return Write(journal, files);
}

int CJournalStore::Write(CJournal& journal, CJournalLines& files) const {
    if (m_folder.empty())
        return ENOENT;
    if (const int error = MakeFolders(m_folder); error != 0)
        return error;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long long time = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    // The journals of a folder are ordered by their stamps: a clock set back
    // must not put a new run before an older one.
    const std::string prefix = FolderPrefix(journal.folder.nDevice, journal.folder.nInode);
    const std::vector<std::string> earlier = JournalNames(m_folder, prefix);
    if (!earlier.empty()) {
        const std::string& last = earlier.back();
        time = std::max(
            time,
            std::atoll(
                last.substr(last.size() - kSuffixLength - kStampLength, kStampLength).c_str()) +
                1);
    }
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%028lld", time);
    const std::string name = prefix + stamp;
    journal.strPath = m_folder + '/' + name + kSuffix;
    // Written whole under a name of its own, then put in place: a journal in
    // place always has its "ready" line.
    const std::string part = m_folder + '/' + name + kPartSuffix;
    const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    int error = WriteJournalText(fd, journal, files);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    close(fd);
    if (error == 0 && renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, journal.strPath.c_str(),
                                RENAME_NOREPLACE) != 0) {
        // A store on a file system without the flag: the name is new anyway.
        error = errno == EINVAL && rename(part.c_str(), journal.strPath.c_str()) == 0 ? 0 : errno;
    }
    if (error == 0)
        error = SyncFolder(m_folder);
    if (error != 0) {
        unlink(part.c_str());
        unlink(journal.strPath.c_str());
        return error;
    }
    journal.state = CJournal::Interrupted;
    Prune(journal.folder.nDevice, journal.folder.nInode);
    return 0;
}

int CJournalStore::AppendEnd(const std::string& path,
                             const std::vector<std::pair<std::size_t, CFileStamp>>& stamps,
                             const std::string& last) {
    CrashPoint("append");
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = WriteEndLines(fd, stamps, last);
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    close(fd);
    return error;
}

int CJournalStore::Append(const std::string& path, const std::string& line) {
    CrashPoint("append");
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = WriteAll(fd, line + '\n');
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    close(fd);
    return error;
}

void CJournalStore::Prune(std::uint64_t device, std::uint64_t inode) const {
    // Parts of journals whose writer was cut off: the caller holds the photo
    // folder's lock, so no run of it is writing one now.
    const std::string prefix = FolderPrefix(device, inode);
    if (const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(m_folder.c_str()), closedir); dir) {
        while (const dirent* entry = readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name.starts_with(prefix) && name.ends_with(kPartSuffix))
                unlinkat(dirfd(dir.get()), entry->d_name, 0);
        }
    }
    const auto removeOldest = [this](const std::vector<std::string>& names, std::size_t keep) {
        if (names.size() <= keep)
            return;
        // Runs that never ended are what an undo needs, and so is the run an
        // unfinished undo undoes, or one that ended leaving its run waiting.
        // Entries that are not journals are not ours to remove.
        std::vector<std::string> needed;
        for (const std::string& name : JournalNames(m_folder, "")) {
            const CJournal journal = ReadJournalSummary(m_folder + '/' + name);
            if (journal.state == CJournal::Interrupted || journal.state == CJournal::Skipped)
                needed.push_back(name);
            if (journal.kind == CJournal::Undo)
                needed.push_back(journal.strUndoes);
        }
        for (std::size_t i = 0; i + keep < names.size(); ++i) {
            if (std::find(needed.begin(), needed.end(), names[i]) == needed.end())
                unlink((m_folder + '/' + names[i]).c_str());
        }
    };
    removeOldest(JournalNames(m_folder, prefix), kKeptPerFolder);
    removeOldest(JournalNames(m_folder, ""), kKeptInAll);
}

} // namespace velmora
