#pragma once

#include "environment/Edition.h"
#include "environment/LocationRecord.h"
#include "environment/RunSummary.h"
#include "environment/SystemFile.h"
#include "platform/db/Database.h"
#include "platform/files/SandboxPaths.h"
#include "platform/process/ProgramLauncher.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelvar {

class Host;
class Prompter;
class RegistryStore;
class MainSurface;
class WizardSurface;
class SettingsSurface;

// The outside world as the component sees it. The host executable owns each service.
struct Services {
    const SandboxPaths& paths;
    RegistryStore& registry;
    Prompter& prompter;
    Host& host;
    DatabaseConfig database;
    ProgramLauncher launcher;

    Services(const SandboxPaths& p, RegistryStore& r, Prompter& pr, Host& h,
             DatabaseConfig db = DatabaseConfig::fromEnvironment())
        : paths(p), registry(r), prompter(pr), host(h), database(std::move(db)),
          launcher(p.appFolder, p.root) {
        database.sandboxRoot = p.root;
    }
};

inline constexpr const char* InstallationMode = "Installation";

// The process-wide values of one loaded component, owned by the host and passed to every
// routine that reads or writes them.
struct AppState {
    explicit AppState(Services& s) : services(s), AppFolder(s.paths.appFolder) {}

    Services& services;

    std::string AppTitle = "Pelvar 9 LiveUpdate";
    // The edition being downloaded, updated or set up; none until one is chosen.
    std::optional<Edition> edition;

    // Modes.
    std::string RunMode;
    std::string CurrentOperation;

    // Folders.
    std::string AppFolder;
    std::string DownloadFolder;
    std::string ProductAppPath;

    // Database.
    SystemFileInfo DatFileInfo;
    std::string DatabaseType;
    std::string SecurityConnectionString;
    std::unique_ptr<DatabaseConnection> SecurityConnection;

    // The download in progress.
    LocationRecord DownloadLocation;
    // Archive names the update information lists: custom patches, then regular ones.
    std::vector<std::string> CustomPatchFiles;
    std::vector<std::string> PatchFiles;
    std::vector<std::string> UpdateEntries;
    // The run ended on an error or a failure message (the command line exits 1).
    bool RunFailed = false;
    // What the run did, for the command line's closing lines.
    RunSummary Summary;

    // Caption of the settings window, set by the main window.
    std::string SettingsCaption;

    // The windows that are open, as the engine reaches them.
    MainSurface* mainWindow = nullptr;
    WizardSurface* wizard = nullptr;
    SettingsSurface* settingsWindow = nullptr;

    bool inWizardContext() const { return RunMode == InstallationMode; }
};

} // namespace pelvar
