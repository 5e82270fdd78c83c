#include "Sandbox.h"
#include "Servers.h"
#include "download/UpdateInformation.h"
#include "environment/Connections.h"
#include "platform/base/RunTimeError.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelvar;
using pelvar::test::Sandbox;

namespace {

const DatabaseConfig Postgres{"PostgreSQL Unicode"};

std::string serverString(int port, const std::string& password, const std::string& catalog) {
    return "Provider=SQLOLEDB.1;Password=" + password +
           ";Persist Security Info=True;User ID=postgres;Data Source=127.0.0.1," +
           std::to_string(port) + ";Initial Catalog=" + catalog;
}

// A security database of its own per test, with the tables in "dbo" as on SQL Server.
class SecurityDatabaseServer : public testing::Test {
  protected:
    void SetUp() override {
        port = test::postgresPort();
        ASSERT_NE(port, 0) << "the PostgreSQL cluster of the test suite is not running";
        catalog = "vasec_" + std::to_string(::getpid());
        auto admin = DatabaseConnection::open(
            serverString(port, test::postgresPassword(), "postgres"), Postgres);
        admin->execute("DROP DATABASE IF EXISTS " + catalog);
        admin->execute("CREATE DATABASE " + catalog);
        admin->execute("ALTER DATABASE " + catalog + " SET search_path = dbo, public");
        auto db = DatabaseConnection::open(serverString(port, test::postgresPassword(), catalog),
                                           Postgres);
        db->execute("CREATE SCHEMA dbo");
        db->execute("CREATE TABLE dbo.VaCompany (CompCode varchar(10), CompName varchar(50))");
        db->execute("INSERT INTO dbo.VaCompany VALUES ('C01', 'Main Shop')");
        sb.services.database = Postgres;
    }
    void TearDown() override {
        sb.state.SecurityConnection.reset();
        if (port != 0) {
            try {
                DatabaseConnection::open(serverString(port, test::postgresPassword(), "postgres"),
                                         Postgres)
                    ->execute("DROP DATABASE IF EXISTS " + catalog);
            } catch (const RunTimeError&) {
                // The cluster is thrown away at the end of the suite anyway.
            }
        }
    }

    int port = 0;
    std::string catalog;
    Sandbox sb;
};

TEST_F(SecurityDatabaseServer, OpensThroughOdbcOrLogsWhyNot) {
    // A wrong password and a port nothing listens on fail with the driver's reason.
    for (const auto& connection :
         {serverString(port, "wrong", catalog),
          serverString(test::freePort(), test::postgresPassword(), catalog)}) {
        SCOPED_TRACE(connection);
        std::filesystem::remove(sb.downloads() + "/PelvarUpdate.log");
        sb.state.SecurityConnectionString = connection;
        EXPECT_FALSE(OpenSecurityDatabase(sb.state));
        const auto log = sb.logMessages();
        ASSERT_EQ(log.size(), 2u) << sb.logText();
        EXPECT_EQ(log[0], "Creating Connection with Secutity Database.");
        EXPECT_TRUE(log[1].starts_with("Connection with Secutity Database Failed.")) << log[1];
        EXPECT_TRUE(log[1].ends_with("-2147467259"));
        EXPECT_GT(log[1].size(), std::string("Connection with Secutity Database Failed.").size() +
                                     std::string("-2147467259").size());
    }
    std::filesystem::remove(sb.downloads() + "/PelvarUpdate.log");
    sb.state.SecurityConnectionString = serverString(port, test::postgresPassword(), catalog);
    ASSERT_TRUE(OpenSecurityDatabase(sb.state));
    const auto rows = sb.state.SecurityConnection->query("SELECT * FROM dbo.VaCompany");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.text(0, "CompName"), "Main Shop");
    EXPECT_EQ(sb.logMessages().back(), "Connection with Secutity Database Success.");
}

TEST_F(SecurityDatabaseServer, ReleasesAreApprovedByTheServerTable) {
    sb.state.SecurityConnectionString = serverString(port, test::postgresPassword(), catalog);
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

} // namespace
