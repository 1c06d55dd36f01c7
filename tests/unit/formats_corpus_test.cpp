// Real files of the other photo and movie types: the record of each agrees
// with what an independent reader found (formats/tags.tsv) once the record's
// own rules are applied: the EXIF date rules for every EXIF source; for
// movies the Apple key as written, else the movie header's UTC time in the
// local zone.

#include "jpeg_file.h"
#include "ole_date.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ole = velmora::ole;

namespace {

using testsupport::DateText;
using testsupport::LoadTags;
using testsupport::TagRow;
using testsupport::TrimRight;

// The date the record should hold, by its rules.
std::string ExpectedDate(const TagRow& row) {
    std::optional<ole::DateFields> date = testsupport::ExpectedExifDate(row);
    if (!date && row.count("KeysCreationDate"))
        date = testsupport::ExifDateFields(row.at("KeysCreationDate"));
    if (!date && row.count("QuickTimeCreateDateUTC")) {
        const std::optional<ole::DateFields> utc =
            testsupport::ExifDateFields(row.at("QuickTimeCreateDateUTC"));
        std::tm tm = ole::ToTm(*utc);
        const std::time_t seconds = timegm(&tm);
        std::tm local{};
        localtime_r(&seconds, &local);
        date = ole::DateFields{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    return DateText(date);
}

TEST(FormatsCorpus, RecordAgreesWithIndependentReader) {
    if (!testsupport::CorpusAvailable())
        GTEST_SKIP() << "camera corpus not found at " << testsupport::CorpusDir();
    // A zone with daylight saving, so that the movie header's UTC time must
    // really be converted.
    testsupport::CScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::string folder = testsupport::CorpusDir() + "/formats";
    const std::vector<TagRow> rows = LoadTags(folder + "/tags.tsv");
    ASSERT_FALSE(rows.empty());
    for (const TagRow& row : rows) {
        const std::string& name = row.at("path");
        SCOPED_TRACE(name);
        CJpegFile reader;
        const bool ok = reader.LoadImage((folder + "/" + name).c_str());
        if (row.at("FileType") == "XMP") {
            // A sidecar is no photo: its make and model are XMP text that no
            // reader here looks at.
            EXPECT_FALSE(ok);
            EXPECT_EQ(reader.m_nErrorId, velmora::IDS_INVALID_JPEG);
            continue;
        }
        // A damaged file that gives no date says so.
        if (!ok && reader.m_nErrorId == velmora::IDS_DAMAGED_FILE) {
            EXPECT_EQ(ExpectedDate(row), "none");
            continue;
        }
        ASSERT_TRUE(ok) << "error id " << reader.m_nErrorId;
        const CJpegInfo& info = reader.m_info;
        EXPECT_EQ(info.m_dtTaken == 0 ? "none" : DateText(ole::ToFields(info.m_dtTaken)),
                  ExpectedDate(row));
        EXPECT_EQ(TrimRight(info.m_szCameraMake), row.count("Make") ? row.at("Make") : "");
        EXPECT_EQ(TrimRight(info.m_szCameraModel), row.count("Model") ? row.at("Model") : "");
    }
}

} // namespace
