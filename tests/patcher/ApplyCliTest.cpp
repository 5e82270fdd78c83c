#include "PatchFixture.h"
#include "Servers.h"
#include "patcher/PatchFiles.h"
#include "platform/process/EditionLock.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/zip/ZipArchive.h"

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace pelvar;
using namespace pelvar::test;

namespace {

struct Finished {
    int exitCode = -1;
    std::string out;
};

// The built command line against the fixture's sandbox, with the run's answer to every question.
class ApplyRun : public PatchTest {
  protected:
    ApplyRun() {
        registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.03");
        writeSettings("Point of Sale", {"POSHTTP.ini"});
    }

    QStringList arguments(const std::vector<std::string>& extra) const {
        QStringList list{"--root",       QString::fromStdString(root()),
                         "--app-folder", QString::fromStdString(appFolder()),
                         "--yes",        "apply",
                         "--edition",    "POS"};
        for (const auto& e : extra) {
            list << QString::fromStdString(e);
        }
        return list;
    }

    Finished apply(const std::vector<std::string>& extra = {}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QString::fromStdString(binaryDir() + "/liveupdate"), arguments(extra));
        if (!process.waitForFinished(180000)) {
            process.kill();
            process.waitForFinished(5000);
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAll().toStdString()};
    }

    std::string backupFolder() const {
        const auto found = patchfiles::subfoldersIn(product() + "/Backup");
        return found.empty() ? std::string() : product() + "/Backup/" + found.front();
    }
    bool waitForRegistrations(const std::vector<std::string>& names) {
        for (int i = 0; i < 150; ++i) {
            bool all = true;
            for (const auto& n : names) {
                all = all && components::isRegistered(registry, n);
            }
            if (all) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

TEST_F(ApplyRun, CustomThenRegularPatchFromALoopbackServer) {
    std::filesystem::create_directories(root() + "/drive_c/Shared/bin");
    writeFile(inProduct("Till.exe"), "till 1");
    writeFile(root() + "/drive_c/Shared/bin/Grid.ocx", "grid 1");
    makeZip(www() + "/POSSECAU_9_0_1_04.zip", {{"Till.exe", "till 2"},
                                               {"Secu.dll", "secu 2"},
                                               {"Reports/r.txt", "report 2"},
                                               {"SCRIPT/s.sql", "select 1"}});
    publish(www() + "/Pelvar9_POSHTTP.dat", {"POSSECAU_9_0_1_04.zip:x"});
    HttpServer server(www());
    httpLocation("POSHTTP", server.url());

    // First run: the custom archive goes through the first pass.
    const Finished first = apply();
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_NE(first.out.find("Required file has been updated successfully."), std::string::npos)
        << first.out;
    EXPECT_EQ(readFile(inProduct("Till.exe")), "till 2");
    EXPECT_EQ(readFile(inProduct("Reports/r.txt")), "report 2");
    EXPECT_FALSE(files::fileExists(inProduct("SCRIPT/s.sql")));
    const auto genUpdate = lines(inProduct("GenUpdate.dat"));
    ASSERT_EQ(genUpdate.size(), 1U);
    EXPECT_TRUE(text::startsWith(genUpdate[0], "POSSECAU_9_0_1_04.zip:"));
    EXPECT_TRUE(text::endsWith(genUpdate[0], ":9.0")) << genUpdate[0];
    ASSERT_FALSE(backupFolder().empty());
    ZipArchive firstBackup;
    firstBackup.setArchive(backupFolder() + "/POSSECAU_9_0_1_04.Zip");
    EXPECT_TRUE(firstBackup.test());
    EXPECT_TRUE(waitForRegistrations({"Till.exe", "Secu.dll"}));

    // Second run: a regular patch placing files by its packing list.
    std::filesystem::create_directories(inProduct("Reports"));
    writeFile(inProduct("Reports/Day.rpt"), "day 1");
    makeZip(www() + "/POS_9_0_1_05.zip",
            {{"Till.exe", "till 3"},
             {"Grid.ocx", "grid 3"},
             {"Day.rpt", "day 3"},
             {"POS9005.SY", "sy"},
             {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y") +
                                     packingRecord("Shared\\", "bin\\", "Grid.ocx", "Y") +
                                     packingRecord("Reports\\", "AppPath\\", "Day.rpt", "N")}});
    // lighttpd caches a file's size for a second; a quicker rewrite would be served cut short.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    publish(www() + "/Pelvar9_POSHTTP.dat", {"POSSECAU_9_0_1_04.zip:x", "POS_9_0_1_05.zip:9.0.1"});
    const Finished second = apply();
    ASSERT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(readFile(inProduct("Till.exe")), "till 3") << second.out << logText();
    EXPECT_EQ(readFile(root() + "/drive_c/Shared/bin/Grid.ocx"), "grid 3");
    EXPECT_EQ(readFile(inProduct("Reports/Day.rpt")), "day 3");
    EXPECT_EQ(readFile(inProduct("LiveUpdatePatches/9.0.1.05/bin/Grid.ocx")), "grid 3");
    EXPECT_FALSE(files::fileExists(inProduct("POS9005.SY")));
    EXPECT_FALSE(files::fileExists(progressFile()));
    EXPECT_EQ(lines(inProduct("GenUpdate.dat")).size(), 1U)
        << "the custom archive is not applied twice";

    ZipArchive backup;
    backup.setArchive(backupFolder() + "/POS_9_0_1_05.Zip");
    ASSERT_TRUE(backup.test());
    backup.setExtractFolder(dir / "restored");
    ASSERT_TRUE(backup.extractAll());
    EXPECT_EQ(readFile(dir / "restored/Till.exe"), "till 2");
    EXPECT_EQ(readFile(dir / "restored/Grid.ocx"), "grid 1");
    EXPECT_EQ(readFile(dir / "restored/Day.rpt"), "day 1");

    EXPECT_TRUE(waitForRegistrations({"Grid.ocx", "Till.exe"}));
    EXPECT_EQ(registry.read(components::ComponentsKey, "Grid.ocx"),
              root() + "/drive_c/Shared/bin/Grid.ocx");
}

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
        const Finished refused = apply(extra);
        EXPECT_EQ(refused.exitCode, 1) << refused.out;
        EXPECT_NE(refused.out.find("Another download of Point of Sale is in progress."),
                  std::string::npos)
            << refused.out;
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/POS_9_0_1_05.zip")));
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/Pelvar9_POSHTTP.dat")));
    }
}

} // namespace
