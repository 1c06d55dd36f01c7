#include "movie_reader.h"

#include "box_walker.h"
#include "byte_cursor.h"
#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "ole_date.h"

#include <cstring>
#include <ctime>
#include <string_view>

using velmora::CFoundDate;
using velmora::DateSource;
using velmora::ParseDateText;
namespace ole = velmora::ole;

namespace {

constexpr std::size_t kFullBoxHeader = 4; // version (1), flags (3)
constexpr std::size_t kMaxKeysBytes = 64 * 1024;
constexpr std::size_t kMaxValueBytes = 256;
// Seconds from 1904-01-01 (the QuickTime epoch) to 1970-01-01, both UTC.
constexpr std::uint64_t kQuickTimeEpochOffset = 2082844800;
// Where Canon keeps the TIFF boxes of a CR3 inside `moov`.
constexpr unsigned char kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                          0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};

// The uuid box that holds an XMP packet (MP4, CR3).
constexpr unsigned char kXmpUuid[16] = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                                        0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};

const char kKeyCreationDate[] = "com.apple.quicktime.creationdate";
const char kKeyMake[] = "com.apple.quicktime.make";
const char kKeyModel[] = "com.apple.quicktime.model";

} // namespace

// With m_bReadHints the top-level walk goes on after `moov`: the XMP uuid box
// may follow it. The first `moov` counts.
void CMovieReader::Read() {
    const bool hints = m_record.m_bReadHints;
    CBoxWalker top(m_file, 0, m_file.Size());
    CBox moov;
    bool haveMovie = false;
    while (top.Next(moov)) {
        if (hints && moov.Is("uuid")) {
            ReadXmpBox(moov);
            continue;
        }
        if (!moov.Is("moov") || haveMovie)
            continue;
        haveMovie = true;
        CBoxWalker children(m_file, moov.payload, moov.end);
        CBox box;
        while (children.Next(box)) {
            if (box.Is("mvhd"))
                ReadMovieHeader(box);
            else if (box.Is("trak"))
                ReadTrack(box);
            else if (box.Is("meta"))
                ReadMetadata(box);
            else if (box.Is("uuid"))
                ReadCanonBox(box);
            else if (box.Is("udta"))
                ReadUserData(box, hints);
        }
        if (!hints)
            break;
    }
    Apply();
}

// mvhd (full box): version 0: creation time u32, modification time u32;
// version 1: both u64. Seconds since 1904-01-01 00:00 UTC.
void CMovieReader::ReadMovieHeader(const CBox& mvhd) {
    std::vector<unsigned char> bytes;
    CBoxWalker::ReadPayload(m_file, mvhd, bytes, kFullBoxHeader + 8);
    CByteCursor cursor(bytes.data(), bytes.size());
    const std::uint32_t version = cursor.U8();
    cursor.Skip(3);
    const std::uint64_t created = version == 1 ? cursor.U64() : cursor.U32();
    if (cursor.Ok())
        m_nCreationTime = created;
}

// tkhd (full box): version 0: times and IDs in 20 bytes, version 1 in 32;
// then reserved (8), layer, group, volume, reserved (2 each), matrix (36),
// width and height (16.16 fixed point). Sound tracks have size 0.
void CMovieReader::ReadTrack(const CBox& trak) {
    CBoxWalker children(m_file, trak.payload, trak.end);
    CBox tkhd;
    while (children.Next(tkhd)) {
        if (!tkhd.Is("tkhd"))
            continue;
        std::vector<unsigned char> bytes;
        CBoxWalker::ReadPayload(m_file, tkhd, bytes, kFullBoxHeader + 32 + 60);
        CByteCursor cursor(bytes.data(), bytes.size());
        const std::uint32_t version = cursor.U8();
        cursor.Skip(3 + (version == 1 ? 32 : 20) + 52);
        const int width = static_cast<int>(cursor.U32() >> 16);
        const int height = static_cast<int>(cursor.U32() >> 16);
        if (cursor.Ok() && std::int64_t(width) * height > std::int64_t(m_nWidth) * m_nHeight) {
            m_nWidth = width;
            m_nHeight = height;
        }
        return;
    }
}

