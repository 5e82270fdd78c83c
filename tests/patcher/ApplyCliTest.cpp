#include "PatchFixture.h"
#include "Servers.h"
#include "ZipFiles.h"
#include "patcher/PatchFiles.h"
#include "platform/crypto/Sha256.h"
#include "platform/process/EditionLock.h"
#include "platform/registry/ComponentRegistry.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// The built command line against the fixture's sandbox, with the run's answer to every question.
class ApplyRun : public PatchTest {
  protected:
    ApplyRun() {
        registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.03");
        writeSettings("Point of Sale", {"POSHTTP.ini"});
    }

    // Both outputs of the run in `out`.
    CliRun apply(std::vector<std::string> extra = {}) const {
        extra.insert(extra.begin(), {"--yes", "apply", "--edition", "POS"});
        CliRun finished = cli(extra);
        finished.out += finished.err;
        return finished;
    }
    bool waitForRegistrations(const std::vector<std::string>& names) {
        return waitUntil(
            [&] {
                return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
                    return components::isRegistered(registry, n);
                });
            },
            15);
    }
};

TEST_F(ApplyRun, CustomPatchFromALoopbackServer) {
    writeFile(inProduct("Till.exe"), "till 1");
    makeZip(www() + "/POSSECAU_9_0_1_04.zip", {{"Till.exe", "till 2"}, {"Secu.dll", "secu 2"}});
    publish(www() + "/Pelvar9_POSHTTP.dat", {"POSSECAU_9_0_1_04.zip:x"});
    HttpServer server(www());
    httpLocation("POSHTTP", server.url());

    const CliRun first = apply();
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_NE(first.out.find("Required file has been updated successfully."), std::string::npos)
        << first.out;
    EXPECT_EQ(readFile(inProduct("Till.exe")), "till 2");
    const auto genUpdate = lines(inProduct("GenUpdate.dat"));
    ASSERT_EQ(genUpdate.size(), 1U);
    EXPECT_TRUE(text::startsWith(genUpdate[0], "POSSECAU_9_0_1_04.zip:"));
    EXPECT_TRUE(text::endsWith(genUpdate[0], ":9.0")) << genUpdate[0];
    // The installed version is kept in the day's backup.
    const auto backups = patchfiles::subfoldersIn(product() + "/Backup");
    ASSERT_EQ(backups.size(), 1U);
    EXPECT_EQ(
        zipContents(product() + "/Backup/" + backups[0] + "/POSSECAU_9_0_1_04.Zip").at("Till.exe"),
        "till 1");
    EXPECT_TRUE(waitForRegistrations({"Till.exe", "Secu.dll"}));
}

// A signed round trip: publish with a minisign key, download as a run that trusts it, then
// apply; the swapped row replaces the verified archive in the download folder in between.
class SignedApply : public ApplyRun, public ::testing::WithParamInterface<bool> {};

