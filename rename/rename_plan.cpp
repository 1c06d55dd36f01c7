#include "rename_plan.h"

#include "companions.h"
#include "identical_files.h"
#include "name_compare.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>
#include <unordered_set>

namespace velmora {
namespace {

constexpr int kVacant = -1;  // the run moved the name's file away
constexpr int kForeign = -2; // held by a file that no row names

// Where the simulated run has a file; its name follows from the rows.
enum class Place : std::uint8_t {
    Listed,  // the name the rows show for it
    Aside,   // its temporary name
    Renamed, // its new name
};

// A file the plan may move: a row's own file or one of its companions
// (32 bytes; its name is told by its place, not kept).
struct CPlanFile {
    std::uint64_t nTemporary = 0; // Aside: the temporary name's number
    CFileId id;
    int nRow = 0;
    Place place = Place::Listed;
};

static_assert(sizeof(CPlanFile) <= 32);

// The folder's names as the simulated run changes them: which file holds
// which name. Names directly in the folder come from one listing; names in
// subfolders are looked up on disk when first met. An open-addressing table
// of 12-byte slots: a slot held by a file of the rows keeps only the name's
// hash and asks the planner for the file's name, so that no name of the rows
// is copied; so does a name a file of the rows left, from its name in the
// rows. Other names (the folder's other entries, names in subfolders held by
// no file) are kept in one buffer.
class CSimulatedFolder {
public:
    using NameOf = std::function<void(int file, std::string& name)>;

    CSimulatedFolder(const CFolderHandle& folder, bool foldCase, NameOf nameOf, NameOf listedOf,
                     std::size_t files)
        : m_folder(folder), m_foldCase(foldCase), m_nameOf(std::move(nameOf)),
          m_listedOf(std::move(listedOf)) {
        std::size_t size = 64;
        while (size < 2 * files)
            size *= 2;
        m_slots.assign(size, CSlot{});
    }

    void Hold(std::string_view name, int file) {
        std::string buffer;
        const std::string_view key = Key(name, buffer);
        const std::uint32_t hash = Hash(key);
        const auto [slot, found] = Find(key, hash);
        if (found)
            m_slots[slot].nValue = file;
        else
            Insert(slot, {hash, file, 0});
    }

    // The file that holds `name`, kForeign, or kVacant when it is free.
    int Holder(const std::string& name) {
        std::string buffer;
        const std::string_view key = Key(name, buffer);
        const std::uint32_t hash = Hash(key);
        const auto [slot, found] = Find(key, hash);
        if (found)
            return m_slots[slot].nValue;
        // A name directly in the folder that the listing did not have is free.
        if (name.find('/') == std::string::npos)
            return kVacant;
        // A free one is looked up again when asked again: most are taken by
        // the file asking at once, and keeping the rest would cost a copy of
        // every new name of a run into date folders.
        if (!m_folder.Identify(name))
            return kVacant;
        Insert(slot, {hash, kForeign, AddName(key)});
        return kForeign;
    }

    // The file at `name` moves away (to a name it is then held under);
    // `listed`: the name is its name in the rows, which then stands for the
    // key without a copy.
    void Vacate(std::string_view name, int file, bool listed) {
        std::string buffer;
        const std::string_view key = Key(name, buffer);
        const std::uint32_t hash = Hash(key);
        const auto [slot, found] = Find(key, hash);
        if (name.find('/') == std::string_view::npos) {
            // Absent from the table, a name directly in the folder is free.
            if (found)
                Erase(slot);
        } else if (!found) {
            Insert(slot, {hash, kVacant, AddName(key)});
        } else {
            // A name in a subfolder not in the table would be looked up on
            // disk, where its file still is: it stays, as vacant.
            if (m_slots[slot].nValue >= 0)
                m_slots[slot].nName =
                    listed ? kListedName | static_cast<std::uint32_t>(file) : AddName(key);
            m_slots[slot].nValue = kVacant;
        }
    }

