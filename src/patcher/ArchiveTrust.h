#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// With trusted keys, what the wizard and `liveupdate apply` install must be what a configured
// location signed, checked again here because the download folder may have changed since the
// download. Without keys every function behaves as the plain copy always did.

// Brings the update-information files of `folder` into PatchFolder. With keys, only the files
// of locations that verify again (signature, edition, name, serial not below the stored one;
// not expiry, so that an interrupted run can still resume) are taken, from exactly the bytes
// checked; any other ".dat" is ignored, each refusal logged. The signed entries of their
// archives become the run's. False without keys: nothing was done, the plain copy follows.
bool CopySignedInformationFiles(PatchRun& run, const std::string& folder);

// Copies one archive of `folder` into PatchFolder. With keys the archive is hashed while it
// is copied into a new mode-600 file and compared with its signed entry: a mismatch is logged,
// the archive deleted, no copy made, and the run stops as for a damaged archive. An unpacked
// folder of the same name goes, to be made afresh from the verified copy.
void CopyTrustedArchive(PatchRun& run, const std::string& folder, const std::string& name);

// The progress-file record of the verified hash of each unpacked folder's archive, appended
// to the "Patches:" line (empty without keys).
std::string ArchiveHashesRecord(const PatchRun& run);

// Splits that record off a "Patches:" line read back, keeping the hashes for the checks below.
std::string TakeArchiveHashes(PatchRun& run, const std::string& line);

// Whether a resumed run may use the unpacked folder, or unpack `archive` (a path) into it:
// without keys always; with keys only when this folder's archive hash was recorded and the
// archive, if it must be unpacked again, still has it. A refusal is logged.
bool ResumedFolderTrusted(PatchRun& run, const std::string& folder, const std::string& archive);

} // namespace pelvar
