#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/files/Files.h"

namespace pelvar {

StepResult UnregisterComponents(PatchRun& run) {
    AppState& state = run.state;
    NudgeProgress(state, 2);
    LogWrite(state, "Started un-registering Component(s)");
    if (files::fileExists(run.UnregBatch)) {
        state.services.launcher.start(run.UnregBatch, true);
    }
    LogWrite(state, "Un-registering Component(s) over");
    return StepResult::Continue;
}

StepResult RegisterComponents(PatchRun& run) {
    AppState& state = run.state;
    NudgeProgress(state, 2);
    LogWrite(state, "Started registering components.");
    if (files::fileExists(run.RegBatch)) {
        state.services.launcher.start(run.RegBatch, true);
    }
    LogWrite(state, "Registering components Over.");
    return StepResult::Continue;
}

} // namespace pelvar
