#include "media_builder.h"

#include <zlib.h>

#include <algorithm>
#include <map>

namespace testdata {
namespace {

void Append(Bytes& out, const Bytes& part) {
    out.insert(out.end(), part.begin(), part.end());
}

Bytes Type(std::string_view type) {
    return ToBytes(type.substr(0, 4));
}

// `value` in `size` bytes (0, 4 or 8).
Bytes Sized(std::uint64_t value, int size) {
    if (size == 0)
        return {};
    return size == 8 ? U64BE(value) : U32BE(static_cast<std::uint32_t>(value));
}

Bytes Filler(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 31);
    return bytes;
}

Bytes Ftyp(std::string_view brand) {
    return Box("ftyp", Concat({Type(brand), U32BE(0), Type(brand), Type("mif1")}));
}

} // namespace

Bytes U16BE(std::uint16_t v) {
    return {std::uint8_t(v >> 8), std::uint8_t(v)};
}

Bytes U32BE(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

Bytes U64BE(std::uint64_t v) {
    return Concat(
        {U32BE(static_cast<std::uint32_t>(v >> 32)), U32BE(static_cast<std::uint32_t>(v))});
}

Bytes U32LE(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        Append(out, part);
    return out;
}

Bytes Box(std::string_view type, const Bytes& payload) {
    return Concat({U32BE(static_cast<std::uint32_t>(payload.size() + 8)), Type(type), payload});
}

Bytes LargeBox(std::string_view type, const Bytes& payload) {
    return Concat({U32BE(1), Type(type), U64BE(payload.size() + 16), payload});
}

Bytes FullBox(std::string_view type, std::uint8_t version, const Bytes& payload) {
    return Box(type, Concat({{version, 0, 0, 0}, payload}));
}

Bytes HeifFile(const HeifOptions& o) {
    constexpr std::uint32_t kPicture = 1, kExif = 2, kXmp = 3;
    const bool withXmp = !o.xmp.empty();
    const Bytes item = Concat({U32BE(6), ToBytes("Exif"), {0, 0}, o.tiff});
    const Bytes picture = Filler(2000, 7);
    // The item in pieces, with 3 foreign bytes between pieces.
    std::vector<Bytes> pieces;
    const std::size_t pieceSize = (item.size() + o.extents - 1) / o.extents;
    for (std::size_t at = 0; at < item.size(); at += pieceSize)
        pieces.emplace_back(item.begin() + at,
                            item.begin() + std::min(item.size(), at + pieceSize));
    Bytes exifBytes;
    std::vector<std::size_t> pieceAt;
    for (const Bytes& piece : pieces) {
        pieceAt.push_back(exifBytes.size());
        Append(exifBytes, piece);
        Append(exifBytes, {0xEE, 0xEE, 0xEE});
    }

    const auto meta = [&](std::uint64_t mdatPayload) {
        const auto infe = [&](std::uint32_t id, std::string_view type) {
            Bytes p = o.infeVersion == 3 ? U32BE(id) : U16BE(static_cast<std::uint16_t>(id));
            return FullBox("infe", static_cast<std::uint8_t>(o.infeVersion),
                           Concat({p, U16BE(0), Type(type), {0}}));
        };
        Bytes entries = Concat({infe(kPicture, "hvc1"), infe(kExif, "Exif")});
        if (withXmp) {
            Bytes p = o.infeVersion == 3 ? U32BE(kXmp) : U16BE(kXmp);
            Append(
                entries,
                FullBox(
                    "infe", static_cast<std::uint8_t>(o.infeVersion),
                    Concat({p, U16BE(0), Type("mime"), {0}, ToBytes("application/rdf+xml"), {0}})));
        }
        const Bytes iinf = FullBox("iinf", 0, Concat({U16BE(withXmp ? 3 : 2), entries}));
        const std::uint64_t exifStart = mdatPayload + (o.exifAtEnd ? picture.size() : 0);
        const std::uint64_t pictureStart = mdatPayload + (o.exifAtEnd ? 0 : exifBytes.size());
        const std::uint64_t base = o.baseOffset ? exifStart : 0;
        const int size = o.offsetSize;
        const int baseSize = o.baseOffset ? size : 0;
        const bool v12 = o.ilocVersion >= 1;
        Bytes iloc = {std::uint8_t(size << 4 | size), std::uint8_t(baseSize << 4 | (v12 ? 4 : 0))};
        const auto id = [&](std::uint32_t i) {
            return o.ilocVersion == 2 ? U32BE(i) : U16BE(static_cast<std::uint16_t>(i));
        };
        const std::uint16_t items = withXmp ? 3 : 2;
        Append(iloc, o.ilocVersion == 2 ? U32BE(items) : U16BE(items));
        // The picture: one extent, always from offset 0 of the file.
        Append(iloc, id(kPicture));
        if (v12)
            Append(iloc, U16BE(0));
        Append(iloc, Concat({U16BE(0), Bytes(baseSize, 0), U16BE(1)}));
        if (v12)
            Append(iloc, U32BE(0));
        Append(iloc, Concat({Sized(pictureStart, size), Sized(picture.size(), size)}));
        // The EXIF item.
        Append(iloc, id(kExif));
        if (v12)
            Append(iloc, U16BE(0));
        Append(iloc, Concat({U16BE(0), Sized(base, baseSize),
                             U16BE(static_cast<std::uint16_t>(pieces.size()))}));
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (v12)
                Append(iloc, U32BE(static_cast<std::uint32_t>(i)));
            Append(iloc, Concat({Sized(exifStart + pieceAt[i] - base, size),
                                 Sized(pieces[i].size(), size)}));
        }
        // The XMP item: one extent, at the end of mdat or at the start of idat.
        if (withXmp) {
            const std::uint64_t xmpStart =
                o.xmpInIdat ? 0 : mdatPayload + picture.size() + exifBytes.size();
            Append(iloc, id(kXmp));
            if (v12)
                Append(iloc, U16BE(o.xmpInIdat ? 1 : 0));
            Append(iloc, Concat({U16BE(0), Bytes(baseSize, 0), U16BE(1)}));
            if (v12)
                Append(iloc, U32BE(0));
            Append(iloc, Concat({Sized(xmpStart, size), Sized(o.xmp.size(), size)}));
        }
        const Bytes ispe = [&] {
            return FullBox("ispe", 0, Concat({U32BE(o.width), U32BE(o.height)}));
        }();
        const Bytes thumb = FullBox("ispe", 0, Concat({U32BE(320), U32BE(240)}));
        return FullBox("meta", 0,
                       Concat({FullBox("hdlr", 0, Concat({U32BE(0), Type("pict"), Bytes(13, 0)})),
                               FullBox("pitm", 0, U16BE(kPicture)), iinf,
                               FullBox("iloc", static_cast<std::uint8_t>(o.ilocVersion), iloc),
                               Box("iprp", Box("ipco", Concat({thumb, ispe}))),
                               o.xmpInIdat ? Box("idat", ToBytes(o.xmp)) : Bytes{}}));
    };
    const Bytes ftyp = Ftyp(o.brand);
    const std::uint64_t mdatHeader = o.largeMdat ? 16 : 8;
    const std::uint64_t metaSize = meta(0).size();
    Bytes mdatPayload = o.exifAtEnd ? Concat({picture, exifBytes}) : Concat({exifBytes, picture});
    if (withXmp && !o.xmpInIdat)
        Append(mdatPayload, ToBytes(o.xmp));
    const Bytes mdat = o.largeMdat ? LargeBox("mdat", mdatPayload) : Box("mdat", mdatPayload);
    const Bytes moov = o.sequenceTime != 0 ? MovieBox(o.sequenceTime) : Bytes{};
    if (o.noMeta)
        return Concat({ftyp, mdat, moov});
    return Concat({ftyp, meta(ftyp.size() + metaSize + mdatHeader), mdat, moov});
}

