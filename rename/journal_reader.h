#pragma once

#include "journal.h"

#include <optional>
#include <string>

// The reading of a journal back from its file: every line checked, its kind,
// its place among the others and every field, and the first damage kept; a
// damaged line is otherwise ignored, so that the sound lines still count.
namespace velmora {

// Reads one journal with its files, checking every line; the files of sound
// lines are kept, the first damage is in strDamage. Nothing when the file
// can't be opened as a regular file.
std::optional<CJournal> ReadJournal(const std::string& path);

// The journal's start lines (up to "files") and its last lines, where its
// state is: enough to know the run without reading its files. A short
// journal is read whole. An entry that is not a regular file is never
// opened: it comes back Skipped.
CJournal ReadJournalSummary(const std::string& path);

} // namespace velmora
