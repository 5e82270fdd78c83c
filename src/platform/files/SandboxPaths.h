#pragma once

#include <string>

namespace pelvar {

// Where machine-wide files live. Everything moves below `root` (PELVAR_ROOT) so that
// tests and the demo never touch the real machine.
struct SandboxPaths {
    std::string root = "/";
    std::string appFolder; // the component's own folder (settings, location and schedule files)

    // Reads PELVAR_ROOT and PELVAR_APP_FOLDER; the given values win when not empty. Without
    // either, the component's folder is the executables' own in a build tree and
    // installedAppFolder() when they run from an installed prefix such as /usr/bin, where
    // settings have no place.
    static SandboxPaths fromEnvironment(const std::string& rootOverride = {},
                                        const std::string& appFolderOverride = {});

    std::string under(const std::string& relative) const;
    std::string registryFile() const { return under("etc/pelvar/registry.ini"); }
    std::string commonAppData() const { return under("var/lib"); }
    // The folder a Windows drive root ("C:\") stands for: drive_<letter, lower case>.
    std::string drive(char letter) const;
    std::string driveC() const { return drive('C'); }
    std::string driveD() const { return drive('D'); }
    std::string schedulerFolder() const { return under("etc/cron.d"); }
    std::string installedAppFolder() const { return under("etc/pelvar/liveupdate"); }
};

// Whether the running executable is one of a CMake build folder rather than an installed one.
bool runsFromBuildTree();

// Folder of the running executable.
std::string executableFolder();

} // namespace pelvar
