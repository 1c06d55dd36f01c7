#include "mts_reader.h"

#include "file_stream.h"
#include "found_date.h"
#include "image_record.h"
#include "ole_date.h"

#include <algorithm>
#include <cstring>

using velmora::CFoundDate;
using velmora::DateSource;

namespace {

constexpr std::size_t kTsPacket = 188;
constexpr std::size_t kM2tsPacket = 192; // a 4-byte time stamp, then a transport packet
constexpr std::size_t kM2tsStamp = kM2tsPacket - kTsPacket;
constexpr unsigned char kSync = 0x47;
constexpr std::size_t kTsHeader = 4;
// Start code (3), stream id, length (2), flags (2), header data length.
constexpr std::size_t kPesHeader = 9;
constexpr std::size_t kStartCode = 3;
constexpr unsigned kNalSei = 6;
constexpr unsigned kSeiUserDataUnregistered = 5;
constexpr unsigned char kRbspStop = 0x80;
constexpr int kMaxSeiMessages = 64;
constexpr unsigned char kMdpmUuid[16] = {0x17, 0xEE, 0x8C, 0x60, 0xF8, 0x4D, 0x11, 0xD9,
                                         0x8C, 0xD6, 0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66};
constexpr std::size_t kMdpmHeader = sizeof(kMdpmUuid) + 4 + 1; // UUID, "MDPM", entry count
constexpr std::size_t kMdpmEntry = 5;                          // tag, 4 data bytes
constexpr unsigned char kTagZoneYearMonth = 0x18;
constexpr unsigned char kTagDayTime = 0x19;

// Both sync bytes of the first two packets: their size.
std::size_t PacketSize(const unsigned char* head, std::size_t size) {
    if (size >= kM2tsPacket + kM2tsStamp + 1 && head[kM2tsStamp] == kSync &&
        head[kM2tsPacket + kM2tsStamp] == kSync)
        return kM2tsPacket;
    if (size >= kTsPacket + 1 && head[0] == kSync && head[kTsPacket] == kSync)
        return kTsPacket;
    return 0;
}

bool IsVideoPes(const unsigned char* payload, std::size_t length) {
    return length >= kPesHeader && payload[0] == 0 && payload[1] == 0 && payload[2] == 1 &&
           (payload[3] & 0xF0) == 0xE0;
}

// Where the next start code 00 00 01 at or after `from` begins; `size` when
// there is none.
std::size_t NextStartCode(const unsigned char* data, std::size_t size, std::size_t from) {
    for (std::size_t i = from; size >= kStartCode && i <= size - kStartCode; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return size;
}

// An SEI number: a run of FF bytes, each adding 255, then the last byte.
bool ReadSeiNumber(const std::vector<unsigned char>& rbsp, std::size_t& at, std::size_t& value) {
    value = 0;
    while (at < rbsp.size() && rbsp[at] == 0xFF) {
        value += 0xFF;
        ++at;
    }
    if (at == rbsp.size())
        return false;
    value += rbsp[at++];
    return true;
}

bool Bcd(unsigned char byte, int& value) {
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    value = high * 10 + low;
    return high <= 9 && low <= 9;
}

// The time-zone byte: 0x40 daylight saving (the clock an hour ahead of the
// zone), 0x20 minus, bits 1..4 the hours, 0x01 thirty more minutes.
std::int16_t ZoneOffset(unsigned char zone) {
    const int hours = zone >> 1 & 0x0F;
    if (hours > 14)
        return velmora::kNoOffset;
    int minutes = hours * 60 + (zone & 0x01 ? 30 : 0);
    if (zone & 0x20)
        minutes = -minutes;
    if (zone & 0x40)
        minutes += 60;
    return static_cast<std::int16_t>(minutes);
}

} // namespace

// Transport packet (after the 4-byte time stamp of a 192-byte packet):
//   0      sync byte 0x47
//   1..2   0x40 payload unit start, low 13 bits the PID
//   3      bits 4..5: 1 payload only, 2 adaptation field only, 3 both
//   4..    adaptation field (its length, then that many bytes), payload
// The video's packets carry PES packets, one access unit each: 00 00 01, a
// stream id E0..EF, length (2), flags (2), header data length, header data,
// then the H.264 stream. The video is the first PID that starts such a PES.
void CMtsReader::Read() {
    unsigned char packet[kM2tsPacket * 2 + kM2tsStamp];
    const std::size_t packetSize = PacketSize(packet, m_file.Read(packet, sizeof(packet)));
    if (packetSize == 0)
        return;
    const std::size_t skip = packetSize - kTsPacket;
    const std::uint64_t end = std::min<std::uint64_t>(m_file.Size(), kReadWindow);
    if (!m_file.Seek(0))
        return;
    int videoPid = -1;
    bool collecting = false;
    int units = 0;
    std::vector<unsigned char> stream;
    for (std::uint64_t pos = 0; pos <= end && end - pos >= packetSize; pos += packetSize) {
        if (m_file.Read(packet, packetSize) != packetSize)
            break;
        const unsigned char* ts = packet + skip;
        const unsigned control = ts[3] >> 4 & 3;
        if (ts[0] != kSync || (control & 1) == 0)
            continue; // a packet out of step, or one without payload
        const bool unitStart = (ts[1] & 0x40) != 0;
        const int pid = (ts[1] & 0x1F) << 8 | ts[2];
        std::size_t at = kTsHeader + ((control & 2) != 0 ? 1 + ts[4] : 0);
        if (at >= kTsPacket)
            continue;
        const unsigned char* payload = ts + at;
        std::size_t length = kTsPacket - at;
        if (videoPid < 0 && unitStart && IsVideoPes(payload, length))
            videoPid = pid;
        if (pid != videoPid)
            continue;
        if (unitStart) {
            if (collecting) {
                if (FindDate(stream) || ++units == kMaxAccessUnits)
                    return;
                stream.clear();
            }
            collecting = IsVideoPes(payload, length) && kPesHeader + payload[8] <= length;
            if (!collecting)
                continue;
            at = kPesHeader + payload[8];
            payload += at;
            length -= at;
        }
        if (collecting)
            stream.insert(stream.end(), payload, payload + length);
    }
    if (collecting)
        FindDate(stream);
}

// The NAL units of the stream, each after a start code; an SEI unit has type
// 6 in the low 5 bits of its first byte. Zero bytes before a start code
// belong to the next one (00 00 00 01).
bool CMtsReader::FindDate(const std::vector<unsigned char>& stream) {
    const unsigned char* data = stream.data();
    const std::size_t size = stream.size();
    for (std::size_t at = NextStartCode(data, size, 0); at < size;) {
        const std::size_t nal = at + kStartCode;
        at = NextStartCode(data, size, nal);
        std::size_t nalEnd = at;
        while (nalEnd > nal && data[nalEnd - 1] == 0)
            --nalEnd;
        if (nalEnd > nal && (data[nal] & 0x1F) == kNalSei &&
            ReadSei(data + nal + 1, nalEnd - nal - 1))
            return true;
    }
    return false;
}

// SEI: messages of payload type and size (SEI numbers), then the payload,
// up to the stop bit 0x80. The unit's bytes hold an emulation-prevention 03
// after every two zero bytes that the encoder had to break up; those go first.
bool CMtsReader::ReadSei(const unsigned char* nal, std::size_t size) {
    m_rbsp.clear();
    int zeros = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        m_rbsp.push_back(nal[i]);
        zeros = nal[i] == 0 ? zeros + 1 : 0;
    }
    std::size_t at = 0;
    for (int n = 0; n < kMaxSeiMessages && at < m_rbsp.size() && m_rbsp[at] != kRbspStop; ++n) {
        std::size_t type = 0;
        std::size_t payloadSize = 0;
        if (!ReadSeiNumber(m_rbsp, at, type) || !ReadSeiNumber(m_rbsp, at, payloadSize) ||
            payloadSize > m_rbsp.size() - at)
            return false;
        if (type == kSeiUserDataUnregistered && ReadMdpm(m_rbsp.data() + at, payloadSize))
            return true;
        at += payloadSize;
    }
    return false;
}

