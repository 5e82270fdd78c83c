#include "platform/base/CrashPoint.h"

#include <csignal>
#include <cstdlib>

namespace pelvar {

void crashPoint(const std::string& name) {
    const char* at = std::getenv("LIVEUPDATE_TEST_CRASH_AT");
    if (at != nullptr && name == at) {
        std::raise(SIGKILL);
    }
}

} // namespace pelvar
