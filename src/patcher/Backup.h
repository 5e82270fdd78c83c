#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// BackupFolder: PatchRoot/Backup/PatchUpdate + node identifier + "ddmmyy", created when missing.
void FormBackupFolder(PatchRun& run);

// The first pass's backup: the installed versions of the files each custom patch replaces,
// zipped per patch into BackupFolder; fills the batch files.
void BackupProgramFiles(PatchRun& run);

// Creates archivePath from the files of sourceFolder matching fileSpec, leaving out
// "tmpSysPara.mdb". The archive is written under a temporary name and renamed, so an archive
// under its final name is always complete. False after showing the error box.
bool ZipFolder(PatchRun& run, const std::string& archivePath, const std::string& sourceFolder,
               const std::string& fileSpec);

} // namespace pelvar
