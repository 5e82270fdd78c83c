#include "CommandLine.h"
#include "Servers.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using pelvar::test::readFile;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

// A component folder that holds settings only, as a demo installation has: the task must
// still start the launcher installed beside the running programs, and `schedule show` tells
// whether the program the entry names is there.
TEST(ScheduleEntry, NamesTheInstalledLauncherAndShowReportsAMissingOne) {
    TempDir dir;
    const std::string app = dir / "settings-only";
    std::filesystem::create_directories(app);
    const std::vector<std::string> base = {"--root", dir / "root", "--app-folder", app};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return pelvar::test::runLiveupdate(args);
    };
    const auto set = run({"schedule", "set", "--edition", "POS", "--date", "2025-06-07", "--time",
                          "06:15", "--frequency", "Daily", "--account", "root"});
    ASSERT_EQ(set.exitCode, 0) << set.err;

    const std::string launcher = pelvar::test::binaryDir() + "/PelvarLU";
    const std::string entryFile = dir / "root/etc/cron.d/POSLiveUpdate";
    const std::string entry = readFile(entryFile);
    EXPECT_NE(entry.find("exec env 'PELVAR_ROOT=" + dir / "root" + "' 'PELVAR_APP_FOLDER=" + app +
                         "' '" + launcher + "' 'Scheduled,POS'"),
              std::string::npos)
        << entry;
    const auto shown = run({"schedule", "show", "--edition", "POS"});
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("Program " + launcher + "\n"), std::string::npos) << shown.out;

    // The entry as an older version wrote it: the launcher in the component's folder.
    std::string old = entry;
    old.replace(old.find(launcher), launcher.size(), app + "/PelvarLU");
    writeFile(entryFile, old);
    const auto missing = run({"schedule", "show", "--edition", "POS"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("Program " + app + "/PelvarLU is missing"), std::string::npos)
        << missing.out;
}

} // namespace
