#include "patcher/Wizard.h"

#include "download/DownloadRun.h"
#include "download/DownloadSession.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/PatchVersion.h"
#include "environment/RegistrySettings.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "patcher/ArchiveTrust.h"
#include "patcher/Backup.h"
#include "patcher/FirstPassCopy.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/PatchSelection.h"
#include "patcher/ResumeTable.h"
#include "patcher/RunHygiene.h"
#include "patcher/StepDriver.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Durability.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "settings/SettingsFiles.h"

#include <algorithm>
#include <filesystem>

namespace pelvar {
namespace {

void deleteIfPresent(const std::string& path) {
    if (files::fileExists(path)) {
        files::deleteFile(path);
    }
}

// A runner started before (by this run or the one before it) may still read its batch file.
void deleteBatchFiles(PatchRun& run) {
    AppState& state = run.state;
    if (!state.services.launcher.waitForRunners(run.PatchRoot,
                                                [&] { state.services.host.processEvents(); })) {
        raise(err::PermissionDenied, run.RegBatch);
    }
    deleteIfPresent(run.UnregBatch);
    deleteIfPresent(run.RegBatch);
    run.BatchHeaderWritten = false;
}

void runFirstPass(PatchRun& run) {
    AppState& state = run.state;
    Host& host = state.services.host;
    files::createFolders(run.TempFolder);
    deleteBatchFiles(run);
    FormBackupFolder(run);
    BackupProgramFiles(run);
    if (files::fileExists(run.UnregBatch)) {
        LogWrite(state, "Started un-registering Component(s)");
        host.processEvents();
        state.services.launcher.start(run.UnregBatch, true);
    }
    ReplaceProgramFiles(run);
    if (files::fileExists(run.RegBatch)) {
        LogWrite(state, "Started registering components.");
        host.processEvents();
        state.services.launcher.start(run.RegBatch, true);
    }
    // The record says the custom patches are installed: their files reach the disk first.
    files::syncFileSystem(run.PatchRoot);
    const std::string record = files::join(run.PatchRoot, "GenUpdate.dat");
    const std::string version = patchfiles::versionNumberText(run.HeldVersion);
    for (const auto& name : state.CustomPatchFiles) {
        files::appendLine(record, name + ":" +
                                      patchfiles::fileDate(files::join(run.PatchFolder, name)) +
                                      ":" + patchfiles::todayDate() + ":" + version);
    }
    state.CustomPatchFiles.clear();
    NudgeProgress(state, 2);
}

std::string versionOfLastEntry(const PatchRun& run) {
    const auto& entries = run.state.UpdateEntries;
    if (entries.empty()) {
        return {};
    }
    return patchVersionOfFile(entries.back().substr(0, entries.back().find(':')),
                              run.state.edition == Edition::Ho);
}

// The final task records every entry of UpdateEntries: keep only the patches whose folders the
// steps walk, so that a patch that was not unpacked (skipped, or arrived after a crash) is never
// recorded as installed.
void keepEntriesOfUnpackedPatches(PatchRun& run) {
    const auto& folders = run.PatchFolders;
    auto& entries = run.state.UpdateEntries;
    std::erase_if(entries, [&](const std::string& entry) {
        const std::string stem =
            std::filesystem::path(text::trim(entry.substr(0, entry.find(':')))).stem().string();
        return std::none_of(folders.begin(), folders.end(), [&](const std::string& folder) {
            return text::equalsIgnoringCase(folder, stem);
        });
    });
}

void reportNothingApplied(PatchRun& run, const std::string& why) {
    run.state.RunFailed = true;
    LogWrite(run.state, "No update was applied: " + why);
}

void runSecondPass(PatchRun& run) {
    const std::string progress = progressFilePath(run);
    const bool resuming = files::fileExists(progress);
    if (!resuming) {
        deleteBatchFiles(run);
    }
    keepEntriesOfUnpackedPatches(run);
    if (run.PatchFolders.empty() || run.state.UpdateEntries.empty()) {
        reportNothingApplied(run, "no unpacked patch to apply.");
        return;
    }
    run.PatchVersion = versionOfLastEntry(run);
    if (!resuming) {
        // Which patches this run applies, so that a resumed run applies exactly these.
        WriteProgressLine(run, "Patches:" + text::joinText(run.PatchFolders, ":") +
                                   ArchiveHashesRecord(run));
        runStepsFrom(run, ResumeStep::Backup);
        return;
    }
    // Only the last record matters; a huge progress file is not read whole.
    const std::string last = files::readLastLine(progress, 64 * 1024);
    const ResumeStep step = resumeStepFor(last);
    run.Statements.resumeFrom(last);
    if (step == ResumeStep::None) {
        reportNothingApplied(run,
                             "the progress record \"" + last + "\" names no step to continue.");
        return;
    }
    runStepsFrom(run, step);
}

} // namespace

std::string WizardCaption(Edition edition) {
    return std::string(productName(edition)) + " LiveUpdate";
}

std::string WizardHeading(Edition edition) {
    return WizardCaption(edition) + " will check for available updates";
}

void LoadWizard(PatchRun& run) {
    AppState& state = run.state;
    state.edition = run.edition;
    LoadConnectionData(state, state.edition);
    OpenSecurityDatabase(state);
    const bool headOffice = run.edition == Edition::Ho;
    const SystemRecord& system = headOffice ? state.DatFileInfo.Ho : state.DatFileInfo.Pos;
    run.SetupType =
        text::isNumeric(system.SetupType) ? static_cast<int>(text::toInteger(system.SetupType)) : 0;
    run.HeldVersion =
        ReadSetting(state.services.registry, "PatchVer", editionSelector(run.edition));
    run.PatchRoot = state.ProductAppPath;
    run.PatchFolder = files::join(run.PatchRoot, "PatchTemp");
    run.TempFolder = files::join(run.PatchRoot, "Temp3");
    run.UnregBatch = files::join(run.PatchRoot, "Unreg_3.bat");
    run.RegBatch = files::join(run.PatchRoot, "Reg_3.bat");
}

void CheckForUpdates(PatchRun& run) {
    AppState& state = run.state;
    state.RunMode = InstallationMode;
    state.edition = run.edition;
    const auto lock = LockDownloadRun(state);
    if (!lock) {
        state.RunFailed = true;
        return;
    }
    try {
        StartDownloadSession(run.download);
        NudgeProgress(state, 4);
        ApplyUpdates(run);
    } catch (const RunStopped& stop) {
        // A stopping message was shown; unless it ended the host, the host goes on.
        if (stop.hostEnded) {
            throw;
        }
    }
}

void RunScheduledDownload(PatchRun& run) {
    if (run.state.wizard) {
        run.state.wizard->setProgressVisible(true);
    }
    const auto lock = LockDownloadRun(run.state);
    if (lock) {
        StartDownloadSession(run.download);
    }
}

std::string ReadCurrentVersion(const PatchRun& run, const std::string& fileName) {
    const std::string path = files::join(run.PatchRoot, fileName);
    if (!files::fileExists(path)) {
        return {};
    }
    for (const auto& line : files::readLines(path)) {
        const auto kv = text::splitKeyValue(line);
        if (kv.key == "Current Version") {
            return kv.value;
        }
    }
    return {};
}

void ApplyUpdates(PatchRun& run) {
    AppState& state = run.state;
    try {
        if (run.PatchRoot.empty()) {
            // Without a product folder every path would be relative to wherever we run.
            raise(err::PathNotFound, "PatchRoot");
        }
        const auto productLock = LockProductFolder(run);
        if (!productLock) {
            return;
        }
        RefuseInstallationLinks(run);
        files::createFolders(run.PatchFolder);
        RemoveLeftovers(run);
        CopyDownloadedUpdates(run, files::join(state.DownloadFolder, ""));
        state.services.host.processEvents();
        if (run.UpdatesReady) {
            // A second time on purpose: the call inside CopyDownloadedUpdates is the first pass,
            // this one the second (steps 3 to 9), unless the run has ended in between.
            VerifyOrResume(run);
        }
        NudgeProgress(state, 4);
    } catch (const RunTimeError& e) {
        ShowStepError(run, e);
    } catch (const RunStopped& stop) {
        // A stopping message was shown; unless it ended the host, the host goes on.
        if (stop.hostEnded) {
            throw;
        }
    }
}

void VerifyOrResume(PatchRun& run) {
    AppState& state = run.state;
    try {
        run.PatchFolders.clear();
        run.SyGlPresent = false;
        run.SyFile.clear();
        run.GlFile.clear();
        const std::string progress = progressFilePath(run);
        if (files::fileExists(progress)) {
            const int answer = state.services.prompter.show(
                "Pelvar LiveUpdate were terminated abnormally during applying updates.\nClick "
                "Yes to Continue from last Position.\nClick No to Start from Beginning "
                "(Verifying Updates).",
                box::YesNo + box::Information, state.AppTitle);
            if (answer == box::AnswerNo) {
                files::deleteFile(progress);
            }
        }
        if (files::fileExists(progress)) {
            LogWrite(state, "*******************************************", "Cont");
            LogWrite(state, "Final Task were terminated, continuing...");
            NudgeProgress(state, 2);
            if (ResumeRecordedPatches(run)) {
                RunPatchSteps(run);
            }
            return;
        }
        // The verification of this system checks archives only; it takes no version text.
        LogWrite(state, "Verifying Files...");
        if (patchfiles::filesIn(run.PatchFolder).empty()) {
            state.services.prompter.show("There are no Updates present to verify.",
                                         box::Information, state.AppTitle);
            LogWrite(state, "There are no Updates present to verify");
            // Nothing waits to be applied, so the wizard does not look a second time.
            run.UpdatesReady = false;
            return;
        }
        UnzipAndVerify(run, state.edition == Edition::Ho ? 2 : 1);
        state.services.host.processEvents();
        RunPatchSteps(run);
    } catch (const RunTimeError& e) {
        ShowStepError(run, e);
    }
}

void RunPatchSteps(PatchRun& run) {
    AppState& state = run.state;
    try {
        if (!state.CustomPatchFiles.empty()) {
            runFirstPass(run);
        } else {
            runSecondPass(run);
        }
        for (int i = 0; i < 3; ++i) {
            state.services.host.processEvents();
        }
        state.SecurityConnection.reset();
    } catch (const RunTimeError& e) {
        ShowStepError(run, e);
    }
}

} // namespace pelvar
