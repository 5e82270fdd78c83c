#include "CommandLine.h"
#include "DownloadFixture.h"
#include "platform/text/Text.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// Exit codes of `liveupdate download` and the closing lines that say why.
enum class Twist { None, NoInformationFile, SecurityDatabaseMissing };

struct ExitRow {
    const char* label;
    std::vector<std::string> entries; // of the update-information file; empty: none published
    bool reachable;
    bool folderExists;
    int exitCode;
    const char* says; // on standard error, in the closing lines
    Twist twist = Twist::None;
};

class DownloadExitCode : public ::testing::TestWithParam<ExitRow>, public DownloadFixture {};

TEST_P(DownloadExitCode, SaysWhetherTheRunSucceededAndWhy) {
    const ExitRow& row = GetParam();
    HttpServer server(www());
    if (row.twist != Twist::NoInformationFile) {
        publish(www() + "/Pelvar9_POShttp.dat", row.entries);
    }
    publish(www() + "/Pelvar9_POShttp.P9Q", {});
    makePatch(www() + "/POS_9_0_1_03.zip");
    if (row.twist == Twist::SecurityDatabaseMissing) {
        useSecurityDatabase();
        std::filesystem::remove(securityDatabase());
        std::filesystem::create_directory(securityDatabase()); // a folder: no database opens
    }
    httpLocation("POShttp",
                 row.reachable ? server.url() : "http://127.0.0.1:" + std::to_string(freePort()));
    const std::string folder = row.folderExists ? downloads() : dir / "no-such-folder";
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=" + folder + "\r\nDownload File=POShttp.ini\r\n");

    const CliRun run = runLiveupdate(
        {"--root", root(), "--app-folder", appFolder(), "--no", "download", "--edition", "POS"});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    const std::string says = text::replaceAll(row.says, "FOLDER", folder);
    EXPECT_NE(run.err.find(says), std::string::npos) << run.out << run.err;
}

const std::vector<std::string> OneArchive{"POS_9_0_1_03.zip:9"};

// One row a line reads as a table.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Outcomes, DownloadExitCode,
    ::testing::Values(
        ExitRow{"Completed", OneArchive, true, true, 0, "fetched: POS_9_0_1_03.zip\n"},
        ExitRow{"NothingToDownload", {}, true, true, 0, "fetched: nothing\n"},
        ExitRow{"CouldNotDownload", OneArchive, false, true, 1,
                "/Pelvar9_POShttp.dat: the connection was refused"},
        ExitRow{"PathNotFound", OneArchive, true, false, 1, "Path not found (76): FOLDER"},
        // The body of the answer is kept as the file: the run reads no entries from it.
        ExitRow{"InformationFileMissing", {}, true, true, 0,
                "/Pelvar9_POShttp.dat answered 404 Not Found; its body was stored as",
                Twist::NoInformationFile},
        ExitRow{"SecurityDatabaseUnopenable", {"POS_9_0_1_03.zip:9:9.0.1"}, true, true, 1,
                "The security database could not be opened", Twist::SecurityDatabaseMissing}),
    [](const auto& row) { return std::string(row.param.label); });
// clang-format on

} // namespace
