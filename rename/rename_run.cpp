#include "rename_run.h"

#include "name_compare.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace velmora {
namespace {

constexpr std::size_t kMaxErrorText = 127;

CRenameOutcome Outcome(CRenameOutcome::Kind kind, const char* text, const char* caption,
                       bool errorIcon, int renamed) {
    CRenameOutcome outcome;
    outcome.kind = kind;
    outcome.strText = text;
    outcome.strCaption = caption;
    outcome.bErrorIcon = errorIcon;
    outcome.nRenamed = renamed;
    return outcome;
}

CRenameOutcome ErrorOutcome(int error, int renamed) {
    std::string text = std::strerror(error);
    if (text.size() > kMaxErrorText)
        text.resize(kMaxErrorText);
    return Outcome(CRenameOutcome::ErrorRename, text.c_str(), "Error Rename", true, renamed);
}

// Finds, among the rows below a given one, the first whose current name
// equals a wanted name ignoring case. Built at the first clash only, so that a
// run without clashes pays nothing; kept up to date as names change.
class CHolderIndex {
public:
    explicit CHolderIndex(const CListRows& rows) : m_rows(rows) {}

    int FindBelow(int row, const std::string& name, const CFolderHandle& folder) {
        if (!m_built)
            Build();
        const auto it = m_byName.find(FoldCase(name));
        if (it == m_byName.end())
            return -1;
        for (const int candidate : it->second) {
            // Only a row whose file really is the one holding the name can
            // free it; on a case-sensitive file system a name differing in
            // case is another file.
            if (candidate > row && folder.SameFile(std::string(m_rows[candidate].Text(0)), name))
                return candidate;
        }
        return -1;
    }

    void Renamed(int row, const std::string& oldName, const std::string& newName) {
        if (!m_built)
            return;
        std::vector<int>& old = m_byName[FoldCase(oldName)];
        old.erase(std::remove(old.begin(), old.end(), row), old.end());
        std::vector<int>& now = m_byName[FoldCase(newName)];
        now.insert(std::upper_bound(now.begin(), now.end(), row), row);
    }

private:
    void Build() {
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            m_byName[FoldCase(m_rows[i].Text(0))].push_back(static_cast<int>(i));
        m_built = true;
    }

    const CListRows& m_rows;
    bool m_built = false;
    std::unordered_map<std::string, std::vector<int>> m_byName; // row numbers ascending
};

} // namespace

CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer) {
    if (renameCount == 0)
        return Outcome(CRenameOutcome::NoItems, "There are no items to be renamed!", "Error", false,
                       0);
    const CFolderHandle dir(folder);
    CHolderIndex holders(rows);
    int renamed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage != RowToRename)
            continue;
        for (;;) {
            // Copies: the row's texts change below, and views of them with it.
            const std::string from(rows[i].Text(0));
            const std::string to(rows[i].Text(1));
            const int error = dir.RenameNoReplace(from, to);
            if (error == 0) {
                rows[i].SetText(0, to);
                rows[i].nImage = RowNamed;
                ++renamed;
                holders.Renamed(static_cast<int>(i), from, to);
                if (observer != nullptr)
                    observer->OnRenamed(from, to);
                break;
            }
            const int holder =
                error == EEXIST ? holders.FindBelow(static_cast<int>(i), to, dir) : -1;
            if (holder < 0)
                return ErrorOutcome(error, renamed);
            // Free the name: the holder's file goes aside under a fresh name,
            // keeping its status; a holder still to be renamed gets there later.
            const std::string held(rows[holder].Text(0));
            const std::string temporary = dir.MakeTemporaryName();
            const int asideError =
                temporary.empty() ? EEXIST : dir.RenameNoReplace(held, temporary);
            if (asideError != 0)
                return ErrorOutcome(asideError, renamed);
            rows[holder].SetText(0, temporary);
            holders.Renamed(holder, held, temporary);
            if (observer != nullptr)
                observer->OnMovedAside(held, temporary);
        }
    }
    if (static_cast<unsigned>(renamed) == renameCount)
        return Outcome(CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                       "Rename Files", false, renamed);
    if (renamed != 0)
        return Outcome(CRenameOutcome::SomeRenamed, "Error: not all files were re-named !",
                       "Rename Some Files", false, renamed);
    return Outcome(CRenameOutcome::NoneRenamed, "None of the files where re-named!", "Error", true,
                   renamed);
}

} // namespace velmora
