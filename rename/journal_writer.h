#pragma once

#include "journal.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The writing of a journal's text to a file already open: the whole journal
// up to and with "ready", through a buffer of its own so that a run never
// holds its journal as text, and the end lines of a run. Where the file goes
// and when it is synced is the store's (journal_store.h).
namespace velmora {

// Writes `journal`'s text with the file lines of `files`, up to and with
// "ready". Measured first: half way through, the write passes the point at
// which tests cut the write of a journal off. 0, or the errno value of the
// first write that failed.
int WriteJournalText(int fd, const CJournal& journal, CJournalLines& files);

// Writes the end of a run: a stamp line for each of `stamps` (the file's
// index in the journal, its stamp), then `last` unless it is empty. 0 or
// the errno value.
int WriteEndLines(int fd, const std::vector<std::pair<std::size_t, CFileStamp>>& stamps,
                  const std::string& last);

// Writes `text` whole. 0 or the errno value.
int WriteAll(int fd, const std::string& text);

} // namespace velmora
