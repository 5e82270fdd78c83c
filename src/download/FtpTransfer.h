#pragma once

namespace pelvar {

struct AppState;

// Logs in to the FTP server of DownloadLocation, fetches its update-information file and
// every listed archive not yet in the download folder.
void StartFTP(AppState& state);

} // namespace pelvar
