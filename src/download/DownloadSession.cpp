#include "download/DownloadSession.h"

#include "download/CustomLocations.h"
#include "download/DownloadWalk.h"
#include "download/FtpTransfer.h"
#include "download/HttpTransfer.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/RegistrySettings.h"
#include "environment/Surfaces.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/WindowsPath.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"
#include "settings/SettingsFiles.h"

namespace pelvar {
namespace {

constexpr float ProgressMax = 100.0F;

ProgressSurface* contextBar(AppState& state) {
    if (state.inWizardContext()) {
        return state.wizard;
    }
    return state.mainWindow;
}

// One location line of a download walk.
void fetchLocation(DownloadWalk& walk, const std::string& locationFile) {
    AppState& state = walk.state;
    LoadDownloadLocation(state, locationFile);
    const LocationRecord& location = state.DownloadLocation;
    if (editionFromText(location.Product) != state.edition) {
        return;
    }
    const bool ftp = location.DownloadType == "FTP";
    const bool http = location.DownloadType == "HTTP";
    if (!ftp && !http) {
        return;
    }
    AdvanceProgress(state, 4, 30);
    state.CustomPatchFiles.clear();
    state.PatchFiles.clear();
    if (ftp) {
        StartFTP(walk);
    } else if (location.Description != "LUHTTP") {
        StartHTTP(walk);
    }
}

// Line 1 of the settings file, unless the registry names the folder of the shown edition.
std::string resolveDownloadFolder(AppState& state, const std::vector<std::string>& lines) {
    std::string folder = lines.empty() ? std::string() : text::splitKeyValue(lines[0]).value;
    if (!state.inWizardContext()) {
        if (const auto edition = shownEdition(state)) {
            const std::string fromRegistry = ReadSetting(
                state.services.registry, downloadPathValue(*edition), keysel::LiveUpdate);
            if (!fromRegistry.empty()) {
                folder = fromRegistry;
            }
        }
    }
    // Settings moved over from Windows name the folder "D:\Patches"; error 76 names a value
    // that is no folder here.
    return nativePath(state.services.paths, folder, "Download path");
}

void reportEndOfWalk(DownloadWalk& walk) {
    AppState& state = walk.state;
    WizardSurface* wizard = state.wizard;
    if (!wizard || wizard->progress() >= ProgressMax) {
        return;
    }
    wizard->setProgress(ProgressMax);
    if (walk.PatchesDownloaded) {
        wizard->setFileSize("");
        wizard->setComplete("LiveUpdate is downloaded the patches");
        state.services.prompter.show("Download of updates for Pelvar 9 completed", box::Information,
                                     "Pelvar 9 LiveUpdate");
    } else {
        state.services.prompter.show("Pelvar 9 is already updated with the latest patches.There "
                                     "are no patches available for download.",
                                     box::Information, "Pelvar 9 LiveUpdate");
        EndHostProcess(state);
    }
}

} // namespace

std::optional<Edition> shownEdition(const AppState& state) {
    return state.mainWindow ? state.mainWindow->chosenEdition() : state.edition;
}

void AdvanceProgress(AppState& state, float step, float setback) {
    ProgressSurface* bar = contextBar(state);
    if (!bar) {
        return;
    }
    float value = bar->progress();
    if (value == ProgressMax) {
        value -= setback;
        bar->setProgress(value);
        bar->setProgress(value + step);
    } else if (value + step < ProgressMax) {
        bar->setProgress(value + step);
    }
}

void StartDownloadSession(DownloadWalk& walk) {
    AppState& state = walk.state;
    if (state.inWizardContext()) {
        if (state.wizard) {
            state.wizard->setProgressVisible(true);
            state.wizard->setProgress(0);
            state.wizard->setCancelEnabled(false);
            state.wizard->setNextEnabled(false);
        }
    } else if (state.mainWindow) {
        state.mainWindow->setProgressVisible(true);
        state.mainWindow->setProgress(0);
    }
    state.CurrentOperation = "Download";
    AdvanceProgress(state, 2, 2);
    if (state.edition) {
        DownloadFromSettings(walk, files::join(state.AppFolder, settingsFileName(*state.edition)));
    }
    DownloadFromCustomLocations(walk);
}

void DownloadFromSettings(DownloadWalk& walk, const std::string& settingsFile) {
    AppState& state = walk.state;
    const bool downloading = state.CurrentOperation == "Download";
    Host& host = state.services.host;
    try {
        if (!files::fileExists(settingsFile)) {
            if (downloading) {
                state.RunFailed = true;
                state.services.prompter.show("There is no download configuration set for" +
                                                 editionText(shownEdition(state)),
                                             box::Ok, state.AppTitle);
                if (state.mainWindow) {
                    state.mainWindow->setProgress(0);
                    state.mainWindow->setProgressVisible(false);
                    state.mainWindow->setStatus("");
                }
            }
            return;
        }
        const auto lines = files::readLines(settingsFile);
        try {
            state.DownloadFolder = resolveDownloadFolder(state, lines);
        } catch (const RunTimeError& e) {
            state.RunFailed = true;
            state.services.prompter.show(e.description(), box::Exclamation, state.AppTitle);
            return;
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].empty()) {
                continue;
            }
            const auto kv = text::splitKeyValue(lines[i]);
            if (kv.value.empty()) {
                state.RunFailed = downloading || state.RunFailed;
                state.services.prompter.show("There is no download location defined", box::Ok, {});
                return;
            }
            if (kv.key == "Current Version") {
                return;
            }
            try {
                if (downloading) {
                    fetchLocation(walk, kv.value);
                } else {
                    LoadDownloadLocation(state, kv.value);
                    AddLocationRow(state);
                }
            } catch (const RunTimeError& e) {
                if (e.number() != err::PathNotFound) {
                    throw;
                }
                // A missing download folder is reported and the walk goes on.
                state.RunFailed = true;
                state.services.prompter.show("Mentioned download path is not available.", box::Ok,
                                             {});
                if (state.settingsWindow) {
                    state.settingsWindow->setDownloadPath("");
                }
            }
        }
        if (downloading && state.inWizardContext()) {
            reportEndOfWalk(walk);
        }
        host.processEvents();
    } catch (const RunTimeError&) {
        // Any other error ends the walk without a message.
    }
}

void requireDownloadFolder(const AppState& state) {
    if (text::trim(state.DownloadFolder).empty()) {
        raise(err::PathNotFound);
    }
}

std::string sessionDownloadFolder(AppState& state) {
    const std::string path = state.edition
                                 ? files::join(state.AppFolder, settingsFileName(*state.edition))
                                 : std::string();
    if (path.empty() || !files::fileExists(path)) {
        return {};
    }
    try {
        return resolveDownloadFolder(state, files::readLines(path));
    } catch (const RunTimeError&) {
        return {};
    }
}

void LoadDownloadLocation(AppState& state, const std::string& fileName) {
    std::vector<std::string> lines;
    try {
        lines = files::readLines(files::join(state.AppFolder, fileName));
    } catch (const RunTimeError&) {
        return;
    }
    for (int k = 1; k <= LocationRecord::FieldCount && k <= static_cast<int>(lines.size()); ++k) {
        const auto kv = text::splitKeyValue(ScrambleLine(lines[k - 1]));
        if (kv.hasEquals) {
            state.DownloadLocation.field(k) = kv.value;
        }
    }
}

void AddLocationRow(AppState& state) {
    SettingsSurface* settings = state.settingsWindow;
    if (settings && state.DownloadLocation.Product == settings->productName()) {
        settings->addLocationRow(state.DownloadLocation);
    }
}

} // namespace pelvar
