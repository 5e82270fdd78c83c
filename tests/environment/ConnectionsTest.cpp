#include "environment/Connections.h"

#include "Sandbox.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/files/Files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::Sandbox;
using pelvar::test::writeFile;

namespace {

using Settings = std::vector<std::tuple<int, std::string, std::string>>;

void store(Sandbox& sb, const Settings& settings) {
    for (const auto& [selector, name, value] : settings) {
        ASSERT_TRUE(WriteSetting(sb.registry, name, value, selector));
    }
}

struct ConnectionCase {
    std::string name;
    Edition edition;
    std::string systemFile; // empty: no system file
    Settings registry;
    std::string databaseType;
    std::string appPath;
    std::string connectionString;
};

class ConnectionData : public testing::TestWithParam<ConnectionCase> {};

TEST_P(ConnectionData, BuildsTheConnectionString) {
    Sandbox sb;
    const auto& c = GetParam();
    const int index = c.edition == Edition::Ho ? 2 : 1;
    if (!c.systemFile.empty()) {
        writeFile(systemFilePath(sb.paths, index), c.systemFile);
    }
    store(sb, c.registry);
    ASSERT_TRUE(LoadConnectionData(sb.state, c.edition));
    EXPECT_EQ(sb.state.DatabaseType, c.databaseType);
    EXPECT_EQ(sb.state.ProductAppPath, c.appPath);
    EXPECT_EQ(sb.state.SecurityConnectionString, c.connectionString);
    // A missing system file has been built from the registry on the way.
    EXPECT_TRUE(files::fileExists(systemFilePath(sb.paths, index)));
}

constexpr int Pos = keysel::Pos;
constexpr int Ho = keysel::Enterprise;

INSTANTIATE_TEST_SUITE_P(
    Editions, ConnectionData,
    testing::Values(
        ConnectionCase{"FileAccessBeatsRegistryServer",
                       Edition::Pos,
                       "SERVERTYPE=ACCESS\r\nSETUPTYPE=Client\r\n",
                       {{Pos, "SERVERTYPE", "SQLSERVER"},
                        {Pos, "PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                        {Pos, "VASECDBPATH", "/data/sec"},
                        {Pos, "VASECDBNAME", "VASec.mdb"},
                        {Pos, "VASECDBPASSWORD", "pw"},
                        {Pos, "PELVARAPPPATH", "/opt/reg"}},
                       "ACCESS",
                       "/opt/reg",
                       "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data "
                       "Source='/data/sec/VASec.mdb';Jet OLEDB:Database Password= 'pw' "},
        ConnectionCase{"LowerCaseAccessGivesServerForm",
                       Edition::Pos,
                       "SERVERTYPE=access\r\nSETUPTYPE=Server\r\nSERVERID=db1\r\nVASEC-DB=VASec\r\n"
                       "PASSWORD=pw\r\nUSER-INF1=dom;sa\r\nPELVARAPPPATH=/opt/file\r\n",
                       {{Pos, "PELVARAPPPATH", "/opt/reg"}, {Pos, "USER-INF2", "Xother"}},
                       "access",
                       "/opt/file",
                       "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                       "Data Source=db1;Initial Catalog=VASec"},
        ConnectionCase{"RegistryFillsEmptyFileFields",
                       Edition::Pos,
                       "SERVERTYPE=SQLSERVER\r\nSETUPTYPE=Server\r\nSERVERID=\r\n",
                       {{Pos, "SERVERID", "regdb,1433"},
                        {Pos, "VASEC-DB", "RegSec"},
                        {Pos, "PASSWORD", "rp"},
                        {Pos, "USER-INF2", "Xuser"}},
                       "SQLSERVER",
                       "",
                       "Provider=SQLOLEDB.1;Password=rp;Persist Security Info=True;User ID=user;"
                       "Data Source=regdb,1433;Initial Catalog=RegSec"},
        ConnectionCase{"HeadOfficeFileDatabaseUsesJet351",
                       Edition::Ho,
                       "SERVERTYPE=ACCESS\r\nSETUPTYPE=Server\r\n",
                       {{Ho, "PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                        {Ho, "VASECDBPATH", "/ho"},
                        {Ho, "VASECDBNAME", "Sec.mdb"},
                        {Pos, "VASECDBNAME", "Wrong.mdb"}},
                       "ACCESS",
                       "",
                       "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data "
                       "Source='/ho/Sec.mdb';Jet OLEDB:Database Password= '' "}),
    [](const auto& row) { return row.param.name; });

TEST(ConnectionDataMissingSetupType, ReturnsFalseAndKeepsThePreviousResults) {
    Sandbox sb;
    store(sb, {{keysel::SetupType, "SetupType", "Server"},
               {Pos, "SERVERTYPE", "SQLSERVER"},
               {Pos, "PELVARAPPPATH", "/opt/pos"},
               {Pos, "SERVERID", "posdb"},
               {Ho, "SERVERTYPE", "ACCESS"},
               {Ho, "PELVARAPPPATH", "/opt/ho"}});
    ASSERT_TRUE(LoadConnectionData(sb.state, Edition::Pos));
    const std::string previous = sb.state.SecurityConnectionString;

    // Head Office has neither a system file nor a set-up type once the registry value is gone.
    ASSERT_TRUE(sb.registry.remove("Software\\Pelvar\\SetupType", "SetupType"));
    EXPECT_FALSE(LoadConnectionData(sb.state, Edition::Ho));
    EXPECT_EQ(sb.state.DatabaseType, "SQLSERVER");
    EXPECT_EQ(sb.state.ProductAppPath, "/opt/pos");
    EXPECT_EQ(sb.state.SecurityConnectionString, previous);
    EXPECT_FALSE(files::fileExists(systemFilePath(sb.paths, 2)));
}

class SecurityDatabaseFile : public testing::Test {
  protected:
    void SetUp() override {
        store(sb, {{keysel::SetupType, "SetupType", "Client"},
                   {Pos, "SERVERTYPE", "ACCESS"},
                   {Pos, "PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                   {Pos, "VASECDBPATH", sb.dir.path()},
                   {Pos, "VASECDBNAME", "VASec.mdb"}});
    }
    std::string databaseFile() const { return sb.dir / "VASec.mdb"; }
    Sandbox sb;
};

TEST_F(SecurityDatabaseFile, OpensAndProvesTheConnectionOrLogsTheFailure) {
    ASSERT_TRUE(LoadConnectionData(sb.state, Edition::Pos));
    EXPECT_FALSE(OpenSecurityDatabase(sb.state));
    EXPECT_EQ(sb.logMessages(),
              (std::vector<std::string>{"Creating Connection with Secutity Database.",
                                        "Connection with Secutity Database Failed.Could not find "
                                        "file '" +
                                            databaseFile() + "'.-2147467259"}));
    test::sqlite(databaseFile(), "CREATE TABLE VaCompany (CompCode TEXT);"
                                 "INSERT INTO VaCompany VALUES ('C01');");
    ASSERT_TRUE(OpenSecurityDatabase(sb.state));
    EXPECT_EQ(sb.state.SecurityConnection->query("SELECT CompCode FROM dbo.VaCompany")
                  .text(0, "compcode"),
              "C01");
    EXPECT_EQ(sb.logMessages().back(), "Connection with Secutity Database Success.");
}

TEST_F(SecurityDatabaseFile, MainWindowFormLogsOnlyTheUnspecifiedError) {
    test::sqlite(databaseFile(), "CREATE TABLE Other (x TEXT);");
    ASSERT_TRUE(LoadConnectionData(sb.state, Edition::Pos));
    // A missing VaCompany table fails the proof: logged by the shared form only.
    EXPECT_FALSE(OpenSecurityDatabase(sb.state, FailureLogging::UnspecifiedOnly));
    EXPECT_EQ(sb.logMessages().size(), 1u);
    EXPECT_FALSE(OpenSecurityDatabase(sb.state, FailureLogging::Always));
    ASSERT_EQ(sb.logMessages().size(), 3u);
    EXPECT_TRUE(sb.logMessages()[2].starts_with("Connection with Secutity Database Failed."));
    EXPECT_TRUE(sb.logMessages()[2].ends_with("-2147217865"));

    std::filesystem::remove(databaseFile());
    EXPECT_FALSE(OpenSecurityDatabase(sb.state, FailureLogging::UnspecifiedOnly));
    ASSERT_EQ(sb.logMessages().size(), 5u);
    EXPECT_TRUE(sb.logMessages()[4].ends_with("-2147467259"));
}

} // namespace
