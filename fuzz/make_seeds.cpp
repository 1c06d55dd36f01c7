// Writes the fuzzers' seed files into subfolders of the folder given, one per
// target. jpeg/: readable camera photos in both byte orders and the shapes the
// reader must survive (padding, comments, next-directory cycles, deep
// sub-directory chains, many sections). heif/, movie/, raw/, webp/, png/: the
// other types, each in its usual form and in its hard cases.

#include "jpeg_builder.h"
#include "media_builder.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace testdata;

namespace {

constexpr std::uint16_t kTagExifOffset = 0x8769;
constexpr std::uint16_t kTagInteropOffset = 0xA005;
constexpr std::uint16_t kTagUserComment = 0x9286;

const char* OrderName(ByteOrder order) {
    return order == ByteOrder::Intel ? "II" : "MM";
}

// Directory 0 links to 1 and 1 back to 0 through their next-directory offsets.
Bytes NextCycle(ByteOrder order) {
    CTiffBuilder tiff(order);
    const int second = tiff.AddDirectory();
    tiff.Short(0, 0x0112, 6).Next(0, second);
    tiff.Ascii(second, 0x9003, "2011:02:03 04:05:06").Next(second, 0);
    return CJpegBuilder::Photo(&tiff);
}

// Each directory links to the next as a sub-directory, deeper than the reader
// follows.
Bytes NestedChain(ByteOrder order) {
    CTiffBuilder tiff(order);
    int dir = 0;
    for (int level = 0; level < 6; ++level) {
        const int child = tiff.AddDirectory();
        tiff.Short(dir, 0x0112, static_cast<std::uint16_t>(level + 1))
            .SubDirectory(dir, level % 2 == 0 ? kTagExifOffset : kTagInteropOffset, child);
        dir = child;
    }
    tiff.Ascii(dir, 0x9003, "2012:12:12 12:12:12");
    return CJpegBuilder::Photo(&tiff);
}

// One value of every TIFF format, and a user comment behind "ASCII".
Bytes AllFormats(ByteOrder order) {
    CTiffBuilder tiff(order);
    tiff.Byte(0, 0x0112, 3)
        .SShort(0, 0x8822, -1)
        .SLong(0, 0x9207, -5)
        .Float(0, 0x920A, 35.5f)
        .Double(0, 0x829A, 0.004)
        .SRational(0, 0x9204, 1, -3)
        .Long(0, 0x8827, 12)
        .Rational(0, 0x9201, 8, 1)
        .Rational(0, 0x9202, 5, 2)
        .Rational(0, 0x9206, 0xFFFFFFFF, 1)
        .Undefined(0, kTagUserComment, ToBytes(std::string("ASCII\0\0\0Seed comment  ", 23)))
        .Ascii(0, 0x0132, "2010-06-07 08:09:10");
    return CJpegBuilder::Photo(&tiff, 4000, 3000);
}

using Seeds = std::vector<std::pair<std::string, Bytes>>;

// A short XMP packet with a capture date, as the containers carry it.
const std::string kXmpPacket =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
    "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
    "exif:DateTimeOriginal=\"2016-08-12T13:14:15+02:00\"/></rdf:RDF></x:xmpmeta>"
    "<?xpacket end=\"w\"?>";

Seeds HeifSeeds() {
    const Bytes tiff = CameraTiff(ByteOrder::Motorola, "2020:05:04 18:39:11").Build();
    Seeds seeds;
    HeifOptions plain;
    plain.tiff = tiff;
    seeds.emplace_back("plain.heic", HeifFile(plain));
    HeifOptions hard = plain;
    hard.exifAtEnd = true;
    hard.ilocVersion = 2;
    hard.infeVersion = 3;
    hard.extents = 3;
    hard.baseOffset = true;
    hard.offsetSize = 8;
    hard.largeMdat = true;
    seeds.emplace_back("hard.heic", HeifFile(hard));
    HeifOptions v1 = plain;
    v1.ilocVersion = 1;
    v1.brand = "avif";
    seeds.emplace_back("v1.avif", HeifFile(v1));
    HeifOptions xmp = plain;
    xmp.xmp = kXmpPacket;
    seeds.emplace_back("xmp_item.heic", HeifFile(xmp));
    xmp.xmpInIdat = true;
    xmp.ilocVersion = 1;
    seeds.emplace_back("xmp_idat.heic", HeifFile(xmp));
    return seeds;
}

Seeds MovieSeeds() {
    Seeds seeds;
    MovieOptions apple;
    apple.creationTime = 3646801557;
    apple.appleDate = "2019-07-24T11:25:40+0300";
    apple.make = "Apple";
    apple.model = "iPhone 6";
    seeds.emplace_back("apple.mov", MovieFile(apple));
    MovieOptions mp4;
    mp4.brand = "mp42";
    mp4.moovAtEnd = false;
    mp4.mvhdVersion = 1;
    mp4.largeMdat = true;
    mp4.creationTime = 3570000000;
    seeds.emplace_back("v1.mp4", MovieFile(mp4));
    const CTiffBuilder cmt2 = CameraTiff(ByteOrder::Intel, "2021:03:04 05:06:07");
    CTiffBuilder cmt1(ByteOrder::Intel);
    cmt1.Ascii(0, 0x010F, "Canon").Ascii(0, 0x0110, "Canon EOS R5");
    seeds.emplace_back("photo.cr3", Cr3File(cmt1.Build(), cmt2.Build(), 3700000000));
    MovieOptions uuid;
    uuid.brand = "mp42";
    uuid.uuidXmp = kXmpPacket;
    seeds.emplace_back("uuid_xmp.mp4", MovieFile(uuid));
    MovieOptions udta;
    udta.udtaXmp = kXmpPacket;
    seeds.emplace_back("udta_xmp.mov", MovieFile(udta));
    return seeds;
}

Seeds RawSeeds() {
    Seeds seeds;
    struct Variant {
        const char* name;
        ByteOrder order;
        std::uint16_t magic;
    };
    for (const Variant& v : {Variant{"plain.tif", ByteOrder::Intel, 42},
                             Variant{"plain_mm.nef", ByteOrder::Motorola, 42},
                             Variant{"iiro.orf", ByteOrder::Intel, 0x4F52},
                             Variant{"mmor.orf", ByteOrder::Motorola, 0x4F52},
                             Variant{"panasonic.rw2", ByteOrder::Intel, 0x55}}) {
        CTiffBuilder tiff = CameraTiff(v.order, "2015:06:07 08:09:10");
        tiff.magic = v.magic;
        seeds.emplace_back(v.name, tiff.Build());
    }
    const CTiffBuilder camera = CameraTiff(ByteOrder::Motorola, "2018:01:02 03:04:05");
    seeds.emplace_back("photo.raf", RafFile(CJpegBuilder::Photo(&camera)));
    return seeds;
}

Seeds ChunkSeeds(bool webp) {
    const Bytes tiff = CameraTiff(ByteOrder::Intel, "2011:05:06 09:59:48").Build();
    const Bytes prefixed = Concat({ToBytes("Exif"), {0, 0}, tiff});
    const Bytes packet = ToBytes(kXmpPacket);
    if (webp)
        return {{"bare.webp", WebpFile(tiff, 776, 909)},
                {"prefixed.webp", WebpFile(prefixed, 3, 5)},
                {"xmp.webp", WebpFile(tiff, 8, 8, packet)}};
    // EXIF as hex text in each kind of text chunk, before and after the
    // image data, and XMP in iTXt and in an APP1 profile.
    const Bytes profile = RawProfileText("exif", prefixed);
    const Bytes app1Xmp =
        Concat({ToBytes(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29)), packet});
    return {{"bare.png", PngFile(tiff, 640, 480)},
            {"prefixed.png", PngFile(prefixed, 1, 1)},
            {"profile_text.png", PngWithChunks({PngText("Raw profile type exif", profile)}, {})},
            {"profile_ztxt.png", PngWithChunks({}, {PngZText("Raw profile type exif", profile)})},
            {"profile_itxt.png",
             PngWithChunks(
                 {PngIText("Raw profile type APP1", RawProfileText("APP1", prefixed), true)}, {})},
            {"xmp_itxt.png", PngWithChunks({}, {PngIText("XML:com.adobe.xmp", packet)})},
            {"xmp_app1.png",
             PngWithChunks({PngZText("Raw profile type APP1", RawProfileText("APP1", app1Xmp))},
                           {PngChunk("eXIf", tiff)})}};
}

