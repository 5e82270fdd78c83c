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
    std::string out;
    std::string err;
    bool timedOut = false; // still running after the wait, then killed
};

// Runs a built program as the scheduler or the hand-over would: the sandbox's environment,
// no display (windows go to the offscreen platform), PELVAR_EDITION only when given.
Finished run(const char* program, const QStringList& args, const Sandbox& sandbox,
             const char* edition, int waitMs = 20000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.insert("PELVAR_ROOT", QString::fromStdString(sandbox.root()));
    env.insert("PELVAR_APP_FOLDER", QString::fromStdString(sandbox.appFolder()));
    env.remove("PELVAR_EDITION");
    if (edition) {
        env.insert("PELVAR_EDITION", edition);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(binaryDir() + "/" + program), args);
    if (!process.waitForStarted(10000)) {
        return {};
    }
    const bool ended = process.waitForFinished(waitMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString(), !ended};
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
    const Finished done = run("PelvarPU", c.args, sandbox, c.edition);
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
    const Finished done = run("PelvarPU", {}, sandbox, "ho", 1500);
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

    const Finished done = run("PelvarPU", {"Scheduled,POS"}, *this, nullptr);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip"))) << logText();
}

// PelvarLU as the scheduler starts it: nothing to fetch, the hand-over question answered No.
TEST(PelvarLULaunch, ScheduledRunEndsByItselfWithoutADisplay) {
    Sandbox s;
    writeFile(s.appFolder() + "/POSDownloadSettings.config",
              "Download path=" + s.downloads() + "\r\n");
    const Finished done = run("PelvarLU", {"Scheduled,POS"}, s, nullptr, 60000);
    const std::string output = done.out + done.err;
    ASSERT_EQ(done.exitCode, 0) << output;
    EXPECT_NE(output.find("There is no updates are available to download"), std::string::npos)
        << output;
    EXPECT_NE(output.find("(answered No)"), std::string::npos) << output;
    EXPECT_NE(s.logText().find("Verifying the zip files."), std::string::npos);
}

} // namespace
} // namespace pelvar::test
