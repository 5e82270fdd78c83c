#include "CommandLine.h"
#include "Servers.h"
#include "TempDir.h"
#include "platform/registry/RegistryStore.h"

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using pelvar::test::TempDir;

namespace {

using Outcome = pelvar::test::CliRun;

Outcome liveupdate(const std::vector<std::string>& args, const std::string& input = {}) {
    return pelvar::test::runLiveupdate(args, input);
}

TEST(CliReg, ConcurrentWritersToDifferentValuesAllSurvive) {
    TempDir root;
    constexpr int writers = 6;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < writers; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(QString::fromStdString(pelvar::test::binaryDir() + "/liveupdate"),
                 {"--root", QString::fromStdString(root.path()), "reg", "set",
                  "Software\\Pelvar\\LUInfo", QString("Value%1").arg(i), QString("v%1").arg(i)});
        processes.push_back(std::move(p));
    }
    for (auto& p : processes) {
        ASSERT_TRUE(p->waitForFinished(20000));
        EXPECT_EQ(p->exitCode(), 0);
    }
    // Each value landed in the sandbox's registry file, where the component reads it.
    pelvar::IniRegistryStore store(root / "etc/pelvar/registry.ini");
    for (int i = 0; i < writers; ++i) {
        EXPECT_EQ(store.read("Software\\Pelvar\\LUInfo", "Value" + std::to_string(i)),
                  "v" + std::to_string(i));
    }
    const Outcome got =
        liveupdate({"--root", root.path(), "reg", "get", "software\\pelvar\\luinfo", "VALUE1"});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_EQ(got.out, "v1\n");
    const Outcome missing =
        liveupdate({"--root", root.path(), "reg", "get", "Software\\Pelvar\\POS", "Nothing"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "\n");
}

struct UsageCase {
    std::string name;
    std::vector<std::string> args;
    std::string mentions;
};

class CliUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndOneErrorLine) {
    TempDir root;
    std::vector<std::string> args = {"--root", root.path()};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const Outcome run = liveupdate(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    const std::string firstLine = run.err.substr(0, run.err.find('\n'));
    EXPECT_TRUE(firstLine.starts_with("liveupdate: ")) << run.err;
    EXPECT_NE(firstLine.find(GetParam().mentions), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(root / "etc/pelvar/registry.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CliUsage,
    testing::Values(
        UsageCase{"UnknownCommand", {"frobnicate"}, "frobnicate"},
        UsageCase{"MissingValue", {"reg", "set", "Software\\Pelvar\\POS", "PatchVer"}, "VALUE"},
        UsageCase{"NoCommand", {}, "subcommand"},
        // A password on the command line would show in `ps`: --password reads standard input.
        UsageCase{"PasswordAsArgument",
                  {"schedule", "set", "--edition", "POS", "--account", "root", "--password", "pw"},
                  "pw"}),
    [](const auto& row) { return row.param.name; });

TEST(CliScramble, TwiceGivesTheInputBackByteForByte) {
    const std::string input = "Location Name =PelvarHTTP\r\nPort =80\r\n\r\nunix line\nlast";
    const Outcome once = liveupdate({"scramble"}, input);
    ASSERT_EQ(once.exitCode, 0) << once.err;
    ASSERT_EQ(once.out.size(), input.size());
    EXPECT_NE(once.out, input);
    // Line ends stay where they were, unscrambled.
    for (std::size_t i = 0; i < input.size(); ++i) {
        const bool lineEnd = input[i] == '\r' || input[i] == '\n';
        EXPECT_EQ(lineEnd, once.out[i] == input[i]) << "at " << i;
    }
    const Outcome twice = liveupdate({"scramble"}, once.out);
    EXPECT_EQ(twice.out, input);
}

} // namespace
