#pragma once

#include <functional>
#include <string>

namespace pelvar {

struct DownloadWalk;

// Fetches one remote file of the current location into a local path; false when it failed
// (a missing signature then shows as "no signature").
using InformationFetch =
    std::function<bool(const std::string& remoteName, const std::string& localPath)>;

enum class SignedOutcome { Unsigned, Accepted, Refused };

// The update-information step of a transfer when keys are trusted. Unsigned: nothing fetched,
// the "not signed" line logged; the transfer goes on as always. Accepted: both files and both
// signatures fetched and checked, the serial recorded, the lists read from exactly the bytes
// checked and SignedArchives filled. Refused: why is logged, "Updates Information Tampered"
// shown, the local files deleted; the walk goes on with the next location.
SignedOutcome fetchSignedInformation(DownloadWalk& walk, const InformationFetch& fetch);

} // namespace pelvar

namespace pelvar {

struct ExpectedContent;

// What the signed entry says the archive must be; size -1 in unsigned mode.
ExpectedContent signedContentOf(const DownloadWalk& walk, const std::string& name);

// Whether the archive is already in the download folder and may be skipped: in unsigned mode
// when the file exists; in signed mode only when its size and SHA-256 match the signed entry
// (a copy that does not is deleted, to be fetched again). A name the location did not sign is
// always skipped (logged), never fetched from it.
bool archiveAlreadyPresent(DownloadWalk& walk, const std::string& name, const std::string& path);

// Logs why a fetched archive was refused; the run then reports a failure.
void reportRefusedArchive(DownloadWalk& walk, const std::string& name, const std::string& why);

} // namespace pelvar
