#include "journal.h"

#include "crash_point.h"
#include "new_name_check.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr const char* kMagic = "velmora journal 2";
constexpr const char* kMagicVersion1 = "velmora journal 1";
constexpr const char* kSuffix = ".journal";
constexpr const char* kPartSuffix = ".journal.part"; // a journal being written
constexpr std::size_t kSuffixLength = 8;
constexpr std::size_t kStampLength = 28;
// Kept per photo folder, and in all; journals of runs that never ended are
// kept whatever their number, for they are what an undo needs.
constexpr std::size_t kKeptPerFolder = 5;
constexpr std::size_t kKeptInAll = 200;
// A summary reads this much of a journal's start (its path line may be long)
// and of its end ("ready", "done R T", "undone").
constexpr std::size_t kHeadBytes = 16384;
constexpr std::size_t kTailBytes = 64;

// Appends `name` escaped.
void AppendEscaped(std::string& out, std::string_view name) {
    if (name.empty()) {
        out += '.';
        return;
    }
    constexpr const char* kHex = "0123456789ABCDEF";
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == '%' || b == 0x7F) {
            const char escaped[3] = {'%', kHex[b >> 4], kHex[b & 15]};
            out.append(escaped, 3);
        } else {
            out += c;
        }
    }
}

std::string Escape(const std::string& name) {
    std::string out;
    AppendEscaped(out, name);
    return out;
}

void AppendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
}

// A whole field of digits in `base` that fits, and nothing else (no sign,
// no blank).
template <typename Number> bool ParseNumber(std::string_view text, Number& value, int base = 10) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

// The name an escaped field stands for; nothing when the field is not one
// that Escape writes (a bare blank or control byte, a broken "%XX", a NUL).
std::optional<std::string> Unescape(std::string_view text) {
    if (text == ".")
        return std::string();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b <= 0x20 || b == 0x7F)
            return std::nullopt;
        if (b != '%') {
            out += text[i];
            continue;
        }
        unsigned char byte = 0;
        if (i + 2 >= text.size() || !ParseNumber(text.substr(i + 1, 2), byte, 16) || byte == 0)
            return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator = ' ') {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t blank = line.find(separator, start);
        fields.push_back(line.substr(start, blank - start));
        if (blank == std::string_view::npos)
            return fields;
        start = blank + 1;
    }
}

std::string StampText(const CFileStamp& stamp) {
    if (!stamp.Known())
        return "-";
    std::string text(1, stamp.cKind);
    if (stamp.cKind == 'm')
        text += std::to_string(stamp.nSize) + '.';
    return text + std::to_string(stamp.nSeconds) + '.' + std::to_string(stamp.nNanoseconds);
}

// A stamp field as StampText writes it; false when it is not one.
bool ParseStamp(std::string_view text, CFileStamp& stamp) {
    stamp = {};
    if (text == "-")
        return true;
    if (text.empty() || (text[0] != 'b' && text[0] != 'm'))
        return false;
    const bool sized = text[0] == 'm';
    const std::vector<std::string_view> numbers = SplitFields(text.substr(1), '.');
    if (numbers.size() != (sized ? 3u : 2u))
        return false;
    stamp.cKind = text[0];
    // Seconds may be negative (before 1970); a size may not.
    return (!sized || (ParseNumber(numbers[0], stamp.nSize) && stamp.nSize >= 0)) &&
           ParseNumber(numbers[sized ? 1 : 0], stamp.nSeconds) &&
           ParseNumber(numbers.back(), stamp.nNanoseconds) && stamp.nNanoseconds <= 999999999;
}

