#include "platform/base/Limits.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace pelvar::limits {
namespace {

// A positive whole number from the environment, or the default.
std::int64_t fromEnvironment(const char* name, std::int64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) {
        return fallback;
    }
    std::int64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [at, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && at == end && value > 0 ? value : fallback;
}

constexpr std::int64_t MiB = 1LL << 20;
// Megabyte settings above this would overflow byte counts.
constexpr std::int64_t MaxMegabytes = 1LL << 30;

std::int64_t megabytes(const char* name, std::int64_t fallback) {
    const std::int64_t value = fromEnvironment(name, fallback);
    return (value > MaxMegabytes ? MaxMegabytes : value) * MiB;
}

} // namespace

std::int64_t minimumSpeedBytes() {
    return fromEnvironment("LIVEUPDATE_MIN_SPEED_BYTES", 1024);
}
std::int64_t minimumSpeedSeconds() {
    return fromEnvironment("LIVEUPDATE_MIN_SPEED_SECONDS", 60);
}
std::int64_t maximumFileBytes() {
    return megabytes("LIVEUPDATE_MAX_FILE_MB", 2048);
}
std::int64_t maximumUnpackedBytes() {
    return megabytes("LIVEUPDATE_MAX_UNPACKED_MB", 4096);
}
std::int64_t maximumUnpackRatio() {
    return fromEnvironment("LIVEUPDATE_MAX_UNPACK_RATIO", 200);
}
std::int64_t maximumArchiveEntries() {
    return fromEnvironment("LIVEUPDATE_MAX_ARCHIVE_ENTRIES", 25000);
}

} // namespace pelvar::limits