namespace {

// tkhd version 0: times and IDs (20), reserved (8), layer, group, volume,
// reserved (8), matrix (36), width and height in 16.16 fixed point.
Bytes Track(std::uint16_t width, std::uint16_t height) {
    Bytes tkhd = Bytes(20 + 8 + 8 + 36, 0);
    Append(tkhd, Concat({U32BE(std::uint32_t(width) << 16), U32BE(std::uint32_t(height) << 16)}));
    return Box("trak", Concat({FullBox("tkhd", 0, tkhd), Box("mdia", Filler(64, 3))}));
}

Bytes MovieHeader(int version, std::uint64_t creationTime) {
    const Bytes times = version == 1 ? Concat({U64BE(creationTime), U64BE(creationTime)})
                                     : Concat({U32BE(static_cast<std::uint32_t>(creationTime)),
                                               U32BE(static_cast<std::uint32_t>(creationTime))});
    return FullBox("mvhd", static_cast<std::uint8_t>(version),
                   Concat({times, U32BE(600), U32BE(6000), Bytes(80, 0)}));
}

// moov/meta of Apple phones: hdlr "mdta", keys, ilst with data boxes.
Bytes AppleMetadata(const std::vector<std::pair<std::string, std::string>>& values) {
    Bytes keys = U32BE(static_cast<std::uint32_t>(values.size()));
    Bytes ilst;
    std::uint32_t index = 1;
    for (const auto& [key, value] : values) {
        Append(keys, Concat({U32BE(static_cast<std::uint32_t>(key.size() + 8)), Type("mdta"),
                             ToBytes(key)}));
        const Bytes data = Box("data", Concat({U32BE(1), U32BE(0), ToBytes(value)}));
        Append(ilst,
               Concat({U32BE(static_cast<std::uint32_t>(data.size() + 8)), U32BE(index++), data}));
    }
    return Box("meta", Concat({FullBox("hdlr", 0, Concat({U32BE(0), Type("mdta"), Bytes(13, 0)})),
                               FullBox("keys", 0, keys), Box("ilst", ilst)}));
}

// ©day as QuickTime text (length, language, text) or as an MP4 item.
Bytes DayText(const std::string& day, bool inIlst) {
    const std::string type = "\xA9"
                             "day";
    if (!inIlst)
        return Box(type, Concat({U16BE(static_cast<std::uint16_t>(day.size())), U16BE(0x15C7),
                                 ToBytes(day)}));
    const Bytes data = Box("data", Concat({U32BE(1), U32BE(0), ToBytes(day)}));
    return FullBox("meta", 0,
                   Concat({FullBox("hdlr", 0, Concat({U32BE(0), Type("mdir"), Bytes(13, 0)})),
                           Box("ilst", Box(type, data))}));
}

// UTF-16LE characters of `text`, NUL-ended.
Bytes Utf16(const std::string& text) {
    Bytes out;
    for (const char c : text)
        Append(out, Bytes{static_cast<unsigned char>(c), 0});
    Append(out, Bytes{0, 0});
    return out;
}

} // namespace

