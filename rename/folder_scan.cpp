#include "folder_scan.h"

#include "companions.h"
#include "image_type.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "name_generation.h"
#include "string_table.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <unordered_map>

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

// Whether a file may lead a group, and which leads when several may: the
// lower the better; kNoLead for files that never lead one.
constexpr int kNoLead = 99;

int LeadRank(const ImageType* type) {
    if (type == nullptr)
        return kNoLead;
    switch (type->kind) {
    case ImageKind::Jpeg:
        return 0;
    case ImageKind::Heif:
        return 1;
    case ImageKind::Raw:
        return 2;
    case ImageKind::Video:
        return 3;
    case ImageKind::OtherImage:
        break;
    }
    return kNoLead;
}

bool ListNames(const std::string& folder, std::vector<std::string>& names,
               bool (*wanted)(const char*, std::size_t)) {
    names.clear();
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::size_t length = std::char_traits<char>::length(entry->d_name);
        if (wanted(entry->d_name, length))
            names.emplace_back(entry->d_name, length);
    }
    // The file system's own order is arbitrary; byte order keeps the counters
    // of equally dated files the same from one run to the next.
    std::sort(names.begin(), names.end());
    return true;
}

bool IsKnownName(const char* name, std::size_t length) {
    const std::string_view view(name, length);
    return ImageTypeOf(view) != nullptr || IsSidecarName(view);
}

// Groups the names by stem for the companions: each group's leader gets the
// others that may follow it.
void GroupCompanions(const std::vector<std::string>& names, bool allTypes,
                     std::vector<CListedFile>& files, std::size_t& unlisted) {
    std::unordered_map<std::string, std::vector<std::size_t>> groups;
    std::vector<std::string> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        keys[i] = FoldCase(std::string_view(names[i]).substr(0, ExtensionStart(names[i])));
        groups[keys[i]].push_back(i);
    }
    const auto listable = [&](std::size_t i) {
        return allTypes ? ImageTypeOf(names[i]) != nullptr
                        : HasJpgExtension(names[i].c_str(), names[i].size());
    };
    std::vector<int> leaderOf(names.size(), -1); // for followers: their leader
    for (const auto& [key, members] : groups) {
        int leader = -1;
        for (const std::size_t i : members) {
            const int rank = listable(i) ? LeadRank(ImageTypeOf(names[i])) : kNoLead;
            if (rank != kNoLead && (leader < 0 || rank < LeadRank(ImageTypeOf(names[leader]))))
                leader = static_cast<int>(i);
        }
        // With "*.jpg" only, a JPEG takes raw files and videos; with every
        // type, a leader takes every other photo or video of its stem.
        for (const std::size_t i : members) {
            if (leader < 0 || static_cast<int>(i) == leader)
                continue;
            const ImageType* type = ImageTypeOf(names[i]);
            const bool follows =
                IsSidecarName(names[i]) ||
                (type != nullptr && type->kind != ImageKind::OtherImage &&
                 (allTypes ? LeadRank(type) != kNoLead
                           : type->kind == ImageKind::Raw || type->kind == ImageKind::Video));
            if (follows && (allTypes || !listable(i)))
                leaderOf[i] = leader;
        }
    }
    std::vector<int> fileOf(names.size(), -1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (leaderOf[i] >= 0 || !listable(i)) {
            unlisted += leaderOf[i] < 0 && ImageTypeOf(names[i]) != nullptr;
            continue;
        }
        fileOf[i] = static_cast<int>(files.size());
        files.push_back({names[i], {}});
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (leaderOf[i] >= 0) {
            std::string& companions = files[fileOf[leaderOf[i]]].strCompanions;
            companions.append(names[i]).push_back('\0');
        }
    }
}

} // namespace

bool ListJpegNames(const std::string& folder, std::vector<std::string>& names) {
    return ListNames(folder, names, HasJpgExtension);
}

bool ListFolder(const std::string& folder, const CScanOptions& options,
                std::vector<CListedFile>& files, std::size_t& unlisted) {
    files.clear();
    unlisted = 0;
    std::vector<std::string> names;
    if (!ListNames(folder, names, IsKnownName))
        return false;
    if (options.bCompanions) {
        GroupCompanions(names, options.bAllTypes, files, unlisted);
        return true;
    }
    // Each file its own row; with "*.jpg" alone the other types are counted.
    for (std::string& name : names) {
        const bool listable = options.bAllTypes ? ImageTypeOf(name) != nullptr
                                                : HasJpgExtension(name.c_str(), name.size());
        if (listable)
            files.push_back({std::move(name), {}});
        else
            unlisted += ImageTypeOf(name) != nullptr;
    }
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
                    bool& listed, CScanObserver* observer, const CScanOptions& options,
                    std::size_t* unlisted) {
    rows.clear();
    std::vector<CListedFile> files;
    std::size_t others = 0;
    listed = ListFolder(folder, options, files, others) && !files.empty();
    if (unlisted != nullptr)
        *unlisted = others;
    if (!listed)
        return 0;
    rows.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        rows[i].SetText(0, files[i].strName);
        rows[i].SetCompanions(files[i].strCompanions);
    }
    std::vector<CListedFile>().swap(files); // the rows hold copies now
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
        // "*.jpg" alone is read as JPEG whatever it holds, as always; with
        // every type the content picks the reader.
        const bool read =
            options.bAllTypes ? reader.LoadImage(path.c_str()) : reader.LoadJpeg(path.c_str());
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
