#pragma once

#include "found_date.h"
#include "list_rows.h"
#include "ole_date.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {
struct CJournal;
}

// Shared pieces of the unit tests: a scratch folder on disk, a time zone set
// for the length of a test, and where the camera corpus lies.
namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(std::string_view name) const { return m_path + "/" + std::string(name); }

private:
    std::string m_path;
};

// The most bytes that operator new had handed out at once since it was made,
// beyond what was in use then.
class CHeapPeak {
public:
    CHeapPeak();
    std::size_t Bytes() const;

private:
    std::size_t m_nStart;
};

// Sets TZ (and tzset) for its lifetime, restoring the former value after.
class CScopedTimeZone {
public:
    explicit CScopedTimeZone(const char* tz);
    ~CScopedTimeZone();
    CScopedTimeZone(const CScopedTimeZone&) = delete;
    CScopedTimeZone& operator=(const CScopedTimeZone&) = delete;

private:
    bool m_hadValue = false;
    std::string m_oldValue;
};

// Seconds since 1970 of a UTC calendar time (the tests run in TZ=UTC0, where
// local time and UTC agree).
std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second);

// "YYYY-MM-DD HH:MM:SS", or "none".
std::string DateText(const std::optional<velmora::ole::DateFields>& fields);

// Parameterised cases print as their names.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.name;
}

// The folder of real camera files, and whether it is present.
std::string CorpusDir();
bool CorpusAvailable();

// A row to rename from `current` to `converted`.
CListRow Row(const std::string& current, const std::string& converted);

// A file's bytes; empty when it can't be read.
std::string ReadBytes(const std::string& path);

// The regular files directly inside `folder`: name -> content.
using Contents = std::map<std::string, std::string>;
Contents ReadFiles(const std::string& folder);

// Every entry of `folder` by path: a subfolder named "sub" stands for its
// entries ("sub/x.jpg"), another subfolder for the file "inside" it
// ("dir:" + content), a link for its target ("link:" + target).
Contents ReadTree(const std::string& folder);

// The rows of a tab-separated table with a heading line: column -> value,
// cells holding "-" left out.
using TagRow = std::map<std::string, std::string>;
std::vector<TagRow> LoadTags(const std::string& path);

// An EXIF date text "YYYY:MM:DD HH:MM:SS" as fields; nullopt when it is not
// a date. What follows the seconds (a zone) is ignored.
std::optional<velmora::ole::DateFields> ExifDateFields(const std::string& text);

// The date the record keeps from the EXIF columns of a tags row: DateTime is
// met first and fills it, DateTimeOriginal then always replaces it (with
// nothing when it is not a date), DateTimeDigitized fills it only if it is
// still empty. Empty when none of them gives a date.
std::optional<velmora::ole::DateFields> ExpectedExifDate(const TagRow& row);

// Texts of the tag tables lose their trailing blanks; the record keeps a text
// as stored, so both are compared without them.
std::string TrimRight(std::string text);

// A found date as "<source> YYYY-MM-DD[ HH:MM:SS][.mmm][ ±HH:MM]", "-" for none.
std::string Describe(const velmora::CFoundDate& date);

// Names of the entries directly inside `folder` whose name ends in ".jpg" in
// any case, of any kind, in byte order, as a scan of ".jpg" files alone
// lists them. False when the folder can't be read.
bool ListJpegNames(const std::string& folder, std::vector<std::string>& names);

// Runs `body` in a child process that kills itself the `at`th time (from 0)
// it passes the crash point `where`, renaming the link-then-unlink way with
// `forceLink`; true when it was killed there.
bool KilledAt(const char* where, long at, bool forceLink, const std::function<void()>& body);

// The journal text of everything up to and with "ready", from the journal's
// line codecs: what the store's writer must have written.
std::string JournalText(const velmora::CJournal& journal);

} // namespace testsupport
