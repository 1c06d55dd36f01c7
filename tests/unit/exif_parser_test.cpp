// The EXIF parser, driven through the reader: every case starts from a small
// valid block, changes one thing and runs in both byte orders.

#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "ole_date.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using testdata::ByteOrder;
using testdata::Bytes;
using testdata::CJpegBuilder;
using testdata::CTiffBuilder;
using namespace velmora;
using namespace std::string_view_literals;

// The tags the parser acts on.
constexpr std::uint16_t kMake = 0x010F, kModel = 0x0110, kOrientation = 0x0112, kDateTime = 0x0132,
                        kExposureTime = 0x829A, kExifOffset = 0x8769, kExposureProgram = 0x8822,
                        kIso = 0x8827, kDateTimeOriginal = 0x9003, kDateTimeDigitized = 0x9004,
                        kShutterSpeed = 0x9201, kAperture = 0x9202, kExposureBias = 0x9204,
                        kMaxAperture = 0x9205, kSubjectDistance = 0x9206, kMeteringMode = 0x9207,
                        kLightSource = 0x9208, kFlash = 0x9209, kFocalLength = 0x920A,
                        kUserComment = 0x9286, kExifImageWidth = 0xA002, kExifImageLength = 0xA003,
                        kInteropOffset = 0xA005, kFocalPlaneXRes = 0xA20E, kFocalPlaneUnit = 0xA210;

Bytes Text(std::string_view text) {
    return testdata::ToBytes(text);
}

// Writes a 32-bit number into built TIFF data in the block's byte order.
void Put32(Bytes& data, std::size_t pos, std::uint32_t value, const CTiffBuilder& tiff) {
    const Bytes bytes = tiff.U32(value);
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(pos));
}

// An entry whose value field holds `field` as given (an offset, usually).
testdata::TiffEntry RawEntry(std::uint16_t tag, std::uint16_t format, std::uint32_t count,
                             std::uint32_t field) {
    testdata::TiffEntry entry = testdata::MakeEntry(tag, format, count, {});
    entry.rawField = field;
    return entry;
}

// Offsets in the TIFF data of the first directory as the builder lays it out.
constexpr std::size_t kFirstDir = 8;
constexpr std::size_t FieldOf(int entry) {
    return kFirstDir + 2 + 12 * entry + 8;
}
constexpr std::size_t NextLinkOf(int entries) {
    return kFirstDir + 2 + 12 * entries;
}

// The camera fields that are set, as "name=value" words in a fixed order, so
// that a case states its whole outcome and nothing else may change.
std::string Describe(const CJpegInfo& i) {
    std::ostringstream out;
    const auto add = [&out](const char* name, auto value) {
        if (value != decltype(value){})
            out << (out.tellp() > 0 ? " " : "") << name << '=' << value;
    };
    add("make", std::string(i.m_szCameraMake));
    add("model", std::string(i.m_szCameraModel));
    add("taken", i.m_dtTaken == 0 ? "" : ole::Format(i.m_dtTaken, "%Y-%m-%d %H:%M:%S"));
    add("orientation", i.m_nOrientation);
    add("flash", i.m_bFlash);
    add("focal", i.m_fFocalLength);
    add("exposure", i.m_fExposureTime);
    add("aperture", i.m_fAperture);
    add("distance", i.m_fDistance);
    add("ccd", i.m_fCcdWidth);
    add("bias", i.m_fExposureBias);
    add("light", i.m_nWhiteBalance);
    add("metering", i.m_nMeteringMode);
    add("program", i.m_nExposureProgram);
    add("iso", i.m_nIsoEquivalent);
    add("comment", std::string(i.m_szComment));
    return out.str();
}

// Cases print as their names in failure messages.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

using Fill = std::function<void(CTiffBuilder&)>;
using Edit = std::function<void(Bytes&, const CTiffBuilder&)>;

struct ExifCase {
    const char* name;
    Fill fill;
    std::string record; // as Describe gives it
    int errorId = 0;
    Edit edit = nullptr; // applied to the built TIFF data
};

