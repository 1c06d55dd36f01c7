#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CFileStream;
class CExifParser;
class CImageRecord;
struct CBox;

// CMovieReader reads MP4, MOV, M4V and 3GP movies and CR3 raw photos, all of
// them QuickTime-structured: it seeks to the `moov` box wherever it lies and
// reads only the boxes that carry metadata, never the media data. The date is
// the EXIF date of a CR3 (its CMT1 and CMT2 boxes); otherwise the Apple
// creation-date key, local time as written; otherwise the movie header's
// creation time (UTC) in the local time zone. Make and model come from the
// EXIF or the Apple keys, the picture size from the largest track. With the
// record's m_bReadHints it also hands over the XMP packets (a top-level uuid
// box, moov/udta/XMP_).
class CMovieReader {
public:
    CMovieReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void Read();
    // The movie header's time of `moov` alone: an image sequence (AVIF,
    // HEIF) without an EXIF date is dated as a movie.
    void ReadHeaderTime(const CBox& moov);

    // What one CMT box or one metadata value may hold; larger ones are not read.
    static constexpr std::size_t kMaxTiffBox = 4 * 1024 * 1024;
    // What is read of one XMP packet; the dates are at its front.
    static constexpr std::size_t kMaxXmpPacket = 1024 * 1024;

private:
    void ReadMovieHeader(const CBox& mvhd);
    void ReadTrack(const CBox& trak);
    void ReadMetadata(const CBox& meta);
    void ReadItems(const CBox& ilst, const std::vector<std::string>& keys);
    void ReadCanonBox(const CBox& uuid);
    void ReadXmpBox(const CBox& uuid);
    void ReadUserData(const CBox& udta, bool hints);
    void ReadItemText(const CBox& item, std::string& text);
    void ReadDayText(const CBox& box, bool quickTime);
    void TakePacket(const CBox& box, std::uint64_t skip);
    void Apply();

    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
    bool m_bExif = false;
    std::uint64_t m_nCreationTime = 0; // seconds since 1904-01-01 UTC; 0 = none
    std::string m_strCreationDate;     // the Apple key's text
    std::string m_strDay;              // the user data's ©day text
    std::string m_strMake;
    std::string m_strModel;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
