// The folder scan on real folders: which entries are listed, what each row
// holds after reading, the order of the rows and what an observer is told.

#include "folder_scan.h"
#include "jpeg_builder.h"
#include "media_builder.h"
#include "name_generation.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;
using testdata::Bytes;

namespace {

using testsupport::operator<<;

using testsupport::UtcSeconds;

constexpr const char* kInvalidJpeg = "Invalid JPEG file!";
constexpr const char* kMissingInformation = "The JPEG file is missing information.";

Bytes DatedPhoto(const char* exifDate) {
    const testdata::CTiffBuilder tiff =
        testdata::CameraTiff(testdata::ByteOrder::Motorola, exifDate);
    return testdata::CJpegBuilder::Photo(&tiff);
}

// Scans run in a fixed time zone and the C locale, so that date values and
// names do not depend on the machine.
class FolderScanTest : public ::testing::Test {
protected:
    FolderScanTest() { std::setlocale(LC_ALL, "C"); }
    ~FolderScanTest() override { std::setlocale(LC_ALL, m_oldLocale.c_str()); }

    void Dated(const char* name, const char* exifDate) {
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), DatedPhoto(exifDate)));
    }
    void Undated(const char* name) {
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::CJpegBuilder::Photo(nullptr)));
    }
    void Unreadable(const char* name) {
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::ToBytes("not a picture")));
    }

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (const CListRow& row : m_rows)
            texts.emplace_back(row.Text(column));
        return texts;
    }
    std::vector<int> Statuses() const {
        std::vector<int> statuses;
        for (const CListRow& row : m_rows)
            statuses.push_back(row.nImage);
        return statuses;
    }

    unsigned Scan(const std::string& format = kDefaultFormat, CScanObserver* observer = nullptr) {
        return ScanFolder(m_dir.Path(), format, m_rows, m_listed, observer);
    }

    testsupport::CScopedTimeZone m_zone{"UTC0"};
    const std::string m_oldLocale = std::setlocale(LC_ALL, nullptr);
    testsupport::CTempDir m_dir;
    CListRows m_rows;
    bool m_listed = false;
};

using Names = std::vector<std::string>;

