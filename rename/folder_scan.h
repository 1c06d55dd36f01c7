#pragma once

#include "date_choice.h"
#include "devices.h"
#include "extension_case.h"
#include "folder_dates.h"
#include "list_rows.h"

#include <string>
#include <vector>

// The folder scan: the entries directly inside a folder that its options list
// ("*.jpg" alone, or every photo and video type, with or without their
// companions) become rows, read with one reader, given their status and the
// date the folder's date decision (dates/) gives, sorted, and named.
namespace velmora {

// Told of the scan's progress; a scan without an observer pays nothing.
class CScanObserver {
public:
    virtual ~CScanObserver() = default;
    // All entries are listed as rows (column 0 only), none read yet.
    virtual void OnListed(const CListRows& rows) = 0;
    // A tree scan as it walks: `files` listed so far in the `folders`
    // entered (the folder itself counts), after each folder.
    virtual void OnListing(std::size_t files, std::size_t folders) {
        (void)files;
        (void)folders;
    }
    // Row `index` of `count` is about to be read.
    virtual void OnReading(int index, int count) = 0;
    // A tree scan's reading enters the `folders`th folder that holds listed
    // files, before OnReading of the folder's first row.
    virtual void OnReadingFolder(std::size_t folders) { (void)folders; }
    // Every row is read; they are about to be sorted and named.
    virtual void OnSorting() {}
    // Asked before each file is read (and after each OnListing): true stops
    // the scan, which then leaves no rows, as a folder that could not be
    // listed.
    virtual bool StopWanted() { return false; }
};

// Which files a scan lists. The defaults list "*.jpg" alone, each file its
// own row.
struct CScanOptions {
    bool bAllTypes = false;   // every photo and video type the readers know
    bool bCompanions = false; // files that belong to a listed photo follow it
    // How many files ahead of the one being read are opened and asked for,
    // so that a slow device works on them meanwhile; 0 reads one by one.
    int nReadAhead = 32;
    // What files without a date taken of their own are dated by.
    UndatedDates undated = UndatedDates::None;
    // The clock offsets of devices, applied to the dates their files give.
    CClockOffsets clocks{};
    // The case the new names' extensions take.
    ExtensionCase extensionCase = ExtensionCase::Keep;
    // Every subfolder too (ListFolder says which are entered); rows name
    // their files by their path relative to the folder.
    bool bRecursive = false;
};

// One listed file and the names of its companions, NUL-ended each.
struct CListedFile {
    std::string strName;
    std::string strCompanions;
    // The entry's type as the listing gave it (DT_REG, DT_LNK, ...; 0 when
    // the file system did not say).
    unsigned char nType = 0;
};

// The files a scan with `options` lists, in byte order of their names, each
// with its companions: every photo (a ".jpg" file; with every type a JPEG or
// HEIF file) is listed, and the raw files, videos and sidecars of its stem
// (ignoring case) follow it; of several photos of a stem, the one whose stem
// is exactly theirs, else the first (a JPEG before a HEIF, then by name).
// With every type, a stem without a photo is listed as its raw file, else
// its video, which the others follow. Folders never follow.
// `unlisted` counts the files of known types that are neither listed nor
// follow a listed one. `sidecars`, when given, receives the names of the
// folder's Takeout JSON sidecars. False when the folder can't be read.
// With bRecursive every subfolder is listed too, depth first, each folder's
// files (companions and sidecars from their own folder) before its
// subfolders', named by their path relative to `folder`. Links to folders,
// folders on another file system, hidden folders and the system folders of
// NAS boxes, cameras and desktops (@eaDir, #recycle, #snapshot, @Recycle,
// @Recently-Snapshot, $RECYCLE.BIN, System Volume Information, lost+found)
// are not entered; `folderCount`, when given, receives how many folders were.
// `observer`, when given, is told of the walk (OnListing) and may stop it,
// which lists nothing and gives false.
bool ListFolder(const std::string& folder, const CScanOptions& options,
                std::vector<CListedFile>& files, std::size_t& unlisted,
                std::vector<std::string>* sidecars = nullptr, std::size_t* folderCount = nullptr,
                CScanObserver* observer = nullptr);

// A row's date as the scan stored it, read back: source None for a row
// without a date. `devices` is the scan's table, for the clock offset.
CRowDate RowDate(const CDeviceTable& devices, const CListRow& row);

// The clock offset (seconds) that the scan applied to a row's date: its
// device's, for the dates a file gives of itself (names and file times are
// no device's clock); 0 for other rows.
std::int64_t AppliedClockOffset(const CDeviceTable& devices, const CListRow& row);

// The order of the main list: dated rows by date taken, then unreadable rows,
// then rows without a date, each of the last two in listing order. Negative,
// zero or positive, as a sort callback answers.
int CompareRows(const CListRow& a, const CListRow& b);

// Replaces `rows` with the folder's listing (ListFolder), reads and dates
// every file, sorts the rows and generates their names with `format`. An XMP
// sidecar that gave a row its date follows it, also without companions.
// Returns the number of rows to rename; false in `listed` (rows empty) when
// nothing matched or the folder can't be read.
// `unlisted`, when given, receives the count ListFolder gives; `devices`
// the folder's devices, which the rows' nDeviceIndex point into; `lenses`
// its lenses, which the rows' nLensIndex point into.
unsigned ScanFolder(const std::string& folder, const std::string& format, CListRows& rows,
                    bool& listed, CScanObserver* observer = nullptr,
                    const CScanOptions& options = {}, std::size_t* unlisted = nullptr,
                    CDeviceTable* devices = nullptr, CTextTable* lenses = nullptr);

} // namespace velmora
