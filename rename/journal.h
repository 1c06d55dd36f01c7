#pragma once

#include "devices.h"
#include "list_rows.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The journal of rename runs: before its first rename a run writes its whole
// plan (every file's identity, its name before, any temporary name and its
// name after) in one synced write, so that a run cut off by a crash can be
// undone from what the disk shows. One file per run, outside the photo
// folder, under $XDG_STATE_HOME/velmora (default ~/.local/state/velmora).
//
// This header holds the records of a journal; the rest goes by job:
//   journal_format.h  the text, line by line (escapes, numbers, stamps, the
//                     kinds of lines)
//   journal_writer.h  a journal's text written to a file, its end appended
//   journal_reader.h  a journal read back, whole or as a summary
//   journal_store.h   the folder of journals: listing, writing, appending,
//                     pruning
//
// What tells a renamed file from a new file that later got its inode: where
// the file system keeps birth times, being born before the run began (the
// journal has the run's time), at no cost per file; elsewhere its size and
// modification time, recorded as stamps when the run ends, from the status
// call each step makes anyway (a run cut off before its end has none). A run
// that sets file times stamps its files after it set them, as it leaves them.
//
// A journal is data from disk, not trusted: every line is checked, and a
// name in it must stay inside the photo folder, as a new name must.
namespace velmora {

// Which folder a journal belongs to: its device and inode, and its birth time
// where the file system keeps one (nanoseconds; 0 = unknown), so that a new
// folder that happens to get a deleted one's inode is not taken for it.
struct CFolderKey {
    std::uint64_t nDevice = 0;
    std::uint64_t nInode = 0;
    std::uint64_t nBirth = 0;

    static std::optional<CFolderKey> OfFd(int fd);
    static std::optional<CFolderKey> OfPath(const std::string& path);
};

struct CJournalFile {
    std::uint64_t nDevice = 0;
    std::uint64_t nInode = 0;
    // What tells this file from a new one that got its inode; unknown when
    // the run never reached it or did not end. Written "b" SECONDS "."
    // NANOSECONDS (birth time) or "m" SIZE "." SECONDS "." NANOSECONDS (size
    // and modification time).
    CFileStamp stamp;
    std::string strBefore;
    std::string strTemporary; // empty when the file goes straight to its name
    std::string strAfter;
};

// The files of a journal: a record of 56 bytes each, the names of all in one
// buffer, so that an undo of 100,000 files holds them beside its rows without
// doubling its memory. Read back as CJournalFile values, or field by field
// without a copy. Names are shorter than 4 GiB.
class CJournalFiles {
public:
    std::size_t size() const { return m_files.size(); }
    bool empty() const { return m_files.empty(); }
    void push_back(const CJournalFile& file) {
        Add(file.nDevice, file.nInode, file.strBefore, file.strTemporary, file.strAfter);
        SetStamp(size() - 1, file.stamp);
    }
    void Add(std::uint64_t device, std::uint64_t inode, std::string_view before,
             std::string_view temporary, std::string_view after);
    CJournalFile operator[](std::size_t i) const;

    std::uint64_t Device(std::size_t i) const { return m_files[i].nDevice; }
    std::uint64_t Inode(std::size_t i) const { return m_files[i].nInode; }
    CFileStamp Stamp(std::size_t i) const;
    void SetStamp(std::size_t i, const CFileStamp& stamp);
    // The file's times before the run; null when none were journaled.
    const CFileTimes* Times(std::size_t i) const;
    void SetTimes(std::size_t i, const CFileTimes& times);
    std::string_view Before(std::size_t i) const;
    std::string_view Temporary(std::size_t i) const;
    std::string_view After(std::size_t i) const;

    void ShrinkToFit();
    // Lets their memory go.
    void Release();

    class const_iterator {
    public:
        const_iterator(const CJournalFiles& files, std::size_t i) : m_files(&files), m_i(i) {}
        CJournalFile operator*() const { return (*m_files)[m_i]; }
        const_iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        const CJournalFiles* m_files;
        std::size_t m_i;
    };
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, size()}; }

