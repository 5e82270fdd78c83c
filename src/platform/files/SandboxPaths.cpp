#include "platform/files/SandboxPaths.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pelvar {

SandboxPaths SandboxPaths::fromEnvironment(const std::string& rootOverride,
                                           const std::string& appFolderOverride) {
    SandboxPaths paths;
    const char* envRoot = std::getenv("PELVAR_ROOT");
    const char* envApp = std::getenv("PELVAR_APP_FOLDER");
    if (!rootOverride.empty()) {
        paths.root = rootOverride;
    } else if (envRoot && *envRoot) {
        paths.root = envRoot;
    }
    if (!appFolderOverride.empty()) {
        paths.appFolder = appFolderOverride;
    } else if (envApp && *envApp) {
        paths.appFolder = envApp;
    } else if (runsFromBuildTree()) {
        paths.appFolder = executableFolder();
    } else {
        paths.appFolder = paths.installedAppFolder();
    }
    return paths;
}

bool runsFromBuildTree() {
    // CMake's build folder holds the executables in bin/ beside its cache.
    std::error_code ec;
    return std::filesystem::exists(
        std::filesystem::path(executableFolder()).parent_path() / "CMakeCache.txt", ec);
}

std::string SandboxPaths::under(const std::string& relative) const {
    return (std::filesystem::path(root) / relative).lexically_normal().string();
}

std::string SandboxPaths::drive(char letter) const {
    return under(std::string("drive_") +
                 static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
}

std::string executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

} // namespace pelvar
