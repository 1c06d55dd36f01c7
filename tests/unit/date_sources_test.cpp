// The dates a file carries outside its own date taken: in its XMP packet, its
// IPTC record and its name.

#include "file_name_date.h"
#include "iptc_date.h"
#include "takeout_sidecar.h"
#include "test_support.h"
#include "xmp_date.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace velmora;
using namespace std::literals;

const std::string kDir = testsupport::CorpusDir() + "/dates/";

using testsupport::Describe;

// "$E", "$P" and "$X" stand for the declarations of the exif, photoshop and
// xmp namespaces under their usual prefixes, "$o", "$d" and "$c" for the
// properties exif:DateTimeOriginal, photoshop:DateCreated and xmp:CreateDate,
// "$M" for more declarations than the scanner keeps.
std::string Xmp(std::string text) {
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += " xmlns:p" + std::to_string(i) + "='http://example.com/" + std::to_string(i) + "'";
    const std::pair<std::string_view, std::string_view> tokens[] = {
        {"$E", "xmlns:exif='http://ns.adobe.com/exif/1.0/'"},
        {"$P", "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'"},
        {"$X", "xmlns:xmp='http://ns.adobe.com/xap/1.0/'"},
        {"$o", "exif:DateTimeOriginal"},
        {"$d", "photoshop:DateCreated"},
        {"$c", "xmp:CreateDate"},
        {"$M", many}};
    for (const auto& [from, to] : tokens)
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    return text;
}

// Describe() of the packet's date, without the "xmp-" of its source.
std::string XmpDate(std::string_view packet) {
    const std::string date = Describe(ParseXmpDate(packet));
    return date.starts_with("xmp-") ? date.substr(4) : date;
}

TEST(XmpDate, ReadsThePacket) {
    const std::pair<const char*, const char*> cases[] = {
        {"<d $E $o \n= '2005-06-09T20:09:27'/>", "original 2005-06-09 20:09:27"},
        {"<d $P><$d>\n 2006-10-29T06:27:51\r\n</$d ></d>", "datecreated 2006-10-29 06:27:51"},
        {"<d xmlns:xap='http://ns.adobe.com/xap/1.0/' xap:CreateDate='2005-11-21'/>",
         "createdate 2005-11-21"}, // known by its URI
        {"<d $o='2001-02-03' $E/>", "original 2001-02-03"},
        // DateTimeOriginal, DateCreated, CreateDate in that order, a time of day first.
        {"<d $E $P $X $c='2003-03-03T03:03' $d='2002-02-02T02:02' $o='2001-01-01T01:01'/>",
         "original 2001-01-01 01:01:00"},
        {"<d $E $P $X $o='2001-01-01' $d='2002-02-02' $c='2003-03-03T03:03'/>",
         "createdate 2003-03-03 03:03:00"},
        {"<d $P $X $c='2003-03-03' $d='2002-02-02'/>", "datecreated 2002-02-02"},
        {"<d $E $X $o='2001-13-01T01:01' $c='2003-03-03'/>", "createdate 2003-03-03"},
        {"<d $E t='a > b' $o='2001-02-03'/>", "original 2001-02-03"},
        {"<d $E $X $c='2003-03-03'><!-- > <$o>2001-01-01</$o> --></d>", "createdate 2003-03-03"},
        {"<DateCreated xmlns='http://ns.adobe.com/photoshop/1.0/'>2001-02-03</DateCreated>",
         "datecreated 2001-02-03"},
        // A binding holds inside its element only; past the bindings kept,
        // no prefix is trusted there, since a dropped one might rebind it.
        {"<d $E><a xmlns:exif='http://example.com/'><$o>2001-01-01</$o></a><$o>2002-02-02</$o></d>",
         "original 2002-02-02"},
        {"<r><a $M/><b $E $o='2001-01-01'/></r>", "original 2001-01-01"},
        {"<d $E $o='2005-06-09T20:09:27' tiff:Ma", "original 2005-06-09 20:09:27"}, // cut short
    };
    for (const auto& [packet, expected] : cases)
        EXPECT_EQ(XmpDate(Xmp(packet)), expected) << packet;
    // Another namespace under the usual prefix, a prefix never declared,
    // names of other namespaces or of edit times, values that are no text
    // alone closed by their own end tag, unprefixed attributes, bindings out
    // of reach, a comment left open.
    for (const char* packet :
         {"<d xmlns:exif='http://example.com/exif/1.0/' $o='2001-02-03'/>", "<d $o='2001-02-03'/>",
          "<d $E exif:DateCreated='2001-02-03' exif:CreateDate='2001-02-03'/>",
          "<d $X xmp:ModifyDate='2020-10-08T16:17:26' xmp:MetadataDate='2020-10-08'/>",
          "<d $P><$d><rdf:li>2001-02-03</rdf:li></$d></d>", "<d $P><$d>2001-02-03</$dX>",
          "<d $P><$d>2006-10-29</$d x></d>",
          "<d xmlns='http://ns.adobe.com/photoshop/1.0/' DateCreated='2001-02-03'/>",
          "<r><a $E/><b $o='2001-01-01'/></r>", "<r><a $E></a><$o>2001-01-01</$o></r>",
          "<a $M><b $E $o='2001-01-01'/></a>", "<a $E $o='2001-01-01' $M/>",
          "<!-- <d $E $o='2001-01-01'/>"})
        EXPECT_EQ(XmpDate(Xmp(packet)), "-") << packet;
}

