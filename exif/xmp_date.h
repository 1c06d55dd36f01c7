#pragma once

#include "found_date.h"

#include <string_view>

namespace velmora {

// The capture date an XMP packet states: exif:DateTimeOriginal, then
// photoshop:DateCreated, then xmp:CreateDate (properties matched by their
// namespace URI, as attributes of rdf:Description or as elements), the
// first that gives a time of day winning over one that gives a date only
// (PreferDate). Source XmpOriginal, XmpDateCreated or XmpCreateDate; None
// when the packet states none. Reads at most the packet's bytes.
CFoundDate ParseXmpDate(std::string_view packet);

} // namespace velmora
