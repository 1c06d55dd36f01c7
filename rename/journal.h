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
// Journal text, one record a line, fields split by one blank, names escaped
// (bytes up to the blank, "%" and DEL as %XX; an empty name as "."):
//   velmora journal 2
//   kind rename|undo
//   folder PATH
//   folder-id DEVICE INODE BIRTH
//   time SECONDS
//   undoes JOURNAL-FILE          (undo runs only)
//   clock SECONDS DEVICE         (for each device whose clock offset moved the
//                                 run's dates; none without offsets)
//   files COUNT
//   f DEVICE INODE BEFORE TEMPORARY AFTER   (one per file, in step order)
//   ready                        (the plan is whole; renames may begin)
//   stamp INDEX STAMP            (for each file the run reached, as it ended,
//                                 on a file system without birth times: what
//                                 tells it from a new file on its inode)
//   done RENAMED TOUCHED         (the run ended, finished or stopped cleanly:
//                                 rows renamed, and how many leading files it
//                                 left changed; 0 0 = it changed nothing)
//   undone                       (a later undo restored this run's names; on
//                                 an undo: a later undo finished its work)
// A journal is written whole under a temporary name and then renamed into
// place, so one without "ready" is damaged, not cut off.
//
// What tells a renamed file from a new file that later got its inode: where
// the file system keeps birth times, being born before the run began (the
// journal has the run's time), at no cost per file; elsewhere its size and
// modification time, recorded as stamps when the run ends, from the status
// call each step makes anyway (a run cut off before its end has none).
// Journals of version 1 ("done RENAMED", written in place) are still read.
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
};

// One file line of a journal being written.
struct CJournalLine {
    std::uint64_t nDevice = 0;
    std::uint64_t nInode = 0;
    std::string_view strBefore;
    std::string_view strTemporary;
    std::string_view strAfter;
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
    std::time_t nTime = 0;
    std::string strUndoes; // undo runs: the journal file they undo
    std::vector<CJournalClock> clocks;
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

// The folder that holds the journals: $XDG_STATE_HOME/velmora, else
// $HOME/.local/state/velmora. Empty when neither is set.
std::string DefaultJournalFolder();

// The journals of one photo folder, newest last, and the writing of new ones.
class CJournalStore {
public:
    explicit CJournalStore(std::string folder) : m_folder(std::move(folder)) {}

    const std::string& Folder() const { return m_folder; }

    // Every journal of the photo folder, oldest first, without their files
    // (a run's start and end lines only, so that a look at the history costs
    // little); those cut off while being written are left out. Damaged ones
    // are kept with their damage; entries that are not regular files are
    // kept as Skipped, never opened.
    std::vector<CJournal> Runs(const CFolderKey& folder) const;

    // Writes and syncs `journal` (file and folder) with its "ready" line;
    // sets its path. 0 or the errno value. Old journals of the same photo
    // folder beyond the last few, and of all folders beyond a total, go.
    int Write(CJournal& journal) const;
    // The same with the file lines of `files`, not of journal.files.
    int Write(CJournal& journal, CJournalLines& files) const;

    // Appends a line ("done N T", "undone") and syncs it. 0 or errno.
    static int Append(const std::string& path, const std::string& line);

    // Appends the end of a run, synced once: a stamp line for each of
    // `stamps` (the file's index in the journal, its stamp), then `last`
    // unless it is empty. 0 or errno.
    static int AppendEnd(const std::string& path,
                         const std::vector<std::pair<std::size_t, CFileStamp>>& stamps,
                         const std::string& last);

private:
    void Prune(std::uint64_t device, std::uint64_t inode) const;

    std::string m_folder;
};

// The file name of a journal's path, as an undo journal names the run it
// undoes.
std::string JournalFileName(const std::string& path);

// Reads one journal with its files, checking every line; the files of sound
// lines are kept, the first damage is in strDamage. Nothing when the file
// can't be opened as a regular file.
std::optional<CJournal> ReadJournal(const std::string& path);

// The end line of a run: "done RENAMED TOUCHED".
std::string DoneLine(int renamed, std::size_t touched);

// The line that records the stamp of the journal's `index`th file.
std::string StampLine(std::size_t index, const CFileStamp& stamp);

// The journal text of everything up to and with "ready".
std::string JournalText(const CJournal& journal);

} // namespace velmora
