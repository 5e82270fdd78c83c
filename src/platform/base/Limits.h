#pragma once

#include <cstdint>

// Caps that keep a hostile or broken server from exhausting memory, disk or time. Each has a
// default and an environment variable that overrides it (README, "Limits").
namespace pelvar::limits {

// Update-information files are read line by line up to these sizes; beyond them the file
// is treated as tampered.
constexpr std::int64_t InfoFileBytes = 4LL << 20;
constexpr std::int64_t InfoLineBytes = 64LL << 10;

// A transfer slower than this many bytes per second over the given seconds is given up.
// LIVEUPDATE_MIN_SPEED_BYTES (1024), LIVEUPDATE_MIN_SPEED_SECONDS (60).
std::int64_t minimumSpeedBytes();
std::int64_t minimumSpeedSeconds();

// Largest file one transfer may write. LIVEUPDATE_MAX_FILE_MB (2048).
std::int64_t maximumFileBytes();

// Largest total one extraction may write, and its largest ratio to the archive's size.
// LIVEUPDATE_MAX_UNPACKED_MB (4096), LIVEUPDATE_MAX_UNPACK_RATIO (200).
std::int64_t maximumUnpackedBytes();
std::int64_t maximumUnpackRatio();

// Most entries one archive may hold: work grows with the count, so a hostile archive of tiny
// entries is refused before any is read. LIVEUPDATE_MAX_ARCHIVE_ENTRIES (25000).
std::int64_t maximumArchiveEntries();

} // namespace pelvar::limits
