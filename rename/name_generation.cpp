#include "name_generation.h"

#include "clash_suffixes.h"
#include "companions.h"
#include "date_choice.h"
#include "format_codes.h"
#include "format_program.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "ole_date.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <exception>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr char kPathSeparator = '/';

// The counter pass: a plain replacement of every "%C", blind to other codes.
std::string ReplaceCounter(std::string format, int counter) {
    char digits[16];
    const int length = std::snprintf(digits, sizeof(digits), "%03d", counter);
    for (std::size_t pos = format.find("%C"); pos != std::string::npos;
         pos = format.find("%C", pos + length)) {
        format.replace(pos, 2, digits, length);
    }
    return format;
}

// Walks `format` as the date pass will read it, calling `code` for each of
// the list's counters in braces ("%{day}", "%{n}") and `text` for the rest;
// "%%" and the other codes go to `text` whole, so that a "%{" they end is no
// code.
template <typename Text, typename Code>
void ReadCounterCodes(std::string_view format, const Text& text, const Code& code) {
    std::size_t from = 0;
    velmora::ForEachBraceCode(
        format, [&](std::size_t start, std::size_t end, const velmora::BraceCode* found) {
            if (found == nullptr ||
                (*found != velmora::BraceCode::Day && *found != velmora::BraceCode::Clash))
                return;
            text(format.substr(from, start - from));
            code(*found);
            from = end;
        });
    text(format.substr(from));
}

// The strftime path's format for one row, "%{day}" replaced by `dayCounter`
// (three digits at least), cut into the pieces between its "%{n}" codes.
void SplitAtClashCodes(std::string_view format, unsigned dayCounter,
                       std::vector<std::string>& pieces) {
    pieces.assign(1, std::string());
    ReadCounterCodes(
        format, [&pieces](std::string_view text) { pieces.back() += text; },
        [&](velmora::BraceCode code) {
            if (code == velmora::BraceCode::Clash) {
                pieces.emplace_back();
                return;
            }
            char digits[16];
            pieces.back().append(digits, static_cast<std::size_t>(std::snprintf(
                                             digits, sizeof(digits), "%03u", dayCounter)));
        });
}

// `name` becomes the folder part of `path`, then what `expand` appends, then
// the extension of `path`.
template <typename Expand>
void AssembleName(std::string_view path, std::string& name, const Expand& expand) {
    const std::size_t slash = path.rfind(kPathSeparator);
    name.assign(path.substr(0, slash != std::string_view::npos ? slash + 1 : 0));
    expand(name);
    // The last "." of the whole path, folder part included, starts the extension.
    const std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos)
        name.append(path.substr(dot));
}

// The strftime path's name for the date `taken`: the counter codes replaced
// first, then the value codes, then each piece of the format expanded on its
// own, every "%{n}" as nothing, its offset in `name` going to `clashAt` when
// that is given.
void ExpandByStrftime(std::string_view path, double taken, const std::string& format, int counter,
                      const velmora::CNameValues& values, unsigned dayCounter,
                      std::uint32_t* clashAt, std::string& name) {
    std::string replaced = counter >= 0 ? ReplaceCounter(format, counter) : format;
    velmora::ReplaceValueCodes(replaced, values);
    if (replaced.find("%{") == std::string::npos) {
        AssembleName(path, name,
                     [&](std::string& out) { out += velmora::ole::Format(taken, replaced); });
        return;
    }
    std::vector<std::string> pieces;
    SplitAtClashCodes(replaced, dayCounter, pieces);
    AssembleName(path, name, [&](std::string& out) {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0 && clashAt != nullptr)
                *clashAt++ = static_cast<std::uint32_t>(out.size());
            out += velmora::ole::Format(taken, pieces[i]);
        }
    });
}

} // namespace

void CJpegFile::BuildFileName(const std::string& path, std::string& name, const std::string& format,
                              int counter) const {
    // A lone file knows its own name; its other values are unknown.
    std::string stem;
    velmora::AssignCleanValue(stem, velmora::StemOf(path));
    velmora::CNameValues values;
    if (!stem.empty())
        values.name = stem;
    // As in a list: a format with a folder part places the file from the top.
    std::string_view placed = path;
    if (format.find(kPathSeparator) != std::string::npos)
        placed.remove_prefix(placed.rfind(kPathSeparator) + 1);
    ExpandByStrftime(placed, m_info.m_dtTaken, format, counter, values, 0, nullptr, name);
}

