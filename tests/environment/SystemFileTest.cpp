#include "environment/SystemFile.h"

#include "Sandbox.h"
#include "environment/RegistrySettings.h"
#include "platform/files/Files.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::Sandbox;
using pelvar::test::writeFile;

namespace {

std::string dateText(const std::optional<datetext::LocalDateTime>& d) {
    return d ? datetext::generalDate(*d) : "(none)";
}

struct GrammarCase {
    std::string name;
    bool headOffice;
    std::string fileText;
    std::function<std::string(const SystemRecord&)> field;
    std::string expected;
};

class SystemFileGrammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(SystemFileGrammar, LoadsTheFieldAsTheGrammarSays) {
    Sandbox sb;
    const auto& c = GetParam();
    writeFile(systemFilePath(sb.paths, c.headOffice ? 2 : 1), c.fileText);
    SystemFileInfo info;
    LoadPelvarDatFileInfo(info, sb.paths);
    EXPECT_EQ(info.PosFileExists, !c.headOffice);
    EXPECT_EQ(info.HoFileExists, c.headOffice);
    EXPECT_EQ(c.field(c.headOffice ? info.Ho : info.Pos), c.expected);
}

const auto serverType = [](const SystemRecord& r) { return r.ServerType; };
const auto userInf1 = [](const SystemRecord& r) { return r.UserInf1; };
const auto flags = [](const SystemRecord& r) {
    return std::string(r.HelpKey ? "help" : "-") + (r.SysStats ? "stats" : "-");
};
const auto lastUpdated = [](const SystemRecord& r) { return dateText(r.LastUpdated); };
const auto hoKeys = [](const SystemRecord& r) {
    return r.PelvarHoAst + "|" + r.PelvarHoServer + "|" + r.PelvarHoClient;
};

INSTANTIATE_TEST_SUITE_P(
    Lines, SystemFileGrammar,
    testing::Values(
        GrammarCase{"CommentSetsNothing", false, "*SERVERTYPE=ACCESS\r\n", serverType, ""},
        GrammarCase{"BlankBeforeEqualsSetsNothing", false, "SERVERTYPE =ACCESS\r\n", serverType,
                    ""},
        GrammarCase{"LowerCaseKeySetsNothing", false, "servertype=ACCESS\r\n", serverType, ""},
        GrammarCase{"LastOccurrenceWins", false, "SERVERTYPE=ACCESS\r\nSERVERTYPE=SQLSERVER\r\n",
                    serverType, "SQLSERVER"},
        GrammarCase{"ValueKeptWithBlanksAndEquals", false, "SERVERTYPE= A=B \nno key here\n",
                    serverType, " A=B "},
        GrammarCase{"UserInf1AfterFirstSemicolon", false, "USER-INF1=dom;sa;x\r\n", userInf1,
                    "sa;x"},
        GrammarCase{"UserInf1WithoutSemicolon", false, "USER-INF1=sa\r\n", userInf1, "sa"},
        GrammarCase{"FlagsTrueIgnoringCase", false, "HELP-KEY=true\r\nSYSSTATS=TRUE\r\n", flags,
                    "helpstats"},
        GrammarCase{"FlagsFalseOtherwise", false, "HELP-KEY=yes\r\nSYSSTATS=TRUE \r\n", flags,
                    "--"},
        GrammarCase{"InvalidDateKeepsThePrevious", false,
                    "LASTUPDATED=3/14/2026 4:15:02 PM\r\nLASTUPDATED=2/29/1900\r\n", lastUpdated,
                    "3/14/2026 4:15:02 PM"},
        GrammarCase{"HeadOfficeKeysIgnoredInPosFile", false,
                    "PELVARHOAST=1\r\nPELVARHOSERVER=ho\r\nPELVARHOCLIENT=c\r\n", hoKeys, "||"},
        GrammarCase{"HeadOfficeKeysReadInHoFile", true,
                    "PELVARHOAST=1\r\nPELVARHOSERVER=ho\r\nPELVARHOCLIENT=c\r\n", hoKeys,
                    "1|ho|c"}),
    [](const auto& row) { return row.param.name; });

TEST(SystemFileRewrite, ReplacesOrAppendsOneKeyKeepingEverythingElse) {
    Sandbox sb;
    const std::string path = systemFilePath(sb.paths, 1);
    writeFile(path, "* Pelvar system file\r\n"
                    "*PATCHVER=0.0\r\n"
                    "SERVERTYPE=SQLSERVER\r\n"
                    "free text\n"
                    "PATCHVER=\r\n"
                    "patchver=lower\r\n");
    std::string key = " patchver ";
    ReWritePelvarDatFileInfo(sb.paths, key, "9.0.1.05", 1);
    EXPECT_EQ(key, "PATCHVER=");
    key = "nodeid";
    ReWritePelvarDatFileInfo(sb.paths, key, "7", 1);
    EXPECT_EQ(readFile(path), "* Pelvar system file\r\n"
                              "*PATCHVER=0.0\r\n"
                              "SERVERTYPE=SQLSERVER\r\n"
                              "free text\r\n"
                              "PATCHVER=9.0.1.05\r\n"
                              "patchver=lower\r\n"
                              "NODEID=7\r\n");
    EXPECT_FALSE(files::fileExists(path + "New"));
    // Another index, or an edition without its file, changes nothing.
    const std::string before = readFile(path);
    ReWritePelvarDatFileInfo(sb.paths, key, "2", 3);
    ReWritePelvarDatFileInfo(sb.paths, key, "2", 2);
    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(files::fileExists(systemFilePath(sb.paths, 2)));
}

// Values typed into the registry file by hand reach the system file whole, with the
// separators other INI dialects treat as comments or lists, but a line break in one cannot add
// a key of its own: the database type stays the one the registry names.
TEST(SystemFileFromHandWrittenRegistry, KeepsSeparatorsAndALineBreakAddsNoKey) {
    Sandbox s;
    writeFile(s.paths.registryFile(), "[Software\\Pelvar\\POS]\n"
                                      "SERVERTYPE=SQLSERVER\n"
                                      "USER-INF1=1;sa,admin\n"
                                      "PASSWORD=\"p;w,d\\r\\nSERVERTYPE=ACCESS\"\n");
    SystemFileInfo info;
    CreateSystemFileFromRegistry(info, s.paths, s.registry, "1");
    LoadPelvarDatFileInfo(info, s.paths);
    EXPECT_EQ(info.Pos.ServerType, "SQLSERVER");
    EXPECT_EQ(info.Pos.UserInf1, "sa,admin");
    EXPECT_EQ(info.Pos.Password, "p;w,d");
}

class SystemFileFromRegistry : public testing::Test {
  protected:
    void SetUp() override {
        // Each value names itself so that a value read from the wrong name shows.
        for (const char* name :
             {"SERVERTYPE", "PELVARAPPPATH", "VSPDBTYP", "PROVIDER", "SERVERID", "VASEC-DB",
              "USER-INF1", "PASSWORD", "IMP-PATH", "PRODTYPE", "HELP-KEY", "HELPFILE", "SYSSTATS",
              "ProductVer", "PatchVer", "PatchEngineVer", "LastUpdated"}) {
            WriteSetting(sb.registry, name, std::string("pos-") + name, keysel::Pos);
            WriteSetting(sb.registry, name, std::string("ho-") + name, keysel::Enterprise);
        }
        WriteSetting(sb.registry, "USER-INF2", "Xpos-user", keysel::Pos);
        WriteSetting(sb.registry, "USER-INF2", "Xho-user", keysel::Enterprise);
        WriteSetting(sb.registry, "NodeId", "12", keysel::NodeInfo);
        WriteSetting(sb.registry, "Name", "TILL1", keysel::NodeInfo);
        WriteSetting(sb.registry, "IPAddress", "10.0.0.5", keysel::NodeInfo);
        WriteSetting(sb.registry, "ComputerName", "shop-pc", keysel::NodeInfo);
        sb.registry.write("Software\\Pelvar\\POSSetupType", "SetupType", "Client");
        WriteSetting(sb.registry, "POSDownloadPath", "/srv/pos", keysel::LiveUpdate);
        WriteSetting(sb.registry, "HODownLoadPath", "/srv/ho", keysel::LiveUpdate);
        sb.registry.write("Software\\Pelvar\\PelvarHO", "PelvarHOClient", "hc");
        sb.registry.write("Software\\Pelvar\\PelvarHO", "PelvarHOServer", "hs");
    }

