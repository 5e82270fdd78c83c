#pragma once

namespace pelvar {

struct PatchRun;

// What a step handler tells the driver: go on with the next step, or end the pass here (the
// handler has shown why).
enum class StepResult { Continue, Stop };

// The step handlers of the stepped pass, each in the file named beside it. A handler does its
// own step only; StepDriver runs them in order.

// Step 3: backup of the files the patches will replace, SY/GL detection (Backup.cpp).
StepResult BackupPackedFiles(PatchRun& run);
// Steps 4 and 5: security-database scripts and menu scripts (SecurityScripts.cpp).
StepResult RunSecurityScripts(PatchRun& run);
// Step 6: application and replication database scripts (ApplicationScripts.cpp).
StepResult RunApplicationScripts(PatchRun& run);
// Step 7: un-registration of components (Registration.cpp).
StepResult UnregisterComponents(PatchRun& run);
// Step 8: replacement and copying of the new files per packing list (ReplacementStep.cpp).
StepResult CopyNewFiles(PatchRun& run);
// Step 9: registration of components (Registration.cpp).
StepResult RegisterComponents(PatchRun& run);
// Recording of the new patch level (FinalTask.cpp).
StepResult PerformFinalTask(PatchRun& run);

} // namespace pelvar