namespace velmora {
namespace {

constexpr std::int64_t kMillisPerSecond = 1000;
constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1970-01-01 back to 1899-12-30, the OLE date 0.
constexpr std::int64_t kOleDayZero = -25569;
// Long lists are named in chunks that the cores take in turn, so that a
// thread the machine is slow to start costs no more than the chunks it took.
// A chunk is worth a thread's start; strftime costs some ten times what the
// compiled format does.
constexpr std::size_t kCompiledChunk = 8192;
constexpr std::size_t kStrftimeChunk = 1024;
constexpr unsigned kMaxThreads = 8;

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The dates rows' names show: their wall-clock fields, or for a value
// outside the valid years the OLE date 0 that the strftime path expands then.
// The weekday and day of the year come from the day count, as ole::Format
// takes them. The calendar part of the last day is kept: a list sorted by
// date has many rows a day.
class CNameDates {
public:
    CNameDate Of(std::int64_t millis) {
        const std::int64_t seconds = FloorDiv(millis, kMillisPerSecond);
        const std::int64_t day = FloorDiv(seconds, kSecondsPerDay);
        if (day != m_day || !m_known)
            SetDay(day);
        if (!m_valid)
            return m_date;
        CNameDate date = m_date;
        const int time = static_cast<int>(seconds - day * kSecondsPerDay);
        date.hour = time / 3600;
        date.minute = time / 60 % 60;
        date.second = time % 60;
        return date;
    }

private:
    // Validity goes by the year alone, so the day's start tells for all of it.
    void SetDay(std::int64_t day) {
        static constexpr int kDaysBeforeMonth[] = {0,   31,  59,  90,  120, 151,
                                                   181, 212, 243, 273, 304, 334};
        m_day = day;
        m_known = true;
        std::optional<ole::DateFields> fields = ole::FieldsOf(day * kSecondsPerDay);
        m_valid = fields.has_value();
        if (!m_valid) {
            fields = ole::DateFields{1899, 12, 30, 0, 0, 0};
            day = kOleDayZero;
        }
        m_date = {fields->year, fields->month, fields->day, 0, 0, 0};
        m_date.weekday = static_cast<int>(((day % 7) + 11) % 7); // 1970-01-01 was a Thursday
        m_date.yearDay = kDaysBeforeMonth[m_date.month - 1] + m_date.day - 1 +
                         (m_date.month > 2 && IsLeapYear(m_date.year) ? 1 : 0);
    }

    std::int64_t m_day = 0;
    bool m_known = false;
    bool m_valid = false;
    CNameDate m_date;
};

// True when every companion of the row already has the name that goes with
// `converted`; `target` is a buffer the caller reuses.
bool CompanionsNamed(const CListRow& row, std::string_view converted, std::string& target) {
    for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i) {
        AssignCompanionTarget(target, converted, row.Companion(i), row.CompanionCase());
        if (!AlreadyNamed(row.Companion(i), target))
            return false;
    }
    return true;
}

// Cases the extension that the name took from `path` (from its last ".").
// Keep costs nothing: a keystroke names every row.
void CaseNameExtension(std::string_view path, std::string& name, ExtensionCase extension) {
    const std::size_t dot = path.rfind('.');
    if (extension == ExtensionCase::Keep || dot == std::string_view::npos)
        return;
    CaseExtension(name, name.size() - (path.size() - dot), extension);
}

// Whether `converted` ends in the very bytes of the extension of `path`: a
// name that differs from the file's in its extension's case alone is one to
// rename (the choice of Extensions made it so).
bool ExtensionKept(std::string_view converted, std::string_view path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string_view::npos || converted.ends_with(path.substr(dot));
}

// Sets the status of a row that gets the name `converted`; true when a
// rename would change it.
bool SetStatus(CListRow& row, std::string_view converted, std::string& target) {
    const bool named = ExtensionKept(converted, row.Text(0)) &&
                       EqualNoCase(converted, row.Text(0)) &&
                       CompanionsNamed(row, converted, target);
    row.nImage = named ? RowNamed : RowToRename;
    return !named;
}

bool IsNamed(const CListRow& row) {
    return row.nImage == RowToRename || row.nImage == RowNamed;
}

// The suffix choice of this thread, ready for `rows` rows. Its memory is kept
// for the next keystroke: fresh pages cost about a millisecond a keystroke at
// 100,000 rows.
CClashSuffixes& KeptClashSuffixes(std::size_t rows, std::size_t clashCount) {
    thread_local CClashSuffixes clash;
    clash.Reset(rows, clashCount);
    return clash;
}

// What the list's counters in braces need beside each row: its counter of its
// day, and what its clash suffix is chosen from.
struct CListCounters {
    std::vector<std::uint32_t> day;  // per row; empty when the format has no "%{day}"
    CClashSuffixes* clash = nullptr; // when the format has "%{n}"

