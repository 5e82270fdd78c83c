#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// Copies the update-information files and the new archives from the download folder
// (`folder`, DownloadFolder + separator) into PatchFolder and applies them through
// VerifyOrResume; afterwards the progress file is deleted and, when archives were applied,
// "Required file has been updated successfully." ends the host process.
void CopyDownloadedUpdates(PatchRun& run, const std::string& folder);

// Reads GenUpdate.dat and the update-information files in PatchFolder into CustomPatchFiles,
// PatchFiles and UpdateEntries, deleting each information file after reading it.
void CollectPendingUpdates(PatchRun& run);

// Tests and unpacks every pending archive into PatchFolder/<base name> (unless that folder
// exists) and lists the folders in PatchFolders. A damaged archive ends the host process.
void UnzipAndVerify(PatchRun& run, int editionNumber);

// The patch folders of the pending archives that are unpacked already (a resumed run).
void ListUnpackedFolders(PatchRun& run);

// A resumed run's patch folders: the ones its "Patches:" record names (unpacked again from
// PatchFolder's archives when missing), or without that record the unpacked pending ones.
// False, with the reason logged, when a recorded patch can be found neither way.
bool ResumeRecordedPatches(PatchRun& run);

} // namespace pelvar
