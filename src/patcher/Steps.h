#pragma once

namespace pelvar {

struct PatchRun;

// The step handlers of the stepped pass. Each calls the next when it ends, so starting the
// backup handler runs the whole chain 3, 5, 6, 7, 8, 9 and the final task.

// Step 3: backup of the files the patches will replace, SY/GL detection (Backup.cpp).
void BackupPackedFiles(PatchRun& run);
// Steps 4 and 5: security-database scripts and menu scripts (SecurityScripts.cpp).
void RunSecurityScripts(PatchRun& run);
// Step 6: application and replication database scripts (ApplicationScripts.cpp).
void RunApplicationScripts(PatchRun& run);
// Step 7: un-registration of components.
void UnregisterComponents(PatchRun& run);
// Step 8: replacement and copying of the new files per packing list.
void CopyNewFiles(PatchRun& run);
// Step 9: registration of components, then the final task.
void RegisterComponents(PatchRun& run);
// Recording of the new patch level (FinalTask.cpp).
void PerformFinalTask(PatchRun& run);

} // namespace pelvar
