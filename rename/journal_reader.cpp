#include "journal_reader.h"

#include "file_stream.h"
#include "journal_format.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

using namespace journal_format;

// A journal this short is summarized by reading it whole; a longer one by
// its start lines and this much of its end: a stamp line or "ready" whole
// before "done R T" and "undone", however long their numbers.
constexpr std::size_t kShortJournal = 16384;
constexpr std::size_t kTailBytes = 256;

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
        // A file's times belong to the file line just before them.
        const bool afterFile = m_afterFile;
        m_afterFile = key == "f";
        if (stage < 0)
            return Damage("unknown line");
        if (key == "t" && !afterFile)
            return Damage("out of place");
        if (stage < m_stage || (stage == m_stage && !Repeats(stage)))
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

    // The end lines of a summary: the file lines and their times are not
    // checked there. Stamp lines, and the lines of the folders a run removed,
    // follow "ready", which many of them push out of sight; a summary keeps
    // neither.
    void TailLine(std::string_view line) {
        m_lastUndone = false;
        const bool stamp = line.starts_with("stamp ");
        const bool endLine = stamp || line.starts_with("rmdir ");
        if (endLine && m_stage < kReady) {
            m_stage = stamp ? kStamps : kRemoved;
            m_journal.state = CJournal::Interrupted;
        } else if (!line.starts_with("f ") && !line.starts_with("t ") && !endLine) {
            Line(line, 0);
        }
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
        kFolders,
        kFolderTimes,
        kFiles,
        kFileLines,
        kReady,
        kRemoved,
        kStamps,
        kDone,
        kUndone,
    };

    static int StageOf(std::string_view key) {
        static constexpr std::string_view kKeys[] = {
            "",      "kind",  "folder",      "folder-id", "time", "undoes",
            "clock", "mkdir", "folder-time", "files",     "f",    "ready",
            "rmdir", "stamp", "done",        "undone"};
        if (key == "t")
            return kFileLines;
        for (int stage = kKind; stage <= kUndone; ++stage) {
            if (kKeys[stage] == key)
                return stage;
        }
        return -1;
    }

    // An undo cut off after marking its run undone marks it again when the
    // next undo finishes its work: a second "undone" says nothing new.
    static bool Repeats(int stage) {
        return stage == kClocks || stage == kFolders || stage == kFolderTimes ||
               stage == kFileLines || stage == kRemoved || stage == kStamps || stage == kUndone;
    }

    bool Required(int stage) const {
        return stage == kUndoes ? m_journal.kind == CJournal::Undo
                                : stage != kClocks && stage != kFolders && stage != kFolderTimes &&
                                      stage != kFileLines && stage != kRemoved &&
                                      stage != kStamps && stage != kDone && stage != kUndone;
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
            return ApplyTime(fields);
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
        } else if (key == "mkdir") {
            // A folder of the photo folder, as a new name's folder part is.
            std::optional<std::string> folder =
                fields.size() == 2 ? JournalName(fields[1], false) : std::nullopt;
            if (!folder || folder->empty())
                return false;
            journal.folders.push_back(std::move(*folder));
        } else if (key == "folder-time") {
            return ApplyFolderTime(fields);
        } else if (key == "files") {
            if (fields.size() != 2 || !ParseNumber(fields[1], value))
                return false;
            journal.nFiles = static_cast<std::size_t>(value);
        } else if (key == "f") {
            m_fileAt.push_back(-1);
            return ApplyFile(fields);
        } else if (key == "t") {
            return ApplyTimes(fields);
        } else if (key == "rmdir") {
            return ApplyRemoved(fields);
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

    // "time SECONDS.NANOSECONDS", or whole seconds ("time SECONDS").
    bool ApplyTime(const std::vector<std::string_view>& fields) {
        const std::vector<std::string_view> numbers =
            fields.size() == 2 ? SplitFields(fields[1], '.') : std::vector<std::string_view>();
        std::uint64_t seconds = 0;
        long nanoseconds = -1;
        if (numbers.empty() || numbers.size() > 2 || !ParseNumber(numbers[0], seconds) ||
            (numbers.size() == 2 &&
             (!ParseNumber(numbers[1], nanoseconds) || nanoseconds > 999999999)))
            return false;
        m_journal.nTime = static_cast<std::time_t>(seconds);
        m_journal.nTimeNanoseconds = nanoseconds;
        return true;
    }

    // "folder-time SECONDS.NANOSECONDS PATH": a time, and the photo folder
    // (".") or a folder of it.
    bool ApplyFolderTime(const std::vector<std::string_view>& fields) {
        CJournal::CFolderTime time;
        if (fields.size() != 3 || !ParseTime(fields[1], time.nSeconds, time.nNanoseconds))
            return false;
        std::optional<std::string> folder =
            fields[2] == "." ? std::optional<std::string>("") : JournalName(fields[2], false);
        if (!folder)
            return false;
        time.strFolder = std::move(*folder);
        m_journal.folderTimes.push_back(std::move(time));
        return true;
    }

    // "t ACCESS MODIFIED": the times of the file line before it; those of a
    // damaged file line are checked and dropped.
    bool ApplyTimes(const std::vector<std::string_view>& fields) {
        CFileTimes times;
        if (fields.size() != 3 ||
            !ParseTime(fields[1], times.nAccessSeconds, times.nAccessNanoseconds) ||
            !ParseTime(fields[2], times.nModifySeconds, times.nModifyNanoseconds))
            return false;
        if (!m_fileAt.empty() && m_fileAt.back() >= 0)
            m_journal.files.SetTimes(static_cast<std::size_t>(m_fileAt.back()), times);
        return true;
    }

    // "rmdir MODE ACCESS MODIFIED PATH": permission bits, two times and a
    // folder of the photo folder (never the photo folder itself).
    bool ApplyRemoved(const std::vector<std::string_view>& fields) {
        CJournal::CRemovedFolder folder;
        if (fields.size() != 5 || !ParseNumber(fields[1], folder.nMode, 8) ||
            folder.nMode > 07777 ||
            !ParseTime(fields[2], folder.times.nAccessSeconds, folder.times.nAccessNanoseconds) ||
            !ParseTime(fields[3], folder.times.nModifySeconds, folder.times.nModifyNanoseconds))
            return false;
        std::optional<std::string> path = JournalName(fields[4], false);
        if (!path || path->empty())
            return false;
        folder.strFolder = std::move(*path);
        m_journal.removed.push_back(std::move(folder));
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
    bool m_afterFile = false; // the last line was a file line
};

// A journal store entry opened for reading only when it is a regular file:
// a FIFO named like a journal is never opened (no hang, no writer released).
class CJournalReader {
public:
    explicit CJournalReader(const std::string& path) : m_bOpen(m_file.Open(path.c_str(), false)) {}

    bool IsOpen() const { return m_bOpen; }
    std::size_t Size() const { return static_cast<std::size_t>(m_file.Size()); }

    // Up to `length` bytes from `offset`.
    std::string Read(std::size_t offset, std::size_t length) {
        std::string bytes(std::min(length, Size() - std::min(offset, Size())), '\0');
        bytes.resize(m_file.ReadAt(offset, bytes.data(), bytes.size()));
        return bytes;
    }

private:
    CFileStream m_file;
    const bool m_bOpen;
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

// Where ForEachFileLine stopped: at the start of the line `line` refused,
// else at the file's end, `cut` when its last line has no line break.
struct CLinesRead {
    bool bStopped = false;
    std::size_t nAt = 0;
    bool bCut = false;
};

// Calls `line` for each whole line of the file from its start until it
// returns false, a block at a time: a journal of 100,000 files is never held
// as text, and a start of any length is read to its end.
template <typename Line> CLinesRead ForEachFileLine(CJournalReader& reader, Line line) {
    constexpr std::size_t kBlock = 64 * 1024;
    CLinesRead read;
    std::string text; // the line the last block cut, then the next block
    for (std::size_t offset = 0;;) {
        const std::string block = reader.Read(offset, kBlock);
        if (block.empty())
            break;
        const std::size_t textStart = offset - text.size();
        offset += block.size();
        text += block;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (!line(std::string_view(text).substr(start, end - start))) {
                read.bStopped = true;
                read.nAt = textStart + start;
                return read;
            }
        }
        text.erase(0, start);
    }
    read.nAt = reader.Size();
    read.bCut = !text.empty();
    return read;
}

CJournal SkippedJournal(const std::string& path) {
    CJournal journal;
    journal.strPath = path;
    journal.state = CJournal::Skipped;
    journal.strDamage = "not a regular file; skipped";
    return journal;
}

} // namespace

