#pragma once

namespace pelvar {

struct DownloadWalk;
class ZipArchive;

// Tests and trial-extracts every new archive of PatchFiles, reports the outcome, offers the
// log and the hand-over to PelvarPU. A damaged archive ends the host process.
void VerifyDownloadedPatches(DownloadWalk& walk, ZipArchive& zip);

} // namespace pelvar
