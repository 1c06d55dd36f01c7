// Dates kept besides the EXIF block: EXIF as hex text in PNG text chunks, XMP packets in PNG,
// WebP, movies and HEIF. Builder-made files for each place and its hard cases, then real samples.

#include "chunk_reader.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

namespace {

using namespace testdata;
using namespace velmora;
using namespace std::literals;
using testsupport::operator<<; // cases print as their names

// Expected dates, as "source date[offset]"; "" for none.
const char* const kE = "exif-original 2021-03-04 05:06:07";
const char* const kO = "exif-original 2011-05-06 09:59:48";
const char* const kX = "xmp-original 2016-08-12 13:14:15+02:00";
const char* const kProfile = "Raw profile type exif";
const char* const kR5 = "exif-original 2021-02-18 19:54:47+00:00";
const std::string kPacket = "<rdf:Description xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
                            "exif:DateTimeOriginal=\"2016-08-12T13:14:15+02:00\"/>";
// Past the 1 MiB a hinted read takes, and of odd size (WebP pads it).
std::string LongPacket() {
    return kPacket + std::string(3 * 1024 * 1024, ' ');
}

Bytes Tiff(const char* date = "2021:03:04 05:06:07") {
    return CameraTiff(ByteOrder::Motorola, date).Build();
}
// "Exif\0\0" and the TIFF data, zero-filled up to `size` bytes, as hex text.
Bytes Hex(std::size_t size = 0, std::optional<std::size_t> count = {}) {
    Bytes block = Concat({ToBytes("Exif\0\0"sv), Tiff()});
    block.resize(std::max(size, block.size()), 0);
    return RawProfileText("exif", block, count);
}
Bytes App1Xmp() {
    return PngText("Raw profile type APP1",
                   RawProfileText("APP1", ToBytes("http://ns.adobe.com/xap/1.0/\0"s + kPacket)));
}
Bytes OtherProfile() {
    return PngText(kProfile, RawProfileText("exif", Tiff("2011:05:06 09:59:48")));
}

// `text` upper-cased, each "\n" written as `lineBreak`.
Bytes Reshaped(const Bytes& text, std::string_view lineBreak) {
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string(lineBreak) : std::string(1, char(std::toupper(c)));
    return ToBytes(out);
}
Bytes Png(const std::vector<Bytes>& before, const std::vector<Bytes>& after = {}) {
    return PngWithChunks(before, after);
}
// A profile in tEXt, or in zTXt after the image data.
Bytes TextPng(const Bytes& text, bool z = false, const char* keyword = kProfile) {
    return z ? Png({}, {PngZText(keyword, text)}) : Png({PngText(keyword, text)});
}
// `shape` 1: the packet in idat; 2: infe 3, iloc 2 (32-bit item IDs).
Bytes Heif(const std::string& xmp, int shape = 0) {
    HeifOptions o;
    o.tiff = Tiff(), o.xmp = xmp, o.xmpInIdat = shape == 1, o.ilocVersion = shape;
    o.infeVersion = shape == 2 ? 3 : 2;
    return HeifFile(o);
}
// The packet in a uuid box after the media and moov, or in moov/udta.
Bytes Movie(const std::string& xmp, bool udta = false) {
    MovieOptions o;
    (udta ? o.udtaXmp : o.uuidXmp) = xmp, o.moovAtEnd = udta;
    return MovieFile(o);
}

// A case names the builder of its file: files of many megabytes are made by
// the test that reads them, not when the program starts.
struct Case {
    std::string name;
    std::function<Bytes()> file; // empty result: the corpus is absent
    std::string taken, xmp;      // xmp (else a PNG's creation time): with the hints
};
// A corpus sample, `write` put over the first `at` in it.
Case Sample(std::string name, const char* taken, const char* xmp, std::string_view at = "",
            std::string_view write = "") {
    auto file = [name, at, write] {
        std::ifstream in(testsupport::CorpusDir() + "/dates/" + name, std::ios::binary);
        Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const auto pos = std::search(bytes.begin(), bytes.end(), at.begin(), at.end());
        if (!at.empty() && bytes.end() - pos >= std::ptrdiff_t(write.size()))
            std::copy(write.begin(), write.end(), pos);
        return bytes;
    };
    name = "corpus_" + name + std::string(at);
    std::ranges::transform(name, name.begin(), [](char c) { return std::isalnum(c) ? c : '_'; });
    return {name, file, taken, xmp};
}

const Case kCases[] = {
    {"png_itxt_not_xml",
     [] { return Png({PngIText("XML:com.adobe.xmp", ToBytes("x" + kPacket))}); }, "", ""},
    {"png_itxt_xmp_long",
     [] { return Png({PngIText("XML:com.adobe.xmp", ToBytes(LongPacket()))}); }, "", kX},
    {"png_itxt_xmp_deflated_language_fields_late",
     [] {
         return Png({},
                    {PngChunk("iTXt", Concat({ToBytes("XML:com.adobe.xmp\0\1\0de\0XMP-Daten\0"sv),
                                              Deflate(ToBytes(kPacket))}))});
     },
     "", kX},
    // An APP1 profile holding XMP does not stop the EXIF profile behind it.
    {"png_app1_profile_xmp_then_exif",
     [] {
         return Png({App1Xmp(), PngZText(kProfile, Hex())});
     },
     kE, kX},
    {"webp_xmp_long", [] { return WebpFile(Tiff(), 8, 8, ToBytes(LongPacket())); }, kE, kX},
    {"movie_uuid_xmp_long_after_media", [] { return Movie(LongPacket()); }, "", kX},
    {"movie_udta_xmp", [] { return Movie(kPacket, true); }, "", kX},
    {"heif_xmp_item_long", [] { return Heif(LongPacket()); }, kE, kX},
    {"heif_xmp_item_in_idat", [] { return Heif(kPacket, 1); }, kE, kX},
    // A TIFF's XMP (tag 700), as a JPEG's XMP section is read.
    {"tiff_xmp_tag",
     [] {
         return CTiffBuilder(ByteOrder::Motorola).Undefined(0, 0x02BC, ToBytes(kPacket)).Build();
     },
     "", kX},
    // A PNG's Creation Time, in any text chunk, mail or ISO form; tIME (the
    // last change) is not read.
    {"png_creation_time_mail_form",
     [] { return Png({PngText("Creation Time", ToBytes("Sat, 02 Feb 2019 10:15:08 +0100"))}); }, "",
     "png-creation-time 2019-02-02 10:15:08+01:00"},
    {"png_creation_time_ztxt_iso",
     [] { return Png({}, {PngZText("Creation Time", ToBytes("2019-02-02T10:15:08"))}); }, "",
     "png-creation-time 2019-02-02 10:15:08"},
    {"png_creation_time_itxt_gmt",
     [] { return Png({PngIText("Creation Time", ToBytes("2 Feb 2019 10:15 GMT"), true)}); }, "",
     "png-creation-time 2019-02-02 10:15:00+00:00"},
    {"png_time_chunk_unused",
     [] {
         return Png({PngChunk("tIME", {0x07, 0xE3, 2, 2, 10, 15, 8})});
     },
     "", ""},
    {"heif_infe_3_iloc_2", [] { return Heif(kPacket, 2); }, kE, kX},
    // EXIF as hex text: the digits alone count, blanks and the count line not.
    {"profile_itxt_deflated", [] { return Png({PngIText(kProfile, Hex(), true)}); }, kE, ""},
    {"profile_app1_lower_case", [] { return TextPng(Hex(), false, "Raw profile type app1"); }, kE,
     ""},
    {"profile_other_type", [] { return TextPng(Hex(), false, "Raw profile type iptc"); }, "", ""},
    {"profile_count_case_blanks", [] { return TextPng(Reshaped(Hex(0, 10), "\r\n\t")); }, kE, ""},
    {"profile_bad_digit", [] { return TextPng(Reshaped(Hex(), "\nz")); }, "", ""},
    // Inflating stops at its bound: a small chunk cannot cost without end.
    {"profile_blanks_past_bound",
     [] {
         return TextPng(Concat({Bytes(24 << 20, ' '), Hex()}), true);
     },
     "", ""},
    // A block too big for an eXIf chunk is not read from a profile either.
    {"profile_block_at_bound", [] { return TextPng(Hex(CChunkReader::kMaxExifChunk), true); }, kE,
     ""},
    {"profile_block_past_bound", [] { return TextPng(Hex(CChunkReader::kMaxExifChunk + 1), true); },
     "", ""},
    {"profile_ztxt_not_zlib",
     [] {
         return Png({PngChunk("zTXt", Concat({ToBytes("Raw profile type exif\0\0"sv), Hex()}))});
     },
     "", ""},
    // eXIf is the copy that counts; the first profile fills in a missing date.
    {"exif_chunk_between_profiles",
     [] {
         return Png({OtherProfile(), PngChunk("eXIf", Tiff())}, {OtherProfile()});
     },
     kE, ""},
    {"exif_chunk_undated",
     [] {
         return Png({PngChunk("eXIf", CTiffBuilder().Build()), OtherProfile()});
     },
     kO, ""},
    {"first_profile_counts",
     [] {
         return Png({OtherProfile(), PngText(kProfile, Hex())});
     },
     kO, ""},
    Sample("raw_profile_ztxt.png", "exif-original 2022-04-24 10:35:53+02:00", ""),
    Sample("vivo_X90_raw_profile.png", "exif-original 2023-07-09 20:36:33+08:00", ""),
    Sample("IMG_20180725_163423-2.png", "", "xmp-datecreated 2018-07-25 16:34:22"),
    Sample("mp4_uuid_xmp.mp4", "", "xmp-createdate 2020-05-11 16:18:35+02:00"),
    // No ftyp: told by its first atom.
    Sample("classic_moov_first.mov", "movie-header 2025-02-24 10:11:57+00:00",
           "xmp-createdate 2025-02-24 11:11:57+01:00"),
    // Its XMP item holds only a rating; another item lies in idat.
    Sample("Canon_EOS_R5.HIF", kR5, ""),
    // A date over the rating (and the padding behind it): the item is found.
    Sample("Canon_EOS_R5.HIF", kR5, "xmp-createdate 2021-02-18 19:54:47", "<xmp:Rating>",
           "<xmp:CreateDate>2021-02-18T19:54:47</xmp:CreateDate></rdf:Description></rdf:RDF>"
           "</x:xmpmeta>"),
};

std::string Show(const CFoundDate& d) {
    const std::string text = testsupport::DateText(d.fields) + OffsetText(d.nOffset);
    return d.Found() ? std::string(DateSourceId(d.source)) + " " + text : "";
}

class EmbeddedDateTest : public ::testing::TestWithParam<Case> {};

TEST_P(EmbeddedDateTest, Reads) {
    const Case& c = GetParam();
    const Bytes file = c.file();
    if (file.empty())
        GTEST_SKIP() << "dates corpus not found in " << testsupport::CorpusDir();
    testsupport::CTempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("photo.bin"), file));
    for (const bool hints : {false, true}) {
        CJpegFile reader;
        reader.m_bReadHints = hints;
        const bool ok = reader.LoadImage(dir.File("photo.bin").c_str());
        const CFoundDate& hint =
            reader.m_xmpDate.Found() ? reader.m_xmpDate : reader.m_creationTime;
        EXPECT_EQ(std::tuple(hints, ok, Show(reader.m_taken), Show(hint)),
                  std::tuple(hints, true, c.taken, hints ? c.xmp : ""));
        // A plain read skips a packet; a hinted one reads only its front.
        EXPECT_LT(reader.m_nBytesRead, hints ? 1024u * 1024 + 128 * 1024 : 128u * 1024);
    }
}

INSTANTIATE_TEST_SUITE_P(Places, EmbeddedDateTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

} // namespace