    // The folder's names that no file of the rows holds (once all are held).
    void ListFolder() {
        const int fd = openat(m_folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
        if (!dir) {
            close(fd);
            return;
        }
        std::string buffer;
        while (const dirent* entry = readdir(dir.get())) {
            const std::string_view key = Key(entry->d_name, buffer);
            const std::uint32_t hash = Hash(key);
            if (const auto [slot, found] = Find(key, hash); !found)
                Insert(slot, {hash, kForeign, AddName(key)});
        }
    }

private:
    static constexpr std::int32_t kEmpty = INT32_MIN;
    // In nName: the key is this file's name in the rows (a 2 GiB buffer of
    // names is out of reach).
    static constexpr std::uint32_t kListedName = 0x80000000u;

    struct CSlot {
        std::uint32_t nHash = 0;
        std::int32_t nValue = kEmpty; // a file, kVacant, kForeign, or kEmpty
        std::uint32_t nName = 0;      // not a file: where m_names has the key, or kListedName
    };

    std::string_view Key(std::string_view name, std::string& buffer) const {
        if (!m_foldCase)
            return name;
        buffer = FoldCase(name);
        return buffer;
    }

    static std::uint32_t Hash(std::string_view key) {
        return static_cast<std::uint32_t>(std::hash<std::string_view>{}(key));
    }

    std::uint32_t AddName(std::string_view key) {
        const auto at = static_cast<std::uint32_t>(m_names.size());
        m_names.append(key).push_back('\0');
        return at;
    }

    bool SameKey(const CSlot& slot, std::string_view key) {
        if (slot.nValue < 0 && (slot.nName & kListedName) == 0)
            return std::string_view(m_names.data() + slot.nName) == key;
        if (slot.nValue < 0)
            m_listedOf(static_cast<int>(slot.nName & ~kListedName), m_name);
        else
            m_nameOf(slot.nValue, m_name);
        return Key(m_name, m_folded) == key;
    }

    // The slot that holds `key`, or the free slot where it would go.
    std::pair<std::size_t, bool> Find(std::string_view key, std::uint32_t hash) {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            if (m_slots[i].nValue == kEmpty)
                return {i, false};
            if (m_slots[i].nHash == hash && SameKey(m_slots[i], key))
                return {i, true};
        }
    }

    void Insert(std::size_t slot, const CSlot& value) {
        m_slots[slot] = value;
        if (++m_used * 2 <= m_slots.size())
            return;
        // Half full: twice the slots, each put where its hash leads.
        std::vector<CSlot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const std::size_t mask = m_slots.size() - 1;
        for (const CSlot& moved : old) {
            if (moved.nValue == kEmpty)
                continue;
            std::size_t i = moved.nHash & mask;
            while (m_slots[i].nValue != kEmpty)
                i = (i + 1) & mask;
            m_slots[i] = moved;
        }
    }

    // Frees the slot, moving back the slots after it that a probe would no
    // longer reach across the gap.
    void Erase(std::size_t hole) {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = (hole + 1) & mask; m_slots[i].nValue != kEmpty; i = (i + 1) & mask) {
            const std::size_t home = m_slots[i].nHash & mask;
            if (((i - home) & mask) >= ((i - hole) & mask)) {
                m_slots[hole] = m_slots[i];
                hole = i;
            }
        }
        m_slots[hole] = CSlot{};
        --m_used;
    }

    const CFolderHandle& m_folder;
    const bool m_foldCase;
    NameOf m_nameOf;
    NameOf m_listedOf;          // a file's name in the rows
    std::vector<CSlot> m_slots; // a power of two, at most half used
    std::size_t m_used = 0;
    std::string m_names;  // keys of the slots no file holds, each ended by a NUL
    std::string m_name;   // a file's name, asked for while comparing
    std::string m_folded; // its folded form
};

// The simulated run: the files, where each is, and the steps so far.
class CPlanner {
public:
    CPlanner(const CFolderHandle& folder, CListRows& rows, bool foldCase, bool createFolders)
        : m_folder(folder), m_rows(rows), m_createFolders(createFolders),
          m_names(
              folder, foldCase,
              [this](int file, std::string& name) {
                  const CPlanFile& planned = m_files[file];
                  NameAt(file, planned.place, planned.nTemporary, name);
              },
              [this](int file, std::string& name) { NameAt(file, Place::Listed, 0, name); },
              FileCount(rows)) {
        m_files.reserve(FileCount(rows));
        m_firstFile.reserve(rows.size() + 1);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            m_firstFile.push_back(static_cast<int>(m_files.size()));
            const std::size_t files = 1 + rows[r].CompanionCount();
            for (std::size_t c = 0; c < files; ++c)
                m_files.push_back({0, {}, static_cast<int>(r), Place::Listed});
        }
        m_firstFile.push_back(static_cast<int>(m_files.size()));
        for (std::size_t f = 0; f < m_files.size(); ++f)
            m_names.Hold(RowFileName(rows[m_files[f].nRow], CompanionOf(static_cast<int>(f))),
                         static_cast<int>(f));
        m_names.ListFolder();
    }

