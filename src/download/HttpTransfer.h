#pragma once

#include <string>

namespace pelvar {

struct AppState;

// Fetches the update-information files of the HTTP location in DownloadLocation and every
// listed archive that is neither on disk nor already applied. Handles its own errors.
void StartHTTP(AppState& state);

// Fetches one URL into one file, streaming, whatever the status code. Raises 5 for an empty
// URL or path, 0x800403E8 when the server cannot be reached.
bool HTTPGetFile(AppState& state, const std::string& url, const std::string& localPath);

} // namespace pelvar
