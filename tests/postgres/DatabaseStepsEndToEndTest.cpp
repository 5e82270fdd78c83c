#include "CommandLine.h"
#include "DatabaseRows.h"
#include "Env.h"
#include "Sandbox.h"
#include "Servers.h"
#include "TempDir.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/db/Database.h"
#include "platform/files/SandboxPaths.h"
#include "platform/registry/RegistryStore.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

using namespace pelvar;
using pelvar::test::isoToday;
using pelvar::test::readFile;
using pelvar::test::rowsOf;
using pelvar::test::writeFile;

namespace {

std::string sqliteFile(const std::string& file) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
}

// An installed product with its download folder holding patch archives, applied by the
// built `liveupdate --yes apply --no-download`.
class ApplyEndToEnd : public testing::Test {
  protected:
    ApplyEndToEnd() : registry(paths().registryFile()) {
        std::filesystem::create_directories(dir / "app");
        std::filesystem::create_directories(paths().commonAppData());
        // The wizard's temporary folder is part of the installed product.
        std::filesystem::create_directories(product() + "/Temp3");
        std::filesystem::create_directories(downloads());
        writeFile(product() + "/PLPRFW04.dll", "framework");
        writeFile(product() + "/readme.txt", "installed");
    }

    SandboxPaths paths() const {
        SandboxPaths p;
        p.root = dir / "root";
        p.appFolder = dir / "app";
        return p;
    }
    std::string product() const { return dir / "product"; }
    std::string downloads() const { return dir / "downloads"; }