// User data: the UUID, "MDPM", an entry count, then 5-byte entries (tag, 4
// data bytes). Tag 0x18: time-zone byte, century, year, month; tag 0x19:
// day, hour, minute, second; all but the zone in BCD.
bool CMtsReader::ReadMdpm(const unsigned char* payload, std::size_t size) {
    if (size < kMdpmHeader || std::memcmp(payload, kMdpmUuid, sizeof(kMdpmUuid)) != 0 ||
        std::memcmp(payload + sizeof(kMdpmUuid), "MDPM", 4) != 0)
        return false;
    const std::size_t count =
        std::min<std::size_t>(payload[kMdpmHeader - 1], (size - kMdpmHeader) / kMdpmEntry);
    const unsigned char* zoneYearMonth = nullptr;
    const unsigned char* dayTime = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = payload + kMdpmHeader + i * kMdpmEntry;
        if (entry[0] == kTagZoneYearMonth)
            zoneYearMonth = entry + 1;
        else if (entry[0] == kTagDayTime)
            dayTime = entry + 1;
    }
    if (zoneYearMonth == nullptr || dayTime == nullptr)
        return false;
    CFoundDate date;
    velmora::ole::DateFields& f = date.fields;
    int century = 0;
    int year = 0;
    if (!Bcd(zoneYearMonth[1], century) || !Bcd(zoneYearMonth[2], year) ||
        !Bcd(zoneYearMonth[3], f.month) || !Bcd(dayTime[0], f.day) || !Bcd(dayTime[1], f.hour) ||
        !Bcd(dayTime[2], f.minute) || !Bcd(dayTime[3], f.second))
        return false;
    f.year = century * 100 + year;
    if (!velmora::ole::FromFields(f))
        return false;
    date.source = DateSource::AvchdDateTime;
    date.bTime = true;
    date.nOffset = ZoneOffset(zoneYearMonth[0]);
    m_record.TakeDate(date);
    return true;
}