Bytes MovieBox(std::uint64_t creationTime) {
    return Box("moov", Concat({MovieHeader(0, creationTime), Track(640, 480)}));
}

Bytes X3fFile(const X3fOptions& o) {
    Bytes header = Concat({ToBytes("FOVb"), U32LE(o.version), Bytes(16, 7), U32LE(0),
                           U32LE(o.columns), U32LE(o.rows), U32LE(0)});
    Append(header, Bytes(192, 0)); // white balance, extended data
    Bytes offsets, chars;
    for (const auto& [name, value] : o.properties) {
        Append(offsets, Concat({U32LE(static_cast<std::uint32_t>(chars.size() / 2))}));
        Append(chars, Utf16(name));
        Append(offsets, U32LE(static_cast<std::uint32_t>(chars.size() / 2)));
        Append(chars, Utf16(value));
    }
    const Bytes prop = Concat(
        {ToBytes("SECp"), U32LE(0x00020000), U32LE(static_cast<std::uint32_t>(o.properties.size())),
         U32LE(0), U32LE(0), U32LE(static_cast<std::uint32_t>(chars.size() / 2)), offsets, chars});
    const Bytes image = o.jpeg.empty()
                            ? Bytes{}
                            : Concat({ToBytes("SECi"), U32LE(0x00020000), U32LE(2), U32LE(18),
                                      U32LE(640), U32LE(480), U32LE(0), o.jpeg});
    const auto at = [](std::size_t v) { return U32LE(static_cast<std::uint32_t>(v)); };
    Bytes directory = Concat({ToBytes("SECd"), U32LE(0x00020000), U32LE(image.empty() ? 1 : 2),
                              at(header.size()), at(prop.size()), ToBytes("PROP")});
    if (!image.empty())
        Append(directory,
               Concat({at(header.size() + prop.size()), at(image.size()), ToBytes("IMA2")}));
    const std::size_t directoryAt = header.size() + prop.size() + image.size();
    return Concat({header, prop, image, directory, at(directoryAt)});
}