class ExifTest : public ::testing::Test {
protected:
    // A readable picture whose APP1 section carries `tiff`; EXIF problems
    // never fail the read, and the frame header behind the block still counts.
    void Load(const Bytes& tiff) {
        CJpegBuilder jpeg;
        jpeg.Soi().App0Jfif().Exif(tiff).FrameHeader(640, 480, 3).Sos();
        LoadFile(jpeg.Data());
    }
    void LoadFile(const Bytes& file) {
        const std::string path = m_dir.File("x.jpg");
        ASSERT_TRUE(testdata::WriteFile(path, file));
        ASSERT_TRUE(m_reader.LoadJpeg(path.c_str()));
        EXPECT_EQ(m_reader.m_info.m_nWidth, 640);
    }

    testsupport::CTempDir m_dir;
    CJpegFile m_reader;
};

class ExifCaseTest : public ExifTest,
                     public ::testing::WithParamInterface<std::tuple<ExifCase, ByteOrder>> {};

TEST_P(ExifCaseTest, GivesRecord) {
    const auto& [c, order] = GetParam();
    CTiffBuilder tiff(order);
    c.fill(tiff);
    Bytes data = tiff.Build();
    if (c.edit)
        c.edit(data, tiff);
    Load(data);
    EXPECT_EQ(m_reader.m_nErrorId, c.errorId);
    EXPECT_EQ(Describe(m_reader.m_info), c.record);
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<ExifCase, ByteOrder>>& info) {
    return std::string(std::get<0>(info.param).name) +
           (std::get<1>(info.param) == ByteOrder::Intel ? "_II" : "_MM");
}

#define EXIF_CASES(suite, ...)                                                                     \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        suite, ExifCaseTest,                                                                       \
        ::testing::Combine(::testing::ValuesIn(std::vector<ExifCase>{__VA_ARGS__}),                \
                           ::testing::Values(ByteOrder::Intel, ByteOrder::Motorola)),              \
        CaseName)

using testdata::MakeEntry;

// One value per case, converted by its format and stored by the tag's rule.
EXIF_CASES(
    Values, ExifCase{"iso_49_scaled_by_200", [](auto& t) { t.Short(0, kIso, 49); }, "iso=9800"},
    ExifCase{"iso_50_kept", [](auto& t) { t.Short(0, kIso, 50); }, "iso=50"},
    ExifCase{"orientation_6", [](auto& t) { t.Short(0, kOrientation, 6); }, "orientation=6"},
    ExifCase{"orientation_9_out_of_range",
             [](auto& t) { t.Short(0, kOrientation, 6).Short(0, kOrientation, 9); }, ""},
    ExifCase{"flash_0x19_fired", [](auto& t) { t.Short(0, kFlash, 0x19); }, "flash=1"},
    ExifCase{"flash_0x10_not_fired", [](auto& t) { t.Short(0, kFlash, 1).Short(0, kFlash, 0x10); },
             ""},
    ExifCase{"shutter_speed_without_exposure_time",
             [](auto& t) { t.SRational(0, kShutterSpeed, 5, 1); }, "exposure=0.03125"},
    ExifCase{
        "exposure_time_met_first_wins",
        [](auto& t) { t.Rational(0, kExposureTime, 1, 100).SRational(0, kShutterSpeed, 5, 1); },
        "exposure=0.01"},
    ExifCase{"max_aperture_after_aperture_value",
             [](auto& t) { t.Rational(0, kAperture, 4, 1).Rational(0, kMaxAperture, 3, 1); },
             "aperture=4"},
    ExifCase{"max_aperture_alone", [](auto& t) { t.Rational(0, kMaxAperture, 3, 1); },
             "aperture=2.82843"},
    ExifCase{"subject_distance_all_ones_is_infinity",
             [](auto& t) { t.Rational(0, kSubjectDistance, 0xFFFFFFFF, 1); }, "distance=-1"},
    ExifCase{"rational_zero_denominator_converts_to_0",
             [](auto& t) { t.Rational(0, kFocalLength, 35, 1).Rational(0, kFocalLength, 55, 0); },
             ""},
    ExifCase{"negative_signed_rational", [](auto& t) { t.SRational(0, kExposureBias, -2, 3); },
             "bias=-0.666667"},
    ExifCase{"single_float", [](auto& t) { t.Float(0, kFocalLength, 35.5f); }, "focal=35.5"},
    ExifCase{"double_float", [](auto& t) { t.Double(0, kSubjectDistance, 1.0 / 3); },
             "distance=0.333333"},
    ExifCase{"unsigned_byte", [](auto& t) { t.Byte(0, kMeteringMode, 200); }, "metering=200"},
    ExifCase{"signed_byte",
             [](auto& t) { t.Entry(0, MakeEntry(kMeteringMode, testdata::kSByte, 1, {0xFB})); },
             "metering=-5"},
    ExifCase{"signed_short", [](auto& t) { t.SShort(0, kExposureProgram, -2); }, "program=-2"},
    ExifCase{"unsigned_long", [](auto& t) { t.Long(0, kLightSource, 70000); }, "light=70000"},
    ExifCase{"signed_long", [](auto& t) { t.SLong(0, kLightSource, -3); }, "light=-3"},
    ExifCase{"format_0_converts_to_0",
             [](auto& t) {
                 t.Rational(0, kFocalLength, 35, 1).Entry(0, MakeEntry(kFocalLength, 0, 1, {1, 2}));
             },
             ""},
    ExifCase{
        "format_14_ignored",
        [](auto& t) {
            t.Rational(0, kFocalLength, 35, 1).Entry(0, MakeEntry(kFocalLength, 14, 1, {1, 2}));
        },
        "focal=35"});

