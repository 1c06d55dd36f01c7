// Dates a file keeps besides its EXIF block: EXIF as hex text in PNG text
// chunks, and XMP packets in PNG, WebP, MP4/MOV and HEIF. Builder-made files
// for each place and its hard cases, then the samples of the dates corpus.

#include "chunk_reader.h"
#include "file_stream.h"
#include "image_type.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <tuple>

namespace {

using namespace testdata;
using namespace velmora;
using testsupport::DateText;
using testsupport::operator<<; // cases print as their names

const char* const kExifDate = "2021-03-04 05:06:07";
const char* const kOtherDate = "2011-05-06 09:59:48";
const char* const kXmpDate = "2016-08-12 13:14:15";
const char* const kProfile = "Raw profile type exif";

// A packet whose one date is exif:DateTimeOriginal, `padding` blanks after it.
std::string Packet(std::size_t padding = 0) {
    return "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
           "xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
           "exif:DateTimeOriginal=\"2016-08-12T13:14:15+02:00\"/></rdf:RDF></x:xmpmeta>" +
           std::string(padding, ' ') + "<?xpacket end=\"w\"?>";
}

Bytes Tiff(const char* date = "2021:03:04 05:06:07") {
    return CameraTiff(ByteOrder::Motorola, date).Build();
}

Bytes Exif(const char* date = "2021:03:04 05:06:07") {
    return Concat({ToBytes(std::string_view("Exif\0\0", 6)), Tiff(date)});
}

// The APP1 profile form of a packet.
Bytes App1Xmp() {
    return Concat(
        {ToBytes(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29)), ToBytes(Packet())});
}

Bytes Png(const std::vector<Bytes>& before, const std::vector<Bytes>& after = {}) {
    return PngWithChunks(before, after);
}

Bytes Heif(const std::function<void(HeifOptions&)>& change) {
    HeifOptions o;
    o.tiff = Tiff();
    o.xmp = Packet();
    change(o);
    return HeifFile(o);
}

Bytes Movie(const std::function<void(MovieOptions&)>& change) {
    MovieOptions o;
    change(o);
    return MovieFile(o);
}

std::size_t Find(const Bytes& bytes, std::string_view text) {
    return static_cast<std::size_t>(
        std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) - bytes.begin());
}

// `bytes` with `value` written at the first byte after the NUL that ends `keyword`.
Bytes PatchAfter(Bytes bytes, std::string_view keyword, std::size_t skip, std::uint8_t value) {
    bytes.at(Find(bytes, keyword) + keyword.size() + 1 + skip) = value;
    return bytes;
}

std::string Found(const CFoundDate& date) {
    return date.Found() ? DateText(date.fields) : "none";
}

struct ReadResult {
    std::string taken;
    CFoundDate xmp;
    std::uint64_t bytesRead;
};

ReadResult Read(const Bytes& file, bool hints) {
    testsupport::CTempDir dir;
    const std::string path = dir.File("photo.bin");
    EXPECT_TRUE(WriteFile(path, file));
    CJpegFile reader;
    reader.m_bReadHints = hints;
    EXPECT_TRUE(reader.LoadImage(path.c_str())) << "error id " << reader.m_nErrorId;
    return {Found(reader.m_taken), reader.m_xmpDate, reader.m_nBytesRead};
}

// XMP packets: handed over only with the hints, the date taken the same
// either way.
struct XmpCase {
    const char* name;
    Bytes file;
    const char* taken;
};

