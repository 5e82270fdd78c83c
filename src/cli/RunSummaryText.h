#pragma once

#include <ostream>

namespace pelvar {
struct AppState;
struct PatchRun;
} // namespace pelvar

namespace pelvar::cli {

// The closing lines of `download` and `apply` on standard error: what the run fetched, what it
// refused or could not do and why, what it applied and what still waits. The message boxes and
// the update log stay as they are; these lines say what really happened.
void printDownloadSummary(const AppState& state, std::ostream& out);
void printApplySummary(const PatchRun& run, std::ostream& out);

// Whether an apply run left something undone a box does not stop on: a failed statement or a
// company database that could not be opened.
bool applyLeftWorkUndone(const AppState& state);

} // namespace pelvar::cli
