#include "info_command.h"

#include "image_reader.h"
#include "jpeg_file.h"
#include "jpeg_info_rows.h"
#include "json_writer.h"
#include "ole_date.h"
#include "string_table.h"

#include <cstdio>
#include <ostream>

using namespace velmora;

namespace {

std::string DateText(double date) {
    return DateFieldsText(ole::ToFields(date));
}

} // namespace

std::string InfoJsonLine(const std::string& file, bool ok, const CJpegFile& reader,
                         bool byContent) {
    const CJpegInfo& info = reader.m_info;
    CJsonObject json;
    json.Text("file", file).Bool("ok", ok).Integer("error_id", reader.m_nErrorId);
    if (ok && reader.m_nErrorId == 0)
        json.Null("error");
    else
        json.Text("error", ReadFailureText(reader, file.c_str(), byContent));
    json.Text("file_name", info.m_szFileName).Integer("file_time", info.m_fileTime);
    json.Text("make", info.m_szCameraMake).Text("model", info.m_szCameraModel);
    const std::string taken = info.m_dtTaken != 0.0 ? DateText(info.m_dtTaken) : std::string();
    if (taken.empty())
        json.Null("date_taken");
    else
        json.Text("date_taken", taken);
    json.Integer("date_value", info.DateTakenAsTime());
    if (reader.m_taken.Found() && !taken.empty())
        json.Text("date_source", DateSourceId(reader.m_taken.source));
    else
        json.Null("date_source");
    if (reader.m_taken.HasOffset() && !taken.empty())
        json.Text("offset", OffsetText(reader.m_taken.nOffset));
    else
        json.Null("offset");
    json.Integer("width", info.m_nWidth).Integer("height", info.m_nHeight);
    json.Integer("color", info.m_bColor).Integer("process", info.m_nProcess);
    json.Integer("orientation", info.m_nOrientation).Integer("flash", info.m_bFlash);
    json.Float("focal_length", info.m_fFocalLength).Float("exposure_time", info.m_fExposureTime);
    json.Float("aperture", info.m_fAperture).Float("distance", info.m_fDistance);
    json.Float("ccd_width", info.m_fCcdWidth).Float("exposure_bias", info.m_fExposureBias);
    json.Integer("white_balance", info.m_nWhiteBalance);
    json.Integer("metering_mode", info.m_nMeteringMode);
    json.Integer("exposure_program", info.m_nExposureProgram);
    json.Integer("iso", info.m_nIsoEquivalent).Text("comment", info.m_szComment);
    return json.Finish();
}

int RunInfoJson(const std::vector<std::string>& files, bool byContent, std::ostream& out) {
    CJpegFile reader;
    int status = 0;
    for (const std::string& file : files) {
        // A file that cannot be opened leaves the record as it was; clear it so
        // that its line does not show the previous file's data.
        reader.FreeSections();
        const bool ok = byContent ? reader.LoadImage(file.c_str()) : reader.LoadJpeg(file.c_str());
        if (!ok)
            status = 1;
        out << InfoJsonLine(file, ok, reader, byContent) << '\n';
    }
    out.flush();
    return status;
}

int RunInfoText(const std::vector<std::string>& files, bool byContent, std::ostream& out,
                std::ostream& err) {
    CJpegFile reader;
    int status = 0;
    bool first = true;
    for (const std::string& file : files) {
        if (!(byContent ? reader.LoadImage(file.c_str()) : reader.LoadJpeg(file.c_str()))) {
            status = 1;
            err << "velmora-cli: " << file << ": "
                << ReadFailureText(reader, file.c_str(), byContent) << '\n';
            continue;
        }
        if (!first)
            out << '\n';
        first = false;
        for (const CInfoRow& row : JpegInfoRows(reader.m_info, &reader.m_taken, reader.m_format))
            out << row.strLabel << '\t' << row.strValue << '\n';
    }
    out.flush();
    return status;
}
