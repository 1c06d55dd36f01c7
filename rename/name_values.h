#pragma once

#include "devices.h"
#include "format_codes.h"
#include "list_rows.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The value codes of a name format ("%{make}", "%{model}", "%{device}",
// "%{lens}", "%{name}", "%{folder}"): what each gives for a file, made fit
// to stand in a file name.
namespace velmora {

// What a code gives for a file without its value, so that no part of a name
// is ever empty. A file always has a name and a folder, but a name of dots
// and blanks alone (".jpg") and the root folder leave nothing once cleaned.
inline constexpr std::string_view kUnknownValue = "Unknown"; // make, model, device, lens
inline constexpr std::string_view kUnnamedValue = "Unnamed"; // name, folder

// A value is cut to this many bytes, at a character boundary.
inline constexpr std::size_t kMaxValueBytes = 64;

// The texts of the value codes for one file, each cleaned (AssignCleanValue)
// and at most kMaxValueBytes long; the fixed words where the file has none.
struct CNameValues {
    std::string_view make = kUnknownValue;
    std::string_view model = kUnknownValue;
    std::string_view device = kUnknownValue; // make and model, no serial
    std::string_view lens = kUnknownValue;
    std::string_view name = kUnnamedValue; // the file's name without its extension
    std::string_view folder = kUnnamedValue;

    // The value of `code`; empty for a code that is no value code.
    std::string_view Of(BraceCode code) const;
};

// Whether `code` is one of the value codes.
bool IsValueCode(BraceCode code);

// `out` becomes `text` fit for a part of a file name: '/', '\\', control
// bytes and the characters other file systems refuse (< > : " | ? *) as '_',
// no blank or dot at either end (a leading dot would hide the file), cut to
// kMaxValueBytes at a UTF-8 character boundary. Other bytes are kept as they
// are: a name the file system gave may be in no encoding at all.
void AssignCleanValue(std::string& out, std::string_view text);

// The file's name in `path` without its extension: its last component, up to
// its last ".".
std::string_view StemOf(std::string_view path);

// `format` with each value code replaced by its value, every '%' of the value
// doubled, so that the strftime pass copies the value as it stands. Other
// codes are left as they are.
void ReplaceValueCodes(std::string& format, const CNameValues& values);

// The value codes `format` holds, as a mask of 1 << code.
unsigned ValueCodesIn(std::string_view format);

// What name generation knows of a folder beyond its rows. A fact left out
// gives its codes their fixed word.
struct CNameFacts {
    const CDeviceTable* pDevices = nullptr; // what the rows' nDeviceIndex point into
    const CTextTable* pLenses = nullptr;    // what the rows' nLensIndex point into
    std::string strFolder;                  // the folder's own name (FolderNameOf)
};

// The name of `folder` itself: its last component, resolved when it is
// "." or ".."; empty for the root.
std::string FolderNameOf(const std::string& folder);

// The values of one naming pass over a folder's rows: the texts of each
// device and lens are cleaned once, not per row; a row's name as it is asked
// for. Only the codes of `codes` (ValueCodesIn) are worked out.
class CFolderValues {
public:
    CFolderValues(const CNameFacts* facts, unsigned codes);

    // The values of `row`; `name` is the caller's buffer for its cleaned
    // name, which the result views.
    CNameValues Of(const CListRow& row, std::string& name) const;

private:
    struct CDeviceValues {
        std::string strMake;
        std::string strModel;
        std::string strDevice;
    };

    unsigned m_codes = 0;
    std::vector<CDeviceValues> m_devices;
    std::vector<std::string> m_lenses;
    std::string m_strFolder;
};

} // namespace velmora
