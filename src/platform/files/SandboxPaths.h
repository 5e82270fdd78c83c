#pragma once

#include <string>

namespace pelvar {

// Where machine-wide files live. Everything moves below `root` (PELVAR_ROOT) so that
// tests and the demo never touch the real machine.
struct SandboxPaths {
    std::string root = "/";
    std::string appFolder; // the component's own folder (PELVAR_APP_FOLDER or the executables')

    // Reads PELVAR_ROOT and PELVAR_APP_FOLDER; the given values win when not empty.
    static SandboxPaths fromEnvironment(const std::string& rootOverride = {},
                                        const std::string& appFolderOverride = {});

    std::string under(const std::string& relative) const;
    std::string registryFile() const { return under("etc/pelvar/registry.ini"); }
    std::string commonAppData() const { return under("var/lib"); }
    std::string driveC() const { return under("drive_c"); }
    std::string driveD() const { return under("drive_d"); }
    std::string schedulerFolder() const { return under("etc/cron.d"); }
};

// Folder of the running executable.
std::string executableFolder();

} // namespace pelvar