Bytes MovieFile(const MovieOptions& o) {
    std::vector<std::pair<std::string, std::string>> values;
    if (!o.make.empty())
        values.emplace_back("com.apple.quicktime.make", o.make);
    values.emplace_back("com.apple.quicktime.software", "12.3");
    if (!o.appleDate.empty())
        values.emplace_back("com.apple.quicktime.creationdate", o.appleDate);
    if (!o.model.empty())
        values.emplace_back("com.apple.quicktime.model", o.model);
    const Bytes moov = Box(
        "moov", Concat({MovieHeader(o.mvhdVersion, o.creationTime), Track(o.width, o.height),
                        Track(0, 0), AppleMetadata(values),
                        o.udtaXmp.empty() ? Bytes{} : Box("udta", Box("XMP_", ToBytes(o.udtaXmp))),
                        o.day.empty() ? Bytes{} : Box("udta", DayText(o.day, o.dayInIlst))}));
    const Bytes media = Filler(o.mediaSize, 11);
    const Bytes mdat = o.largeMdat ? LargeBox("mdat", media) : Box("mdat", media);
    const Bytes ftyp = Box("ftyp", Concat({Type(o.brand), U32BE(0), Type(o.brand)}));
    const Bytes xmpUuid = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                           0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};
    const Bytes uuid =
        o.uuidXmp.empty() ? Bytes{} : Box("uuid", Concat({xmpUuid, ToBytes(o.uuidXmp)}));
    return o.moovAtEnd ? Concat({ftyp, Box("wide", {}), mdat, moov, uuid})
                       : Concat({ftyp, moov, mdat, uuid});
}

Bytes Cr3File(const Bytes& cmt1, const Bytes& cmt2, std::uint64_t creationTime) {
    const Bytes uuid = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                        0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
    const Bytes canon =
        Box("uuid",
            Concat({uuid, Box("CNCV", ToBytes("CanonCR3_001/00.09.00/00.00.00")), Box("CMT1", cmt1),
                    Box("CMT2", cmt2), Box("CMT3", Filler(40, 5)), Box("CMT4", Filler(40, 9))}));
    const Bytes moov =
        Box("moov", Concat({canon, MovieHeader(0, creationTime), Track(6000, 4000)}));
    const Bytes ftyp = Box("ftyp", Concat({Type("crx "), U32BE(1), Type("crx "), Type("isom")}));
    return Concat({ftyp, moov, Box("mdat", Filler(8192, 1))});
}

