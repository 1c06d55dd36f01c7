#include "jpeg_info.h"

#include "ole_date.h"

#include <cstdint>

const char* const g_orientationNames[kOrientationCount] = {
    "Undefined", "Normal",    "flip horizontal", "rotate 180", "flip vertical",
    "transpose", "rotate 90", "transverse",      "rotate 270",
};

// The last row, code 0, answers for every process the table does not name.
const ProcessNameEntry g_processNames[kProcessNameCount] = {
    {0xC0, "Baseline"},
    {0xC1, "Extended sequential"},
    {0xC2, "Progressive"},
    {0xC3, "Lossless"},
    {0xC5, "Differential sequential"},
    {0xC6, "Differential progressive"},
    {0xC7, "Differential lossless"},
    {0xC9, "Extended sequential, arithmetic coding"},
    {0xCA, "Progressive, arithmetic coding"},
    {0xCB, "Lossless, arithmetic coding"},
    {0xCD, "Differential sequential, arithmetic coding"},
    {0xCE, "Differential progressive, arithmetic coding"},
    {0xCF, "Differential lossless, arithmetic coding"},
    {0, "Unknown"},
};

const char* CJpegInfo::OrientationName() const {
    return g_orientationNames[m_nOrientation];
}

bool CJpegInfo::ProcessName(int row, std::string& name) const {
    if (row >= 0 && row < kProcessNameCount &&
        (g_processNames[row].nMarker == m_nProcess || g_processNames[row].nMarker == 0)) {
        name = g_processNames[row].szName;
        return true;
    }
    name.clear();
    return false;
}

std::time_t CJpegInfo::DateTakenAsTime() const {
    if (!(m_dtTaken >= 1.0))
        return 0;
    const auto fields = velmora::ole::ToFields(m_dtTaken);
    if (!fields)
        return -1;
    std::tm tm = velmora::ole::ToTm(*fields);
    const std::time_t seconds = mktime(&tm);
    if (seconds < 0 || seconds > INT32_MAX)
        return -1;
    return seconds;
}
