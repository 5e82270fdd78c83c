#pragma once

#include <cstdint>
#include <string>

namespace pelvar {

struct AppState;
struct PatchRun;
class RunTimeError;

// The wizard's busy indicator: above 96 the bar starts again from 0, then rises by `step`
// (1, 2 or 4). It shows that work goes on, not how much is done. No wizard, no change.
void NudgeProgress(AppState& state, int step);

// PatchRoot/Process3.log: the stepped pass's progress records, which a resumed run reads.
std::string progressFilePath(const PatchRun& run);

// Appends one record to the progress file. Errors are shown as the wizard's error box and the
// caller goes on.
void WriteProgressLine(PatchRun& run, const std::string& text);

// Appends the statement journal's record after a script statement ran. A record that cannot be
// written is left out: a resumed run then runs that statement again, which beats a box per
// statement on a full disk.
void WriteStatementRecord(PatchRun& run);

// The wizard's error box: the error's number and description, information icon, AppTitle.
void ShowStepError(AppState& state, std::int64_t number, const std::string& description);
// The same for a step of the run, which marks the run as failed (RunFailed).
void ShowStepError(PatchRun& run, std::int64_t number, const std::string& description);
// The same for a trapped error, whose subject (a path, say) goes to the run's summary.
void ShowStepError(PatchRun& run, const RunTimeError& e);

} // namespace pelvar