Bytes WebpFile(const Bytes& exif, int width, int height, const Bytes& xmp) {
    const auto chunk = [](std::string_view type, Bytes data) {
        const auto size = static_cast<std::uint32_t>(data.size());
        if (data.size() % 2 != 0)
            data.push_back(0);
        return Concat({Type(type), U32LE(size), data});
    };
    const std::uint32_t w = static_cast<std::uint32_t>(width - 1);
    const std::uint32_t h = static_cast<std::uint32_t>(height - 1);
    const Bytes vp8x = {0x08,
                        0,
                        0,
                        0,
                        std::uint8_t(w),
                        std::uint8_t(w >> 8),
                        std::uint8_t(w >> 16),
                        std::uint8_t(h),
                        std::uint8_t(h >> 8),
                        std::uint8_t(h >> 16)};
    Bytes vp8 = {0x50,
                 0x1F,
                 0x00,
                 0x9D,
                 0x01,
                 0x2A,
                 std::uint8_t(width),
                 std::uint8_t(width >> 8),
                 std::uint8_t(height),
                 std::uint8_t(height >> 8)};
    Append(vp8, Filler(1001, 2));
    const Bytes body = Concat({Type("WEBP"), chunk("VP8X", vp8x), chunk("VP8 ", vp8),
                               chunk("EXIF", exif), xmp.empty() ? Bytes{} : chunk("XMP ", xmp)});
    return Concat({ToBytes("RIFF"), U32LE(static_cast<std::uint32_t>(body.size())), body});
}

Bytes PngFile(const Bytes& exif, int width, int height) {
    const auto chunk = [](std::string_view type, const Bytes& data) {
        return Concat(
            {U32BE(static_cast<std::uint32_t>(data.size())), Type(type), data, U32BE(0x12345678)});
    };
    const Bytes ihdr = Concat({U32BE(static_cast<std::uint32_t>(width)),
                               U32BE(static_cast<std::uint32_t>(height)),
                               {8, 2, 0, 0, 0}});
    return Concat({{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},
                   chunk("IHDR", ihdr),
                   chunk("IDAT", Filler(3000, 4)),
                   chunk("eXIf", exif),
                   chunk("IEND", {})});
}

Bytes PngChunk(std::string_view type, const Bytes& data) {
    return Concat(
        {U32BE(static_cast<std::uint32_t>(data.size())), Type(type), data, U32BE(0x12345678)});
}

Bytes PngWithChunks(const std::vector<Bytes>& before, const std::vector<Bytes>& after, int width,
                    int height) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Append(out, PngChunk("IHDR", Concat({U32BE(static_cast<std::uint32_t>(width)),
                                         U32BE(static_cast<std::uint32_t>(height)),
                                         {8, 2, 0, 0, 0}})));
    for (const Bytes& chunk : before)
        Append(out, chunk);
    Append(out, PngChunk("IDAT", Filler(3000, 4)));
    for (const Bytes& chunk : after)
        Append(out, chunk);
    Append(out, PngChunk("IEND", {}));
    return out;
}

Bytes PngText(std::string_view keyword, const Bytes& text) {
    return PngChunk("tEXt", Concat({ToBytes(keyword), {0}, text}));
}

Bytes PngZText(std::string_view keyword, const Bytes& text) {
    return PngChunk("zTXt", Concat({ToBytes(keyword), {0, 0}, Deflate(text)}));
}

Bytes PngIText(std::string_view keyword, const Bytes& text, bool compressed) {
    return PngChunk("iTXt", Concat({ToBytes(keyword),
                                    {0, std::uint8_t(compressed ? 1 : 0), 0, 0, 0},
                                    compressed ? Deflate(text) : text}));
}

Bytes ProfilesPng(bool exifHeader, std::size_t size, int count) {
    Bytes bytes = exifHeader ? ToBytes({"Exif\0\0II*\0", 10}) : Bytes{};
    bytes.resize(std::max(size, bytes.size()), 0);
    const Bytes chunk = PngZText("Raw profile type exif", RawProfileText("exif", bytes));
    return PngWithChunks(std::vector<Bytes>(static_cast<std::size_t>(count), chunk), {});
}

Bytes RawProfileText(std::string_view type, const Bytes& bytes, std::optional<std::size_t> count) {
    std::string text = "\n" + std::string(type) + "\n";
    const std::string number = std::to_string(count.value_or(bytes.size()));
    text += std::string(number.size() < 8 ? 8 - number.size() : 0, ' ') + number;
    static const char kDigits[] = "0123456789abcdef";
    // Written through a pointer: tests build texts of megabytes.
    Bytes out = ToBytes(text);
    out.resize(text.size() + bytes.size() * 2 + (bytes.size() + 35) / 36 + 1);
    unsigned char* p = out.data() + text.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 36 == 0)
            *p++ = '\n';
        *p++ = kDigits[bytes[i] >> 4];
        *p++ = kDigits[bytes[i] & 0x0F];
    }
    *p = '\n';
    return out;
}