// Cut anywhere, a packet gives one of the values it states whole, or none;
// the bytes after the view are no part of it.
TEST(XmpDate, CutPacketsGiveWholeValuesOrNone) {
    const std::string packet =
        Xmp("<d $E $P $X $c='2003-03-03T03:03:03.5+01:00'><$d>2002-02-02T02:02"
            "</$d><$o>2001-01-01T01:01:01Z</$o></d>");
    const std::string whole[] = {"-", "createdate 2003-03-03 03:03:03.500 +01:00",
                                 "datecreated 2002-02-02 02:02:00",
                                 "original 2001-01-01 01:01:01 +00:00"};
    EXPECT_EQ(XmpDate(packet), whole[3]);
    for (std::size_t size = 0; size <= packet.size(); ++size) {
        const std::string got = XmpDate(std::string_view(packet).substr(0, size));
        EXPECT_NE(std::find(std::begin(whole), std::end(whole), got), std::end(whole))
            << size << ": " << got;
    }
    EXPECT_EQ(XmpDate(std::string_view(packet).substr(0, packet.find("03.5+01:00'") + 10)), "-");
}

std::string Be(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes; i-- > 0;)
        out += char(value >> 8 * i);
    return out;
}

// Dataset `record`:`number`.
std::string Set(int record, int number, std::string_view value) {
    return "\x1C" + Be(record << 8 | number, 2) + Be(value.size(), 2) + std::string(value);
}

// A resource block, its name and data padded to even lengths; `size` stands
// for the data's length when given.
std::string Block(int id, std::string_view name, const std::string& data, long size = -1) {
    return "8BIM" + Be(id, 2) + char(name.size()) + std::string(name) +
           std::string(1 - name.size() % 2, '\0') + Be(size < 0 ? data.size() : size, 4) + data +
           std::string(data.size() % 2, '\0');
}

const std::string kPhotoshop("Photoshop 3.0\0", 14);
const std::string kDate = Set(2, 55, "20061029"), kTime = Set(2, 60, "062751-0530");
const std::string kFull = "iptc-created 2006-10-29 06:27:51 -05:30",
                  kDay = "iptc-created 2006-10-29";

std::string IptcDate(const std::string& section) {
    return Describe(
        ParseIptcDate(reinterpret_cast<const unsigned char*>(section.data()), section.size()));
}

