#pragma once

#include "download/DownloadWalk.h"
#include "environment/Edition.h"

namespace pelvar {

// The scheduled download of an edition, its values kept in `walk`: the same run
// as the Download button, without a window. Returns the process exit code: 0 when the run
// completed or there was nothing to download, 1 when it ended on an error or a failure
// message (tampered update information, a damaged archive, a file that could not be fetched,
// a missing download folder, another run of the edition in progress).
int RunUnattendedDownload(DownloadWalk& walk, Edition edition);

} // namespace pelvar
