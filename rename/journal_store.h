#pragma once

#include "journal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The folder of journals, one file per run: their names, which tell the photo
// folder and keep the order in which they were written, the listing of a
// photo folder's runs, the writing of a new journal whole and in place, the
// lines appended at a run's end, and the pruning of old journals.
namespace velmora {

// The folder that holds the journals: $XDG_STATE_HOME/velmora, else
// $HOME/.local/state/velmora. Empty when neither is set.
std::string DefaultJournalFolder();

// Makes the absolute folder `path` and the folders it lies in (mode 0700):
// 0 or the errno value.
int MakeFolders(const std::string& path);

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

} // namespace velmora
