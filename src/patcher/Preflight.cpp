#include "patcher/Preflight.h"

#include "download/DownloadSession.h"
#include "download/TrustStore.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/RegistrySettings.h"
#include "patcher/PatchFiles.h"
#include "patcher/PreflightItems.h"
#include "patcher/ScriptFramework.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/WindowsPath.h"
#include "platform/process/EditionLock.h"
#include "platform/schedule/CronDaemon.h"
#include "platform/schedule/CronTaskScheduler.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"
#include "settings/ScheduleSettings.h"
#include "settings/SettingsFiles.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelvar {

using preflight::Tally;

namespace {

constexpr long long MegaByte = 1024 * 1024;

std::string megabytes(long long bytes) {
    return std::to_string((bytes + MegaByte - 1) / MegaByte) + " MB";
}

// Whether a file can be created in the folder: access() says yes to root everywhere, so a
// probe file is made and removed.
std::string writeProblem(const std::string& folder) {
    if (!files::folderExists(folder)) {
        return folder + " does not exist";
    }
    std::string probe = files::join(folder, ".liveupdate-check.XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return folder + " is not writable";
    }
    ::close(fd);
    std::remove(probe.c_str());
    return {};
}

struct EditionSettings {
    bool headOffice = false;
    int selector = keysel::Pos;
    const SystemRecord* system = nullptr;
};

void checkRegistryValues(AppState& state, const EditionSettings& e, Tally& tally) {
    const RegistryStore& registry = state.services.registry;
    std::vector<std::string> missing;
    const auto need = [&](const std::string& fromFile, const char* name, int selector) {
        if (fromFile.empty() && ReadSetting(registry, name, selector).empty()) {
            missing.emplace_back(name);
        }
    };
    const SystemRecord& file = *e.system;
    need(file.SetupType, "SetupType", keysel::SetupType);
    need(file.PelvarAppPath, "PELVARAPPPATH", e.selector);
    need(file.ServerType, "SERVERTYPE", e.selector);
    if (state.DatabaseType == "ACCESS") {
        need({}, "VASECDBPATH", e.selector);
        need({}, "VASECDBNAME", e.selector);
        if (!e.headOffice) {
            need({}, "PROVIDER", e.selector);
        }
    } else {
        need(file.ServerId, "SERVERID", e.selector);
        need(file.SecurityDb, "VASEC-DB", e.selector);
        need(file.Password, "PASSWORD", e.selector);
        need(file.UserInf1, "USER-INF2", e.selector);
    }
    std::string names;
    for (const auto& name : missing) {
        names += (names.empty() ? "" : ", ") + name;
    }
    const std::string key = selectorKeyPath(e.selector);
    tally("registry values", missing.empty(),
          missing.empty() ? "the edition's values are set (" + key + ")"
                          : "missing from " + key + " and the system file: " + names);
}

// The product folder, mapped; empty after a FAIL line.
std::string checkProductFolder(AppState& state, const EditionSettings& e, Tally& tally) {
    std::string raw = e.system->PelvarAppPath;
    if (raw.empty()) {
        raw = ReadSetting(state.services.registry, "PELVARAPPPATH", e.selector);
    }
    std::string folder;
    try {
        folder = nativePath(state.services.paths, raw, "PELVARAPPPATH");
    } catch (const RunTimeError& error) {
        tally("product folder", false, error.description());
        return {};
    }
    if (folder.empty()) {
        tally("product folder", false, "PELVARAPPPATH is not set");
        return {};
    }
    const std::string problem = writeProblem(folder);
    tally("product folder", problem.empty(), problem.empty() ? folder + " is writable" : problem);
    return problem.empty() ? folder : std::string();
}

// The download folder the run reads, mapped; empty after a FAIL line.
std::string checkDownloadFolder(AppState& state, Edition edition, Tally& tally) {
    const std::string settings = files::join(state.AppFolder, settingsFileName(edition));
    if (!files::fileExists(settings)) {
        tally("download folder", false, "no settings file " + settings);
        return {};
    }
    std::string folder;
    try {
        const auto lines = files::readLines(settings);
        folder = nativePath(state.services.paths,
                            lines.empty() ? std::string() : text::splitKeyValue(lines[0]).value,
                            "Download path");
    } catch (const RunTimeError& error) {
        tally("download folder", false, error.description());
        return {};
    }
    if (folder.empty()) {
        tally("download folder", false, "the settings file names no download path");
        return {};
    }
    const std::string problem = writeProblem(folder);
    tally("download folder", problem.empty(), problem.empty() ? folder + " is writable" : problem);
    return folder;
}

// The archives waiting in the download folder are copied below the product folder, unpacked
// there, and the files they replace are backed up there too.
void checkFreeSpace(const std::string& product, const std::string& downloads, Tally& tally) {
    long long packed = 0;
    long long unpacked = 0;
    long long backup = 0;
    std::error_code ec;
    for (fs::directory_iterator it(downloads, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec) ||
            text::upper(fs::path(name).extension().string()) != ".ZIP") {
            continue;
        }
        packed += files::fileSize(it->path().string());
        ZipArchive zip;
        zip.setArchive(it->path().string());
        for (const auto& [entry, size] : zip.entrySizes()) {
            unpacked += size;
            const std::string replaced = files::join(product, entry);
            if (patchfiles::isSafeRelative(entry) && files::fileExists(replaced)) {
                backup += files::fileSize(replaced);
            }
        }
    }
    std::error_code spaceError;
    const auto space = fs::space(product, spaceError);
    const long long needed = packed + unpacked + backup;
    const long long available = spaceError ? 0 : static_cast<long long>(space.available);
    tally("free space", !spaceError && available >= needed,
          "needs " + megabytes(needed) + " (archives " + megabytes(packed) + ", unpacked " +
              megabytes(unpacked) + ", backup " + megabytes(backup) + "), " + megabytes(available) +
              " free below " + product);
}

