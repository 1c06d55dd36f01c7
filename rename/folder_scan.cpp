#include "folder_scan.h"

#include "jpeg_file.h"
#include "name_generation.h"
#include "string_table.h"

#include <algorithm>
#include <dirent.h>
#include <memory>

namespace velmora {
namespace {

constexpr std::time_t kMinDateValue = 1000; // at or below: no usable date

bool HasJpgExtension(const char* name, std::size_t length) {
    if (length < 4)
        return false;
    const char* ext = name + length - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'j' && (ext[2] | 0x20) == 'p' &&
           (ext[3] | 0x20) == 'g';
}

} // namespace

bool ListJpegNames(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::size_t length = std::char_traits<char>::length(entry->d_name);
        if (HasJpgExtension(entry->d_name, length))
            names.emplace_back(entry->d_name, length);
    }
    // The file system's own order is arbitrary; byte order keeps the counters
    // of equally dated files the same from one run to the next.
    std::sort(names.begin(), names.end());
    return true;
}

int CompareRows(const CListRow& a, const CListRow& b) {
    if (a.nImage != b.nImage)
        return a.nImage - b.nImage;
    if (a.nImage != RowToRename && a.nImage != RowNamed)
        return 0; // the stable sort keeps such rows in listing order
    return a.nData < b.nData ? -1 : a.nData > b.nData ? 1 : 0;
}

unsigned ScanFolder(const std::string& folder, const std::string& format, CListRows& rows,
                    bool& listed, CScanObserver* observer) {
    rows.clear();
    std::vector<std::string> names;
    listed = ListJpegNames(folder, names) && !names.empty();
    if (!listed)
        return 0;
    rows.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        rows[i].SetText(0, names[i]);
    std::vector<std::string>().swap(names); // the rows hold copies now
    if (observer != nullptr)
        observer->OnListed(rows);

    CJpegFile reader;
    const int count = static_cast<int>(rows.size());
    std::string path = folder + '/';
    const std::size_t folderLength = path.size();
    for (int i = 0; i < count; ++i) {
        if (observer != nullptr)
            observer->OnReading(i, count);
        CListRow& row = rows[i];
        path.resize(folderLength);
        path += row.Text(0);
        const bool read = reader.LoadJpeg(path.c_str());
        row.SetId(CFileId::FromStat(reader.m_nFileDevice, reader.m_nFileInode));
        if (read) {
            const std::time_t value = reader.m_info.DateTakenAsTime();
            if (value > kMinDateValue) {
                row.SetText(1, std::to_string(value));
                row.nImage = RowToRename;
                row.nData = value;
            } else {
                row.SetText(1, LoadString(IDS_MISSING_INFORMATION));
                row.nImage = RowNoDate;
                row.nData = i;
            }
        } else {
            row.SetText(1,
                        LoadString(reader.m_nErrorId != 0 ? reader.m_nErrorId : IDS_INVALID_JPEG));
            row.nImage = RowUnreadable;
            row.nData = i;
        }
    }
    if (observer != nullptr)
        observer->OnSorting();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CListRow& a, const CListRow& b) { return CompareRows(a, b) < 0; });
    return UpdateConvertedNames(rows, format);
}

} // namespace velmora