    // The files of the rows to rename from row `first` on: the steps of a
    // run without holders to move aside.
    std::size_t FilesToRename(int first) const {
        std::size_t files = 0;
        for (std::size_t r = static_cast<std::size_t>(first); r < m_rows.size(); ++r) {
            if (m_rows[r].nImage == RowToRename)
                files += static_cast<std::size_t>(m_firstFile[r + 1] - m_firstFile[r]);
        }
        return files;
    }

    // Plans row `row` whole: every file of it that needs a new name, its
    // companions first. False with the stop filled in when it can't be.
    bool PlanRow(int row, CRenamePlan& plan) {
        m_rowMoves.clear();
        if (m_createFolders && AlreadyThere(row)) {
            plan.identical.push_back(row);
            return true;
        }
        const std::size_t before = plan.steps.size();
        for (int f = m_firstFile[row] + 1; f <= m_firstFile[row + 1]; ++f) {
            // Companions first, the row's own file (m_firstFile[row]) last.
            const int file = f < m_firstFile[row + 1] ? f : m_firstFile[row];
            const int companion = CompanionOf(file);
            const std::string to =
                NewFileName(m_rows[row], companion, RowFileName(m_rows[row], companion));
            if (m_files[file].place != Place::Aside && AlreadyNamed(Name(file), to))
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
            const CPlanFile& file = m_files[it->nFile];
            if ((file.place == Place::Aside) != (it->place == Place::Aside))
                m_outstanding += it->place == Place::Aside ? 1 : -1;
            std::string name;
            NameAt(it->nFile, it->place, it->nTemporary, name);
            Move(it->nFile, it->place, it->nTemporary, name);
        }
        m_rowMoves.clear();
    }

    // The file's name in the rows, from before the run.
    std::string ListedName(int file) const {
        return std::string(RowFileName(m_rows[m_files[file].nRow], CompanionOf(file)));
    }

    int OwnFile(int row) const { return m_firstFile[row]; }

private:
    static std::size_t FileCount(const CListRows& rows) {
        std::size_t files = 0;
        for (const CListRow& row : rows)
            files += 1 + row.CompanionCount();
        return files;
    }

    int CompanionOf(int file) const { return file - m_firstFile[m_files[file].nRow] - 1; }

    // The name the file has at `place`.
    void NameAt(int file, Place place, std::uint64_t temporary, std::string& name) const {
        const CListRow& row = m_rows[m_files[file].nRow];
        const int companion = CompanionOf(file);
        if (place == Place::Aside)
            name = TemporaryName(temporary);
        else if (place == Place::Listed)
            name = RowFileName(row, companion);
        else
            name = NewFileName(row, companion, RowFileName(row, companion));
    }

    // Where the simulated run has the file now.
    std::string Name(int file) const {
        std::string name;
        NameAt(file, m_files[file].place, m_files[file].nTemporary, name);
        return name;
    }

    // The file leaves its name for `to`, its name at `place`.
    void Move(int file, Place place, std::uint64_t temporary, const std::string& to) {
        m_names.Vacate(Name(file), file, m_files[file].place == Place::Listed);
        m_files[file].place = place;
        m_files[file].nTemporary = temporary;
        m_names.Hold(to, file);
    }

