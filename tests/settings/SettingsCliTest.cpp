#include "CommandLine.h"
#include "Servers.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using pelvar::test::readFile;
using pelvar::test::TempDir;

namespace {

using pelvar::test::CliRun;

// The built command line in a sandbox root, as its own process, bounded in time.
class SettingsCli : public ::testing::Test {
  protected:
    SettingsCli() { std::filesystem::create_directories(app()); }

    CliRun liveupdate(std::vector<std::string> args) {
        args.insert(args.begin(), {"--root", root / "root", "--app-folder", app()});
        return pelvar::test::runLiveupdate(args);
    }

    std::string app() const { return root / "app"; }
    std::string settings() const { return readFile(app() + "/POSDownloadSettings.config"); }

    TempDir root;
};

TEST_F(SettingsCli, LocationsAreAddedListedModifiedAndDeleted) {
    ASSERT_EQ(liveupdate({"locations", "folder", "--edition", "pos", root.path()}).exitCode, 0);
    ASSERT_EQ(
        liveupdate({"locations", "add", "--edition", "Point of Sale", "--name", "Shop", "--type",
                    "ftp", "--address", "FTP://host/a/b", "--user", "u", "--password", "pw "})
            .exitCode,
        0);
    ASSERT_EQ(liveupdate({"locations", "add", "--edition", "POS", "--name", "Web", "--address",
                          "host/patches", "--port", "8080", "--proxy-address", "proxy",
                          "--proxy-port", "3128"})
                  .exitCode,
              0);

    const CliRun list = liveupdate({"locations", "list", "--edition", "POS"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "Download path=" + root.path() +
                            "\nLocation Name\tDownload Using\tFrom Location\tPort\tUser "
                            "Name\tPassword\tProxy Server\nShop\tFTP\tFTP://host/a/b\t\tu\t***\t\n"
                            "Web\tHTTP\thttp://host/patches:8080\t8080\t\t\tproxy:3128\n");

    // Modifying changes what is given and keeps the rest; the HTTP default stays as it is.
    EXPECT_EQ(
        liveupdate({"locations", "modify", "--edition", "POS", "--name", "Shop", "--user", "v"})
            .exitCode,
        0);
    EXPECT_NE(liveupdate({"locations", "list", "--edition", "POS"})
                  .out.find("Shop\tFTP\tFTP://host/a/b\t\tv\t***\t\n"),
              std::string::npos);
    ASSERT_EQ(liveupdate({"locations", "add", "--edition", "POS", "--name", "POShttp", "--address",
                          "pelvar/patches"})
                  .exitCode,
              0);
    const CliRun refused =
        liveupdate({"locations", "modify", "--edition", "POS", "--name", "POShttp", "--port", "1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out,
              "[LiveUpdate Downloader] Pelvar 9 default http location can not be modified.\n");

    EXPECT_EQ(liveupdate({"locations", "delete", "--edition", "POS", "--name", "Shop"}).exitCode,
              0);
    EXPECT_EQ(settings(), "Download path=" + root.path() +
                              "\r\nDownload File=Web.ini\r\nDownload File=POShttp.ini\r\n");
    EXPECT_FALSE(std::filesystem::exists(app() + "/Shop.ini"));

    std::filesystem::remove_all(app());
    const CliRun noFolder = liveupdate({"locations", "list", "--edition", "POS"});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_NE(noFolder.err.find(app() + " does not exist"), std::string::npos) << noFolder.err;
}

TEST_F(SettingsCli, RefusalsPrintTheMessageFailAndWriteNothing) {
    struct Refused {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Refused> cases = {
        {{"locations", "add", "--edition", "POS", "--name", "A", "--address", "h", "--port", "80a"},
         "Invalid Remote Port No."},
        {{"locations", "folder", "--edition", "HO", root / "missing"},
         "Mentioned download path is not available."},
        {{"schedule", "set", "--edition", "POS", "--account", "no-such-user-lu"},
         "Task Created. But the Specified Account is invalid"}};
    for (const auto& c : cases) {
        const CliRun run = liveupdate(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.out.find("] " + c.message + "\n"), std::string::npos) << run.out;
    }
    // Only the schedule file, which is written before the account is checked.
    std::vector<std::string> written;
    for (const auto& f : std::filesystem::directory_iterator(app())) {
        written.push_back(f.path().filename().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{"POSSchedule.ini"});
    EXPECT_EQ(liveupdate({"locations", "list", "--edition", "Branch"}).exitCode, 2);
}

// The task starts the launcher installed beside the running programs (the component folder
// holds settings only), and `schedule show` tells whether the program it names is there.
TEST_F(SettingsCli, ScheduleIsCreatedOnceShownAndTurnedOff) {
    const std::vector<std::string> set = {"schedule",    "set",        "--edition", "HO",
                                          "--date",      "2025-06-07", "--time",    "06:15",
                                          "--frequency", "Weekly",     "--account", "root"};
    const CliRun first = liveupdate(set);
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    const std::string entryFile = root / "root/etc/cron.d/HOLiveUpdate";
    const std::string launcher = pelvar::test::binaryDir() + "/PelvarLU";
    const std::string entry = readFile(entryFile);
    EXPECT_EQ(liveupdate(set).out, "Task HOLiveUpdate left as it was\n");
    const CliRun shown = liveupdate({"schedule", "show", "--edition", "HO"});
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("Program " + launcher + "\n"), std::string::npos) << shown.out;

    // The entry as an older version wrote it: the launcher in the component's folder.
    std::string old = entry;
    old.replace(old.find(launcher), launcher.size(), app() + "/PelvarLU");
    pelvar::test::writeFile(entryFile, old);
    const CliRun missing = liveupdate({"schedule", "show", "--edition", "HO"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("Program " + app() + "/PelvarLU is missing"), std::string::npos)
        << missing.out;

    const CliRun kept = liveupdate({"--no", "schedule", "off", "--edition", "HO"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(entryFile));
    EXPECT_EQ(liveupdate({"--yes", "schedule", "off", "--edition", "HO"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(entryFile));
    EXPECT_EQ(liveupdate({"schedule", "show", "--edition", "HO"}).out,
              "Product=Head Office\nStart Date=6/7/2025\nStart Time=6:15:00 AM\n"
              "Frequency=Weekly\nTask HOLiveUpdate is not in " +
                  root.path() + "/root/etc/cron.d\n");
}

} // namespace
