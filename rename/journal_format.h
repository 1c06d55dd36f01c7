#pragma once

#include "journal.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The journal's text, one record a line, fields split by one blank, names
// escaped (bytes up to the blank, "%" and DEL as %XX; an empty name as "."):
//   velmora journal 2
//   kind rename|undo
//   folder PATH
//   folder-id DEVICE INODE BIRTH
//   time SECONDS.NANOSECONDS     (older journals: "time SECONDS")
//   undoes JOURNAL-FILE          (undo runs only)
//   clock SECONDS DEVICE         (for each device whose clock offset moved the
//                                 run's dates; none without offsets)
//   mkdir PATH                   (for each folder the run creates, in the
//                                 order it creates them, before it does)
//   folder-time SECONDS.NANOSECONDS PATH
//                                (for each folder whose files the run moves,
//                                 its modification time before the run; "."
//                                 is the photo folder itself)
//   files COUNT
//   f DEVICE INODE BEFORE TEMPORARY AFTER   (one per file, in step order)
//   t ACCESS MODIFIED            (right after its file's line, when the run
//                                 sets file times: the times before, each
//                                 SECONDS.NANOSECONDS)
//   ready                        (the plan is whole; renames may begin)
//   rmdir MODE ACCESS MODIFIED PATH
//                                (for each folder the run's files left empty,
//                                 before the run removes it, deepest first:
//                                 its permission bits in octal and its times)
//   stamp INDEX STAMP            (for each file the run reached, as it ended,
//                                 on a file system without birth times: what
//                                 tells it from a new file on its inode)
//   done RENAMED TOUCHED         (the run ended, finished or stopped cleanly:
//                                 rows renamed, and how many leading files it
//                                 left changed; 0 0 = it changed nothing)
//   undone                       (a later undo restored this run's names; on
//                                 an undo: a later undo finished its work)
// A journal is written whole under a temporary name and then renamed into
// place, so one without "ready" is damaged, not cut off. Journals of
// version 1 ("done RENAMED", written in place) are still read.
//
// Here are the codecs of its lines, shared by the writer and the reader.
namespace velmora {

// The end line of a run: "done RENAMED TOUCHED".
std::string DoneLine(int renamed, std::size_t touched);

// The line that records the stamp of the journal's `index`th file.
std::string StampLine(std::size_t index, const CFileStamp& stamp);

// The line that records a folder before the run removes it.
std::string RemovedLine(const CJournal::CRemovedFolder& folder);

namespace journal_format {

constexpr const char* kMagic = "velmora journal 2";
constexpr const char* kMagicVersion1 = "velmora journal 1";
// What a journal file's name ends in; an "undoes" line names one.
constexpr const char* kSuffix = ".journal";
constexpr std::string_view kReadyLine = "ready\n";

// Appends `name` escaped.
void AppendEscaped(std::string& out, std::string_view name);
std::string Escape(const std::string& name);

// The name an escaped field stands for; nothing when the field is not one
// that Escape writes (a bare blank or control byte, a broken "%XX", a NUL).
std::optional<std::string> Unescape(std::string_view text);

void AppendNumber(std::string& out, std::uint64_t value);

// A whole field of digits in `base` that fits, and nothing else (no sign,
// no blank).
template <typename Number> bool ParseNumber(std::string_view text, Number& value, int base = 10) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator = ' ');

// A stamp field: "-" when unknown, else "b" SECONDS "." NANOSECONDS or "m"
// SIZE "." SECONDS "." NANOSECONDS.
std::string StampText(const CFileStamp& stamp);
// A stamp field as StampText writes it; false when it is not one.
bool ParseStamp(std::string_view text, CFileStamp& stamp);

// A time field, SECONDS.NANOSECONDS (seconds may be negative).
void AppendTime(std::string& out, std::int64_t seconds, std::uint32_t nanoseconds);
// A time field as AppendTime writes it; false when it is not one.
bool ParseTime(std::string_view text, std::int64_t& seconds, std::uint32_t& nanoseconds);

// A name a journal gives a file: it must stay inside the photo folder, as a
// new name must; a temporary name must have the temporary form.
std::optional<std::string> JournalName(std::string_view field, bool temporary);

// The lines up to and with "files COUNT".
std::string JournalHead(const CJournal& journal, std::size_t files);

// Appends the file line "f DEVICE INODE BEFORE TEMPORARY AFTER" with its
// line break, and its "t" line when it has times.
void AppendFileLine(std::string& out, const CJournalLine& line);

} // namespace journal_format
} // namespace velmora
