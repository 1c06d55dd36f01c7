// The JPEG section reader: the marker walk and how it fails, the frame-header
// and comment decoders, and one reader serving many files.

#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testdata::Bytes;
using testdata::CJpegBuilder;
using namespace velmora;
using namespace std::string_view_literals;

constexpr std::uint8_t kMarkerDqt = 0xDB; // kept by the reader, never read
constexpr std::uint8_t kMarkerApp1 = 0xE1;
constexpr std::uint8_t kMarkerCom = 0xFE;

bool IsAllZero(const void* p, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

// `count` kept sections, each a one-byte quantisation table.
CJpegBuilder& KeptSections(CJpegBuilder& jpeg, int count) {
    for (int i = 0; i < count; ++i)
        jpeg.Section(kMarkerDqt, {std::uint8_t(i)});
    return jpeg;
}

class JpegFileTest : public ::testing::Test {
protected:
    bool Load(const Bytes& bytes) {
        EXPECT_TRUE(testdata::WriteFile(m_path, bytes));
        return m_reader.LoadJpeg(m_path.c_str());
    }

    testsupport::CTempDir m_dir;
    std::string m_path = m_dir.File("x.jpg");
    CJpegFile m_reader;
};

// Cases print as their names in failure messages.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

struct WalkCase {
    const char* name;
    Bytes file;
    bool loaded;
    int errorId;
};

Bytes Jpeg(const std::function<void(CJpegBuilder&)>& build) {
    CJpegBuilder jpeg;
    build(jpeg);
    return jpeg.Data();
}

const Bytes kXmpPayload = testdata::ToBytes("http://ns.adobe.com/xap/1.0/\0<x/>"sv);

const WalkCase kWalkCases[] = {
    {"empty_file", {}, false, IDS_INVALID_JPEG},
    {"single_ff_byte", {0xFF}, false, IDS_INVALID_JPEG},
    {"starts_with_frame_header", Jpeg([](auto& j) { j.FrameHeader(8, 8, 3).Sos(); }), false,
     IDS_INVALID_JPEG},
    {"minimal_picture", Jpeg([](auto& j) { j.Soi().FrameHeader(8, 8, 3).Sos(); }), true, 0},
    {"six_ff_bytes_before_marker",
     Jpeg([](auto& j) { j.Soi().Padding(5).FrameHeader(8, 8, 3).Sos(); }), true, 0},
    {"seventh_padding_byte", Jpeg([](auto& j) { j.Soi().Padding(6).FrameHeader(8, 8, 3).Sos(); }),
     false, IDS_TOO_MANY_PADDING},
    {"file_ends_where_marker_expected", Jpeg([](auto& j) { j.Soi(); }), false, IDS_INVALID_MARKER},
    {"end_of_image_with_nothing_behind", Jpeg([](auto& j) { j.Soi().FrameHeader(8, 8, 3).Eoi(); }),
     false, IDS_INVALID_MARKER},
    {"end_of_image_before_scan", Jpeg([](auto& j) {
         j.Soi().FrameHeader(8, 8, 3).Eoi().Raw({0x00, 0x02});
     }),
     true, IDS_NO_IMAGE},
    {"length_one", Jpeg([](auto& j) { j.Soi().SectionWithLength(kMarkerDqt, 1, {}).Sos(); }), false,
     IDS_INVALID_MARKER},
    {"file_ends_inside_length", Jpeg([](auto& j) {
         j.Soi().Raw({0xFF, kMarkerDqt, 0x00});
     }),
     false, IDS_INVALID_MARKER},
    {"length_past_end_of_file", Jpeg([](auto& j) {
         j.Soi().SectionWithLength(kMarkerDqt, 100, {1, 2, 3});
     }),
     false, IDS_PREMATURE_END},
    {"nineteen_kept_sections_then_scan", Jpeg([](auto& j) { KeptSections(j.Soi(), 19).Sos(); }),
     true, 0},
    {"sections_beyond_the_table_are_read", Jpeg([](auto& j) { KeptSections(j.Soi(), 25).Sos(); }),
     true, 0},
    {"app0_sections_do_not_count", Jpeg([](auto& j) {
         KeptSections(j.Soi(), 10);
         for (int i = 0; i < 30; ++i)
             j.App0Jfif();
         KeptSections(j, 9).Sos();
     }),
     true, 0},
    {"foreign_and_short_app1_sections_do_not_count", Jpeg([](auto& j) {
         KeptSections(j.Soi(), 19);
         for (int i = 0; i < 30; ++i)
             j.Section(kMarkerApp1, kXmpPayload).Section(kMarkerApp1, {'E', 'x', 'i'});
         j.Sos();
     }),
     true, 0},
};

class JpegWalkTest : public JpegFileTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(JpegWalkTest, ReportsOutcome) {
    const WalkCase& c = GetParam();
    EXPECT_EQ(Load(c.file), c.loaded);
    EXPECT_EQ(m_reader.m_nErrorId, c.errorId);
    if (c.loaded) {
        EXPECT_STREQ(m_reader.m_info.m_szFileName, m_path.c_str());
    } else {
        // A failed walk leaves nothing of the file behind, its name included.
        EXPECT_EQ(m_reader.m_nSections, 0);
        EXPECT_TRUE(IsAllZero(&m_reader.m_info, sizeof(m_reader.m_info)));
        EXPECT_TRUE(IsAllZero(m_reader.m_sections, sizeof(m_reader.m_sections)));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, JpegWalkTest, ::testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegFileTest, KeepsSectionsInFileOrderAndDropsApp0AndForeignApp1) {
    CJpegBuilder jpeg;
    jpeg.Soi().App0Jfif().Section(kMarkerDqt, {7, 8, 9}).Comment(testdata::ToBytes("hi"));
    jpeg.Section(kMarkerApp1, kXmpPayload).FrameHeader(8, 8, 1).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));

    ASSERT_EQ(m_reader.m_nSections, 4);
    const int markers[] = {kMarkerDqt, kMarkerCom, 0xC0, 0xDA};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m_reader.m_sections[i].nMarker, markers[i]) << "section " << i;
    // The buffer holds the length field first, then the payload as in the file.
    const CJpegSection& dqt = m_reader.m_sections[0];
    ASSERT_EQ(dqt.nLength, 5);
    EXPECT_EQ(Bytes(dqt.pData, dqt.pData + 5), (Bytes{0x00, 0x05, 7, 8, 9}));

    m_reader.FreeSections();
    EXPECT_EQ(m_reader.m_nSections, 0);
    EXPECT_TRUE(IsAllZero(m_reader.m_sections, sizeof(m_reader.m_sections)));
    EXPECT_TRUE(IsAllZero(&m_reader.m_info, sizeof(m_reader.m_info)));
}

