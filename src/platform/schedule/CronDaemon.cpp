#include "platform/schedule/CronDaemon.h"

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace pelvar {
namespace {

bool isCronDaemonName(const std::string& name) {
    static constexpr std::array names{"cron", "crond", "cronie", "fcron", "dcron", "bcron-sched"};
    for (const char* known : names) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

// "crond" of busybox shows as "busybox" in comm; its command line names the applet.
bool isBusyboxCrond(const std::filesystem::path& process) {
    std::ifstream in(process / "cmdline", std::ios::binary);
    std::string first;
    std::string second;
    std::getline(in, first, '\0');
    std::getline(in, second, '\0');
    return first.ends_with("crond") || second == "crond";
}

} // namespace

bool cronDaemonRunning(const std::string& procFolder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(procFolder, ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid.front()))) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (!std::getline(comm, name)) {
            continue; // ended meanwhile
        }
        if (isCronDaemonName(name) || (name == "busybox" && isBusyboxCrond(entry.path()))) {
            return true;
        }
    }
    return false;
}

} // namespace pelvar
