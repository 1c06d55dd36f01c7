#include "string_table.h"

#include <algorithm>
#include <iterator>

namespace velmora {
namespace {

struct StringEntry {
    int id;
    const char* text;
};

// Sorted by id.
constexpr StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Velmora..."},
    {IDS_TOO_MANY_SECTIONS, "Too many sections in jpg file"},
    {IDS_TOO_MANY_PADDING, "Too many padding bytes"},
    {IDS_INVALID_MARKER, "invalid marker (len < 2)"},
    {IDS_NO_MEMORY, "Could not allocate memory"},
    {IDS_PREMATURE_END, "Premature end of file?"},
    {IDS_NESTING_EXCEEDED, "Maximum directory nesting exceeded (corrupt exif header)"},
    {IDS_ILLEGAL_DIRECTORY, "Illegally sized directory"},
    {IDS_INCORRECT_EXIF, "Incorrect Exif header"},
    {IDS_INVALID_JPEG, "Invalid JPEG file!"},
    {IDS_MISSING_INFORMATION, "The JPEG file is missing information."},
    {IDS_NO_IMAGE, "No image in jpeg!"},
    {IDS_FILES_IN_LIST, "(Double click on an picture to view the detail information stored in the "
                        "file, %d files in the list)"},
    {IDS_EXTRACTING_DATE, "Extracting date from JPEG files: %ld"},
};

} // namespace

const char* LoadString(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const StringEntry& e, int key) { return e.id < key; });
    return (it != std::end(kStrings) && it->id == id) ? it->text : "";
}

} // namespace velmora
