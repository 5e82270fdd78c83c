#include "DatabaseRows.h"
#include "Env.h"
#include "Sandbox.h"
#include "Servers.h"
#include "environment/Connections.h"
#include "environment/RegistrySettings.h"
#include "patcher/PatchRun.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"
#include "platform/base/RunTimeError.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/text/Text.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelvar;
using pelvar::test::writeFile;

namespace {

const DatabaseConfig Postgres{"PostgreSQL Unicode"};

std::string sqloledb(int port, const std::string& db) {
    return "Provider=SQLOLEDB.1;Password=secret;Persist Security Info=True;User ID=postgres;"
           "Data Source=127.0.0.1," +
           std::to_string(port) + ";Initial Catalog=" + db;
}

// A company whose user name is its password: the server's refusal quotes the user name, so
// an unmasked error would carry the password into the update log and the framework's log.
TEST(ServerDatabaseSteps, PasswordsQuotedByTheDriverNeverReachTheLogs) {
    const test::ScopedEnv noWait("PELVAR_FRAMEWORK_WAIT_MS", "0");
    const int port = test::postgresPort();
    ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
    const std::string security = "dsec_" + std::to_string(::getpid());
    auto admin = DatabaseConnection::open(sqloledb(port, "postgres"), Postgres);
    admin->execute("DROP DATABASE IF EXISTS " + security);
    admin->execute("CREATE DATABASE " + security);
    DatabaseConnection::open(sqloledb(port, security), Postgres)
        ->execute("CREATE TABLE VaCompany (CompCode varchar(9), Nm varchar(50), DbProvider "
                  "varchar(30), DbType varchar(20), DbPath varchar(9), DbName varchar(50), "
                  "DbPassWd varchar(30), DbUserName varchar(30), DBServer varchar(50));"
                  "INSERT INTO VaCompany VALUES ('H02', 'Locked', 'SQLOLEDB.1', 'SQLSERVER', '', "
                  "'postgres', 'Hunter2x', 'Hunter2x', '127.0.0.1," +
                  std::to_string(port) + "')");

    test::Sandbox sb;
    sb.services.database = Postgres;
    sb.state.EditionFlag = 1;
    sb.state.ProductAppPath = sb.dir / "product";
    sb.state.PatchFolder = sb.dir / "product/PatchTemp";
    sb.state.SecurityConnectionString = sqloledb(port, security);
    writeFile(sb.state.PatchFolder + "/HO_9_0_1_05/Script/APPDBSCRIPTS.INI", "menu.sql\r\n");
    writeFile(sb.state.PatchFolder + "/HO_9_0_1_05/Script/menu.sql", "SELECT 1\r\n-GO-\r\n");
    components::recordRegistration(sb.registry, sb.state.ProductAppPath + "/PLPRFW04.dll");
    PatchRun run(sb.state);
    run.PatchFolders = {"HO_9_0_1_05"};
    ASSERT_TRUE(OpenSecurityDatabase(sb.state)) << sb.logText();

    runSingleStep(run, ResumeStep::ApplicationScripts);
    sb.state.SecurityConnection.reset();
    admin->execute("DROP DATABASE IF EXISTS " + security);

    const std::string logs =
        sb.logText() + test::readFile(sb.state.ProductAppPath + "/PLPRFW04.log");
    EXPECT_TRUE(text::contains(logs, "user \"****\"")) << logs;
    EXPECT_TRUE(text::contains(logs, "Database: POSTGRES Could not updated due to Error No: "
                                     "-2147467259 And description: "))
        << logs;
    EXPECT_FALSE(text::contains(logs, "Hunter2x")) << logs;
    for (const auto& box : sb.prompter.boxes) {
        EXPECT_FALSE(text::contains(box.text, "Hunter2x"));
    }
}

// The dates of a server company's row: the entry's date field and SysParam.Dt as the server's
// own column types hand it over, stored as dates.
struct ServerDateCase {
    const char* name;
    const char* columnType;
    const char* businessDate; // SQL literal
    const char* entryDate;
    const char* storedPatchDate; // "today" for today's date
    const char* storedBusinessDate;
};

class ServerFinalTaskDates : public testing::TestWithParam<ServerDateCase> {};

TEST_P(ServerFinalTaskDates, AreStoredAsDates) {
    const ServerDateCase& c = GetParam();
    const int port = test::postgresPort();
    ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
    const std::string company = "dfin_" + std::to_string(::getpid());
    auto admin = DatabaseConnection::open(sqloledb(port, "postgres"), Postgres);
    admin->execute("DROP DATABASE IF EXISTS " + company);
    admin->execute("CREATE DATABASE " + company);
    DatabaseConnection::open(sqloledb(port, company), Postgres)
        ->execute(std::string("CREATE TABLE SysParam (ParamCode varchar(20), Dt ") + c.columnType +
                  ");INSERT INTO SysParam VALUES ('PELVARSysDt', " + c.businessDate +
                  ");CREATE TABLE GenLookup (RecID int, Code varchar(9), Number varchar(9));"
                  "CREATE TABLE VAPatchDtls (CompCode varchar(9), CompName varchar(50), PatchVer "
                  "varchar(20), PatchDt date, AppliedDt date, BusinessDt date, ProductVer "
                  "varchar(9), LookupNos varchar(50), ScriptName varchar(50), Rem1 varchar(9), "
                  "Rem2 varchar(9), Rem3 varchar(9), Flag1 int, Flag2 int, Flag3 int)");
    test::Sandbox sb;
    sb.services.database = Postgres;
    sb.state.DatabaseType = "SQLSERVER";
    sb.state.PatchFolder = sb.dir / "PatchTemp";
    sb.state.UpdateEntries = {std::string("POS_9_0_1_04.ZIP:") + c.entryDate + ":9.0.1.04"};
    test::sqlite(sb.dir / "security.db",
                 "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, DbName, "
                 "DbPassWd, DbUserName, DBServer); INSERT INTO VaCompany VALUES ('P01', 'Shop', "
                 "'SQLOLEDB.1', 'SQLSERVER', '', '" +
                     company + "', 'secret', 'postgres', '127.0.0.1," + std::to_string(port) +
                     "');");
    sb.state.SecurityConnectionString =
        "Data Source=" + sb.dir / "security.db" + ";Jet OLEDB:Database Password=x";
    ASSERT_TRUE(OpenSecurityDatabase(sb.state)) << sb.logText();
    PatchRun run(sb.state);

    runSingleStep(run, ResumeStep::FinalTask);

    const auto stored = [](const char* date) {
        return std::string(date) == "today" ? test::isoToday() : std::string(date);
    };
    EXPECT_EQ(
        test::rowsOf(sqloledb(port, company), "SELECT PatchDt, BusinessDt FROM VAPatchDtls",
                     Postgres),
        std::vector<std::string>{stored(c.storedPatchDate) + "|" + stored(c.storedBusinessDate)})
        << sb.logText();
    admin->execute("DROP DATABASE IF EXISTS " + company);
}

INSTANTIATE_TEST_SUITE_P(
    ServerProduct, ServerFinalTaskDates,
    testing::Values(ServerDateCase{"Timestamp", "timestamp", "'2026-11-30 00:00:00'", "12/03/2026",
                                   "2026-12-03", "2026-11-30"},
                    ServerDateCase{"TimestampWithFraction", "timestamp(3)",
                                   "'2026-11-30 13:45:10.250'", "31/12/2026", "2026-12-31",
                                   "2026-11-30"},
                    ServerDateCase{"Date", "date", "'2026-11-30'", "N/A", "today", "2026-11-30"}),
    [](const testing::TestParamInfo<ServerDateCase>& row) { return std::string(row.param.name); });

} // namespace
