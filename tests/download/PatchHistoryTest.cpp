#include "DatabaseRows.h"
#include "Sandbox.h"
#include "download/MainWindowLoad.h"
#include "environment/Connections.h"
#include "environment/RegistrySettings.h"

#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

constexpr int LU = keysel::LiveUpdate;

// A fresh Access-type installation of both editions whose security database is a SQLite file:
// no settings file has set the download folder yet, so the log goes to a drive root that does
// not exist yet. VAPatchDtls has a key, so recording the same version twice is an integrity
// violation.
class PatchHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        s.state.DownloadFolder.clear();
        sqlite(database, "CREATE TABLE VaCompany (CompCode TEXT, Nm TEXT);"
                         "CREATE TABLE VAPatchDtls (CompCd TEXT, CompanyNm TEXT, NodeId TEXT,"
                         " PatchVersion TEXT, OtherRmks TEXT,"
                         " PRIMARY KEY (CompCd, NodeId, PatchVersion));");
        set(keysel::SetupType, "SetupType", "Server");
        for (int selector : {keysel::Pos, keysel::Enterprise}) {
            set(selector, "SERVERTYPE", "ACCESS");
            set(selector, "VASECDBPATH", s.dir.path());
            set(selector, "VASECDBNAME", "security.mdb");
            set(selector, "PROVIDER", "Microsoft.Jet.OLEDB.4.0");
        }
    }
    void set(int selector, const std::string& name, const std::string& value) {
        ASSERT_TRUE(WriteSetting(s.registry, name, value, selector));
    }
    std::string get(int selector, const std::string& name) {
        return ReadSetting(s.registry, name, selector);
    }
    void addCompanies(const std::string& values) {
        sqlite(database, "INSERT INTO VaCompany VALUES " + values + ";");
    }
    // VAPatchDtls in insertion order.
    std::vector<std::string> history() {
        return sqliteRows(database, "SELECT CompCd, CompanyNm, NodeId, PatchVersion, OtherRmks "
                                    "FROM VAPatchDtls ORDER BY rowid");
    }

    Sandbox s;
    std::string database = s.dir / "security.mdb";
};

struct MigrationCase {
    const char* name;
    std::vector<std::tuple<int, std::string, std::string>> registry;
    std::string hoPatchVer;
    std::string posPatchVer;
    std::vector<std::string> history;
    const char* runMode = "";
};

class PatchVersionMigration : public PatchHistory,
                              public ::testing::WithParamInterface<MigrationCase> {};

TEST_P(PatchVersionMigration, WritesPatchVerAndRecordsMigratedVersions) {
    addCompanies("('C1','Main Street'),('C2','Harbour')");
    for (const auto& [selector, name, value] : GetParam().registry) {
        set(selector, name, value);
    }
    s.state.RunMode = GetParam().runMode;
    MigratePatchVersions(s.state);
    EXPECT_EQ(get(keysel::Enterprise, "PatchVer"), GetParam().hoPatchVer);
    EXPECT_EQ(get(keysel::Pos, "PatchVer"), GetParam().posPatchVer);
    EXPECT_EQ(history(), GetParam().history);
    EXPECT_TRUE(s.prompter.boxes.empty());
}

// The rows of the migrated versions, in order: one for each company.
std::vector<std::string> recorded(const std::string& node,
                                  const std::vector<std::string>& versions) {
    std::vector<std::string> rows;
    for (const auto& version : versions) {
        for (const char* company : {"C1|Main Street|", "C2|Harbour|"}) {
            rows.push_back(company + node + "|" + version + "|");
        }
    }
    return rows;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Load, PatchVersionMigration, ::testing::Values(
    // Head Office is migrated and recorded before Point of Sale.
    MigrationCase{"ArchiveNames", {{LU, "HOPatchVer", "HO_9_1_2.ZIP"}, {LU, "POSPatchVer",
        "POS_9_1_3.ZIP"}, {keysel::NodeInfo, "NodeId", "N7"}}, "9.1.2", "9.1.3",
        recorded("N7", {"9.1.2", "9.1.3"})},
    MigrationCase{"DirectValues", {{LU, "HO", "9.2.1"}, {LU, "POS", "9.2.0"}}, "9.2.1", "9.2.0",
        recorded("N/A", {"9.2.1", "9.2.0"})},
    // The archive name wins over the direct value.
    MigrationCase{"PatchVerEndingIn00Replaced", {{keysel::Enterprise, "PatchVer", "9.1.00"},
        {LU, "HOPatchVer", "HO_9_1_5.ZIP"}, {LU, "HO", "9.9.9"}}, "9.1.5", "",
        recorded("N/A", {"9.1.5"})},
    MigrationCase{"CurrentPatchVerKept", {{keysel::Pos, "PatchVer", "9.1.2"}, {LU, "POSPatchVer",
        "POS_9_1_7.ZIP"}, {LU, "POS", "9.3"}}, "", "9.1.2", {}},
    MigrationCase{"NothingToMigrate", {}, "", "", {}},
    // The wizard's download leaves the registry and the database alone.
    MigrationCase{"InstallationMode", {{LU, "HOPatchVer", "HO_9_1_2.ZIP"}, {LU, "POS", "9.2.0"}},
        "", "", {}, "Installation"}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

TEST_F(PatchHistory, FailedInsertSkipsItsCompanyAndAnExistingRowEndsTheRoutine) {
    // A trigger refuses C1's row; a quote in a company's name is data and breaks nothing; C3
    // already has the version, so C4 after it is never reached.
    addCompanies("('C1','Main Street'),('C2','O''Brien'),('C3','Harbour'),('C4','Airport')");
    sqlite(database, "INSERT INTO VAPatchDtls VALUES ('C3','Harbour','N/A','9.1.2','old');"
                     "CREATE TRIGGER refuse BEFORE INSERT ON VAPatchDtls WHEN NEW.CompCd = 'C1' "
                     "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    ASSERT_TRUE(LoadConnectionData(s.state, Edition::Pos));
    RecordPatchHistory(s.state, "9.1.2");
    EXPECT_EQ(history(), (Texts{"C3|Harbour|N/A|9.1.2|old", "C2|O'Brien|N/A|9.1.2|"}));
    EXPECT_TRUE(s.prompter.boxes.empty());
}

} // namespace
} // namespace pelvar::test
