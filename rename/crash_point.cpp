#include "crash_point.h"

#ifdef VELMORA_TEST_HOOKS

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
    bool bForceLink = false;
    bool bIgnoreBirthTimes = false;

    CCrashSetting() {
        const char* force = std::getenv("VELMORA_FORCE_LINK");
        bForceLink = force != nullptr && std::strcmp(force, "1") == 0;
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
    return Setting().bForceLink;
}

bool IgnoreBirthTimes() {
    return Setting().bIgnoreBirthTimes;
}

void ArmIgnoreBirthTimes(bool ignore) {
    Setting().bIgnoreBirthTimes = ignore;
}

void ArmCrashPoint(const char* where, long at, bool forceLink) {
    CCrashSetting& setting = Setting();
    setting.strWhere = where;
    setting.nAt = at;
    setting.nPassed = 0;
    setting.bForceLink = forceLink;
}

} // namespace velmora

#else

// The installed programs: the environment is never read.
namespace velmora {

void CrashPoint(const char*) {}

bool ForceLinkRename() {
    return false;
}

bool IgnoreBirthTimes() {
    return false;
}

} // namespace velmora

#endif
