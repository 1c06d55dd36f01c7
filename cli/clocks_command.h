#pragma once

#include "cli_options.h"

#include <ostream>

// `clocks set DEVICE OFFSET [--from DATE] [--to DATE]`, `clocks clear DEVICE`
// and `clocks list` on the window's stored clock offsets; the options parser
// has checked the words. Returns the exit status.
int RunClocksCommand(const CCliOptions& options, std::ostream& out, std::ostream& err);