// Texts: Make, Model and the forms of UserComment.
const Bytes kFirstComment = Text("ASCII\0\0\0First"sv);

EXIF_CASES(
    Texts,
    ExifCase{"make_of_40_characters_cut_to_31",
             [](auto& t) { t.Ascii(0, kMake, std::string(30, 'm') + "0123456789"); },
             "make=" + std::string(30, 'm') + "0"},
    ExifCase{"model_of_50_characters_cut_to_39",
             [](auto& t) { t.Ascii(0, kModel, std::string(50, 'q')); },
             "model=" + std::string(39, 'q')},
    ExifCase{"make_without_terminator_ends_at_count",
             [](auto& t) {
                 t.Entry(0, MakeEntry(kMake, testdata::kAscii, 5, Text("Canon")));
                 t.Ascii(0, kModel, "QX-100");
             },
             "make=Canon model=QX-100"},
    ExifCase{"make_of_4_characters_in_value_field",
             [](auto& t) {
                 t.Entry(0, MakeEntry(kMake, testdata::kAscii, 4, Text("Sony"))).Short(0, kIso, 99);
             },
             "make=Sony iso=99"},
    ExifCase{"ascii_comment_with_trailing_spaces",
             [](auto& t) { t.Undefined(0, kUserComment, Text("ASCII\0\0\0Nice day   "sv)); },
             "comment=Nice day"},
    ExifCase{"ascii_comment_after_blanks",
             [](auto& t) { t.Undefined(0, kUserComment, Text("ASCII \0 Hi"sv)); }, "comment=Hi"},
    ExifCase{"ascii_code_blank_to_byte_9_keeps_earlier",
             [](auto& t) {
                 t.Undefined(0, kUserComment, kFirstComment);
                 t.Undefined(0, kUserComment, Text("ASCII\0\0\0\0\0Late"sv));
             },
             "comment=First"},
    ExifCase{"unicode_comment_gives_code_name",
             [](auto& t) { t.Undefined(0, kUserComment, Text("UNICODE\0H\0i\0"sv)); },
             "comment=UNICODE"},
    ExifCase{
        "undefined_code_empties_comment",
        [](auto& t) {
            t.Undefined(0, kUserComment, kFirstComment).Undefined(0, kUserComment, Bytes(8, 0));
        },
        ""},
    ExifCase{"all_spaces_empty_comment",
             [](auto& t) {
                 t.Undefined(0, kUserComment, kFirstComment);
                 t.Undefined(0, kUserComment, Bytes(12, ' '));
             },
             ""},
    ExifCase{"comment_cut_to_199",
             [](auto& t) {
                 t.Undefined(0, kUserComment,
                             Text(std::string("ASCII\0\0\0"sv) + std::string(300, 'c')));
             },
             "comment=" + std::string(199, 'c')});

