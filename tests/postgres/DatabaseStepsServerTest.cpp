#include "Sandbox.h"
#include "Servers.h"
#include "environment/Connections.h"
#include "patcher/PatchRun.h"
#include "patcher/StepDriver.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/base/RunTimeError.h"
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
    ::setenv("PELVAR_FRAMEWORK_WAIT_MS", "0", 1);
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

} // namespace
