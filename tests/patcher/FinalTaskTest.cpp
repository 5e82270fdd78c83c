#include "patcher/FinalTask.h"

#include "ScriptStepFixture.h"
#include "environment/PatchVersion.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "patcher/PatchFiles.h"
#include "patcher/StepDriver.h"

#include <cstdio>

using namespace pelvar;
using pelvar::test::isoToday;
using pelvar::test::readFile;
using pelvar::test::sqlite;
using pelvar::test::sqliteRows;

namespace {

class FinalTask : public test::ScriptStepFixture {
  protected:
    void SetUp() override {
        sb.state.UpdateEntries = {"POS_9_0_1_04.ZIP:12/01/2026:9.0.1.04",
                                  "POS_9_0_1_05.ZIP:12/03/2026:9.0.1.05"};
        WriteSetting(sb.registry, "ProductVer", "9.45", keysel::Pos);
    }
};

TEST_F(FinalTask, RecordsEachPatchPerCompanyTheRegistryAndTheSystemFile) {
    const auto first = addFileCompany("C1", "First", "first.db");
    sqlite(first, "INSERT INTO GenLookup VALUES (101, 'B', '7'), (101, 'A', '5'), (102, 'C', '9');"
                  "INSERT INTO SysParam VALUES ('PELVARSysDt', '11/30/2026');");
    const auto smith = addFileCompany("C'2", "Smith's", "smith.db");
    addScript("POS_9_0_1_04", "shop.DBA", "SELECT 1\n-GO-\n");
    addScript("POS_9_0_1_04", "server.DBS", "SELECT 1\n-GO-\n");
    CreateSystemFileFromRegistry(sb.state.DatFileInfo, sb.paths, sb.registry, "1");
    openSecurity();

    runSingleStep(run, ResumeStep::FinalTask);

    const std::string today = isoToday();
    // Two patches give two rows per company; CDate turned the dates into date texts.
    EXPECT_EQ(sqliteRows(first, "SELECT * FROM VAPatchDtls ORDER BY PatchVer"),
              (std::vector<std::string>{
                  "C1|First|9.0.1.04|2026-12-01|" + today + "|2026-11-30|9.5|5#7|shop.DBA||||0|0|0",
                  "C1|First|9.0.1.05|2026-12-03|" + today + "|2026-11-30|9.5|5#7|||||0|0|0"}));
    // No SysParam row: today is the business date; quotes inside values survive.
    EXPECT_EQ(
        sqliteRows(smith, "SELECT * FROM VAPatchDtls ORDER BY PatchVer"),
        (std::vector<std::string>{
            "C'2|Smith's|9.0.1.04|2026-12-01|" + today + "|" + today + "|9.5||shop.DBA||||0|0|0",
            "C'2|Smith's|9.0.1.05|2026-12-03|" + today + "|" + today + "|9.5||||||0|0|0"}));
    EXPECT_EQ(ReadSetting(sb.registry, "LastUpdated", keysel::Pos), "03-12-2026");
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Pos), "9.0.1.05");
    EXPECT_EQ(ReadSetting(sb.registry, "PatchEngineVer", keysel::Pos), "1.5");
    EXPECT_EQ(ReadSetting(sb.registry, "HODownLoadPath", keysel::LiveUpdate), "");
    const auto system = files::readLines(systemFilePath(sb.paths, 1));
    for (const char* line : {"PATCHVER=9.0.1.05", "PATCHENGINEVER=1.5", "LASTUPDATED=03-12-2026"}) {
        EXPECT_NE(std::find(system.begin(), system.end(), line), system.end()) << line;
    }
    EXPECT_TRUE(logHasInOrder(
        {"Performing Final Task....", "Updating Updates Information to Security Database....",
         "ReplVaPatchDtls updation for Replication Database Started...",
         "Replication Database updation Over...",
         "Updates Information to Security Database Updated....", "Updating Registry Value....",
         "Registry Value Updated Successfully...."}));
    EXPECT_TRUE(sb.prompter.boxes.empty());
}

