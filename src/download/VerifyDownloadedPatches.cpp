#include "download/VerifyDownloadedPatches.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/RegistrySettings.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/ScratchFiles.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"

#include <optional>

namespace pelvar {
namespace {

// Runs one statement under the routine's trap: permission denied is reported and ends the
// routine; every other error resumes at the next statement.
template <typename Statement> void guarded(AppState& state, Statement&& statement) {
    try {
        statement();
    } catch (const RunTimeError& e) {
        if (e.number() == err::PermissionDenied) {
            state.services.prompter.show(e.description() + e.numberText(), box::Information,
                                         state.AppTitle);
            // Ends the routine; the host goes on.
            throw RunStopped();
        }
    }
}

class Verifier {
  public:
    Verifier(DownloadWalk& walk, ZipArchive& zip) : walk_(walk), state_(walk.state), zip_(zip) {}
    void run();

  private:
    void verify(const std::string& name, const std::string& installed);
    void damaged(const std::string& name, const std::string& archivePath, bool deleteArchive);
    bool reportOutcome();
    void offerHandOver();
    void setStatus(const std::string& text);
    void setProgress(float value);
    void setFileSize(const std::string& text);
    int ask(const std::string& text, int buttons, const std::string& title) {
        return state_.services.prompter.show(text, buttons, title);
    }

    DownloadWalk& walk_;
    AppState& state_;
    ZipArchive& zip_;
};

void Verifier::setStatus(const std::string& text) {
    if (state_.mainWindow) {
        state_.mainWindow->setStatus(text);
    }
}
void Verifier::setProgress(float value) {
    if (state_.mainWindow) {
        state_.mainWindow->setProgress(value);
    }
}
void Verifier::setFileSize(const std::string& text) {
    if (state_.mainWindow) {
        state_.mainWindow->setFileSize(text);
    }
}

void Verifier::run() {
    const auto edition = shownEdition(state_);
    const int selector = edition ? editionSelector(*edition) : 0;
    guarded(state_, [&] { LogWrite(state_, "Verifying the zip files."); });
    setFileSize("");
    const std::string installed =
        text::right(ReadSetting(state_.services.registry, "PatchVer", selector), 2);
    for (const auto& name : state_.PatchFiles) {
        if (text::left(name, 4) == "POS_" || text::left(name, 3) == "HO_") {
            verify(name, installed);
        }
    }
    setProgress(100);
    setStatus("All the patches are downloaded and verified.");
    setFileSize("");
    if (reportOutcome()) {
        offerHandOver();
    }
}

void Verifier::verify(const std::string& name, const std::string& installed) {
    guarded(state_, [&] {
        LogWrite(state_,
                 "Checking with the last updated patches with the current downloaded files.");
    });
    const std::string number = name.size() >= 6 ? name.substr(name.size() - 6, 2) : name;
    if (number <= installed) {
        return;
    }
    // The folder the settings window shows; without one, the folder of this download.
    const std::string folder =
        state_.settingsWindow ? state_.settingsWindow->downloadPath() : state_.DownloadFolder;
    // No folder is no folder: never the file system's root.
    if (text::trim(folder).empty() || !files::fileExists(files::join(folder, name))) {
        return;
    }
    const std::string archivePath = text::trim(folder + "/" + name);
    const std::string base = name.substr(0, name.rfind('.'));
    zip_.setArchive(archivePath);
    setStatus("Please wait...." + std::string(94, ' ') + "Verifying the downloaded patch file " +
              name);
    if (!zip_.test(false)) {
        damaged(name, archivePath, true);
    }
    state_.services.host.processEvents();
    // The trial extraction goes to a fresh folder of its own ("<base>.lutmp.XXXXXX"), so that a
    // link or folder planted under the archive's base name receives nothing.
    const std::optional<std::string> trialFolder =
        scratch::createUniqueFolder(files::join(folder, base));
    zip_.setExtractFolder(trialFolder.value_or(std::string()));
    zip_.setArchive(archivePath);
    guarded(state_, [&] { LogWrite(state_, "Unziping Files: " + name); });
    setProgress(95);
    setStatus("Please wait...." + std::string(90, ' ') + "Verifying the downloaded patch file " +
              name);
    const bool extracted = trialFolder && zip_.extractAll();
    guarded(state_, [&] {
        if (trialFolder && files::folderExists(*trialFolder)) {
            files::deleteFolder(*trialFolder);
        }
    });
    if (!extracted) {
        damaged(name, archivePath, false);
    }
}

void Verifier::damaged(const std::string& name, const std::string& archivePath,
                       bool deleteArchive) {
    state_.RunFailed = true;
    state_.Summary.problem("The downloaded file " + name + " is empty or damaged");
    guarded(state_, [&] {
        LogWrite(state_, "The downloaded file " + name +
                             " is either empty or corrupted. Please check the connectivity to "
                             "the download location and retry.");
    });
    if (state_.mainWindow) {
        state_.mainWindow->resetPointer();
    }
    ask("The downloaded file " + name +
            " is either empty or corrupted.\r\n\r\nPlease check the "
            "connectivity to the download location and retry.",
        box::Critical, state_.AppTitle);
    if (deleteArchive) {
        guarded(state_, [&] { files::deleteFile(archivePath); });
    }
    EndHostProcess(state_);
}

// False when the routine ends at the outcome (no log to show).
bool Verifier::reportOutcome() {
    const char* title = "Pelvar 9 LiveUpdate";
    // A file whose transfer broke off is an error of the run as much as a failed login.
    if (walk_.FtpConnectFailures == 0 && walk_.TransferFailures == 0) {
        ask(walk_.PatchesDownloaded ? "Download of updates for Pelvar 9 completed"
                                    : "There is no updates are available to download",
            box::Information, title);
        return true;
    }
    const int answer = ask("Download of updates for Pelvar 9 completed with errors. Click Yes to "
                           "view the log file",
                           box::YesNo + box::Information, title);
    if (answer != box::AnswerYes) {
        return true;
    }
    const std::string log = logFilePath(state_.DownloadFolder);
    if (!files::fileExists(log)) {
        ask("There is no log file to view", box::Information, state_.AppTitle);
        return false;
    }
    state_.services.launcher.start("Notepad.exe " + log);
    return true;
}

void Verifier::offerHandOver() {
    if (state_.mainWindow) {
        state_.mainWindow->resetPointer();
    }
    const int answer = ask("Do you want to update the Pelvar 9 with downloaded patches?",
                           box::YesNo + box::Question, state_.AppTitle);
    if (answer == box::AnswerYes) {
        // PelvarPU starts without arguments; it opens the wizard on the edition just
        // downloaded, which it finds in its own environment.
        ProgramLauncher::Environment edition;
        if (state_.edition) {
            edition.emplace_back("PELVAR_EDITION", editionCode(*state_.edition));
        }
        state_.services.launcher.start(state_.AppFolder + "/PelvarPU.exe", false, edition);
        EndHostProcess(state_);
    }
}

} // namespace

void VerifyDownloadedPatches(DownloadWalk& walk, ZipArchive& zip) {
    try {
        Verifier(walk, zip).run();
    } catch (const RunStopped& stop) {
        // Reported; unless the host was ended, the caller re-enables the window.
        if (stop.hostEnded) {
            throw;
        }
    }
}

} // namespace pelvar
