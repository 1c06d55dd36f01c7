// The dates of the places outside a file's own date taken: its XMP packet,
// its IPTC record and its name.

#include "file_name_date.h"
#include "iptc_date.h"
#include "test_support.h"
#include "xmp_date.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using velmora::CFoundDate;

namespace {

// "<source> YYYY-MM-DD[ HH:MM:SS][.mmm][ @offset minutes]", "-" for none.
std::string When(const CFoundDate& date) {
    const velmora::ole::DateFields& f = date.fields;
    char text[96];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", f.year, f.month, f.day);
    if (date.bTime || f.hour || f.minute || f.second) // a day alone must stay at 00:00:00
        n +=
            std::snprintf(text + n, sizeof text - n, " %02d:%02d:%02d", f.hour, f.minute, f.second);
    if (date.nMillis != 0)
        n += std::snprintf(text + n, sizeof text - n, ".%03d", date.nMillis);
    if (date.HasOffset())
        std::snprintf(text + n, sizeof text - n, " @%+d", date.nOffset);
    return date.Found() ? text : "-";
}

std::string Describe(const CFoundDate& date) {
    static const char* const kNames[] = {"original", "datecreated", "createdate", "iptc", "name"};
    const int source =
        static_cast<int>(date.source) - static_cast<int>(velmora::DateSource::XmpOriginal);
    if (!date.Found())
        return "-";
    return (source >= 0 && source < 5 ? kNames[source] : "other") + std::string(" ") + When(date);
}

// ---- XMP ----

// "$E", "$P" and "$X" stand for the declarations of the exif, photoshop and
// xmp namespaces under their usual prefixes.
std::string Xmp(std::string text) {
    const std::pair<std::string, std::string> kDeclarations[] = {
        {"$E", "xmlns:exif='http://ns.adobe.com/exif/1.0/'"},
        {"$P", "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'"},
        {"$X", "xmlns:xmp='http://ns.adobe.com/xap/1.0/'"}};
    for (const auto& [from, to] : kDeclarations)
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    return text;
}

struct XmpCase {
    const char* name;
    const char* packet; // through Xmp()
    const char* expected;
};

const XmpCase kXmpCases[] = {
    {"SingleQuotesSpacedEquals", "<d $E exif:DateTimeOriginal \n= '2005-06-09T20:09:27'/>",
     "original 2005-06-09 20:09:27"},
    {"ElementBlanksAndLineBreaks",
     "<d $P><photoshop:DateCreated>\n 2006-10-29T06:27:51\r\n</photoshop:DateCreated ></d>",
     "datecreated 2006-10-29 06:27:51"},
    {"XapPrefix",
     "<d xmlns:xap='http://ns.adobe.com/xap/1.0/' xap:CreateDate='2005-11-21T17:07:14'/>",
     "createdate 2005-11-21 17:07:14"},
    {"OtherPrefixForExif",
     "<d xmlns:e='http://ns.adobe.com/exif/1.0/' e:DateTimeOriginal='2001-02-03T04:05:06'/>",
     "original 2001-02-03 04:05:06"},
    {"UsualPrefixWrongUri",
     "<d xmlns:exif='http://example.com/exif/1.0/' exif:DateTimeOriginal='2001-02-03T04:05'/>",
     "-"},
    {"PrefixNeverDeclared", "<d exif:DateTimeOriginal='2001-02-03T04:05:06'/>", "-"},
    {"NameOfAnotherNamespace", "<d $E exif:DateCreated='2001-02-03' exif:CreateDate='2001-02-03'/>",
     "-"},
    {"DeclaredAfterTheAttribute", "<d exif:DateTimeOriginal='2001-02-03T04:05:06' $E/>",
     "original 2001-02-03 04:05:06"},
    {"EditDatesIgnored",
     "<d $X xmp:ModifyDate='2020-10-08T16:17:26' xmp:MetadataDate='2020-10-08'/>", "-"},
    {"OriginalFirst",
     "<d $E $P $X xmp:CreateDate='2003-03-03T03:03:03' photoshop:DateCreated='2002-02-02T02:02:02' "
     "exif:DateTimeOriginal='2001-01-01T01:01:01'/>",
     "original 2001-01-01 01:01:01"},
    {"DateCreatedBeforeCreateDate",
     "<d $P $X xmp:CreateDate='2003-03-03T03:03:03' photoshop:DateCreated='2002-02-02T02:02:02'/>",
     "datecreated 2002-02-02 02:02:02"},
    {"TimeOfDayWinsOverDateOnly",
     "<d $E $P $X exif:DateTimeOriginal='2001-01-01' photoshop:DateCreated='2002-02-02' "
     "xmp:CreateDate='2003-03-03T03:03:03'/>",
     "createdate 2003-03-03 03:03:03"},
    {"AllDateOnlyFirstWins",
     "<d $P $X xmp:CreateDate='2003-03-03' photoshop:DateCreated='2002-02-02'/>",
     "datecreated 2002-02-02"},
    {"InvalidDateFallsThrough",
     "<d $E $X exif:DateTimeOriginal='2001-13-01T01:01:01' xmp:CreateDate='2003-03-03T03:03:03'/>",
     "createdate 2003-03-03 03:03:03"},
    {"NineFractionDigits", "<d $P photoshop:DateCreated='2018-07-25T16:34:22.173129472'/>",
     "datecreated 2018-07-25 16:34:22.173"},
    {"NoSecondsNegativeOffset", "<d $X xmp:CreateDate='2007-11-19T00:00-08:00'/>",
     "createdate 2007-11-19 00:00:00 @-480"},
    {"Utc", "<d $X xmp:CreateDate='2004-07-13T21:23:44Z'/>", "createdate 2004-07-13 21:23:44 @+0"},
    {"GreaterThanInAnotherValue", "<d $E t='a > b' exif:DateTimeOriginal='2001-02-03T04:05:06'/>",
     "original 2001-02-03 04:05:06"},
    {"ElementWithChildren",
     "<d $P><photoshop:DateCreated><rdf:Alt><rdf:li>2001-02-03</rdf:li></rdf:Alt>"
     "</photoshop:DateCreated></d>",
     "-"},
    {"ClosedByAnotherName", "<d $P><photoshop:DateCreated>2001-02-03</photoshop:DateCreatedX>",
     "-"},
    {"EndTagWithJunk", "<d $P><photoshop:DateCreated>2006-10-29</photoshop:DateCreated x></d>",
     "-"},
    {"InsideComment",
     "<d $E $X xmp:CreateDate='2003-03-03'><!-- <exif:DateTimeOriginal>2001-01-01T01:01:01"
     "</exif:DateTimeOriginal> --></d>",
     "createdate 2003-03-03"},
    {"DefaultNamespaceElement",
     "<DateCreated xmlns='http://ns.adobe.com/photoshop/1.0/'>2001-02-03</DateCreated>",
     "datecreated 2001-02-03"},
    {"UnprefixedAttribute",
     "<d xmlns='http://ns.adobe.com/photoshop/1.0/' DateCreated='2001-02-03'/>", "-"},
    // A prefix rebound inside an element has its first meaning again after it.
    {"RebindingHoldsInsideOnly",
     "<d $E><a xmlns:exif='http://example.com/'><exif:DateTimeOriginal>2001-01-01T01:01:01"
     "</exif:DateTimeOriginal></a><exif:DateTimeOriginal>2002-02-02T02:02:02"
     "</exif:DateTimeOriginal></d>",
     "original 2002-02-02 02:02:02"},
    {"BindingEndsWithEmptyElement", "<r><a $E/><b exif:DateTimeOriginal='2001-01-01'/></r>", "-"},
    {"BindingEndsWithEndTag",
     "<r><a $E></a><exif:DateTimeOriginal>2001-01-01</exif:DateTimeOriginal></r>", "-"},
    {"CutAfterCompleteAttribute", "<d $E exif:DateTimeOriginal='2005-06-09T20:09:27' tiff:Ma",
     "original 2005-06-09 20:09:27"},
    {"CutBeforeEndTagCloses", "<d $P><photoshop:DateCreated>2006-10-29</photoshop:DateCreated",
     "-"},
    {"CutInsideComment", "<!-- <d $E exif:DateTimeOriginal='2001-01-01'/>", "-"},
};

class XmpDateTest : public ::testing::TestWithParam<XmpCase> {};

TEST_P(XmpDateTest, Reads) {
    const std::string packet = Xmp(GetParam().packet);
    EXPECT_EQ(Describe(velmora::ParseXmpDate(packet)), GetParam().expected) << packet;
}

INSTANTIATE_TEST_SUITE_P(Packets, XmpDateTest, ::testing::ValuesIn(kXmpCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cut anywhere, a packet gives one of the values it states whole, or none:
// never a value cut short.
TEST(XmpDateCutTest, EveryPrefixGivesAWholeValueOrNothing) {
    const std::string packet =
        Xmp("<d $E $P $X xmp:CreateDate='2003-03-03T03:03:03.5+01:00'><photoshop:DateCreated>"
            "2002-02-02T02:02:02</photoshop:DateCreated><exif:DateTimeOriginal>2001-01-01T01:01:01Z"
            "</exif:DateTimeOriginal></d>");
    const std::vector<std::string> whole = {"-", "createdate 2003-03-03 03:03:03.500 @+60",
                                            "datecreated 2002-02-02 02:02:02",
                                            "original 2001-01-01 01:01:01 @+0"};
    ASSERT_EQ(Describe(velmora::ParseXmpDate(packet)), whole.back());
    for (std::size_t size = 0; size <= packet.size(); ++size) {
        const std::string got =
            Describe(velmora::ParseXmpDate(std::string_view(packet).substr(0, size)));
        EXPECT_NE(std::find(whole.begin(), whole.end(), got), whole.end())
            << "cut at " << size << ": " << got;
    }
}

// The bytes after the view are not part of the packet, even when they would
// complete it.
TEST(XmpDateCutTest, StopsAtTheEndOfTheView) {
    const std::string buffer = Xmp("<d $E exif:DateTimeOriginal='2005-06-09T20:09:27'/>");
    const std::size_t quote = buffer.rfind('\'');
    EXPECT_EQ(Describe(velmora::ParseXmpDate(std::string_view(buffer).substr(0, quote))), "-");
    EXPECT_EQ(Describe(velmora::ParseXmpDate(std::string_view(buffer).substr(0, quote + 1))),
              "original 2005-06-09 20:09:27");
}

// More declarations than the scanner keeps: inside the element that made
// them no prefix is trusted, since a dropped one might have rebound it;
// after that element, reading goes on.
TEST(XmpDateCutTest, TooManyDeclarationsResolveNothingUntilTheirElementEnds) {
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += " xmlns:p" + std::to_string(i) + "='http://example.com/" + std::to_string(i) + "'";
    const std::string date = " $E exif:DateTimeOriginal='2001-01-01T01:01:01'";
    EXPECT_EQ(Describe(velmora::ParseXmpDate(Xmp("<a" + many + "><b" + date + "/></a>"))), "-");
    EXPECT_EQ(Describe(velmora::ParseXmpDate(Xmp("<a" + date + many + "/>"))), "-");
    EXPECT_EQ(Describe(velmora::ParseXmpDate(Xmp("<r><a" + many + "/><b" + date + "/></r>"))),
              "original 2001-01-01 01:01:01");
    EXPECT_EQ(Describe(velmora::ParseXmpDate(Xmp("<r><a" + many + "></a><b" + date + "/></r>"))),
              "original 2001-01-01 01:01:01");
}

// ---- IPTC ----

using Bytes = std::vector<unsigned char>;

Bytes Big(std::uint32_t value, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Dataset `record`:`number`.
Bytes Set(int record, int number, std::string_view value) {
    return Join({{0x1C, static_cast<unsigned char>(record), static_cast<unsigned char>(number)},
                 Big(static_cast<std::uint32_t>(value.size()), 2),
                 Text(value)});
}

// A resource block, padded; `size` replaces the data's length when given.
Bytes Block(int id, std::string_view name, const Bytes& data, long size = -1) {
    return Join(
        {Text("8BIM"),
         Big(id, 2),
         {static_cast<unsigned char>(name.size())},
         Text(name),
         Bytes(name.size() % 2 ? 0 : 1, 0),
         Big(static_cast<std::uint32_t>(size < 0 ? static_cast<long>(data.size()) : size), 4),
         data,
         Bytes(data.size() % 2, 0)});
}

Bytes Section(std::initializer_list<Bytes> blocks) {
    return Join({Text(std::string_view("Photoshop 3.0", 14)), Join(blocks)});
}

Bytes Iptc(std::initializer_list<Bytes> datasets) {
    return Section({Block(0x0404, "", Join(datasets))});
}

const Bytes kDate = Set(2, 55, "20061029");
const Bytes kTime = Set(2, 60, "062751-0500");
const Bytes kVersion = Set(2, 0, std::string_view("\0\4", 2));
const char* const kFull = "iptc 2006-10-29 06:27:51 @-300";

struct IptcCase {
    const char* name;
    Bytes section;
    const char* expected;
};

const IptcCase kIptcCases[] = {
    {"DateAndTime", Iptc({kVersion, kDate, kTime}), kFull},
    {"HalfHourOffset", Iptc({kDate, Set(2, 60, "235959+0530")}), "iptc 2006-10-29 23:59:59 @+330"},
    {"DateOnly", Iptc({kDate}), "iptc 2006-10-29"},
    {"TimeWithoutOffset", Iptc({kDate, Set(2, 60, "062751")}), "iptc 2006-10-29 06:27:51"},
    {"PaddedTexts",
     Iptc({Set(2, 55, std::string_view("20061029\0", 9)), Set(2, 60, "062751-0500 ")}), kFull},
    {"ShortTimeLeavesTheDay", Iptc({kDate, Set(2, 60, "0627")}), "iptc 2006-10-29"},
    {"ImpossibleTimeLeavesTheDay", Iptc({kDate, Set(2, 60, "246000")}), "iptc 2006-10-29"},
    {"BadOffsetLeavesTheDay", Iptc({kDate, Set(2, 60, "062751+2500")}), "iptc 2006-10-29"},
    {"TimeWithoutDate", Iptc({kTime}), "-"},
    {"ImpossibleDate", Iptc({Set(2, 55, "20061329"), kTime}), "-"},
    {"DigitizedIsNotCreated", Iptc({Set(2, 62, "20061029"), Set(2, 63, "062751-0500")}), "-"},
    {"OtherRecordIgnored", Iptc({Set(1, 55, "20061029"), kTime}), "-"},
    {"FirstDateKept", Iptc({kDate, Set(2, 55, "19990101"), kTime}), kFull},
    {"ExtendedDatasetSkipped",
     Iptc({Join({{0x1C, 2, 202, 0x80, 0x04}, Big(300, 4), Bytes(300, 'x')}), kDate, kTime}), kFull},
    {"ExtendedLengthTooWide", Iptc({{0x1C, 2, 202, 0x80, 0x09}, kDate}), "-"},
    {"MissingMarkerEndsDatasets", Iptc({kVersion, {0x00}, kDate}), "-"},
    {"NamedBlocksFirst",
     Section({Block(0x03ED, "abc", Bytes(16, 0x55)), Block(0x040C, "ab", Bytes(5, 0x1C)),
              Block(0x0404, "", Join({kDate, kTime}))}),
     kFull},
    {"SecondIptcBlock",
     Section({Block(0x0404, "", kVersion), Block(0x0404, "", Join({kDate, kTime}))}), kFull},
    {"DatasetsAfterTheBlockEnd", Section({Block(0x0404, "", Join({kVersion, kDate, kTime}), 7)}),
     "-"},
    {"DatasetLongerThanBlock", Section({Block(0x0404, "", Join({Set(2, 5, "x"), kDate}), 14)}),
     "-"},
    {"BlockLongerThanSection", Section({Block(0x0404, "", Join({kDate, kTime}), 4000)}), kFull},
    {"NotPhotoshop3", Join({Text(std::string_view("Photoshop 2.0", 14)), Block(0x0404, "", kDate)}),
     "-"},
    {"NotEightBim",
     [] {
         Bytes b = Iptc({kDate, kTime});
         b[14] = '7';
         return b;
     }(),
     "-"},
    {"Empty", Bytes{}, "-"},
};

class IptcDateTest : public ::testing::TestWithParam<IptcCase> {};

TEST_P(IptcDateTest, Reads) {
    const IptcCase& c = GetParam();
    EXPECT_EQ(Describe(velmora::ParseIptcDate(c.section.data(), c.section.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sections, IptcDateTest, ::testing::ValuesIn(kIptcCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IptcDateCutTest, EveryPrefixGivesTheWholeDateTheDayOrNothing) {
    const Bytes section =
        Section({Block(0x03ED, "n", Bytes(7, 1)), Block(0x0404, "", Join({kDate, kTime}))});
    ASSERT_EQ(Describe(velmora::ParseIptcDate(section.data(), section.size())), kFull);
    for (std::size_t size = 0; size <= section.size(); ++size) {
        // A copy of exactly `size` bytes, so that a sanitizer sees any read past it.
        const Bytes cut(section.begin(), section.begin() + static_cast<long>(size));
        const std::string got = Describe(velmora::ParseIptcDate(cut.data(), cut.size()));
        EXPECT_TRUE(got == "-" || got == "iptc 2006-10-29" || got == kFull) << size << ": " << got;
    }
    EXPECT_FALSE(velmora::ParseIptcDate(nullptr, 100).Found());
}

// ---- File names ----

struct NameCase {
    const char* name;
    const char* expected;
};

const NameCase kNameCases[] = {
    {"IMG_20180725_163423.jpg", "name 2018-07-25 16:34:23"},
    {"IMG_20180725_163423.JPG", "name 2018-07-25 16:34:23"},
    {"IMG_20180725_163423-2.png", "name 2018-07-25 16:34:23"},
    {"IMG_20200726_215701_604.jpg", "name 2020-07-26 21:57:01"},
    {"VID_20241118_143022.mp4", "name 2024-11-18 14:30:22"},
    {"MVIMG_20191223_180640.jpg", "name 2019-12-23 18:06:40"},
    {"PXL_20240517_062105120.MP.jpg", "name 2024-05-17 06:21:05.120"},
    {"PXL_20240517_062105007.jpg", "name 2024-05-17 06:21:05.007"},
    {"PXL_20201219_102843491.PORTRAIT-01.COVER.jpg", "name 2020-12-19 10:28:43.491"},
    {"20110626_213900.psd", "name 2011-06-26 21:39:00"},
    {"20230506_120000-1.jpg", "name 2023-05-06 12:00:00"},
    {"Screenshot_20181201-235132.png", "name 2018-12-01 23:51:32"},
    {"Screenshot_2019-04-05-12-34-56.png", "name 2019-04-05 12:34:56"},
    {"Screenshot 2019-05-21 at 10.45.52.png", "name 2019-05-21 10:45:52"},
    {"Screenshot 2019-05-21 at 10.45.52 PM.png", "name 2019-05-21 22:45:52"},
    {"IMG-20190802-WA0000.jpg", "name 2019-08-02"},
    {"VID-20190802-WA0013.mp4", "name 2019-08-02"},
    {"PTT-20190802-WA0002.opus", "name 2019-08-02"},
    {"WhatsApp Image 2023-06-10 at 22.57.43.jpeg", "name 2023-06-10 22:57:43"},
    {"WhatsApp Image 2023-06-10 at 11.48.12 AM.jpeg", "name 2023-06-10 11:48:12"},
    {"WhatsApp Image 2023-06-10 at 12.05.00 AM.jpeg", "name 2023-06-10 00:05:00"},
    {"WhatsApp Image 2023-06-10 at 12.05.00 PM.jpeg", "name 2023-06-10 12:05:00"},
    {"WhatsApp Image 2023-06-10 at 19.00.11_c64fc046.jpg", "name 2023-06-10 19:00:11"},
    {"WhatsApp Image 2023-06-10 at 07.00.11 PM_c64fc046.jpg", "name 2023-06-10 19:00:11"},
    {"WhatsApp Image 2025-07-12 \xC3\xA0 16.06.43_fee671c9.jpg", "name 2025-07-12 16:06:43"},
    {"signal-2019-04-05-123456.jpg", "name 2019-04-05 12:34:56"},
    {"signal-2021-03-04-12-34-56-789.jpg", "name 2021-03-04 12:34:56.789"},
    {"photo_2016-02-09_12-16-46.jpg", "name 2016-02-09 12:16:46"},
    // Names that must not give a date.
    {"Photo 05-04-2019, 12 34 56.jpg", "-"},
    {"2021-02-13-1929.heic", "-"},
    {"IMG_20181325_163423.jpg", "-"},
    {"IMG_20190229_120000.jpg", "-"},
    {"IMG_20180725_246000.jpg", "-"},
    {"img_20180725_163423.jpg", "-"},
    {"IMG_20180725_16342.jpg", "-"},
    {"IMG_20180725_163423x.jpg", "-"},
    {"IMG_20180725_163423_.jpg", "-"},
    {"copy of IMG_20180725_163423.jpg", "-"},
    {"IMG-20191302-WA0000.jpg", "-"},
    {"IMG-20190802-WA00001.jpg", "-"},
    {"WhatsApp Image 2023-06-10 at 13.48.12 PM.jpeg", "-"},
    {"WhatsApp Image 2023-06-10 at 00.48.12 AM.jpeg", "-"},
    {"WhatsApp Image 2023-6-10 at 22.57.43.jpeg", "-"},
    {"signal-2019-04-05-1234.jpg", "-"},
    {"IMG_1234.JPG", "-"},
    {"", "-"},
};

class FileNameDateTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameDateTest, Reads) {
    const NameCase& c = GetParam();
    EXPECT_EQ(Describe(velmora::DateFromFileName(c.name)), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Names, FileNameDateTest, ::testing::ValuesIn(kNameCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// ---- The files of the corpus ----

std::string DatesDir() {
    return testsupport::CorpusDir() + "/dates";
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(DatesDir() + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first JPEG section before the image data whose payload starts with
// `signature`: its payload, the signature included.
std::string JpegPayload(const std::string& file, std::string_view signature) {
    for (std::size_t pos = 2;
         pos + 4 <= file.size() && file[pos] == '\xFF' && file[pos + 1] != '\xDA';) {
        const std::size_t length = std::uint8_t(file[pos + 2]) << 8 | std::uint8_t(file[pos + 3]);
        const std::string_view payload = std::string_view(file).substr(pos + 4, length - 2);
        if (length >= 2 && payload.starts_with(signature))
            return std::string(payload);
        pos += 2 + length;
    }
    return {};
}

struct CorpusCase {
    const char* name;
    const char* xmp;  // Describe() of its packet: the sidecar itself, or the JPEG's
    const char* iptc; // of its APP13 section
};

const CorpusCase kCorpusCases[] = {
    {"Canon_IXUS_40_sidecar.xmp", "original 2005-06-09 20:09:27 @+120", "-"},
    {"PhotoMechanic_iptc_xmp.jpg", "datecreated 2006-10-29", "iptc 2006-10-29 06:27:51 @-300"},
    // The same packet's xmp:ModifyDate 2003-03-03 is an edit time.
    {"MWG_conflicting_dates.jpg", "datecreated 1993-01-01 03:11:11.311 @+60",
     "iptc 1992-01-01 02:11:11 @+60"},
};

class DateCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(DateCorpusTest, ReadsThePacketAndRecord) {
    if (!std::filesystem::is_directory(DatesDir()))
        GTEST_SKIP() << "dates corpus not found at " << DatesDir();
    const std::string file = ReadFile(GetParam().name);
    ASSERT_FALSE(file.empty()) << GetParam().name;
    const bool sidecar = std::string_view(GetParam().name).ends_with(".xmp");
    const std::string_view xmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
    const std::string xmp = sidecar ? file : JpegPayload(file, xmpHeader);
    const std::string iptc = JpegPayload(file, "Photoshop 3.0");
    ASSERT_FALSE(xmp.empty());
    EXPECT_EQ(Describe(velmora::ParseXmpDate(
                  std::string_view(xmp).substr(sidecar ? 0 : xmpHeader.size()))),
              GetParam().xmp);
    EXPECT_EQ(Describe(velmora::ParseIptcDate(reinterpret_cast<const unsigned char*>(iptc.data()),
                                              iptc.size())),
              GetParam().iptc);
}

INSTANTIATE_TEST_SUITE_P(Files, DateCorpusTest, ::testing::ValuesIn(kCorpusCases));

// The files dated by their names alone give the dates expected.tsv lists
// under "names" (a day alone at 00:00:00).
TEST(DateCorpusNamesTest, GiveTheListedDates) {
    std::ifstream in(DatesDir() + "/expected.tsv");
    if (!in)
        GTEST_SKIP() << "dates corpus not found at " << DatesDir();
    std::map<std::string, std::string> listed;
    for (std::string path, none, names; std::getline(in, path, '\t') &&
                                        std::getline(in, none, '\t') &&
                                        std::getline(in, names, '\t') && in.ignore(256, '\n');)
        listed[path] = names;
    for (const char* name :
         {"Screenshot_2019-04-05-12-34-56.png", "IMG-20190802-WA0000.jpg",
          "photo_2016-02-09_12-16-46.jpg", "IMG_20200726_215701_604.jpg", "no_date_anywhere.jpg"}) {
        ASSERT_TRUE(listed.count(name) && std::filesystem::exists(DatesDir() + "/" + name)) << name;
        CFoundDate date = velmora::DateFromFileName(name);
        date.bTime = date.Found();
        EXPECT_EQ(When(date), listed[name]) << name;
    }
}

} // namespace