TEST_F(JpegFileTest, MarkerCodeWithoutLeadingFfIsTaken) {
    CJpegBuilder jpeg;
    jpeg.Soi().Raw({kMarkerCom, 0x00, 0x04, 'h', 'i'}).FrameHeader(8, 8, 3).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(m_reader.m_sections[0].nMarker, kMarkerCom);
    EXPECT_STREQ(m_reader.m_info.m_szComment, "hi");
}

TEST_F(JpegFileTest, RecordsModificationTime) {
    ASSERT_TRUE(testdata::WriteFile(m_path, CJpegBuilder::Photo(nullptr)));
    const timespec times[2] = {{1234567890, 0}, {1234567890, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), times, 0), 0);
    ASSERT_TRUE(m_reader.LoadJpeg(m_path.c_str()));
    EXPECT_EQ(m_reader.m_info.m_fileTime, 1234567890);
}

struct FrameCase {
    const char* name;
    std::uint8_t marker;
    int components;
    bool isFrameHeader;
    int color;
};

class FrameHeaderTest : public JpegFileTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameHeaderTest, DecodesSizeColorAndProcess) {
    const FrameCase& c = GetParam();
    CJpegBuilder jpeg;
    jpeg.Soi().FrameHeader(0x0A10, 0x0780, c.components, c.marker).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    const CJpegInfo& info = m_reader.m_info;
    EXPECT_EQ(info.m_nWidth, c.isFrameHeader ? 0x0A10 : 0);
    EXPECT_EQ(info.m_nHeight, c.isFrameHeader ? 0x0780 : 0);
    EXPECT_EQ(info.m_bColor, c.color);
    EXPECT_EQ(info.m_nProcess, c.isFrameHeader ? c.marker : 0);
}

