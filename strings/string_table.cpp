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
    {IDS_NO_DATE_HELD, "The file holds no date."},
    {IDS_CLOCK_PAST_9999, "The camera clock offset moves the date past 9999."},
    {IDS_CLOCK_BEFORE_1900, "The camera clock offset moves the date before 1900."},
    {IDS_ZONE_PAST_9999, "The time zone moves the date past 9999."},
    {IDS_ZONE_BEFORE_1900, "The time zone moves the date before 1900."},
    {IDS_DAMAGED_FILE, "The file is damaged or cut short (%s)."},
    {IDS_NOT_REGULAR_FILE, "Not a regular file."},
    // The format codes: the code, "|", the description (trailing blanks kept).
    {IDS_FORMAT_CODE_FIRST + 0, "%a|Abbreviated weekday name"},
    {IDS_FORMAT_CODE_FIRST + 1, "%A|Full weekday name "},
    {IDS_FORMAT_CODE_FIRST + 2, "%b|Abbreviated month name "},
    {IDS_FORMAT_CODE_FIRST + 3, "%B|Full month name "},
    {IDS_FORMAT_CODE_FIRST + 4, "%c|Date and time representation appropriate for locale "},
    {IDS_FORMAT_CODE_FIRST + 5, "%C|Counter of the runing index "},
    {IDS_FORMAT_CODE_FIRST + 6, "%d|Day of month as decimal number (01 - 31) "},
    {IDS_FORMAT_CODE_FIRST + 7, "%H|Hour in 24-hour format (00 - 23) "},
    {IDS_FORMAT_CODE_FIRST + 8, "%I|Hour in 12-hour format (01 - 12) "},
    {IDS_FORMAT_CODE_FIRST + 9, "%j|Day of year as decimal number (001 - 366) "},
    {IDS_FORMAT_CODE_FIRST + 10, "%m|Month as decimal number (01 - 12) "},
    {IDS_FORMAT_CODE_FIRST + 11, "%M|Minute as decimal number (00 - 59) "},
    {IDS_FORMAT_CODE_FIRST + 12, "%p|Current locale's A.M./P.M. indicator for 12-hour clock "},
    {IDS_FORMAT_CODE_FIRST + 13, "%S|Second as decimal number (00 - 59) "},
    {IDS_FORMAT_CODE_FIRST + 14,
     "%U|Week of year as decimal number, with Sunday as first day of week (00 - 53) "},
    {IDS_FORMAT_CODE_FIRST + 15, "%w|Weekday as decimal number (0 - 6; Sunday is 0) "},
    {IDS_FORMAT_CODE_FIRST + 16,
     "%W|Week of year as decimal number, with Monday as first day of week (00 - 53) "},
    {IDS_FORMAT_CODE_FIRST + 17, "%x|Date representation for current locale "},
    {IDS_FORMAT_CODE_FIRST + 18, "%X|Time representation for current locale "},
    {IDS_FORMAT_CODE_FIRST + 19, "%y|Year without century, as decimal number (00 - 99) "},
    {IDS_FORMAT_CODE_FIRST + 20, "%Y|Year with century, as decimal number "},
    {IDS_FORMAT_CODE_FIRST + 21,
     "%z|Time-zone name or abbreviation; no characters if time zone is unknown "},
    {IDS_FORMAT_CODE_FIRST + 22, "%{make}|Camera make (Unknown when the file names none)"},
    {IDS_FORMAT_CODE_FIRST + 23, "%{model}|Camera model (Unknown when the file names none)"},
    {IDS_FORMAT_CODE_FIRST + 24,
     "%{device}|Camera make and model, without serial number (Unknown when the file names none)"},
    {IDS_FORMAT_CODE_FIRST + 25, "%{lens}|Lens model (Unknown when the file names none)"},
    {IDS_FORMAT_CODE_FIRST + 26, "%{name}|Current file name without its extension"},
    {IDS_FORMAT_CODE_FIRST + 27, "%{folder}|Name of the file's folder"},
    {IDS_FORMAT_CODE_FIRST + 28,
     "%{n}|Nothing for the first file of a name, -1, -2, ... for later files of the same name"},
    {IDS_FORMAT_CODE_FIRST + 29, "%{day}|Counter per day of the date taken (000, 001, ...)"},
};

} // namespace

const char* LoadString(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const StringEntry& e, int key) { return e.id < key; });
    return (it != std::end(kStrings) && it->id == id) ? it->text : "";
}

} // namespace velmora
