#include "rename_plan.h"

#include "companions.h"
#include "name_compare.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <unordered_map>

namespace velmora {
namespace {

constexpr int kVacant = -1;  // the run moved the name's file away
constexpr int kForeign = -2; // held by a file that no row names

// A file the plan may move: a row's own file or one of its companions.
struct CPlanFile {
    int nRow;
    int nCompanion;      // -1: the row's own file
    std::string strName; // where the simulated run has it now
    bool bAside = false;
    CFileId id;
};

// The folder's names as the simulated run changes them: which file holds
// which name. Names directly in the folder come from one listing; names in
// subfolders are looked up on disk when first met.
class CSimulatedFolder {
public:
    CSimulatedFolder(const CFolderHandle& folder, bool foldCase)
        : m_folder(folder), m_foldCase(foldCase) {
        ListFolder();
    }

    void Hold(const std::string& name, int file) { m_holders[Key(name)] = file; }

    // The file that holds `name`, kForeign, or kVacant when it is free.
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

    void Move(int file, const std::string& from, const std::string& to) {
        m_holders[Key(from)] = kVacant;
        m_holders[Key(to)] = file;
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

// The simulated run: the files, where each is, and the steps so far.
class CPlanner {
public:
    CPlanner(const CFolderHandle& folder, CListRows& rows, bool foldCase)
        : m_folder(folder), m_rows(rows), m_names(folder, foldCase) {
        m_firstFile.reserve(rows.size() + 1);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            m_firstFile.push_back(static_cast<int>(m_files.size()));
            m_files.push_back({static_cast<int>(r), -1, std::string(rows[r].Text(0)), false, {}});
            for (std::size_t c = 0, count = rows[r].CompanionCount(); c < count; ++c)
                m_files.push_back({static_cast<int>(r),
                                   static_cast<int>(c),
                                   std::string(rows[r].Companion(c)),
                                   false,
                                   {}});
        }
        m_firstFile.push_back(static_cast<int>(m_files.size()));
        for (std::size_t f = 0; f < m_files.size(); ++f)
            m_names.Hold(m_files[f].strName, static_cast<int>(f));
    }

    // Plans row `row` whole: every file of it that needs a new name, its
    // companions first. False with the stop filled in when it can't be.
    bool PlanRow(int row, CRenamePlan& plan) {
        m_rowMoves.clear();
        const std::string converted(m_rows[row].Text(1));
        const std::size_t before = plan.steps.size();
        for (int f = m_firstFile[row] + 1; f <= m_firstFile[row + 1]; ++f) {
            // Companions first, the row's own file (m_firstFile[row]) last.
            const int file = f < m_firstFile[row + 1] ? f : m_firstFile[row];
            CPlanFile& planned = m_files[file];
            const std::string to =
                planned.nCompanion < 0
                    ? converted
                    : CompanionTarget(converted, m_rows[row].Companion(
                                                     static_cast<std::size_t>(planned.nCompanion)));
            if (!planned.bAside && EqualNoCase(planned.strName, to))
                continue;
            if (!PlanFile(file, to, plan))
                return false;
        }
        if (plan.steps.size() > before)
            plan.steps.back().bFinal = true;
        return true;
    }

    bool Clean() const { return m_outstanding == 0; }

    // Undoes the simulated moves of the row PlanRow last failed on, so that
    // the rows after it are planned as if it had not been touched.
    void TakeBackRow() {
        for (auto it = m_rowMoves.rbegin(); it != m_rowMoves.rend(); ++it) {
            CPlanFile& file = m_files[it->nFile];
            m_names.Move(it->nFile, file.strName, it->strFrom);
            file.strName = it->strFrom;
            if (file.bAside != it->bWasAside)
                m_outstanding += it->bWasAside ? 1 : -1;
            file.bAside = it->bWasAside;
        }
        m_rowMoves.clear();
    }

    // The file's name in the rows, from before the run.
    std::string ListedName(int file) const {
        const CPlanFile& planned = m_files[file];
        const CListRow& row = m_rows[planned.nRow];
        return std::string(planned.nCompanion < 0
                               ? row.Text(0)
                               : row.Companion(static_cast<std::size_t>(planned.nCompanion)));
    }

    int OwnFile(int row) const { return m_firstFile[row]; }

private:
    bool PlanFile(int file, const std::string& to, CRenamePlan& plan) {
        CPlanFile& planned = m_files[file];
        const int row = planned.nRow;
        plan.stop.nFault = CheckNewName(to);
        if (plan.stop.nFault != NameFault::None)
            return Stop(plan, CRenameStop::Refused, row);
        if (to.find('/') != std::string::npos) {
            const int error = m_folder.ParentError(to);
            if (error == ELOOP) {
                plan.stop.nFault = NameFault::ThroughLink;
                return Stop(plan, CRenameStop::Refused, row);
            }
            if (error != 0) {
                plan.stop.nError = error;
                return Stop(plan, CRenameStop::Error, row);
            }
        }
        if (TooLong(to)) {
            plan.stop.nError = ENAMETOOLONG;
            return Stop(plan, CRenameStop::Error, row);
        }
        if (!FillIdentity(file)) {
            plan.stop.nError = ENOENT;
            return StopAt(plan, CRenameStop::Error, file, to);
        }
        const int holder = m_names.Holder(to);
        if (holder != kVacant && holder != file) {
            // Only a file that this run renames later may be moved aside:
            // any other holder would be left under a temporary name.
            const bool later = holder >= 0 && m_files[holder].nRow > row &&
                               m_rows[m_files[holder].nRow].nImage == RowToRename &&
                               !m_files[holder].bAside;
            if (!later || !FillIdentity(holder)) {
                // A holder the run moved there is named as listed, the name
                // the user knows it by.
                plan.stop.strHolder = holder >= 0 ? ListedName(holder) : to;
                plan.stop.bHeldByRun = holder >= 0 && m_files[holder].strName != ListedName(holder);
                plan.stop.nHolderRow = holder >= 0 ? m_files[holder].nRow : -1;
                return StopAt(plan, CRenameStop::Taken, file, to);
            }
            CPlanFile& held = m_files[holder];
            m_rowMoves.push_back({holder, held.strName, held.bAside});
            std::string temporary = FreshTemporaryName();
            m_names.Move(holder, held.strName, temporary);
            plan.steps.push_back(
                {held.nRow, held.nCompanion, true, false, held.strName, temporary, held.id});
            held.strName = std::move(temporary);
            held.bAside = true;
            ++m_outstanding;
        }
        m_rowMoves.push_back({file, planned.strName, planned.bAside});
        m_names.Move(file, planned.strName, to);
        plan.steps.push_back(
            {row, planned.nCompanion, false, false, planned.strName, to, planned.id});
        planned.strName = to;
        if (planned.bAside) {
            planned.bAside = false;
            --m_outstanding;
        }
        return true;
    }

    static bool Stop(CRenamePlan& plan, CRenameStop::Kind kind, int row) {
        plan.stop.kind = kind;
        plan.stop.nRow = row;
        return false;
    }

    // A stop at one file's own step: the message names that file, which may
    // be a companion while the photo's own name is free.
    bool StopAt(CRenamePlan& plan, CRenameStop::Kind kind, int file, const std::string& to) {
        plan.stop.nCompanion = m_files[file].nCompanion;
        plan.stop.strTo = to;
        return Stop(plan, kind, m_files[file].nRow);
    }

    // A name part longer than the folder's file system takes: refused
    // before the run, not half way through it.
    bool TooLong(const std::string& name) const {
        std::size_t start = 0;
        for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos;
             start = slash + 1) {
            if (slash - start > m_nameMax)
                return true;
        }
        return name.size() - start > m_nameMax;
    }

