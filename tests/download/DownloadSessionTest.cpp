#include "download/DownloadSession.h"

#include "DownloadFixture.h"
#include "download/CustomLocations.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

TEST(AdvanceProgress, StepsAndSetsBack) {
    DownloadFixture f;
    const std::pair<float, float> cases[] = {{100, 74}, {96, 96}, {97, 97}, {50, 54}};
    for (const auto& [from, to] : cases) {
        f.surface.value = from;
        AdvanceProgress(f.state, 4, 30);
        EXPECT_FLOAT_EQ(f.surface.value, to) << "from " << from;
    }
}

class SettingsWalk : public ::testing::Test, public DownloadFixture {
  protected:
    void writeRawSettings(const std::string& bytes) {
        writeFile(appFolder() + "/POSDownloadSettings.config", bytes);
    }
};

// The FTP transfer traps nothing: its first log line meets the missing folder, before it
// connects (nothing listens on port 1). The walk goes on, up to an empty location value.
TEST_F(SettingsWalk, MissingFileEmptyFolderAndEmptyLocationValueAreReported) {
    StartDownloadSession(walk);
    ftpLocation("POSftp", 1, "/a", "u", "p", false);
    ftpLocation("Second", 1, "/b", "u", "p", false);
    writeRawSettings("Download path=\r\nDownload File=POSftp.ini\r\nDownload File=Second.ini\r\n"
                     "Download File=\r\nDownload File=POSftp.ini\r\n");
    StartDownloadSession(walk);
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{"There is no download configuration set forPoint of Sale",
                                        "Mentioned download path is not available.",
                                        "Mentioned download path is not available.",
                                        "There is no download location defined"}));
}

TEST_F(SettingsWalk, RegistryFolderOverridesTheFile) {
    writeRawSettings("Download path=/nowhere\r\n");
    DownloadFromSettings(walk, appFolder() + "/POSDownloadSettings.config");
    EXPECT_EQ(state.DownloadFolder, "/nowhere");
    registry.write("Software\\Pelvar\\LUInfo", "POSDownloadPath", downloads());
    DownloadFromSettings(walk, appFolder() + "/POSDownloadSettings.config");
    EXPECT_EQ(state.DownloadFolder, downloads());
    // The wizard takes the file's folder as it stands.
    state.RunMode = "Installation";
    DownloadFromSettings(walk, appFolder() + "/POSDownloadSettings.config");
    EXPECT_EQ(state.DownloadFolder, "/nowhere");
}

// A listing surface that records the rows the walk adds.
struct Listing : SettingsSurface {
    std::vector<std::string> rows;
    std::string path;
    std::string productName() const override { return "Point of Sale"; }
    void addLocationRow(const LocationRecord& l) override { rows.push_back(l.Description); }
    std::string downloadPath() const override { return path; }
    void setDownloadPath(const std::string& text) override { path = text; }
};

TEST_F(SettingsWalk, ListingStopsAtCurrentVersionAndSkipsOtherEditions) {
    Listing listing;
    state.settingsWindow = &listing;
    state.CurrentOperation = " ";
    httpLocation("POShttp", "http://127.0.0.1:1/pos");
    httpLocation("hohttp", "http://127.0.0.1:1/ho", "Head Office");
    httpLocation("Later", "http://127.0.0.1:1/later");
    writeRawSettings(
        "Download path=" + downloads() +
        "\r\n\r\nDownload File=POShttp.ini\r\n"
        "Download File=hohttp.ini\r\nCurrent Version=9\r\nDownload File=Later.ini\r\n");
    DownloadFromSettings(walk, appFolder() + "/POSDownloadSettings.config");
    EXPECT_EQ(listing.rows, Texts{"POShttp"});
}

TEST_F(SettingsWalk, LocationFilesAreReadByPosition) {
    writeLocation("Odd.ini", {"Point of Sale", "Odd", "FTP", "ftp://h", "/a=b"});
    state.DownloadLocation.Port = "kept";
    LoadDownloadLocation(state, "Odd.ini");
    EXPECT_EQ(state.DownloadLocation.FolderLocation, "/a");
    EXPECT_EQ(state.DownloadLocation.Port, "kept") << "a missing line leaves its field";
    LoadDownloadLocation(state, "Missing.ini");
    EXPECT_EQ(state.DownloadLocation.Description, "Odd");
}

