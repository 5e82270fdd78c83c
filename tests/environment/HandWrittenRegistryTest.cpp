#include "Sandbox.h"
#include "environment/Connections.h"
#include "environment/SystemFile.h"

#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

// Values typed into the registry file by hand, with the separators other INI dialects treat
// as comments or lists, reach the server login and the system file made from them whole.
TEST(HandWrittenRegistry, LoginAndSystemFileKeepSemicolonsAndCommas) {
    Sandbox s;
    writeFile(s.paths.registryFile(), "[Software\\Pelvar\\POS]\r\n"
                                      "SERVERTYPE=SQLSERVER\r\n"
                                      "SERVERID=db1\r\n"
                                      "VASEC-DB=Security\r\n"
                                      "USER-INF1=1;sa,admin\r\n"
                                      "PASSWORD=p;w,d=1\r\n"
                                      "[Software\\Pelvar\\SetupType]\r\n"
                                      "SetupType=Server\r\n");
    // The first load creates the system file from the registry; the login comes from there.
    ASSERT_TRUE(LoadConnectionData(s.state, PosEdition));
    ASSERT_TRUE(LoadConnectionData(s.state, PosEdition));
    EXPECT_EQ(s.state.SecurityConnectionString,
              "Provider=SQLOLEDB.1;Password=p;w,d=1;Persist Security Info=True;User "
              "ID=sa,admin;Data Source=db1;Initial Catalog=Security");
    const std::string systemFile = readFile(systemFilePath(s.paths, 1));
    EXPECT_NE(systemFile.find("\r\nUSER-INF1=1;sa,admin\r\n"), std::string::npos) << systemFile;
    EXPECT_NE(systemFile.find("\r\nPASSWORD=p;w,d=1\r\n"), std::string::npos) << systemFile;
}

} // namespace
} // namespace pelvar::test

namespace pelvar::test {
namespace {

// A value that carries a line break cannot add keys of its own to the system file made from
// the registry: the database type stays the one the registry names.
TEST(HandWrittenRegistry, ALineBreakInAValueAddsNoKey) {
    Sandbox s;
    writeFile(s.paths.registryFile(), "[Software\\Pelvar\\POS]\n"
                                      "SERVERTYPE=SQLSERVER\n"
                                      "PASSWORD=\"secret\\r\\nSERVERTYPE=ACCESS\"\n");
    SystemFileInfo info;
    CreateSystemFileFromRegistry(info, s.paths, s.registry, "1");
    LoadPelvarDatFileInfo(info, s.paths);
    EXPECT_EQ(info.Pos.ServerType, "SQLSERVER");
    EXPECT_EQ(info.Pos.Password, "secret");
}

} // namespace
} // namespace pelvar::test
