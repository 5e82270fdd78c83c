#include "DatabaseRows.h"
#include "Env.h"
#include "Installation.h"
#include "Sandbox.h"
#include "Servers.h"
#include "download/UpdateInformation.h"
#include "environment/Connections.h"
#include "environment/RegistrySettings.h"
#include "patcher/PatchRun.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"
#include "platform/base/RunTimeError.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

const DatabaseConfig Postgres{"PostgreSQL Unicode"};

std::string sqloledb(int port, const std::string& db,
                     const std::string& password = test::postgresPassword()) {
    return "Provider=SQLOLEDB.1;Password=" + password +
           ";Persist Security Info=True;User ID=postgres;Data Source=127.0.0.1," +
           std::to_string(port) + ";Initial Catalog=" + db;
}

// A database of its own per test on the suite's cluster, dropped afterwards.
class ServerDatabase : public testing::Test {
  protected:
    void SetUp() override {
        port = test::postgresPort();
        ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
        admin = DatabaseConnection::open(sqloledb(port, "postgres"), Postgres);
        admin->execute("DROP DATABASE IF EXISTS " + name);
        admin->execute("CREATE DATABASE " + name);
        sb.services.database = Postgres;
    }
    void TearDown() override {
        sb.state.SecurityConnection.reset();
        if (admin) {
            admin->execute("DROP DATABASE IF EXISTS " + name);
        }
    }
    std::unique_ptr<DatabaseConnection> db() const {
        return DatabaseConnection::open(sqloledb(port, name), Postgres);
    }

    int port = 0;
    const std::string name = "dtest_" + std::to_string(::getpid());
    std::unique_ptr<DatabaseConnection> admin;
    test::Sandbox sb;
};

// The business date of a server company's row: SysParam.Dt as the server's own column types
// hand it over, stored as a date.
struct ServerDateCase {
    const char* name;
    const char* columnType;
    const char* businessDate; // SQL literal of 30 November 2026
};

class ServerFinalTaskDates : public ServerDatabase,
                             public testing::WithParamInterface<ServerDateCase> {};

TEST_P(ServerFinalTaskDates, AreStoredAsDates) {
    const ServerDateCase& c = GetParam();
    db()->execute(std::string("CREATE TABLE SysParam (ParamCode varchar(20), Dt ") + c.columnType +
                  ");INSERT INTO SysParam VALUES ('PELVARSysDt', " + c.businessDate +
                  ");CREATE TABLE GenLookup (RecID int, Code varchar(9), Number varchar(9));"
                  "CREATE TABLE VAPatchDtls (CompCode varchar(9), CompName varchar(50), PatchVer "
                  "varchar(20), PatchDt date, AppliedDt date, BusinessDt date, ProductVer "
                  "varchar(9), LookupNos varchar(50), ScriptName varchar(50), Rem1 varchar(9), "
                  "Rem2 varchar(9), Rem3 varchar(9), Flag1 int, Flag2 int, Flag3 int)");
    sb.state.DatabaseType = "SQLSERVER";
    PatchRun run(sb.state);
    run.PatchFolder = sb.dir / "PatchTemp";
    sb.state.UpdateEntries = {"POS_9_0_1_04.ZIP:12/03/2026:9.0.1.04"};
    test::sqlite(sb.dir / "security.db",
                 "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, DbName, "
                 "DbPassWd, DbUserName, DBServer); INSERT INTO VaCompany VALUES ('P01', 'Shop', "
                 "'SQLOLEDB.1', 'SQLSERVER', '', '" +
                     name + "', 'secret', 'postgres', '127.0.0.1," + std::to_string(port) + "');");
    sb.state.SecurityConnectionString =
        "Data Source=" + sb.dir / "security.db" + ";Jet OLEDB:Database Password=x";
    ASSERT_TRUE(OpenSecurityDatabase(sb.state)) << sb.logText();

    runSingleStep(run, ResumeStep::FinalTask);

    EXPECT_EQ(
        test::rowsOf(sqloledb(port, name), "SELECT PatchDt, BusinessDt FROM VAPatchDtls", Postgres),
        Texts{"2026-12-03|2026-11-30"})
        << sb.logText();
}

