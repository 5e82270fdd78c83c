#include "CommandLine.h"
#include "PatchFixture.h"
#include "Servers.h"
#include "patcher/PatchFiles.h"
#include "platform/crypto/Sha256.h"
#include "platform/process/EditionLock.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/zip/ZipArchive.h"

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
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

    // Starts a run and kills it (SIGKILL, by its PID) once `ready` holds; false when the run
    // ended first or the moment never came.
    bool applyAndKillWhen(const std::function<bool()>& ready) {
        QProcess process;
        process.start(QString::fromStdString(binaryDir() + "/liveupdate"),
                      arguments({"--no-download"}));
        if (!process.waitForStarted(10000)) {
            return false;
        }
        bool killed = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline &&
               process.state() == QProcess::Running) {
            if (ready()) {
                killed = ::kill(static_cast<pid_t>(process.processId()), SIGKILL) == 0;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            process.waitForFinished(0);
        }
        process.waitForFinished(10000);
        return killed && process.exitStatus() == QProcess::CrashExit;
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
    EXPECT_EQ(firstBackup.test(), 0);
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
    ASSERT_EQ(backup.test(), 0);
    backup.setExtractFolder(dir / "restored");
    ASSERT_EQ(backup.extractAll(), 0);
    EXPECT_EQ(readFile(dir / "restored/Till.exe"), "till 2");
    EXPECT_EQ(readFile(dir / "restored/Grid.ocx"), "grid 1");
    EXPECT_EQ(readFile(dir / "restored/Day.rpt"), "day 1");

    const std::string grid = root() + "/drive_c/Shared/bin/Grid.ocx";
    EXPECT_EQ(lines(inProduct("Unreg_3.bat")),
              (std::vector<std::string>{
                  "@echo off", "Echo Please wait! Un-Registering Components...",
                  "REGSVR32 " + grid + " /U /S", product() + "/Till.exe /UNREGSERVER"}));
    EXPECT_EQ(
        lines(inProduct("Reg_3.bat")),
        (std::vector<std::string>{"@echo off", "Echo Please wait! Registering Components...",
                                  "REGSVR32 " + grid + " /S", product() + "/Till.exe /REGSERVER"}));
    EXPECT_TRUE(waitForRegistrations({"Grid.ocx", "Till.exe"}));
    EXPECT_EQ(registry.read(components::ComponentsKey, "Grid.ocx"), grid);
    const CliRun listed = runLiveupdate({"--root", root(), "reg", "list"});
    EXPECT_NE(listed.out.find("Grid.ocx=" + grid + "\n"), std::string::npos) << listed.out;
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
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--root", root(), "--app-folder", appFolder()});
        return runLiveupdate(args);
    };
    ASSERT_EQ(cli({"keys", "add", keys + "/k.pub"}).exitCode, 0);
    ASSERT_EQ(cli({"publish", "--edition", "POS", "--name", "POSHTTP", "--key", keys + "/k.key",
                   "--out", www(), archive + ":9.0.1"})
                  .exitCode,
              0);
    HttpServer server(www());
    httpLocation("POSHTTP", server.url());
    ASSERT_EQ(cli({"--no", "download", "--edition", "POS"}).exitCode, 0) << logText();
    std::string swappedHash;
    if (swapped) {
        makeZip(downloaded("POS_9_0_1_05.zip"),
                {{"Till.exe", "till 9"},
                 {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y")}});
        swappedHash = crypto::sha256OfFile(downloaded("POS_9_0_1_05.zip")).sha256;
    }
    const Finished applied = apply({"--no-download"});
    EXPECT_EQ(applied.exitCode, swapped ? 1 : 0) << applied.out << logText();
    EXPECT_EQ(readFile(inProduct("Till.exe")), swapped ? "till 1" : "till 3");
    if (swapped) {
        EXPECT_TRUE(logHas("Archive POS_9_0_1_05.zip refused: SHA-256 " + swappedHash +
                           " instead of the signed " + crypto::sha256OfFile(archive).sha256 + "."))
            << logText();
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
        const Finished refused = apply(extra);
        EXPECT_EQ(refused.exitCode, 1) << refused.out;
        EXPECT_NE(refused.out.find("Another download of Point of Sale is in progress."),
                  std::string::npos)
            << refused.out;
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/POS_9_0_1_05.zip")));
        EXPECT_FALSE(files::fileExists(inProduct("PatchTemp/Pelvar9_POSHTTP.dat")));
    }
}

// Large incompressible files make the backup and the copy slow enough to be interrupted.
class InterruptedRun : public ApplyRun {
  protected:
    static constexpr int FileCount = 6;
    static constexpr std::size_t FileSize = 12 << 20;

    InterruptedRun() {
        std::mt19937 random(7);
        std::vector<std::pair<std::string, std::string>> entries;
        std::string list;
        for (int i = 0; i < FileCount; ++i) {
            const std::string name = "Prog" + std::to_string(i) + ".dll";
            std::string bytes(FileSize, '\0');
            for (auto& b : bytes) {
                b = static_cast<char>(random());
            }
            // The installed versions are as large, so that zipping them takes a while too.
            writeFile(inProduct(name), "old " + bytes.substr(4));
            bytes.replace(0, 4, "new ");
            entries.emplace_back(name, bytes);
            list += packingRecord("Pelvar\\", "Pelvar\\", name, "Y");
        }
        entries.emplace_back("PackingList.ini", list);
        makeZip(downloaded("POS_9_0_1_05.zip"), entries);
        publish(downloaded("Pelvar9_POSHTTP.dat"), {"POS_9_0_1_05.zip:9.0.1"});
    }

    // Every program file is either the whole old or the whole new version.
    void expectNoHalfWrittenFile(bool allNew) {
        for (int i = 0; i < FileCount; ++i) {
            const std::string name = "Prog" + std::to_string(i) + ".dll";
            const std::string bytes = readFile(inProduct(name));
            const bool isOld = bytes.size() == FileSize && text::startsWith(bytes, "old ");
            const bool isNew = bytes.size() == FileSize && text::startsWith(bytes, "new ");
            EXPECT_TRUE(allNew ? isNew : (isOld || isNew)) << name << " has " << bytes.size();
        }
    }
    void expectOnlyCompleteBackups() {
        for (const auto& name : patchfiles::filesIn(backupFolder())) {
            if (text::endsWith(name, ".Zip")) {
                ZipArchive zip;
                zip.setArchive(backupFolder() + "/" + name);
                EXPECT_EQ(zip.test(), 0) << name;
            }
        }
    }
    std::string lastProgressLine() const {
        const auto all = progressLines();
        return all.empty() ? std::string() : all.back();
    }
};

TEST_F(InterruptedRun, KilledDuringTheCopyResumesStepEight) {
    ASSERT_TRUE(applyAndKillWhen([&] { return lastProgressLine() == "Step8: Started"; }));
    expectNoHalfWrittenFile(false);
    const Finished resumed = apply({"--no-download"});
    ASSERT_EQ(resumed.exitCode, 0) << resumed.out;
    EXPECT_TRUE(logHas("Final Task were terminated, continuing..."));
    expectNoHalfWrittenFile(true);
    expectOnlyCompleteBackups();
    EXPECT_FALSE(files::fileExists(progressFile()));
}

TEST_F(InterruptedRun, KilledDuringTheBackupFollowsTheTable) {
    ASSERT_TRUE(applyAndKillWhen([&] {
        for (const auto& name : patchfiles::filesIn(backupFolder())) {
            // Ours ("….Zip.PID.part") or libzip's own temporary file beside it.
            if (text::contains(name, ".Zip.")) {
                return true;
            }
        }
        return false;
    }));
    const std::string last = lastProgressLine();
    expectOnlyCompleteBackups();
    EXPECT_FALSE(files::fileExists(backupFolder() + "/POS_9_0_1_05.Zip"));
    // The archive is zipped after the SY/GL record, which repeats the backup and goes on.
    ASSERT_EQ(last, "bolSYGLPresent:False");
    const Finished resumed = apply({"--no-download"});
    ASSERT_EQ(resumed.exitCode, 0) << resumed.out;
    EXPECT_TRUE(logHas("Final Task were terminated, continuing..."));
    expectNoHalfWrittenFile(true);
    expectOnlyCompleteBackups();
    ZipArchive backup;
    backup.setArchive(backupFolder() + "/POS_9_0_1_05.Zip");
    backup.setExtractFolder(dir / "restored");
    ASSERT_EQ(backup.extractAll(), 0);
    EXPECT_TRUE(text::startsWith(readFile(dir / "restored/Prog3.dll"), "old "));
}

} // namespace