TEST_F(FolderScanTest, ListsJpgOfAnyCaseAndKindDirectlyInsideInByteOrder) {
    for (const char* name : {"b.JPG", "a.Jpg", "C.jpg", ".jpg", "é.jpg", "notes.txt", "jpg",
                             "x.jpeg", "photo.jpg.bak"})
        Unreadable(name);
    ASSERT_EQ(mkdir(m_dir.File("x.jpg").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(m_dir.File("sub").c_str(), 0755), 0);
    Unreadable("sub/inner.jpg");
    ASSERT_EQ(mkfifo(m_dir.File("y.jpg").c_str(), 0644), 0);

    Names names{"stale.jpg"};
    ASSERT_TRUE(testsupport::ListJpegNames(m_dir.Path(), names));
    EXPECT_EQ(names, (Names{".jpg", "C.jpg", "a.Jpg", "b.JPG", "x.jpg", "y.jpg", "é.jpg"}));
}

TEST_F(FolderScanTest, FolderAndFifoNamedJpgAreUnreadableRowsAndDoNotHang) {
    Dated("a.jpg", "2005:07:01 10:00:00");
    ASSERT_EQ(mkdir(m_dir.File("x.jpg").c_str(), 0755), 0);
    // Nobody writes to the FIFO: opening it for reading in blocking mode would
    // never return.
    ASSERT_EQ(mkfifo(m_dir.File("y.jpg").c_str(), 0644), 0);

    EXPECT_EQ(Scan(), 1u);
    EXPECT_TRUE(m_listed);
    EXPECT_EQ(Column(0), (Names{"a.jpg", "x.jpg", "y.jpg"}));
    EXPECT_EQ(Column(1), (Names{"Img20050701_100000_000.jpg", kInvalidJpeg, kInvalidJpeg}));
    EXPECT_EQ(Statuses(), (std::vector<int>{RowToRename, RowUnreadable, RowUnreadable}));
}

TEST_F(FolderScanTest, DatedByDateThenUnreadableThenUndatedEachInListingOrder) {
    Undated("a_nodate.jpg");
    Unreadable("b_bad.jpg");
    Dated("c.jpg", "2005:07:03 08:00:00");
    // A JPEG cut off inside its first section: the reader's own error text shows.
    ASSERT_TRUE(testdata::WriteFile(m_dir.File("d_bad.jpg"),
                                    Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x'}));
    Undated("e_nodate.jpg");
    Dated("f.jpg", "2005:07:01 08:00:00");
    Dated("g.jpg", "2005:07:02 08:00:00");

    EXPECT_EQ(Scan("%m%d_%C"), 3u);
    EXPECT_EQ(Column(0), (Names{"f.jpg", "g.jpg", "c.jpg", "b_bad.jpg", "d_bad.jpg", "a_nodate.jpg",
                                "e_nodate.jpg"}));
    EXPECT_EQ(Column(1),
              (Names{"0701_000.jpg", "0702_001.jpg", "0703_002.jpg", kInvalidJpeg,
                     "Premature end of file?", kMissingInformation, kMissingInformation}));
    EXPECT_EQ(Statuses(), (std::vector<int>{RowToRename, RowToRename, RowToRename, RowUnreadable,
                                            RowUnreadable, RowNoDate, RowNoDate}));
    // Dated rows carry their date value, the others their position in the listing.
    // (milliseconds of the date as written).
    const std::vector<std::int64_t> data{UtcSeconds(2005, 7, 1, 8, 0, 0) * 1000,
                                         UtcSeconds(2005, 7, 2, 8, 0, 0) * 1000,
                                         UtcSeconds(2005, 7, 3, 8, 0, 0) * 1000,
                                         1,
                                         3,
                                         0,
                                         4};
    for (std::size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(m_rows[i].nData, data[i]) << "row " << i;
}

// The JPEG texts are for JPEG content and names only; a file of another
// type says in its own words that it holds no date, is damaged, or is no
// file at all.
TEST_F(FolderScanTest, UndatedOrDamagedFileOfAnotherTypeSaysSoInItsWords) {
    Undated("a.jpg");
    for (const char* name : {"b.png", "c.jpg"})
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::PngWithChunks({}, {})));
    ASSERT_TRUE(testdata::WriteFile(m_dir.File("d.heic"),
                                    testdata::Box("ftyp", testdata::ToBytes("heic"))));
    for (const char* name : {"e.mp4", "f.webp"})
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::ToBytes("not a photo at all")));
    ASSERT_EQ(mkdir(m_dir.File("g.mp4").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(m_dir.File("h.mov").c_str(), 0644), 0);
    ASSERT_EQ(symlink("gone.png", m_dir.File("i.png").c_str()), 0);
    ASSERT_EQ(mkfifo(m_dir.File("j.jpg").c_str(), 0644), 0);
    ScanFolder(m_dir.Path(), kDefaultFormat, m_rows, m_listed, nullptr, {.bAllTypes = true});
    const char* const noDate = "The file holds no date.";
    const char* const notAFile = "Not a regular file.";
    EXPECT_EQ(Column(1), (Names{"The file is damaged or cut short (HEIF).",
                                "The file is damaged or cut short (MP4).",
                                "The file is damaged or cut short (WEBP).", notAFile, notAFile,
                                notAFile, kInvalidJpeg, kMissingInformation, noDate, noDate}));
}

// Enough rows that a sort which is not stable would shuffle them.
TEST_F(FolderScanTest, EqualDatesKeepListingOrderAndConsecutiveCounters) {
    constexpr int kEqual = 40;
    Names names{"z.jpg"};
    Names converted{"30_000.jpg"};
    for (int i = kEqual - 1; i >= 0; --i)
        Dated(("f" + std::to_string(100 + i) + ".jpg").c_str(), "2005:07:01 10:00:00");
    for (int i = 0; i < kEqual; ++i) {
        names.push_back("f" + std::to_string(100 + i) + ".jpg");
        converted.push_back("01_" + std::to_string(1001 + i).substr(1) + ".jpg");
    }
    Dated("z.jpg", "2005:06:30 23:59:59");

    EXPECT_EQ(Scan("%d_%C"), kEqual + 1u);
    EXPECT_EQ(Column(0), names);
    EXPECT_EQ(Column(1), converted);
}

TEST_F(FolderScanTest, FileAlreadySoNamedIsNotCounted) {
    Dated("Img20050701_100000_000.JPG", "2005:07:01 10:00:00");
    Dated("b.jpg", "2005:07:02 10:00:00");
    EXPECT_EQ(Scan(), 1u);
    EXPECT_EQ(Statuses(), (std::vector<int>{RowNamed, RowToRename}));
}

struct DateCase {
    const char* name;
    const char* exifDate;
    const char* converted; // nullptr: not dated
};

// Any date of the years 1900 to 9999 is dated and named as written; an
// original before them wipes nothing: the file's DateTime (2009) names it.
const DateCase kDateCases[] = {
    {"year_1899", "1899:12:31 23:59:59", "20090101_100000.jpg"},
    {"first_second_of_1900", "1900:01:01 00:00:00", "19000101_000000.jpg"},
    {"scan_of_1919", "1919:05:01 12:00:00", "19190501_120000.jpg"},
    {"start_of_1970", "1970:01:01 00:00:00", "19700101_000000.jpg"},
    {"past_32_bits", "2038:01:19 03:14:08", "20380119_031408.jpg"},
    {"last_second_of_9999", "9999:12:31 23:59:59", "99991231_235959.jpg"},
};

class DateValueTest : public FolderScanTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(DateValueTest, RowIsDatedOnlyInsideTheRange) {
    const DateCase& c = GetParam();
    Dated("a.jpg", c.exifDate);
    EXPECT_EQ(Scan("%Y%m%d_%H%M%S"), c.converted != nullptr ? 1u : 0u);
    ASSERT_EQ(m_rows.size(), 1u);
    EXPECT_EQ(m_rows[0].nImage, c.converted != nullptr ? RowToRename : RowNoDate);
    EXPECT_EQ(m_rows[0].Text(1), c.converted != nullptr ? c.converted : kMissingInformation);
}

INSTANTIATE_TEST_SUITE_P(Threshold, DateValueTest, ::testing::ValuesIn(kDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

class CRecordingScanObserver : public CScanObserver {
public:
    void OnListed(const CListRows& rows) override {
        m_rows = &rows;
        ++m_listedCalls;
        m_readsBeforeListed = static_cast<int>(m_reads.size());
        for (const CListRow& row : rows) {
            m_listedNames.emplace_back(row.Text(0));
            m_listedColumn1.emplace_back(row.Text(1));
        }
    }
    void OnReading(int index, int count) override { m_reads.emplace_back(index, count); }
    void OnListing(std::size_t files, std::size_t folders) override {
        m_listing.emplace_back(files, folders);
    }
    void OnReadingFolder(std::size_t folders) override {
        m_readingFolders.emplace_back(static_cast<int>(m_reads.size()), folders);
    }
    bool StopWanted() override {
        return m_stopAtListing != 0 && m_listing.size() == m_stopAtListing;
    }
    // The window starts its view reset here: every row must be read, and
    // still in listing order and unnamed.
    void OnSorting() override {
        m_readsBeforeSorting = static_cast<int>(m_reads.size());
        for (const CListRow& row : *m_rows)
            m_namesWhenSorting.emplace_back(row.Text(0));
    }

    int m_listedCalls = 0;
    int m_readsBeforeSorting = -1;
    const CListRows* m_rows = nullptr;
    Names m_namesWhenSorting;
    int m_readsBeforeListed = -1;
    Names m_listedNames;
    Names m_listedColumn1;
    std::vector<std::pair<int, int>> m_reads;
    std::vector<std::pair<std::size_t, std::size_t>> m_listing; // files, folders
    std::vector<std::pair<int, std::size_t>> m_readingFolders;  // next read, folders
    std::size_t m_stopAtListing = 0; // stop after that many OnListing calls; 0 never
};

TEST_F(FolderScanTest, ObserverSeesAllNamesOnceThenEveryRead) {
    Dated("b.jpg", "2005:07:01 10:00:00");
    Unreadable("a.jpg");
    Undated("c.JPG");
    CRecordingScanObserver observer;
    Scan(kDefaultFormat, &observer);

    EXPECT_EQ(observer.m_listedCalls, 1);
    EXPECT_EQ(observer.m_readsBeforeListed, 0);
    EXPECT_EQ(observer.m_listedNames, (Names{"a.jpg", "b.jpg", "c.JPG"}));
    EXPECT_EQ(observer.m_listedColumn1, (Names{"", "", ""}));
    EXPECT_EQ(observer.m_reads, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
    EXPECT_EQ(observer.m_readsBeforeSorting, 3);
    EXPECT_EQ(observer.m_namesWhenSorting, (Names{"a.jpg", "b.jpg", "c.JPG"})) << "not yet sorted";
    EXPECT_EQ(m_rows[0].Text(0), "b.jpg") << "sorted after";
}

// A tree tells its walk folder by folder (folders without photos count, as
// walked) and its reading as it enters each folder of listed files; a stop
// during the walk lists nothing.
TEST_F(FolderScanTest, TreeObserverCountsFilesAndFoldersSoFar) {
    for (const char* folder : {"a", "a/b", "c", "d"})
        ASSERT_EQ(mkdir(m_dir.File(folder).c_str(), 0755), 0);
    for (const char* name : {"r.jpg", "a/x1.jpg", "a/x2.jpg", "d/z.jpg"})
        Dated(name, "2005:07:01 10:00:00");
    Unreadable("a/b/y.jpg");
    CScanOptions options;
    options.bRecursive = true;
    using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;

    CRecordingScanObserver observer;
    ScanFolder(m_dir.Path(), kDefaultFormat, m_rows, m_listed, &observer, options);
    EXPECT_EQ(observer.m_listing, (Pairs{{1, 1}, {3, 2}, {4, 3}, {4, 4}, {5, 5}}));
    EXPECT_EQ(observer.m_readingFolders,
              (std::vector<std::pair<int, std::size_t>>{{0, 1}, {1, 2}, {3, 3}, {4, 4}}));

    CRecordingScanObserver stopping;
    stopping.m_stopAtListing = 2;
    ScanFolder(m_dir.Path(), kDefaultFormat, m_rows, m_listed, &stopping, options);
    EXPECT_TRUE(!m_listed && m_rows.empty());
    EXPECT_EQ(stopping.m_listing, (Pairs{{1, 1}, {3, 2}}));
    EXPECT_EQ(stopping.m_listedCalls, 0);
}

struct EmptyCase {
    const char* name;
    const char* subfolder; // scanned below the scratch folder
    bool create;
    const char* otherFile; // a non-matching file inside it, or null
};

const EmptyCase kEmptyCases[] = {
    {"missing_folder", "missing", false, nullptr},
    {"empty_folder", "empty", true, nullptr},
    {"no_matching_file", "others", true, "notes.txt"},
};

class EmptyScanTest : public FolderScanTest, public ::testing::WithParamInterface<EmptyCase> {};

TEST_P(EmptyScanTest, NothingListedClearsRowsAndTellsNoObserver) {
    const EmptyCase& c = GetParam();
    const std::string folder = m_dir.File(c.subfolder);
    if (c.create) {
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    if (c.otherFile != nullptr)
        Unreadable((std::string(c.subfolder) + "/" + c.otherFile).c_str());
    m_rows = {CListRow{}};
    m_listed = true;
    CRecordingScanObserver observer;

    EXPECT_EQ(ScanFolder(folder, kDefaultFormat, m_rows, m_listed, &observer), 0u);
    EXPECT_FALSE(m_listed);
    EXPECT_TRUE(m_rows.empty());
    EXPECT_EQ(observer.m_listedCalls, 0);
    EXPECT_TRUE(observer.m_reads.empty());
}

INSTANTIATE_TEST_SUITE_P(Folders, EmptyScanTest, ::testing::ValuesIn(kEmptyCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
