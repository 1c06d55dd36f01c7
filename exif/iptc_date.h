#pragma once

#include "found_date.h"

#include <cstddef>

namespace velmora {

// The date an IPTC record states, read from the payload of a JPEG APP13
// section (from "Photoshop 3.0\0" on): 2:55 DateCreated "CCYYMMDD" with
// 2:60 TimeCreated "HHMMSS±HHMM", from the first 0x0404 resource block that
// holds a valid 2:55. Source IptcCreated; bTime when 2:60 gives a time, the
// offset when it gives one. None when there is no such date. Reads at most
// `size` bytes; a section cut anywhere gives what was complete before it.
CFoundDate ParseIptcDate(const unsigned char* data, std::size_t size);

} // namespace velmora
