#pragma once

#include "found_date.h"
#include "image_type.h"
#include "jpeg_info.h"

#include <string>
#include <vector>

// The facts of a record as the JPEG Information window lists them: one
// label and value per fact that applies, in a fixed order. Shared by the
// window and the terminal front end.
struct CInfoRow {
    std::string strLabel;
    std::string strValue;
};

// With `taken`, the date's source follows the date. A record of another
// `format` lists "Color/BW:" and "Jpeg process:" only when a JPEG frame header
// (a raw file's embedded JPEG) gave them: it has nothing to fill them from.
std::vector<CInfoRow> JpegInfoRows(const CJpegInfo& info,
                                   const velmora::CFoundDate* taken = nullptr,
                                   velmora::FileFormat format = velmora::FileFormat::Jpeg);
