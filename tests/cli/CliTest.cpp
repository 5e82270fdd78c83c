#include "CommandLine.h"
#include "Servers.h"
#include "TempDir.h"
#include "platform/registry/RegistryStore.h"

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using pelvar::test::CliRun;
using pelvar::test::readFile;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

CliRun liveupdate(const std::vector<std::string>& args, const std::string& input = {}) {
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
    const CliRun got =
        liveupdate({"--root", root.path(), "reg", "get", "software\\pelvar\\luinfo", "VALUE1"});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_EQ(got.out, "v1\n");
    const CliRun missing =
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
    const CliRun run = liveupdate(args);
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
    const CliRun once = liveupdate({"scramble"}, input);
    ASSERT_EQ(once.exitCode, 0) << once.err;
    ASSERT_EQ(once.out.size(), input.size());
    EXPECT_NE(once.out, input);
    // Line ends stay where they were, unscrambled.
    for (std::size_t i = 0; i < input.size(); ++i) {
        const bool lineEnd = input[i] == '\r' || input[i] == '\n';
        EXPECT_EQ(lineEnd, once.out[i] == input[i]) << "at " << i;
    }
    const CliRun twice = liveupdate({"scramble"}, once.out);
    EXPECT_EQ(twice.out, input);
}

CliRun lu(const TempDir& root, std::vector<std::string> args) {
    args.insert(args.begin(), {"--root", root.path()});
    return pelvar::test::runLiveupdate(args);
}

const std::vector<std::pair<std::string, std::string>> Awkward = {
    {"PASSWORD", "a;b,c=d"},      {"USER-INF1", "1,sa"},
    {"Quoted", "\"q\""},          {"Path", "C:\\Pelvar9\\Data\\"},
    {"Padded", "  both, ends  "}, {"Accented", "Caf\xC3\xA9 \xE2\x82\xAC"},
    {"Hash", "#not a comment"},   {"Typed", "@Variant(1)"},
};

struct FormatCase {
    const char* name;
    std::vector<std::string> flags;
    std::string head; // the file's first bytes
};

class RegExport : public testing::TestWithParam<FormatCase> {};

// Values a Windows installation may hold survive export and import into another installation
// byte for byte, in both export formats.
TEST_P(RegExport, RoundTripsAwkwardValuesIntoAnotherInstallation) {
    TempDir from;
    TempDir to;
    for (const auto& [name, value] : Awkward) {
        ASSERT_EQ(lu(from, {"reg", "set", "Software\\Pelvar\\POS", name, value}).exitCode, 0);
    }
    ASSERT_EQ(lu(from, {"reg", "set", "Software\\Pelvar\\POS\\Sub", "Deep", "x"}).exitCode, 0);
    const std::string file = to / "pelvar.reg";
    std::vector<std::string> exportArgs = {"reg", "export", "HKLM\\Software\\Pelvar", file};
    exportArgs.insert(exportArgs.end(), GetParam().flags.begin(), GetParam().flags.end());
    const CliRun exported = lu(from, exportArgs);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_TRUE(readFile(file).starts_with(GetParam().head));

    const CliRun imported = lu(to, {"reg", "import", file});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(imported.out, "9 value(s) stored, 0 removed\n");
    for (const auto& [name, value] : Awkward) {
        SCOPED_TRACE(name);
        EXPECT_EQ(lu(to, {"reg", "get", "Software\\Pelvar\\POS", name}).out, value + "\n");
    }
    EXPECT_EQ(lu(to, {"reg", "get", "Software\\Pelvar\\POS\\Sub", "Deep"}).out, "x\n");
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RegExport,
    testing::Values(FormatCase{"Unicode", {}, std::string("\xFF\xFEW\0i\0n\0", 8)},
                    FormatCase{"Regedit4", {"--regedit4"}, "REGEDIT4\r\n"}),
    [](const auto& row) { return std::string(row.param.name); });

// A REGEDIT4 file: a hex value spread over two lines and keys of other hives are named with
// their line and left out (a Unicode file's dword: PreflightTest); the string values are stored
// and "=-" removes one.
TEST(RegImport, TakesStringValuesAndNamesWhatItLeavesOut) {
    TempDir root;
    ASSERT_EQ(lu(root, {"reg", "set", "Software\\Pelvar\\POS", "Old", "1"}).exitCode, 0);
    writeFile(root / "win.reg", "REGEDIT4\r\n"
                                "\r\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelvar\\POS]\r\n"
                                "\"PatchVer\"=\"9.0.1.05\"\r\n"
                                "\"Blob\"=hex:01,02,\\\r\n"
                                "  03,04\r\n"
                                "\"Old\"=-\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Pelvar]\r\n"
                                "\"User\"=\"x\"\r\n");
    const CliRun run = lu(root, {"reg", "import", root / "win.reg"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "1 value(s) stored, 1 removed\n");
    EXPECT_NE(run.err.find("line 5: only string values are taken"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 9: only keys under HKEY_LOCAL_MACHINE"), std::string::npos)
        << run.err;
    EXPECT_EQ(lu(root, {"reg", "get", "Software\\Pelvar\\POS", "PatchVer"}).out, "9.0.1.05\n");
    EXPECT_EQ(lu(root, {"reg", "get", "Software\\Pelvar\\POS", "Old"}).exitCode, 1);

    writeFile(root / "text.txt", "PatchVer=1\n");
    const CliRun notExport = lu(root, {"reg", "import", root / "text.txt"});
    EXPECT_EQ(notExport.exitCode, 1);
    EXPECT_NE(notExport.err.find("not a registry export"), std::string::npos);
}

// A line without "=" written by hand: the value is stored, the line kept, and the admin told
// which line nothing reads, with exit 0 because the store did what was asked.
TEST(RegSet, ReportsAStrayLineAndStillStores) {
    TempDir root;
    writeFile(root / "etc/pelvar/registry.ini",
              "[Software\\Pelvar\\POS]\nPATCHVER 9.0.1.01\nPASSWORD=a;b\n");
    const CliRun run = lu(root, {"reg", "set", "Software\\Pelvar\\POS", "PatchVer", "9.0.1.05"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "liveupdate: " + root / "etc/pelvar/registry.ini" +
                           ", line 2: PATCHVER 9.0.1.01 (not NAME=VALUE; kept, but not read)\n");
}

} // namespace
