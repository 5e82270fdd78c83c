#include "Env.h"
#include "PatchFixture.h"
#include "Servers.h"
#include "platform/registry/RegistryExport.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace pelvar;
using namespace pelvar::test;

namespace {

constexpr const char* CompanyPassword = "Sh0pSecret";

// A shop where a patch run can succeed: a file company, the framework library, an HTTP
// location that serves its update information.
class Preflight : public PatchTest {
  public:
    Preflight() {
        sqlite(dir / "Shop.mdb", "CREATE TABLE VaPatchDtls (PatchVer TEXT);");
        sqlite(securityDatabase(),
               "DROP TABLE VaCompany; CREATE TABLE VaCompany (CompCode TEXT, Nm "
               "TEXT, DbName TEXT, DbType TEXT, DbPath TEXT, DbPassWd TEXT, "
               "DbUserName TEXT, DBServer TEXT, DbProvider TEXT);" +
                   company("01", "Shop", "Shop.mdb", "VSPMSACCESSDB", dir.path()));
        writeFile(inProduct("PLPRFW04.dll"), "framework");
        publish(www() + "/Pelvar9_POSHTTP.dat", {});
        httpLocation("POSHTTP", server.url());
        writeSettings("Point of Sale", {"POSHTTP.ini"});
    }

    static std::string company(const std::string& code, const std::string& name,
                               const std::string& db, const std::string& type,
                               const std::string& path, const std::string& server = {}) {
        return "INSERT INTO VaCompany VALUES ('" + code + "','" + name + "','" + db + "','" + type +
               "','" + path + "','" + CompanyPassword + "','sa','" + server + "','');";
    }