// DateTimeOriginal always sets the date; DateTime and DateTimeDigitized only
// fill it while it is empty.
const char* const kDate2004 = "2004:01:01 00:00:00";
const char* const kDate2005 = "2005:07:25 18:55:28";

EXIF_CASES(
    Dates,
    ExifCase{"original_replaces_earlier_date_time",
             [](auto& t) {
                 const int exif = t.AddDirectory();
                 t.Ascii(0, kDateTime, kDate2004).SubDirectory(0, kExifOffset, exif);
                 t.Ascii(exif, kDateTimeOriginal, kDate2005);
             },
             "taken=2005-07-25 18:55:28"},
    ExifCase{"original_behind_an_ifd_typed_pointer",
             [](auto& t) {
                 const int exif = t.AddDirectory();
                 t.Ascii(0, kDateTime, kDate2004).SubDirectory(0, kExifOffset, exif, 13);
                 t.Ascii(exif, kDateTimeOriginal, kDate2005);
             },
             "taken=2005-07-25 18:55:28"},
    ExifCase{"digitized_after_original_ignored",
             [](auto& t) {
                 t.Ascii(0, kDateTimeOriginal, kDate2005).Ascii(0, kDateTimeDigitized, kDate2004);
             },
             "taken=2005-07-25 18:55:28"},
    ExifCase{"date_with_trailing_blanks",
             [](auto& t) { t.Ascii(0, kDateTimeOriginal, std::string(kDate2005) + "   "); },
             "taken=2005-07-25 18:55:28"},
    // Texts are read no further than a date can reach.
    ExifCase{"date_text_longer_than_any_date_wipes_nothing",
             [](auto& t) {
                 t.Ascii(0, kDateTime, kDate2004)
                     .Ascii(0, kDateTimeOriginal, std::string(kDate2005) + std::string(60, ' '));
             },
             "taken=2004-01-01 00:00:00"},
    ExifCase{"zero_original_then_digitized",
             [](auto& t) {
                 t.Ascii(0, kDateTimeOriginal, "0000:00:00 00:00:00");
                 t.Ascii(0, kDateTimeDigitized, "2006:02:03 04:05:06");
             },
             "taken=2006-02-03 04:05:06"},
    ExifCase{
        "zero_original_keeps_date_time",
        [](auto& t) {
            t.Ascii(0, kDateTime, kDate2004).Ascii(0, kDateTimeOriginal, "0000:00:00 00:00:00");
        },
        "taken=2004-01-01 00:00:00"},
    ExifCase{
        "blank_original_keeps_date_time",
        [](auto& t) {
            t.Ascii(0, kDateTime, kDate2004).Ascii(0, kDateTimeOriginal, "    :  :     :  :  ");
        },
        "taken=2004-01-01 00:00:00"},
    ExifCase{
        "impossible_original_keeps_date_time",
        [](auto& t) {
            t.Ascii(0, kDateTime, kDate2004).Ascii(0, kDateTimeOriginal, "2005:02:30 10:00:00");
        },
        "taken=2004-01-01 00:00:00"},
    ExifCase{"date_time_in_next_directory_after_original",
             [](auto& t) {
                 t.Ascii(0, kDateTimeOriginal, kDate2005).Next(0, t.AddDirectory());
                 t.Ascii(1, kDateTime, kDate2004);
             },
             "taken=2005-07-25 18:55:28"},
    ExifCase{"date_time_in_next_directory_fills",
             [](auto& t) { t.Next(0, t.AddDirectory()).Ascii(1, kDateTime, kDate2004); },
             "taken=2004-01-01 00:00:00"});