Seeds AviSeeds() {
    AviOptions idit;
    idit.idit = std::string("Mon Mar 10 15:04:43 2003\n\0", 26);
    idit.xmp = kXmpPacket;
    AviOptions info;
    info.icrd = "2020-08-28";
    info.dtim = {0x80, 0x3E, 0xD5, 0xDE, 0x00, 0xB1, 0xD1, 0x01};
    info.infoAtEnd = false;
    AviOptions exif;
    exif.idit = "2001/ 1/27  1:42PM";
    exif.icrd = "2020-08-28 10:11:12";
    exif.strdTiff = CameraTiff(ByteOrder::Intel, "2007:08:09 10:11:12").Build();
    return {{"idit.avi", AviFile(idit)}, {"info.avi", AviFile(info)}, {"strd.avi", AviFile(exif)}};
}

Seeds MtsSeeds() {
    MtsOptions m2ts;
    MtsOptions ts;
    ts.packetSize = 188;
    ts.zone = 0x40 | 0x20 | 9 << 1 | 1;
    MtsOptions second;
    second.dateInSecondUnit = true;
    second.videoPid = 0x0E0;
    second.zeroEntry = false;
    return {
        {"plain.mts", MtsFile(m2ts)}, {"plain.ts", MtsFile(ts)}, {"second.m2ts", MtsFile(second)}};
}