Bytes Deflate(const Bytes& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), 9) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

Bytes RafFile(const Bytes& jpeg) {
    Bytes header = ToBytes("FUJIFILMCCD-RAW 0201FF383501");
    Append(header, ToBytes("X-T20"));
    header.resize(84, 0);
    const std::uint32_t offset = 92 + 256;
    Append(header, Concat({U32BE(offset), U32BE(static_cast<std::uint32_t>(jpeg.size()))}));
    return Concat({header, Filler(256, 8), jpeg, Filler(4096, 6)});
}

namespace {

Bytes U16LE(std::uint16_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8)};
}

// RIFF chunk: id, size u32 little-endian, data, a pad byte when odd.
Bytes RiffChunk(std::string_view id, const Bytes& data) {
    Bytes out = Concat({Type(id), U32LE(static_cast<std::uint32_t>(data.size())), data});
    if (data.size() % 2 != 0)
        out.push_back(0);
    return out;
}

Bytes RiffList(std::string_view type, const Bytes& children) {
    return RiffChunk("LIST", Concat({Type(type), children}));
}

Bytes U32sLE(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (const std::uint32_t v : values)
        Append(out, U32LE(v));
    return out;
}

} // namespace

Bytes AviFile(const AviOptions& o) {
    const Bytes avih =
        U32sLE({33367, 1000000, 0, 0x10, 30, 0, 1, 65536, o.width, o.height, 0, 0, 0, 0});
    const Bytes strh = Concat({Type("vids"), Type("MJPG"), Bytes(48, 0)});
    const Bytes strf =
        Concat({U32sLE({40, o.width, o.height}), U16LE(1), U16LE(24), Type("MJPG"), Bytes(20, 0)});
    Bytes strl = Concat({RiffChunk("strh", strh), RiffChunk("strf", strf)});
    if (!o.strdTiff.empty()) {
        Bytes strd = Concat({Type("AVIF"), Bytes(4, 0)});
        if (o.strdTiff.size() > 8)
            strd.insert(strd.end(), o.strdTiff.begin() + 8, o.strdTiff.end());
        Append(strl, RiffChunk("strd", strd));
    }
    Bytes hdrl = Concat({RiffChunk("avih", avih), RiffList("strl", strl)});
    if (!o.idit.empty())
        Append(hdrl, RiffChunk("IDIT", ToBytes(o.idit)));
    Bytes info = RiffChunk("ISFT", ToBytes(std::string("Velmora test\0", 13)));
    if (!o.icrd.empty()) {
        Bytes icrd = ToBytes(o.icrd);
        icrd.resize(icrd.size() + 2 - icrd.size() % 2, 0);
        Append(info, RiffChunk("ICRD", icrd));
    }
    if (!o.dtim.empty())
        Append(info, RiffChunk("DTIM", o.dtim));
    const Bytes infoList = RiffList("INFO", info);
    const Bytes movi = RiffList("movi", RiffChunk("00dc", Filler(o.mediaSize, 13)));
    const Bytes idx1 = RiffChunk(
        "idx1", Concat({Type("00dc"), U32sLE({0x10, 4, static_cast<std::uint32_t>(o.mediaSize)})}));
    Bytes body = Concat({Type("AVI "), RiffList("hdrl", hdrl)});
    Append(body, o.infoAtEnd ? Concat({movi, idx1, infoList}) : Concat({infoList, movi, idx1}));
    if (!o.xmp.empty())
        Append(body, RiffChunk("_PMX", ToBytes(o.xmp)));
    const std::uint32_t size = o.riffSize.value_or(static_cast<std::uint32_t>(body.size()));
    return Concat({ToBytes("RIFF"), U32LE(size), body});
}