INSTANTIATE_TEST_SUITE_P(
    ServerProduct, ServerFinalTaskDates,
    testing::Values(ServerDateCase{"Timestamp", "timestamp", "'2026-11-30 00:00:00'"},
                    ServerDateCase{"TimestampWithFraction", "timestamp(3)",
                                   "'2026-11-30 13:45:10.250'"},
                    ServerDateCase{"Date", "date", "'2026-11-30'"}),
    [](const testing::TestParamInfo<ServerDateCase>& row) { return std::string(row.param.name); });

// The security database on the server, its tables in "dbo" as on SQL Server.
class SecurityDatabaseServer : public ServerDatabase {
  protected:
    void SetUp() override {
        ServerDatabase::SetUp();
        admin->execute("ALTER DATABASE " + name + " SET search_path = dbo, public");
        db()->execute(
            "CREATE SCHEMA dbo;CREATE TABLE dbo.VaCompany (CompCode varchar(10), "
            "CompName varchar(50));INSERT INTO dbo.VaCompany VALUES ('C01', 'Main Shop')");
    }
};

TEST_F(SecurityDatabaseServer, AFailedOpenLogsTheDriversReason) {
    // A wrong password and a port nothing listens on fail with the driver's reason.
    for (const auto& connection :
         {sqloledb(port, name, "wrong"), sqloledb(test::freePort(), name)}) {
        sb.state.SecurityConnectionString = connection;
        EXPECT_FALSE(OpenSecurityDatabase(sb.state));
        const std::string failed = sb.logMessages().back();
        const std::string start = "Connection with Secutity Database Failed.";
        EXPECT_TRUE(failed.starts_with(start) && failed.ends_with("-2147467259") &&
                    failed.size() > start.size() + 11)
            << connection << "\n"
            << sb.logText();
    }
}

TEST_F(SecurityDatabaseServer, ReleasesAreApprovedByTheServerTable) {
    sb.state.SecurityConnectionString = sqloledb(port, name);
    // No table at all approves every release.
    EXPECT_TRUE(IsReleaseApproved(sb.state, "9.0.1.03"));

    auto db = DatabaseConnection::open(sb.state.SecurityConnectionString, Postgres);
    db->execute("CREATE TABLE dbo.AuthorisedPOSPatches (ReleaseNo varchar(20), "
                "ApprovedStatus varchar(1))");
    EXPECT_TRUE(IsReleaseApproved(sb.state, "9.0.1.03")) << "an empty table approves everything";
    db->execute("INSERT INTO dbo.AuthorisedPOSPatches VALUES ('9.0.1.04', '1')");
    EXPECT_TRUE(IsReleaseApproved(sb.state, "9.0.1.04"));
    EXPECT_FALSE(IsReleaseApproved(sb.state, "9.0.1.05")) << "no row at or above it";
    // A release from the server's file is data: a second statement never runs.
    EXPECT_FALSE(IsReleaseApproved(sb.state, "~'; DELETE FROM dbo.VaCompany; SELECT '1' AS x --"));
    EXPECT_EQ(db->query("SELECT * FROM dbo.VaCompany").size(), 1U);
}

