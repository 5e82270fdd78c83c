#pragma once

#include "patcher/ResumeTable.h"
#include "patcher/Steps.h"

namespace pelvar {

struct PatchRun;

// Runs the stepped pass from `first` to the final task, stopping early when a step says so
// or, for the steps whose errors end the run, after an error box.
void runStepsFrom(PatchRun& run, ResumeStep first);

// Runs one step alone with its progress records and error handling; the next step is not
// started.
StepResult runSingleStep(PatchRun& run, ResumeStep step);

} // namespace pelvar
