#pragma once

#include "found_date.h"
#include "image_type.h"
#include "jpeg_info.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// CImageRecord is what one read found in a file, whatever its type: the
// information record, the dates each place of the file states, the facts that
// tell the device, and how the read went. The readers of every type fill it
// and nothing else; it holds the one rule by which their dates meet (the first
// date taken found wins, unless a better one replaces it). Plain data with a
// few rules, no virtual calls: one per reader, reused from file to file.
class CImageRecord {
public:
    CImageRecord();

    // Clears m_info, the dates and the device facts; the caller's settings
    // (m_bReadHints, m_bReadThumbnail), m_nErrorId and the facts of the read
    // (format, device, inode, bytes read) stay.
    void Clear();
    // The dates and the device facts only: an unopened file keeps m_info as
    // the file before it left it, but none of its dates.
    void ClearFound();

    // Records the date taken the file states, with its source, offset and
    // fraction of a second, and sets m_info.m_dtTaken from it (a movie
    // header's UTC time in the computer's zone). A date a reader ranks above
    // every other (EXIF DateTimeOriginal) replaces one found before.
    void SetTaken(const velmora::CFoundDate& date);

    // The first date found wins: `date` becomes the date taken only when it
    // is one and none was found before; true when it did. A date within the
    // years 1900 to 9999 found after one outside them becomes m_takenInYears.
    bool TakeDate(const velmora::CFoundDate& date);

    // Keeps the best date of an XMP packet of the file (when m_bReadHints).
    void TakeXmpPacket(std::string_view packet);

    int m_nErrorId = 0;
    CJpegInfo m_info;
    // The layout the last read took the file for (Unknown when it could not
    // be opened): a file read as JPEG is told apart from other types by it.
    velmora::FileFormat m_format = velmora::FileFormat::Unknown;
    // Set by the caller: the readers then also look for the dates that only
    // files without a date taken use (XMP, IPTC); a plain read skips them.
    bool m_bReadHints = false;
    // The date taken as the file states it; source None when it has none.
    velmora::CFoundDate m_taken;
    // When m_taken lies outside the years 1900 to 9999 (an editor's
    // DateTimeOriginal of 1601): the file's first date within them, which
    // the list goes by; m_taken and m_info still tell what the file states.
    velmora::CFoundDate m_takenInYears;
    // With m_bReadHints: the best date of the file's XMP packets, and its
    // IPTC date and time created.
    velmora::CFoundDate m_xmpDate;
    velmora::CFoundDate m_iptcDate;
    // With m_bReadHints: a PNG's "Creation Time" text.
    velmora::CFoundDate m_creationTime;
    // The time of the GPS fix (UTC, from GPSDateStamp and GPSTimeStamp), the
    // body's serial number, and the make and model whole (m_info cuts them
    // short, so that two models differing late would be one device): what
    // tells the device and its clock's error.
    velmora::CFoundDate m_gpsTime;
    std::string m_strSerial;
    std::string m_strMake;
    std::string m_strModel;
    // A file's make or model text is kept up to this length; no real one
    // comes near it.
    static constexpr std::size_t kMaxDeviceName = 255;
    // Set the make or model from the file's text (up to its first NUL): whole
    // here, cut to fit in m_info.
    void SetMake(std::string_view text);
    void SetModel(std::string_view text);
    // The lens as the file names it (EXIF LensModel), up to its first NUL and
    // kMaxDeviceName bytes; empty when the file does not say.
    std::string m_strLens;
    // Set by the caller: a JPEG's EXIF thumbnail (a whole JPEG stream, at
    // most kMaxThumbnail bytes) is then copied into m_thumbnail.
    bool m_bReadThumbnail = false;
    std::vector<unsigned char> m_thumbnail;
    static constexpr std::uint32_t kMaxThumbnail = 256 * 1024;
    // The device and inode of the entry last opened, kept when its reading
    // fails: the scan records them for the rename run's identity check.
    unsigned long long m_nFileDevice = 0;
    unsigned long long m_nFileInode = 0;
    std::uint64_t m_nBytesRead = 0;     // what the last read took from its file
    std::uint64_t m_nBytesInflated = 0; // what it inflated from compressed text
};
