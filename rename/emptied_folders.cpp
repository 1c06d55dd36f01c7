#include "emptied_folders.h"

#include "journal_format.h"
#include "journal_store.h"
#include "rename_plan.h"
#include "run_messages.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <string_view>
#include <unordered_set>

namespace velmora {

std::vector<std::string> LeftFolders(const CListRows& rows, const std::vector<CRenameStep>& steps) {
    std::set<std::string> folders;
    for (const CRenameStep& step : steps) {
        std::string_view name = RowFileName(rows[step.nRow], step.nCompanion);
        for (std::size_t slash; (slash = name.rfind('/')) != std::string_view::npos;) {
            name = name.substr(0, slash);
            if (!folders.emplace(name).second)
                break; // and so are the folders it lies in
        }
    }
    std::vector<std::string> deepestFirst(folders.begin(), folders.end());
    std::stable_sort(
        deepestFirst.begin(), deepestFirst.end(), [](const std::string& a, const std::string& b) {
            return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
        });
    return deepestFirst;
}

std::string RemoveEmptiedFolders(const CFolderHandle& folder,
                                 const std::vector<std::string>& folders,
                                 const std::string& journalPath) {
    std::vector<CJournal::CRemovedFolder> empty;
    std::unordered_set<std::string> going;
    for (const std::string& name : folders) {
        // Its status before the listing reads it, which may touch its access time.
        struct stat status {};
        if (folder.Status(name, status) != 0 || !S_ISDIR(status.st_mode))
            continue;
        const bool holdsNothing = folder.HoldsOnly(name, [&](std::string_view entry) {
            return going.contains(name + '/' + std::string(entry));
        });
        if (!holdsNothing)
            continue;
        going.insert(name);
        empty.push_back({name, static_cast<std::uint32_t>(status.st_mode & 07777),
                         CFileTimes{status.st_atim.tv_sec, status.st_mtim.tv_sec,
                                    static_cast<std::uint32_t>(status.st_atim.tv_nsec),
                                    static_cast<std::uint32_t>(status.st_mtim.tv_nsec)}});
    }
    if (empty.empty())
        return {};
    if (!journalPath.empty()) {
        std::string lines;
        for (const CJournal::CRemovedFolder& removed : empty)
            lines += (lines.empty() ? "" : "\n") + RemovedLine(removed);
        if (const int error = CJournalStore::Append(journalPath, lines); error != 0)
            return EmptiedFolderKeptLine({}, error, true);
    }
    std::string notes;
    for (const CJournal::CRemovedFolder& removed : empty) {
        // One that got an entry meanwhile, or lies in such a one, is kept.
        const int error = folder.RemoveEmptyFolder(removed.strFolder);
        if (error != 0 && error != ENOTEMPTY && error != ENOENT)
            notes += EmptiedFolderKeptLine(removed.strFolder, error);
    }
    return notes;
}

void RemakeRemovedFolders(const CFolderHandle& folder,
                          const std::vector<CJournal::CRemovedFolder>& removed) {
    // A folder that can't be made stops the undo's step into it, which says so.
    for (auto it = removed.rbegin(); it != removed.rend(); ++it)
        folder.RemakeFolder(it->strFolder, it->nMode, it->times);
}

} // namespace velmora
