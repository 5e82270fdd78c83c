#include "patcher/FinalTask.h"

#include "ScriptStepFixture.h"
#include "environment/PatchVersion.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "patcher/PatchFiles.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::sqlite;
using pelvar::test::sqliteRows;

namespace {

class FinalTask : public test::ScriptStepFixture {
  protected:
    void SetUp() override {
        state.UpdateEntries = {"POS_9_0_1_04.ZIP:12/01/2026:9.0.1.04",
                               "POS_9_0_1_05.ZIP:12/03/2026:9.0.1.05"};
        WriteSetting(registry, "ProductVer", "9.13", keysel::Pos);
    }
};

TEST_F(FinalTask, AnUnopenableCompanyKeepsItsLevelAndTheOthersAreRecorded) {
    sqlite(security(), "INSERT INTO VaCompany VALUES ('C0', 'Gone', 'Microsoft.Jet.OLEDB.4.0', "
                       "'VSPMSACCESSDB', '/nonexistent', 'gone.db', 'Zq9-comp', '', '');");
    const auto kept = addFileCompany("C1", "First", "first.db");
    openSecurity();
    // The level already recorded as installed is not recorded again.
    WriteSetting(registry, "PatchVer", "9.0.1.04", keysel::Pos);

    runSingleStep(run, ResumeStep::FinalTask);

    EXPECT_EQ(sqliteRows(kept, "SELECT PatchVer FROM VAPatchDtls"), test::Texts{"9.0.1.05"});
    EXPECT_TRUE(logHasInOrder({"Database: GONE.DB Could not updated due to Error No: -2147467259 "
                               "And description: Could not find file '/nonexistent/gone.db'.",
                               "Registry Value Updated Successfully...."}));
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "9.0.1.05");
}

TEST_F(FinalTask, WithoutTheSecurityDatabaseNothingIsRecorded) {
    const auto company = addFileCompany("C1", "First", "first.db");
    CreateSystemFileFromRegistry(state.DatFileInfo, paths, registry, "1");

    runSingleStep(run, ResumeStep::FinalTask);

    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"3709 The connection cannot be used to perform this "
                                       "operation. It is either closed or invalid in this "
                                       "context."});
    EXPECT_TRUE(state.RunFailed);
    EXPECT_TRUE(sqliteRows(company, "SELECT * FROM VAPatchDtls").empty());
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "");
    EXPECT_FALSE(text::contains(readFile(systemFilePath(paths, 1)), "PATCHVER=9"));
    EXPECT_FALSE(logHasInOrder({"Creating Connection with Secutity Database."}));
}

// The three dates of a row as the file database stores them: the entry's date field, today,
// and the business date of SysParam.Dt (none: no SysParam row).
struct DateCase {
    const char* name;
    const char* entryDate;
    const char* businessDate;
    const char* storedPatchDate; // "today" for today's date
    const char* storedBusinessDate;
};

class FinalTaskDates : public FinalTask, public testing::WithParamInterface<DateCase> {};

TEST_P(FinalTaskDates, AreStoredAsDates) {
    const DateCase& c = GetParam();
    state.UpdateEntries = {std::string("POS_9_0_1_04.ZIP:") + c.entryDate + ":9.0.1.04"};
    const auto company = addFileCompany("C1", "First", "first.db");
    if (*c.businessDate) {
        sqlite(company, std::string("INSERT INTO SysParam VALUES ('PELVARSysDt', '") +
                            c.businessDate + "');");
    }
    openSecurity();

    runSingleStep(run, ResumeStep::FinalTask);

    const auto stored = [](const char* date) {
        return std::string(date) == "today" ? test::isoToday() : std::string(date);
    };
    EXPECT_EQ(
        sqliteRows(company, "SELECT PatchDt, BusinessDt FROM VAPatchDtls"),
        std::vector<std::string>{stored(c.storedPatchDate) + "|" + stored(c.storedBusinessDate)})
        << logText();
}

INSTANTIATE_TEST_SUITE_P(
    AccessProduct, FinalTaskDates,
    testing::Values(DateCase{"MonthFirst", "12/03/2026", "11/30/2026", "2026-12-03", "2026-11-30"},
                    DateCase{"TimestampWithFraction", "2026-12-03", "2026-11-30 00:00:00.000",
                             "2026-12-03", "2026-11-30"},
                    DateCase{"IsoTimestamp", "12/03/2026", "2026-11-30T13:45:10.250", "2026-12-03",
                             "2026-11-30"},
                    DateCase{"DayFirstWhenTheMonthCannotBeFirst", "31/12/2026", "", "2026-12-31",
                             "today"},
                    DateCase{"NoDateIsToday", "N/A", "not a date", "today", "today"}),
    [](const testing::TestParamInfo<DateCase>& row) { return std::string(row.param.name); });

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
    testing::Values(VersionCase{"PointOfSaleFourCharacters", "POS_9_0_1_05.ZIP", false, "9.0.1.05"},
                    VersionCase{"HeadOfficeThreeCharacters", "HO_9_0_1_05.zip", true, "9.0.1.05"},
                    VersionCase{"FolderAndNoExtension", "/x/y/HO_9_1", true, "9.1"},
                    VersionCase{"NothingAfterThePrefix", "POS_.ZIP", false, ""},
                    VersionCase{"OtherEditionsPrefixStays", "POS_9_1.zip", true, "POS.9.1"}),
    [](const testing::TestParamInfo<VersionCase>& row) { return std::string(row.param.name); });

TEST(VersionNumberText, RoundsHalvesAwayFromZeroOnTheDigits) {
    // One "###0.0" for GenUpdate.dat and the final task: halves away from zero, on the digits.
    for (const auto& [held, shown] :
         std::vector<std::pair<std::string, std::string>>{{"", "0.0"},
                                                          {"10.25.3", "10.3"},
                                                          {"9.45", "9.5"},
                                                          {"9.95", "10.0"},
                                                          {"9.44", "9.4"},
                                                          {"007.", "7.0"},
                                                          {"9.0.1.03", "9.0"}}) {
        EXPECT_EQ(patchfiles::versionNumberText(held), shown) << held;
    }
}

} // namespace
