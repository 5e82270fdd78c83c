#pragma once

#include "environment/LocationRecord.h"
#include "platform/net/InternetClient.h"

#include <string>

namespace pelvar {

struct DownloadWalk;

// Fetches the update-information files of the HTTP location in DownloadLocation and every
// listed archive that is neither on disk nor already applied. Handles its own errors.
void StartHTTP(DownloadWalk& walk);

// Fetches one URL into one file, streaming, whatever the status code. Raises 5 for an empty
// URL or path, 0x800403E8 when the server cannot be reached. With expected content (signed
// mode) a file that does not match is refused, logged, and the result is false. `status`, when
// given, receives the server's HTTP status code. A resumable fetch (an archive) continues what
// an interrupted run left.
bool HTTPGetFile(DownloadWalk& walk, const std::string& url, const std::string& localPath,
                 const ExpectedContent& expected = {}, long* status = nullptr,
                 bool resumable = false);

// The address an HTTP location's files are fetched below, its port placed after the host.
std::string httpBaseAddress(const LocationRecord& location);

// The name HTTP requests carry as their agent: the running program's.
std::string agentName();

} // namespace pelvar
