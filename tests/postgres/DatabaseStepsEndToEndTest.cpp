#include "CommandLine.h"
#include "Sandbox.h"
#include "Servers.h"
#include "TempDir.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/Database.h"
#include "platform/RegistryStore.h"
#include "platform/SandboxPaths.h"
#include "platform/Text.h"
#include "settings/ScrambleLine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::writeFile;

namespace {

std::string isoToday() {
    const auto d = datetext::now();
    char t[16];
    std::snprintf(t, sizeof t, "%04d-%02d-%02d", d.year, d.month, d.day);
    return t;
}

std::vector<std::string> rowsOf(const std::string& connection, const std::string& query,
                                const DatabaseConfig& config = {}) {
    auto db = DatabaseConnection::open(connection, config);
    const auto rs = db->query(query);
    std::vector<std::string> out;
    for (std::size_t r = 0; r < rs.size(); ++r) {
        std::string row;
        for (std::size_t c = 0; c < rs.columns.size(); ++c) {
            row += (c ? "|" : "") + rs.rows[r][c].value_or("NULL");
        }
        out.push_back(row);
    }
    return out;
}

std::string sqliteFile(const std::string& file) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
}

// An installed product with its download folder holding patch archives, applied by the
// built `liveupdate --yes apply --no-download`.
class ApplyEndToEnd : public testing::Test {
  protected:
    ApplyEndToEnd() : registry(paths().registryFile()) {
        ::setenv("PELVAR_FRAMEWORK_WAIT_MS", "5000", 1);
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
                                   "INSERT INTO GenLookup VALUES (101, 'A', '4');");
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
           {"Script/b.dba", "INSERT INTO Items (Nm) VALUES ('dba5')\r\n-GO-\r\n"}});
    information("POShttp",
                {"POS_9_0_1_04.zip:12/01/2026:9.0.1.04", "POS_9_0_1_05.zip:12/03/2026:9.0.1.05"});

    const auto run = apply("POS", "POSDownloadSettings.config");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err << readFile(downloads() + "/PelvarUpdate.log");

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

} // namespace