void checkPrograms(AppState& state, const std::string& product, Tally& tally) {
    const auto runner = state.services.launcher.resolve("Reg_3.bat");
    const std::string program = runner.empty() ? std::string() : runner.front();
    const bool runs = !program.empty() && ::access(program.c_str(), X_OK) == 0;
    tally("batch runner", runs, program + (runs ? " is present" : " is missing or not executable"));
    if (product.empty()) {
        return;
    }
    const std::string library = files::join(product, framework::ComponentFile);
    const bool present = files::fileExists(library);
    tally("framework library", present, library + (present ? " is present" : " is missing"));
}

// Taken and let go at once: only whether another run holds them matters.
void checkLocks(AppState& state, Edition edition, const std::string& product, Tally& tally) {
    const std::string downloads = sessionDownloadFolder(state);
    const std::string shown = editionText(edition);
    const bool downloadFree =
        EditionLock::tryAcquire(
            editionLockFile(state.services.paths.under("var/lock/pelvar"), shown, downloads))
            .has_value();
    tally("download lock", downloadFree,
          downloadFree ? "no other run of " + shown
                       : "another download of " + shown + " into " + downloads + " is running");
    if (!product.empty()) {
        const std::string lockFile = productLockFile(product);
        const bool productFree = EditionLock::tryAcquire(lockFile).has_value();
        tally("product lock", productFree,
              productFree ? "no other update of " + product : "another update holds " + lockFile);
    }
}

void checkKeysAndSchedule(AppState& state, Edition edition, Tally& tally) {
    const TrustState trust = loadTrust(state.services.paths);
    switch (trust.mode) {
    case TrustState::Mode::Unsigned:
        tally("trusted keys", true, "none installed: updates are not signed");
        break;
    case TrustState::Mode::Signed:
        tally("trusted keys", true, std::to_string(trust.keys.size()) + " readable");
        break;
    case TrustState::Mode::Broken:
        tally("trusted keys", false, trust.problem);
        break;
    }
    CronTaskScheduler scheduler(state.services.paths.schedulerFolder());
    const std::string task = scheduleTaskName(edition);
    bool saved = false;
    for (const auto& name : scheduler.taskNames()) {
        saved = saved || text::equalsIgnoringCase(name, task);
    }
    if (!saved) {
        tally("schedule", true, "none saved");
    } else {
        const bool daemon = cronDaemonRunning();
        tally("schedule", daemon,
              daemon ? task + " saved; a cron daemon runs it"
                     : task + " saved, but no cron daemon is running: it never runs");
    }
}

} // namespace

bool RunPreflight(AppState& state, Edition edition, PreflightReport& report) {
    Tally tally(report);
    state.RunMode = InstallationMode;
    state.edition = edition;

    EditionSettings e;
    e.headOffice = edition == Edition::Ho;
    e.selector = editionSelector(edition);
    const bool loaded = LoadConnectionData(state, edition);
    e.system = e.headOffice ? &state.DatFileInfo.Ho : &state.DatFileInfo.Pos;

    checkRegistryValues(state, e, tally);
    const std::string product = checkProductFolder(state, e, tally);
    const std::string downloads = checkDownloadFolder(state, edition, tally);
    if (!product.empty()) {
        checkFreeSpace(product, downloads, tally);
    }
    preflight::checkDatabases(state, loaded, e.headOffice, tally);
    checkPrograms(state, product, tally);
    checkLocks(state, edition, product, tally);
    preflight::checkLocations(state, edition, tally);
    checkKeysAndSchedule(state, edition, tally);
    return tally.allOk();
}

} // namespace pelvar