private:
    struct CRecord {
        std::uint64_t nDevice;
        std::uint64_t nInode;
        std::int64_t nSize; // the stamp, packed
        std::int64_t nSeconds;
        std::size_t nNames; // where before, temporary and after start in m_names
        std::uint32_t nNanoseconds;
        std::uint32_t nBefore; // the lengths of before and temporary
        std::uint32_t nTemporary;
        char cKind;
    };
    static_assert(sizeof(CRecord) <= 56);

    std::size_t NamesEnd(std::size_t i) const {
        return i + 1 < m_files.size() ? m_files[i + 1].nNames : m_names.size();
    }

    std::vector<CRecord> m_files;
    std::string m_names;
    // Only runs that set file times have them: kept apart, by file index
    // (sorted), so that the records stay at 56 bytes.
    std::vector<std::pair<std::size_t, CFileTimes>> m_times;
};

// One file line of a journal being written.
struct CJournalLine {
    std::uint64_t nDevice = 0;
    std::uint64_t nInode = 0;
    std::string_view strBefore;
    std::string_view strTemporary;
    std::string_view strAfter;
    const CFileTimes* pTimes = nullptr; // its times before, when the run sets them
};

// The file lines of a journal being written, asked for one at a time, so that
// a run never holds its journal as text: in order from 0, once to measure the
// text and once to write it.
class CJournalLines {
public:
    virtual ~CJournalLines() = default;
    virtual std::size_t Count() const = 0;
    // The `index`th line; its names stay valid until the next call.
    virtual CJournalLine Line(std::size_t index) = 0;
};

// A device's clock offset in force for a run: its text as users see it.
struct CJournalClock {
    std::string strDevice;
    std::int64_t nOffset = 0; // seconds
    bool operator==(const CJournalClock&) const = default;
};

// The offsets a scan applied: the known devices of `devices` whose offset
// is not zero, in table order.
std::vector<CJournalClock> ClocksInForce(const CDeviceTable& devices);

struct CJournal {
    enum Kind { Rename, Undo };
    enum State {
        Unready,     // cut off while being written: no rename began
        Interrupted, // renames began and never ended
        Complete,
        Unchanged, // ended having changed nothing: not a run to undo
        Undone,
        Skipped, // not a regular file: never opened
    };

    Kind kind = Rename;
    std::string strFolder;
    CFolderKey folder;
    std::time_t nTime = 0; // when the run began
    // The nanoseconds of nTime; -1 in older journals, which give whole
    // seconds: there a file born within that second counts as born before.
    long nTimeNanoseconds = -1;
    std::string strUndoes; // undo runs: the journal file they undo
    std::vector<CJournalClock> clocks;
    // The folders the run creates, each written before it is made, in the
    // order it makes them; an undo removes those that are empty again.
    std::vector<std::string> folders;
    // The modification time of each folder the run's files leave or enter
    // ("" for the photo folder itself) from before the run, which every
    // rename there changes: an undo sets them back.
    struct CFolderTime {
        std::string strFolder;
        std::int64_t nSeconds = 0;
        std::uint32_t nNanoseconds = 0;
        bool operator==(const CFolderTime&) const = default;
    };
    std::vector<CFolderTime> folderTimes;
    // The folders the run's files left empty, which it then removed: each
    // journaled before it goes, deepest first, with its mode and times, so
    // that an undo makes it again before it moves the files back.
    struct CRemovedFolder {
        std::string strFolder;
        std::uint32_t nMode = 0; // permission bits
        CFileTimes times;
        bool operator==(const CRemovedFolder&) const = default;
    };
    std::vector<CRemovedFolder> removed;
    std::size_t nFiles = 0;
    CJournalFiles files; // read on demand: see ReadJournal
    State state = Unready;
    int nRenamed = 0;
    // Files the run left changed: the first nTouched of `files` (a run that
    // stopped cleanly never touched the rest).
    std::size_t nTouched = SIZE_MAX;
    // The first damage found ("line N: why"); empty when every line read is
    // sound. A summary checks the start and end lines only.
    std::string strDamage;

    std::string strPath; // where it is stored
};

} // namespace velmora
