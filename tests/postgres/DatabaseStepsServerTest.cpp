#include "Sandbox.h"
#include "Servers.h"
#include "environment/Connections.h"
#include "environment/RegistrySettings.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "platform/ComponentRegistry.h"
#include "platform/Files.h"
#include "platform/RunTimeError.h"
#include "platform/Text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelvar;
using pelvar::test::Sandbox;
using pelvar::test::writeFile;

namespace {

const DatabaseConfig Postgres{"PostgreSQL Unicode"};

// Head Office on the server: security, company and replication databases of their own.
class ServerDatabaseSteps : public testing::Test {
  protected:
    void SetUp() override {
        ::setenv("PELVAR_FRAMEWORK_WAIT_MS", "0", 1);
        port = test::postgresPort();
        ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
        server = "127.0.0.1," + std::to_string(port);
        const std::string tag = "_" + std::to_string(::getpid());
        security = "dsec" + tag;
        company = "dcomp" + tag;
        replication = "drepl" + tag;
        for (const auto& db : {security, company, replication}) {
            admin("DROP DATABASE IF EXISTS " + db);
            admin("CREATE DATABASE " + db);
            admin("ALTER DATABASE " + db + " SET search_path = dbo, public");
        }
        on(security, "CREATE SCHEMA dbo; CREATE TABLE dbo.VaCompany (CompCode varchar(10), Nm "
                     "varchar(50), DbProvider varchar(30), DbType varchar(20), DbPath varchar(99), "
                     "DbName varchar(50), DbPassWd varchar(30), DbUserName varchar(30), DBServer "
                     "varchar(50)); CREATE TABLE dbo.Menu (Src varchar(10))");
        on(company,
           "CREATE SCHEMA dbo; CREATE TABLE dbo.Items (Nm varchar(10));"
           "CREATE TABLE dbo.VAPatchDtls (CompCode varchar(10), CompName varchar(50), PatchVer "
           "varchar(20), PatchDt date, AppliedDt date, BusinessDt date, ProductVer varchar(10), "
           "LookupNos varchar(50), ScriptName varchar(50), Rem1 varchar(9), Rem2 varchar(9), Rem3 "
           "varchar(9), Flag1 int, Flag2 int, Flag3 int);"
           "CREATE TABLE dbo.GenLookup (RecID int, Code varchar(9), Number varchar(9));"
           "INSERT INTO dbo.GenLookup VALUES (101, 'B', '8'), (101, 'A', '3');"
           "CREATE TABLE dbo.Showroommaster (SchemaName varchar(20), DbProvider varchar(30), "
           "DBServer varchar(50), DbUserName varchar(30), DbPassWd varchar(30), DbName "
           "varchar(50), SwInstall varchar(10))");
        on(company, "INSERT INTO dbo.Showroommaster VALUES ('STORE1', 'SQLOLEDB.1', '" + server +
                        "', 'postgres', 'secret', '" + replication +
                        "', '9.13'), (NULL, 'SQLOLEDB.1', '" + server +
                        "', 'postgres', 'secret', 'old_store', '9.12'), (NULL, 'x', 'x', 'x', "
                        "'x', '', '9.13')");
        on(replication, "CREATE SCHEMA store1; CREATE TABLE store1.Stock (Qty int);"
                        "INSERT INTO store1.Stock VALUES (1); CREATE SCHEMA dbo;"
                        "CREATE TABLE dbo.ReplVaPatchDtls (CompCode varchar(10), PatchVer "
                        "varchar(20), PatchDt date, AppliedDt date, SwInstall varchar(10), "
                        "NodeId varchar(20))");
        addCompany("H01", "Smith's", "postgres", "secret", company);

        sb.services.database = Postgres;
        sb.state.EditionFlag = 1;
        sb.state.DatabaseType = "SQLSERVER";
        sb.state.ProductAppPath = sb.dir / "product";
        sb.state.PatchRoot = sb.state.ProductAppPath;
        sb.state.PatchFolder = sb.dir / "product/PatchTemp";
        sb.state.SecurityConnectionString = sqloledb(security, "postgres", "secret");
        sb.state.UpdateEntries = {"HO_9_0_1_05.ZIP:12/03/2026:9.0.1.05"};
        run.PatchFolders = "HO_9_0_1_05";
        std::filesystem::create_directories(sb.state.ProductAppPath);
    }

    void TearDown() override {
        sb.state.SecurityConnection.reset();
        for (const auto& db : {security, company, replication}) {
            try {
                admin("DROP DATABASE IF EXISTS " + db);
            } catch (const RunTimeError&) {
                // The cluster is thrown away at the end of the suite anyway.
            }
        }
    }