    static std::string expectedFile(const std::string& p, const std::string& tail) {
        return "SERVERTYPE=" + p + "SERVERTYPE\r\nSETUPTYPE=Client\r\nPELVARAPPPATH=" + p +
               "PELVARAPPPATH\r\nVSPDBTYP=" + p + "VSPDBTYP\r\nPROVIDER=" + p +
               "PROVIDER\r\nSERVERID=" + p + "SERVERID\r\nVASEC-DB=" + p +
               "VASEC-DB\r\nUSER-INF1=" + p + "USER-INF1\r\nUSER-INF2=" + p +
               "user\r\nPASSWORD=" + p + "PASSWORD\r\nIMP-PATH=" + p + "IMP-PATH\r\nPRODTYPE=" + p +
               "PRODTYPE\r\nHELP-KEY=" + p + "HELP-KEY\r\nHELPFILE=" + p +
               "HELPFILE\r\nSYSSTATS=" + p +
               "SYSSTATS\r\nNODEID=12\r\nTERMINALNAME=TILL1\r\nNODEPERIORITY=\r\n"
               "IPADDRESS=10.0.0.5\r\nCOMPUTERNAME=shop-pc\r\nPRODUCTVER=" +
               p + "ProductVer\r\nPATCHVER=" + p + "PatchVer\r\nPATCHENGINEVER=" + p +
               "PatchEngineVer\r\nLASTUPDATED=" + p + "LastUpdated\r\n" + tail;
    }

