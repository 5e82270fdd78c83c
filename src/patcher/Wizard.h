#pragma once

#include "environment/Edition.h"

#include <string>

namespace pelvar {

struct PatchRun;

// The update wizard's work, shared by the window (frmLU), PelvarPU and `liveupdate apply`.
// Message boxes go through the state's Prompter, progress to state.wizard; stopping messages
// end the host process through EndHostProcess.

// "Pelvar 9 POS LiveUpdate" / "Pelvar 9 HO LiveUpdate".
std::string WizardCaption(Edition edition);
// "Pelvar 9 POS LiveUpdate will check for available updates" / the HO text.
std::string WizardHeading(Edition edition);

// Form_Load's work: the state's edition, the product system file and the
// database settings, the security-database connection, PatchRoot and the run's folders.
void LoadWizard(PatchRun& run);

// "Check for Updates" + Next: RunMode "Installation", the state's edition from the run's,
// the download session, the busy indicator, ApplyUpdates. Does not end the host process.
void CheckForUpdates(PatchRun& run);

// The scheduled run's timer: the download session only.
void RunScheduledDownload(PatchRun& run);

// The value of the first "Current Version=" line of PatchRoot/<fileName>; empty when none.
std::string ReadCurrentVersion(const PatchRun& run, const std::string& fileName);

void ApplyUpdates(PatchRun& run);
void VerifyOrResume(PatchRun& run);
void RunPatchSteps(PatchRun& run);

} // namespace pelvar
