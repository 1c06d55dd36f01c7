#include "crash_point.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace velmora {
namespace {

struct CCrashSetting {
    std::string strWhere;
    long nAt = -1;
    long nPassed = 0;

    CCrashSetting() {
        const char* text = std::getenv("VELMORA_CRASH_AT");
        const char* colon = text != nullptr ? std::strchr(text, ':') : nullptr;
        if (colon == nullptr)
            return;
        strWhere.assign(text, colon);
        nAt = std::strtol(colon + 1, nullptr, 10);
    }
};

CCrashSetting& Setting() {
    static CCrashSetting setting;
    return setting;
}

} // namespace

void CrashPoint(const char* where) {
    CCrashSetting& setting = Setting();
    if (setting.nAt < 0 || setting.strWhere != where)
        return;
    if (setting.nPassed++ == setting.nAt)
        kill(getpid(), SIGKILL);
}

bool ForceLinkRename() {
    static const bool force = [] {
        const char* text = std::getenv("VELMORA_FORCE_LINK");
        return text != nullptr && std::strcmp(text, "1") == 0;
    }();
    return force;
}

} // namespace velmora
