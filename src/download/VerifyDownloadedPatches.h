#pragma once

namespace pelvar {

struct AppState;
class ZipArchive;

// Tests and trial-extracts every new archive of PatchFiles, reports the outcome, offers the
// log and the hand-over to PelvarPU. A damaged archive ends the host process.
void VerifyDownloadedPatches(AppState& state, ZipArchive& zip);

} // namespace pelvar
