// What the EXIF parser reads about the device besides the date taken: the GPS
// time, the body serial number and the thumbnail.

#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using namespace testdata;

constexpr std::uint16_t kSerial = 0xA431, kRawSerial = 0xC62F, kMake = 0x010F;

// GPSDateStamp 2022:04:24 (unless `date` is false) and GPSTimeStamp hour:35:sec/den (unless
// hour is 100 or more), in a new GPS directory linked from IFD0 by a pointer of `format`;
// format 0: in IFD0 itself. Returns the directory.
int Gps(CTiffBuilder& t, std::uint16_t format, std::uint32_t hour, std::uint32_t sec,
        std::uint32_t den = 1, bool date = true) {
    const int dir = format != 0 ? t.AddDirectory() : 0;
    if (format != 0)
        t.SubDirectory(0, 0x8825, dir, format);
    Bytes v;
    for (const std::uint32_t x : {hour, 1u, 35u, 1u, sec, den})
        for (const std::uint8_t b : t.U32(x))
            v.push_back(b);
    if (date)
        t.Ascii(dir, 0x001D, "2022:04:24");
    if (hour < 100)
        t.Entry(dir, MakeEntry(0x0007, kRational, 3, v));
    return dir;
}

// "serial|GPS time|make model orientation"; the GPS time only as UTC.
std::string Facts(const CJpegFile& r) {
    const velmora::CFoundDate& g = r.m_gpsTime;
    const bool utc = g.Found() && g.bTime && g.nOffset == 0;
    return r.m_strSerial + "|" +
           (utc ? testsupport::DateText(g.fields) + "." + std::to_string(g.nMillis) : "") + "|" +
           r.m_info.m_szCameraMake + r.m_info.m_szCameraModel +
           std::to_string(r.m_info.m_nOrientation);
}

class DeviceFactsTest : public ::testing::Test {
protected:
    const CJpegFile& Load(Bytes tiff, const Bytes& tail = {}, bool thumbnail = false) {
        tiff.insert(tiff.end(), tail.begin(), tail.end());
        EXPECT_TRUE(WriteFile(m_dir.File("x.jpg"), CJpegBuilder().Soi().Exif(tiff).Sos().Data()));
        m_reader.m_bReadThumbnail = thumbnail;
        m_reader.LoadJpeg(m_dir.File("x.jpg").c_str());
        return m_reader;
    }
    testsupport::CTempDir m_dir;
    CJpegFile m_reader;
};

// One reader reads the cases in turn: a fact left from one file fails the next.
TEST_F(DeviceFactsTest, ReadsGpsTimeAndSerialOnlyWhereTheyBelong) {
    const std::pair<std::function<void(CTiffBuilder&)>, std::string> cases[] = {
        {[](auto& t) { Gps(t, kLong, 8, 46250, 1000); }, "|2022-04-24 08:35:46.250|0"},
        {[](auto& t) { Gps(t, 13, 23, 59); }, "|2022-04-24 23:35:59.0|0"},
        {[](auto& t) { Gps(t, kLong, 8, 46, 1, false); }, "||0"},
        {[](auto& t) { Gps(t, kLong, 100, 46); }, "||0"},
        {[](auto& t) { Gps(t, kLong, 8, 46, 0); }, "||0"},
        {[](auto& t) { Gps(t, 0, 8, 46); }, "||0"},
        {[](auto& t) {
             const int gps = Gps(t, kLong, 100, 0, 1, false), next = t.AddDirectory();
             t.Short(gps, 0x0112, 6).Ascii(gps, kMake, "Gps").Ascii(gps, kSerial, "S");
             t.Next(gps, next)
                 .Ascii(next, 0x0110, "Next")
                 .Ascii(0, kMake, "M")
                 .Ascii(0, kRawSerial, " R");
         },
         "R||M0"},
        {[](auto& t) {
             t.Entry(0, MakeEntry(kSerial, kAscii, 11, ToBytes({"\0 A 1 \0\0 x\0", 11})));
         },
         "A 1||0"},
        {[](auto& t) { t.Ascii(0, kSerial, "\t\x80" + std::string(70, '7')); },
         "??" + std::string(61, '7') + "||0"},
        {[](auto& t) {
             t.SubDirectory(0, 0x8769, t.AddDirectory())
                 .Ascii(0, kRawSerial, "R")
                 .Ascii(1, kSerial, "B");
         },
         "B||0"},
    };
    for (const auto& c : cases) {
        for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
            CTiffBuilder tiff(order);
            c.first(tiff);
            EXPECT_EQ(Facts(Load(tiff.Build())), c.second) << "case " << &c - cases;
        }
    }
    EXPECT_EQ(velmora::DateSourceId(velmora::DateSource::GpsTime), "gps-time");
}

TEST_F(DeviceFactsTest, CopiesThumbnailOnlyWhenAskedAndInsideTheBlock) {
    const struct {
        bool asked;
        int dir;              // holding the tags: 1 is IFD1
        std::uint32_t offset; // 0: just behind the TIFF data
        std::uint32_t length;
        std::uint8_t head;
    } cases[] = {{true, 1, 0, 100, 0xD8},          {false, 1, 0, 100, 0xD8},
                 {true, 1, 0, 101, 0xD8},          {true, 1, 0, 100, 0xD9},
                 {true, 1, 0xFFFFFF00, 100, 0xD8}, {true, 0, 0, 100, 0xD8}};
    for (const auto& c : cases) {
        CTiffBuilder tiff(ByteOrder::Motorola);
        tiff.Next(0, tiff.AddDirectory()).Long(c.dir, 0x0201, 0).Long(c.dir, 0x0202, c.length);
        tiff.Dir(c.dir).entries[0].value = tiff.U32(c.offset != 0 ? c.offset : tiff.Build().size());
        Bytes thumbnail(100, 0x55);
        thumbnail[0] = 0xFF, thumbnail[1] = c.head;
        const bool copied = &c == &cases[0]; // the others lack one condition each
        EXPECT_TRUE(Load(tiff.Build(), thumbnail, c.asked).m_thumbnail ==
                    (copied ? thumbnail : Bytes{}))
            << &c - cases;
    }
}

TEST(DeviceFactsCorpusTest, XiaomiGpsTime) {
    const std::string path = testsupport::CorpusDir() + "/dates/Xiaomi_Mi_MIX_2_offsets.jpg";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no corpus file " << path;
    CJpegFile reader;
    ASSERT_TRUE(reader.LoadJpeg(path.c_str()));
    EXPECT_EQ(Facts(reader).substr(0, 24), "|2022-04-24 08:35:46.0|X");
}

} // namespace