// meta: a QuickTime meta box has no version and flags (its first child, hdlr,
// follows at once), an ISO one has. Its keys box names the items of ilst:
//   keys (full box): entry count u32; per entry: size u32 (header included),
//   namespace (4, "mdta"), the key name in the remaining bytes.
void CMovieReader::ReadMetadata(const CBox& meta) {
    std::vector<unsigned char> head;
    CBoxWalker::ReadPayload(m_file, meta, head, 8);
    const bool quickTime = head.size() == 8 && std::memcmp(head.data() + 4, "hdlr", 4) == 0;
    CBoxWalker children(m_file, meta.payload + (quickTime ? 0 : kFullBoxHeader), meta.end);
    std::vector<std::string> keys;
    CBox box;
    CBox ilst{};
    bool haveItems = false;
    while (children.Next(box)) {
        if (box.Is("ilst")) {
            ilst = box;
            haveItems = true;
        } else if (box.Is("keys")) {
            std::vector<unsigned char> bytes;
            CBoxWalker::ReadPayload(m_file, box, bytes, kMaxKeysBytes);
            CByteCursor cursor(bytes.data(), bytes.size());
            cursor.Skip(kFullBoxHeader);
            const std::uint32_t count = cursor.U32();
            // Each entry takes at least 8 bytes, so the loop ends with the buffer.
            for (std::uint32_t i = 0; i < count && cursor.Ok(); ++i) {
                const std::size_t start = cursor.Position();
                const std::uint32_t size = cursor.U32();
                cursor.Skip(4);
                if (size < 8)
                    break;
                cursor.Skip(size - 8);
                if (!cursor.Ok())
                    break;
                keys.emplace_back(reinterpret_cast<const char*>(bytes.data()) + start + 8,
                                  size - 8);
            }
        }
    }
    if (haveItems)
        ReadItems(ilst, keys);
}

// ilst: one box per item, its type the 1-based key index (u32), holding a
// data box: type indicator u32 (1 = UTF-8), locale u32, then the value.
void CMovieReader::ReadItems(const CBox& ilst, const std::vector<std::string>& keys) {
    CBoxWalker items(m_file, ilst.payload, ilst.end);
    CBox item;
    while (items.Next(item)) {
        CByteCursor index(reinterpret_cast<const unsigned char*>(item.type), 4);
        const std::uint32_t key = index.U32();
        if (key == 0 || key > keys.size())
            continue;
        const std::string& name = keys[key - 1];
        std::string* target = name == kKeyCreationDate ? &m_strCreationDate
                              : name == kKeyMake       ? &m_strMake
                              : name == kKeyModel      ? &m_strModel
                                                       : nullptr;
        if (target == nullptr)
            continue;
        ReadItemText(item, *target);
    }
}

// An item's first data box: type indicator u32 (1 = UTF-8), locale u32, then
// the value; `text` is left alone unless the value is text.
void CMovieReader::ReadItemText(const CBox& item, std::string& text) {
    CBoxWalker values(m_file, item.payload, item.end);
    CBox data;
    std::vector<unsigned char> bytes;
    while (values.Next(data)) {
        if (!data.Is("data") || !CBoxWalker::ReadPayload(m_file, data, bytes, kMaxValueBytes))
            continue;
        CByteCursor cursor(bytes.data(), bytes.size());
        const std::uint32_t type = cursor.U32();
        cursor.Skip(4);
        if (cursor.Ok() && type == 1)
            text.assign(reinterpret_cast<const char*>(bytes.data()) + 8, bytes.size() - 8);
        return;
    }
}

// uuid: 16-byte UUID, then (for Canon's) boxes CMT1 (TIFF: the first
// directory, with make, model and DateTime) and CMT2 (TIFF: the Exif
// directory, with DateTimeOriginal); CMT3 and CMT4 are of no use here.
void CMovieReader::ReadCanonBox(const CBox& uuid) {
    std::vector<unsigned char> id;
    if (!CBoxWalker::ReadPayload(m_file, uuid, id, sizeof(kCanonUuid)) ||
        id.size() != sizeof(kCanonUuid) || std::memcmp(id.data(), kCanonUuid, id.size()) != 0)
        return;
    CBoxWalker children(m_file, uuid.payload + sizeof(kCanonUuid), uuid.end);
    CBox box;
    std::vector<unsigned char> tiff;
    while (children.Next(box)) {
        if (!(box.Is("CMT1") || box.Is("CMT2")) || box.PayloadSize() > kMaxTiffBox ||
            !CBoxWalker::ReadPayload(m_file, box, tiff, kMaxTiffBox))
            continue;
        m_exif.ParseTiff(tiff.data(), static_cast<std::uint32_t>(tiff.size()));
        m_bExif = true;
    }
}

// uuid (top level): the 16-byte UUID, then for XMP's the packet.
void CMovieReader::ReadXmpBox(const CBox& uuid) {
    std::vector<unsigned char> id;
    if (!CBoxWalker::ReadPayload(m_file, uuid, id, sizeof(kXmpUuid)) ||
        id.size() != sizeof(kXmpUuid) || std::memcmp(id.data(), kXmpUuid, id.size()) != 0)
        return;
    TakePacket(uuid, sizeof(kXmpUuid));
}

