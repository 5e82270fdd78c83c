#include "download/DownloadRun.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "download/VerifyDownloadedPatches.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/Surfaces.h"
#include "platform/base/RunTimeError.h"
#include "platform/host/Prompter.h"
#include "platform/process/EditionLock.h"

#include <functional>

namespace pelvar {
namespace {

enum class Outcome { Continue, Stop };

// The window's error table for one statement of the run.
Outcome handle(AppState& state, MainWindowControls& controls, const RunTimeError& e) {
    Prompter& prompter = state.services.prompter;
    if (e.number() != err::BadFileNameOrNumber) {
        state.RunFailed = true;
    }
    switch (e.number()) {
    case err::BadFileNameOrNumber:
        return Outcome::Continue;
    case err::InternetFailure:
        prompter.show("Could not able to download the patches from the default HTTP location.",
                      box::Exclamation, "HTTP Download");
        EndHostProcess(state);
        return Outcome::Stop;
    case err::PathFileAccess:
        prompter.show("Mentioned download path does not have the permission to download the "
                      "patches. Please provide valid path and try again.",
                      box::Ok, {});
        controls.setBusyPointer(false);
        controls.setButtonsEnabled(true);
        return Outcome::Stop;
    default:
        prompter.show(e.description(), box::Exclamation, state.AppTitle);
        return Outcome::Stop;
    }
}

} // namespace

std::optional<EditionLock> LockDownloadRun(AppState& state) {
    auto lock = EditionLock::tryAcquire(
        editionLockFile(state.services.paths.under("var/lock/pelvar"), editionText(state.edition),
                        sessionDownloadFolder(state)));
    if (!lock) {
        state.RunFailed = true;
        state.services.prompter.show("Another download of " + editionText(state.edition) +
                                         " is in progress. Try again when it has finished.",
                                     box::Exclamation, state.AppTitle);
    }
    return lock;
}

void RunDownloadSession(DownloadWalk& walk, ZipArchive& zip, MainWindowControls& controls) {
    AppState& state = walk.state;
    const auto lock = LockDownloadRun(state);
    if (!lock) {
        controls.setBusyPointer(false);
        controls.setButtonsEnabled(true);
        return;
    }
    const std::function<void()> statements[] = {
        [&] { StartDownloadSession(walk); },
        [&] { VerifyDownloadedPatches(walk, zip); },
        [&] {
            controls.setBusyPointer(false);
            controls.setButtonsEnabled(true);
        },
    };
    for (const auto& statement : statements) {
        try {
            statement();
        } catch (const RunTimeError& e) {
            if (handle(state, controls, e) == Outcome::Stop) {
                return;
            }
        }
    }
}

void DownloadButtonClicked(DownloadWalk& walk, ZipArchive& zip, MainWindowControls& controls) {
    AppState& state = walk.state;
    const auto edition =
        state.mainWindow ? state.mainWindow->chosenEdition() : std::optional<Edition>();
    if (edition) {
        state.SettingsCaption = std::string(productName(*edition)) + " LiveUpdate Settings";
    }
    state.DownloadLocation.clear();
    state.edition = edition;
    controls.setButtonsEnabled(false);
    controls.setBusyPointer(true);
    state.CurrentOperation = "Download";
    RunDownloadSession(walk, zip, controls);
}

} // namespace pelvar