// A name a journal gives a file: it must stay inside the photo folder, as a
// new name must; a temporary name must have the temporary form.
std::optional<std::string> JournalName(std::string_view field, bool temporary) {
    std::optional<std::string> name = Unescape(field);
    if (!name)
        return std::nullopt;
    if (temporary)
        return name->empty() || IsTemporaryName(*name) ? name : std::nullopt;
    return CheckNewName(*name) == NameFault::LeavesFolder ? std::nullopt : name;
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

namespace {

// The lines up to and with "files COUNT".
std::string JournalHead(const CJournal& journal, std::size_t files) {
    std::string text = kMagic;
    text += "\nkind ";
    text += journal.kind == CJournal::Undo ? "undo" : "rename";
    text += "\nfolder " + Escape(journal.strFolder);
    text += "\nfolder-id " + std::to_string(journal.folder.nDevice) + ' ' +
            std::to_string(journal.folder.nInode) + ' ' + std::to_string(journal.folder.nBirth);
    text += "\ntime " + std::to_string(journal.nTime) + '\n';
    if (journal.kind == CJournal::Undo)
        text += "undoes " + Escape(journal.strUndoes) + '\n';
    for (const CJournalClock& clock : journal.clocks)
        text += "clock " + std::to_string(clock.nOffset) + ' ' + Escape(clock.strDevice) + '\n';
    return text + "files " + std::to_string(files) + '\n';
}

// Gives `out` the journal's text up to and with "ready", a line at a time.
template <typename Out> void PutJournal(const CJournal& journal, CJournalLines& files, Out& out) {
    const std::size_t count = files.Count();
    out(JournalHead(journal, count));
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const CJournalLine line = files.Line(i);
        text.assign("f ");
        AppendNumber(text, line.nDevice);
        text += ' ';
        AppendNumber(text, line.nInode);
        text += ' ';
        AppendEscaped(text, line.strBefore);
        text += ' ';
        AppendEscaped(text, line.strTemporary);
        text += ' ';
        AppendEscaped(text, line.strAfter);
        text += '\n';
        out(text);
    }
    out(std::string_view("ready\n"));
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

// Writes text to a file through a buffer of its own. `half` bytes in, it
// passes the point at which tests cut the write of a journal off.
class CJournalOut {
public:
    explicit CJournalOut(int fd, std::size_t half = SIZE_MAX) : m_fd(fd), m_half(half) {}

    void operator()(std::string_view text) {
        if (!m_halfPassed && m_at + text.size() >= m_half) {
            const std::size_t split = m_half - m_at;
            Put(text.substr(0, split));
            Flush();
            CrashPoint("journal");
            m_halfPassed = true;
            text.remove_prefix(split);
        }
        Put(text);
    }

    // 0, or the errno value of the first write that failed.
    int Finish() {
        Flush();
        return m_error;
    }

private:
    static constexpr std::size_t kBuffer = 64 * 1024;

    void Put(std::string_view text) {
        m_at += text.size();
        m_buffer.append(text);
        if (m_buffer.size() >= kBuffer)
            Flush();
    }

    void Flush() {
        if (m_error == 0)
            m_error = WriteAll(m_fd, m_buffer);
        m_buffer.clear();
    }

    int m_fd;
    std::size_t m_half;
    std::size_t m_at = 0;
    bool m_halfPassed = false;
    int m_error = 0;
    std::string m_buffer;
};

} // namespace

std::string JournalText(const CJournal& journal) {
    std::string text;
    CStoredLines files(journal.files);
    const auto append = [&text](std::string_view part) { text.append(part); };
    PutJournal(journal, files, append);
    return text;
}

std::vector<CJournalClock> ClocksInForce(const CDeviceTable& devices) {
    std::vector<CJournalClock> clocks;
    for (const CDevice& device : devices) {
        if (device.nOffset != 0 && device.id.Known())
            clocks.push_back({device.id.Text(), device.nOffset});
    }
    return clocks;
}

std::string DoneLine(int renamed, std::size_t touched) {
    return "done " + std::to_string(renamed) + ' ' + std::to_string(touched);
}

std::string StampLine(std::size_t index, const CFileStamp& stamp) {
    return "stamp " + std::to_string(index) + ' ' + StampText(stamp);
}

namespace {

// Reads a journal's lines in order and checks each: its kind, its place
// among the others, and every field. The first damage is kept; a damaged
// line is otherwise ignored, so that the sound lines still count.
class CJournalParser {
public:
    explicit CJournalParser(CJournal& journal) : m_journal(journal) {}

    // One line; `number` counts from 1 (0: a line near the end of a summary).
    void Line(std::string_view line, std::size_t number) {
        m_number = number;
        m_lastUndone = line == "undone";
        if (!m_started) {
            m_started = true;
            m_version = line == kMagicVersion1 ? 1 : 2;
            if (line != kMagic && line != kMagicVersion1)
                Damage("it is not a journal of this program");
            return;
        }
        const std::vector<std::string_view> fields = SplitFields(line);
        const std::string_view key = fields[0];
        const int stage = StageOf(key);
        if (stage < 0)
            return Damage("unknown line");
        if (stage < m_stage ||
            (stage == m_stage && stage != kClocks && stage != kFileLines && stage != kStamps))
            return Damage("out of place");
        for (int skipped = m_stage + 1; skipped < stage; ++skipped) {
            if (Required(skipped))
                Damage("a line is missing before it");
        }
        m_stage = stage;
        if (!Apply(key, fields))
            Damage("a field is damaged");
    }

    // After the last line: what the end shows. `cut`: the last line has no
    // line break.
    void End(bool cut, bool summary) {
        if (cut)
            Damage("the last line is cut off");
        if (m_version < 2 && m_stage < kReady) {
            // Version 1 wrote in place: a journal cut off while being written
            // began no rename.
            m_journal.strDamage.clear();
            return;
        }
        if (!summary && m_stage >= kReady && m_fileAt.size() != m_journal.nFiles)
            Damage("it lists " + std::to_string(m_fileAt.size()) + " files, not " +
                   std::to_string(m_journal.nFiles));
        if (m_stage < kReady && m_version >= 2) {
            // Written whole before being put in place: the end was lost, so
            // renames may have begun.
            Damage("its last lines are missing");
            m_journal.state = CJournal::Interrupted;
        }
        if (m_journal.state == CJournal::Complete && m_journal.nTouched == 0)
            m_journal.state = CJournal::Unchanged;
        // An undo closes even a damaged journal with "undone", so that it
        // never holds up the folder twice.
        if (m_lastUndone)
            m_journal.state = CJournal::Undone;
    }

    // The end lines of a summary: the file lines are not checked there.
    void TailLine(std::string_view line) {
        if (line.starts_with("f ") || line.starts_with("stamp "))
            m_lastUndone = false;
        else
            Line(line, 0);
    }

private:
    enum Stage {
        kStart,
        kKind,
        kFolder,
        kFolderId,
        kTime,
        kUndoes,
        kClocks,
        kFiles,
        kFileLines,
        kReady,
        kStamps,
        kDone,
        kUndone,
    };

    static int StageOf(std::string_view key) {
        static constexpr std::string_view kKeys[] = {
            "",      "kind", "folder", "folder-id", "time", "undoes", "clock",
            "files", "f",    "ready",  "stamp",     "done", "undone"};
        for (int stage = kKind; stage <= kUndone; ++stage) {
            if (kKeys[stage] == key)
                return stage;
        }
        return -1;
    }

    bool Required(int stage) const {
        return stage == kUndoes ? m_journal.kind == CJournal::Undo
                                : stage != kClocks && stage != kFileLines && stage != kStamps &&
                                      stage != kDone && stage != kUndone;
    }

    void Damage(const std::string& why) {
        if (m_journal.strDamage.empty())
            m_journal.strDamage =
                (m_number != 0 ? "line " + std::to_string(m_number) : std::string("its end")) +
                ": " + why;
    }

    bool Apply(std::string_view key, const std::vector<std::string_view>& fields) {
        CJournal& journal = m_journal;
        std::uint64_t value = 0;
        if (key == "kind") {
            if (fields.size() != 2 || (fields[1] != "rename" && fields[1] != "undo"))
                return false;
            journal.kind = fields[1] == "undo" ? CJournal::Undo : CJournal::Rename;
        } else if (key == "folder") {
            const std::optional<std::string> folder =
                fields.size() == 2 ? Unescape(fields[1]) : std::nullopt;
            if (!folder)
                return false;
            journal.strFolder = *folder;
        } else if (key == "folder-id") {
            CFolderKey id;
            if (fields.size() != 4 || !ParseNumber(fields[1], id.nDevice) ||
                !ParseNumber(fields[2], id.nInode) || !ParseNumber(fields[3], id.nBirth))
                return false;
            journal.folder = id;
        } else if (key == "time") {
            if (fields.size() != 2 || !ParseNumber(fields[1], value))
                return false;
            journal.nTime = static_cast<std::time_t>(value);
        } else if (key == "undoes") {
            const std::optional<std::string> undoes =
                fields.size() == 2 ? Unescape(fields[1]) : std::nullopt;
            // A journal file name of the store, nothing else.
            if (!undoes || undoes->find('/') != std::string::npos || !undoes->ends_with(kSuffix) ||
                journal.kind != CJournal::Undo)
                return false;
            journal.strUndoes = *undoes;
        } else if (key == "clock") {
            return ApplyClock(fields);
        } else if (key == "files") {
            if (fields.size() != 2 || !ParseNumber(fields[1], value))
                return false;
            journal.nFiles = static_cast<std::size_t>(value);
        } else if (key == "f") {
            m_fileAt.push_back(-1);
            return ApplyFile(fields);
        } else if (key == "stamp") {
            return ApplyStamp(fields);
        } else if (key == "ready") {
            if (fields.size() != 1)
                return false;
            journal.state = CJournal::Interrupted;
        } else if (key == "done") {
            std::uint64_t touched = 0;
            const bool twoNumbers = m_version >= 2;
            if (fields.size() != (twoNumbers ? 3u : 2u) || !ParseNumber(fields[1], value) ||
                value > INT32_MAX || (twoNumbers && !ParseNumber(fields[2], touched)))
                return false;
            journal.nRenamed = static_cast<int>(value);
            // A version 1 run that renamed nothing took every step back.
            journal.nTouched =
                twoNumbers ? static_cast<std::size_t>(touched) : (value == 0 ? 0 : SIZE_MAX);
            journal.state = CJournal::Complete;
        } else if (fields.size() != 1) { // "undone"
            return false;
        } else {
            journal.state = CJournal::Undone;
        }
        return true;
    }

    bool ApplyFile(const std::vector<std::string_view>& fields) {
        if (fields.size() != 6)
            return false;
        CJournalFile file;
        if (!ParseNumber(fields[1], file.nDevice) || !ParseNumber(fields[2], file.nInode) ||
            file.nInode == 0)
            return false;
        std::optional<std::string> before = JournalName(fields[3], false);
        std::optional<std::string> temporary = JournalName(fields[4], true);
        std::optional<std::string> after = JournalName(fields[5], false);
        if (!before || !temporary || !after)
            return false;
        m_fileAt.back() = static_cast<long>(m_journal.files.size());
        m_journal.files.Add(file.nDevice, file.nInode, *before, *temporary, *after);
        return true;
    }

    // "clock SECONDS DEVICE": an offset within what can be set, and a device
    // text that prints on one line.
    bool ApplyClock(const std::vector<std::string_view>& fields) {
        CJournalClock clock;
        std::optional<std::string> device = fields.size() == 3 ? Unescape(fields[2]) : std::nullopt;
        if (!device || device->empty() || !ParseNumber(fields[1], clock.nOffset) ||
            clock.nOffset < -kMaxClockOffset || clock.nOffset > kMaxClockOffset)
            return false;
        for (const char c : *device) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return false;
        }
        clock.strDevice = std::move(*device);
        m_journal.clocks.push_back(std::move(clock));
        return true;
    }

    // "stamp INDEX STAMP": INDEX counts the file lines, sound or not. A
    // summary reads no file lines and keeps no stamps.
    bool ApplyStamp(const std::vector<std::string_view>& fields) {
        std::uint64_t index = 0;
        CFileStamp stamp;
        if (fields.size() != 3 || !ParseNumber(fields[1], index) || !ParseStamp(fields[2], stamp) ||
            !stamp.Known())
            return false;
        if (m_fileAt.empty())
            return true;
        if (index >= m_fileAt.size())
            return false;
        if (m_fileAt[index] >= 0)
            m_journal.files.SetStamp(static_cast<std::size_t>(m_fileAt[index]), stamp);
        return true;
    }

    CJournal& m_journal;
    int m_version = 2;
    int m_stage = kStart;
    std::size_t m_number = 0;
    // Per file line met, sound or not: its index in files, -1 when damaged.
    std::vector<long> m_fileAt;
    bool m_started = false;
    bool m_lastUndone = false;
};

// A journal store entry opened for reading only when it is a regular file:
// a FIFO named like a journal is never opened (no hang, no writer released).
class CJournalReader {
public:
    explicit CJournalReader(const std::string& path) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return;
        m_fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 && (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            close(m_fd);
            m_fd = -1;
        }
        m_size = m_fd >= 0 ? static_cast<std::size_t>(st.st_size) : 0;
    }
    ~CJournalReader() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CJournalReader(const CJournalReader&) = delete;
    CJournalReader& operator=(const CJournalReader&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    std::size_t Size() const { return m_size; }

    // Up to `length` bytes from `offset`.
    std::string Read(std::size_t offset, std::size_t length) const {
        std::string bytes(std::min(length, m_size - std::min(offset, m_size)), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = pread(m_fd, bytes.data() + done, bytes.size() - done,
                                    static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    }

private:
    int m_fd = -1;
    std::size_t m_size = 0;
};

// Calls `line` for each whole line of `text`; true when the text ends in
// the middle of a line.
template <typename Line> bool ForEachLine(std::string_view text, Line line) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return true;
        line(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return false;
}

CJournal SkippedJournal(const std::string& path) {
    CJournal journal;
    journal.strPath = path;
    journal.state = CJournal::Skipped;
    journal.strDamage = "not a regular file; skipped";
    return journal;
}

// Parses `text` line by line; true when it ends in the middle of a line.
bool ParseLines(std::string_view text, CJournalParser& parser, std::size_t& number) {
    return ForEachLine(text, [&](std::string_view line) { parser.Line(line, ++number); });
}

// The journal's start lines (up to "files") and its last lines, where its
// state is: enough to know the run without reading its files. A short
// journal is read whole.
CJournal ReadJournalSummary(const std::string& path) {
    const CJournalReader reader(path);
    if (!reader.IsOpen())
        return SkippedJournal(path);
    CJournal journal;
    journal.strPath = path;
    CJournalParser parser(journal);
    std::size_t number = 0;
    if (reader.Size() <= kHeadBytes) {
        parser.End(ParseLines(reader.Read(0, reader.Size()), parser, number), false);
        return journal;
    }
    const std::string head = reader.Read(0, kHeadBytes);
    const std::size_t files = head.find("\nf ");
    ParseLines(std::string_view(head).substr(0, files + 1), parser, number);
    std::string tail = reader.Read(reader.Size() - kTailBytes, kTailBytes);
    tail.erase(0, tail.find('\n') + 1); // the first line is most likely cut
    const bool cut = ForEachLine(tail, [&](std::string_view line) { parser.TailLine(line); });
    parser.End(cut, true);
    return journal;
}

} // namespace

std::optional<CJournal> ReadJournal(const std::string& path) {
    const CJournalReader reader(path);
    if (!reader.IsOpen())
        return std::nullopt;
    CJournal journal;
    journal.strPath = path;
    CJournalParser parser(journal);
    // A block at a time: a journal of 100,000 files is never held as text.
    constexpr std::size_t kBlock = 64 * 1024;
    std::string text; // the line the last block cut, then the next block
    std::size_t number = 0;
    for (std::size_t offset = 0;;) {
        const std::string block = reader.Read(offset, kBlock);
        if (block.empty())
            break;
        offset += block.size();
        text += block;
        const std::size_t whole = text.rfind('\n') + 1; // 0 when there is no line break
        ParseLines(std::string_view(text).substr(0, whole), parser, number);
        text.erase(0, whole);
    }
    parser.End(!text.empty(), false);
    journal.files.ShrinkToFit(); // they are kept while an undo makes its rows
    return journal;
}

void CJournalFiles::Add(std::uint64_t device, std::uint64_t inode, std::string_view before,
                        std::string_view temporary, std::string_view after) {
    m_files.push_back({device, inode, 0, 0, m_names.size(), 0,
                       static_cast<std::uint32_t>(before.size()),
                       static_cast<std::uint32_t>(temporary.size()), 0});
    m_names.append(before).append(temporary).append(after);
}

CJournalFile CJournalFiles::operator[](std::size_t i) const {
    return {Device(i),
            Inode(i),
            Stamp(i),
            std::string(Before(i)),
            std::string(Temporary(i)),
            std::string(After(i))};
}

CFileStamp CJournalFiles::Stamp(std::size_t i) const {
    const CRecord& file = m_files[i];
    return {file.cKind, file.nSize, file.nSeconds, file.nNanoseconds};
}

void CJournalFiles::SetStamp(std::size_t i, const CFileStamp& stamp) {
    CRecord& file = m_files[i];
    file.cKind = stamp.cKind;
    file.nSize = stamp.nSize;
    file.nSeconds = stamp.nSeconds;
    file.nNanoseconds = stamp.nNanoseconds;
}

std::string_view CJournalFiles::Before(std::size_t i) const {
    return std::string_view(m_names).substr(m_files[i].nNames, m_files[i].nBefore);
}

std::string_view CJournalFiles::Temporary(std::size_t i) const {
    const CRecord& file = m_files[i];
    return std::string_view(m_names).substr(file.nNames + file.nBefore, file.nTemporary);
}

std::string_view CJournalFiles::After(std::size_t i) const {
    const CRecord& file = m_files[i];
    const std::size_t start = file.nNames + file.nBefore + file.nTemporary;
    return std::string_view(m_names).substr(start, NamesEnd(i) - start);
}

void CJournalFiles::ShrinkToFit() {
    m_files.shrink_to_fit();
    m_names.shrink_to_fit();
}

void CJournalFiles::Release() {
    std::vector<CRecord>().swap(m_files);
    std::string().swap(m_names);
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
    // Measured first, so that tests cut the write off half way through.
    std::size_t size = 0;
    const auto measure = [&size](std::string_view part) { size += part.size(); };
    PutJournal(journal, files, measure);
    CJournalOut out(fd, size / 2);
    PutJournal(journal, files, out);
    int error = out.Finish();
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
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    CJournalOut out(fd);
    for (const auto& [index, stamp] : stamps)
        out(StampLine(index, stamp) + '\n');
    if (!last.empty())
        out(last + '\n');
    int error = out.Finish();
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    close(fd);
    return error;
}

int CJournalStore::Append(const std::string& path, const std::string& line) {
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