    // A patch archive made with `zip` from (name, content) pairs.
    void patch(const std::string& archive,
               const std::vector<std::pair<std::string, std::string>>& entries) {
        const std::string staging = dir / ("staging/" + archive);
        // Each patch replaces one installed file, so that its backup is not empty.
        writeFile(staging + "/PackingList.ini", "1-#-PRODUCT\\-#-PRODUCT\\-#-readme.txt-#-N-GO-");
        writeFile(staging + "/readme.txt", archive);
        for (const auto& [name, content] : entries) {
            writeFile(staging + "/" + name, content);
        }
        const std::string command =
            "cd '" + staging + "' && zip -qr '" + downloads() + "/" + archive + "' . >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // The update-information file listing the archives, entries scrambled in the fifth field.
    void information(const std::string& name, const std::vector<std::string>& entries) {
        std::string body;
        for (const auto& entry : entries) {
            body += "1:2:3:4:" + ScrambleLine(entry) + "\r\n";
        }
        writeFile(downloads() + "/Pelvar9_" + name + ".dat", body);
    }

    test::CliRun apply(const std::string& edition, const std::string& settingsFile) {
        writeFile(dir / ("app/" + settingsFile), "Download path=" + downloads() + "\r\n");
        return test::runLiveupdate({"--root", paths().root, "--app-folder", paths().appFolder,
                                    "--yes", "apply", "--edition", edition, "--no-download"});
    }

    std::vector<std::string> logMessages() const {
        static const std::regex stamp(R"(^\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?:)");
        std::vector<std::string> out;
        for (const auto& line :
             text::splitText(readFile(downloads() + "/PelvarUpdate.log"), "\r\n")) {
            out.push_back(std::regex_replace(line, stamp, ""));
        }
        return out;
    }

    ::testing::AssertionResult logHasInOrder(const std::vector<std::string>& expected) const {
        const auto log = logMessages();
        auto at = log.begin();
        for (const auto& line : expected) {
            at = std::find(at, log.end(), line);
            if (at == log.end()) {
                return ::testing::AssertionFailure() << "missing in order: " << line << "\n"
                                                     << readFile(downloads() + "/PelvarUpdate.log");
            }
            ++at;
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<std::string> systemFileLines(int edition) const {
        return text::splitText(readFile(systemFilePath(paths(), edition)), "\r\n");
    }

    test::TempDir dir;
    IniRegistryStore registry;
    test::ScopedEnv frameworkWait{"PELVAR_FRAMEWORK_WAIT_MS", "5000"};
};

TEST_F(ApplyEndToEnd, PointOfSaleWithAnAccessSecurityDatabaseAndTwoFileCompanies) {
    const std::string security = dir / "security.db";
    test::sqlite(security, "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, "
                           "DbName, DbPassWd, DbUserName, DBServer);"
                           "CREATE TABLE Menu (Id INTEGER PRIMARY KEY AUTOINCREMENT, Src);");
    const std::string companies[] = {"first.db", "smith.db", "gone.db"};
    const std::string names[] = {"First", "Smith''s", "Gone"};
    for (int i = 0; i < 3; ++i) {
        if (i < 2) {
            test::sqlite(dir / companies[i],
                         "CREATE TABLE Items (Id INTEGER PRIMARY KEY AUTOINCREMENT, Nm);"
                         "CREATE TABLE VAPatchDtls (CompCode, CompName, PatchVer, PatchDt, "
                         "AppliedDt, BusinessDt, ProductVer, LookupNos, ScriptName, Rem1, Rem2, "
                         "Rem3, Flag1, Flag2, Flag3);"
                         "CREATE TABLE GenLookup (RecID, Code, Number);"
                         "CREATE TABLE SysParam (ParamCode, Dt);");
        }
        test::sqlite(security, "INSERT INTO VaCompany VALUES ('C" + std::to_string(i + 1) + "', '" +
                                   names[i] + "', 'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '" +
                                   dir.path() + "', '" + companies[i] + "', 'Zq9-comp', '', '');");
    }
    test::sqlite(dir / "first.db", "INSERT INTO SysParam VALUES ('PELVARSysDt', '11/30/2026');"
                                   "INSERT INTO GenLookup VALUES (101, 'A', '4');"
                                   "CREATE TABLE Prices (Nm);");
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"SERVERTYPE", "ACCESS"},
                                                          {"PELVARAPPPATH", product()},
                                                          {"VASECDBPATH", dir.path()},
                                                          {"VASECDBNAME", "security.db"},
                                                          {"VASECDBPASSWORD", "Zq9-sec"},
                                                          {"PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                                                          {"ProductVer", "9.13"}}) {
        WriteSetting(registry, name, value, keysel::Pos);
    }
    WriteSetting(registry, "SetupType", "1", keysel::SetupType);
    patch("POS_9_0_1_04.zip",
          {{"Script/A.MNA", "INSERT INTO Menu (Src) VALUES ('mna4')\r\n-GO-\r\n"},
           {"Script/A.MNS", "INSERT INTO Menu (Src) VALUES ('server')\r\n-GO-\r\n"},
           {"Script/app.DBA", "-- both file companies\r\nINSERT INTO Items (Nm) VALUES "
                              "('dba4')\r\n-GO-\r\n"},
           {"Script/app.DBS", "INSERT INTO Items (Nm) VALUES ('server')\r\n-GO-\r\n"},
           {"Script/SECDBSCRIPTS.INI", "menu.sql\r\n"},
           {"Script/menu.sql", "INSERT INTO Menu (Src) VALUES ('menu')\r\n-GO-\r\n"}});
    patch("POS_9_0_1_05.zip",
          {{"Script/B.MNA", "INSERT INTO Menu (Src) VALUES ('mna5')\r\n-GO-\r\n"},
           {"Script/b.dba", "INSERT INTO Items (Nm) VALUES ('dba5')\r\n-GO-\r\n"
                            "UPDATE Prices SET Nm = 1\r\n-GO-\r\n"}});
    information("POShttp",
                {"POS_9_0_1_04.zip:12/01/2026:9.0.1.04", "POS_9_0_1_05.zip:12/03/2026:9.0.1.05"});

    const auto run = apply("POS", "POSDownloadSettings.config");
    // Everything else is applied, but the run says what was not and fails.
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err << readFile(downloads() + "/PelvarUpdate.log");
    for (const char* line : {"statements on company First (first.db): 3 passed, 0 failed\n",
                             "statements on company Smith's (smith.db): 2 passed, 1 failed (the "
                             "first: UPDATE Prices SET Nm = 1)\n",
                             "company database skipped: company Gone (gone.db): Could not find"}) {
        EXPECT_TRUE(text::contains(run.err, line)) << line << "\n" << run.err;
    }
    EXPECT_FALSE(text::contains(run.out, "Downloading file")) << run.out;

    // Security scripts in patch order, then the menu script the framework ran.
    EXPECT_EQ(rowsOf(sqliteFile(security), "SELECT Src FROM Menu ORDER BY Id"),
              (std::vector<std::string>{"mna4", "mna5", "menu"}));
    const std::string today = isoToday();
    const std::string business[] = {"2026-11-30", today};
    const std::string lookups[] = {"4", ""};
    const std::string shown[] = {"First", "Smith's"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(companies[i]);
        EXPECT_EQ(rowsOf(sqliteFile(dir / companies[i]), "SELECT Nm FROM Items ORDER BY Id"),
                  (std::vector<std::string>{"dba4", "dba5"}));
        const std::string head = "C" + std::to_string(i + 1) + "|" + shown[i] + "|";
        EXPECT_EQ(
            rowsOf(sqliteFile(dir / companies[i]), "SELECT * FROM VAPatchDtls ORDER BY PatchVer"),
            (std::vector<std::string>{head + "9.0.1.04|2026-12-01|" + today + "|" + business[i] +
                                          "|9.1|" + lookups[i] + "|app.DBA||||0|0|0",
                                      head + "9.0.1.05|2026-12-03|" + today + "|" + business[i] +
                                          "|9.1|" + lookups[i] + "|b.dba||||0|0|0"}));
    }
    EXPECT_EQ(ReadSetting(registry, "LastUpdated", keysel::Pos), "03-12-2026");
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "9.0.1.05");
    EXPECT_EQ(ReadSetting(registry, "PatchEngineVer", keysel::Pos), "1.5");
    const auto system = systemFileLines(1);
    for (const char* line : {"PATCHVER=9.0.1.05", "PATCHENGINEVER=1.5", "LASTUPDATED=03-12-2026"}) {
        EXPECT_NE(std::find(system.begin(), system.end(), line), system.end())
            << line << "\n"
            << readFile(systemFilePath(paths(), 1));
    }
    EXPECT_TRUE(logHasInOrder({
        "Started Security Database updation.",
        "Executed SQL statement :INSERT INTO Menu (Src) VALUES ('mna4') : Pass",
        "Executed SQL statement :INSERT INTO Menu (Src) VALUES ('mna5') : Pass",
        "Calling Script Execution Framework to execute the Menu scripts.",
        "Menu Script execution is over. Please see the logs availble.",
        "Security Database updation over.",
        "Started Application Database updation...",
        "Started Application Database updation for Pelvar Company: First",
        "Executed SQL statement :INSERT INTO Items (Nm) VALUES ('dba4') : Pass",
        "Executed SQL statement :INSERT INTO Items (Nm) VALUES ('dba5') : Pass",
        "Application Script execution is over. Please see the logs availble.",
        "Started Application Database updation for Pelvar Company: Smith's",
        "Started Application Database updation for Pelvar Company: Gone",
        "Database: GONE.DB Could not updated due to Error No: -2147467259 And description: Could "
        "not find file '" +
            dir.path() + "/gone.db'.",
        "Application Database updation Over...",
        "Performing Final Task....",
        "Updating Updates Information to Security Database....",
        "ReplVaPatchDtls updation for Replication Database Started...",
        "Replication Database updation Over...",
        "Updates Information to Security Database Updated....",
        "Updating Registry Value....",
        "Registry Value Updated Successfully....",
    }));
    const std::string everything = readFile(downloads() + "/PelvarUpdate.log") +
                                   readFile(product() + "/PLPRFW04.log") + run.out + run.err;
    EXPECT_FALSE(text::contains(everything, "Zq9-"));
}

// Head Office on the PostgreSQL cluster: the security database, one company and one
// replication database, reached through the ODBC driver by every connection-string shape.
TEST_F(ApplyEndToEnd, HeadOfficeWithServerSecurityCompanyAndReplicationDatabases) {
    const int port = test::postgresPort();
    ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
    const test::ScopedEnv driver("PELVAR_ODBC_DRIVER", "PostgreSQL Unicode");
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
                                                          {"PELVARAPPPATH", product()},
                                                          {"SERVERID", server},
                                                          {"VASEC-DB", security},
                                                          {"PASSWORD", "secret"},
                                                          {"USER-INF2", "xpostgres"},
                                                          {"ProductVer", "9.2"}}) {
        WriteSetting(registry, name, value, keysel::Enterprise);
    }
    WriteSetting(registry, "SetupType", "1", keysel::SetupType);
    WriteSetting(registry, "NodeId", "NODE7", keysel::NodeInfo);
    patch("HO_9_0_1_06.zip",
          {{"Script/sec.MNS", "INSERT INTO Menu VALUES ('mns')\r\n-GO-\r\n"},
           {"Script/app.DBS", "INSERT INTO Items VALUES ('dbs')\r\n-GO-\r\n"},
           {"Script/9.13_R1.RBS", "UPDATE [dbo].Stock SET Qty = Qty * 2\r\n-GO-\r\n"},
           {"Script/APPDBSCRIPTS.INI", "menu.sql\r\n"},
           {"Script/menu.sql", "INSERT INTO Items VALUES ('menu')\r\n-GO-\r\n"}});
    patch("HO_9_0_1_07.zip",
          {{"Script/app2.DBS", "INSERT INTO Items VALUES ('dbs2')\r\n-GO-\r\n"}});
    information("HOhttp",
                {"HO_9_0_1_06.zip:12/02/2026:9.0.1.06", "HO_9_0_1_07.zip:12/04/2026:9.0.1.07"});

    const auto run = apply("HO", "HODownloadSettings.config");
    // The replication database that does not exist gets no row: the run says so and fails.
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err << readFile(downloads() + "/PelvarUpdate.log");
    EXPECT_TRUE(text::contains(run.err, "company database skipped: old_store (patch level not "
                                        "recorded): "))
        << run.err;

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
    EXPECT_EQ(ReadSetting(registry, "LastUpdated", keysel::Enterprise), "04-12-2026");
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Enterprise), "9.0.1.07");
    EXPECT_EQ(ReadSetting(registry, "PatchEngineVer", keysel::Enterprise), "1.5");
    EXPECT_EQ(ReadSetting(registry, "HODownLoadPath", keysel::LiveUpdate), downloads());
    const auto system = systemFileLines(2);
    for (const char* line : {"PATCHVER=9.0.1.07", "PATCHENGINEVER=1.5", "LASTUPDATED=04-12-2026"}) {
        EXPECT_NE(std::find(system.begin(), system.end(), line), system.end()) << line;
    }
    EXPECT_TRUE(logHasInOrder({
        "Started Security Database updation.",
        "Executed SQL statement :INSERT INTO Menu VALUES ('mns') : Pass",
        "Security Database updation over.",
        "Started Application Database updation for Pelvar Company: Smith's",
        "Executed SQL statement :INSERT INTO Items VALUES ('dbs') : Pass",
        "Executed SQL statement :INSERT INTO Items VALUES ('dbs2') : Pass",
        "Calling Script Execution Framework to execute the Menu scripts.",
        "Application Script execution is over. Please see the logs availble.",
        "Replication Database updation Started...",
        "Updating Replication Database " + replica + " with script file name 9.13_R1.RBS",
        "Executed SQL statement :UPDATE STORE1.Stock SET Qty = Qty * 2 : Pass",
        "Replication Database " + replica + " updatation completed.",
        "Replication Database old_store is not matching with the script version.",
        "Application Database updation Over...",
        "Performing Final Task....",
        "ReplVaPatchDtls updation for Replication Database Started...",
        "Inserting ReplVapatchDtls for Replication Database " + replica,
        "Inserting ReplVapatchDtls for Replication Database " + replica + " updated",
        "Replication Database updation Over...",
        "Registry Value Updated Successfully....",
    }));
    EXPECT_FALSE(text::contains(readFile(downloads() + "/PelvarUpdate.log") +
                                    readFile(product() + "/PLPRFW04.log") + run.out + run.err,
                                "secret"));
    for (const auto& db : {security, company, replica}) {
        on("postgres", "DROP DATABASE IF EXISTS " + db);
    }
}

} // namespace
