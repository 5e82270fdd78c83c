#include "CommandLine.h"
#include "DownloadFixture.h"
#include "HostileServers.h"
#include "download/DownloadRun.h"
#include "download/UpdateInformation.h"
#include "download/VerifyDownloadedPatches.h"
#include "platform/zip/ZipArchive.h"

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// ---- Exit codes of `liveupdate download` ----------------------------------------------

struct ExitRow {
    const char* label;
    std::vector<std::string> entries; // of the update-information file; empty: none published
    const char* archive;              // bytes of POS_9_0_1_03.zip on the server; null: a zip
    bool reachable;
    bool folderExists;
    int exitCode;
};

class DownloadExitCode : public ::testing::TestWithParam<ExitRow>, public DownloadFixture {};

TEST_P(DownloadExitCode, SaysWhetherTheRunSucceeded) {
    const ExitRow& row = GetParam();
    HttpServer server(www());
    publish(www() + "/Pelvar9_POShttp.dat", row.entries);
    publish(www() + "/Pelvar9_POShttp.P9Q", {});
    if (row.archive) {
        writeFile(www() + "/POS_9_0_1_03.zip", row.archive);
    } else {
        makePatch(www() + "/POS_9_0_1_03.zip");
    }
    httpLocation("POShttp",
                 row.reachable ? server.url() : "http://127.0.0.1:" + std::to_string(freePort()));
    const std::string folder = row.folderExists ? downloads() : dir / "no-such-folder";
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=" + folder + "\r\nDownload File=POShttp.ini\r\n");

    const CliRun run = runLiveupdate(
        {"--root", root(), "--app-folder", appFolder(), "--no", "download", "--edition", "POS"});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, DownloadExitCode,
    ::testing::Values(ExitRow{"Completed", {"POS_9_0_1_03.zip:9"}, nullptr, true, true, 0},
                      ExitRow{"NothingToDownload", {}, nullptr, true, true, 0},
                      ExitRow{"Tampered", {"POS_9_0_1_03.zip"}, nullptr, true, true, 1},
                      ExitRow{"DamagedArchive", {"POS_9_0_1_03.zip:9"}, "not a zip", true, true, 1},
                      ExitRow{"CouldNotDownload", {"POS_9_0_1_03.zip:9"}, nullptr, false, true, 1},
                      ExitRow{"PathNotFound", {"POS_9_0_1_03.zip:9"}, nullptr, true, false, 1}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Two runs of one edition at once --------------------------------------------------

// Names and sizes of a folder's files, to see that nothing changed.
std::string snapshot(const std::string& folder) {
    std::string listing;
    for (const auto& entry : fs::directory_iterator(folder)) {
        listing += entry.path().filename().string() + " " +
                   std::to_string(entry.is_regular_file() ? entry.file_size() : 0) + "\n";
    }
    return listing;
}

TEST(EditionLock, SecondRunOfTheEditionLeavesTheFolderAlone) {
    DownloadFixture f;
    fs::create_directories(f.www());
    f.publish(f.www() + "/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9"});
    f.publish(f.www() + "/Pelvar9_POShttp.P9Q", {});
    f.makePatch(f.www() + "/POS_9_0_1_03.zip");
    const std::string seen = f.dir / "seen.txt";
    PythonServer server(misbehavingHttp(), {f.www(), "slowinfo", seen});
    f.httpLocation("POShttp", server.url());
    f.writeSettings("Point of Sale", {"POShttp.ini"});
    const QStringList args{"--root",       QString::fromStdString(f.root()),
                           "--app-folder", QString::fromStdString(f.appFolder()),
                           "--no",         "download",
                           "--edition",    "POS"};

    QProcess first;
    first.start(QString::fromStdString(binaryDir() + "/liveupdate"), args);
    ASSERT_TRUE(first.waitForStarted(10000));
    // The first run holds the lock once it asks for the update information.
    for (int i = 0; i < 200 && !fs::exists(seen); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(seen));
    const std::string before = snapshot(f.downloads());
    const std::string logBefore = f.logText();

    const CliRun second = runLiveupdate({"--root", f.root(), "--app-folder", f.appFolder(), "--no",
                                         "download", "--edition", "POS"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE((second.out + second.err).find("Another download of Point of Sale is in progress"),
              std::string::npos)
        << second.out << second.err;
    EXPECT_EQ(snapshot(f.downloads()), before);
    EXPECT_EQ(f.logText(), logBefore);

    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardOutput().toStdString();
    EXPECT_EQ(readFile(f.downloaded("POS_9_0_1_03.zip")), readFile(f.www() + "/POS_9_0_1_03.zip"));
    // The lock goes with the run: the next one is free to start.
    const CliRun third = runLiveupdate({"--root", f.root(), "--app-folder", f.appFolder(), "--no",
                                        "download", "--edition", "POS"});
    EXPECT_EQ(third.exitCode, 0) << third.out << third.err;
}

// ---- Outside text in SQL ---------------------------------------------------------------

struct ReleaseRow {
    const char* label;
    std::string release;
    bool approved;
};

class ReleaseApproval : public ::testing::TestWithParam<ReleaseRow>, public DownloadFixture {};

TEST_P(ReleaseApproval, TreatsTheReleaseAsData) {
    useSecurityDatabase("CREATE TABLE AuthorisedPOSPatches (ReleaseNo TEXT, ApprovedStatus TEXT);"
                        "INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.05', '1');");
    EXPECT_EQ(IsReleaseApproved(state, GetParam().release), GetParam().approved);
}

INSTANTIATE_TEST_SUITE_P(Releases, ReleaseApproval,
                         ::testing::Values(ReleaseRow{"AtOrBelowAnApprovedRow", "9.0.1.04", true},
                                           ReleaseRow{"AboveEveryRow", "9.0.1.06", false},
                                           ReleaseRow{"UnionInjection", "~' UNION SELECT '1' --",
                                                      false}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Update-information files over their caps ------------------------------------------

struct OversizeRow {
    const char* label;
    std::size_t lineBytes; // of each comment line
    std::size_t lines;
};

class OversizedInformation : public ::testing::TestWithParam<OversizeRow>,
                             public DownloadFixture {};

TEST_P(OversizedInformation, IsTampered) {
    std::string bytes;
    for (std::size_t i = 0; i < GetParam().lines; ++i) {
        bytes += "// " + std::string(GetParam().lineBytes, 'c') + "\r\n";
    }
    state.DownloadLocation.Description = "HOhttp";
    writeFile(downloaded("Pelvar9_HOhttp.dat"), bytes + "HO_9_0_1_03.zip:9\r\n");
    EXPECT_THROW(ReadUpdateInformation(state), RunStopped);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Updates Information Tampered"});
    EXPECT_EQ(state.PatchFiles, "");
}

INSTANTIATE_TEST_SUITE_P(Caps, OversizedInformation,
                         ::testing::Values(OversizeRow{"LongLine", 100000, 1},
                                           OversizeRow{"LargeFile", 1000, 5200}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Trial extraction ------------------------------------------------------------------

class TrialExtraction : public ::testing::Test, public DownloadFixture {
  protected:
    void verify() { VerifyDownloadedPatches(state, zip); }
    ZipArchive zip;
};

TEST_F(TrialExtraction, LinkNamedLikeTheScratchFolderReceivesNothing) {
    makeZip(downloaded("POS_9_0_1_03.zip"), {{"a.txt", "a"}, {"sub/b.txt", "b"}});
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", downloaded("POS_9_0_1_03"));
    state.PatchFiles = "POS_9_0_1_03.zip";
    state.PatchesDownloaded = true;
    verify();
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_EQ(prompter.boxes.at(0).text, "Download of updates for Pelvar 9 completed");
    for (const auto& entry : fs::directory_iterator(downloads())) {
        EXPECT_FALSE(fs::is_directory(entry.symlink_status()))
            << "scratch folder left: " << entry.path();
    }
}

TEST_F(TrialExtraction, DecompressionBombIsADamagedArchive) {
    makeZip(downloaded("POS_9_0_1_03.zip"), {{"zeros.bin", std::string(64U << 20, '\0')}});
    ASSERT_LT(fs::file_size(downloaded("POS_9_0_1_03.zip")), 1U << 20);
    state.PatchFiles = "POS_9_0_1_03.zip";
    EXPECT_THROW(verify(), RunStopped);
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].buttons, 16);
    EXPECT_TRUE(prompter.boxes[0].text.starts_with("The downloaded file POS_9_0_1_03.zip is "
                                                   "either empty or corrupted."));
    EXPECT_TRUE(state.RunFailed);
}

} // namespace
