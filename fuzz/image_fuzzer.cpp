// libFuzzer entry point for one reader of the other photo and movie types,
// chosen at build time (VELMORA_FUZZ_FORMAT names a FileFormat). The input is
// read as that type whatever its first bytes say, so that every input reaches
// the reader under test; the raw target reads RAF inputs as RAF.

#include "file_stream.h"
#include "fuzz_input.h"
#include "jpeg_file.h"

#include <cstring>

using velmora::FileFormat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileFormat format = FileFormat::VELMORA_FUZZ_FORMAT;
    if (format == FileFormat::Tiff && velmora::DetectFileFormat(data, size) == FileFormat::Raf)
        format = FileFormat::Raf;
    CFileStream file;
    if (!file.Open(fuzzinput::WriteInput(data, size)))
        __builtin_trap();
    CJpegFile reader;
    reader.ReadImage(file, format);
    reader.m_info.DateTakenAsTime();
    if (!fuzzinput::RecordIsSound(reader))
        __builtin_trap();
    return 0;
}
