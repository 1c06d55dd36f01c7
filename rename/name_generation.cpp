#include "name_generation.h"

#include "companions.h"
#include "date_choice.h"
#include "format_program.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "ole_date.h"

#include <algorithm>
#include <atomic>
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

// The strftime path: the counter codes replaced first, then the value codes,
// then the date codes.
void ExpandByStrftime(double taken, std::string_view path, std::string& name,
                      const std::string& format, int counter, const velmora::CNameValues& values) {
    std::string pattern = counter >= 0 ? ReplaceCounter(format, counter) : format;
    velmora::ReplaceValueCodes(pattern, values);
    const std::string expanded = velmora::ole::Format(taken, pattern);
    AssembleName(path, name, [&expanded](std::string& out) { out += expanded; });
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
    ExpandByStrftime(m_info.m_dtTaken, path, name, format, counter, values);
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
bool CompanionsNamed(const CListRow& row, const std::string& converted, std::string& target) {
    for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i) {
        AssignCompanionTarget(target, converted, row.Companion(i));
        if (!EqualNoCase(row.Companion(i), target))
            return false;
    }
    return true;
}

// Names and statuses of the rows from `begin` to `end`, with the row index as
// counter; returns how many of them a rename would change. The buffers are
// reused from row to row, so that a row costs no allocation unless its texts
// outgrow their own block.
unsigned NameRows(CListRows& rows, std::size_t begin, std::size_t end,
                  const CFormatProgram& program, const std::string& format,
                  const CFolderValues& values) {
    unsigned renameCount = 0;
    std::string stem; // the row's cleaned name, for %{name}
    std::string name;
    std::string target;
    CNameDates dates;
    for (std::size_t i = begin; i < end; ++i) {
        CListRow& row = rows[i];
        if (row.nImage != RowToRename && row.nImage != RowNamed)
            continue;
        if (program.Compiled()) {
            AssembleName(row.Text(0), name, [&](std::string& out) {
                program.Append(out, dates.Of(row.nData), static_cast<std::uint32_t>(i),
                               values.Of(row, stem));
            });
        } else {
            // The date as written: no zone turns a wall-clock time into another.
            const std::optional<ole::DateFields> fields = WallFields(row.nData);
            ExpandByStrftime(fields ? ole::FromFields(*fields).value_or(0.0) : 0.0, row.Text(0),
                             name, format, static_cast<int>(i), values.Of(row, stem));
        }
        if (EqualNoCase(name, row.Text(0)) && CompanionsNamed(row, name, target)) {
            row.nImage = RowNamed;
        } else {
            row.nImage = RowToRename;
            ++renameCount;
        }
        if (row.Text(1) != name)
            row.SetText(1, name);
    }
    return renameCount;
}

} // namespace

unsigned UpdateConvertedNames(CListRows& rows, const std::string& format, const CNameFacts* facts) {
    const CFormatProgram program(format);
    const CFolderValues values(facts, ValueCodesIn(format));
    const std::size_t chunk = program.Compiled() ? kCompiledChunk : kStrftimeChunk;
    const std::size_t chunks = (rows.size() + chunk - 1) / chunk;
    if (chunks <= 1)
        return NameRows(rows, 0, rows.size(), program, format, values);

    // A row's name depends on nothing but the row and its index, so which
    // thread names it changes no result, and the counts add up the same.
    // Asked once: the C library reads the count from a file each time.
    static const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    const std::size_t slots = std::min<std::size_t>(chunks, cores);
    std::atomic<std::size_t> next{0};
    std::vector<unsigned> counts(slots);
    std::vector<std::exception_ptr> errors(slots);
    const auto work = [&](std::size_t slot) {
        try {
            for (std::size_t c; (c = next.fetch_add(1)) < chunks;)
                counts[slot] += NameRows(rows, c * chunk, std::min(rows.size(), (c + 1) * chunk),
                                         program, format, values);
        } catch (...) {
            errors[slot] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(slots - 1);
    for (std::size_t slot = 1; slot < slots; ++slot) {
        try {
            helpers.emplace_back(work, slot);
        } catch (const std::system_error&) {
            break; // the threads running take the rest
        }
    }
    work(0);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::exception_ptr& error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
    return std::accumulate(counts.begin(), counts.end(), 0u);
}

} // namespace velmora
