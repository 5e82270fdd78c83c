// The download settings file, location files and schedule files: the settings walk in listing
// mode and the readers take any bytes without crashing, and a location record written by the
// product reads back field for field.
#include "FuzzSupport.h"
#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "environment/ConsoleComponent.h"
#include "environment/Surfaces.h"
#include "platform/base/RunTimeError.h"
#include "settings/ScheduleSettings.h"
#include "settings/SettingsFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace pelvar;

namespace {

class ListingSurface : public SettingsSurface {
  public:
    std::string productName() const override { return editionText(Edition::Pos); }
    void addLocationRow(const LocationRecord&) override { ++rows; }
    std::string downloadPath() const override { return path; }
    void setDownloadPath(const std::string& text) override { path = text; }
    int rows = 0;
    std::string path;
};

ConsoleComponent& component() {
    static ConsoleComponent* c = [] {
        // The console's message boxes would flood the fuzzer's output.
        if (!std::freopen("/dev/null", "w", stdout)) {
            std::abort();
        }
        SandboxPaths paths;
        paths.root = fuzz::scratchFolder() + "/root";
        paths.appFolder = fuzz::scratchFolder() + "/app";
        std::filesystem::create_directories(paths.appFolder);
        return new ConsoleComponent(paths, false);
    }();
    return *c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    AppState& state = component().state();
    const std::string app = state.AppFolder;
    fuzz::putFile(app + "/" + settingsFileName(Edition::Pos), input);
    fuzz::putFile(app + "/fuzz.ini", input);
    fuzz::putFile(app + "/fuzz.sch", input);

    ListingSurface surface;
    state.settingsWindow = &surface;
    state.CurrentOperation = " ";
    state.edition = Edition::Pos;
    try {
        DownloadWalk walk(state);
        DownloadFromSettings(walk, app + "/" + settingsFileName(Edition::Pos));
        state.DownloadLocation.clear();
        LoadDownloadLocation(state, "fuzz.ini");
        ReadScheduleFile(state, "fuzz.sch");
    } catch (const RunStopped&) {
    }
    state.settingsWindow = nullptr;

    // A record made of the input's pieces (cut at line ends and "=", which the format cannot
    // hold in a field) is written and read back unchanged.
    LocationRecord record;
    std::size_t at = 0;
    for (int k = 1; k <= LocationRecord::FieldCount && at <= input.size(); ++k) {
        const auto end = std::min(input.find_first_of("\r\n=", at), input.size());
        record.field(k) = input.substr(at, end - at);
        at = end + 1;
    }
    try {
        WriteLocationFile(state, "record.ini", record);
    } catch (const RunTimeError& e) {
        FUZZ_REQUIRE(e.number() == err::InvalidPropertyValue); // refused: nothing to read back
        return 0;
    }
    state.DownloadLocation.clear();
    LoadDownloadLocation(state, "record.ini");
    FUZZ_REQUIRE(state.DownloadLocation == record);
    return 0;
}

std::vector<std::string> fuzzSeeds() {
    LocationRecord l;
    l.Product = editionText(Edition::Pos);
    l.Description = "POSHTTP";
    l.DownloadType = "HTTP";
    l.Location = "http://127.0.0.1:8080/pos";
    l.FolderLocation = "s1/f1";
    l.Port = "80";
    l.UserName = "user";
    l.Password = "p@ss;word,1";
    l.ConnectToProxy = "0";
    l.ActiveFtp = "1";
    std::string location;
    for (const auto& line : composeLocationLines(l)) {
        location += line + "\r\n";
    }
    return {
        "Download path=/srv/pelvar\r\nDownload File=POShttp.ini\r\nDownload File=POSftp.ini\r\n",
        "Download path=\r\n\r\nCurrent Version=1\r\nDownload File=fuzz.ini\r\n",
        location,
        "Product=POS\r\nStart Date=12/4/2026\r\nStart Time=4:15:02 PM\r\nFrequency=Weekly\r\n",
    };
}
