#include "patcher/WizardProgress.h"

#include "environment/AppState.h"
#include "environment/Surfaces.h"
#include "patcher/PatchRun.h"
#include "platform/base/CrashPoint.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Durability.h"
#include "platform/files/Files.h"
#include "platform/host/Prompter.h"

namespace pelvar {

void NudgeProgress(AppState& state, int step) {
    if (!state.wizard) {
        return;
    }
    float value = state.wizard->progress();
    if (value > 96) {
        value = 0;
    }
    state.wizard->setProgress(value + static_cast<float>(step));
}

namespace {

// The records that say files were written: the backups (step 3) and the program files (step 8).
// The database steps' records follow commits, which are durable by themselves.
bool followsFileWork(const std::string& record) {
    return record == "Step3: Over" || record == "Step8: Over";
}

} // namespace

std::string progressFilePath(const PatchRun& run) {
    return files::join(run.PatchRoot, "Process3.log");
}

void WriteProgressLine(PatchRun& run, const std::string& text) {
    try {
        if (followsFileWork(text)) {
            // One flush of the whole file system costs far less than one per file, and after a
            // power cut the record is never ahead of the files it vouches for.
            files::syncFileSystem(run.PatchRoot);
        }
        files::appendLine(progressFilePath(run), text);
        crashPoint(text);
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
    }
}

void WriteStatementRecord(PatchRun& run) {
    const std::string record = run.Statements.record();
    try {
        files::appendLine(progressFilePath(run), record);
    } catch (const RunTimeError&) {
        return;
    }
    crashPoint(record);
}

void ShowStepError(PatchRun& run, std::int64_t number, const std::string& description) {
    run.state.RunFailed = true;
    run.state.Summary.problem("the run stopped: " + description + " (" +
                              RunTimeError(number, description).numberText() + ")");
    ShowStepError(run.state, number, description);
}

void ShowStepError(PatchRun& run, const RunTimeError& e) {
    run.state.RunFailed = true;
    // The box shows the description alone; the summary names what it was about.
    run.state.Summary.problem("the run stopped: " + e.description() + " (" + e.numberText() + ")" +
                              (e.source().empty() ? "" : ": " + e.source()));
    ShowStepError(run.state, e.number(), e.description());
}

void ShowStepError(AppState& state, std::int64_t number, const std::string& description) {
    // HRESULTs show as the negative numbers the host prints.
    state.services.prompter.show(RunTimeError(number, description).numberText() + " " + description,
                                 box::Information, state.AppTitle);
}

} // namespace pelvar