Seeds CrwSeeds() {
    CrwOptions plain;
    plain.imageSize = 256;
    CrwOptions nested = plain;
    nested.extraNesting = 3;
    return {{"plain.crw", CrwFile(plain)}, {"nested.crw", CrwFile(nested)}};
}

Seeds X3fSeeds() {
    const CTiffBuilder camera = CameraTiff(ByteOrder::Intel, "2019:05:06 07:08:09");
    X3fOptions preview;
    preview.jpeg = CJpegBuilder::Photo(&camera, 64, 48);
    return {{"time.x3f", X3fFile({})}, {"preview.x3f", X3fFile(preview)}};
}

Seeds MrwSeeds() {
    return {
        {"mm.mrw", MrwFile(CameraTiff(ByteOrder::Motorola, "2004:05:06 07:08:09").Build(), 256)},
        {"ii.mrw", MrwFile(CameraTiff(ByteOrder::Intel, "2004:05:06 07:08:09").Build(), 256)}};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::filesystem::path folder = root / "jpeg";
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    Seeds seeds;
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        const std::string tag = OrderName(order);
        const CTiffBuilder camera = CameraTiff(order, "2008:07:31 15:56:49");
        seeds.emplace_back("camera_" + tag, CJpegBuilder::Photo(&camera));
        seeds.emplace_back("next_cycle_" + tag, NextCycle(order));
        seeds.emplace_back("nested_" + tag, NestedChain(order));
        seeds.emplace_back("all_formats_" + tag, AllFormats(order));
    }
    seeds.emplace_back("no_exif", CJpegBuilder::Photo(nullptr));
    seeds.emplace_back("comment", CJpegBuilder()
                                      .Soi()
                                      .Comment(ToBytes("Line one\r\nline two\rtab\there\x01"))
                                      .FrameHeader(320, 200, 1, 0xC2)
                                      .Sos()
                                      .Data());
    const CTiffBuilder padded = CameraTiff(ByteOrder::Intel, "2001:01:01 00:00:00");
    seeds.emplace_back("padding", CJpegBuilder()
                                      .Soi()
                                      .Padding(2)
                                      .App0Jfif()
                                      .Padding(5)
                                      .Exif(padded)
                                      .Padding(1)
                                      .FrameHeader(100, 100, 3)
                                      .Sos()
                                      .Data());
    // The reader expects a length behind the end-of-image marker too.
    seeds.emplace_back("end_of_image",
                       CJpegBuilder().Soi().Comment(ToBytes("x")).Section(0xD9, {}).Data());
    CJpegBuilder many;
    many.Soi();
    for (int i = 0; i < 21; ++i)
        many.Comment(ToBytes("c"));
    seeds.emplace_back("many_sections", many.Sos().Data());

    for (auto& [name, bytes] : seeds)
        name += ".jpg";
    int failures = 0;
    const auto write = [&](const std::filesystem::path& dir, const Seeds& files) {
        std::filesystem::create_directories(dir, error);
        for (const auto& [name, bytes] : files) {
            if (!WriteFile((dir / name).string(), bytes)) {
                std::fprintf(stderr, "cannot write %s\n", name.c_str());
                ++failures;
            }
        }
    };
    write(folder, seeds);
    write(root / "heif", HeifSeeds());
    write(root / "movie", MovieSeeds());
    write(root / "raw", RawSeeds());
    write(root / "webp", ChunkSeeds(true));
    write(root / "png", ChunkSeeds(false));
    write(root / "avi", AviSeeds());
    write(root / "mts", MtsSeeds());
    write(root / "crw", CrwSeeds());
    write(root / "mrw", MrwSeeds());
    write(root / "x3f", X3fSeeds());
    return failures == 0 ? 0 : 1;
}
