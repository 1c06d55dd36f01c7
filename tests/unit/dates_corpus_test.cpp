// The files of corpus/dates, each keeping its date in one place or one
// damaged way, listed with every type in Europe/Berlin: each gets the date
// expected.tsv gives for each setting of the undated-files choice, from the
// source its tags.tsv row names.

#include "date_choice.h"
#include "folder_scan.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

using namespace velmora;

namespace {

using testsupport::LoadTags;
using testsupport::TagRow;

const std::string kFolder = std::string(VELMORA_CORPUS_DIR) + "/dates";

// The independent reader's tag names, and the source identifier each is.
const std::map<std::string, std::string> kSourceOfTag = {
    {"ExifIFD:DateTimeOriginal", "exif-original"},
    {"ExifIFD:CreateDate", "exif-digitized"},
    {"IFD0:ModifyDate", "exif-datetime"},
    {"QuickTime:CreateDate", "movie-header-computer-zone"},
    {"Keys:CreationDate", "quicktime-creationdate"},
    {"XMP-xmp:CreateDate", "xmp-createdate"},
    {"XMP-photoshop:DateCreated", "xmp-datecreated"},
    {"XMP-exif:DateTimeOriginal", "sidecar-original"}, // the sidecar's row
    {"IPTC:DateCreated+IPTC:TimeCreated", "iptc-created"},
    {"RIFF:DateTimeOriginal", "avi-idit"},
    {"RIFF:DateCreated", "avi-icrd"},
    {"H264:DateTimeOriginal", "avchd-mdpm"},
    {"CanonRaw:DateTimeOriginal", "crw-timestamp"},
};

// Where the rules here differ from the independent reader's, or it names no
// tag: DateTime read before a blank DateTimeOriginal is kept; a file cut
// after a whole EXIF block keeps its DateTimeOriginal; names and file times.
const std::map<std::string, std::string> kSourceOfFile = {
    {"Fujifilm_SLP800_blank_dto.jpg", "exif-datetime"},
    {"zero_dto.jpg", "exif-datetime"},
    {"vivo_X90_cut_after_exif.jpg", "exif-original"},
    {"Canon_IXUS_40_sidecar.jpg", "sidecar-original"},
    {"Screenshot_2019-04-05-12-34-56.png", "file-name"},
    {"IMG-20190802-WA0000.jpg", "file-name"},
    {"photo_2016-02-09_12-16-46.jpg", "file-name"},
    {"IMG_20200726_215701_604.jpg", "file-name"},
    {"no_date_anywhere.jpg", "file-time"},
};

std::string FileTimeText(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return "?";
    std::tm tm{};
    localtime_r(&status.st_mtime, &tm);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

class DatesCorpusTest : public testing::TestWithParam<UndatedDates> {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kFolder))
            GTEST_SKIP() << "no corpus at " << kFolder << " (../shared/corpus/dates)";
    }
    testsupport::CScopedTimeZone m_zone{"Europe/Berlin"};
};

TEST_P(DatesCorpusTest, EveryFileGetsItsExpectedDateFromItsSource) {
    const UndatedDates undated = GetParam();
    const char* const column = undated == UndatedDates::None    ? "default"
                               : undated == UndatedDates::Names ? "names"
                                                                : "files";
    // Expected dates, each column's "=" standing for the one before it.
    std::map<std::string, std::string> expected;
    for (const TagRow& row : LoadTags(kFolder + "/expected.tsv")) {
        std::string date;
        for (const char* name : {"default", "names", "files"}) {
            const auto cell = row.find(name);
            const std::string value = cell == row.end() ? "" : cell->second;
            if (value != "=")
                date = value;
            if (std::string(name) == column)
                break;
        }
        expected[row.at("path")] = date;
    }
    std::map<std::string, std::string> sources = kSourceOfFile;
    for (const TagRow& row : LoadTags(kFolder + "/tags.tsv")) {
        const std::string& path = row.at("path");
        const auto tag = row.find("Tag");
        if (tag != row.end() && !sources.count(path))
            sources[path] = kSourceOfTag.at(tag->second);
    }
    sources["Canon_IXUS_40_sidecar.jpg"] = sources.at("Canon_IXUS_40_sidecar.xmp");

    CListRows rows;
    bool listed = false;
    CScanOptions options;
    options.bAllTypes = true;
    options.undated = undated;
    ScanFolder(kFolder, "%Y", rows, listed, nullptr, options);
    ASSERT_TRUE(listed);
    std::size_t checked = 0;
    for (const CListRow& row : rows) {
        const std::string name(row.Text(0));
        const auto want = expected.find(name);
        ASSERT_NE(want, expected.end()) << name << " is not in expected.tsv";
        ++checked;
        const bool dated = row.nImage == RowToRename || row.nImage == RowNamed;
        if (want->second.empty()) {
            EXPECT_FALSE(dated) << name << " dated "
                                << testsupport::DateText(WallFields(row.nData));
            continue;
        }
        ASSERT_TRUE(dated) << name << ": " << row.Text(1);
        const std::string date =
            want->second == "mtime" ? FileTimeText(kFolder + "/" + name) : want->second;
        EXPECT_EQ(testsupport::DateText(WallFields(row.nData)), date) << name;
        EXPECT_EQ(DateSourceId(static_cast<DateSource>(row.nDateSource)), sources.at(name)) << name;
    }
    EXPECT_EQ(checked, expected.size());
}

INSTANTIATE_TEST_SUITE_P(Settings, DatesCorpusTest,
                         testing::Values(UndatedDates::None, UndatedDates::Names,
                                         UndatedDates::Files),
                         [](const auto& info) {
                             return std::string(UndatedDatesName(info.param));
                         });

} // namespace
