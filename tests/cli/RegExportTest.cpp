#include "CommandLine.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using pelvar::test::readFile;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

using pelvar::test::CliRun;

CliRun lu(const TempDir& root, std::vector<std::string> args) {
    args.insert(args.begin(), {"--root", root.path()});
    return pelvar::test::runLiveupdate(args);
}

const std::vector<std::pair<std::string, std::string>> Awkward = {
    {"PASSWORD", "a;b,c=d"},     {"USER-INF1", "1,sa"},
    {"Quoted", "say \"hi\""},    {"Path", "C:\\Pelvar9\\Data\\"},
    {"Padded", "  both ends  "}, {"Accented", "Caf\xC3\xA9 \xE2\x82\xAC"},
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
    EXPECT_EQ(imported.out, "7 value(s) stored, 0 removed\n");
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
    EXPECT_EQ(readFile(root / "etc/pelvar/registry.ini"),
              "[Software\\Pelvar\\POS]\nPATCHVER 9.0.1.01\nPASSWORD=a;b\nPatchVer=9.0.1.05\n");
}

} // namespace
