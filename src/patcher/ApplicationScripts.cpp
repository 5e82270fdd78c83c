#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"

namespace pelvar {

// Placeholder until the application-database scripts are built: records the step and goes on.
void RunApplicationScripts(PatchRun& run) {
    WriteProgressLine(run, "Step6: Over");
    WriteProgressLine(run, "Step7: Started");
    UnregisterComponents(run);
}

} // namespace pelvar
