// libFuzzer entry point for one reader of the other photo and movie types,
// chosen at build time (VELMORA_FUZZ_FORMAT names a FileFormat). The input is
// read as that type whatever its first bytes say, so that every input reaches
// the reader under test; the raw target reads RAF inputs as RAF. Each input is
// read twice, plain and with the hints.

#include "file_stream.h"
#include "fuzz_input.h"
#include "jpeg_file.h"

#include <cstring>

using velmora::FileFormat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileFormat format = FileFormat::VELMORA_FUZZ_FORMAT;
    if (format == FileFormat::Tiff && velmora::DetectFileFormat(data, size) == FileFormat::Raf)
        format = FileFormat::Raf;
    const char* path = fuzzinput::WriteInput(data, size);
    CFileStream file;
    if (!file.Open(path))
        __builtin_trap();
    CJpegFile reader;
    reader.ReadImage(file, format);
    reader.m_info.DateTakenAsTime();
    if (!fuzzinput::RecordIsSound(reader))
        __builtin_trap();
    // Again with the hints read, which walks the XMP and IPTC places too: they
    // must not change the date taken.
    CFileStream again;
    if (!again.Open(path))
        __builtin_trap();
    CJpegFile hinted;
    hinted.m_bReadHints = true;
    hinted.ReadImage(again, format);
    if (!fuzzinput::RecordIsSound(hinted) || hinted.m_taken.source != reader.m_taken.source ||
        hinted.m_info.m_dtTaken != reader.m_info.m_dtTaken)
        __builtin_trap();
    return 0;
}
