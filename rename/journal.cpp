#include "journal.h"

#include "crash_point.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr const char* kMagic = "velmora journal 1";
constexpr const char* kSuffix = ".journal";
constexpr std::size_t kSuffixLength = 8;
constexpr std::size_t kStampLength = 28;
// Kept per photo folder, and in all; journals of runs that never ended are
// kept whatever their number, for they are what an undo needs.
constexpr std::size_t kKeptPerFolder = 5;
constexpr std::size_t kKeptInAll = 200;

std::string Escape(const std::string& name) {
    if (name.empty())
        return ".";
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == '%' || b == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%%%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    if (text == ".")
        return {};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

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

int MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

int WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

std::string JournalFileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string DefaultJournalFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        return std::string(state) + "/velmora";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.local/state/velmora";
    return {};
}

std::string JournalText(const CJournal& journal) {
    std::string text = kMagic;
    text += "\nkind ";
    text += journal.kind == CJournal::Undo ? "undo" : "rename";
    text += "\nfolder " + Escape(journal.strFolder);
    text += "\nfolder-id " + std::to_string(journal.folder.nDevice) + ' ' +
            std::to_string(journal.folder.nInode) + ' ' + std::to_string(journal.folder.nBirth);
    text += "\ntime " + std::to_string(journal.nTime) + '\n';
    if (journal.kind == CJournal::Undo)
        text += "undoes " + Escape(journal.strUndoes) + '\n';
    text += "files " + std::to_string(journal.files.size()) + '\n';
    for (const CJournalFile& file : journal.files) {
        text += "f " + std::to_string(file.nDevice) + ' ' + std::to_string(file.nInode) + ' ' +
                Escape(file.strBefore) + ' ' + Escape(file.strTemporary) + ' ' +
                Escape(file.strAfter) + '\n';
    }
    return text + "ready\n";
}

// Applies one line to `journal`; false when the line is broken.
static bool ReadLine(const std::string& line, CJournal& journal) {
    {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "kind") {
            std::string kind;
            fields >> kind;
            journal.kind = kind == "undo" ? CJournal::Undo : CJournal::Rename;
        } else if (key == "folder") {
            std::string folder;
            fields >> folder;
            journal.strFolder = Unescape(folder);
        } else if (key == "folder-id") {
            fields >> journal.folder.nDevice >> journal.folder.nInode >> journal.folder.nBirth;
        } else if (key == "time") {
            fields >> journal.nTime;
        } else if (key == "undoes") {
            std::string undoes;
            fields >> undoes;
            journal.strUndoes = Unescape(undoes);
        } else if (key == "files") {
            fields >> journal.nFiles;
        } else if (key == "f") {
            CJournalFile file;
            std::string before, temporary, after;
            if (!(fields >> file.nDevice >> file.nInode >> before >> temporary >> after))
                return false;
            file.strBefore = Unescape(before);
            file.strTemporary = Unescape(temporary);
            file.strAfter = Unescape(after);
            journal.files.push_back(std::move(file));
        } else if (key == "ready") {
            journal.state = CJournal::Interrupted;
        } else if (key == "done" && journal.state != CJournal::Unready) {
            fields >> journal.nRenamed;
            journal.state = CJournal::Complete;
        } else if (key == "undone" && journal.state != CJournal::Unready) {
            journal.state = CJournal::Undone;
        }
    }
    return true;
}

// The journal's start lines (up to "files") and its last lines, where its
// state is: enough to know the run without reading its files.
// Opens a journal past its first line; false when the file is not one.
static bool OpenJournal(const std::string& path, std::ifstream& in, CJournal& journal) {
    in.open(path, std::ios::binary);
    std::string line;
    journal.strPath = path;
    return std::getline(in, line) && line == kMagic;
}