    // A temporary name that no file of the folder bears and the plan has not
    // given yet.
    std::string FreshTemporaryName() {
        for (;;) {
            std::string name = RandomTemporaryName();
            if (m_names.Holder(name) == kVacant)
                return name;
        }
    }

    // The row's own file takes the identity the scan recorded, or the one
    // its name holds now; a companion the one its name holds now.
    bool FillIdentity(int file) {
        CPlanFile& planned = m_files[file];
        if (planned.id.Known())
            return true;
        CListRow& row = m_rows[planned.nRow];
        if (planned.nCompanion < 0 && row.Id().Known()) {
            planned.id = row.Id();
            return true;
        }
        const std::optional<CFileId> id = m_folder.Identify(planned.strName);
        if (!id)
            return false;
        planned.id = *id;
        if (planned.nCompanion < 0)
            row.SetId(*id);
        return true;
    }

    const CFolderHandle& m_folder;
    CListRows& m_rows;
    CSimulatedFolder m_names;
    std::vector<CPlanFile> m_files;
    std::vector<int> m_firstFile; // by row; one more at the end
    int m_outstanding = 0;        // files under temporary names
    std::size_t m_nameMax = NameMax(m_folder);

    struct CMove {
        int nFile;
        std::string strFrom;
        bool bWasAside;
    };
    std::vector<CMove> m_rowMoves; // those of the row being planned

