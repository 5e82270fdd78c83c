#pragma once

#include <string>
#include <vector>

namespace pelvar {

struct PatchRun;

// What a rollback did, for the command line's closing lines.
struct RollbackReport {
    std::string patch;
    std::string archive;
    std::vector<std::string> restored; // native paths
    int unregistered = 0;
    int registered = 0;
    int failedFiles = 0;
};

// Puts back the program files of a patch (the one whose backup archive was written last when
// `patchName` is empty) from its backup archive in PatchRoot/Backup: un-registers its
// components, writes every file back where the archive's list says it was installed, each one
// through a synced scratch file renamed over it, and registers them again. Database changes
// stay. Refuses, after a message and changing nothing, when another run holds the product
// folder or the edition, when there is no such archive, or when the archive does not say
// where every one of its files belongs. False when it refused or a file could not be written.
// Needs the edition loaded (PatchRoot, DownloadFolder for the update log).
bool RollBackPatch(PatchRun& run, const std::string& patchName, RollbackReport& report);

} // namespace pelvar
