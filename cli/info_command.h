#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class CJpegFile;

// One JSON object describing the reader's state after LoadJpeg(file) returned
// `ok`: the result, the error, and every field of the record.
std::string InfoJsonLine(const std::string& file, bool ok, const CJpegFile& reader,
                         bool byContent = false);

// Reads each file with one reader and prints one JSON line per file. Returns 0
// when every file read with success, else 1.
// With `byContent` every type the readers know is read, picked by content;
// without, each file is read as a JPEG.
int RunInfoJson(const std::vector<std::string>& files, bool byContent, std::ostream& out);

// Prints each file's facts as the JPEG Information window lists them, one
// "LABEL<TAB>VALUE" line each, files separated by an empty line; a file that
// can't be read is reported on `err`. Returns 0 when every file read, else 1.
int RunInfoText(const std::vector<std::string>& files, bool byContent, std::ostream& out,
                std::ostream& err);
