#include "patcher/StepDriver.h"

#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptSteps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

#include <array>
#include <optional>
#include <string>

namespace pelvar {
namespace {

using scriptsteps::ListSeparator;

// The resume values of step 6: the script lists a resumed run would need.
void writeScriptLists(PatchRun& run) {
    if (!run.DbsScriptList.empty()) {
        WriteProgressLine(run, "strDBSFile:" + text::joinText(run.DbsScriptList, ListSeparator));
    }
    if (!run.DbaScriptList.empty()) {
        WriteProgressLine(run, "strDBAFile:" + text::joinText(run.DbaScriptList, ListSeparator));
    }
    if (run.state.edition == Edition::Ho && !run.RbsScriptList.empty()) {
        WriteProgressLine(run, "strRBSFile:" + text::joinText(run.RbsScriptList, ListSeparator));
    }
}

struct Step {
    ResumeStep step;
    int number;
    StepResult (*handler)(PatchRun&);
    const char* atStart;             // progress record before the handler, or none
    const char* over;                // progress record after it, or none
    void (*resumeValues)(PatchRun&); // records written after `over`, or none
    const char* nextStarted;         // the next step's "Started" record, or none
    bool errorStops;                 // an error shows its box and ends the pass; else it is logged
};

// Step 4 has no handler of its own: step 3 marks it started and the security step follows.
// Step 9 writes no "Over": a run that ends during the final task resumes with step 9.
constexpr std::array<Step, 7> Table{{
    {ResumeStep::Backup, 3, BackupPackedFiles, "Step3: Started", "Step3: Over", nullptr,
     "Step4: Started", true},
    {ResumeStep::SecurityScripts, 5, RunSecurityScripts, nullptr, "Step5: Over", nullptr,
     "Step6: Started", false},
    {ResumeStep::ApplicationScripts, 6, RunApplicationScripts, nullptr, "Step6: Over",
     writeScriptLists, "Step7: Started", false},
    {ResumeStep::Unregister, 7, UnregisterComponents, nullptr, "Step7: Over", nullptr,
     "Step8: Started", true},
    {ResumeStep::CopyFiles, 8, CopyNewFiles, nullptr, "Step8: Over", nullptr, "Step9: Started",
     true},
    {ResumeStep::Register, 9, RegisterComponents, nullptr, nullptr, nullptr, nullptr, true},
    {ResumeStep::FinalTask, 10, PerformFinalTask, nullptr, nullptr, nullptr, nullptr, true},
}};

// A step whose errors do not end the pass logs them; when the log itself is what failed, the
// pass still goes on.
void logTrapped(PatchRun& run, const std::string& description) {
    try {
        LogWrite(run.state, description);
    } catch (const RunTimeError&) {
    }
}

StepResult runRow(PatchRun& run, const Step& row) {
    std::optional<std::string> trapped;
    try {
        if (row.atStart) {
            WriteProgressLine(run, row.atStart);
        }
        if (row.handler(run) == StepResult::Stop) {
            return StepResult::Stop;
        }
    } catch (const RunTimeError& e) {
        if (row.errorStops) {
            logTrapped(run, "Step" + std::to_string(row.number) + " stopped: " + e.numberText() +
                                "-" + e.description());
            ShowStepError(run, e);
            return StepResult::Stop;
        }
        trapped = e.description();
    }
    if (trapped) {
        logTrapped(run, *trapped);
    }
    if (row.over) {
        WriteProgressLine(run, row.over);
    }
    if (row.resumeValues) {
        row.resumeValues(run);
    }
    if (row.nextStarted) {
        WriteProgressLine(run, row.nextStarted);
    }
    run.state.services.host.processEvents();
    return StepResult::Continue;
}

} // namespace

void runStepsFrom(PatchRun& run, ResumeStep first) {
    bool started = false;
    for (const auto& row : Table) {
        started = started || row.step == first;
        if (started && runRow(run, row) == StepResult::Stop) {
            return;
        }
    }
}

StepResult runSingleStep(PatchRun& run, ResumeStep step) {
    for (const auto& row : Table) {
        if (row.step == step) {
            return runRow(run, row);
        }
    }
    return StepResult::Continue;
}

} // namespace pelvar
