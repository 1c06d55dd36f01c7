#include "rename_plan.h"

#include "name_compare.h"
#include "safe_rename.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <unordered_map>

namespace velmora {
namespace {

constexpr int kVacant = -1;  // the run moved the name's file away
constexpr int kForeign = -2; // held by a file that no row names

// The folder's names as the simulated run changes them: who holds which name.
// Names directly in the folder come from one listing; names in subfolders are
// looked up on disk when first met.
class CSimulatedFolder {
public:
    CSimulatedFolder(const CFolderHandle& folder, const CListRows& rows, bool foldCase)
        : m_folder(folder), m_foldCase(foldCase) {
        ListFolder();
        for (std::size_t i = 0; i < rows.size(); ++i)
            m_holders[Key(rows[i].Text(0))] = static_cast<int>(i);
    }

    // The row whose file holds `name`, kForeign, or kVacant when it is free.
    int Holder(const std::string& name) {
        const std::string key = Key(name);
        const auto it = m_holders.find(key);
        if (it != m_holders.end())
            return it->second;
        const bool nested = name.find('/') != std::string::npos;
        const int holder = nested && m_folder.Identify(name) ? kForeign : kVacant;
        m_holders.emplace(key, holder);
        return holder;
    }

    void Move(int row, const std::string& from, const std::string& to) {
        m_holders[Key(from)] = kVacant;
        m_holders[Key(to)] = row;
    }

private:
    std::string Key(std::string_view name) const {
        return m_foldCase ? FoldCase(name) : std::string(name);
    }

    void ListFolder() {
        const int fd = openat(m_folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
        if (!dir) {
            close(fd);
            return;
        }
        while (const dirent* entry = readdir(dir.get()))
            m_holders.emplace(Key(entry->d_name), kForeign);
    }

    const CFolderHandle& m_folder;
    const bool m_foldCase;
    std::unordered_map<std::string, int> m_holders;
};

// A temporary name that no file of the folder bears and the plan has not
// given yet.
std::string FreshTemporaryName(CSimulatedFolder& names) {
    for (;;) {
        std::string name = RandomTemporaryName();
        if (names.Holder(name) == kVacant)
            return name;
    }
}

// The name under which the holder of `to` stands when row `row` wants it.
std::string HolderName(const CListRows& rows, int holder, int row, const std::string& to) {
    if (holder < 0)
        return to;
    const CListRow& held = rows[holder];
    return std::string(holder < row && held.nImage == RowToRename ? held.Text(1) : held.Text(0));
}

bool FillIdentity(const CFolderHandle& folder, CListRow& row) {
    if (!row.Id().Known()) {
        const std::optional<CFileId> id = folder.Identify(std::string(row.Text(0)));
        if (id)
            row.SetId(*id);
    }
    return row.Id().Known();
}

} // namespace

CRenamePlan PlanRename(const CFolderHandle& folder, CListRows& rows) {
    CRenamePlan plan;
    int first = -1;
    for (std::size_t i = 0; i < rows.size() && first < 0; ++i) {
        if (rows[i].nImage == RowToRename)
            first = static_cast<int>(i);
    }
    if (first < 0)
        return plan;
    CSimulatedFolder names(folder, rows, folder.FoldsCase(std::string(rows[first].Text(0))));
    std::unordered_map<int, std::string> asideNames; // rows moved aside, by row
    std::size_t cleanSteps = 0; // steps after which no file is under a temporary name

    auto stopAt = [&](CRenameStop::Kind kind, int row) -> CRenamePlan& {
        plan.stop.kind = kind;
        plan.stop.nRow = row;
        plan.steps.resize(cleanSteps);
        return plan;
    };
    for (int i = first; i < static_cast<int>(rows.size()); ++i) {
        CListRow& row = rows[i];
        if (row.nImage != RowToRename)
            continue;
        const auto aside = asideNames.find(i);
        const bool wasAside = aside != asideNames.end();
        const std::string from = wasAside ? aside->second : std::string(row.Text(0));
        const std::string to(row.Text(1));
        plan.stop.nFault = CheckNewName(to);
        if (plan.stop.nFault != NameFault::None)
            return stopAt(CRenameStop::Refused, i);
        if (to.find('/') != std::string::npos) {
            const int error = folder.ParentError(to);
            if (error == ELOOP) {
                plan.stop.nFault = NameFault::ThroughLink;
                return stopAt(CRenameStop::Refused, i);
            }
            if (error != 0) {
                plan.stop.nError = error;
                return stopAt(CRenameStop::Error, i);
            }
        }
        if (!FillIdentity(folder, row)) {
            plan.stop.nError = ENOENT;
            return stopAt(CRenameStop::Error, i);
        }
        const int holder = names.Holder(to);
        if (holder != kVacant && holder != i) {
            // Only a file that this run renames later may be moved aside:
            // any other holder would be left under a temporary name.
            const bool later =
                holder > i && rows[holder].nImage == RowToRename && asideNames.count(holder) == 0;
            if (!later || !FillIdentity(folder, rows[holder])) {
                plan.stop.strHolder = HolderName(rows, holder, i, to);
                return stopAt(CRenameStop::Taken, i);
            }
            const std::string held(rows[holder].Text(0));
            std::string temporary = FreshTemporaryName(names);
            names.Move(holder, held, temporary);
            plan.steps.push_back({holder, true, held, temporary});
            asideNames.emplace(holder, std::move(temporary));
        }
        names.Move(i, from, to);
        plan.steps.push_back({i, false, from, to});
        if (wasAside)
            asideNames.erase(i);
        if (asideNames.empty())
            cleanSteps = plan.steps.size();
    }
    return plan;
}

} // namespace velmora
