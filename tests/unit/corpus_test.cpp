// Real camera files: every JPEG of the corpus is read without crash or hang,
// and the record agrees with the raw tag values that an independent reader
// found (tags.tsv) once the record's own rules are applied to them.

#include "jpeg_file.h"
#include "ole_date.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
namespace ole = velmora::ole;

namespace {

using testsupport::DateText;
using testsupport::ExpectedExifDate;
using testsupport::LoadTags;
using testsupport::TagRow;
using testsupport::TrimRight;

struct ReadResult {
    bool ok = false;
    int errorId = 0;
    CJpegInfo info{};
};

// Reads on a thread of its own, so that a reader caught in a loop fails the
// test instead of hanging it (the stuck thread is left behind).
std::optional<ReadResult> ReadWithin(const std::string& path, std::chrono::seconds limit) {
    auto promise = std::make_shared<std::promise<ReadResult>>();
    std::future<ReadResult> future = promise->get_future();
    std::thread([path, promise] {
        auto reader = std::make_unique<CJpegFile>();
        ReadResult result;
        result.ok = reader->LoadJpeg(path.c_str());
        result.errorId = reader->m_nErrorId;
        result.info = reader->m_info;
        promise->set_value(result);
    }).detach();
    if (future.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return future.get();
}

// Where the record's rules legitimately give another value than the raw tag
// of the first directory that tags.tsv lists; each value here was checked
// against the file's bytes.
struct RecordOverride {
    const char* path;
    const char* column;
    const char* value;
};

const RecordOverride kOverrides[] = {
    // The thumbnail directory carries Orientation 8; it is walked after the
    // first directory (Orientation 1) and its value overwrites the earlier one.
    {"Panasonic_DMC-FZ30.jpg", "Orientation", "8"},
    // No ExposureTime tag: ShutterSpeedValue 850/100 (APEX) fills it, 1/2^8.5 s.
    {"Fujifilm_FinePix6900ZOOM.jpg", "ExposureTime", "0.00276213586"},
    // No COM section, but a UserComment "ASCII\0\0\0" + text, which the record
    // takes as its comment.
    {"PaintTool_sample.jpg", "Comment",
     "a5cb01550dbb9a6bf732f87e413f6e231cc4581e6a5be800fb0871dce0760cd5"},
};

double Number(const TagRow& row, const char* column) {
    return row.count(column) ? std::stod(row.at(column)) : 0.0;
}

int Integer(const TagRow& row, const char* column) {
    return static_cast<int>(Number(row, column));
}

void ExpectClose(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-5 * std::fabs(expected)) << what;
}

TEST(Corpus, EveryFileIsReadWithoutCrashOrHang) {
    if (!testsupport::CorpusAvailable())
        GTEST_SKIP() << "camera corpus not found at " << testsupport::CorpusDir();
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::CorpusDir())) {
        if (!entry.is_regular_file() || entry.path().extension() != ".jpg")
            continue;
        ++files;
        const std::string path = entry.path().string();
        const std::optional<ReadResult> result = ReadWithin(path, std::chrono::seconds(10));
        ASSERT_TRUE(result.has_value()) << path << " did not finish reading";
        const CJpegInfo& info = result->info;
        EXPECT_LT(strnlen(info.m_szCameraMake, sizeof(info.m_szCameraMake)),
                  sizeof(info.m_szCameraMake))
            << path;
        EXPECT_LT(strnlen(info.m_szCameraModel, sizeof(info.m_szCameraModel)),
                  sizeof(info.m_szCameraModel))
            << path;
        EXPECT_LT(strnlen(info.m_szComment, sizeof(info.m_szComment)), sizeof(info.m_szComment))
            << path;
        EXPECT_TRUE(info.m_nOrientation >= 0 && info.m_nOrientation <= 8) << path;
        EXPECT_TRUE(info.m_bColor == 0 || info.m_bColor == 1) << path;
        EXPECT_TRUE(info.m_bFlash == 0 || info.m_bFlash == 1) << path;
    }
    EXPECT_GT(files, 0);
}

TEST(Corpus, RecordAgreesWithIndependentReader) {
    if (!testsupport::CorpusAvailable())
        GTEST_SKIP() << "camera corpus not found at " << testsupport::CorpusDir();
    std::vector<TagRow> rows = LoadTags(testsupport::CorpusDir() + "/tags.tsv");
    ASSERT_FALSE(rows.empty());
    for (const RecordOverride& o : kOverrides) {
        int matches = 0;
        for (TagRow& row : rows)
            if (row.at("path") == o.path) {
                row[o.column] = o.value;
                ++matches;
            }
        EXPECT_EQ(matches, 1) << o.path << " is not listed in tags.tsv";
    }
    for (const TagRow& row : rows) {
        const std::string path = testsupport::CorpusDir() + "/" + row.at("path");
        SCOPED_TRACE(row.at("path"));
        const std::optional<ReadResult> result = ReadWithin(path, std::chrono::seconds(10));
        ASSERT_TRUE(result.has_value());
        const CJpegInfo& info = result->info;
        // Every listed file has a frame header, so every read must succeed.
        EXPECT_TRUE(result->ok) << "error id " << result->errorId;

        EXPECT_EQ(info.m_dtTaken == 0.0 ? "none" : DateText(ole::ToFields(info.m_dtTaken)),
                  DateText(ExpectedExifDate(row)));
        const auto text = [&](const char* column, std::size_t limit) {
            return TrimRight(row.count(column) ? row.at(column).substr(0, limit) : "");
        };
        EXPECT_EQ(TrimRight(info.m_szCameraMake), text("Make", 31));
        EXPECT_EQ(TrimRight(info.m_szCameraModel), text("Model", 39));
        EXPECT_EQ(info.m_szComment, text("Comment", 1998));

        EXPECT_EQ(info.m_nWidth, Integer(row, "Width"));
        EXPECT_EQ(info.m_nHeight, Integer(row, "Height"));
        EXPECT_EQ(info.m_bColor, Integer(row, "Components") == 3 ? 1 : 0);
        EXPECT_EQ(info.m_nProcess, row.count("SOFProcess") ? 0xC0 + Integer(row, "SOFProcess") : 0);

        const int orientation = Integer(row, "Orientation");
        EXPECT_EQ(info.m_nOrientation, orientation >= 1 && orientation <= 8 ? orientation : 0);
        const int iso = Integer(row, "ISO");
        EXPECT_EQ(info.m_nIsoEquivalent, iso < 50 ? iso * 200 : iso);
        EXPECT_EQ(info.m_bFlash, Integer(row, "Flash") & 1);
        ExpectClose(info.m_fAperture, Number(row, "FNumber"), "aperture");
        ExpectClose(info.m_fExposureTime, Number(row, "ExposureTime"), "exposure time");
        ExpectClose(info.m_fFocalLength, Number(row, "FocalLength"), "focal length");
    }
}

} // namespace
