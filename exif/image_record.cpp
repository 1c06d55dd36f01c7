// The record of one read and the rules by which the readers' dates meet.

#include "image_record.h"

#include "ole_date.h"
#include "xmp_date.h"

#include <algorithm>
#include <cstring>
#include <ctime>

using namespace velmora;

namespace {

template <std::size_t N> void SetName(char (&field)[N], std::string& whole, std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), CImageRecord::kMaxDeviceName));
    whole.assign(text);
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace

CImageRecord::CImageRecord() {
    std::memset(&m_info, 0, sizeof(m_info));
}

void CImageRecord::Clear() {
    std::memset(&m_info, 0, sizeof(m_info));
    ClearFound();
}

void CImageRecord::ClearFound() {
    m_taken = {};
    m_takenInYears = {};
    m_xmpDate = {};
    m_iptcDate = {};
    m_creationTime = {};
    m_gpsTime = {};
    m_strSerial.clear();
    m_strMake.clear();
    m_strModel.clear();
    m_strLens.clear();
    m_thumbnail.clear();
}

void CImageRecord::SetMake(std::string_view text) {
    SetName(m_info.m_szCameraMake, m_strMake, text);
}

void CImageRecord::SetModel(std::string_view text) {
    SetName(m_info.m_szCameraModel, m_strModel, text);
}

void CImageRecord::SetTaken(const CFoundDate& date) {
    // A date outside the named years wipes no date within them, as a blank
    // one wipes nothing; the record still shows what the file states.
    if (InDatedYears(m_taken) && !InDatedYears(date) && !m_takenInYears.Found())
        m_takenInYears = m_taken;
    m_taken = date;
    if (date.source == DateSource::MovieHeader) {
        m_info.m_dtTaken = ole::FromTime(static_cast<std::time_t>(ole::SecondsOf(date.fields)));
    } else {
        m_info.m_dtTaken = ole::FromFields(date.fields).value_or(0.0);
    }
}

bool CImageRecord::TakeDate(const CFoundDate& date) {
    if (m_taken.Found() && !InDatedYears(m_taken) && !m_takenInYears.Found() && InDatedYears(date))
        m_takenInYears = date;
    if (m_taken.Found() || !date.Found())
        return false;
    SetTaken(date);
    return true;
}

void CImageRecord::TakeXmpPacket(std::string_view packet) {
    if (m_xmpDate.Found() && m_xmpDate.bTime)
        return;
    m_xmpDate = PreferDate(m_xmpDate, ParseXmpDate(packet));
}
