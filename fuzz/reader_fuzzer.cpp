// libFuzzer entry point for the JPEG/EXIF reader: each input goes through the
// temporary file, and the record is then checked for the invariants the rest
// of the program relies on. Each input is read twice, plain and with the
// XMP and IPTC hints, which must not change the date taken.

#include "fuzz_input.h"
#include "jpeg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = fuzzinput::WriteInput(data, size);
    // A fresh reader per input, so that every finding replays from its input alone.
    CJpegFile reader;
    reader.LoadJpeg(path);
    reader.m_info.OrientationName();
    reader.m_info.DateTakenAsTime();
    if (!fuzzinput::RecordIsSound(reader))
        __builtin_trap();
    CJpegFile hinted;
    hinted.m_bReadHints = true;
    hinted.LoadJpeg(path);
    if (!fuzzinput::RecordIsSound(hinted) || hinted.m_taken.source != reader.m_taken.source ||
        hinted.m_info.m_dtTaken != reader.m_info.m_dtTaken)
        __builtin_trap();
    return 0;
}
