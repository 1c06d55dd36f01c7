#include "folder_scan.h"

#include "companions.h"
#include "file_stream.h"
#include "folder_dates.h"
#include "identical_files.h"
#include "image_reader.h"
#include "image_type.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "name_generation.h"
#include "string_table.h"
#include "takeout_sidecar.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace velmora {
namespace {

// Fills a folder's lens table as its files are read: each distinct text gets
// an index, the empty text 0. Past the 16-bit index the rest count as none.
class CLensCollector {
public:
    explicit CLensCollector(CTextTable& table) : m_table(table) { m_table.assign(1, {}); }

    std::uint16_t Add(const std::string& lens) {
        if (lens.empty())
            return 0;
        // Files come in long runs of one lens: the last answers at once.
        if (lens == m_table[m_lastIndex])
            return m_lastIndex;
        const auto [found, added] =
            m_indices.try_emplace(lens, static_cast<std::uint16_t>(m_table.size()));
        if (added && m_table.size() <= UINT16_MAX)
            m_table.push_back(lens);
        else if (added)
            found->second = 0;
        m_lastIndex = found->second;
        return m_lastIndex;
    }

private:
    CTextTable& m_table;
    std::unordered_map<std::string, std::uint16_t> m_indices;
    std::uint16_t m_lastIndex = 0;
};

bool IsDated(const CListRow& row) {
    return row.nImage == RowToRename || row.nImage == RowNamed;
}

// A row read without a date it can be named by, and why; `position` is its
// place in the listing.
void SetNoDate(CListRow& row, int textId, int position) {
    row.SetText(1, LoadString(textId));
    row.nImage = RowNoDate;
    row.nData = position;
    row.nDateSource = 0;
    row.nDateOffset = kNoDateOffset;
}

// The row's date as the folder's date decision gave it.
void StoreDate(CListRow& row, const CRowDate& date) {
    row.nData = date.nWallMillis;
    row.nDateSource = static_cast<std::uint8_t>(date.source);
    row.nDateOffset = date.nOffset;
}

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

// The wanted names of an open folder in byte order, with their entry types;
// `folders`, when given, receives the names of its subfolders (entries the
// listing says are folders, not links to one), also in byte order.
void ListNames(DIR* dir, std::vector<std::string>& names, bool (*wanted)(const char*, std::size_t),
               std::vector<unsigned char>& types, std::vector<std::string>* folders = nullptr) {
    names.clear();
    types.clear();
    std::vector<std::pair<std::string, unsigned char>> entries;
    while (const dirent* entry = readdir(dir)) {
        const std::size_t length = std::char_traits<char>::length(entry->d_name);
        if (wanted(entry->d_name, length))
            entries.emplace_back(std::string(entry->d_name, length), entry->d_type);
        if (folders != nullptr && (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN))
            folders->emplace_back(entry->d_name, length);
    }
    // The file system's own order is arbitrary; byte order keeps the counters
    // of equally dated files the same from one run to the next.
    std::sort(entries.begin(), entries.end());
    if (folders != nullptr)
        std::sort(folders->begin(), folders->end());
    names.reserve(entries.size());
    for (auto& [name, type] : entries) {
        names.push_back(std::move(name));
        types.push_back(type);
    }
}

bool IsKnownName(const char* name, std::size_t length) {
    const std::string_view view(name, length);
    return ImageTypeOf(view) != nullptr || IsSidecarName(view) || IsTakeoutSidecarName(view);
}

// Photos rank up to here; raw files and videos lead only a stem without one.
constexpr int kLastPhotoRank = 1;

// Whether a listed entry is a folder, or a link to one: the listing's own
// entry type says so, else (a link, an unknown type) a status call.
bool IsFolderEntry(const std::string& folder, const std::string& name, unsigned char type) {
    if (type != DT_LNK && type != DT_UNKNOWN)
        return type == DT_DIR;
    struct stat status {};
    return stat((folder + '/' + name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Groups the names by stem (ignoring case) for the companions. Every photo
// is a row of its own, also beside another photo of its stem (IMG_1.jpg and
// img_1.jpg, IMG_5.jpeg and IMG_5.jpg): each has its own date. A raw file,
// video or sidecar follows the photo whose stem is exactly its own (a camera
// writes a pair with one stem), else the first photo of its stem: a JPEG
// before a HEIF, then by name. A stem without a photo is led by its raw
// file, else its video, which the others follow. A folder neither leads nor
// follows: it is no photo, and renaming it with one would move a whole tree.
void GroupCompanions(const std::string& folder, const std::vector<std::string>& names,
                     const std::vector<unsigned char>& types, bool allTypes,
                     std::vector<CListedFile>& files, std::size_t& unlisted) {
    const auto listable = [&](std::size_t i) {
        return allTypes ? ImageTypeOf(names[i]) != nullptr
                        : HasJpgExtension(names[i].c_str(), names[i].size());
    };
    std::vector<std::string_view> stems(names.size());
    std::vector<std::string> keys(names.size());
    std::vector<int> ranks(names.size(), kNoLead);
    std::vector<bool> mayFollow(names.size());
    // The leader of each stem ignoring case, and the first photo of each
    // exact stem; names come in byte order, so the first of a rank wins.
    std::unordered_map<std::string, std::size_t> leaders;
    std::unordered_map<std::string_view, std::size_t> exactPhotos;
    for (std::size_t i = 0; i < names.size(); ++i) {
        stems[i] = std::string_view(names[i]).substr(0, ExtensionStart(names[i]));
        keys[i] = FoldCase(stems[i]);
        const ImageType* type = ImageTypeOf(names[i]);
        const bool isFolder = IsFolderEntry(folder, names[i], types[i]);
        mayFollow[i] =
            !isFolder &&
            (IsSidecarName(names[i]) ||
             (type != nullptr && (type->kind == ImageKind::Raw || type->kind == ImageKind::Video)));
        if (isFolder || !listable(i))
            continue;
        ranks[i] = LeadRank(type);
        if (ranks[i] == kNoLead)
            continue;
        const auto [leader, added] = leaders.try_emplace(keys[i], i);
        if (!added && ranks[i] < ranks[leader->second])
            leader->second = i;
        if (ranks[i] <= kLastPhotoRank) {
            const auto [photo, first] = exactPhotos.try_emplace(stems[i], i);
            if (!first && ranks[i] < ranks[photo->second])
                photo->second = i;
        }
    }
    std::vector<int> leaderOf(names.size(), -1); // for followers: their leader
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto leader = leaders.find(keys[i]);
        if (!mayFollow[i] || leader == leaders.end() || leader->second == i)
            continue;
        std::size_t lead = leader->second;
        if (ranks[lead] <= kLastPhotoRank) {
            if (const auto exact = exactPhotos.find(stems[i]); exact != exactPhotos.end())
                lead = exact->second;
        }
        leaderOf[i] = static_cast<int>(lead);
    }
    std::vector<int> fileOf(names.size(), -1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (leaderOf[i] >= 0 || !listable(i)) {
            unlisted += leaderOf[i] < 0 && ImageTypeOf(names[i]) != nullptr;
            continue;
        }
        fileOf[i] = static_cast<int>(files.size());
        files.push_back({names[i], {}, types[i]});
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (leaderOf[i] >= 0) {
            std::string& companions = files[fileOf[leaderOf[i]]].strCompanions;
            companions.append(names[i]).push_back('\0');
        }
    }
}

// A Takeout JSON sidecar follows the listed photo whose own it is by the
// export's names; of several photos naming one ("NAME.json" of IMG.jpg and
// IMG.png) the first listed.
void AttachTakeoutSidecars(const std::vector<std::string>& names, std::vector<CListedFile>& files) {
    std::unordered_map<std::string_view, bool> sidecars; // name -> taken
    for (const std::string& name : names) {
        if (IsTakeoutSidecarName(name))
            sidecars.emplace(name, false);
    }
    if (sidecars.empty())
        return;
    std::vector<std::string> forms;
    for (CListedFile& file : files) {
        TakeoutSidecarNames(file.strName, forms);
        for (const std::string& form : forms) {
            const auto sidecar = sidecars.find(form);
            if (sidecar != sidecars.end() && !sidecar->second) {
                sidecar->second = true;
                file.strCompanions.append(form).push_back('\0');
                break;
            }
        }
    }
}

// A sidecar that gave a row its date follows the row's file, companions on
// or off: left behind, it would no longer date the renamed file. Of rows
// dated by one sidecar (IMG_1.jpg and IMG_1.jpeg by IMG_1.xmp) it follows
// the one it would follow as a companion: a JPEG before a HEIF, then the
// first by name; a Takeout sidecar follows its original before an edited
// copy. With companions on it follows its photo already.
void AttachDatingSidecars(CFolderDates& dates, CListRows& rows) {
    const auto rank = [&](std::size_t row) {
        const std::string_view name = rows[row].Text(0);
        return LeadRank(ImageTypeOf(name)) + (TakeoutOriginalName(name).empty() ? 0 : kNoLead);
    };
    std::unordered_map<std::string, std::size_t> followed; // sidecar -> row, rows in listing order
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto source = static_cast<DateSource>(rows[i].nDateSource);
        if (!IsDated(rows[i]) || !IsSidecarSource(source))
            continue;
        std::string sidecar = dates.DatingSidecarName(rows[i].Text(0), source);
        if (sidecar.empty())
            continue;
        const auto [entry, added] = followed.try_emplace(std::move(sidecar), i);
        if (!added && rank(i) < rank(entry->second))
            entry->second = i;
    }
    for (const auto& [sidecar, row] : followed)
        rows[row].SetCompanions(sidecar + '\0');
}

// What a reader reads of most files: their first 64 KiB.
constexpr std::size_t kReadAheadBytes = 64 * 1024;

// Movies often keep their header box, TIFF-based files their directories, at
// the end: their last bytes are asked for too.
bool KeepsHeadersAtTheEnd(std::string_view name) {
    const ImageType* type = ImageTypeOf(name);
    return type != nullptr && (type->kind == ImageKind::Video || type->kind == ImageKind::Raw ||
                               type->extension == "tif" || type->extension == "tiff");
}

struct COpenedFile {
    CFileStream stream;
    bool bOpen = false;
    std::string strPath;
};

// Opens the rows' files in order, a window of them ahead of the one being
// read, each asked for as it is opened: the device fetches the next files
// while the reader parses this one, and each file is still opened once. A
// file now and then is checked, before it is asked for, for being in memory
// already: while they are, asking would only cost a system call per file.
class CReadAhead {
public:
    CReadAhead(const std::string& folder, const CListRows& rows,
               const std::vector<unsigned char>& types, int window, bool tails)
        : m_folder(folder + '/'), m_rows(rows), m_types(types), m_tails(tails),
          m_window(static_cast<std::size_t>(std::max(window, 0)) + 1), m_files(m_window),
          m_dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~CReadAhead() {
        if (m_dir >= 0)
            close(m_dir);
    }
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // Row `row`'s file, opened (or not, when it can't be); rows come in order.
    COpenedFile& Next(int row) {
        const std::size_t wanted =
            std::min(static_cast<std::size_t>(row) + m_window, m_rows.size());
        for (; m_opened < wanted; ++m_opened) {
            COpenedFile& file = m_files[m_opened % m_window];
            file.stream.Close();
            file.strPath.assign(m_folder).append(m_rows[m_opened].Text(0));
            // Opened in the open folder: no walk along its path per file.
            file.bOpen = Open(file, m_opened);
            if (!file.bOpen || m_window == 1)
                continue;
            if (m_opened % kProbeEvery == 0)
                m_inMemory = file.stream.InMemory() ? m_inMemory + 1 : 0;
            if (m_inMemory < kInMemoryToStop)
                file.stream.ReadAhead(kReadAheadBytes,
                                      m_tails && KeepsHeadersAtTheEnd(file.strPath));
        }
        return m_files[static_cast<std::size_t>(row) % m_window];
    }

private:
    // Every so many files one is checked; after so many checks in a row
    // found in memory, the folder is taken to be in memory.
    static constexpr std::size_t kProbeEvery = 16;
    static constexpr int kInMemoryToStop = 2;

    const std::string m_folder;
    // A regular file by the listing's own entry type needs no status call of
    // its own before the open; anything else (a link, a FIFO, an entry type
    // the file system did not give) gets the full status check first. A
    // regular file swapped for a FIFO after the listing is therefore opened
    // (without blocking, and closed unread), which lets a writer waiting on
    // it go. Closing that gap (an O_PATH handle checked, then the same inode
    // opened through /proc/self/fd) takes two or three more system calls per
    // file, 1.3 to 1.4 times the warm scan, so the scan keeps this open.
    bool Open(COpenedFile& file, std::size_t row) const {
        const char* name = file.strPath.c_str() + m_folder.size();
        if (m_dir < 0)
            return file.stream.Open(file.strPath.c_str());
        return m_types[row] == DT_REG ? file.stream.OpenRegularAt(m_dir, name)
                                      : file.stream.OpenAt(m_dir, name);
    }

    const CListRows& m_rows;
    const std::vector<unsigned char>& m_types; // by row, as listed
    const bool m_tails;                        // every type: the ends of files are read too
    const std::size_t m_window;
    std::vector<COpenedFile> m_files; // a ring: row r in slot r % window
    std::size_t m_opened = 0;
    const int m_dir;
    int m_inMemory = 0; // checks in a row that found the file in memory
};

} // namespace

namespace {

// Subfolders a tree scan never enters, besides hidden ones (".thumbnails",
// ".Trash-1000", ".@__thumb"): the thumbnails, recycle bins and snapshots of
// NAS boxes, and the system folders of desktops and file systems. Compared
// ignoring case, as those systems write them in either.
constexpr std::string_view kSkippedFolders[] = {
    "@eaDir",
    "#recycle",
    "#snapshot",
    "@Recycle",
    "@Recently-Snapshot",
    "$RECYCLE.BIN",
    "System Volume Information",
    "lost+found",
};

bool IsSkippedFolder(std::string_view name) {
    return name.empty() || name.front() == '.' ||
           std::any_of(std::begin(kSkippedFolders), std::end(kSkippedFolders),
                       [name](std::string_view skipped) { return EqualNoCase(name, skipped); });
}

// One folder's files as ListFolder gives them.
void ListOneFolder(const std::string& folder, DIR* dir, const CScanOptions& options,
                   std::vector<CListedFile>& files, std::size_t& unlisted,
                   std::vector<std::string>* sidecars, std::vector<std::string>* folders) {
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    ListNames(dir, names, IsKnownName, types, folders);
    if (sidecars != nullptr) {
        std::copy_if(names.begin(), names.end(), std::back_inserter(*sidecars),
                     [](const std::string& name) { return IsTakeoutSidecarName(name); });
    }
    if (options.bCompanions) {
        const std::size_t first = files.size();
        GroupCompanions(folder, names, types, options.bAllTypes, files, unlisted);
        std::vector<CListedFile> own(std::make_move_iterator(files.begin() + first),
                                     std::make_move_iterator(files.end()));
        AttachTakeoutSidecars(names, own);
        std::move(own.begin(), own.end(), files.begin() + first);
        return;
    }
    // Each file its own row; with "*.jpg" alone the other types are counted.
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string& name = names[i];
        const bool listable = options.bAllTypes ? ImageTypeOf(name) != nullptr
                                                : HasJpgExtension(name.c_str(), name.size());
        if (listable)
            files.push_back({std::move(name), {}, types[i]});
        else
            unlisted += ImageTypeOf(name) != nullptr;
    }
}

// Puts `prefix` before a listed file's name and each of its companions'.
void PrefixNames(CListedFile& file, const std::string& prefix) {
    file.strName.insert(0, prefix);
    std::string companions;
    for (std::size_t start = 0; start < file.strCompanions.size();) {
        const std::size_t end = file.strCompanions.find('\0', start);
        companions.append(prefix).append(file.strCompanions, start, end - start).push_back('\0');
        start = end + 1;
    }
    file.strCompanions = std::move(companions);
}

using DirPointer = std::unique_ptr<DIR, int (*)(DIR*)>;

DirPointer OpenDir(int fd) {
    DirPointer dir(fd >= 0 ? fdopendir(fd) : nullptr, closedir);
    if (!dir && fd >= 0)
        close(fd);
    return dir;
}

} // namespace

