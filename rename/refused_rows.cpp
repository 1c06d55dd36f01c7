#include "refused_rows.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace velmora {
namespace {

enum RefusalKind { SameName, HeldName, InvalidName, MissingFolder, LongName, OtherFolder, kKinds };

RefusalKind KindOf(const CRenameStop& stop) {
    if (stop.kind == CRenameStop::Taken)
        return stop.bHeldByRun ? SameName : HeldName;
    if (stop.kind == CRenameStop::Refused)
        return InvalidName;
    return stop.nError == ENOENT         ? MissingFolder
           : stop.nError == ENAMETOOLONG ? LongName
                                         : OtherFolder;
}

} // namespace

std::string RefusalKinds(const std::vector<CRenameStop>& refused) {
    static constexpr std::array<const char*, kKinds> kTexts = {
        "two rows given the same name",
        "a name held by a file the run leaves alone",
        "an invalid name",
        "a subfolder that does not exist",
        "a name too long",
        "a folder that can't be reached",
    };
    std::array<bool, kKinds> seen{};
    for (const CRenameStop& stop : refused)
        seen[KindOf(stop)] = true;
    std::string text;
    for (std::size_t kind = 0; kind < kKinds; ++kind) {
        if (seen[kind])
            text += (text.empty() ? "" : ", ") + std::string(kTexts[kind]);
    }
    return text;
}

std::string RefusedCountText(std::size_t refused, unsigned toRename,
                             const std::vector<CRenameStop>& stops) {
    return std::to_string(refused) + " of " + std::to_string(toRename) +
           (toRename == 1 ? " new name" : " new names") + " would be refused (" +
           RefusalKinds(stops) + ")";
}

std::string RefusedRowLines(const std::vector<CRenameStop>& refused, const CListRows& rows) {
    std::string lines;
    for (const CRenameStop& stop : refused) {
        const CListRow& row = rows[stop.nRow];
        lines += '\n' + std::string(row.Text(0)) + " -> " + std::string(row.Text(1)) + ": " +
                 RefusalText(stop);
    }
    return lines;
}

CRenameOutcome RunRenameLeavingRefused(const std::string& folder, CListRows& rows,
                                       const std::vector<CRenameStop>& refused,
                                       CRenameObserver* observer, const CJournalStore* journals,
                                       const std::vector<CJournalClock>& clocks,
                                       const CRunChoices& choices) {
    // Shown to the plan as named, the refused rows are holders the run
    // leaves alone, as the search for refusals took them; they are to
    // rename again afterwards, whatever the run did.
    std::vector<int> left;
    for (const CRenameStop& stop : refused) {
        if (rows[stop.nRow].nImage == RowToRename) {
            rows[stop.nRow].nImage = RowNamed;
            left.push_back(stop.nRow);
        }
    }
    const auto toRename = static_cast<unsigned>(std::count_if(
        rows.begin(), rows.end(), [](const CListRow& row) { return row.nImage == RowToRename; }));
    CRenameOutcome outcome = RunRename(folder, rows, toRename, observer, journals, clocks, choices);
    for (const int row : left)
        rows[row].nImage = RowToRename;
    if (left.empty())
        return outcome;
    const std::string kept =
        std::to_string(left.size()) + (left.size() == 1 ? " keeps its name, its new name refused:"
                                                        : " keep their names, their new names "
                                                          "refused:");
    if (outcome.kind == CRenameOutcome::AllRenamed) {
        // Not every file got its name: the message of a whole run would say so.
        outcome.kind = CRenameOutcome::SomeRenamed;
        outcome.strCaption = "Rename Some Files";
        outcome.strText =
            std::to_string(outcome.nRenamed) +
            (outcome.nRenamed == 1 ? " file was renamed; " : " files were renamed; ") + kept;
    } else {
        outcome.strText +=
            "\n\n" + std::to_string(left.size()) + (left.size() == 1 ? " file " : " files ") + kept;
    }
    outcome.strText += RefusedRowLines(refused, rows);
    return outcome;
}

} // namespace velmora