    Sandbox sb;
    SystemFileInfo info;
};

// Created below the root (with its missing data folder), in order, private because it holds
// the database password; a rewrite keeps it private and a second creation leaves it alone.
TEST_F(SystemFileFromRegistry, WritesThePosFileInOrderAndPrivate) {
    std::filesystem::remove_all(sb.paths.commonAppData());
    CreateSystemFileFromRegistry(info, sb.paths, sb.registry, "1");
    const std::string path = systemFilePath(sb.paths, 1);
    EXPECT_TRUE(path.starts_with(sb.root() + "/")) << path;
    EXPECT_EQ(readFile(path), expectedFile("pos-", "PATCHDOWNPATH=/srv/pos\r\n"));
    EXPECT_FALSE(files::fileExists(systemFilePath(sb.paths, 2)));
    EXPECT_TRUE(info.PosFileExists);
    EXPECT_EQ(info.Pos.UserInf2, "pos-user");
    EXPECT_EQ(test::fileMode(path), 0600u);

    std::string key = "patchver";
    ReWritePelvarDatFileInfo(sb.paths, key, "9.0.1.06", 1);
    EXPECT_EQ(test::fileMode(path), 0600u);
    const std::string rewritten = readFile(path);
    CreateSystemFileFromRegistry(info, sb.paths, sb.registry, "1");
    EXPECT_EQ(readFile(path), rewritten);
    LoadPelvarDatFileInfo(info, sb.paths);
    EXPECT_EQ(info.Pos.PatchVer, "9.0.1.06");
}

TEST_F(SystemFileFromRegistry, WritesTheHoFileWithItsOwnKeys) {
    CreateSystemFileFromRegistry(info, sb.paths, sb.registry, "2");
    EXPECT_EQ(readFile(systemFilePath(sb.paths, 2)),
              expectedFile("ho-", "PELVARHOCLIENT=hc\r\nPELVARHOSERVER=hs\r\nPELVARHOAST=\r\n"
                                  "PATCHDOWNPATH=/srv/ho\r\n"));
    EXPECT_EQ(info.Ho.PelvarHoServer, "hs");
}

} // namespace
