#include "environment/EndHostProcess.h"

#include "environment/AppState.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"

namespace pelvar {

void EndHostProcess(AppState& state) {
    Host& host = state.services.host;
    if (!host.hasWindowTitled(state.AppTitle)) {
        state.services.prompter.show("Error finding target window handle", box::Ok, {});
        return;
    }
    // The window belongs to this process, so its id, handle and termination cannot fail
    // separately here: terminating ends the host with exit code 0.
    host.terminate();
}

} // namespace pelvar