    CListCounters(const CListRows& rows, const std::string& format) {
        bool hasDay = false;
        std::size_t clashCount = 0;
        ReadCounterCodes(
            ReplaceCounter(format, 0), [](std::string_view) {},
            [&](BraceCode code) {
                hasDay = hasDay || code == BraceCode::Day;
                clashCount += code == BraceCode::Clash ? 1 : 0;
            });
        if (clashCount > 0)
            clash = &KeptClashSuffixes(rows.size(), clashCount);
        if (hasDay)
            CountDays(rows);
    }

private:
    // The counter restarts on each calendar day of the dates as named; the
    // list is sorted by date, so a day's rows follow one another.
    void CountDays(const CListRows& rows) {
        constexpr std::int64_t kMillisPerDay = kMillisPerSecond * kSecondsPerDay;
        day.resize(rows.size());
        std::int64_t current = 0;
        std::uint32_t next = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!IsNamed(rows[i]))
                continue;
            const std::int64_t of = FloorDiv(rows[i].nData, kMillisPerDay);
            if (next == 0 || of != current) {
                current = of;
                next = 0;
            }
            day[i] = next++;
        }
    }
};

// Names of the rows from `begin` to `end`, with the row index as counter, and
// their statuses; returns how many of them a rename would change. With "%{n}"
// in the format a row gets its bare name and no status yet: the suffixes need
// the whole list. The buffers are reused from row to row, so that a row costs
// no allocation unless its texts outgrow their own block.
unsigned NameRows(CListRows& rows, std::size_t begin, std::size_t end,
                  const CFormatProgram& program, const std::string& format, CListCounters& counters,
                  const CFolderValues& values, ExtensionCase extension, bool placed) {
    unsigned renameCount = 0;
    std::string stem; // the row's cleaned name, for %{name}
    std::string name;
    std::string target;
    CNameDates dates;
    for (std::size_t i = begin; i < end; ++i) {
        CListRow& row = rows[i];
        if (!IsNamed(row))
            continue;
        const std::uint32_t day = counters.day.empty() ? 0 : counters.day[i];
        std::uint32_t* const clashAt = counters.clash ? counters.clash->At(i) : nullptr;
        // A format with a folder part places the file from the list's folder;
        // one without renames it in its own (a row of a subfolder).
        std::string_view path = row.Text(0);
        if (placed)
            path.remove_prefix(path.rfind(kPathSeparator) + 1);
        if (program.Compiled()) {
            AssembleName(path, name, [&](std::string& out) {
                program.Append(out, dates.Of(row.nData), static_cast<std::uint32_t>(i),
                               values.Of(row, stem), day, clashAt);
            });
        } else {
            // The date as written: no zone turns a wall-clock time into another.
            const std::optional<ole::DateFields> fields = WallFields(row.nData);
            ExpandByStrftime(path, fields ? ole::FromFields(*fields).value_or(0.0) : 0.0, format,
                             static_cast<int>(i), values.Of(row, stem), day, clashAt, name);
        }
        CaseNameExtension(path, name, extension);
        row.SetCompanionCase(extension);
        if (clashAt == nullptr && SetStatus(row, name, target))
            ++renameCount;
        if (row.Text(1) != name)
            row.SetText(1, name);
    }
    if (counters.clash)
        counters.clash->Note(rows, begin, end);
    return renameCount;
}

// The statuses of the rows from `begin` to `end` once column 1 holds their
// names; returns how many a rename would change.
unsigned SetStatuses(CListRows& rows, std::size_t begin, std::size_t end) {
    unsigned renameCount = 0;
    std::string target;
    for (std::size_t i = begin; i < end; ++i) {
        if (IsNamed(rows[i]) && SetStatus(rows[i], rows[i].Text(1), target))
            ++renameCount;
    }
    return renameCount;
}