class CustomLocations : public ::testing::Test, public DownloadFixture {
  protected:
    void addRows(const std::string& values) {
        useSecurityDatabase(
            "CREATE TABLE CustomPatchLocationDtls (ActiveFlag INTEGER, DownLoadType TEXT, "
            "LocationAddress TEXT, CustmPatchName TEXT, PortNo TEXT, UserName TEXT, "
            "Password TEXT, ActiveFtp INTEGER);"
            "INSERT INTO CustomPatchLocationDtls VALUES " +
            values + ";");
    }
};

TEST_F(CustomLocations, FtpRowIsSplitIntoHostAndFolder) {
    FtpServer server(ftpRoot(), "shop", "pw");
    makePatch(ftpRoot() + "/patches/POS_9_0_1_07.zip");
    publish(ftpRoot() + "/patches/Pelvar9_Branch.dat", {"POS_9_0_1_07.zip:9"});
    httpLocation("POShttp", "http://elsewhere");
    writeSettings("Point of Sale", {"POShttp.ini"});
    addRows("(1, 'ftp', '127.0.0.1:" + std::to_string(server.port()) +
            "/patches/', 'Branch', NULL, 'shop', 'pw', 1), (0, 'HTTP', 'http://x', 'Off', NULL, "
            "NULL, NULL, 0)");
    // The host part carries the port here because the row names none of its own.
    DownloadFromCustomLocations(walk);
    EXPECT_EQ(state.DownloadLocation.Location, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(state.DownloadLocation.FolderLocation, "/patches/");
    EXPECT_EQ(state.DownloadLocation.ActiveFtp, "YES");
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_07.zip")));
    EXPECT_TRUE(walk.PatchesDownloaded);
}

TEST_F(CustomLocations, ConfiguredAddressIsSkippedAndStillCountsAsDownloaded) {
    httpLocation("POShttp", "http://127.0.0.1:1/same");
    writeSettings("Point of Sale", {"POShttp.ini"});
    addRows("(1, 'HTTP', 'http://127.0.0.1:1/same', 'Dup', NULL, NULL, NULL, 0)");
    DownloadFromCustomLocations(walk);
    EXPECT_FALSE(logHas("Call StartHTTP to download the Patches from HTTP Location."));
    EXPECT_TRUE(walk.PatchesDownloaded);
    EXPECT_TRUE(IsNewCustomAddress(state, "http://127.0.0.1:1/x"));
    // Without Download File lines no address is new.
    writeSettings("Point of Sale", {});
    EXPECT_FALSE(IsNewCustomAddress(state, "http://127.0.0.1:1/x"));
}

TEST_F(CustomLocations, MissingTableAndEmptyTableAreLogged) {
    useSecurityDatabase();
    DownloadFromCustomLocations(walk);
    EXPECT_TRUE(logHas("CustomPatchLocationDtls table does not exist. Exit from the Custom patch "
                       "Downloading."));
    sqlite(securityDatabase(), "CREATE TABLE CustomPatchLocationDtls (ActiveFlag INTEGER);");
    DownloadFromCustomLocations(walk);
    EXPECT_TRUE(logHas("There is no record in CustomPatchLocationDtls table. Exit from the Custom "
                       "patch Downloading."));
    EXPECT_FALSE(walk.PatchesDownloaded);
}

TEST_F(CustomLocations, AddressWithoutFolderEndsThePassQuietly) {
    writeSettings("Point of Sale", {"POShttp.ini"});
    httpLocation("POShttp", "http://elsewhere");
    addRows("(1, 'FTP', 'hostonly', 'A', NULL, NULL, NULL, 0)");
    DownloadFromCustomLocations(walk);
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_FALSE(walk.PatchesDownloaded);
}

} // namespace