    std::string sqloledb(const std::string& db, const std::string& user,
                         const std::string& password) const {
        return "Provider=SQLOLEDB.1;Password=" + password +
               ";Persist Security Info=True;User ID=" + user + ";Data Source=" + server +
               ";Initial Catalog=" + db;
    }
    void admin(const std::string& sql) { on("postgres", sql); }
    void on(const std::string& db, const std::string& sql) {
        auto c = DatabaseConnection::open(sqloledb(db, "postgres", "secret"), Postgres);
        for (const auto& statement : text::splitText(sql, ";")) {
            c->execute(statement);
        }
    }
    std::vector<std::string> rows(const std::string& db, const std::string& query) {
        auto c = DatabaseConnection::open(sqloledb(db, "postgres", "secret"), Postgres);
        const auto rs = c->query(query);
        std::vector<std::string> out;
        for (std::size_t r = 0; r < rs.size(); ++r) {
            std::string row;
            for (std::size_t col = 0; col < rs.columns.size(); ++col) {
                row += (col ? "|" : "") + rs.rows[r][col].value_or("NULL");
            }
            out.push_back(row);
        }
        return out;
    }
    void addCompany(const std::string& code, const std::string& name, const std::string& user,
                    const std::string& password, const std::string& db) {
        on(security, "INSERT INTO dbo.VaCompany VALUES ('" + code + "', '" +
                         text::replaceAll(name, "'", "''") + "', 'SQLOLEDB.1', 'SQLSERVER', '', '" +
                         db + "', '" + password + "', '" + user + "', '" + server + "')");
    }
    void script(const std::string& name, const std::string& body) {
        writeFile(sb.state.PatchFolder + "/HO_9_0_1_05/Script/" + name, body);
    }
    bool logHas(const std::string& line) const {
        const auto log = sb.logMessages();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    int port = 0;
    std::string server, security, company, replication;
    Sandbox sb;
    PatchRun run{sb.state};
};

TEST_F(ServerDatabaseSteps, HeadOfficeChainUpdatesEveryDatabaseAndRecordsTheLevel) {
    script("sec.MNS", "INSERT INTO Menu VALUES ('mns')\r\n-GO-\r\n");
    script("app.DBS", "INSERT INTO Items VALUES ('dbs')\r\n-GO-\r\n");
    script("app.DBA", "INSERT INTO Items VALUES ('dba')\r\n-GO-\r\n");
    script("9.13_R1.RBS", "UPDATE dbo.Stock SET Qty = Qty + 1\r\n-GO-\r\n");
    script("APPDBSCRIPTS.INI", "menu.sql\r\n");
    script("menu.sql", "INSERT INTO Items VALUES ('menu')\r\n-GO-\r\n");
    components::recordRegistration(sb.registry, sb.state.ProductAppPath + "/PLPRFW04.dll");
    WriteSetting(sb.registry, "ProductVer", "9.2", keysel::Enterprise);
    sb.state.DownloadFolder = sb.downloads();
    ASSERT_TRUE(OpenSecurityDatabase(sb.state)) << sb.logText();

    RunSecurityScripts(run);

    EXPECT_EQ(rows(security, "SELECT Src FROM Menu"), std::vector<std::string>{"mns"});
    // Scripts (first shape) and the final task (second shape) reached the same database.
    std::vector<std::string> items = rows(company, "SELECT Nm FROM Items");
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"dbs", "menu"}));
    const std::string today = [] {
        const auto d = datetext::now();
        char t[16];
        std::snprintf(t, sizeof t, "%04d-%02d-%02d", d.year, d.month, d.day);
        return std::string(t);
    }();
    EXPECT_EQ(rows(company, "SELECT * FROM VAPatchDtls"),
              std::vector<std::string>{"H01|Smith's|9.0.1.05|2026-12-03|" + today + "|" + today +
                                       "|9.2|3#8|app.DBS||||0|0|0"});
    // The replication database got its script under its own schema, and its patch row.
    EXPECT_EQ(rows(replication, "SELECT Qty FROM store1.Stock"), std::vector<std::string>{"2"});
    EXPECT_EQ(rows(replication, "SELECT * FROM ReplVaPatchDtls"),
              std::vector<std::string>{"H01|9.0.1.05|2026-12-03|" + today + "|9.13|N/A"});
    EXPECT_TRUE(logHas("Updating Replication Database " + replication +
                       " with script file name 9.13_R1.RBS"));
    EXPECT_TRUE(logHas("Replication Database old_store is not matching with the script version."));
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Enterprise), "9.0.1.05");
    EXPECT_EQ(ReadSetting(sb.registry, "HODownLoadPath", keysel::LiveUpdate), sb.downloads());
    const auto progress = files::readLines(sb.state.ProductAppPath + "/Process3.log");
    EXPECT_NE(std::find(progress.begin(), progress.end(),
                        "strRBSFile:" + sb.state.PatchFolder + "/HO_9_0_1_05/Script/9.13_R1.RBS"),
              progress.end());
    EXPECT_FALSE(text::contains(sb.logText(), "Executed SQL statement :INSERT INTO Items VALUES "
                                              "('dba')"));
    EXPECT_TRUE(sb.prompter.boxes.empty()) << sb.prompter.boxes[0].text;
}

TEST_F(ServerDatabaseSteps, PasswordsQuotedByTheDriverNeverReachTheLogs) {
    // A user name equal to the password: the server's refusal quotes it.
    addCompany("H02", "Locked", "Hunter2x", "Hunter2x", company);
    script("APPDBSCRIPTS.INI", "menu.sql\r\n");
    script("menu.sql", "SELECT 1\r\n-GO-\r\n");
    components::recordRegistration(sb.registry, sb.state.ProductAppPath + "/PLPRFW04.dll");
    ASSERT_TRUE(OpenSecurityDatabase(sb.state)) << sb.logText();

    RunApplicationScripts(run);

    const std::string logs =
        sb.logText() + test::readFile(sb.state.ProductAppPath + "/PLPRFW04.log");
    EXPECT_TRUE(text::contains(logs, "user \"****\"")) << logs;
    EXPECT_FALSE(text::contains(logs, "Hunter2x")) << logs;
    EXPECT_TRUE(logHas("Started Application Database updation for Pelvar Company: Locked"));
    for (const auto& box : sb.prompter.boxes) {
        EXPECT_FALSE(text::contains(box.text, "Hunter2x"));
    }
}

} // namespace
