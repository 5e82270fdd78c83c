#include "patcher/PatchRun.h"
#include "patcher/Steps.h"

namespace pelvar {

// Placeholders until the file steps are built: each only hands on to the next step.
void BackupPackedFiles(PatchRun& run) {
    RunSecurityScripts(run);
}
void UnregisterComponents(PatchRun& run) {
    CopyNewFiles(run);
}
void CopyNewFiles(PatchRun& run) {
    RegisterComponents(run);
}
void RegisterComponents(PatchRun& run) {
    PerformFinalTask(run);
}

} // namespace pelvar