TEST(IptcDate, ReadsTheRecord) {
    const auto iptc = [](const std::string& datasets) {
        return kPhotoshop + Block(0x0404, "", datasets);
    };
    const std::pair<std::string, std::string> cases[] = {
        {iptc(Set(2, 0, "\0\4"sv) + kDate + kTime), kFull},
        {iptc(kDate), kDay},
        {iptc(kDate + Set(2, 60, "062751")), "iptc-created 2006-10-29 06:27:51"},
        {iptc(Set(2, 55, "20061029\0"sv) + Set(2, 60, "062751-0530 ")), kFull}, // padded
        {iptc(kDate + Set(2, 60, "0627")), kDay}, // a time that cannot be read leaves the day
        {iptc(kDate + Set(2, 60, "246000")), kDay},
        {iptc(kDate + Set(2, 60, "062751+2500")), kDay},
        {iptc(kDate + Set(2, 60, "062751+05:00")), kDay}, // not the form IPTC uses
        {iptc(kTime), "-"},
        {iptc(Set(2, 55, "20061329") + kTime), "-"},
        {iptc(Set(2, 62, "20061029") + Set(2, 63, "062751-0530")), "-"}, // digitized
        {iptc(Set(1, 55, "20061029") + kTime), "-"},
        {iptc(kDate + Set(2, 55, "19990101") + kTime), kFull},
        // Extended datasets: the length's length, then the length.
        {iptc("\x1C\x02\xCA\x80\x04" + Be(300, 4) + std::string(300, 'x') + kDate + kTime), kFull},
        {iptc("\x1C\x02\xCA\x80\x09" + kDate), "-"},
        {iptc(Set(2, 5, "x") + std::string(5, '\0') + kDate), "-"}, // no dataset mark
        // Names and data of odd and even lengths; an IPTC block without the date.
        {kPhotoshop + Block(0x03ED, "abc", "UUUUU") + Block(0x0404, "ab", Set(2, 5, "xy")) +
             Block(0x0404, "", kDate + kTime),
         kFull},
        // Block sizes short of their datasets, or past the section.
        {kPhotoshop + Block(0x0404, "", Set(2, 5, "x") + kDate + kTime, 7), "-"},
        {kPhotoshop + Block(0x0404, "", Set(2, 5, "x") + kDate, 14), "-"},
        {kPhotoshop + Block(0x0404, "", kDate + kTime, 4000), kFull},
        {"Photoshop 2.0\0"s + Block(0x0404, "", kDate), "-"},
        {kPhotoshop + "7" + Block(0x0404, "", kDate + kTime).substr(1), "-"},
    };
    for (const auto& [section, expected] : cases)
        EXPECT_EQ(IptcDate(section), expected) << testing::PrintToString(section);

    // Cut anywhere, a record gives its whole date, the day or none; each cut
    // copied alone so that a sanitizer sees any read past it.
    const std::string section =
        kPhotoshop + Block(0x03ED, "n", std::string(7, '\1')) + Block(0x0404, "", kDate + kTime);
    for (std::size_t size = 0; size <= section.size(); ++size) {
        const std::vector<unsigned char> cut(section.begin(), section.begin() + long(size));
        const std::string got = Describe(ParseIptcDate(cut.data(), cut.size()));
        EXPECT_TRUE(got == "-" || got == kDay || got == kFull) << size << ": " << got;
    }
    EXPECT_FALSE(ParseIptcDate(nullptr, 100).Found());
}

