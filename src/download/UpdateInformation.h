#pragma once

#include <cstdint>
#include <string>

namespace pelvar {

struct AppState;
struct DownloadWalk;

// Reads Pelvar9_<Description>.dat and .P9Q from the download folder into CustomPatchFiles,
// PatchFiles and UpdateEntries; a tampered entry ends the downloader.
void ReadUpdateInformation(AppState& state);

// The same from the bytes of both files as they were verified, never read again from disk.
void ReadUpdateInformationFrom(AppState& state, const std::string& dat, const std::string& p9q);

// Whether AuthorisedPOSPatches approves the release (an empty or missing table approves all).
bool IsReleaseApproved(AppState& state, const std::string& release);

// The system error code of a transfer that failed with the server's own answer.
inline constexpr std::int32_t ExtendedError = 12003;

// Reports a failed transfer step. Only the extended error (12003) is reported, with the
// server's last response `lastResponse` and its number.
void ShowTransferError(DownloadWalk& walk, std::int32_t code, const std::string& operation,
                       const std::string& lastResponse, long responseNumber);

} // namespace pelvar
