#pragma once

// What the fuzz targets share: the one temporary file each input is written
// to (the readers open files by path), and the invariants of a record.

#include "jpeg_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace fuzzinput {

// The file is unlinked at once, so that not even a crash leaves it behind; the
// reader reaches it through the descriptor's name in /proc. It is rewritten in
// place for each input.
inline const char* WriteInput(const std::uint8_t* data, std::size_t size) {
    static char path[64];
    static const int fd = [] {
        char name[] = "/tmp/velmora_fuzz_XXXXXX";
        const int made = mkstemp(name);
        unlink(name);
        std::snprintf(path, sizeof(path), "/proc/self/fd/%d", made);
        return made;
    }();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        __builtin_trap(); // without the file there is nothing to test
    return path;
}

// A text field holds its terminator inside its array.
template <std::size_t N> bool Terminated(const char (&text)[N]) {
    return std::memchr(text, '\0', N) != nullptr;
}

// A found date has valid fields, an offset within a day and a fraction of
// a second below one.
inline bool DateIsSound(const velmora::CFoundDate& date) {
    return !date.Found() ||
           (velmora::ole::FromFields(date.fields).has_value() && date.nMillis >= 0 &&
            date.nMillis <= 999 &&
            (!date.HasOffset() || (date.nOffset > -24 * 60 && date.nOffset < 24 * 60)));
}

inline bool RecordIsSound(const CJpegFile& reader) {
    const CJpegInfo& info = reader.m_info;
    bool sound = info.m_nOrientation >= 0 && info.m_nOrientation <= 8 &&
                 (info.m_bColor == 0 || info.m_bColor == 1) &&
                 (info.m_bFlash == 0 || info.m_bFlash == 1) && Terminated(info.m_szFileName) &&
                 Terminated(info.m_szCameraMake) && Terminated(info.m_szCameraModel) &&
                 Terminated(info.m_szComment) && info.m_nWidth >= 0 && info.m_nHeight >= 0 &&
                 reader.m_nSections >= 0 && reader.m_nSections <= CJpegFile::kMaxSections &&
                 DateIsSound(reader.m_taken) && DateIsSound(reader.m_xmpDate) &&
                 DateIsSound(reader.m_iptcDate) && DateIsSound(reader.m_gpsTime) &&
                 (!reader.m_gpsTime.Found() || reader.m_gpsTime.nOffset == 0) &&
                 reader.m_strSerial.size() <= 63 &&
                 reader.m_thumbnail.size() <= CJpegFile::kMaxThumbnail;
    // Kept sections start with their own length, which is the buffer's size.
    for (int i = 0; sound && i < reader.m_nSections; ++i) {
        const CJpegSection& s = reader.m_sections[i];
        sound = s.pData != nullptr && s.nLength >= 2 && (s.pData[0] << 8 | s.pData[1]) == s.nLength;
    }
    return sound;
}

} // namespace fuzzinput
