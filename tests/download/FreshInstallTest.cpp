#include "Sandbox.h"
#include "download/MainWindowLoad.h"
#include "environment/RegistrySettings.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace pelvar::test {
namespace {

int countRows(const std::string& database, const char* sql) {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open(database.c_str(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, sql,
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = std::atoi(values[0]);
                return 0;
            },
            &rows, nullptr);
    }
    sqlite3_close(db);
    return rows;
}

// A fresh installation: no settings file has ever set the download folder, and the drive root
// the log falls back to does not exist yet. The window's load must still record the migrated
// patch version in the history, and its log lines must land in that drive root.
TEST(FreshInstallation, WindowLoadRecordsThePatchHistory) {
    Sandbox s;
    const std::string database = s.dir / "security.mdb";
    sqlite(database, "CREATE TABLE VaCompany (CompCode TEXT, Nm TEXT);"
                     "CREATE TABLE VAPatchDtls (CompCd TEXT, CompanyNm TEXT, NodeId TEXT,"
                     " PatchVersion TEXT, OtherRmks TEXT);"
                     "INSERT INTO VaCompany VALUES ('C1','Main Street');");
    ASSERT_TRUE(WriteSetting(s.registry, "SetupType", "Server", keysel::SetupType));
    ASSERT_TRUE(WriteSetting(s.registry, "SERVERTYPE", "ACCESS", keysel::Pos));
    ASSERT_TRUE(WriteSetting(s.registry, "VASECDBPATH", s.dir.path(), keysel::Pos));
    ASSERT_TRUE(WriteSetting(s.registry, "VASECDBNAME", "security.mdb", keysel::Pos));
    ASSERT_TRUE(WriteSetting(s.registry, "PROVIDER", "Microsoft.Jet.OLEDB.4.0", keysel::Pos));
    ASSERT_TRUE(WriteSetting(s.registry, "POSPatchVer", "POS_9_1_3.ZIP", keysel::LiveUpdate));
    s.state.DownloadFolder.clear();
    const std::string driveC = s.paths.driveC();
    ASSERT_FALSE(std::filesystem::exists(driveC));

    PrepareMainWindowState(s.state);
    MigratePatchVersions(s.state);

    EXPECT_EQ(ReadSetting(s.registry, "PatchVer", keysel::Pos), "9.1.3");
    EXPECT_EQ(countRows(database, "SELECT COUNT(*) FROM VAPatchDtls WHERE PatchVersion='9.1.3'"),
              1);
    const std::string log = readFile(driveC + "/PelvarUpdate.log");
    EXPECT_NE(log.find("Connection with Secutity Database Success."), std::string::npos) << log;
    EXPECT_TRUE(s.prompter.boxes.empty());
}

} // namespace
} // namespace pelvar::test