INSTANTIATE_TEST_SUITE_P(Markers, FrameHeaderTest,
                         ::testing::Values(FrameCase{"baseline_one_component", 0xC0, 1, true, 0},
                                           FrameCase{"baseline_three_components", 0xC0, 3, true, 1},
                                           FrameCase{"progressive_four_components", 0xC2, 4, true,
                                                     0},
                                           FrameCase{"lossless_arithmetic", 0xCF, 3, true, 1},
                                           FrameCase{"huffman_table", 0xC4, 3, false, 0},
                                           FrameCase{"jpeg_extension", 0xC8, 3, false, 0},
                                           FrameCase{"arithmetic_conditioning", 0xCC, 3, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegFileTest, SecondFrameHeaderOverwritesFirst) {
    CJpegBuilder jpeg;
    jpeg.Soi().FrameHeader(640, 480, 3, 0xC0).FrameHeader(100, 50, 1, 0xC2).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(m_reader.m_info.m_nWidth, 100);
    EXPECT_EQ(m_reader.m_info.m_nHeight, 50);
    EXPECT_EQ(m_reader.m_info.m_bColor, 0);
    EXPECT_EQ(m_reader.m_info.m_nProcess, 0xC2);
}

TEST_F(JpegFileTest, ShortFrameHeaderYieldsOnlyWhatItHolds) {
    // Height and width are present, the component count is cut off.
    CJpegBuilder jpeg;
    jpeg.Soi().Section(0xC0, {8, 0x01, 0x2C, 0x01, 0x90}).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(m_reader.m_info.m_nHeight, 300);
    EXPECT_EQ(m_reader.m_info.m_nWidth, 400);
    EXPECT_EQ(m_reader.m_info.m_bColor, 0);

    jpeg = CJpegBuilder();
    jpeg.Soi().Section(0xC1, {}).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(m_reader.m_info.m_nHeight, 0);
    EXPECT_EQ(m_reader.m_info.m_nWidth, 0);
    EXPECT_EQ(m_reader.m_info.m_nProcess, 0xC1);
}

struct CommentCase {
    const char* name;
    Bytes payload;
    std::string text;
};

class CommentTest : public JpegFileTest, public ::testing::WithParamInterface<CommentCase> {};

TEST_P(CommentTest, DecodesText) {
    CJpegBuilder jpeg;
    jpeg.Soi().Comment(GetParam().payload).FrameHeader(8, 8, 3).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(std::string(m_reader.m_info.m_szComment), GetParam().text);
}

Bytes Repeat(char c, std::size_t n, std::string_view tail = {}) {
    Bytes bytes(n, static_cast<std::uint8_t>(c));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, CommentTest,
    ::testing::Values(
        CommentCase{"carriage_return_before_line_feed_dropped",
                    {'A', 0x0D, 0x0A, 'B', 0x0D, 'C', 0x01},
                    "A\nB?C?"},
        CommentCase{
            "tab_and_high_bytes_kept", {'a', 0x09, 'b', 0xE9, 0xFF, 0x7F}, "a\tb\xE9\xFF\x7F"},
        CommentCase{"control_bytes_replaced", {0x00, 0x08, 0x0B, 0x0C, 0x0E, 0x1F}, "??????"},
        CommentCase{"carriage_return_as_last_byte", {'x', 0x0D}, "x?"},
        CommentCase{"empty", {}, ""},
        CommentCase{"5000_bytes_cut_to_1998", Repeat('a', 5000), std::string(1998, 'a')},
        // The carriage return is the last byte before the cut; the line feed
        // behind the cut still decides that it is dropped.
        CommentCase{"line_feed_beyond_cut", Repeat('a', 1997, "\r\n"), std::string(1997, 'a')},
        CommentCase{"other_byte_beyond_cut", Repeat('a', 1997, "\rX"),
                    std::string(1997, 'a') + "?"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegFileTest, LaterCommentReplacesEarlier) {
    CJpegBuilder jpeg;
    jpeg.Soi().Comment(testdata::ToBytes("a longer first comment")).Comment({'b'});
    ASSERT_TRUE(Load(jpeg.FrameHeader(8, 8, 3).Sos().Data()));
    EXPECT_STREQ(m_reader.m_info.m_szComment, "b");
}

TEST_F(JpegFileTest, ReusedReaderStartsEachFileAfresh) {
    CJpegBuilder noImage;
    noImage.Soi().Comment(testdata::ToBytes("hello")).FrameHeader(640, 480, 3).Eoi();
    ASSERT_TRUE(Load(noImage.Raw({0x00, 0x02}).Data()));
    EXPECT_EQ(m_reader.m_nErrorId, IDS_NO_IMAGE);

    // A file that cannot be opened reports no id and leaves the record alone.
    EXPECT_FALSE(m_reader.LoadJpeg(m_dir.File("missing.jpg").c_str()));
    EXPECT_EQ(m_reader.m_nErrorId, 0);
    EXPECT_STREQ(m_reader.m_info.m_szComment, "hello");
    EXPECT_EQ(m_reader.m_info.m_nWidth, 640);

    CJpegBuilder broken;
    EXPECT_FALSE(Load(broken.Soi().Padding(6).FrameHeader(8, 8, 3).Data()));
    EXPECT_EQ(m_reader.m_nErrorId, IDS_TOO_MANY_PADDING);

    ASSERT_TRUE(Load(CJpegBuilder::Photo(nullptr, 100, 50)));
    EXPECT_EQ(m_reader.m_nErrorId, 0);
    EXPECT_STREQ(m_reader.m_info.m_szComment, "");
    EXPECT_EQ(m_reader.m_info.m_nWidth, 100);
}

struct SpecialFileCase {
    const char* name;
    std::function<bool(const std::string&)> make;
};

class SpecialFileTest : public JpegFileTest,
                        public ::testing::WithParamInterface<SpecialFileCase> {};

// Opening a FIFO for reading blocks until a writer comes; the reader must
// refuse it without waiting. Should it hang anyway, a writer releases it so
// that the test fails instead of hanging.
TEST_P(SpecialFileTest, FailsAtOnceWithoutId) {
    ASSERT_TRUE(Load(CJpegBuilder::Photo(nullptr, 100, 50)));
    const std::string path = m_path;
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_TRUE(GetParam().make(path));

    auto result = std::async(std::launch::async, [&] { return m_reader.LoadJpeg(path.c_str()); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        result.wait();
        FAIL() << "the reader blocked on " << GetParam().name;
    }
    EXPECT_FALSE(result.get());
    EXPECT_EQ(m_reader.m_nErrorId, 0);
    EXPECT_EQ(m_reader.m_info.m_nWidth, 100);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialFileTest,
    ::testing::Values(
        SpecialFileCase{"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }},
        SpecialFileCase{"directory",
                        [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; }},
        SpecialFileCase{
            "dangling_link",
            [](const std::string& p) { return symlink("nowhere.jpg", p.c_str()) == 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// The EXIF work budget covers the whole file: blocks that each stay far
// inside it add up, so that a file of many blocks costs no more than one.
struct ExifBudgetCase {
    const char* name;
    int blocks;
    int errorId;
};

class ExifBudgetTest : public JpegFileTest, public ::testing::WithParamInterface<ExifBudgetCase> {};

TEST_P(ExifBudgetTest, BlocksShareOneBudget) {
    constexpr int kEntriesPerBlock = 5000; // 12 bytes each: one block holds them
    testdata::CTiffBuilder tiff;
    for (int i = 0; i < kEntriesPerBlock; ++i)
        tiff.Short(0, 0xC000, 1); // a tag the reader does not know
    const Bytes block = tiff.Build();
    CJpegBuilder jpeg;
    jpeg.Soi();
    for (int i = 0; i < GetParam().blocks; ++i)
        jpeg.Exif(block);
    jpeg.FrameHeader(64, 48, 3).Sos();
    ASSERT_TRUE(Load(jpeg.Data()));
    EXPECT_EQ(m_reader.m_nErrorId, GetParam().errorId);
}

INSTANTIATE_TEST_SUITE_P(Files, ExifBudgetTest,
                         ::testing::Values(ExifBudgetCase{"ten_blocks_within", 10, 0},
                                           ExifBudgetCase{"eighteen_blocks_beyond", 18,
                                                          IDS_NESTING_EXCEEDED}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
