#include "CommandLine.h"
#include "DownloadFixture.h"
#include "HostileServers.h"
#include "platform/text/Text.h"

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// ---- Exit codes of `liveupdate download` ----------------------------------------------

enum class Twist { None, NoInformationFile, SecurityDatabaseMissing };

struct ExitRow {
    const char* label;
    std::vector<std::string> entries; // of the update-information file; empty: none published
    const char* archive;              // bytes of POS_9_0_1_03.zip on the server; null: a zip
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
    if (row.archive) {
        writeFile(www() + "/POS_9_0_1_03.zip", row.archive);
    } else {
        makePatch(www() + "/POS_9_0_1_03.zip");
    }
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
        ExitRow{"Completed", OneArchive, nullptr, true, true, 0, "fetched: POS_9_0_1_03.zip\n"},
        ExitRow{"NothingToDownload", {}, nullptr, true, true, 0, "fetched: nothing\n"},
        ExitRow{"Tampered", {"POS_9_0_1_03.zip"}, nullptr, true, true, 1, "Information Tampered"},
        ExitRow{"DamagedArchive", OneArchive, "not a zip", true, true, 1, "zip is empty or damaged"},
        ExitRow{"CouldNotDownload", OneArchive, nullptr, false, true, 1,
                "/Pelvar9_POShttp.dat: the connection was refused"},
        ExitRow{"PathNotFound", OneArchive, nullptr, true, false, 1, "Path not found (76): FOLDER"},
        // The body of the answer is kept as the file: the run reads no entries from it.
        ExitRow{"InformationFileMissing", {}, nullptr, true, true, 0,
                "/Pelvar9_POShttp.dat answered 404 Not Found; its body was stored as",
                Twist::NoInformationFile},
        ExitRow{"SecurityDatabaseUnopenable", {"POS_9_0_1_03.zip:9:9.0.1"}, nullptr, true, true, 1,
                "The security database could not be opened", Twist::SecurityDatabaseMissing}),
    [](const auto& row) { return std::string(row.param.label); });
// clang-format on

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
    ASSERT_TRUE(waitUntil([&] { return fs::exists(seen); }));
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

} // namespace