    bool PlanFile(int file, const std::string& to, CRenamePlan& plan) {
        CPlanFile& planned = m_files[file];
        const int row = planned.nRow;
        plan.stop.nFault = CheckNewName(to);
        if (plan.stop.nFault != NameFault::None)
            return Stop(plan, CRenameStop::Refused, row);
        if (to.find('/') != std::string::npos) {
            const int error = ReachFolder(to, plan);
            if (error == ELOOP) {
                plan.stop.nFault = NameFault::ThroughLink;
                return Stop(plan, CRenameStop::Refused, row);
            }
            if (error != 0) {
                plan.stop.nError = error;
                plan.stop.bFolderPart = true;
                plan.stop.strTo = to;
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
        if (holder == file && Name(file) != to)
            PlanSelfAside(file, plan);
        if (holder != kVacant && holder != file) {
            // Only a file that this run renames later may be moved aside:
            // any other holder would be left under a temporary name.
            const bool later = holder >= 0 && m_files[holder].nRow > row &&
                               m_rows[m_files[holder].nRow].nImage == RowToRename &&
                               m_files[holder].place != Place::Aside;
            if (!later || !FillIdentity(holder)) {
                // A holder the run moved there is named as listed, the name
                // the user knows it by.
                plan.stop.strHolder = holder >= 0 ? ListedName(holder) : to;
                plan.stop.bHeldByRun = holder >= 0 && Name(holder) != ListedName(holder);
                plan.stop.nHolderRow = holder >= 0 ? m_files[holder].nRow : -1;
                return StopAt(plan, CRenameStop::Taken, file, to);
            }
            const CPlanFile& held = m_files[holder];
            m_rowMoves.push_back({holder, held.place, held.nTemporary});
            const std::uint64_t temporary = FreshTemporaryNumber();
            plan.steps.push_back({held.nRow, CompanionOf(holder), true, false,
                                  held.place == Place::Listed, temporary, held.id});
            Move(holder, Place::Aside, temporary, TemporaryName(temporary));
            ++m_outstanding;
        }
        m_rowMoves.push_back({file, planned.place, planned.nTemporary});
        plan.steps.push_back(
            {row, CompanionOf(file), false, false, planned.place == Place::Listed, 0, planned.id});
        if (planned.place == Place::Aside)
            --m_outstanding;
        Move(file, Place::Renamed, 0, to);
        return true;
    }

    // A file system that finds names ignoring case holds IMG.jpg as the very
    // entry IMG.JPG, which a rename that never replaces can't give another
    // case: the file goes aside first, and from there to its new name.
    void PlanSelfAside(int file, CRenamePlan& plan) {
        CPlanFile& planned = m_files[file];
        m_rowMoves.push_back({file, planned.place, planned.nTemporary});
        const std::uint64_t temporary = FreshTemporaryNumber();
        plan.steps.push_back({planned.nRow, CompanionOf(file), true, false,
                              planned.place == Place::Listed, temporary, planned.id});
        Move(file, Place::Aside, temporary, TemporaryName(temporary));
        ++m_outstanding;
    }

    // Whether the row's new name is held, on disk, by a file that keeps it
    // (one no row moves away) and that holds the same bytes as the row's.
    bool AlreadyThere(int row) {
        const int own = m_firstFile[row];
        const std::string to = NewFileName(m_rows[row], -1, {});
        const std::size_t slash = to.rfind('/');
        // A folder the run is to make holds nothing yet.
        if ((slash != std::string::npos && m_planned.contains(to.substr(0, slash))) ||
            CheckNewName(to) != NameFault::None || m_folder.ParentError(to) != 0)
            return false;
        const int holder = m_names.Holder(to);
        const bool keeps =
            holder == kForeign ||
            (holder >= 0 && holder != own && m_files[holder].place == Place::Listed &&
             !(m_files[holder].nRow > row && m_rows[m_files[holder].nRow].nImage == RowToRename));
        return keeps && m_files[own].place == Place::Listed &&
               SameBytes(m_folder.Fd(), Name(own), to);
    }

    // 0 when the folder part of `to` leads to a folder, or to one the plan
    // creates (with createFolders, the missing ones are added to the plan's);
    // else the errno value, ELOOP for a symbolic link on the way.
    int ReachFolder(const std::string& to, CRenamePlan& plan) {
        const std::string_view parent = std::string_view(to).substr(0, to.rfind('/'));
        if (m_planned.contains(std::string(parent)))
            return 0;
        const int error = m_folder.ParentError(to);
        if (error != ENOENT || !m_createFolders)
            return error;
        // Part by part: the first missing one and every one below it are made.
        for (std::size_t end = parent.find('/');; end = parent.find('/', end + 1)) {
            std::string part(parent.substr(0, end));
            if (!m_planned.contains(part)) {
                const int partError = m_folder.ParentError(part + '/');
                if (partError == ENOENT) {
                    plan.folders.push_back(part);
                    m_planned.insert(std::move(part));
                } else if (partError != 0) {
                    return partError;
                }
            }
            if (end == std::string_view::npos)
                return 0;
        }
    }

    static bool Stop(CRenamePlan& plan, CRenameStop::Kind kind, int row) {
        plan.stop.kind = kind;
        plan.stop.nRow = row;
        return false;
    }

    // A stop at one file's own step: the message names that file, which may
    // be a companion while the photo's own name is free.
    bool StopAt(CRenamePlan& plan, CRenameStop::Kind kind, int file, const std::string& to) {
        plan.stop.nCompanion = CompanionOf(file);
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
    std::uint64_t FreshTemporaryNumber() {
        for (;;) {
            const std::uint64_t number = RandomTemporaryNumber();
            if (m_names.Holder(TemporaryName(number)) == kVacant)
                return number;
        }
    }

    // The row's own file takes the identity the scan recorded, or the one
    // its name holds now; a companion the one its name holds now.
    bool FillIdentity(int file) {
        CPlanFile& planned = m_files[file];
        if (planned.id.Known())
            return true;
        CListRow& row = m_rows[planned.nRow];
        const bool own = CompanionOf(file) < 0;
        if (own && row.Id().Known()) {
            planned.id = row.Id();
            return true;
        }
        const std::optional<CFileId> id = m_folder.Identify(Name(file));
        if (!id)
            return false;
        planned.id = *id;
        if (own)
            row.SetId(*id);
        return true;
    }

    const CFolderHandle& m_folder;
    CListRows& m_rows;
    const bool m_createFolders;
    std::unordered_set<std::string> m_planned; // the folders the plan creates
    std::vector<CPlanFile> m_files;
    std::vector<int> m_firstFile; // by row; one more at the end
    CSimulatedFolder m_names;
    int m_outstanding = 0; // files under temporary names
    std::size_t m_nameMax = NameMax(m_folder);

    // A file's place before a move of the row being planned.
    struct CMove {
        int nFile;
        Place place;
        std::uint64_t nTemporary;
    };
    std::vector<CMove> m_rowMoves;

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

CRenamePlan PlanRename(const CFolderHandle& folder, CListRows& rows, bool createFolders) {
    CRenamePlan plan;
    const int first = FirstToRename(rows);
    if (first < 0)
        return plan;
    CPlanner planner(folder, rows, folder.FoldsCase(std::string(rows[first].Text(0))),
                     createFolders);
    plan.steps.reserve(planner.FilesToRename(first));
    std::size_t cleanSteps = 0; // steps after which no file is under a temporary name
    std::size_t cleanFolders = 0;
    for (int i = first; i < static_cast<int>(rows.size()); ++i) {
        if (rows[i].nImage != RowToRename)
            continue;
        if (!planner.PlanRow(i, plan)) {
            plan.steps.resize(cleanSteps);
            plan.folders.resize(cleanFolders);
            return plan;
        }
        if (planner.Clean()) {
            cleanSteps = plan.steps.size();
            cleanFolders = plan.folders.size();
        }
    }
    return plan;
}

std::vector<CRenameStop> FindRefusedRows(const CFolderHandle& folder, CListRows& rows,
                                         bool createFolders) {
    std::vector<CRenameStop> refused;
    const int first = FirstToRename(rows);
    if (first < 0)
        return refused;
    CPlanner planner(folder, rows, folder.FoldsCase(std::string(rows[first].Text(0))),
                     createFolders);
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
    std::vector<bool> marked(rows.size());
    for (const CRenameStop& stop : refused)
        marked[static_cast<std::size_t>(stop.nRow)] = true;
    const std::size_t found = refused.size();
    for (std::size_t k = 0; k < found; ++k) {
        const CRenameStop& stop = refused[k];
        if (stop.kind != CRenameStop::Taken || !stop.bHeldByRun || stop.nHolderRow < 0 ||
            marked[static_cast<std::size_t>(stop.nHolderRow)])
            continue;
        marked[static_cast<std::size_t>(stop.nHolderRow)] = true;
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

std::string_view RowFileName(const CListRow& row, int companion) {
    return companion < 0 ? row.Text(0) : row.Companion(static_cast<std::size_t>(companion));
}

std::string NewFileName(const CListRow& row, int companion, std::string_view listed) {
    return companion < 0 ? std::string(row.Text(1))
                         : CompanionTarget(row.Text(1), listed, row.CompanionCase());
}

std::string RefusalText(const CRenameStop& stop) {
    switch (stop.kind) {
    case CRenameStop::Refused:
        return NameFaultText(stop.nFault);
    case CRenameStop::Taken:
        return stop.bHeldByRun ? stop.strHolder + " is to get the same name"
                               : stop.strHolder + " holds that name and is not renamed";
    case CRenameStop::Error:
        if (stop.bFolderPart && stop.nError == ENOENT)
            return "The subfolder '" + stop.strTo.substr(0, stop.strTo.rfind('/')) +
                   "' does not exist.";
        return std::strerror(stop.nError);
    case CRenameStop::None:
        break;
    }
    return {};
}

} // namespace velmora
