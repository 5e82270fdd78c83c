#pragma once

namespace pelvar {

struct DownloadWalk;

// Logs in to the FTP server of DownloadLocation, fetches its update-information file and
// every listed archive not yet in the download folder.
void StartFTP(DownloadWalk& walk);

} // namespace pelvar