void CMovieReader::ReadHeaderTime(const CBox& moov) {
    CBoxWalker children(m_file, moov.payload, moov.end);
    CBox box;
    while (children.Next(box)) {
        if (box.Is("mvhd")) {
            ReadMovieHeader(box);
            break;
        }
    }
    const CJpegInfo info = m_record.m_info;
    Apply();
    m_record.m_info.m_nWidth = info.m_nWidth;
    m_record.m_info.m_nHeight = info.m_nHeight;
}

// udta (QuickTime user data): XMP_ holds the packet as its data; ©day the
// date the movie was taken, as a QuickTime text or (MP4) in meta/ilst.
void CMovieReader::ReadUserData(const CBox& udta, bool hints) {
    CBoxWalker children(m_file, udta.payload, udta.end);
    CBox box;
    while (children.Next(box)) {
        if (hints && box.Is("XMP_")) {
            TakePacket(box, 0);
        } else if (box.Is("\xA9"
                          "day")) {
            ReadDayText(box, true);
        } else if (box.Is("meta")) {
            CBoxWalker items(m_file, box.payload + kFullBoxHeader, box.end);
            CBox ilst;
            while (items.Next(ilst)) {
                if (!ilst.Is("ilst"))
                    continue;
                CBoxWalker entries(m_file, ilst.payload, ilst.end);
                CBox item;
                while (entries.Next(item)) {
                    if (item.Is("\xA9"
                                "day"))
                        ReadDayText(item, false);
                }
            }
        }
    }
}

// ©day as QuickTime text: length u16, language u16, the text; or as an MP4
// item.
void CMovieReader::ReadDayText(const CBox& box, bool quickTime) {
    if (!m_strDay.empty())
        return;
    if (!quickTime) {
        ReadItemText(box, m_strDay);
        return;
    }
    std::vector<unsigned char> bytes;
    if (!CBoxWalker::ReadPayload(m_file, box, bytes, kMaxValueBytes))
        return;
    CByteCursor cursor(bytes.data(), bytes.size());
    const std::uint32_t length = cursor.U16();
    cursor.Skip(2);
    if (cursor.Ok() && length <= bytes.size() - 4)
        m_strDay.assign(reinterpret_cast<const char*>(bytes.data()) + 4, length);
}

void CMovieReader::TakePacket(const CBox& box, std::uint64_t skip) {
    std::vector<unsigned char> packet;
    if (CBoxWalker::ReadPayload(m_file, box, packet, kMaxXmpPacket, skip))
        m_record.TakeXmpPacket(
            std::string_view(reinterpret_cast<const char*>(packet.data()), packet.size()));
}

// The Apple key's "2019-07-24T11:25:40+0300" is the local time where the
// movie was taken, its offset beside it; the movie header's time is UTC.
void CMovieReader::Apply() {
    CJpegInfo& info = m_record.m_info;
    if (!m_strCreationDate.empty()) {
        // A key with an ending it does not know still gives its date and time.
        const std::string text = m_strCreationDate.substr(0, m_strCreationDate.find('\0'));
        CFoundDate date = ParseDateText(text, DateSource::AppleKey);
        if (!date.Found())
            date = ParseDateText(text.substr(0, 19), DateSource::AppleKey);
        m_record.TakeDate(date);
    }
    // ©day "2018:02:07 10:15:08-05:00": local time with its offset. A day
    // without a time gives way to the movie header's time.
    const CFoundDate day =
        ParseDateText(m_strDay.substr(0, m_strDay.find('\0')), DateSource::MovieDay);
    if (day.bTime || (m_nCreationTime < kQuickTimeEpochOffset))
        m_record.TakeDate(day);
    if (m_nCreationTime >= kQuickTimeEpochOffset &&
        m_nCreationTime - kQuickTimeEpochOffset <= static_cast<std::uint64_t>(INT64_MAX)) {
        const auto seconds = static_cast<std::int64_t>(m_nCreationTime - kQuickTimeEpochOffset);
        if (const auto fields = ole::FieldsOf(seconds))
            m_record.TakeDate({*fields, DateSource::MovieHeader, true, 0});
    }
    if (info.m_szCameraMake[0] == '\0')
        m_record.SetMake(m_strMake);
    if (info.m_szCameraModel[0] == '\0')
        m_record.SetModel(m_strModel);
    if (!m_bExif) {
        info.m_nWidth = m_nWidth;
        info.m_nHeight = m_nHeight;
    }
}