// Head Office on the PostgreSQL cluster: the security database, one company and one
// replication database, reached through the ODBC driver by every connection-string shape,
// applied by the built `liveupdate`.
TEST(ApplyEndToEnd, HeadOfficeWithServerSecurityCompanyAndReplicationDatabases) {
    const int port = test::postgresPort();
    ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
    const ScopedEnv frameworkWait("PELVAR_FRAMEWORK_WAIT_MS", "5000");
    const ScopedEnv driver("PELVAR_ODBC_DRIVER", "PostgreSQL Unicode");
    Installation installation;
    writeFile(installation.product() + "/PLPRFW04.dll", "framework");
    const std::string server = "127.0.0.1," + std::to_string(port);
    const auto connection = [&](const std::string& db) { return sqloledb(port, db); };
    const auto on = [&](const std::string& db, const std::string& sql) {
        auto c = DatabaseConnection::open(connection(db), Postgres);
        for (const auto& statement : text::splitText(sql, ";")) {
            c->execute(statement);
        }
    };
    const std::string tag = "_" + std::to_string(::getpid());
    const std::string security = "esec" + tag, company = "ecomp" + tag, replica = "erepl" + tag;
    for (const auto& db : {security, company, replica}) {
        on("postgres", "DROP DATABASE IF EXISTS " + db + ";CREATE DATABASE " + db +
                           ";ALTER DATABASE " + db + " SET search_path = dbo, public");
    }
    on(security, "CREATE SCHEMA dbo;CREATE TABLE dbo.VaCompany (CompCode varchar(9), Nm "
                 "varchar(50), DbProvider varchar(30), DbType varchar(20), DbPath varchar(9), "
                 "DbName varchar(50), DbPassWd varchar(30), DbUserName varchar(30), DBServer "
                 "varchar(50));CREATE TABLE dbo.Menu (Src varchar(9))");
    // The second company's user name is its password: the server's refusal quotes the user
    // name, so an unmasked error would carry the password into the logs.
    on(security, "INSERT INTO dbo.VaCompany VALUES ('H01', 'Smith''s', 'SQLOLEDB.1', 'SQLSERVER', "
                 "'', '" +
                     company + "', 'secret', 'postgres', '" + server +
                     "'), ('H02', 'Locked', 'SQLOLEDB.1', 'SQLSERVER', '', 'postgres', "
                     "'Hunter2x', 'Hunter2x', '" +
                     server + "')");
    on(company, "CREATE SCHEMA dbo;CREATE TABLE dbo.Items (Nm varchar(9));"
                "CREATE TABLE dbo.VAPatchDtls (CompCode varchar(9), CompName varchar(50), "
                "PatchVer varchar(20), PatchDt date, AppliedDt date, BusinessDt date, ProductVer "
                "varchar(9), LookupNos varchar(50), ScriptName varchar(50), Rem1 varchar(9), Rem2 "
                "varchar(9), Rem3 varchar(9), Flag1 int, Flag2 int, Flag3 int);"
                "CREATE TABLE dbo.GenLookup (RecID int, Code varchar(9), Number varchar(9));"
                "INSERT INTO dbo.GenLookup VALUES (101, 'Z', '2'), (101, 'Y', '1');"
                "CREATE TABLE dbo.Showroommaster (SchemaName varchar(20), DbProvider varchar(30), "
                "DBServer varchar(50), DbUserName varchar(30), DbPassWd varchar(30), DbName "
                "varchar(50), SwInstall varchar(10))");
    on(company, "INSERT INTO dbo.Showroommaster VALUES ('STORE1', 'SQLOLEDB.1', '" + server +
                    "', 'postgres', 'secret', '" + replica + "', '9.13'), (NULL, 'SQLOLEDB.1', '" +
                    server + "', 'postgres', 'secret', 'old_store', '9.13  ')");
    on(replica, "CREATE SCHEMA store1;CREATE TABLE store1.Stock (Qty int);"
                "INSERT INTO store1.Stock VALUES (5);CREATE SCHEMA dbo;"
                "CREATE TABLE dbo.ReplVaPatchDtls (CompCode varchar(9), PatchVer varchar(20), "
                "PatchDt date, AppliedDt date, SwInstall varchar(10), NodeId varchar(20))");
    installation.settings(keysel::Enterprise, {{"SERVERTYPE", "SQLSERVER"},
                                               {"PELVARAPPPATH", installation.product()},
                                               {"SERVERID", server},
                                               {"VASEC-DB", security},
                                               {"PASSWORD", "secret"},
                                               {"USER-INF2", "xpostgres"},
                                               {"ProductVer", "9.2"}});
    WriteSetting(installation.registry, "NodeId", "NODE7", keysel::NodeInfo);
    // Each patch replaces one installed file, so that its backup is not empty.
    writeFile(installation.product() + "/readme.txt", "installed");
    const std::string readme = "1-#-PRODUCT\\-#-PRODUCT\\-#-readme.txt-#-N-GO-";
    installation.patch("HO_9_0_1_06.zip",
                       {{"PackingList.ini", readme},
                        {"readme.txt", "6"},
                        {"Script/sec.MNS", "INSERT INTO Menu VALUES ('mns')\r\n-GO-\r\n"},
                        {"Script/app.DBS", "INSERT INTO Items VALUES ('dbs')\r\n-GO-\r\n"},
                        {"Script/9.13_R1.RBS", "UPDATE [dbo].Stock SET Qty = Qty * 2\r\n-GO-\r\n"},
                        {"Script/APPDBSCRIPTS.INI", "menu.sql\r\n"},
                        {"Script/menu.sql", "INSERT INTO Items VALUES ('menu')\r\n-GO-\r\n"}});
    installation.patch("HO_9_0_1_07.zip",
                       {{"PackingList.ini", readme},
                        {"readme.txt", "7"},
                        {"Script/app2.DBS", "INSERT INTO Items VALUES ('dbs2')\r\n-GO-\r\n"
                                            "UPDATE NoSuchTable SET Nm = 1\r\n-GO-\r\n"}});
    installation.information(
        "HOhttp", {"HO_9_0_1_06.zip:12/02/2026:9.0.1.06", "HO_9_0_1_07.zip:12/04/2026:9.0.1.07"});

    // The pre-flight check reaches the company by both its connection strings and each
    // replication database: the locked company and the showroom whose database does not
    // exist fail.
    writeFile(installation.appFolder() + "/HODownloadSettings.config",
              "Download path=" + installation.downloads() + "\r\n");
    const auto check = test::runLiveupdate({"--root", installation.root(), "--app-folder",
                                            installation.appFolder(), "check", "--edition", "HO"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(text::splitText(check.out, "FAIL ").size(), 3U) << check.out;
    for (const std::string& line : {"OK   company Smith's (" + company + "): opens",
                                    "OK   replication database " + replica + ": opens",
                                    std::string("FAIL replication database old_store: ")}) {
        EXPECT_TRUE(text::contains(check.out, line)) << line << "\n" << check.out;
    }

    const auto run = installation.apply("HO");
    // Everything else is applied, but the run says what was not and fails: a statement that
    // fails on the company, and the replication database that does not exist.
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err << installation.logText();
    for (const std::string& line :
         {"statements on company Smith's (" + company +
              "): 2 passed, 1 failed (the first: "
              "UPDATE NoSuchTable SET Nm = 1)\n",
          std::string("company database skipped: old_store (patch level not recorded): ")}) {
        EXPECT_TRUE(text::contains(run.err, line)) << line << "\n" << run.err;
    }

    EXPECT_EQ(rowsOf(connection(security), "SELECT Src FROM Menu", Postgres), Texts{"mns"});
    auto items = rowsOf(connection(company), "SELECT Nm FROM Items", Postgres);
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Texts{"dbs", "dbs2", "menu"}));
    const std::string today = isoToday();
    EXPECT_EQ(rowsOf(connection(company), "SELECT * FROM VAPatchDtls ORDER BY PatchVer", Postgres),
              (Texts{"H01|Smith's|9.0.1.06|2026-12-02|" + today + "|" + today +
                         "|9.2|1#2|app.DBS||||0|0|0",
                     "H01|Smith's|9.0.1.07|2026-12-04|" + today + "|" + today +
                         "|9.2|1#2|app2.DBS||||0|0|0"}));
    EXPECT_EQ(rowsOf(connection(replica), "SELECT Qty FROM store1.Stock", Postgres), Texts{"10"});
    EXPECT_EQ(
        rowsOf(connection(replica), "SELECT * FROM ReplVaPatchDtls ORDER BY PatchVer", Postgres),
        (Texts{"H01|9.0.1.06|2026-12-02|" + today + "|9.13|NODE7",
               "H01|9.0.1.07|2026-12-04|" + today + "|9.13|NODE7"}));
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Enterprise), "9.0.1.07");
    EXPECT_EQ(ReadSetting(installation.registry, "HODownLoadPath", keysel::LiveUpdate),
              installation.downloads());
    const auto system = installation.systemFileLines(2);
    for (const char* line : {"PATCHVER=9.0.1.07", "PATCHENGINEVER=1.5", "LASTUPDATED=04-12-2026"}) {
        EXPECT_NE(std::find(system.begin(), system.end(), line), system.end()) << line;
    }
    EXPECT_TRUE(installation.logHasInOrder({
        "Replication Database updation Started...",
        "Updating Replication Database " + replica + " with script file name 9.13_R1.RBS",
        "Replication Database " + replica + " updatation completed.",
        "Replication Database old_store is not matching with the script version.",
        "Inserting ReplVapatchDtls for Replication Database " + replica + " updated",
    }));
    const std::string logs = installation.logText() + check.out +
                             readFile(installation.product() + "/PLPRFW04.log") + run.out + run.err;
    EXPECT_TRUE(text::contains(logs, "user \"****\"")) << logs;
    EXPECT_TRUE(text::contains(logs, "Database: POSTGRES Could not updated due to Error No: "
                                     "-2147467259 And description: "));
    for (const char* password : {"secret", "Hunter2x"}) {
        EXPECT_FALSE(text::contains(logs, password)) << password;
    }
    for (const auto& db : {security, company, replica}) {
        on("postgres", "DROP DATABASE IF EXISTS " + db);
    }
}

} // namespace
