#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/files/Files.h"

namespace pelvar {

namespace {

// Hands the step's batch file, when the backup step wrote one, to the batch runner.
StepResult runBatchStep(PatchRun& run, const std::string& batch, const char* started,
                        const char* over) {
    NudgeProgress(run.state, 2);
    LogWrite(run.state, started);
    if (files::fileExists(batch)) {
        run.state.services.launcher.start(batch, true);
    }
    LogWrite(run.state, over);
    return StepResult::Continue;
}

} // namespace

StepResult UnregisterComponents(PatchRun& run) {
    return runBatchStep(run, run.UnregBatch, "Started un-registering Component(s)",
                        "Un-registering Component(s) over");
}

StepResult RegisterComponents(PatchRun& run) {
    return runBatchStep(run, run.RegBatch, "Started registering components.",
                        "Registering components Over.");
}

} // namespace pelvar