// Four of the names are those of corpus files, with the dates its
// expected.tsv lists for them.
TEST(FileNameDate, ReadsTheKnownPatterns) {
    const std::pair<const char*, const char*> cases[] = {
        {"IMG_20180725_163423.jpg", "2018-07-25 16:34:23"},
        {"VID_20180725_163423-2.MP4", "2018-07-25 16:34:23"},   // a clash number
        {"IMG_20200726_215701_604.jpg", "2020-07-26 21:57:01"}, // a counter
        {"20230506_120000-1.jpg", "2023-05-06 12:00:00"},
        {"PXL_20201219_102843491.PORTRAIT-01.COVER.jpg", "2020-12-19 10:28:43.491"},
        {"Screenshot_20181201-235132.png", "2018-12-01 23:51:32"},
        {"Screenshot_2019-04-05-12-34-56.png", "2019-04-05 12:34:56"},
        {"Screenshot 2019-05-21 at 10.45.52 PM.png", "2019-05-21 22:45:52"},
        {"IMG-20190802-WA0000.jpg", "2019-08-02"},
        // 12-hour clock: 12 AM is midnight, 12 PM noon.
        {"WhatsApp Image 2023-06-10 at 12.05.00 AM.jpeg", "2023-06-10 00:05:00"},
        {"WhatsApp Image 2023-06-10 at 12.05.00 PM.jpeg", "2023-06-10 12:05:00"},
        {"WhatsApp Image 2023-06-10 at 07.00.11 PM_c64fc046.jpg", "2023-06-10 19:00:11"},
        {"WhatsApp Image 2025-07-12 \xC3\xA0 16.06.43_fee671c9.jpg", "2025-07-12 16:06:43"},
        {"signal-2019-04-05-123456.jpg", "2019-04-05 12:34:56"},
        {"signal-2021-03-04-12-34-56-789.jpg", "2021-03-04 12:34:56.789"},
        {"photo_2016-02-09_12-16-46.jpg", "2016-02-09 12:16:46"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(Describe(DateFromFileName(name)), "file-name "s + expected) << name;
    // Day and month in an order that cannot be told, free-form names, names
    // with other text around the pattern, impossible dates and times.
    for (const char* name :
         {"Photo 05-04-2019, 12 34 56.jpg", "2021-02-13-1929.heic", "IMG_20181325_163423.jpg",
          "img_20180725_163423.jpg", "IMG_20180725_16342.jpg", "IMG_20180725_163423x.jpg",
          "IMG_20180725_163423_.jpg", "copy of IMG_20180725_163423.jpg", "IMG-20190802-WA00001.jpg",
          "WhatsApp Image 2023-06-10 at 13.48.12 PM.jpeg",
          "WhatsApp Image 2023-06-10 at 00.48.12 AM.jpeg", "IMG_1234.JPG", ""})
        EXPECT_EQ(Describe(DateFromFileName(name)), "-") << name;
}

// The sidecar names a Takeout export writes, and those of other photos that
// must not match: each row a photo, a JSON name, whether it dates the photo.
TEST(TakeoutSidecar, FindsTheExportsNameForms) {
    const std::string longName(33, 'A'); // 43 bytes with "_photo.jpg"
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"IMG_1.jpg", "IMG_1.jpg.json", true},
        {"IMG_1.jpg", "IMG_1.jpg.supplemental-metadata.json", true},
        {"IMG_1.jpg", "IMG_1.jpg.suppl.json", true},
        {"IMG_1.jpg", "IMG_1.jpg.s.json", true},
        {"IMG_1.jpg", "IMG_1.jpg..json", true},
        {"IMG_1.jpg", "IMG_1.json", true},
        {"IMG_1(1).jpg", "IMG_1.jpg(1).json", true},
        {"IMG_1(1).jpg", "IMG_1.jpg.supplemental-metadata(1).json", true},
        {"IMG_1-edited.jpg", "IMG_1.jpg.json", true},
        {"IMG_1-bearbeitet.jpg", "IMG_1.jpg.supplemental-metadata.json", true},
        {"IMG_1-modifi\xC3\xA9.jpg", "IMG_1.jpg.json", true},
        // Cut to the export's limit inside the photo's own name.
        {longName + "_photo.jpg", longName + "_photo.jpg..json", true},
        {longName + "_photo.jpg", longName + "_photo.j.json", true},
        {longName + "_photo.jpg", longName + "_pho.json", false}, // short of the limit
        // Another photo's sidecar.
        {"IMG_1.jpg", "IMG_10.jpg.json", false},
        {"IMG_1.jpg", "IMG_1.png.json", false},
        {"IMG_1.jpg", "IMG_1.jpg(1).json", false},
        {"IMG_1(1).jpg", "IMG_1.jpg.json", false},
        {"IMG_1.jpg", "IMG_1-edited.jpg.json", false},
        {"IMG_1-edited.jpg", "IMG_1.png.json", false},
        {"IMG_1.jpg", "img_1.jpg.json", false},
        {".jpg", ".json", false}, // found by fuzzing: a name of no stem
        {"", ".json", false},
    };
    std::vector<std::string> names, original;
    for (const auto& [photo, json, dates] : cases) {
        TakeoutSidecarNames(photo, names);
        const std::string edited = TakeoutOriginalName(photo);
        if (!edited.empty())
            TakeoutSidecarNames(edited, original);
        const bool found = std::ranges::count(names, json) != 0 ||
                           (!edited.empty() && std::ranges::count(original, json) != 0);
        EXPECT_EQ(found, dates) << photo << " " << json;
        EXPECT_TRUE(std::ranges::all_of(names, IsTakeoutSidecarName)) << photo;
    }
}