    HttpServer server{www()};
    std::unique_ptr<FtpServer> ftp;
};

struct Fault {
    const char* name;
    std::function<void(Preflight&)> make;
    const char* failingItem; // what the one FAIL line starts with
};

class PreflightFault : public Preflight, public ::testing::WithParamInterface<Fault> {};

// Each fault makes exactly its own item fail, and the check says so without a password.
TEST_P(PreflightFault, FailsItsItemOnly) {
    const test::ScopedEnv driver("PELVAR_ODBC_DRIVER", "PostgreSQL Unicode");
    GetParam().make(*this);
    const CliRun result = cli({"--yes", "check", "--edition", "POS"});
    ASSERT_EQ(result.exitCode, 1) << result.out << result.err;
    const auto failed = text::splitText("\n" + result.out, "\nFAIL ");
    ASSERT_EQ(failed.size(), 2U) << result.out;
    EXPECT_TRUE(text::startsWith(failed[1], GetParam().failingItem)) << result.out;
    EXPECT_EQ(result.out.find(CompanyPassword), std::string::npos) << result.out;
    // The same fault stops `apply --check-first` before anything is fetched.
    EXPECT_EQ(cli({"--yes", "apply", "--edition", "POS", "--check-first"}).exitCode, 1);
    EXPECT_FALSE(files::fileExists(downloaded("Pelvar9_POSHTTP.dat")));
}

INSTANTIATE_TEST_SUITE_P(
    Check, PreflightFault,
    ::testing::Values(
        Fault{"OfflineServerCompany",
              [](Preflight& fixture) {
                  sqlite(fixture.securityDatabase(),
                         Preflight::company("02", "Depot", "depot", "SQL", "",
                                            "127.0.0.1," + std::to_string(freePort())));
              },
              "company Depot (depot): script connection"},
        Fault{"MissingProductFolder",
              [](Preflight& fixture) { std::filesystem::remove_all(fixture.product()); },
              "product folder"},
        Fault{"UnreachableLocation",
              [](Preflight& fixture) {
                  fixture.httpLocation("POSHTTP", std::string("http://shop:") + CompanyPassword +
                                                      "@127.0.0.1:" + std::to_string(freePort()));
              },
              "location POSHTTP.ini"},
        Fault{"FtpLoginRefused",
              [](Preflight& fixture) {
                  fixture.ftp = std::make_unique<FtpServer>(fixture.ftpRoot(), "shop", "right");
                  fixture.ftpLocation("POSFTP", fixture.ftp->port(), "/", "shop", CompanyPassword,
                                      false);
                  fixture.writeSettings("Point of Sale", {"POSHTTP.ini", "POSFTP.ini"});
              },
              "location POSFTP.ini: login as shop at 127.0.0.1 failed"},
        Fault{"RelativeProductFolder",
              [](Preflight& fixture) {
                  writeFile(fixture.root() + "/var/lib/Orken/Pelvar9/PelvarPOSSystem.DAT",
                            "SETUPTYPE=Server\r\nPELVARAPPPATH=Pelvar9\\\r\n");
              },
              "product folder: PELVARAPPPATH \"Pelvar9\\\" is a relative path"},
        Fault{"DamagedTrustedKey",
              [](Preflight& fixture) {
                  writeFile(fixture.root() + "/etc/pelvar/trusted-keys/A1.pub", "not a key\n");
              },
              "trusted keys: the trusted key"},
        Fault{"UncDownloadPath",
              [](Preflight& fixture) {
                  writeFile(fixture.appFolder() + "/POSDownloadSettings.config",
                            "Download path=\\\\server\\patches\r\nDownload File=POSHTTP.ini\r\n");
              },
              "download folder: Download path \"\\\\server\\patches\" is a network path"}),
    [](const auto& row) { return std::string(row.param.name); });

// A shop moved over from Windows: its registry export, system file and settings name
// drive-letter paths; the check passes and the patch lands below the C: drive's folder.
TEST_F(Preflight, WindowsInstallationMovedOver) {
    const std::string product = root() + "/drive_c/Pelvar9";
    std::filesystem::create_directories(product + "/Data");
    std::filesystem::create_directories(root() + "/drive_d/Patches");
    std::filesystem::rename(securityDatabase(), product + "/Data/Security.mdb");
    std::filesystem::rename(dir / "Shop.mdb", product + "/Data/Shop.mdb");
    sqlite(product + "/Data/Security.mdb", "UPDATE VaCompany SET DbPath = 'C:\\Pelvar9\\Data';");
    writeFile(product + "/Till.exe", "till 1");
    writeFile(product + "/PLPRFW04.dll", "framework");
    const std::string reg =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelvar\\POS]\r\n"
        "\"PELVARAPPPATH\"=\"C:\\\\Pelvar9\\\\\"\r\n\"SERVERTYPE\"=\"ACCESS\"\r\n"
        "\"PROVIDER\"=\"Microsoft.Jet.OLEDB.4.0\"\r\n"
        "\"VASECDBPATH\"=\"C:\\\\Pelvar9\\\\Data\"\r\n\"VASECDBNAME\"=\"Security.mdb\"\r\n"
        "\"PatchVer\"=\"9.0.1.03\"\r\n\r\n";
    writeFile(dir / "shop.reg", "\xFF\xFE" + regfile::utf8ToUtf16le(reg));
    ASSERT_EQ(cli({"--yes", "reg", "import", dir / "shop.reg"}).exitCode, 0);
    writeFile(root() + "/var/lib/Orken/Pelvar9/PelvarPOSSystem.DAT",
              "SERVERTYPE=ACCESS\r\nSETUPTYPE=Server\r\nPELVARAPPPATH=C:\\Pelvar9\\\r\n");
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=D:\\Patches\r\nDownload File=POSHTTP.ini\r\n");
    makeZip(www() + "/POSSECAU_9_0_1_04.zip", {{"Till.exe", "till 2"}});
    publish(www() + "/Pelvar9_POSHTTP.dat", {"POSSECAU_9_0_1_04.zip:x"});

    const CliRun result = cli({"--yes", "apply", "--edition", "POS", "--check-first"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(readFile(product + "/Till.exe"), "till 2");
    EXPECT_TRUE(files::fileExists(root() + "/drive_d/Patches/POSSECAU_9_0_1_04.zip"));
    // What was read keeps its Windows form.
    IniRegistryStore stored(root() + "/etc/pelvar/registry.ini");
    EXPECT_EQ(stored.read("Software\\Pelvar\\POS", "PELVARAPPPATH"), "C:\\Pelvar9\\");
}

} // namespace
