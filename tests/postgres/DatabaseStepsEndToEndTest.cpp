#include "DatabaseRows.h"
#include "Env.h"
#include "Installation.h"
#include "Servers.h"
#include "environment/RegistrySettings.h"
#include "platform/db/Database.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// Head Office on the PostgreSQL cluster: the security database, one company and one
// replication database, reached through the ODBC driver by every connection-string shape,
// applied by the built `liveupdate`.
TEST(ApplyEndToEnd, HeadOfficeWithServerSecurityCompanyAndReplicationDatabases) {
    const int port = postgresPort();
    ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
    const ScopedEnv frameworkWait("PELVAR_FRAMEWORK_WAIT_MS", "5000");
    const ScopedEnv driver("PELVAR_ODBC_DRIVER", "PostgreSQL Unicode");
    Installation installation;
    writeFile(installation.product() + "/PLPRFW04.dll", "framework");
    const DatabaseConfig postgres{"PostgreSQL Unicode"};
    const std::string server = "127.0.0.1," + std::to_string(port);
    const auto connection = [&](const std::string& db) {
        return "Provider=SQLOLEDB.1;Password=secret;User ID=postgres;Data Source=" + server +
               ";Initial Catalog=" + db;
    };
    const auto on = [&](const std::string& db, const std::string& sql) {
        auto c = DatabaseConnection::open(connection(db), postgres);
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
    on(security, "INSERT INTO dbo.VaCompany VALUES ('H01', 'Smith''s', 'SQLOLEDB.1', 'SQLSERVER', "
                 "'', '" +
                     company + "', 'secret', 'postgres', '" + server + "')");
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
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"SERVERTYPE", "SQLSERVER"},
                                                          {"PELVARAPPPATH", installation.product()},
                                                          {"SERVERID", server},
                                                          {"VASEC-DB", security},
                                                          {"PASSWORD", "secret"},
                                                          {"USER-INF2", "xpostgres"},
                                                          {"ProductVer", "9.2"}}) {
        WriteSetting(installation.registry, name, value, keysel::Enterprise);
    }
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
    // replication database: the showroom whose database does not exist fails alone.
    writeFile(installation.appFolder() + "/HODownloadSettings.config",
              "Download path=" + installation.downloads() + "\r\n");
    const auto check = test::runLiveupdate({"--root", installation.root(), "--app-folder",
                                            installation.appFolder(), "check", "--edition", "HO"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(text::splitText(check.out, "FAIL ").size(), 2U) << check.out;
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
    EXPECT_FALSE(text::contains(run.out, "Downloading file")) << run.out;

    EXPECT_EQ(rowsOf(connection(security), "SELECT Src FROM Menu", postgres),
              std::vector<std::string>{"mns"});
    auto items = rowsOf(connection(company), "SELECT Nm FROM Items", postgres);
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"dbs", "dbs2", "menu"}));
    const std::string today = isoToday();
    EXPECT_EQ(rowsOf(connection(company), "SELECT * FROM VAPatchDtls ORDER BY PatchVer", postgres),
              (std::vector<std::string>{"H01|Smith's|9.0.1.06|2026-12-02|" + today + "|" + today +
                                            "|9.2|1#2|app.DBS||||0|0|0",
                                        "H01|Smith's|9.0.1.07|2026-12-04|" + today + "|" + today +
                                            "|9.2|1#2|app2.DBS||||0|0|0"}));
    EXPECT_EQ(rowsOf(connection(replica), "SELECT Qty FROM store1.Stock", postgres),
              std::vector<std::string>{"10"});
    EXPECT_EQ(
        rowsOf(connection(replica), "SELECT * FROM ReplVaPatchDtls ORDER BY PatchVer", postgres),
        (std::vector<std::string>{"H01|9.0.1.06|2026-12-02|" + today + "|9.13|NODE7",
                                  "H01|9.0.1.07|2026-12-04|" + today + "|9.13|NODE7"}));
    EXPECT_EQ(ReadSetting(installation.registry, "LastUpdated", keysel::Enterprise), "04-12-2026");
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Enterprise), "9.0.1.07");
    EXPECT_EQ(ReadSetting(installation.registry, "PatchEngineVer", keysel::Enterprise), "1.5");
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
    EXPECT_FALSE(text::contains(installation.logText() +
                                    readFile(installation.product() + "/PLPRFW04.log") + run.out +
                                    run.err,
                                "secret"));
    for (const auto& db : {security, company, replica}) {
        on("postgres", "DROP DATABASE IF EXISTS " + db);
    }
}

} // namespace