// What a sidecar holds: photoTakenTime, else creationTime, as UTC; anything
// that is not such a record gives nothing and throws nothing.
TEST(TakeoutSidecar, ReadsTheTimeOfTheRecord) {
    const std::string deep = std::string(40, '[') + std::string(40, ']');
    const std::pair<std::string, const char*> cases[] = {
        {R"({"title":"a.jpg","photoTakenTime":{"timestamp":"1525000000","formatted":"x"}})",
         "takeout-json-utc 2018-04-29 11:06:40 +00:00"},
        {R"({"photoTakenTime":{"timestamp":1525000000}})",
         "takeout-json-utc 2018-04-29 11:06:40 +00:00"},
        {R"({"photoTakenTime":{},"creationTime":{"timestamp":"1600000000"}})",
         "takeout-json-utc 2020-09-13 12:26:40 +00:00"},
        {R"({"photoTakenTime":{"timestamp":"-5"}})", "-"},
        {R"({"photoTakenTime":{"timestamp":"99999999999999999999"}})", "-"},
        {R"({"photoTakenTime":{"timestamp":"1525000000"})", "-"}, // cut short
        {R"(["photoTakenTime"])", "-"},
        {R"({"photoTakenTime":{"timestamp":"1525000000"},"x":)" + deep + "}", "-"},
        {"\xEF\xBB\xBF{}", "-"},
        {"", "-"},
    };
    for (const auto& [json, expected] : cases)
        EXPECT_EQ(Describe(ParseTakeoutJson(json)), expected) << json;
}

// The payload of the JPEG section that starts with `signature`, the signature
// included.
std::string Payload(const std::string& file, const std::string& signature) {
    const std::size_t at = std::min(file.find(signature), file.size());
    return file.substr(
        at, at < 2 ? 0 : (std::uint8_t(file[at - 2]) << 8 | std::uint8_t(file[at - 1])) - 2);
}

// The XMP (a sidecar's own, or a JPEG's) and the IPTC of real files.
TEST(DateSourcesCorpus, RealFiles) {
    if (!std::filesystem::exists(kDir + "expected.tsv"))
        GTEST_SKIP() << "dates corpus not found at " << kDir;
    const std::tuple<const char*, const char*, const char*> files[] = {
        {"Canon_IXUS_40_sidecar.xmp", "original 2005-06-09 20:09:27 +02:00", "-"},
        {"PhotoMechanic_iptc_xmp.jpg", "datecreated 2006-10-29",
         "iptc-created 2006-10-29 06:27:51 -05:00"},
        // The same packet's xmp:ModifyDate 2003-03-03 is an edit time.
        {"MWG_conflicting_dates.jpg", "datecreated 1993-01-01 03:11:11.311 +01:00",
         "iptc-created 1992-01-01 02:11:11 +01:00"},
    };
    const std::string xmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
    for (const auto& [name, xmp, iptc] : files) {
        std::ifstream in(kDir + name, std::ios::binary);
        const std::string file(std::istreambuf_iterator<char>(in), {});
        const bool sidecar = std::string_view(name).ends_with(".xmp");
        EXPECT_EQ(XmpDate(sidecar ? file : Payload(file, xmpHeader).erase(0, xmpHeader.size())),
                  xmp)
            << name;
        EXPECT_EQ(IptcDate(Payload(file, kPhotoshop)), iptc) << name;
    }
}

} // namespace
