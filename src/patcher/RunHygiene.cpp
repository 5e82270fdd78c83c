#include "patcher/RunHygiene.h"

#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/LinkGuard.h"
#include "platform/files/ScratchFiles.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace pelvar {

std::optional<EditionLock> LockProductFolder(PatchRun& run) {
    AppState& state = run.state;
    auto lock = EditionLock::tryAcquire(productLockFile(run.PatchRoot));
    if (!lock) {
        state.RunFailed = true;
        const std::string text = "Another update of " + run.PatchRoot +
                                 " is in progress. Try again when it has finished.";
        LogWrite(state, text);
        state.services.prompter.show(text, box::Exclamation, state.AppTitle);
    }
    return lock;
}

void RemoveLeftovers(PatchRun& run) {
    AppState& state = run.state;
    const auto now = fs::file_time_type::clock::now();
    for (const auto& folder :
         {run.PatchRoot, run.PatchFolder, run.TempFolder, files::join(run.PatchRoot, "Backup")}) {
        scratch::removeStale(folder, now);
    }
    if (!run.BackupFolder.empty()) {
        scratch::removeStale(run.BackupFolder, now);
    }
    // Other programs write the registry without our lock; their scratch lives milliseconds.
    const std::string registryFolder =
        fs::path(state.services.paths.registryFile()).parent_path().string();
    scratch::removeStale(registryFolder, now - std::chrono::minutes(1));
}

void RefuseInstallationLinks(PatchRun& run) {
    const std::string& root = run.PatchRoot;
    try {
        for (const char* name : {"PatchTemp", "Temp3", "Backup", "Process3.log", "GenUpdate.dat"}) {
            files::refuseLinksBelow(root, files::join(root, name));
        }
    } catch (const RunTimeError& e) {
        LogWrite(run.state, e.numberText() + "-" + e.description());
        throw;
    }
}

void RemoveWorkingCopies(PatchRun& run) {
    std::error_code ec;
    for (fs::directory_iterator it(run.TempFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code gone;
        fs::remove_all(it->path(), gone);
    }
    for (const auto& name : run.PatchFolders) {
        std::error_code gone;
        fs::remove_all(files::join(run.PatchFolder, name), gone);
    }
}

} // namespace pelvar