    static std::size_t NameMax(const CFolderHandle& folder) {
        const long max = fpathconf(folder.Fd(), _PC_NAME_MAX);
        return max > 0 ? static_cast<std::size_t>(max) : NAME_MAX;
    }
};

} // namespace

static int FirstToRename(const CListRows& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage == RowToRename)
            return static_cast<int>(i);
    }
    return -1;
}

CRenamePlan PlanRename(const CFolderHandle& folder, CListRows& rows) {
    CRenamePlan plan;
    const int first = FirstToRename(rows);
    if (first < 0)
        return plan;
    CPlanner planner(folder, rows, folder.FoldsCase(std::string(rows[first].Text(0))));
    std::size_t cleanSteps = 0; // steps after which no file is under a temporary name
    for (int i = first; i < static_cast<int>(rows.size()); ++i) {
        if (rows[i].nImage != RowToRename)
            continue;
        if (!planner.PlanRow(i, plan)) {
            plan.steps.resize(cleanSteps);
            return plan;
        }
        if (planner.Clean())
            cleanSteps = plan.steps.size();
    }
    return plan;
}

std::vector<CRenameStop> FindRefusedRows(const CFolderHandle& folder, CListRows& rows) {
    std::vector<CRenameStop> refused;
    const int first = FirstToRename(rows);
    if (first < 0)
        return refused;
    CPlanner planner(folder, rows, folder.FoldsCase(std::string(rows[first].Text(0))));
    CRenamePlan plan;
    for (int i = first; i < static_cast<int>(rows.size()); ++i) {
        if (rows[i].nImage != RowToRename)
            continue;
        if (!planner.PlanRow(i, plan)) {
            planner.TakeBackRow();
            refused.push_back(std::move(plan.stop));
            plan.stop = {};
        }
        plan.steps.clear(); // only the refusals are wanted
    }
    // The row whose file took a name first is refused with the one it took
    // it from: which of two clashing rows keeps the name is no real choice.
    const std::size_t found = refused.size();
    for (std::size_t k = 0; k < found; ++k) {
        const CRenameStop& stop = refused[k];
        if (stop.kind != CRenameStop::Taken || !stop.bHeldByRun || stop.nHolderRow < 0)
            continue;
        const auto known = [&](const CRenameStop& other) { return other.nRow == stop.nHolderRow; };
        if (std::any_of(refused.begin(), refused.end(), known))
            continue;
        CRenameStop holder;
        holder.kind = CRenameStop::Taken;
        holder.nRow = stop.nHolderRow;
        holder.strTo = stop.strTo;
        holder.strHolder = planner.ListedName(planner.OwnFile(stop.nRow) + 1 + stop.nCompanion);
        holder.bHeldByRun = true;
        holder.nHolderRow = stop.nRow;
        refused.push_back(std::move(holder));
    }
    std::sort(refused.begin(), refused.end(),
              [](const CRenameStop& a, const CRenameStop& b) { return a.nRow < b.nRow; });
    return refused;
}

std::string RefusalText(const CRenameStop& stop) {
    switch (stop.kind) {
    case CRenameStop::Refused:
        return NameFaultText(stop.nFault);
    case CRenameStop::Taken:
        return stop.bHeldByRun ? stop.strHolder + " is to get the same name"
                               : stop.strHolder + " holds that name and is not renamed";
    case CRenameStop::Error:
        return std::strerror(stop.nError);
    case CRenameStop::None:
        break;
    }
    return {};
}

} // namespace velmora
