#include "patcher/FirstPassCopy.h"

#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

namespace pelvar {
namespace {

constexpr const char* SkipList =
    "PR424000.exe,PR426000.exe,PR426600.exe,PR426700.exe,PR426800.exe,PR427700.exe,AppDets.ini,"
    "CONVINI.ini,CustomConfig.ini,DBPresets.ini,DBsAllowed.ini,ExeRegUnReg.ini,InvRmks.Ini";

} // namespace

bool inSkipList(const std::string& fileName) {
    return !fileName.empty() && text::contains(text::upper(SkipList), text::upper(fileName));
}

void copyFolderFiles(PatchRun& run, const std::string& from, const std::string& to) {
    patchfiles::refuseInstallationLinks(run, to);
    files::createFolders(to);
    for (const auto& file : patchfiles::filesIn(from)) {
        patchfiles::CopyToFolder(files::join(from, file), to, true);
        ++run.state.Summary.filesReplaced;
        NudgeProgress(run.state, 1);
        run.state.services.host.processEvents();
    }
}

void ReplaceProgramFiles(PatchRun& run) {
    AppState& state = run.state;
    try {
        LogWrite(state, "Started replacing/copying new file(s).");
        for (const auto& patch : run.PatchFolders) {
            const std::string source = files::join(run.PatchFolder, patch);
            for (const auto& file : patchfiles::filesIn(source)) {
                if (patchfiles::isGlOrSy(file) || (run.SetupType == 4 && inSkipList(file))) {
                    continue;
                }
                patchfiles::CopyToFolder(files::join(source, file), run.PatchRoot, true);
                ++state.Summary.filesReplaced;
                NudgeProgress(state, 1);
                state.services.host.processEvents();
            }
            for (const auto& sub : patchfiles::subfoldersIn(source)) {
                const std::string from = files::join(source, sub);
                if (run.SetupType == 4) {
                    if (text::equalsIgnoringCase(sub, "Ini")) {
                        copyFolderFiles(run, from, files::join(run.PatchRoot, "Ini"));
                    }
                } else if (text::equalsIgnoringCase(sub, "crystal") ||
                           text::equalsIgnoringCase(sub, "System")) {
                    copyFolderFiles(run, from, files::join(patchfiles::windowsFolder(run), sub));
                } else if (!text::equalsIgnoringCase(sub, "SCRIPT")) {
                    copyFolderFiles(run, from, files::join(run.PatchRoot, sub));
                }
            }
        }
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
    }
}

} // namespace pelvar
