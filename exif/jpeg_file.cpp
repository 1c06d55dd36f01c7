// The reads of CJpegFile, each through the front door.

#include "jpeg_file.h"

#include "file_stream.h"

bool CJpegFile::LoadJpeg(const char* path) {
    return Load(path, false);
}

bool CJpegFile::LoadImage(const char* path) {
    return Load(path, true);
}

bool CJpegFile::Load(const char* path, bool byContent) {
    CFileStream file;
    const bool open = file.Open(path);
    return LoadOpened(file, open, path, byContent);
}

bool CJpegFile::LoadOpened(CFileStream& file, bool open, const char* path, bool byContent) {
    return m_frontDoor.ReadOpened(file, open, path, byContent);
}

bool CJpegFile::ReadImage(CFileStream& file, velmora::FileFormat format) {
    return m_frontDoor.Read(file, format);
}

void CJpegFile::FreeSections() {
    ReleaseSections();
    Clear();
}
