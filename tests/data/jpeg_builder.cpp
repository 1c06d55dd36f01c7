#include "jpeg_builder.h"

#include <cstring>
#include <fstream>

namespace testdata {

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TiffEntry MakeEntry(std::uint16_t tag, std::uint16_t format, std::uint32_t count, Bytes value) {
    TiffEntry entry;
    entry.tag = tag;
    entry.format = format;
    entry.count = count;
    entry.value = std::move(value);
    return entry;
}

CTiffBuilder::CTiffBuilder(ByteOrder order) : m_order(order), m_dirs(1) {}

int CTiffBuilder::AddDirectory() {
    m_dirs.emplace_back();
    return static_cast<int>(m_dirs.size()) - 1;
}

Bytes CTiffBuilder::U16(std::uint16_t v) const {
    if (m_order == ByteOrder::Motorola)
        return {std::uint8_t(v >> 8), std::uint8_t(v)};
    return {std::uint8_t(v), std::uint8_t(v >> 8)};
}

Bytes CTiffBuilder::U32(std::uint32_t v) const {
    if (m_order == ByteOrder::Motorola)
        return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                std::uint8_t(v)};
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

CTiffBuilder& CTiffBuilder::Entry(int dir, const TiffEntry& entry) {
    Dir(dir).entries.push_back(entry);
    return *this;
}

CTiffBuilder& CTiffBuilder::Ascii(int dir, std::uint16_t tag, std::string_view text) {
    Bytes value = ToBytes(text);
    value.push_back(0);
    const auto count = static_cast<std::uint32_t>(value.size());
    return Entry(dir, MakeEntry(tag, kAscii, count, value));
}

CTiffBuilder& CTiffBuilder::Byte(int dir, std::uint16_t tag, std::uint8_t value) {
    return Entry(dir, MakeEntry(tag, kByte, 1, {value}));
}

CTiffBuilder& CTiffBuilder::Short(int dir, std::uint16_t tag, std::uint16_t value) {
    return Entry(dir, MakeEntry(tag, kShort, 1, U16(value)));
}

CTiffBuilder& CTiffBuilder::SShort(int dir, std::uint16_t tag, std::int16_t value) {
    return Entry(dir, MakeEntry(tag, kSShort, 1, U16(static_cast<std::uint16_t>(value))));
}

CTiffBuilder& CTiffBuilder::Long(int dir, std::uint16_t tag, std::uint32_t value) {
    return Entry(dir, MakeEntry(tag, kLong, 1, U32(value)));
}

CTiffBuilder& CTiffBuilder::SLong(int dir, std::uint16_t tag, std::int32_t value) {
    return Entry(dir, MakeEntry(tag, kSLong, 1, U32(static_cast<std::uint32_t>(value))));
}

CTiffBuilder& CTiffBuilder::Rational(int dir, std::uint16_t tag, std::uint32_t num,
                                     std::uint32_t den) {
    Bytes value = U32(num);
    const Bytes d = U32(den);
    value.insert(value.end(), d.begin(), d.end());
    return Entry(dir, MakeEntry(tag, kRational, 1, value));
}

CTiffBuilder& CTiffBuilder::SRational(int dir, std::uint16_t tag, std::int32_t num,
                                      std::int32_t den) {
    Bytes value = U32(static_cast<std::uint32_t>(num));
    const Bytes d = U32(static_cast<std::uint32_t>(den));
    value.insert(value.end(), d.begin(), d.end());
    return Entry(dir, MakeEntry(tag, kSRational, 1, value));
}

CTiffBuilder& CTiffBuilder::Float(int dir, std::uint16_t tag, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return Entry(dir, MakeEntry(tag, kFloat, 1, U32(bits)));
}

CTiffBuilder& CTiffBuilder::Double(int dir, std::uint16_t tag, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    const auto high = static_cast<std::uint32_t>(bits >> 32);
    const auto low = static_cast<std::uint32_t>(bits);
    Bytes bytes = U32(m_order == ByteOrder::Motorola ? high : low);
    const Bytes second = U32(m_order == ByteOrder::Motorola ? low : high);
    bytes.insert(bytes.end(), second.begin(), second.end());
    return Entry(dir, MakeEntry(tag, kDouble, 1, bytes));
}

CTiffBuilder& CTiffBuilder::Undefined(int dir, std::uint16_t tag, const Bytes& value) {
    return Entry(dir, MakeEntry(tag, kUndefined, static_cast<std::uint32_t>(value.size()), value));
}

CTiffBuilder& CTiffBuilder::SubDirectory(int dir, std::uint16_t tag, int target,
                                         std::uint16_t format) {
    TiffEntry entry = MakeEntry(tag, format, 1, {});
    entry.linkTo = target;
    return Entry(dir, entry);
}

CTiffBuilder& CTiffBuilder::Next(int dir, int target) {
    Dir(dir).next = target;
    return *this;
}

// Offsets of every directory: each takes 2 + 12 n + 4 bytes, then its
// out-of-line values.
std::vector<std::uint32_t> CTiffBuilder::Layout() const {
    std::vector<std::uint32_t> offsets;
    auto pos = static_cast<std::uint32_t>(8 + afterHeader.size());
    for (const TiffDirectory& dir : m_dirs) {
        offsets.push_back(pos);
        pos += 2 + 12 * static_cast<std::uint32_t>(dir.entries.size()) + 4;
        for (const TiffEntry& e : dir.entries) {
            if (!e.rawField && e.linkTo < 0 && e.value.size() > 4)
                pos += static_cast<std::uint32_t>(e.value.size());
        }
    }
    return offsets;
}

std::uint32_t CTiffBuilder::DirectoryOffset(int index) const {
    return Layout().at(index);
}

Bytes CTiffBuilder::Build() const {
    const std::vector<std::uint32_t> offsets = Layout();
    Bytes out = m_order == ByteOrder::Motorola ? ToBytes("MM") : ToBytes("II");
    const auto append = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    append(U16(magic));
    append(U32(firstOffset.value_or(offsets[0])));
    append(afterHeader);
    for (std::size_t d = 0; d < m_dirs.size(); ++d) {
        const TiffDirectory& dir = m_dirs[d];
        const auto n = static_cast<std::uint32_t>(dir.entries.size());
        append(U16(dir.rawCount.value_or(static_cast<std::uint16_t>(n))));
        std::uint32_t valuePos = offsets[d] + 2 + 12 * n + 4;
        Bytes values;
        for (const TiffEntry& e : dir.entries) {
            append(U16(e.tag));
            append(U16(e.format));
            append(U32(e.count));
            if (e.rawField) {
                append(U32(*e.rawField));
            } else if (e.linkTo >= 0) {
                append(U32(offsets.at(e.linkTo)));
            } else if (e.value.size() <= 4) {
                Bytes field = e.value;
                field.resize(4, 0);
                append(field);
            } else {
                append(U32(valuePos));
                values.insert(values.end(), e.value.begin(), e.value.end());
                valuePos += static_cast<std::uint32_t>(e.value.size());
            }
        }
        append(U32(dir.rawNext.value_or(dir.next >= 0 ? offsets.at(dir.next) : 0)));
        append(values);
    }
    return out;
}

CJpegBuilder& CJpegBuilder::Raw(const Bytes& bytes) {
    m_data.insert(m_data.end(), bytes.begin(), bytes.end());
    return *this;
}

CJpegBuilder& CJpegBuilder::Soi() {
    return Raw({0xFF, 0xD8});
}

CJpegBuilder& CJpegBuilder::Padding(int count) {
    return Raw(Bytes(static_cast<std::size_t>(count), 0xFF));
}

CJpegBuilder& CJpegBuilder::SectionWithLength(std::uint8_t marker, std::uint16_t length,
                                              const Bytes& payload) {
    Raw({0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length)});
    return Raw(payload);
}

