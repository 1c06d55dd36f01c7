#include "media_builder.h"

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
    constexpr std::uint32_t kPicture = 1, kExif = 2;
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
        const Bytes iinf =
            FullBox("iinf", 0, Concat({U16BE(2), infe(kPicture, "hvc1"), infe(kExif, "Exif")}));
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
        Append(iloc, o.ilocVersion == 2 ? U32BE(2) : U16BE(2));
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
        const Bytes ispe = [&] {
            return FullBox("ispe", 0, Concat({U32BE(o.width), U32BE(o.height)}));
        }();
        const Bytes thumb = FullBox("ispe", 0, Concat({U32BE(320), U32BE(240)}));
        return FullBox("meta", 0,
                       Concat({FullBox("hdlr", 0, Concat({U32BE(0), Type("pict"), Bytes(13, 0)})),
                               FullBox("pitm", 0, U16BE(kPicture)), iinf,
                               FullBox("iloc", static_cast<std::uint8_t>(o.ilocVersion), iloc),
                               Box("iprp", Box("ipco", Concat({thumb, ispe})))}));
    };
    const Bytes ftyp = Ftyp(o.brand);
    const std::uint64_t mdatHeader = o.largeMdat ? 16 : 8;
    const std::uint64_t metaSize = meta(0).size();
    const Bytes mdatPayload =
        o.exifAtEnd ? Concat({picture, exifBytes}) : Concat({exifBytes, picture});
    const Bytes mdat = o.largeMdat ? LargeBox("mdat", mdatPayload) : Box("mdat", mdatPayload);
    return Concat({ftyp, meta(ftyp.size() + metaSize + mdatHeader), mdat});
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

} // namespace

Bytes MovieFile(const MovieOptions& o) {
    std::vector<std::pair<std::string, std::string>> values;
    if (!o.make.empty())
        values.emplace_back("com.apple.quicktime.make", o.make);
    values.emplace_back("com.apple.quicktime.software", "12.3");
    if (!o.appleDate.empty())
        values.emplace_back("com.apple.quicktime.creationdate", o.appleDate);
    if (!o.model.empty())
        values.emplace_back("com.apple.quicktime.model", o.model);
    const Bytes moov =
        Box("moov", Concat({MovieHeader(o.mvhdVersion, o.creationTime), Track(o.width, o.height),
                            Track(0, 0), AppleMetadata(values)}));
    const Bytes media = Filler(o.mediaSize, 11);
    const Bytes mdat = o.largeMdat ? LargeBox("mdat", media) : Box("mdat", media);
    const Bytes ftyp = Box("ftyp", Concat({Type(o.brand), U32BE(0), Type(o.brand)}));
    return o.moovAtEnd ? Concat({ftyp, Box("wide", {}), mdat, moov}) : Concat({ftyp, moov, mdat});
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

Bytes WebpFile(const Bytes& exif, int width, int height) {
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
    const Bytes body =
        Concat({Type("WEBP"), chunk("VP8X", vp8x), chunk("VP8 ", vp8), chunk("EXIF", exif)});
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

Bytes RafFile(const Bytes& jpeg) {
    Bytes header = ToBytes("FUJIFILMCCD-RAW 0201FF383501");
    Append(header, ToBytes("X-T20"));
    header.resize(84, 0);
    const std::uint32_t offset = 92 + 256;
    Append(header, Concat({U32BE(offset), U32BE(static_cast<std::uint32_t>(jpeg.size()))}));
    return Concat({header, Filler(256, 8), jpeg, Filler(4096, 6)});
}

} // namespace testdata
