#pragma once

// The program's string table: the texts that carry a numeric id, shared by the
// reader (which reports failures as ids), the engine and the windows. Texts are
// exactly the program's own, spelling included.

namespace velmora {

enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_TOO_MANY_SECTIONS = 10000,
    IDS_TOO_MANY_PADDING = 10001,
    IDS_INVALID_MARKER = 10002,
    IDS_NO_MEMORY = 10003,
    IDS_PREMATURE_END = 10004,
    IDS_NESTING_EXCEEDED = 10005,
    IDS_ILLEGAL_DIRECTORY = 10006,
    IDS_INCORRECT_EXIF = 10007,
    IDS_INVALID_JPEG = 10008,
    IDS_MISSING_INFORMATION = 10009,
    IDS_NO_IMAGE = 15000,
    IDS_FILES_IN_LIST = 15001,
    IDS_EXTRACTING_DATE = 15002,
    IDS_NO_DATE_HELD = 15003, // IDS_MISSING_INFORMATION for a file that is no JPEG
    // A date that its clock offset or its zone moves out of the years names show.
    IDS_CLOCK_PAST_9999 = 15004,
    IDS_CLOCK_BEFORE_1900 = 15005,
    IDS_ZONE_PAST_9999 = 15006,
    IDS_ZONE_BEFORE_1900 = 15007,
    // A file of another type than JPEG that can't be read, in its own words:
    // "%s" is the type.
    IDS_DAMAGED_FILE = 15008,
    IDS_NOT_REGULAR_FILE = 15009,
    IDS_FORMAT_CODE_FIRST = 20000, // "code|description", up to 20029
};

// The text of a string id; an empty text for an id the table does not hold.
const char* LoadString(int id);

} // namespace velmora