// Sensor width = largest image dimension x unit in mm / focal-plane resolution.
EXIF_CASES(SensorWidth,
           ExifCase{"inch_unit",
                    [](auto& t) {
                        t.Rational(0, kFocalPlaneXRes, 2000, 1).Short(0, kFocalPlaneUnit, 2);
                        t.Short(0, kExifImageWidth, 2048).Short(0, kExifImageLength, 1536);
                    },
                    "ccd=26.0096"},
           ExifCase{"centimetre_unit_and_longer_length",
                    [](auto& t) {
                        t.Rational(0, kFocalPlaneXRes, 1000, 1).Short(0, kFocalPlaneUnit, 3);
                        t.Long(0, kExifImageWidth, 1000).Long(0, kExifImageLength, 3000);
                    },
                    "ccd=30"},
           ExifCase{"unknown_unit_keeps_earlier_unit",
                    [](auto& t) {
                        t.Rational(0, kFocalPlaneXRes, 2000, 1).Short(0, kFocalPlaneUnit, 2);
                        t.Short(0, kFocalPlaneUnit, 9).Short(0, kExifImageWidth, 2048);
                    },
                    "ccd=26.0096"},
           ExifCase{"without_unit",
                    [](auto& t) {
                        t.Rational(0, kFocalPlaneXRes, 2000, 1).Short(0, kExifImageWidth, 2048);
                    },
                    ""});

// Values must lie inside the TIFF data; an entry whose value cannot is passed
// over and the directory goes on with its next entry.
EXIF_CASES(
    ValueBounds,
    ExifCase{"value_ending_at_end_of_data", [](auto& t) { t.Ascii(0, kMake, "Quorvant Optics"); },
             "make=Quorvant Optics"},
    ExifCase{
        "value_one_byte_past_end_of_data",
        [](auto& t) { t.Entry(0, RawEntry(kMake, testdata::kAscii, 16, 0)).Short(0, kIso, 100); },
        "iso=100", 0,
        [](Bytes& d, const auto& t) { Put32(d, FieldOf(0), std::uint32_t(d.size() - 15), t); }},
    ExifCase{"value_offset_wraps_past_4_gib",
             [](auto& t) {
                 t.Entry(0, RawEntry(kMake, testdata::kAscii, 16, 0xFFFFFFF8)).Short(0, kIso, 100);
             },
             "iso=100"},
    ExifCase{"byte_count_overflowing_32_bits",
             [](auto& t) {
                 t.Rational(0, kFocalLength, 35, 1).Short(0, kIso, 100);
                 t.Entry(0, RawEntry(kFocalLength, testdata::kRational, 0x20000001, 8));
             },
             "focal=35 iso=100"},
    // The directory ends the data, so an 8-byte rational read from the 4-byte
    // value field of this empty entry would run past the section.
    ExifCase{"zero_count_rational_at_end_of_data",
             [](auto& t) {
                 t.Short(0, kIso, 100).Entry(0, RawEntry(kFocalLength, testdata::kRational, 0, 1));
             },
             "iso=100", 0, [](Bytes& d, const auto&) { d.erase(d.end() - 4, d.end()); }});

// How a directory may end: with its next-directory offset whole, cut in half
// or cut off entirely. The next link points back to the directory itself, so
// following it shows up as 10005.
ExifCase DirectoryEnd(const char* name, std::size_t cut, int errorId, const char* record) {
    return {name, [](auto& t) { t.Short(0, kIso, 100).Next(0, 0); }, record, errorId,
            [cut](Bytes& d, const auto&) {
                d.erase(d.end() - static_cast<std::ptrdiff_t>(cut), d.end());
            }};
}

// A chain of `depth` directories, each the ExifOffset sub-directory of the one
// before; the last two hold the make and the date.
void NestedChain(CTiffBuilder& t, int depth) {
    for (int dir = 1; dir < depth; ++dir)
        t.SubDirectory(t.AddDirectory() - 1, kExifOffset, dir);
    t.Ascii(depth - 2, kMake, "Quorvant").Ascii(depth - 1, kDateTimeOriginal, kDate2005);
}

