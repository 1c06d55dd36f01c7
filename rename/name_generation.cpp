#include "name_generation.h"

#include "companions.h"
#include "date_choice.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "ole_date.h"

#include <cstdio>

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

} // namespace

bool CJpegFile::BuildFileName(const std::string& path, std::string& name, const std::string& format,
                              int counter) const {
    const std::string expanded = velmora::ole::Format(
        m_info.m_dtTaken, counter >= 0 ? ReplaceCounter(format, counter) : format);
    const std::size_t slash = path.rfind(kPathSeparator);
    name = slash != std::string::npos ? path.substr(0, slash + 1) + expanded : expanded;
    // The last "." of the whole path, folder part included, starts the extension.
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos)
        name += path.substr(dot);
    return true;
}

namespace velmora {
namespace {

// True when every companion of the row already has the name that goes with
// `converted`.
bool CompanionsNamed(const CListRow& row, const std::string& converted) {
    for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i) {
        if (!EqualNoCase(row.Companion(i), CompanionTarget(converted, row.Companion(i))))
            return false;
    }
    return true;
}

} // namespace

unsigned UpdateConvertedNames(CListRows& rows, const std::string& format) {
    CJpegFile carrier; // holds each row's date; reads no file
    unsigned renameCount = 0;
    std::string current; // column 0 as the path BuildFileName takes
    std::string name;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        CListRow& row = rows[i];
        if (row.nImage != RowToRename && row.nImage != RowNamed)
            continue;
        // The date as written: no zone turns a wall-clock time into another.
        const std::optional<ole::DateFields> fields = WallFields(row.nData);
        carrier.m_info.m_dtTaken = fields ? ole::FromFields(*fields).value_or(0.0) : 0.0;
        current.assign(row.Text(0));
        carrier.BuildFileName(current, name, format, static_cast<int>(i));
        if (EqualNoCase(name, current) && CompanionsNamed(row, name)) {
            row.nImage = RowNamed;
        } else {
            row.nImage = RowToRename;
            ++renameCount;
        }
        row.SetText(1, name);
    }
    return renameCount;
}

} // namespace velmora
