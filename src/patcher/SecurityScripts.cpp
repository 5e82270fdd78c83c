#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"

namespace pelvar {

// Placeholder until the security-database scripts are built: records the step and goes on.
void RunSecurityScripts(PatchRun& run) {
    WriteProgressLine(run, "Step5: Over");
    WriteProgressLine(run, "Step6: Started");
    RunApplicationScripts(run);
}

} // namespace pelvar