// Sets the 32-bit number at `pos` of the built data to the data size plus `delta`.
Edit PointAtEnd(std::size_t pos, int delta) {
    return [pos, delta](Bytes& d, const CTiffBuilder& t) {
        Put32(d, pos, static_cast<std::uint32_t>(d.size() + delta), t);
    };
}

EXIF_CASES(
    Directories, DirectoryEnd("next_link_whole", 0, IDS_NESTING_EXCEEDED, "iso=100"),
    DirectoryEnd("next_link_cut_in_half", 2, 0, "iso=100"),
    DirectoryEnd("next_link_cut_off", 4, 0, "iso=100"),
    DirectoryEnd("one_byte_of_next_link", 3, IDS_ILLEGAL_DIRECTORY, ""),
    DirectoryEnd("three_bytes_of_next_link", 1, IDS_ILLEGAL_DIRECTORY, ""),
    DirectoryEnd("entry_cut_short", 5, IDS_ILLEGAL_DIRECTORY, ""),
    ExifCase{"sub_directory_linking_to_itself",
             [](auto& t) {
                 const int exif = t.AddDirectory();
                 t.SubDirectory(0, kExifOffset, exif);
                 t.Short(exif, kIso, 100).SubDirectory(exif, kInteropOffset, exif);
             },
             "iso=100", IDS_NESTING_EXCEEDED},
    ExifCase{"fifth_nested_directory_walked", [](auto& t) { NestedChain(t, 5); },
             "make=Quorvant taken=2005-07-25 18:55:28"},
    ExifCase{"sixth_nested_directory_not_walked", [](auto& t) { NestedChain(t, 6); },
             "make=Quorvant", IDS_NESTING_EXCEEDED},
    ExifCase{"sub_directory_too_long_for_data",
             [](auto& t) {
                 const int exif = t.AddDirectory();
                 t.Short(0, kIso, 100).SubDirectory(0, kExifOffset, exif).Short(0, kFlash, 1);
                 t.Short(exif, kOrientation, 6).Dir(exif).rawCount = 2000;
             },
             "flash=1 iso=100", IDS_ILLEGAL_DIRECTORY},
    ExifCase{"sub_directory_at_end_of_data",
             [](auto& t) {
                 t.Entry(0, RawEntry(kExifOffset, testdata::kLong, 1, 0)).Short(0, kIso, 100);
             },
             "iso=100", IDS_ILLEGAL_DIRECTORY, PointAtEnd(FieldOf(0), 0)},
    ExifCase{"sub_directory_past_end_of_data",
             [](auto& t) {
                 t.Entry(0, RawEntry(kExifOffset, testdata::kLong, 1, 0)).Short(0, kIso, 100);
             },
             "iso=100", 0, PointAtEnd(FieldOf(0), 1)},
    ExifCase{"next_link_to_end_of_data", [](auto& t) { t.Short(0, kIso, 100); }, "iso=100",
             IDS_ILLEGAL_DIRECTORY, PointAtEnd(NextLinkOf(1), 0)},
    ExifCase{"next_link_past_end_of_data", [](auto& t) { t.Short(0, kIso, 100); }, "iso=100", 0,
             PointAtEnd(NextLinkOf(1), 1)},
    // With "II" the header's own bytes give 0x4949 entries, with "MM" 0x4D4D.
    ExifCase{"first_directory_offset_0", [](auto& t) { t.Short(0, kIso, 100).firstOffset = 0; }, "",
             IDS_ILLEGAL_DIRECTORY},
    ExifCase{"entry_count_on_last_byte", [](auto& t) { t.Short(0, kIso, 100); }, "",
             IDS_ILLEGAL_DIRECTORY, PointAtEnd(4, -1)},
    // The last two bytes are zero: a directory without entries, ending the data.
    ExifCase{"empty_directory_in_last_two_bytes", [](auto& t) { t.Short(0, kIso, 100); }, "", 0,
             PointAtEnd(4, -2)},
    // Four levels of 1000 links each to the next directory: walked naively
    // that is 10^12 directories. The entries behind the links still count.
    ExifCase{"directories_linked_many_times",
             [](auto& t) {
                 for (int dir = 0; dir < 4; ++dir) {
                     t.AddDirectory();
                     for (int k = 0; k < 1000; ++k)
                         t.SubDirectory(dir, kExifOffset, dir + 1);
                 }
                 t.Short(0, kIso, 100).Ascii(4, kDateTimeOriginal, kDate2005);
             },
             "taken=2005-07-25 18:55:28 iso=100"});

