// Writes the fuzzer's seed files into the folder given: readable camera photos
// in both byte orders and the shapes the reader must survive (padding, comments,
// next-directory cycles, deep sub-directory chains, many sections).

#include "jpeg_builder.h"

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    std::vector<std::pair<std::string, Bytes>> seeds;
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

    int failures = 0;
    for (const auto& [name, bytes] : seeds) {
        if (!WriteFile((folder / (name + ".jpg")).string(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
