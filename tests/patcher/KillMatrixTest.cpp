#include "CommandLine.h"
#include "DatabaseRows.h"
#include "Sandbox.h"
#include "TempDir.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/registry/RegistryStore.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <zip.h>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

std::string joined(const std::vector<std::string>& rows) {
    std::string all;
    for (const auto& row : rows) {
        all += row + "\n";
    }
    return all;
}

// A Point of Sale installation (file security database, one file company) with two patches in
// its download folder, each replacing a program file and running a company script.
class Installation {
  public:
    Installation() : registry(paths().registryFile()) {
        for (const auto& folder :
             {dir / "app", dir / "downloads", product() + "/Temp3", paths().commonAppData()}) {
            fs::create_directories(folder);
        }
        writeFile(product() + "/Prog4.dll", "installed 4");
        writeFile(product() + "/Prog5.dll", "installed 5");
        sqlite(dir / "security.db", "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, "
                                    "DbPath, DbName, DbPassWd, DbUserName, DBServer);"
                                    "CREATE TABLE Menu (Src);"
                                    "INSERT INTO VaCompany VALUES ('C1', 'First', "
                                    "'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '" +
                                        dir.path() + "', 'first.db', '', '', '');");
        sqlite(dir / "first.db", "CREATE TABLE Items (Nm);"
                                 "CREATE TABLE VAPatchDtls (CompCode, CompName, PatchVer, PatchDt, "
                                 "AppliedDt, BusinessDt, ProductVer, LookupNos, ScriptName, Rem1, "
                                 "Rem2, Rem3, Flag1, Flag2, Flag3);"
                                 "CREATE TABLE GenLookup (RecID, Code, Number);"
                                 "CREATE TABLE SysParam (ParamCode, Dt);");
        for (const auto& [name, value] :
             std::map<std::string, std::string>{{"SERVERTYPE", "ACCESS"},
                                                {"PELVARAPPPATH", product()},
                                                {"VASECDBPATH", dir.path()},
                                                {"VASECDBNAME", "security.db"},
                                                {"PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                                                {"PatchVer", "9.0.1.03"}}) {
            WriteSetting(registry, name, value, keysel::Pos);
        }
        WriteSetting(registry, "SetupType", "1", keysel::SetupType);
        patch("POS_9_0_1_04.zip", "Prog4.dll", "4");
        patch("POS_9_0_1_05.zip", "Prog5.dll", "5");
        std::string info;
        for (const auto* entry :
             {"POS_9_0_1_05.zip:12/03/2026:9.0.1.05", "POS_9_0_1_04.zip:12/01/2026:9.0.1.04"}) {
            info += "1:2:3:4:" + ScrambleLine(entry) + "\r\n";
        }
        writeFile(dir / "downloads/Pelvar9_POSHTTP.dat", info);
        writeFile(dir / "app/POSDownloadSettings.config",
                  "Download path=" + (dir / "downloads") + "\r\n");
    }

    SandboxPaths paths() const {
        SandboxPaths p;
        p.root = dir / "root";
        p.appFolder = dir / "app";
        return p;
    }
    std::string product() const { return dir / "product"; }

    CliRun apply() const {
        return runLiveupdate({"--root", paths().root, "--app-folder", paths().appFolder, "--yes",
                              "apply", "--edition", "POS", "--no-download"});
    }

    // Everything a run leaves that a user would notice, with this sandbox's folder written
    // "<dir>" so that two installations compare.
    std::map<std::string, std::string> endState() const {
        std::map<std::string, std::string> state;
        for (const auto& entry : fs::recursive_directory_iterator(product())) {
            const std::string name = fs::relative(entry.path(), product()).generic_string();
            if (!entry.is_regular_file() || text::endsWith(name, ".log") ||
                text::endsWith(name, ".lock")) {
                continue;
            }
            state["file " + name] = text::endsWith(text::upper(name), ".ZIP")
                                        ? zipEntries(entry.path())
                                        : readFile(entry.path());
        }
        for (const char* value : {"PatchVer", "LastUpdated", "PatchEngineVer"}) {
            state[std::string("registry ") + value] = ReadSetting(registry, value, keysel::Pos);
        }
        state["system file"] = readFile(systemFilePath(paths(), 1));
        state["security Menu"] = joined(sqliteRows(dir / "security.db", "SELECT Src FROM Menu"));
        for (const char* table : {"Items", "VAPatchDtls"}) {
            state[std::string("company ") + table] =
                joined(sqliteRows(dir / "first.db", std::string("SELECT * FROM ") + table));
        }
        for (auto& [what, value] : state) {
            value = text::replaceAll(value, dir.path(), "<dir>");
        }
        return state;
    }

    TempDir dir;
    IniRegistryStore registry;

  private:
    void patch(const std::string& archive, const std::string& program, const std::string& n) {
        const std::string staging = dir / ("staging/" + archive);
        writeFile(staging + "/PackingList.ini",
                  "1-#-PRODUCT\\-#-PRODUCT\\-#-" + program + "-#-N-GO-\r\n");
        writeFile(staging + "/" + program, "new " + n);
        writeFile(staging + "/Script/app.DBA", "INSERT INTO Items (Nm) VALUES ('a" + n +
                                                   "')\r\n-GO-\r\nINSERT INTO Items (Nm) VALUES "
                                                   "('b" +
                                                   n + "')\r\n-GO-\r\n");
        writeFile(staging + "/Script/sec.MNA",
                  "INSERT INTO Menu (Src) VALUES ('m" + n + "')\r\n-GO-\r\n");
        const std::string command =
            "cd '" + staging + "' && zip -qr '" + (dir / "downloads/") + archive + "' . >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    static std::string zipEntries(const fs::path& path) {
        int error = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
        if (z == nullptr) {
            return "unreadable";
        }
        std::map<std::string, std::string> entries;
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
            std::string bytes(st.size, '\0');
            zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
            zip_fread(f, bytes.data(), bytes.size());
            zip_fclose(f);
            entries[st.name] = bytes;
        }
        zip_discard(z);
        std::string all;
        for (const auto& [name, bytes] : entries) {
            all += name + "=" + bytes + ";";
        }
        return all;
    }
};

// LIVEUPDATE_TEST_CRASH_AT for one run, unset again afterwards.
class CrashAt {
  public:
    explicit CrashAt(const std::string& point) {
        ::setenv("LIVEUPDATE_TEST_CRASH_AT", point.c_str(), 1);
    }
    ~CrashAt() { ::unsetenv("LIVEUPDATE_TEST_CRASH_AT"); }
    CrashAt(const CrashAt&) = delete;
    CrashAt& operator=(const CrashAt&) = delete;
};

struct KillPoint {
    const char* name;
    std::string point;   // "<product>" stands for the product folder
    const char* differs; // why the end state is allowed to differ (documented); empty: equal
};

void PrintTo(const KillPoint& p, std::ostream* os) {
    *os << p.name;
}

class KillMatrix : public testing::TestWithParam<KillPoint> {
  protected:
    static void SetUpTestSuite() {
        ::setenv("PELVAR_FRAMEWORK_WAIT_MS", "0", 1);
        Installation reference;
        const CliRun run = reference.apply();
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        expected = new std::map<std::string, std::string>(reference.endState());
    }
    static void TearDownTestSuite() {
        delete expected;
        expected = nullptr;
        ::unsetenv("PELVAR_FRAMEWORK_WAIT_MS");
    }
    static std::map<std::string, std::string>* expected;
};

std::map<std::string, std::string>* KillMatrix::expected = nullptr;

// kill -9 at the point, then `--yes apply`: the installation ends as an uninterrupted run
// leaves it.
TEST_P(KillMatrix, ResumedRunEndsLikeAnUninterruptedOne) {
    ASSERT_NE(expected, nullptr);
    Installation installation;
    {
        const CrashAt crash(
            text::replaceAll(GetParam().point, "<product>", installation.product()));
        const CliRun killed = installation.apply();
        ASSERT_EQ(killed.exitCode, -1) << "the run was not interrupted\n" << killed.out;
    }
    installation.apply();
    const auto state = installation.endState();
    if (*GetParam().differs != '\0') {
        GTEST_SKIP() << GetParam().differs;
    }
    for (const auto& [what, value] : *expected) {
        const auto found = state.find(what);
        EXPECT_TRUE(found != state.end() && found->second == value)
            << what << "\nexpected: " << value
            << "\nactual:   " << (found == state.end() ? "(none)" : found->second);
    }
    for (const auto& [what, value] : state) {
        EXPECT_TRUE(expected->count(what)) << "left behind: " << what << " = " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, KillMatrix,
    testing::Values(
        KillPoint{"Step3Started", "Step3: Started", ""},
        KillPoint{"InsideBackup", "copied:<product>/Temp3/POS_9_0_1_05/Prog5.dll", ""},
        KillPoint{"SyGlRecord", "bolSYGLPresent:False", ""},
        KillPoint{"Step3Over", "Step3: Over", ""}, KillPoint{"Step4Started", "Step4: Started", ""},
        KillPoint{"Step5Over", "Step5: Over", ""}, KillPoint{"Step6Started", "Step6: Started", ""},
        KillPoint{"InsideCompanyScripts", "sql:INSERT INTO Items (Nm) VALUES ('a5')",
                  "known gap: step 6 runs again from its first statement"},
        KillPoint{"Step6Over", "Step6: Over", ""}, KillPoint{"Step7Started", "Step7: Started", ""},
        KillPoint{"Step7Over", "Step7: Over", ""}, KillPoint{"Step8Started", "Step8: Started", ""},
        KillPoint{"InsideReplacement", "copied:<product>/Prog4.dll", ""},
        KillPoint{"Step8Over", "Step8: Over", ""}, KillPoint{"Step9Started", "Step9: Started", ""},
        KillPoint{"SystemFileRewrite", "system-file:PATCHVER=", ""}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
