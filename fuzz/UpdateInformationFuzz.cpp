// The update-information reader: any file a download server sends is read without crashing,
// and the reader ends the run (tampered) rather than passing on a name that is not a plain
// file name.
#include "FuzzSupport.h"
#include "download/UpdateInformation.h"
#include "environment/ConsoleComponent.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace pelvar;

namespace {

ConsoleComponent& component() {
    static ConsoleComponent* c = [] {
        if (!std::freopen("/dev/null", "w", stdout)) {
            std::abort();
        }
        SandboxPaths paths;
        paths.root = fuzz::scratchFolder() + "/root";
        paths.appFolder = fuzz::scratchFolder() + "/app";
        std::filesystem::create_directories(paths.appFolder);
        std::filesystem::create_directories(fuzz::scratchFolder() + "/download");
        return new ConsoleComponent(paths, false);
    }();
    return *c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the kind of location; the rest is the file.
    static const char* const descriptions[] = {"POSHTTP", "POS_Custom", "HOftp", "POSSECAU"};
    const std::string description = descriptions[data[0] % 4];
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    AppState& state = component().state();
    state.DownloadFolder = fuzz::scratchFolder() + "/download";
    state.DownloadLocation.clear();
    state.DownloadLocation.Description = description;
    state.PatchFiles.clear();
    state.CustomPatchFiles.clear();
    const std::string base = state.DownloadFolder + "/Pelvar9_" + description;
    fuzz::putFile(base + ".dat", input);
    fuzz::putFile(base + ".P9Q", data[0] & 4 ? input : std::string());
    try {
        ReadUpdateInformation(state);
    } catch (const RunStopped&) {
        return 0; // tampered: the run ends here
    }
    // PELVAR_FUZZ_SKIP_NAME_CHECK lets a run look past this one property for other faults.
    static const bool checkNames = std::getenv("PELVAR_FUZZ_SKIP_NAME_CHECK") == nullptr;
    if (!checkNames) {
        return 0;
    }
    for (const auto* list : {&state.PatchFiles, &state.CustomPatchFiles}) {
        for (const auto& name : *list) {
            FUZZ_REQUIRE(isPlainFileName(name));
        }
    }
    return 0;
}

std::vector<std::string> fuzzSeeds() {
    const std::string entries = "// comment\r\n"
                                "POS_9_0_1_05.zip:9.0.1:9.0.1.05:x\r\n"
                                "x:POS_9_0_1_06.zip:9.0.1:9.0.1.06:x\r\n"
                                "\r\n"
                                "POSSECAU_1.zip:1:1\r\n";
    return {std::string(1, '\0') + entries, std::string(1, '\1') + entries,
            std::string(1, '\6') + entries, "\3POSSECAU_2.zip:2\n",
            std::string(1, '\0') + "a:b:c:d:" + "POS_9_0_1_07.zip:9.0.1:9.0.1.07:x\n"};
}
