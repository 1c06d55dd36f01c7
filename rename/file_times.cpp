#include "file_times.h"

#include "date_choice.h"
#include "ole_date.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "run_messages.h"
#include "safe_rename.h"

#include <cerrno>
#include <ctime>

namespace velmora {

std::optional<std::int64_t> NamedMoment(const CListRow& row) {
    // Floored as the name's seconds are.
    const std::int64_t wall = row.nData >= 0 ? row.nData / 1000 : -((999 - row.nData) / 1000);
    if (row.nDateOffset != kNoDateOffset)
        return wall - std::int64_t(row.nDateOffset) * 60;
    const std::optional<ole::DateFields> fields = ole::FieldsOf(wall);
    if (!fields)
        return std::nullopt;
    std::tm tm = ole::ToTm(*fields);
    errno = 0;
    const std::time_t moment = mktime(&tm);
    if (moment == -1 && errno != 0)
        return std::nullopt;
    return moment;
}

std::vector<std::optional<CFileTimes>> PlanFileTimes(const CFolderHandle& folder,
                                                     const CListRows& rows,
                                                     const std::vector<CRenameStep>& steps) {
    std::vector<std::optional<CFileTimes>> times;
    for (const CRenameStep& step : steps) {
        if (!step.bFirst)
            continue;
        struct stat status {};
        if (folder.Status(std::string(RowFileName(rows[step.nRow], step.nCompanion)), status) !=
            0) {
            times.emplace_back();
            continue;
        }
        times.push_back(CFileTimes{status.st_atim.tv_sec, status.st_mtim.tv_sec,
                                   static_cast<std::uint32_t>(status.st_atim.tv_nsec),
                                   static_cast<std::uint32_t>(status.st_mtim.tv_nsec)});
    }
    return times;
}

std::string SetNamedTimes(const CFolderHandle& folder, const CListRows& rows,
                          const std::vector<CRenameStep>& steps, CPlanResult& result) {
    std::string notes;
    auto stamp = result.stamps.begin(); // sorted by file, as the run reached them
    std::size_t file = 0;
    for (const CRenameStep& step : steps) {
        if (!step.bFirst)
            continue;
        const std::size_t index = file++;
        if (index >= result.nFilesTouched)
            break;
        const CListRow& row = rows[step.nRow];
        const std::string name(RowFileName(row, step.nCompanion));
        const std::optional<std::int64_t> moment = NamedMoment(row);
        const std::optional<CFileId> id = folder.Identify(name);
        const bool same = id && *id == step.id;
        int error = !moment ? EOVERFLOW : 0;
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {static_cast<std::time_t>(moment.value_or(0)), 0}};
        if (same && error == 0)
            error = folder.SetTimes(name, times);
        if (!same || error != 0) {
            notes += TimeNotSetLine(name, same ? error : 0);
            continue;
        }
        while (stamp != result.stamps.end() && stamp->first < index)
            ++stamp;
        if (stamp != result.stamps.end() && stamp->first == index) {
            if (const auto now = folder.IdentifyStamped(name))
                stamp->second = now->second;
        }
    }
    return notes;
}

} // namespace velmora