namespace {

// Every two zero bytes followed by 00..03 broken up with an 03, as an H.264
// encoder writes the bytes of a NAL unit.
Bytes Escaped(const Bytes& rbsp) {
    Bytes out;
    int zeros = 0;
    for (const std::uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

Bytes Nal(std::uint8_t header, const Bytes& rbsp) {
    return Concat({{0, 0, 0, 1, header}, Escaped(rbsp)});
}

// The SEI of one access unit: a buffering-period message, then (with
// `date`) the MDPM user data.
Bytes Sei(const MtsOptions& o, bool date) {
    Bytes rbsp = {0, 9, 0xD7, 0xE4, 0, 0, 0x57, 0xE4, 0, 0, 0x40};
    if (date) {
        Bytes entries;
        int count = 0;
        if (o.zeroEntry) {
            Append(entries, {0x17, 0, 0, 0, 0});
            ++count;
        }
        Append(entries, {0x18, o.zone, o.dateBcd.at(0), o.dateBcd.at(1), o.dateBcd.at(2)});
        Append(entries, {0x19, o.dateBcd.at(3), o.dateBcd.at(4), o.dateBcd.at(5), o.dateBcd.at(6)});
        Append(entries, {0x70, 0xCA, 0xF4, 0xFF, 0xFF});
        Append(entries, {0xE0, 0x10, 0x11, 0x30, 0x00});
        count += 4;
        const Bytes user = Concat({{0x17, 0xEE, 0x8C, 0x60, 0xF8, 0x4D, 0x11, 0xD9, 0x8C, 0xD6,
                                    0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66},
                                   ToBytes("MDPM"),
                                   {std::uint8_t(count)},
                                   entries});
        Append(rbsp, Concat({{5, std::uint8_t(user.size())}, user}));
    }
    rbsp.push_back(0x80);
    return Nal(0x06, rbsp);
}

// Transport packets of one PES packet (or of filler bytes), the last one
// padded with an adaptation field.
class CTransportWriter {
public:
    explicit CTransportWriter(std::size_t packetSize) : m_packetSize(packetSize) {}

    void Write(std::uint16_t pid, const Bytes& payload, bool unitStart) {
        std::size_t at = 0;
        do {
            const std::size_t n = std::min<std::size_t>(184, payload.size() - at);
            if (m_packetSize == 192)
                Append(m_out, U32BE(static_cast<std::uint32_t>(m_packets * 1800)));
            const bool first = at == 0 && unitStart;
            std::uint8_t& counter = m_counters[pid];
            m_out.insert(m_out.end(), {0x47, std::uint8_t((first ? 0x40 : 0) | (pid >> 8 & 0x1F)),
                                       std::uint8_t(pid),
                                       std::uint8_t((n == 184 ? 0x10 : 0x30) | (counter++ & 15))});
            if (n < 184) {
                const std::size_t field = 183 - n;
                m_out.push_back(std::uint8_t(field));
                if (field > 0) {
                    m_out.push_back(0);
                    m_out.insert(m_out.end(), field - 1, 0xFF);
                }
            }
            m_out.insert(m_out.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
                         payload.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            ++m_packets;
        } while (at < payload.size());
    }

    const Bytes& Data() const { return m_out; }

private:
    std::size_t m_packetSize;
    std::size_t m_packets = 0;
    std::map<std::uint16_t, std::uint8_t> m_counters;
    Bytes m_out;
};

Bytes Pes(std::uint8_t streamId, const Bytes& stream) {
    return Concat({{0, 0, 1, streamId, 0, 0, 0x81, 0x80, 5, 0x21, 0, 0x01, 0, 0x01}, stream});
}

} // namespace

Bytes MtsFile(const MtsOptions& o) {
    CTransportWriter ts(o.packetSize);
    for (std::size_t i = 0; i < o.leadingPackets; ++i) {
        const std::uint16_t pid = i == 0 ? 0 : i == 1 ? 0x100 : 0x1FFF;
        ts.Write(pid, Concat({{0, 0, 0xB0, 0x11}, Bytes(180, 0xFF)}), true);
    }
    for (int unit = 0; unit < 2; ++unit) {
        const bool date = o.withDate && (unit == 1) == o.dateInSecondUnit;
        const Bytes stream =
            Concat({Nal(0x09, {0x10}), Nal(0x67, {0x64, 0x00, 0x28, 0xAD, 0x00, 0xEC, 0x07, 0x80}),
                    Sei(o, date), Nal(0x65, Filler(o.sliceSize, std::uint8_t(17 + unit)))});
        ts.Write(o.videoPid, Pes(0xE0, stream), true);
    }
    ts.Write(0x1100, Pes(0xFD, Filler(150, 5)), true);
    return ts.Data();
}

namespace {

struct CiffEntry {
    std::uint16_t tag;
    Bytes data; // for a value kept in its entry: its 8 bytes
};

// A CIFF heap: the values one after the other, the directory (count,
// 10-byte entries), then the directory's offset.
Bytes CiffHeap(const std::vector<CiffEntry>& entries) {
    Bytes values;
    Bytes directory = U16LE(static_cast<std::uint16_t>(entries.size()));
    for (const CiffEntry& e : entries) {
        Append(directory, U16LE(e.tag));
        if ((e.tag & 0x4000) != 0) {
            Bytes inEntry = e.data;
            inEntry.resize(8, 0);
            Append(directory, inEntry);
            continue;
        }
        Append(directory, Concat({U32LE(static_cast<std::uint32_t>(e.data.size())),
                                  U32LE(static_cast<std::uint32_t>(values.size()))}));
        Append(values, e.data);
    }
    return Concat({values, directory, U32LE(static_cast<std::uint32_t>(values.size()))});
}

} // namespace

Bytes CrwFile(const CrwOptions& o) {
    Bytes makeModel = Concat({ToBytes(o.make), {0}, ToBytes(o.model), {0}});
    makeModel.resize(std::max<std::size_t>(makeModel.size(), 32), 0);
    std::vector<CiffEntry> properties = {
        {0x1810, Concat({U32LE(o.width), U32LE(o.height), U32LE(0x3F800000), Bytes(16, 0)})},
        {0x5817, U32LE(1161602)},
        {0x2807, CiffHeap({{0x0810, Bytes(32, 0)}, {0x080A, makeModel}})},
    };
    if (o.withTimeStamp)
        properties.insert(properties.begin() + 1,
                          {0x180E, Concat({U32LE(o.timeStamp), U32LE(0), U32LE(0)})});
    Bytes heap = CiffHeap(properties);
    for (int i = 0; i < o.extraNesting; ++i)
        heap = CiffHeap({{0x300A, heap}});
    const Bytes root = CiffHeap({{0x2005, Filler(o.imageSize, 21)}, {0x300A, heap}});
    const Bytes header =
        Concat({ToBytes("II"), U32LE(26), ToBytes("HEAPCCDR"), U16LE(2), U16LE(1), Bytes(8, 0)});
    return Concat({header, root});
}

Bytes MrwFile(const Bytes& tiff, std::size_t imageSize) {
    const auto block = [](std::string_view id, const Bytes& data) {
        return Concat({{0}, ToBytes(id), U32BE(static_cast<std::uint32_t>(data.size())), data});
    };
    const Bytes prd = Concat({ToBytes("21810002"),
                              U16BE(1976),
                              U16BE(2640),
                              U16BE(1956),
                              U16BE(2608),
                              {12, 12, 0x52, 0},
                              U16BE(1),
                              Bytes(2, 0)});
    const Bytes blocks = Concat({block("PRD", prd), block("TTW", tiff), block("WBG", Bytes(12, 1)),
                                 block("RIF", Bytes(80, 2)), block("PAD", Bytes(30, 0))});
    return Concat({{0},
                   ToBytes("MRM"),
                   U32BE(static_cast<std::uint32_t>(blocks.size())),
                   blocks,
                   Filler(imageSize, 23)});
}

} // namespace testdata
