#include "DownloadFixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

struct Finished {
    int exitCode = -1; // -1: it crashed or was still running after the wait
    std::string err;
    bool timedOut = false; // still running after the wait, then killed
};

// Runs the built PelvarPU on the offscreen platform with the sandbox's environment.
Finished runPelvarPU(const QStringList& args, const Sandbox& sandbox, const char* edition,
                     int waitMs = 20000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PELVAR_ROOT", QString::fromStdString(sandbox.root()));
    env.insert("PELVAR_APP_FOLDER", QString::fromStdString(sandbox.appFolder()));
    env.remove("PELVAR_EDITION");
    if (edition) {
        env.insert("PELVAR_EDITION", edition);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(binaryDir() + "/PelvarPU"), args);
    if (!process.waitForStarted(10000)) {
        return {};
    }
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(5000);
        return {-1, process.readAllStandardError().toStdString(), true};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError().toStdString()};
}

struct BadLaunch {
    const char* name;
    QStringList args;
    const char* edition; // PELVAR_EDITION, or none
    const char* says;
};

class PelvarPUArguments : public ::testing::TestWithParam<BadLaunch> {};

// A wrong launch says why in one line and exits 2 without opening a window.
TEST_P(PelvarPUArguments, RefusesWithOneLineAndExitCode2) {
    const BadLaunch& c = GetParam();
    Sandbox sandbox;
    const Finished done = runPelvarPU(c.args, sandbox, c.edition);
    EXPECT_EQ(done.exitCode, 2);
    EXPECT_NE(done.err.find(c.says), std::string::npos) << done.err;
    EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << done.err;
}

INSTANTIATE_TEST_SUITE_P(
    Launches, PelvarPUArguments,
    ::testing::Values(
        BadLaunch{"UnknownEdition", {"XX"}, nullptr, "unknown argument 'XX'"},
        BadLaunch{"UnknownScheduledEdition", {"Scheduled,XX"}, "POS", "unknown argument"},
        BadLaunch{"ScheduledWithoutEdition", {"Scheduled,"}, nullptr, "unknown argument"},
        BadLaunch{"TwoArguments", {"POS", "HO"}, nullptr, "too many arguments"},
        BadLaunch{"NoArgumentNoEdition", {}, nullptr, "PELVAR_EDITION"},
        BadLaunch{"NoArgumentBadEdition", {}, "Enterprise", "PELVAR_EDITION"}),
    [](const auto& row) { return std::string(row.param.name); });

// The hand-over's launch: no argument, the edition inherited. The wizard then waits for the
// user, so the process is still there when the test gives up waiting.
TEST(PelvarPULaunch, WithoutArgumentTakesTheInheritedEdition) {
    Sandbox sandbox;
    const Finished done = runPelvarPU({}, sandbox, "ho", 1500);
    EXPECT_TRUE(done.timedOut) << "ended on its own with " << done.exitCode << ": " << done.err;
    EXPECT_EQ(done.err.find("PelvarPU:"), std::string::npos) << done.err;
}

class PelvarPUScheduled : public ::testing::Test, public DownloadFixture {};

// The scheduled mode downloads the edition's patches from its timer and ends by itself.
TEST_F(PelvarPUScheduled, DownloadsAndEnds) {
    HttpServer server(www());
    makePatch(www() + "/pos/POS_9_0_1_03.zip");
    publish(www() + "/pos/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9.0.1"});
    publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
    httpLocation("POShttp", server.url() + "/pos");
    writeSettings("Point of Sale", {"POShttp.ini"});
    std::filesystem::create_directories(dir / "product");
    writeFile(paths.commonAppData() + "/Orken/Pelvar9/PelvarPOSSystem.DAT",
              "PELVARAPPPATH=" + (dir / "product") + "\r\n");
    useSecurityDatabase();

    const Finished done = runPelvarPU({"Scheduled,POS"}, *this, nullptr);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip"))) << logText();
}

} // namespace
} // namespace pelvar::test