TEST_P(SignedApply, InstallsOnlyTheArchiveThatWasSigned) {
    const bool swapped = GetParam();
    const std::string keys = dir / "signing";
    std::filesystem::create_directories(keys);
    ASSERT_EQ(std::system(
                  ("minisign -G -W -f -p " + keys + "/k.pub -s " + keys + "/k.key >/dev/null 2>&1")
                      .c_str()),
              0);
    writeFile(inProduct("Till.exe"), "till 1");
    const std::string archive = dir / "POS_9_0_1_05.zip";
    makeZip(archive, {{"Till.exe", "till 3"},
                      {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y")}});
    ASSERT_EQ(cli({"keys", "add", keys + "/k.pub"}).exitCode, 0);
    ASSERT_EQ(cli({"publish", "--edition", "POS", "--name", "POSHTTP", "--key", keys + "/k.key",
                   "--out", www(), archive + ":9.0.1"})
                  .exitCode,
              0);
    HttpServer server(www());
    httpLocation("POSHTTP", server.url());
    ASSERT_EQ(cli({"--no", "download", "--edition", "POS"}).exitCode, 0) << logText();
    if (swapped) {
        makeZip(downloaded("POS_9_0_1_05.zip"),
                {{"Till.exe", "till 9"},
                 {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y")}});
    }
    const CliRun applied = apply({"--no-download"});
    EXPECT_EQ(applied.exitCode, swapped ? 1 : 0) << applied.out << logText();
    EXPECT_EQ(readFile(inProduct("Till.exe")), swapped ? "till 1" : "till 3");
    if (swapped) {
        EXPECT_NE(applied.out.find("The downloaded file POS_9_0_1_05.zip is either empty or "
                                   "corrupted."),
                  std::string::npos)
            << applied.out;
        EXPECT_FALSE(files::fileExists(downloaded("POS_9_0_1_05.zip")));
    }
}

INSTANTIATE_TEST_SUITE_P(Apply, SignedApply, ::testing::Values(false, true),
                         [](const auto& row) { return row.param ? "Swapped" : "Verified"; });

// A download or apply of the same edition into the same folder holds the lock: this run must
// leave the installation alone and fail, with or without its own download.
TEST_F(ApplyRun, AnotherRunOfTheEditionInProgressStopsBeforeAnyWork) {
    makeZip(downloaded("POS_9_0_1_05.zip"), {{"PackingList.ini", ""}});
    publish(downloaded("Pelvar9_POSHTTP.dat"), {"POS_9_0_1_05.zip:9.0.1"});
    const std::string folder = std::filesystem::path(downloaded("x")).parent_path().string();
    const auto held = EditionLock::tryAcquire(
        editionLockFile(root() + "/var/lock/pelvar", "Point of Sale", folder));
    ASSERT_TRUE(held.has_value());
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--no-download"}, std::vector<std::string>{}}) {
        const CliRun refused = apply(extra);
        EXPECT_EQ(refused.exitCode, 1) << refused.out;
        EXPECT_NE(refused.out.find("Another download of Point of Sale is in progress."),
                  std::string::npos)
            << refused.out;
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/POS_9_0_1_05.zip")));
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/Pelvar9_POSHTTP.dat")));
    }
}

} // namespace

// Two patches applied in turn, the second then rolled back through the command line.
class Rollback : public ApplyRun {
  protected:
    Rollback() {
        std::filesystem::create_directories(root() + "/drive_c/Shared/bin");
        std::filesystem::create_directories(inProduct("Reports"));
        writeFile(inProduct("Till.exe"), "till 1");
        writeFile(inProduct("Help.txt"), "help 1");
        writeFile(grid(), "grid 1");
    }
    std::string grid() const { return root() + "/drive_c/Shared/bin/Grid.ocx"; }
    std::map<std::string, std::string> hashes() const {
        std::map<std::string, std::string> all;
        for (const auto& path : {inProduct("Till.exe"), inProduct("Help.txt"), grid()}) {
            all[path] = crypto::sha256OfFile(path).sha256;
        }
        return all;
    }
    void applyPatch(const std::string& name, const ZipEntries& entries,
                    const std::vector<std::string>& published) {
        makeZip(downloaded(name + ".zip"), entries);
        publish(downloaded("Pelvar9_POSHTTP.dat"), published);
        const CliRun done = apply({"--no-download"});
        ASSERT_EQ(done.exitCode, 0) << done.out;
    }
    CliRun rollback(std::vector<std::string> extra = {}) const {
        extra.insert(extra.begin(), {"rollback", "--edition", "POS"});
        return cli(extra);
    }
};

TEST_F(Rollback, PutsBackTheFilesOfTheLastPatchAndKeepsItsLevel) {
    applyPatch("POS_9_0_1_05",
               {{"Till.exe", "till 2"},
                {"Help.txt", "help 2"},
                {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y") +
                                        packingRecord("Pelvar\\", "Pelvar\\", "Help.txt", "N")}},
               {"POS_9_0_1_05.zip:9.0.1"});
    ASSERT_TRUE(waitForRegistrations({"Till.exe"}));
    const auto beforeLast = hashes();
    applyPatch("POS_9_0_1_06",
               {{"Till.exe", "till 3"},
                {"Grid.ocx", "grid 3"},
                {"Day.rpt", "day 3"},
                {"POS9006.SY", "sy"},
                {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y") +
                                        packingRecord("Shared\\", "bin\\", "Grid.ocx", "Y") +
                                        packingRecord("Reports\\", "AppPath\\", "Day.rpt", "N")}},
               {"POS_9_0_1_05.zip:9.0.1", "POS_9_0_1_06.zip:9.0.1"});
    ASSERT_TRUE(waitForRegistrations({"Till.exe", "Grid.ocx"}));
    ASSERT_EQ(readFile(grid()), "grid 3");
    EXPECT_EQ(readFile(inProduct("Reports/Day.rpt")), "day 3");
    EXPECT_EQ(readFile(inProduct("LiveUpdatePatches/9.0.1.06/bin/Grid.ocx")), "grid 3");
    const auto registrations = [&] {
        const auto all = components::registered(registry);
        return std::map<std::string, std::string>(all.begin(), all.end());
    };
    const auto registered = registrations();

    const CliRun back = rollback();
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(hashes(), beforeLast);
    EXPECT_EQ(registrations(), registered);
    EXPECT_NE(back.err.find("2 file(s) put back, 0 could not be written (see the update log); 2 "
                            "component(s) un-registered, 2 registered again.\nDatabase changes "
                            "are not undone"),
              std::string::npos)
        << back.err;
    EXPECT_EQ(registry.read("Software\\Pelvar\\POS", "PatchVer"), "9.0.1.06");
    // An earlier patch is named; the last one's backup stays for another time.
    ASSERT_EQ(rollback({"--patch", "POS_9_0_1_05"}).exitCode, 0);
    EXPECT_EQ(readFile(inProduct("Help.txt")), "help 1");
    EXPECT_EQ(readFile(inProduct("Till.exe")), "till 1");
}

struct RefusedRollback {
    const char* name;
    ZipEntries backup; // empty: no backup archive at all
    const char* message;
};

class RollbackRefusals : public Rollback, public ::testing::WithParamInterface<RefusedRollback> {};

// Nothing is written when the backup cannot say where every file belongs, or another run
// holds the product folder.
TEST_P(RollbackRefusals, ChangeNothing) {
    const auto& row = GetParam();
    if (!row.backup.empty()) {
        makeZip(product() + "/Backup/PatchUpdate011226/POS_9_0_1_06.Zip", row.backup);
    }
    std::optional<EditionLock> held;
    if (std::string(row.name) == "AnotherRun") {
        held = EditionLock::tryAcquire(productLockFile(product()));
    }
    const auto before = hashes();
    const CliRun refused = rollback();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE((refused.out + refused.err).find(row.message), std::string::npos)
        << refused.out << refused.err;
    EXPECT_EQ(hashes(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Backups, RollbackRefusals,
    ::testing::Values(
        RefusedRollback{"NoBackup", {}, "There is no backup of a patch"},
        RefusedRollback{"NoList", {{"Till.exe", "evil"}}, "does not list where its files belong"},
        RefusedRollback{"FileNotListed",
                        {{"Till.exe", "evil"}, {"LiveUpdateBackup.lst", "Help.txt|N|AppPath\r\n"}},
                        "does not list a destination for Till.exe"},
        RefusedRollback{
            "PlaceOutsideTheInstallation",
            {{"Till.exe", "evil"}, {"LiveUpdateBackup.lst", "Till.exe|N|AppPath\\..\\..\\etc\r\n"}},
            "does not list a destination for Till.exe"},
        RefusedRollback{
            "DriveInsideThePlace",
            {{"Till.exe", "evil"}, {"LiveUpdateBackup.lst", "Till.exe|N|AppPath\\C:\\etc\r\n"}},
            "does not list a destination for Till.exe"},
        RefusedRollback{"AnotherRun",
                        {{"Till.exe", "evil"}, {"LiveUpdateBackup.lst", "Till.exe|N|AppPath\r\n"}},
                        "Another update of"}),
    [](const auto& row) { return std::string(row.param.name); });