bool ListFolder(const std::string& folder, const CScanOptions& options,
                std::vector<CListedFile>& files, std::size_t& unlisted,
                std::vector<std::string>* sidecars, std::size_t* folderCount,
                CScanObserver* observer) {
    files.clear();
    unlisted = 0;
    if (sidecars != nullptr)
        sidecars->clear();
    if (folderCount != nullptr)
        *folderCount = 1;
    const DirPointer root = OpenDir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return false;
    std::vector<std::string> subfolders;
    ListOneFolder(folder, root.get(), options, files, unlisted, sidecars,
                  options.bRecursive ? &subfolders : nullptr);
    if (!options.bRecursive)
        return true;
    // A tree of thousands of folders takes a while to walk: the observer
    // hears of each folder listed, and may stop the walk.
    std::size_t entered = 1;
    const auto told = [&] {
        if (observer == nullptr)
            return true;
        observer->OnListing(files.size(), entered);
        if (!observer->StopWanted())
            return true;
        files.clear();
        if (sidecars != nullptr)
            sidecars->clear();
        return false;
    };
    if (!told())
        return false;
    // Depth first, each folder's files before its subfolders', all in byte
    // order, so that a tree lists the same way every time. Folders are opened
    // from their parent without following a link, and a folder on another
    // file system (a mount inside the tree) is not entered.
    struct stat rootStatus {};
    if (fstat(dirfd(root.get()), &rootStatus) != 0)
        return true;
    struct CPending {
        std::string strPath; // relative to `folder`, ending in '/'
        std::shared_ptr<DIR> parent;
        std::vector<std::string> names; // its subfolders still to enter, last first
    };
    std::vector<CPending> stack;
    std::shared_ptr<DIR> rootDir(root.get(), [](DIR*) {});
    std::reverse(subfolders.begin(), subfolders.end());
    stack.push_back({std::string(), rootDir, std::move(subfolders)});
    std::vector<CListedFile> found;
    while (!stack.empty()) {
        CPending& top = stack.back();
        if (top.names.empty()) {
            stack.pop_back();
            continue;
        }
        const std::string name = std::move(top.names.back());
        top.names.pop_back();
        if (IsSkippedFolder(name))
            continue;
        const int fd = openat(dirfd(top.parent.get()), name.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat status {};
        if (fd < 0 || fstat(fd, &status) != 0 || status.st_dev != rootStatus.st_dev) {
            if (fd >= 0)
                close(fd);
            continue;
        }
        DirPointer opened = OpenDir(fd);
        if (!opened)
            continue;
        const std::string path = top.strPath + name + '/';
        std::shared_ptr<DIR> dir(opened.release(), closedir);
        found.clear();
        const std::size_t sidecarsBefore = sidecars != nullptr ? sidecars->size() : 0;
        ListOneFolder(folder + '/' + path, dir.get(), options, found, unlisted, sidecars,
                      &subfolders);
        if (sidecars != nullptr) {
            for (std::size_t i = sidecarsBefore; i < sidecars->size(); ++i)
                (*sidecars)[i].insert(0, path);
        }
        for (CListedFile& file : found) {
            PrefixNames(file, path);
            files.push_back(std::move(file));
        }
        ++entered;
        if (folderCount != nullptr)
            *folderCount = entered;
        if (!told())
            return false;
        std::reverse(subfolders.begin(), subfolders.end());
        stack.push_back({path, std::move(dir), std::move(subfolders)});
        subfolders.clear();
    }
    return true;
}

CRowDate RowDate(const CDeviceTable& devices, const CListRow& row) {
    CRowDate date;
    if (!IsDated(row))
        return date;
    date.nWallMillis = row.nData;
    date.source = static_cast<DateSource>(row.nDateSource);
    date.nOffset = row.nDateOffset;
    date.nDevice = row.nDeviceIndex;
    date.nClockSeconds = velmora::AppliedClockOffset(devices, date.nDevice, date.source);
    return date;
}

std::int64_t AppliedClockOffset(const CDeviceTable& devices, const CListRow& row) {
    return RowDate(devices, row).nClockSeconds;
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
                    std::size_t* unlisted, CDeviceTable* devices, CTextTable* lenses) {
    rows.clear();
    CTextTable ownLenses;
    CLensCollector lensIndices(lenses != nullptr ? *lenses : ownLenses);
    if (devices != nullptr)
        devices->assign(1, CDevice{});
    std::vector<CListedFile> files;
    std::size_t others = 0;
    std::vector<std::string> sidecars;
    listed =
        ListFolder(folder, options, files, others, &sidecars, nullptr, observer) && !files.empty();
    if (unlisted != nullptr)
        *unlisted = others;
    if (!listed)
        return 0;
    rows.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        rows[i].SetText(0, files[i].strName);
        rows[i].SetCompanions(files[i].strCompanions);
    }
    std::vector<unsigned char> types(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        types[i] = files[i].nType;
    std::vector<CListedFile>().swap(files); // the rows hold copies now
    if (observer != nullptr)
        observer->OnListed(rows);

    // An absolute folder spares the reader a look at the working folder for
    // each file's full name.
    const std::string base =
        folder.empty() || folder.front() == '/' ? folder : CFileStream::FullPath(folder.c_str());
    CFolderDates dates(base, options.undated, options.clocks, devices);
    dates.SetTakeoutNames(sidecars);
    CJpegFile reader;
    reader.m_bReadHints = dates.WantsHints();
    const int count = static_cast<int>(rows.size());
    CReadAhead ahead(base, rows, types, options.nReadAhead, options.bAllTypes);
    CFileStream reading;
    // A tree's rows come folder by folder: a change of folder part between
    // neighbours is the reading entering the next folder. (A copy: naming a
    // row gives its texts a new block.)
    const bool tellFolders = observer != nullptr && options.bRecursive;
    std::string readingFolder;
    std::size_t foldersRead = 0;
    for (int i = 0; i < count; ++i) {
        if (tellFolders) {
            const std::string_view name = rows[i].Text(0);
            const std::string_view part = name.substr(0, name.rfind('/') + 1);
            if (i == 0 || part != readingFolder) {
                readingFolder = part;
                observer->OnReadingFolder(++foldersRead);
            }
        }
        if (observer != nullptr)
            observer->OnReading(i, count);
        // Half a folder's dates would give the rows other counters.
        if (observer != nullptr && observer->StopWanted()) {
            rows.clear();
            listed = false;
            return 0;
        }
        CListRow& row = rows[i];
        COpenedFile& file = ahead.Next(i);
        // "*.jpg" alone is read as JPEG whatever it holds, as always; with
        // every type the content picks the reader.
        reading.TakeOver(file.stream);
        const bool read =
            reader.LoadOpened(reading, file.bOpen, file.strPath.c_str(), options.bAllTypes);
        row.SetId(CFileId::FromStat(reader.m_nFileDevice, reader.m_nFileInode));
        const CRowDate date = dates.Add(reader, read, row.Text(0));
        row.nDeviceIndex = date.nDevice;
        row.nLensIndex = lensIndices.Add(reader.m_strLens);
        if (date.Found()) {
            row.SetText(1, {});
            row.nImage = RowToRename;
            StoreDate(row, date);
        } else if (date.nFaultId != 0) {
            SetNoDate(row, date.nFaultId, i);
        } else if (read) {
            // The JPEG text would mislead for a movie or a PNG.
            SetNoDate(row,
                      reader.m_format == FileFormat::Jpeg ? IDS_MISSING_INFORMATION
                                                          : IDS_NO_DATE_HELD,
                      i);
        } else {
            row.SetText(1, ReadFailureText(reader, file.strPath.c_str(), options.bAllTypes));
            row.nImage = RowUnreadable;
            row.nData = i;
        }
    }
    // Some dates (movies in their neighbours' zone) wait for the whole folder.
    if (dates.Finish()) {
        for (int i = 0; i < count; ++i) {
            CListRow& row = rows[i];
            if (!IsDated(row))
                continue;
            const CRowDate placed = dates.Placed(RowDate(dates.Devices(), row));
            if (placed.Found())
                StoreDate(row, placed);
            else
                SetNoDate(row, placed.nFaultId, i);
        }
    }
    if (!options.bCompanions)
        AttachDatingSidecars(dates, rows);
    // A tree gathered from several cards and backups holds the same photo
    // more than once: its copies are shown as such and stay where they are.
    if (options.bRecursive) {
        const int dir = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            MarkIdenticalCopies(dir, rows);
            close(dir);
        }
    }
    if (observer != nullptr)
        observer->OnSorting();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CListRow& a, const CListRow& b) { return CompareRows(a, b) < 0; });
    const CNameFacts facts{&dates.Devices(), lenses != nullptr ? lenses : &ownLenses,
                           FolderNameOf(base)};
    return UpdateConvertedNames(rows, format, &facts, options.extensionCase);
}

} // namespace velmora