CJournal ReadJournalSummary(const std::string& path) {
    CJournalReader reader(path);
    if (!reader.IsOpen())
        return SkippedJournal(path);
    CJournal journal;
    journal.strPath = path;
    CJournalParser parser(journal);
    std::size_t number = 0;
    const bool whole = reader.Size() <= kShortJournal;
    // The start up to the first file line, however long its clock lines make it.
    const CLinesRead start = ForEachFileLine(reader, [&](std::string_view line) {
        if (!whole && line.starts_with("f "))
            return false;
        parser.Line(line, ++number);
        return true;
    });
    if (!start.bStopped) {
        parser.End(start.bCut, false);
        return journal;
    }
    // The end, never before the file lines: the start's lines are read once.
    // Read from a byte early, so that a line beginning where the end does is
    // not taken for the rest of a line.
    const std::size_t from =
        std::max(start.nAt, reader.Size() - std::min(reader.Size(), kTailBytes + 1));
    std::string tail = reader.Read(from, reader.Size() - from);
    if (from > start.nAt)
        tail.erase(0, tail.find('\n') + 1);
    const bool cut = ForEachLine(tail, [&](std::string_view line) { parser.TailLine(line); });
    parser.End(cut, true);
    return journal;
}

std::optional<CJournal> ReadJournal(const std::string& path) {
    CJournalReader reader(path);
    if (!reader.IsOpen())
        return std::nullopt;
    CJournal journal;
    journal.strPath = path;
    CJournalParser parser(journal);
    std::size_t number = 0;
    const CLinesRead read = ForEachFileLine(reader, [&](std::string_view line) {
        parser.Line(line, ++number);
        return true;
    });
    parser.End(read.bCut, false);
    journal.files.ShrinkToFit(); // they are kept while an undo makes its rows
    return journal;
}

} // namespace velmora