const XmpCase kXmpCases[] = {
    {"png/itxt", Png({PngIText("XML:com.adobe.xmp", ToBytes(Packet()))}), "none"},
    {"png/itxt_compressed_after_idat",
     Png({PngChunk("eXIf", Tiff())}, {PngIText("XML:com.adobe.xmp", ToBytes(Packet()), true)}),
     kExifDate},
    {"png/itxt_compressed_language_and_translated_keyword",
     Png({PngChunk("iTXt", Concat({ToBytes("XML:com.adobe.xmp"),
                                   {0, 1, 0},
                                   ToBytes("de"),
                                   {0},
                                   ToBytes("XMP-Daten"),
                                   {0},
                                   Deflate(ToBytes(Packet()))}))}),
     "none"},
    {"png/app1_profile", Png({PngText("Raw profile type APP1", RawProfileText("APP1", App1Xmp()))}),
     "none"},
    // An APP1 profile holding XMP does not stop the EXIF profile behind it.
    {"png/app1_profile_before_exif_profile",
     Png({PngZText("Raw profile type APP1", RawProfileText("APP1", App1Xmp())),
          PngZText(kProfile, RawProfileText("exif", Exif()))}),
     kExifDate},
    {"webp/xmp_chunk_odd_size", WebpFile(Tiff(), 8, 8, ToBytes(Packet(1))), kExifDate},
    {"mp4/uuid_after_media", Movie([](auto& o) {
         o.brand = "mp42";
         o.moovAtEnd = false;
         o.uuidXmp = Packet();
     }),
     "none"},
    {"mov/uuid_after_moov", Movie([](auto& o) { o.uuidXmp = Packet(); }), "none"},
    {"mov/udta_xmp", Movie([](auto& o) { o.udtaXmp = Packet(); }), "none"},
    {"heif/mime_item", Heif([](auto&) {}), kExifDate},
    {"heif/mime_item_in_idat", Heif([](auto& o) {
         o.xmpInIdat = true;
         o.ilocVersion = 1;
     }),
     kExifDate},
    {"heif/infe_3_iloc_2_8_byte_offsets", Heif([](auto& o) {
         o.infeVersion = 3;
         o.ilocVersion = 2;
         o.offsetSize = 8;
         o.exifAtEnd = true;
     }),
     kExifDate},
};

class XmpPlaceTest : public ::testing::TestWithParam<std::tuple<XmpCase, bool>> {};

TEST_P(XmpPlaceTest, PacketReadOnlyWithHints) {
    const auto& [c, hints] = GetParam();
    const ReadResult result = Read(c.file, hints);
    EXPECT_EQ(result.taken, c.taken);
    EXPECT_EQ(Found(result.xmp), hints ? kXmpDate : "none");
    EXPECT_EQ(result.xmp.source, hints ? DateSource::XmpOriginal : DateSource::None);
}

INSTANTIATE_TEST_SUITE_P(Containers, XmpPlaceTest,
                         ::testing::Combine(::testing::ValuesIn(kXmpCases), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).name;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name + (std::get<1>(info.param) ? "_hints" : "_plain");
                         });

// A plain read does not read the packet at all; with the hints only the
// front of a long one is read.
TEST(XmpPlaceCost, PlainReadSkipsThePacketHintsReadItsFront) {
    const std::string longPacket = Packet(3 * 1024 * 1024);
    const Bytes files[] = {
        Png({PngIText("XML:com.adobe.xmp", ToBytes(longPacket))}),
        WebpFile(Tiff(), 8, 8, ToBytes(longPacket)),
        Movie([&](auto& o) { o.uuidXmp = longPacket; }),
        Heif([&](auto& o) { o.xmp = longPacket; }),
    };
    for (const Bytes& file : files) {
        SCOPED_TRACE(&file - files);
        EXPECT_LT(Read(file, false).bytesRead, 128u * 1024);
        const ReadResult hinted = Read(file, true);
        EXPECT_EQ(Found(hinted.xmp), kXmpDate);
        EXPECT_GT(hinted.bytesRead, 1024u * 1024);
        EXPECT_LT(hinted.bytesRead, 1024u * 1024 + 128 * 1024);
    }
}

// The profile text with "\r\n" line breaks and upper-case digits, or with
// `blanks` spaces in front of the digits.
Bytes Reshaped(const Bytes& text, bool upperCrLf, std::size_t blanks = 0) {
    Bytes out;
    int lines = 0;
    for (const std::uint8_t c : text) {
        if (c == '\n' && upperCrLf)
            out.push_back('\r');
        const bool digit = lines >= 3 && c >= 'a' && c <= 'f';
        out.push_back(digit && upperCrLf ? static_cast<std::uint8_t>(c - 32) : c);
        if (c == '\n' && ++lines == 3)
            out.insert(out.end(), blanks, ' ');
    }
    return out;
}

// EXIF as hex text in PNG text chunks.
struct ProfileCase {
    const char* name;
    Bytes file;
    const char* taken;
};

const Bytes kText = RawProfileText("exif", Exif());

