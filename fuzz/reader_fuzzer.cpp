// libFuzzer entry point for the JPEG/EXIF reader. The reader opens files by
// path, so each input goes through one temporary file, rewritten in place; the
// record is then checked for the invariants the rest of the program relies on.

#include "jpeg_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// A text field holds its terminator inside its array.
template <std::size_t N> bool Terminated(const char (&text)[N]) {
    return std::memchr(text, '\0', N) != nullptr;
}

bool RecordIsSound(const CJpegFile& reader) {
    const CJpegInfo& info = reader.m_info;
    bool sound = info.m_nOrientation >= 0 && info.m_nOrientation <= 8 &&
                 (info.m_bColor == 0 || info.m_bColor == 1) &&
                 (info.m_bFlash == 0 || info.m_bFlash == 1) && Terminated(info.m_szFileName) &&
                 Terminated(info.m_szCameraMake) && Terminated(info.m_szCameraModel) &&
                 Terminated(info.m_szComment) && reader.m_nSections >= 0 &&
                 reader.m_nSections <= CJpegFile::kMaxSections;
    // Kept sections start with their own length, which is the buffer's size.
    for (int i = 0; sound && i < reader.m_nSections; ++i) {
        const CJpegSection& s = reader.m_sections[i];
        sound = s.pData != nullptr && s.nLength >= 2 && (s.pData[0] << 8 | s.pData[1]) == s.nLength;
    }
    return sound;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The file is unlinked at once, so that not even a crash leaves it behind;
    // the reader reaches it through the descriptor's name in /proc.
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
    // A fresh reader per input, so that every finding replays from its input alone.
    CJpegFile reader;
    reader.LoadJpeg(path);
    reader.m_info.OrientationName();
    reader.m_info.DateTakenAsTime();
    if (!RecordIsSound(reader))
        __builtin_trap();
    return 0;
}
