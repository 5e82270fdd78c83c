#include "Installation.h"
#include "PatchFixture.h"
#include "environment/RegistrySettings.h"

#include <gtest/gtest.h>
#include <map>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// Every file below `folder` with its content: what a run must leave as it found it.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            all[entry.path().string()] = readFile(entry.path().string());
        }
    }
    return all;
}

struct HostileRow {
    const char* name;
    const char* link;   // planted in the product folder; empty: none
    const char* target; // below the outside folder
    std::string packingList;
    const char* said;       // in the update log or a box's text
    const char* extra = ""; // another archive entry; empty: none
};

class HostileInstallation : public ::testing::TestWithParam<HostileRow> {};

// A link planted in the product folder, or a name that would add lines to a batch file, stops
// `liveupdate apply`: nothing outside the installation changes, nothing is recorded, exit 1.
TEST_P(HostileInstallation, StopsTheRunAndTouchesNothingOutside) {
    const HostileRow& row = GetParam();
    Installation installation;
    installation.securityDatabase(keysel::Pos, "9.0.1.04");
    const std::string outside = installation.dir / "outside";
    writeFile(outside + "/secret", "private");
    ::chmod((outside + "/secret").c_str(), 0600);
    writeFile(outside + "/progress", "kept");
    const std::string product = installation.product() + "/";
    writeFile(product + "Report.txt", "old");
    if (*row.link) {
        fs::remove_all(product + row.link);
        fs::create_symlink(outside + row.target, product + row.link);
    }
    installation.information("POSHTTP", {"POS_9_0_1_05.zip:12/03/2026:9.0.1.05"});
    ZipEntries entries = {
        {"PackingList.ini", row.packingList}, {"Report.txt", "new"}, {"manual.txt", "new manual"}};
    if (*row.extra) {
        entries.push_back({row.extra, "clash"});
    }
    installation.patch("POS_9_0_1_05.zip", entries);
    const auto before = contents(outside);
    const CliRun run = installation.apply("POS");
    EXPECT_EQ(contents(outside), before);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Pos), "9.0.1.04");
    EXPECT_TRUE(text::contains(installation.logText() + run.out + run.err, row.said))
        << row.said << "\n"
        << installation.logText() << run.out << run.err;
    for (const char* batch : {"Reg_3.bat", "Unreg_3.bat"}) {
        const std::string path = product + batch;
        EXPECT_FALSE(fs::exists(path) && readFile(path).find("INJECTED") != std::string::npos);
    }
}

const std::string placed = packingRecord("PRODUCT\\", "PRODUCT\\", "Report.txt", "N") +
                           packingRecord("Help\\", "AppPath\\", "manual.txt", "N");

INSTANTIATE_TEST_SUITE_P(
    Plants, HostileInstallation,
    ::testing::Values(
        HostileRow{"Temp3LinkedOutside", "Temp3", "", placed, "Temp3 is a symbolic link"},
        HostileRow{"ProgressFileLinkedOutside", "Process3.log", "/progress", placed,
                   "Process3.log is a symbolic link"},
        HostileRow{"HelpLinkedOutside", "Help", "", placed, "Help is a symbolic link"},
        HostileRow{"ProgramLinkedToAPrivateFile", "Report.txt", "/secret", placed,
                   "Step3 stopped: 75-Path/File access error"},
        HostileRow{"LineBreakInAPackingListFolder", "", "",
                   packingRecord("PRODUCT\\", "PRODUCT\\", "Report.txt", "N") +
                       packingRecord("x\r\nEcho INJECTED\r\n", "AppPath\\", "I.dll", "Y"),
                   "The information mentioned in the Packing List is not proper"},
        HostileRow{"NamesThatDifferOnlyInCase", "", "", placed, "is either empty or corrupted",
                   "report.TXT"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace

namespace {

// Patch SQL that attaches a file outside the installation fails as a statement of its own;
// the script goes on and the run records the patch.
TEST(HostilePatchSql, AttachOutsideTheInstallationFails) {
    Installation installation;
    installation.securityDatabase(keysel::Pos, "9.0.1.04", "CREATE TABLE Menu (Src);");
    fs::create_directories(installation.dir / "elsewhere");
    const std::string outside = installation.dir / "elsewhere/x.db";
    installation.information("POSHTTP", {"POS_9_0_1_05.zip:12/03/2026:9.0.1.05"});
    installation.patch(
        "POS_9_0_1_05.zip",
        {{"PackingList.ini", packingRecord("PRODUCT\\", "PRODUCT\\", "Report.txt", "N")},
         {"Report.txt", "new"},
         {"Script/sec.MNA",
          "ATTACH DATABASE '" + outside +
              "' AS x\r\n-GO-\r\nINSERT INTO Menu (Src) VALUES ('m')\r\n-GO-\r\n"}});
    const CliRun run = installation.apply("POS");
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_TRUE(installation.logHasInOrder(
        {"Executed SQL statement :ATTACH DATABASE '" + outside + "' AS x : Fail",
         "Executed SQL statement :INSERT INTO Menu (Src) VALUES ('m') : Pass"}))
        << run.out;
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Pos), "9.0.1.05");
}

} // namespace