const ProfileCase kProfileCases[] = {
    {"text_exif_prefix", Png({PngText(kProfile, kText)}), kExifDate},
    {"text_bare_tiff", Png({PngText(kProfile, RawProfileText("exif", Tiff()))}), kExifDate},
    {"ztxt_after_image_data", Png({}, {PngZText(kProfile, kText)}), kExifDate},
    {"itxt_compressed", Png({PngIText(kProfile, kText, true)}), kExifDate},
    {"app1_profile_holding_exif",
     Png({PngText("Raw profile type APP1", RawProfileText("APP1", Exif()))}), kExifDate},
    {"type_name_in_other_case", Png({PngText("Raw profile type Exif", kText)}), kExifDate},
    {"count_line_wrong", Png({PngText(kProfile, RawProfileText("exif", Exif(), 10))}), kExifDate},
    {"upper_case_digits_crlf", Png({PngText(kProfile, Reshaped(kText, true))}), kExifDate},
    {"blanks_inside_the_bound", Png({PngZText(kProfile, Reshaped(kText, false, 1 << 20))}),
     kExifDate},
    // Inflating stops at its bound: a small chunk cannot cost without end.
    {"blanks_past_the_bound", Png({PngZText(kProfile, Reshaped(kText, false, 24 << 20))}), "none"},
    {"other_character_ends_the_digits",
     Png({PngText(kProfile, Concat({ToBytes("\nexif\n  300\n4578zz"), kText}))}), "none"},
    {"other_profile_type", Png({PngText("Raw profile type iptc", kText)}), "none"},
    {"ztxt_unknown_method", PatchAfter(Png({PngZText(kProfile, kText)}), kProfile, 0, 1), "none"},
    {"ztxt_damaged_stream", PatchAfter(Png({PngZText(kProfile, kText)}), kProfile, 3, 0xFF),
     "none"},
    {"itxt_unknown_flag", PatchAfter(Png({PngIText(kProfile, kText)}), kProfile, 0, 2), "none"},
    // eXIf is the copy that counts; a profile fills in only a missing date.
    {"exif_chunk_wins_after_profile",
     Png({PngText(kProfile, RawProfileText("exif", Exif(kOtherDate))), PngChunk("eXIf", Tiff())}),
     kExifDate},
    {"exif_chunk_wins_before_profile",
     Png({PngChunk("eXIf", Tiff())},
         {PngZText(kProfile, RawProfileText("exif", Exif(kOtherDate)))}),
     kExifDate},
    {"profile_fills_in_for_exif_chunk_without_date",
     Png({PngChunk("eXIf", CTiffBuilder().Build()),
          PngText(kProfile, RawProfileText("exif", Exif(kOtherDate)))}),
     kOtherDate},
    {"first_profile_counts",
     Png({PngText(kProfile, RawProfileText("exif", Exif(kOtherDate))), PngText(kProfile, kText)}),
     kOtherDate},
};

class RawProfileTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(RawProfileTest, GivesTheDate) {
    for (const bool hints : {false, true})
        EXPECT_EQ(Read(GetParam().file, hints).taken, GetParam().taken) << "hints " << hints;
}

