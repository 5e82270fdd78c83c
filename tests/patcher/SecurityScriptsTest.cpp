#include "ScriptStepFixture.h"
#include "patcher/PatchFiles.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::sqlite;
using pelvar::test::sqliteRows;

namespace {

class SecurityScripts : public test::ScriptStepFixture {
  protected:
    void SetUp() override {
        sqlite(security(), "CREATE TABLE Menu (Id INTEGER PRIMARY KEY AUTOINCREMENT, Src TEXT);");
    }
};

TEST_F(SecurityScripts, RunsEachPatchsScriptsInOrderWithPassAndFailLines) {
    addScript("POS_9_0_1_04", "A.MNA",
              "* first patch\r\nINSERT INTO Menu (Src)\r\nVALUES ('a1')\r\n-GO-\r\n"
              "INSERT INTO Missing VALUES (1)\r\n-GO-\r\nINSERT INTO Menu (Src) VALUES ('a2')\r\n"
              "-GO-\r\n");
    addScript("POS_9_0_1_04", "A.MNS", "INSERT INTO Menu (Src) VALUES ('server')\r\n-GO-\r\n");
    // The last statement of B.MNA has no -GO- line: it is dropped, and the log says so.
    addScript("POS_9_0_1_05", "B.MNA",
              "INSERT INTO Menu (Src) VALUES ('b1')\r\n-GO-\r\nINSERT INTO Menu (Src) VALUES "
              "('dropped')\r\n");
    openSecurity();

    runSingleStep(run, ResumeStep::SecurityScripts);

    // Statements of the first patch run before the second's; the failing one did not stop it.
    EXPECT_EQ(sqliteRows(security(), "SELECT Src FROM Menu ORDER BY Id"),
              (std::vector<std::string>{"a1", "a2", "b1"}));
    const auto log = logMessages();
    const auto fail = std::find(log.begin(), log.end(),
                                "Executed SQL statement :INSERT INTO Missing VALUES (1) : Fail");
    ASSERT_NE(fail, log.end()) << logText();
    EXPECT_TRUE(text::contains(*(fail - 1), "no such table")) << *(fail - 1);
    EXPECT_TRUE(text::contains(
        logText(), "Executed SQL statement :INSERT INTO Menu (Src) \r\nVALUES ('a1') : Pass"));
    EXPECT_TRUE(logHasInOrder({
        "Started Security Database updation.",
        "Executed SQL statement :INSERT INTO Menu (Src) VALUES ('a2') : Pass",
        "Script " + run.PatchFolder +
            "/POS_9_0_1_05/Script/B.MNA ends without a -GO- line: its last statement was not "
            "executed.",
        "Security Database updation over.",
    }));
    // The collection file holds both security scripts, each followed by CR LF.
    EXPECT_EQ(readFile(product() + "/Ini/SecuritySQL_999.INI"),
              readFile(run.PatchFolder + "/POS_9_0_1_04/Script/A.MNA") + "\r\n" +
                  readFile(run.PatchFolder + "/POS_9_0_1_05/Script/B.MNA") + "\r\n");
}

struct KindCase {
    const char* name;
    const char* databaseType;
    Edition edition;
    const char* executed; // Src of the statement that runs
    std::vector<std::string> collected;
};

class SecurityScriptKinds : public SecurityScripts, public testing::WithParamInterface<KindCase> {};

TEST_P(SecurityScriptKinds, DatabaseTypeAndEditionChooseScriptsAndCollections) {
    const auto& c = GetParam();
    state.DatabaseType = c.databaseType;
    state.edition = c.edition;
    addScript("P1", "x.mna", "INSERT INTO Menu (Src) VALUES ('mna')\n-GO-\n");
    addScript("P1", "y.MNS", "INSERT INTO Menu (Src) VALUES ('mns')\n-GO-\n");
    addScript("P1", "SecDbScripts.ini", "* no scripts\n");
    addScript("P1", "menu.P9Q", "p9q body");
    addScript("P1", "empty.MNS", "");
    openSecurity();

    runSingleStep(run, ResumeStep::SecurityScripts);

    EXPECT_EQ(sqliteRows(security(), "SELECT Src FROM Menu"), std::vector<std::string>{c.executed});
    // The menu list finds no registered framework: logged, and the step goes on.
    EXPECT_TRUE(logHasInOrder({"Class not registered", "Security Database updation over."}));
    EXPECT_EQ(patchfiles::filesIn(product() + "/Ini"), c.collected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SecurityScriptKinds,
    testing::Values(
        KindCase{"AccessPointOfSale", "ACCESS", Edition::Pos, "mna", {"SecuritySQL_999.INI"}},
        KindCase{"ServerPointOfSale",
                 "SQLSERVER",
                 Edition::Pos,
                 "mns",
                 {"PelvarSecDBExtraScripts.ini", "SecuritySQL_999.INI", "menu.P9Q"}},
        KindCase{"ServerHeadOfficeCollectsNothing", "SQLSERVER", Edition::Ho, "mns", {}}),
    [](const testing::TestParamInfo<KindCase>& row) { return std::string(row.param.name); });

TEST_F(SecurityScripts, RegisteredFrameworkRunsTheMenuListAndLogsWithoutThePassword) {
    addScript("P1", "SECDBSCRIPTS.INI", "* menu scripts\r\nmenu1.sql\r\n\r\nmenu2.sql\r\n");
    addScript("P1", "menu1.sql", "INSERT INTO Menu (Src) VALUES ('m1')\r\n-GO-\r\n");
    addScript("P1", "menu2.sql",
              "INSERT INTO Menu (Src) VALUES ('m2')\r\n-GO-\r\nBROKEN\r\n-GO-\r\n");
    openSecurity();
    components::recordRegistration(registry, product() + "/PLPRFW04.dll");

    runSingleStep(run, ResumeStep::SecurityScripts);

    EXPECT_EQ(sqliteRows(security(), "SELECT Src FROM Menu ORDER BY Id"),
              (std::vector<std::string>{"m1", "m2"}));
    EXPECT_TRUE(logHasInOrder({"Calling Script Execution Framework to execute the Menu scripts.",
                               "Menu Script execution is over. Please see the logs availble."}));
    const std::string frameworkLog = readFile(product() + "/PLPRFW04.log");
    // The eleven properties in the order they were set, the password masked.
    EXPECT_TRUE(text::contains(
        frameworkLog,
        "P9QProgType=L; P9QForPvVersion=9.13; P9QScriptFileName=" + run.PatchFolder +
            "/P1/Script/SECDBSCRIPTS.INI; P9QScriptExecType=2; P9QConnectionString="
            "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source='" +
            security() +
            "';Jet OLEDB:Database Password= **** ; P9QApplicationPath=; P9QDatabasePath=; "
            "P9QSchemaName=; P9QOthers=; P9QCmdLnArgument=; P9QRunInEnvironment=M"))
        << frameworkLog;
    EXPECT_TRUE(text::contains(frameworkLog, "Job over: 2 statement(s) passed, 1 failed"))
        << frameworkLog;
    EXPECT_FALSE(text::contains(frameworkLog + logText(), "Zq9-sec"));
}

// The step uses the wizard's connection and opens none of its own, although the database is
// there to be opened.
TEST_F(SecurityScripts, WithoutTheConnectionEveryStatementFailsOnItsOwn) {
    addScript("P1", "A.MNA", "INSERT INTO Menu (Src) VALUES ('a')\n-GO-\nSELECT 1\n-GO-\n");

    runSingleStep(run, ResumeStep::SecurityScripts);

    const std::string closed = "The connection cannot be used to perform this operation. It is "
                               "either closed or invalid in this context.";
    EXPECT_TRUE(logHasInOrder({closed,
                               "Executed SQL statement :INSERT INTO Menu (Src) VALUES "
                               "('a') : Fail",
                               closed, "Executed SQL statement :SELECT 1 : Fail",
                               "Security Database updation over."}));
}

} // namespace