struct HeaderCase {
    const char* name;
    Bytes payload; // of the APP1 section
};

Bytes ExifPayload(std::string_view header, Bytes tiff) {
    Bytes payload = Text(header);
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

const Bytes kCameraTiff = testdata::CameraTiff(ByteOrder::Intel, kDate2005).Build();

Bytes WithMagic(std::uint16_t magic) {
    CTiffBuilder tiff = testdata::CameraTiff(ByteOrder::Motorola, kDate2005);
    tiff.magic = magic;
    return ExifPayload("Exif\0\0"sv, tiff.Build());
}

class ExifHeaderTest : public ExifTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ExifHeaderTest, RecordsIncorrectHeaderAndReadsOn) {
    CJpegBuilder jpeg;
    jpeg.Soi().Section(0xE1, GetParam().payload).FrameHeader(640, 480, 3).Sos();
    LoadFile(jpeg.Data());
    EXPECT_EQ(m_reader.m_nErrorId, IDS_INCORRECT_EXIF);
    EXPECT_EQ(Describe(m_reader.m_info), "");
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ExifHeaderTest,
    ::testing::Values(
        HeaderCase{"exif_followed_by_0_1", ExifPayload("Exif\0\x01"sv, kCameraTiff)},
        HeaderCase{"byte_order_IM",
                   ExifPayload("Exif\0\0IM"sv, Bytes(kCameraTiff.begin() + 2, kCameraTiff.end()))},
        HeaderCase{"magic_43", WithMagic(43)},
        HeaderCase{"magic_42_in_other_byte_order", WithMagic(42 << 8)},
        HeaderCase{"block_of_15_bytes",
                   ExifPayload("Exif\0\0"sv, Bytes(kCameraTiff.begin(), kCameraTiff.begin() + 7))},
        HeaderCase{"payload_of_exif_only", Text("Exif")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExifTest, BothByteOrdersGiveSameCameraRecord) {
    const std::string record =
        "make=Quorvant Optics model=QX-100 taken=2005-07-25 18:55:28 orientation=1 flash=1 "
        "focal=55 exposure=0.004 aperture=2.8 ccd=26.0096 bias=-0.666667 light=1 metering=5 "
        "program=2 iso=200";
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        Load(testdata::CameraTiff(order, kDate2005).Build());
        EXPECT_EQ(m_reader.m_nErrorId, 0);
        EXPECT_EQ(Describe(m_reader.m_info), record);
    }
}

// Each EXIF block starts its sensor-width state afresh, while the fields an
// earlier block set stay unless the later one mentions them.
TEST_F(ExifTest, SecondBlockStartsSensorStateAfresh) {
    CTiffBuilder first(ByteOrder::Intel);
    first.Ascii(0, kMake, "Quorvant").Rational(0, kFocalPlaneXRes, 2000, 1);
    first.Short(0, kFocalPlaneUnit, 2).Short(0, kExifImageWidth, 2048);
    CTiffBuilder second(ByteOrder::Motorola);
    second.Ascii(0, kModel, "QX-100").Rational(0, kFocalPlaneXRes, 1000, 1);

    CJpegBuilder jpeg;
    jpeg.Soi().Exif(first).Exif(second).FrameHeader(640, 480, 3).Sos();
    LoadFile(jpeg.Data());
    EXPECT_EQ(Describe(m_reader.m_info), "make=Quorvant model=QX-100");
}

} // namespace
