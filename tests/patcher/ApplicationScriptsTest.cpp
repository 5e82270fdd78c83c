#include "patcher/ApplicationScripts.h"

#include "ScriptStepFixture.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::sqlite;
using pelvar::test::sqliteRows;

namespace {

class ApplicationScripts : public test::ScriptStepFixture {};

TEST_F(ApplicationScripts, FileCompaniesGetDbaScriptsAndABrokenCompanyIsPassedOver) {
    const auto first = addFileCompany("C1", "First", "first.db");
    sqlite(security(), "INSERT INTO VaCompany VALUES ('C2', 'Broken', 'Microsoft.Jet.OLEDB.4.0', "
                       "'VSPMSACCESSDB', '" +
                           dir.path() + "', 'missing.db', 'Zq9-comp', '', '');");
    const auto second = addFileCompany("C3", "Second", "second.db");
    addScript("POS_9_0_1_04", "app.DBA",
              "-- file companies\r\n\r\nINSERT INTO Items VALUES (1, 'dba')\r\n-GO-\r\n"
              "BROKEN\r\n-GO-\r\n"
              "EXEC ShellExecute 'rm'\r\nINSERT INTO Items VALUES (9, 'shell')\r\n-GO-\r\n");
    addScript("POS_9_0_1_04", "app.DBS", "INSERT INTO Items VALUES (2, 'dbs')\r\n-GO-\r\n");
    addScript("POS_9_0_1_04", "app2.DBS", "INSERT INTO Items VALUES (3, 'dbs')\r\n-GO-\r\n");
    addScript("POS_9_0_1_04", "9.13_R1.RBS", "UPDATE dbo.Items SET Nm = 'rbs'\r\n-GO-\r\n");
    addScript("POS_9_0_1_04", "APPDBSCRIPTS.INI", "none.sql\r\n");
    openSecurity();

    runSingleStep(run, ResumeStep::ApplicationScripts);

    for (const auto& company : {first, second}) {
        EXPECT_EQ(sqliteRows(company, "SELECT Nm FROM Items"), std::vector<std::string>{"dba"});
    }
    const std::string folder = run.PatchFolder + "/POS_9_0_1_04/Script/";
    EXPECT_TRUE(logHasInOrder({
        "Started Application Database updation...",
        "Started Application Database updation for Pelvar Company: First",
        "Executed SQL statement :INSERT INTO Items VALUES (1, 'dba') : Pass",
        // A statement error logs its own description, not the "Could not updated" form.
        "near \"BROKEN\": syntax error",
        "Executed SQL statement :BROKEN : Fail",
        "Calling Script Execution Framework to execute the Menu scripts.",
        "Application Script execution is over. Please see the logs availble.",
        "Started Application Database updation for Pelvar Company: Broken",
        "Database: MISSING.DB Could not updated due to Error No: -2147467259 And description: "
        "Could not find file '" +
            dir.path() + "/missing.db'.",
        // The menu scripts are still handed over for a company that did not open.
        "Calling Script Execution Framework to execute the Menu scripts.",
        "Application Script execution is over. Please see the logs availble.",
        "Started Application Database updation for Pelvar Company: Second",
        "Executed SQL statement :INSERT INTO Items VALUES (1, 'dba') : Pass",
        "Application Database updation Over...",
    }));
    EXPECT_FALSE(text::contains(logText(), "shell"));
    EXPECT_FALSE(text::contains(logText(), "Zq9-comp"));
    // One record per statement, by company row; Point of Sale: no replication record; the
    // DBS scripts are collected.
    auto records = files::readLines(product() + "/Process3.log");
    records.resize(8); // later steps add their own
    EXPECT_EQ(records,
              (std::vector<std::string>{
                  "Step6Statements:1:0:first.db", "Step6Statements:2:0:first.db",
                  "Step6Statements:1:2:second.db", "Step6Statements:2:2:second.db", "Step6: Over",
                  "strDBSFile:" + folder + "app.DBS[[*]]" + folder + "app2.DBS",
                  "strDBAFile:" + folder + "app.DBA", "Step7: Started"}));
    EXPECT_EQ(readFile(product() + "/Ini/ApplicationSQL_999.INI"),
              readFile(folder + "app.DBS") + "\r\n" + readFile(folder + "app2.DBS") + "\r\n");
    EXPECT_TRUE(files::fileExists(product() + "/Ini/PelvarAppExtraDBScripts.ini"));
}

struct PrefixCase {
    const char* name;
    const char* statement;
    const char* schema;
    const char* expected;
};

class OwnerPrefix : public testing::TestWithParam<PrefixCase> {};

TEST_P(OwnerPrefix, Rewrites) {
    EXPECT_EQ(RewriteOwnerPrefix(GetParam().statement, GetParam().schema), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Schemas, OwnerPrefix,
    testing::Values(PrefixCase{"Schema", "UPDATE dbo.T SET A = 1", "STORE1",
                               "UPDATE STORE1.T SET A = 1"},
                    PrefixCase{"BracketedAndMixedCase", "INSERT INTO [dbo].T SELECT * FROM Dbo.U",
                               "STORE1", "INSERT INTO STORE1.T SELECT * FROM STORE1.U"},
                    PrefixCase{"NullSchemaMarkerLeavesItAlone", "UPDATE dbo.T SET A = 1", ".DBO.",
                               "UPDATE dbo.T SET A = 1"},
                    PrefixCase{"NoPrefix", "UPDATE T SET A = 1", "S2", "UPDATE T SET A = 1"}),
    [](const testing::TestParamInfo<PrefixCase>& row) { return std::string(row.param.name); });

} // namespace
