#pragma once

#include <climits>
#include <ctime>
#include <string>

// CJpegInfo is the record of what is known about one JPEG file: file facts,
// frame-header facts, the comment and the camera settings of its EXIF block.
// It is plain data, cleared to all-zero bytes by the reader before each file;
// every text is NUL-terminated inside its array.
struct CJpegInfo {
    // Linux paths are longer than the 260 characters of the original platform.
    char m_szFileName[PATH_MAX];
    std::time_t m_fileTime;   // last modification, seconds since 1970
    char m_szCameraMake[32];  // at most 31 characters
    char m_szCameraModel[40]; // at most 39 characters
    double m_dtTaken;         // OLE Automation date, local time; 0.0 = no date
    int m_nHeight;            // pixels, 0..65535
    int m_nWidth;             // pixels, 0..65535
    int m_nOrientation;       // 1..8; 0 = absent or out of range
    int m_bColor;             // 1 when the frame has exactly 3 components
    int m_nProcess;           // marker code of the last frame header; 0 = none
    int m_bFlash;             // bit 0 of the flash value
    float m_fFocalLength;     // millimetres
    float m_fExposureTime;    // seconds
    float m_fAperture;        // f-number
    float m_fDistance;        // metres; negative = infinity
    float m_fCcdWidth;        // sensor width in millimetres; 0 = unknown
    float m_fExposureBias;    // EV
    int m_nWhiteBalance;      // light-source code as stored
    int m_nMeteringMode;      // as stored
    int m_nExposureProgram;   // as stored
    int m_nIsoEquivalent;     // ISO speed
    char m_szComment[2000];   // COM section (<= 1998) or UserComment (<= 199)

    // Name of m_nOrientation; valid because the reader keeps it within 0..8.
    const char* OrientationName() const;

    // Row `row` of the process table: TRUE with its name when its marker code is
    // m_nProcess or it is the catch-all row; otherwise FALSE and an empty text.
    bool ProcessName(int row, std::string& name) const;

    // The date taken as seconds since 1970 (local calendar time, DST decided by
    // the C library): 0 when there is no date (below 1.0), -1 when the moment
    // lies before 1970 or beyond the signed 32-bit range.
    std::time_t DateTakenAsTime() const;
};

struct ProcessNameEntry {
    int nMarker;
    const char* szName;
};

constexpr int kOrientationCount = 9;
constexpr int kProcessNameCount = 14;

extern const char* const g_orientationNames[kOrientationCount];
extern const ProcessNameEntry g_processNames[kProcessNameCount];