INSTANTIATE_TEST_SUITE_P(Png, RawProfileTest, ::testing::ValuesIn(kProfileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A profile of more bytes than an EXIF block may hold is not read, as an
// eXIf chunk of that size is not; one of exactly that size is.
TEST(RawProfileBound, OversizedBlockIsNotRead) {
    for (const std::size_t extra : {0, 1}) {
        Bytes block = Exif();
        block.resize(CChunkReader::kMaxExifChunk + extra, 0);
        const Bytes file = Png({PngZText(kProfile, RawProfileText("exif", block))});
        EXPECT_EQ(Read(file, false).taken, extra == 0 ? kExifDate : "none");
    }
}

// The samples of the dates corpus, each read plain and with the hints.
std::string DatesDir() {
    return testsupport::CorpusDir() + "/dates";
}

bool DatesAvailable() {
    struct stat st {};
    return stat((DatesDir() + "/README.md").c_str(), &st) == 0;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SampleCase {
    const char* name;
    const char* taken; // and its offset
    std::int16_t takenOffset;
    const char* xmp; // with the hints, and its offset and source
    std::int16_t xmpOffset;
    DateSource xmpSource;
};

const SampleCase kSamples[] = {
    {"raw_profile_ztxt.png", "2022-04-24 10:35:53", 120, "none", 0, DateSource::None},
    {"vivo_X90_raw_profile.png", "2023-07-09 20:36:33", 480, "none", 0, DateSource::None},
    {"IMG_20180725_163423-2.png", "none", 0, "2018-07-25 16:34:22", kNoOffset,
     DateSource::XmpDateCreated},
    {"mp4_uuid_xmp.mp4", "none", 0, "2020-05-11 16:18:35", 120, DateSource::XmpCreateDate},
    // No ftyp: read as a movie whatever its first bytes say.
    {"classic_moov_first.mov", "2025-02-24 10:11:57", 0, "2025-02-24 11:11:57", 60,
     DateSource::XmpCreateDate},
    // Its XMP item holds no date; another item lies in idat.
    {"Canon_EOS_R5.HIF", "2021-02-18 19:54:47", 0, "none", 0, DateSource::None},
};

class DateSampleTest : public ::testing::TestWithParam<SampleCase> {
protected:
    void SetUp() override {
        if (!DatesAvailable())
            GTEST_SKIP() << "dates corpus not found at " << DatesDir();
    }
};

TEST_P(DateSampleTest, Reads) {
    const SampleCase& c = GetParam();
    const std::string path = DatesDir() + "/" + c.name;
    for (const bool hints : {false, true}) {
        SCOPED_TRACE(hints ? "hints" : "plain");
        CJpegFile reader;
        reader.m_bReadHints = hints;
        if (std::string_view(c.name).ends_with(".mov")) {
            CFileStream file;
            ASSERT_TRUE(file.Open(path.c_str()));
            ASSERT_TRUE(reader.ReadImage(file, FileFormat::Movie));
        } else {
            ASSERT_TRUE(reader.LoadImage(path.c_str())) << "error id " << reader.m_nErrorId;
        }
        EXPECT_EQ(Found(reader.m_taken), c.taken);
        if (reader.m_taken.Found()) {
            EXPECT_EQ(reader.m_taken.nOffset, c.takenOffset);
        }
        EXPECT_EQ(Found(reader.m_xmpDate), hints ? c.xmp : "none");
        if (hints && reader.m_xmpDate.Found()) {
            EXPECT_EQ(reader.m_xmpDate.nOffset, c.xmpOffset);
            EXPECT_EQ(reader.m_xmpDate.source, c.xmpSource);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DateSampleTest, ::testing::ValuesIn(kSamples),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                                 '_');
                             return name;
                         });

// The vivo file keeps its EXIF twice, as hex text and in eXIf: each copy
// alone gives the same date.
TEST(DateSampleChanged, EachCopyOfTheVivoExifGivesTheDate) {
    if (!DatesAvailable())
        GTEST_SKIP() << "dates corpus not found at " << DatesDir();
    const Bytes file = ReadBytes(DatesDir() + "/vivo_X90_raw_profile.png");
    for (const char* hide : {"eXIf", "tEXt"}) {
        Bytes changed = file;
        changed.at(Find(changed, hide)) = 'x'; // a chunk of no known type now
        EXPECT_EQ(Read(changed, false).taken, "2023-07-09 20:36:33") << hide;
    }
}

// The R5's XMP item (item 769, byte 43008) holds only a rating: with a date
// written over it and the padding behind, the date comes out.
TEST(DateSampleChanged, HeifXmpItemIsReadWhereTheFileKeepsIt) {
    if (!DatesAvailable())
        GTEST_SKIP() << "dates corpus not found at " << DatesDir();
    Bytes file = ReadBytes(DatesDir() + "/Canon_EOS_R5.HIF");
    const std::string_view rating = "<xmp:Rating>0</xmp:Rating>";
    const std::string_view date = "<xmp:CreateDate>2021-02-18T19:54:47</xmp:CreateDate>";
    const std::size_t at = Find(file, rating);
    ASSERT_EQ(at, 43008u + 225);
    const auto padding =
        file.begin() + static_cast<std::ptrdiff_t>(Find(file, "</x:xmpmeta>") + 12);
    const auto grow = static_cast<std::ptrdiff_t>(date.size() - rating.size());
    ASSERT_EQ(std::count(padding, padding + grow, ' '), grow);
    file.erase(padding, padding + grow);
    file.erase(file.begin() + static_cast<std::ptrdiff_t>(at),
               file.begin() + static_cast<std::ptrdiff_t>(at + rating.size()));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), date.begin(), date.end());
    const ReadResult hinted = Read(file, true);
    EXPECT_EQ(hinted.taken, "2021-02-18 19:54:47");
    EXPECT_EQ(Found(hinted.xmp), "2021-02-18 19:54:47");
    EXPECT_EQ(Found(Read(file, false).xmp), "none");
}

} // namespace
