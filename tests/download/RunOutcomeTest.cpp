#include "CommandLine.h"
#include "DownloadFixture.h"

#include <filesystem>
#include <gtest/gtest.h>

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
    [](const auto& row) { return std::string(row.param.label); });

} // namespace
