#pragma once

namespace pelvar {

struct AppState;

// Ends the process that shows the window titled AppTitle, which is this host itself.
// Each failed step shows its message and returns without an error.
void EndHostProcess(AppState& state);

} // namespace pelvar