CJpegBuilder& CJpegBuilder::Section(std::uint8_t marker, const Bytes& payload) {
    return SectionWithLength(marker, static_cast<std::uint16_t>(payload.size() + 2), payload);
}

CJpegBuilder& CJpegBuilder::FrameHeader(int width, int height, int components,
                                        std::uint8_t marker) {
    Bytes payload = {8,
                     std::uint8_t(height >> 8),
                     std::uint8_t(height),
                     std::uint8_t(width >> 8),
                     std::uint8_t(width),
                     std::uint8_t(components)};
    for (int c = 0; c < components; ++c)
        payload.insert(payload.end(), {std::uint8_t(c + 1), 0x11, 0});
    return Section(marker, payload);
}

CJpegBuilder& CJpegBuilder::App0Jfif() {
    return Section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
}

CJpegBuilder& CJpegBuilder::Comment(const Bytes& text) {
    return Section(0xFE, text);
}

CJpegBuilder& CJpegBuilder::Exif(const Bytes& tiff) {
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return Section(0xE1, payload);
}

CJpegBuilder& CJpegBuilder::Sos() {
    Section(0xDA, {1, 1, 0, 0, 63, 0});
    return Raw({0x12, 0x34, 0x56, 0x78, 0xFF, 0x00, 0x9A, 0xFF, 0xD9});
}

CJpegBuilder& CJpegBuilder::Eoi() {
    return Raw({0xFF, 0xD9});
}

Bytes CJpegBuilder::Photo(const CTiffBuilder* tiff, int width, int height) {
    CJpegBuilder jpeg;
    jpeg.Soi().App0Jfif();
    if (tiff != nullptr)
        jpeg.Exif(*tiff);
    jpeg.FrameHeader(width, height, 3).Sos();
    return jpeg.Data();
}

CTiffBuilder CameraTiff(ByteOrder order, std::string_view dateTimeOriginal) {
    CTiffBuilder tiff(order);
    const int exif = tiff.AddDirectory();
    const int thumbnail = tiff.AddDirectory();
    tiff.Ascii(0, 0x010F, "Quorvant Optics")
        .Ascii(0, 0x0110, "QX-100")
        .Short(0, 0x0112, 1)
        .Ascii(0, 0x0132, "2009:01:01 10:00:00")
        .SubDirectory(0, 0x8769, exif)
        .Next(0, thumbnail);
    tiff.Rational(exif, 0x829A, 1, 250)
        .Rational(exif, 0x829D, 28, 10)
        .Short(exif, 0x8822, 2)
        .Short(exif, 0x8827, 200)
        .Ascii(exif, 0x9003, dateTimeOriginal)
        .Ascii(exif, 0x9004, dateTimeOriginal)
        .SRational(exif, 0x9204, -2, 3)
        .Short(exif, 0x9207, 5)
        .Short(exif, 0x9208, 1)
        .Short(exif, 0x9209, 0x19)
        .Rational(exif, 0x920A, 55, 1)
        .Short(exif, 0xA002, 2048)
        .Short(exif, 0xA003, 1536)
        .Rational(exif, 0xA20E, 2000, 1)
        .Short(exif, 0xA210, 2);
    tiff.Long(thumbnail, 0x0201, 0).Long(thumbnail, 0x0202, 0);
    return tiff;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace testdata
