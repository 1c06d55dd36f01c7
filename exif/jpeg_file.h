#pragma once

#include "image_reader.h"
#include "image_record.h"
#include "jpeg_sections.h"

#include <string>

class CFileStream;

// CJpegFile is the reader object the callers hold: the record of the last
// file read (m_info, m_nErrorId, the dates), the sections kept from its JPEG
// stream, and the front door that reads a file into them, as a JPEG file
// (LoadJpeg) or as whatever type its first bytes show (LoadImage). It raises
// no exceptions and shows nothing. One reader serves many files; a reader
// that reads no file carries a date for BuildFileName.
class CJpegFile : public CImageRecord, public CJpegSections {
public:
    CJpegFile() = default;

    // Reads one file. TRUE when the walk reached the image data or the end of
    // the image; FALSE with the reason in m_nErrorId (0 when the file could not
    // be opened or is not a regular file, in which case m_info is untouched).
    bool LoadJpeg(const char* path);

    // Reads one photo or movie of any known type, chosen by the file's first
    // bytes, not by its name: the same contract as LoadJpeg, and the same
    // record as far as the type carries the data. A file of no known type
    // fails with IDS_INVALID_JPEG.
    bool LoadImage(const char* path);

    // Reads the open `file` (positioned at its start) as `format`: the step of
    // LoadImage after the open, for callers that know the layout already.
    bool ReadImage(CFileStream& file, velmora::FileFormat format);

    // LoadJpeg (or, with `byContent`, LoadImage) of a file the caller opened
    // already, `open` telling whether its Open succeeded: the scan opens
    // files ahead of the reader so that the device can fetch them meanwhile.
    bool LoadOpened(CFileStream& file, bool open, const char* path, bool byContent);

    // Releases every kept section and clears the table and the record.
    void FreeSections();

    // Expands the file name format on m_info.m_dtTaken into `name`: the
    // counter (when not negative) replaces every "%C", then the date codes;
    // the folder part of `path` goes in front and its extension behind.
    // Defined with the rest of name generation, in the renaming engine.
    void BuildFileName(const std::string& path, std::string& name, const std::string& format,
                       int counter) const;

private:
    bool Load(const char* path, bool byContent);

    CImageReader m_frontDoor{*this, *this};
};
