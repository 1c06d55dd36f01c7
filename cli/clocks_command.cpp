#include "clocks_command.h"

#include "devices.h"
#include "stored_format.h"

#include <cstdio>

namespace {

// A device key as users typed it: the %xx its bytes were kept as, read back.
std::string KeyText(const std::string& key) {
    std::string text;
    for (std::size_t i = 0; i < key.size(); ++i) {
        unsigned value = 0;
        if (key[i] == '%' && i + 2 < key.size() &&
            std::sscanf(key.c_str() + i + 1, "%2x", &value) == 1) {
            text += static_cast<char>(value);
            i += 2;
        } else {
            text += key[i];
        }
    }
    return text;
}

// `clocks list`: each device's stored offsets, one line each: DEVICE, OFFSET,
// FROM and TO ("-" for an open end), split by tabs.
int ListClocks(std::ostream& out) {
    const auto end = [](std::int64_t millis, std::int64_t open) {
        return millis == open ? std::string("-") : velmora::SpanDateText(millis);
    };
    for (const auto& [key, spans] : StoredClockOffsets()) {
        for (const velmora::CClockSpan& span : spans)
            out << KeyText(key) << '\t' << velmora::OffsetSecondsText(span.nOffset) << '\t'
                << end(span.nFrom, INT64_MIN) << '\t' << end(span.nTo, INT64_MAX) << '\n';
    }
    return 0;
}

} // namespace

int RunClocksCommand(const CCliOptions& options, std::ostream& out, std::ostream& err) {
    const std::vector<std::string>& words = options.operands;
    if (words[0] == "list")
        return ListClocks(out);
    const std::string key = velmora::DeviceKeyOfText(words[1]);
    const bool set = words[0] == "set";
    const velmora::CClockOffsets stored = StoredClockOffsets();
    const auto found = stored.find(key);
    velmora::CClockSpans spans = found != stored.end() ? found->second : velmora::CClockSpans();
    const bool had = !spans.empty();
    velmora::CClockSpan span;
    if (set) {
        span.nOffset = *velmora::ParseOffsetSeconds(words[2]);
        span.nFrom = options.spanFrom.value_or(INT64_MIN);
        span.nTo = options.spanTo.value_or(INT64_MAX);
        // No offset is stored as none, as the window does.
        velmora::StoreSpan(spans, span);
    } else {
        spans.clear(); // even values that are not offsets
    }
    if (const std::string error = StoreClockSpans(key, spans); !error.empty()) {
        err << "velmora-cli: " << error << '\n';
        return 2;
    }
    if (!set && !had) {
        err << "velmora-cli: no clock offset is stored for '" << words[1] << "'\n";
        return 1;
    }
    out << words[1] << ": "
        << (!set                ? std::string("every clock offset removed")
            : span.nOffset != 0 ? "clock offset " + velmora::OffsetSecondsText(span.nOffset) +
                                      " stored for " + velmora::SpanText(span)
                                : "clock offset removed for " + velmora::SpanText(span))
        << '\n';
    return 0;
}