static std::optional<CJournal> ReadJournalSummary(const std::string& path) {
    std::ifstream in;
    CJournal journal;
    if (!OpenJournal(path, in, journal))
        return std::nullopt;
    std::string line;
    while (std::getline(in, line) && !line.starts_with("f ")) {
        ReadLine(line, journal);
        if (line.starts_with("files "))
            break;
    }
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    constexpr std::streamoff kTail = 64; // "ready", "done N", "undone"
    in.seekg(size > kTail ? size - kTail : 0);
    std::getline(in, line); // most likely cut: dropped
    while (std::getline(in, line)) {
        if (line == "ready" || line.starts_with("done ") || line == "undone")
            ReadLine(line, journal);
    }
    return journal;
}

std::optional<CJournal> ReadJournal(const std::string& path) {
    std::ifstream in;
    CJournal journal;
    if (!OpenJournal(path, in, journal))
        return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        if (!ReadLine(line, journal))
            return std::nullopt;
    }
    return journal;
}

std::optional<CFolderKey> CFolderKey::OfFd(int fd) {
    struct statx status {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &status) != 0)
        return std::nullopt;
    CFolderKey key;
    key.nDevice = makedev(status.stx_dev_major, status.stx_dev_minor);
    key.nInode = status.stx_ino;
    if (status.stx_mask & STATX_BTIME)
        key.nBirth = static_cast<std::uint64_t>(status.stx_btime.tv_sec) * 1000000000ULL +
                     status.stx_btime.tv_nsec;
    return key;
}

std::optional<CFolderKey> CFolderKey::OfPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<CFolderKey> key = OfFd(fd);
    close(fd);
    return key;
}

std::vector<CJournal> CJournalStore::Runs(const CFolderKey& folder) const {
    std::vector<CJournal> runs;
    for (const std::string& name :
         JournalNames(m_folder, FolderPrefix(folder.nDevice, folder.nInode))) {
        std::optional<CJournal> journal = ReadJournalSummary(m_folder + '/' + name);
        const bool sameBirth = journal && (journal->folder.nBirth == 0 || folder.nBirth == 0 ||
                                           journal->folder.nBirth == folder.nBirth);
        if (sameBirth && journal->state != CJournal::Unready)
            runs.push_back(std::move(*journal));
    }
    return runs;
}

int CJournalStore::Write(CJournal& journal) const {
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
    journal.strPath = m_folder + '/' + prefix + stamp + kSuffix;
    const int fd = open(journal.strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    const std::string text = JournalText(journal);
    int error = WriteAll(fd, text.substr(0, text.size() / 2));
    CrashPoint("journal"); // tests cut the write off here
    if (error == 0)
        error = WriteAll(fd, text.substr(text.size() / 2));
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    close(fd);
    if (error == 0)
        error = SyncFolder(m_folder);
    if (error != 0) {
        unlink(journal.strPath.c_str());
        return error;
    }
    journal.state = CJournal::Interrupted;
    Prune(journal.folder.nDevice, journal.folder.nInode);
    return 0;
}

int CJournalStore::Append(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = WriteAll(fd, line + '\n');
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    close(fd);
    return error;
}

void CJournalStore::Prune(std::uint64_t device, std::uint64_t inode) const {
    const auto removeOldest = [this](const std::vector<std::string>& names, std::size_t keep) {
        if (names.size() <= keep)
            return;
        // Runs that never ended are what an undo needs, and so is the run an
        // unfinished undo undoes, or one that ended leaving its run waiting.
        std::vector<std::string> needed;
        for (const std::string& name : JournalNames(m_folder, "")) {
            const std::optional<CJournal> journal = ReadJournalSummary(m_folder + '/' + name);
            if (journal && journal->state == CJournal::Interrupted)
                needed.push_back(name);
            if (journal && journal->kind == CJournal::Undo)
                needed.push_back(journal->strUndoes);
        }
        for (std::size_t i = 0; i + keep < names.size(); ++i) {
            if (std::find(needed.begin(), needed.end(), names[i]) == needed.end())
                unlink((m_folder + '/' + names[i]).c_str());
        }
    };
    removeOldest(JournalNames(m_folder, FolderPrefix(device, inode)), kKeptPerFolder);
    removeOldest(JournalNames(m_folder, ""), kKeptInAll);
}

} // namespace velmora
