// What the EXIF parser reads about the device besides the date taken: the GPS
// time, the body serial number and the thumbnail.

#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace testdata;
using namespace testsupport;

constexpr std::uint16_t kSerial = 0xA431, kRawSerial = 0xC62F, kMake = 0x010F, kLens = 0xA434;

// GPSDateStamp 2022:04:24 and GPSTimeStamp hour:35:sec/den in directory `dir`.
CTiffBuilder& Gps(CTiffBuilder& t, int dir, std::uint32_t hour, std::uint32_t sec,
                  std::uint32_t den = 1) {
    Bytes v;
    for (const std::uint32_t x : {hour, 1u, 35u, 1u, sec, den})
        for (const std::uint8_t b : t.U32(x))
            v.push_back(b);
    return t.Ascii(dir, 0x001D, "2022:04:24").Entry(dir, MakeEntry(0x0007, kRational, 3, v));
}

// "serial|GPS time|make model orientation[|lens]"; the GPS time only as UTC.
std::string Facts(const CJpegFile& r) {
    const velmora::CFoundDate& g = r.m_gpsTime;
    const bool utc = g.Found() && g.bTime && g.nOffset == 0;
    return r.m_strSerial + "|" + (utc ? DateText(g.fields) + "." + std::to_string(g.nMillis) : "") +
           "|" + r.m_info.m_szCameraMake + r.m_info.m_szCameraModel +
           std::to_string(r.m_info.m_nOrientation) + (r.m_strLens.empty() ? "" : "|" + r.m_strLens);
}

// One reader reads every file in turn: a fact left from one file fails the next.
const CJpegFile& Load(Bytes tiff, const Bytes& tail = {}, bool thumbnail = false) {
    static const CTempDir dir;
    static CJpegFile reader;
    tiff.insert(tiff.end(), tail.begin(), tail.end());
    EXPECT_TRUE(WriteFile(dir.File("x.jpg"), CJpegBuilder().Soi().Exif(tiff).Sos().Data()));
    reader.m_bReadThumbnail = thumbnail;
    reader.LoadJpeg(dir.File("x.jpg").c_str());
    return reader;
}

TEST(DeviceFacts, ReadsGpsTimeAndSerialOnlyWhereTheyBelong) {
    const std::pair<void (*)(CTiffBuilder&), std::string> cases[] = {
        // LensModel up to its NUL; a lens read before is not left for the next file.
        {[](auto& t) {
             t.SubDirectory(0, 0x8769, 1).Ascii(1, kLens, {"EF50mm f/1.8\0x", 14});
         },
         "||0|EF50mm f/1.8"},
        {[](auto& t) { Gps(t.SubDirectory(0, 0x8825, 1, 13), 1, 8, 46250, 1000); },
         "|2022-04-24 08:35:46.250|0"},
        // GPS tags in IFD0, and a zero denominator, give no GPS time.
        {[](auto& t) { Gps(Gps(t, 0, 8, 46).SubDirectory(0, 0x8825, 1), 1, 8, 46, 0); }, "||0"},
        {[](auto& t) {
             Gps(t.SubDirectory(0, 0x8825, 1), 1, 8, 46).Short(1, 0x0112, 6).Next(1, 2);
             t.Ascii(1, kMake, "Gps").Ascii(1, kSerial, "S").Ascii(2, 0x0110, "Next");
             t.Ascii(0, kMake, "M").Ascii(0, kRawSerial, "\t\x80" + std::string(70, '7'));
         }, // the GPS directory's other tags and link don't count; a serial is cut to 63
         "??" + std::string(61, '7') + "|2022-04-24 08:35:46.0|M0"},
        {[](auto& t) {
             t.SubDirectory(0, 0x8769, 1).Ascii(0, kRawSerial, "R");
             t.Entry(1, MakeEntry(kSerial, kAscii, 11, ToBytes({"\0 A 1 \0\0 x\0", 11})));
         },
         "A 1||0"}, // the body serial, read first, outranks the raw-file one
    };
    for (const auto& [build, facts] : cases)
        for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
            CTiffBuilder tiff(order); // directories 1 and 2 count only where linked
            tiff.AddDirectory(), tiff.AddDirectory();
            build(tiff);
            EXPECT_EQ(Facts(Load(tiff.Build())), facts) << int(order);
        }
    if (CJpegFile phone; CorpusAvailable()) {
        ASSERT_TRUE(phone.LoadJpeg((CorpusDir() + "/dates/Xiaomi_Mi_MIX_2_offsets.jpg").c_str()));
        EXPECT_EQ(Facts(phone).substr(0, 24), "|2022-04-24 08:35:46.0|X");
    }
}

// The first row is copied; the others lack one condition each. Offset 0: behind the TIFF data.
TEST(DeviceFacts, CopiesThumbnailOnlyWhenAskedAndInsideTheBlock) {
    const std::tuple<bool, int, std::uint32_t, std::uint32_t, std::uint8_t> cases[] = {
        {true, 1, 0, 100, 0xD8}, {false, 1, 0, 100, 0xD8},         {true, 1, 0, 101, 0xD8},
        {true, 1, 0, 100, 0xD9}, {true, 1, 0xFFFFFF00, 100, 0xD8}, {true, 0, 0, 100, 0xD8}};
    for (const auto& [asked, dir, offset, length, head] : cases) {
        CTiffBuilder tiff(ByteOrder::Motorola); // dir 1: IFD1
        tiff.Next(0, tiff.AddDirectory()).Long(dir, 0x0201, 0).Long(dir, 0x0202, length);
        tiff.Dir(dir).entries[0].value = tiff.U32(offset != 0 ? offset : tiff.Build().size());
        Bytes thumbnail(100, 0x55);
        thumbnail[0] = 0xFF, thumbnail[1] = head;
        const bool first = &asked == &std::get<0>(cases[0]);
        EXPECT_EQ(Load(tiff.Build(), thumbnail, asked).m_thumbnail, first ? thumbnail : Bytes{})
            << asked << dir << offset << length << int(head);
    }
}

} // namespace
