#pragma once

#include "platform/process/EditionLock.h"

#include <optional>

namespace pelvar {

struct PatchRun;

// One wizard run per product folder, whatever its download folder: the second run is told
// that another update is in progress and fails. The lock is held while the result lives.
std::optional<EditionLock> LockProductFolder(PatchRun& run);

// Removes the scratch files a killed run left in the folders this run writes (one may hold the
// database password). Call with the product folder locked.
void RemoveLeftovers(PatchRun& run);

// Raises 75 when a folder or file the run writes in the product folder (PatchTemp, Temp3,
// Backup, Process3.log, GenUpdate.dat) is reached through a symbolic link, and logs it.
void RefuseInstallationLinks(PatchRun& run);

// After a run that ended normally: empties Temp3 and removes the unpacked patch folders.
void RemoveWorkingCopies(PatchRun& run);

} // namespace pelvar