TEST_F(FinalTask, AnUnopenableCompanyKeepsItsLevelAndTheOthersAreRecorded) {
    sqlite(security(), "INSERT INTO VaCompany VALUES ('C0', 'Gone', 'Microsoft.Jet.OLEDB.4.0', "
                       "'VSPMSACCESSDB', '/nonexistent', 'gone.db', 'Zq9-comp', '', '');");
    const auto kept = addFileCompany("C1", "First", "first.db");
    openSecurity();

    runSingleStep(run, ResumeStep::FinalTask);

    EXPECT_EQ(sqliteRows(kept, "SELECT PatchVer FROM VAPatchDtls ORDER BY PatchVer"),
              (std::vector<std::string>{"9.0.1.04", "9.0.1.05"}));
    EXPECT_TRUE(logHasInOrder({"Database: GONE.DB Could not updated due to Error No: -2147467259 "
                               "And description: Could not find file '/nonexistent/gone.db'.",
                               "Registry Value Updated Successfully...."}));
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Pos), "9.0.1.05");
}

TEST_F(FinalTask, AFailingInsertShowsTheErrorAndStopsBeforeTheRegistry) {
    const auto company = addFileCompany("C1", "First", "first.db");
    sqlite(company, "DROP TABLE VAPatchDtls;");
    openSecurity();

    runSingleStep(run, ResumeStep::FinalTask);

    ASSERT_EQ(sb.prompter.boxes.size(), 1u);
    EXPECT_TRUE(text::contains(sb.prompter.boxes[0].text, "no such table"))
        << sb.prompter.boxes[0].text;
    EXPECT_EQ(sb.prompter.boxes[0].title, "Pelvar 9 LiveUpdate");
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Pos), "");
    EXPECT_FALSE(logHasInOrder({"Registry Value Updated Successfully...."}));
}

struct VersionCase {
    const char* name;
    const char* file;
    bool headOffice;
    const char* version;
};

class PatchVersion : public testing::TestWithParam<VersionCase> {};

TEST_P(PatchVersion, DropsTheEditionPrefix) {
    EXPECT_EQ(patchVersionOfFile(GetParam().file, GetParam().headOffice), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Editions, PatchVersion,
    testing::Values(VersionCase{"PointOfSale", "POS_9_0_1_05.ZIP", false, "9.0.1.05"},
                    VersionCase{"HeadOffice", "HO_9_0_1_05.zip", true, "9.0.1.05"},
                    VersionCase{"FolderAndNoExtension", "C:\\x\\y/HO_9_1", true, "9.1"},
                    VersionCase{"OtherEditionsPrefixStays", "HO_9_1.ZIP", false, "HO.9.1"},
                    VersionCase{"NothingAfterThePrefix", "POS_.ZIP", false, ""}),
    [](const testing::TestParamInfo<VersionCase>& row) { return std::string(row.param.name); });

struct NumberCase {
    const char* name;
    const char* text;
    const char* formatted;
};

class VersionNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(VersionNumber, OneDecimalHalvesAwayFromZero) {
    EXPECT_EQ(patchfiles::versionNumberText(GetParam().text), GetParam().formatted);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionNumber,
    testing::Values(NumberCase{"HalfUp", "9.45", "9.5"},
                    NumberCase{"CarryIntoUnits", "9.95", "10.0"}, NumberCase{"Down", "9.13", "9.1"},
                    NumberCase{"VersionText", "10.25.3", "10.3"},
                    NumberCase{"LeadingZeros", "007.05", "7.1"}, NumberCase{"Empty", "", "0.0"},
                    NumberCase{"NoNumber", "v9", "0.0"}),
    [](const testing::TestParamInfo<NumberCase>& row) { return std::string(row.param.name); });

} // namespace