// What checking the guessed suffixes of some rows found: how many guesses
// were wrong, and how many rows a rename would change if none was.
struct CGuessTally {
    unsigned wrong = 0;
    unsigned renames = 0;

    CGuessTally operator+(const CGuessTally& other) const {
        return {wrong + other.wrong, renames + other.renames};
    }
};

CGuessTally CheckGuesses(CListRows& rows, std::size_t begin, std::size_t end,
                         CClashSuffixes& clash) {
    const unsigned wrong = clash.Check(rows, begin, end);
    return {wrong, wrong == 0 ? SetStatuses(rows, begin, end) : 0};
}

// The rows from `begin` to `end` with their chosen clash suffixes and
// statuses; returns how many a rename would change.
unsigned ApplySuffixes(CListRows& rows, std::size_t begin, std::size_t end,
                       const CClashSuffixes& clash) {
    std::string form;
    for (std::size_t i = begin; i < end; ++i) {
        if (IsNamed(rows[i]))
            clash.Apply(rows[i], i, form);
    }
    return SetStatuses(rows, begin, end);
}

// Runs `work(begin, end)` over `count` rows in chunks of `chunk`, shared out
// among the cores, and adds up what it returns. Chunks depend on nothing but
// their rows, so which thread takes one changes no result.
template <typename Work> auto InChunks(std::size_t count, std::size_t chunk, const Work& work) {
    using Result = decltype(work(std::size_t{0}, std::size_t{0}));
    const std::size_t chunks = (count + chunk - 1) / chunk;
    if (chunks <= 1)
        return work(0, count);

    // Asked once: the C library reads the count from a file each time.
    static const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    const std::size_t slots = std::min<std::size_t>(chunks, cores);
    std::atomic<std::size_t> next{0};
    std::vector<Result> counts(slots);
    std::vector<std::exception_ptr> errors(slots);
    const auto run = [&](std::size_t slot) {
        try {
            for (std::size_t c; (c = next.fetch_add(1)) < chunks;)
                counts[slot] = counts[slot] + work(c * chunk, std::min(count, (c + 1) * chunk));
        } catch (...) {
            errors[slot] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(slots - 1);
    for (std::size_t slot = 1; slot < slots; ++slot) {
        try {
            helpers.emplace_back(run, slot);
        } catch (const std::system_error&) {
            break; // the threads running take the rest
        }
    }
    run(0);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::exception_ptr& error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
    return std::accumulate(counts.begin(), counts.end(), Result{});
}

} // namespace

unsigned UpdateConvertedNames(CListRows& rows, const std::string& format, const CNameFacts* facts,
                              ExtensionCase extension) {
    const CFormatProgram program(format);
    const CFolderValues values(facts, ValueCodesIn(format));
    CListCounters counters(rows, format);
    const bool placed = format.find(kPathSeparator) != std::string::npos;
    // Both paths read the same codes: the program writes an offset for each.
    assert(!program.Compiled() ||
           program.ClashCount() == (counters.clash ? counters.clash->ClashCount() : 0));
    const unsigned renameCount = InChunks(
        rows.size(), program.Compiled() ? kCompiledChunk : kStrftimeChunk,
        [&](std::size_t begin, std::size_t end) {
            return NameRows(rows, begin, end, program, format, counters, values, extension, placed);
        });
    if (!counters.clash)
        return renameCount;
    CClashSuffixes& clash = *counters.clash;
    clash.Guess(rows);
    const CGuessTally tally =
        InChunks(rows.size(), kCompiledChunk, [&](std::size_t begin, std::size_t end) {
            return CheckGuesses(rows, begin, end, clash);
        });
    if (tally.wrong == 0)
        return tally.renames;
    InChunks(rows.size(), kCompiledChunk, [&](std::size_t begin, std::size_t end) {
        clash.Unapply(rows, begin, end);
        return 0u;
    });
    clash.ChooseInOrder(rows);
    return InChunks(rows.size(), kCompiledChunk, [&](std::size_t begin, std::size_t end) {
        return ApplySuffixes(rows, begin, end, clash);
    });
}

} // namespace velmora
