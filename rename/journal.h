#pragma once

#include "devices.h"
#include "list_rows.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
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
    std::vector<CJournalFile> files; // read on demand: see ReadJournal
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

    // Appends a line ("done N T", "undone") and syncs it. 0 or errno.
    static int Append(const std::string& path, const std::string& line);

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
