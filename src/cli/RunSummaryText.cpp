#include "cli/RunSummaryText.h"

#include "environment/AppState.h"
#include "patcher/PatchRun.h"
#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pelvar::cli {
namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string all;
    for (const auto& name : names) {
        all += (all.empty() ? "" : ", ") + name;
    }
    return all.empty() ? "nothing" : all;
}

void printFetches(const RunSummary& summary, std::ostream& out) {
    out << "  fetched: " << joined(summary.fetched) << '\n';
    if (!summary.skipped.empty()) {
        out << "  not fetched, applied before: " << joined(summary.skipped) << '\n';
    }
    for (const auto& problem : summary.problems) {
        out << "  refused or failed: " << problem << '\n';
    }
}

// Archives the download folder holds for the update wizard.
std::vector<std::string> waiting(const AppState& state) {
    std::vector<std::string> names;
    for (const auto* list : {&state.CustomPatchFiles, &state.PatchFiles}) {
        for (const auto& name : *list) {
            const auto& skipped = state.Summary.skipped;
            if (std::find(skipped.begin(), skipped.end(), name) == skipped.end() &&
                files::fileExists(files::join(state.DownloadFolder, name))) {
                names.push_back(name);
            }
        }
    }
    return names;
}

} // namespace

void printDownloadSummary(const AppState& state, std::ostream& out) {
    out << "Summary of the download of " << editionText(state.edition) << ":\n";
    printFetches(state.Summary, out);
    const auto pending = waiting(state);
    out << "  waiting to be applied: " << joined(pending) << '\n';
}

void printApplySummary(const PatchRun& run, std::ostream& out) {
    const RunSummary& summary = run.state.Summary;
    out << "Summary of the update of " << editionText(run.edition) << ":\n";
    printFetches(summary, out);
    out << "  files replaced: " << summary.filesReplaced << '\n'
        << "  components handed to the batch runner for registration: "
        << summary.componentsRegistered << '\n';
    for (const auto& db : summary.databases) {
        out << "  statements on " << db.database << ": " << db.passed << " passed, " << db.failed
            << " failed";
        if (db.failed > 0) {
            out << " (the first: " << db.firstFailure << ")";
        }
        out << '\n';
    }
    for (const auto& company : summary.companiesSkipped) {
        out << "  company database skipped: " << company << '\n';
    }
    const std::string progress = files::join(run.PatchRoot, "Process3.log");
    if (!run.PatchRoot.empty() && files::fileExists(progress)) {
        out << "  still pending: the run stopped part way (" << progress
            << "); `liveupdate --yes apply --no-download --edition " << editionCode(run.edition)
            << "` resumes it\n";
    } else {
        out << "  still pending: nothing\n";
    }
}

bool applyLeftWorkUndone(const AppState& state) {
    return state.Summary.statementsFailed() || !state.Summary.companiesSkipped.empty();
}

} // namespace pelvar::cli
