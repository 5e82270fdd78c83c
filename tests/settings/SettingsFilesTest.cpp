#include "settings/SettingsFiles.h"

#include "LocationFiles.h"
#include "Sandbox.h"
#include "download/DownloadSession.h"
#include "download/LocationListing.h"
#include "environment/AppState.h"
#include "environment/RegistrySettings.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::readFile;

namespace {

class SettingsFilesTest : public ::testing::Test {
  protected:
    std::string app(const std::string& name) const { return box.appFolder() + "/" + name; }

    // A settings file of `edition` listing these names, each with a location file.
    void install(Edition edition, const std::vector<std::string>& names) {
        std::vector<LocationRecord> records;
        for (const auto& n : names) {
            records.push_back(test::location(editionText(edition), n, "HTTP", "http://" + n));
        }
        test::installLocations(box, settingsFile(edition), "/srv/patches", records);
    }

    static std::string settingsFile(Edition edition) {
        return edition == Edition::Ho ? "HODownloadSettings.config" : "POSDownloadSettings.config";
    }

    test::Sandbox box;
};

struct DeleteCase {
    const char* name;
    Edition edition;
    const char* location;
    const char* refusal; // empty when the location may go
};

class ProtectedDelete : public SettingsFilesTest,
                        public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(ProtectedDelete, FollowsTheEditionsProtections) {
    const DeleteCase& c = GetParam();
    install(c.edition, {"First", c.location});
    const std::string before = readFile(app(settingsFile(c.edition)));
    std::vector<std::string> rows = {"First", c.location};

    const bool deleted = DeleteLocation(box.state, c.edition, "/srv/patches", rows, 1);

    if (*c.refusal) {
        EXPECT_FALSE(deleted);
        ASSERT_EQ(box.prompter.boxes.size(), 1U);
        EXPECT_EQ(box.prompter.boxes[0].text, c.refusal);
        EXPECT_EQ(box.prompter.boxes[0].title, "LiveUpdate Downloader");
        EXPECT_EQ(rows.size(), 2U);
        EXPECT_EQ(readFile(app(settingsFile(c.edition))), before);
        EXPECT_TRUE(files::fileExists(app(std::string(c.location) + ".ini")));
    } else {
        EXPECT_TRUE(deleted);
        EXPECT_TRUE(box.prompter.boxes.empty());
        EXPECT_EQ(rows, std::vector<std::string>{"First"});
        EXPECT_EQ(readFile(app(settingsFile(c.edition))),
                  "Download path=/srv/patches\r\nDownload File=First.ini\r\n");
        EXPECT_FALSE(files::fileExists(app(std::string(c.location) + ".ini")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProtectedDelete,
    ::testing::Values(DeleteCase{"PosHttpDefault", Edition::Pos, "POShttp",
                                 "Pelvar 9 default http location can not be deleted."},
                      DeleteCase{"PosHttpInCapitals", Edition::Pos, "POSHTTP", ""},
                      DeleteCase{"HoHttpDefaultInShop", Edition::Pos, "hohttp",
                                 "Pelvar 9 default http location can not be deleted."},
                      DeleteCase{"PosFtpInShop", Edition::Pos, "posFTP",
                                 "Pelvar 9 Default ftp location can not be deleted."},
                      DeleteCase{"PosFtpInHeadOffice", Edition::Ho, "POSftp", ""},
                      DeleteCase{"HoFtpInHeadOffice", Edition::Ho, "hoftp",
                                 "Pelvar Default ftp location can not be deleted."},
                      DeleteCase{"HoFtpInShop", Edition::Pos, "HOftp", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ModifyRefusal, CoversOnlyTheHttpDefaults) {
    EXPECT_EQ(modifyRefusal("hohttp.ini"), "Pelvar 9 default http location can not be modified.");
    EXPECT_EQ(modifyRefusal("POShttp.ini"), "Pelvar 9 default http location can not be modified.");
    EXPECT_EQ(modifyRefusal("HOftp.ini"), std::nullopt);
    EXPECT_EQ(modifyRefusal("HOHTTP.ini"), std::nullopt);
}

TEST_F(SettingsFilesTest, DeletingARowWithoutItsFileStillRewritesTheList) {
    install(Edition::Pos, {"First", "Gone"});
    files::deleteFile(app("Gone.ini"));
    std::vector<std::string> rows = {"First", "Gone"};
    // The folder text goes in as currently typed.
    EXPECT_TRUE(DeleteLocation(box.state, Edition::Pos, "/typed/now", rows, 1));
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")),
              "Download path=/typed/now\r\nDownload File=First.ini\r\n");
    ASSERT_EQ(box.prompter.boxes.size(), 1U);
    EXPECT_EQ(box.prompter.boxes[0].text, "There is no download details are available to delete.");
    EXPECT_EQ(box.prompter.boxes[0].title, "Pelvar LiveUpdate");
}

TEST_F(SettingsFilesTest, ListingShowsOnlyTheEditionsLocationsAndADeleteDropsTheOthers) {
    std::vector<LocationRecord> records = {
        test::location("Point of Sale", "Shop", "FTP", "ftp://shop", "/p", "s3cret"),
        test::location("Head Office", "Office", "HTTP", "http://office"),
        test::location("Point of Sale", "Spare", "HTTP", "http://spare")};
    test::installLocations(box, "POSDownloadSettings.config", "/srv/patches", records);

    LocationList list(Edition::Pos);
    EXPECT_TRUE(ListLocations(box.state, list));
    EXPECT_EQ(list.rowNames(), (std::vector<std::string>{"Shop", "Spare"}));

    std::vector<std::string> rows = list.rowNames();
    ASSERT_TRUE(DeleteLocation(box.state, Edition::Pos, "/srv/patches", rows, 1));
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")),
              "Download path=/srv/patches\r\nDownload File=Shop.ini\r\n");
}

TEST_F(SettingsFilesTest, SavingRefusesAMissingFolderAndWritesNothing) {
    install(Edition::Pos, {"First"});
    const std::string before = readFile(app("POSDownloadSettings.config"));
    EXPECT_FALSE(SaveDownloadSettings(box.state, Edition::Pos, Edition::Pos, box.dir / "missing",
                                      {"First"}));
    ASSERT_EQ(box.prompter.boxes.size(), 1U);
    EXPECT_EQ(box.prompter.boxes[0].text, "Mentioned download path is not available.");
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")), before);
    EXPECT_EQ(ReadSetting(box.registry, "POSDownloadPath", keysel::LiveUpdate), "");
}

TEST_F(SettingsFilesTest, SavingWritesEveryNamedRowAndTheMainWindowsRegistryValue) {
    WriteSetting(box.registry, "HODownloadPath", "/old", keysel::LiveUpdate);
    const std::string folder = box.downloads();
    ASSERT_TRUE(SaveDownloadSettings(box.state, Edition::Ho, Edition::Ho, folder,
                                     {"hohttp", "", "Office"}));
    EXPECT_EQ(readFile(app("HODownloadSettings.config")),
              "Download path=" + folder +
                  "\r\nDownload File=hohttp.ini\r\nDownload File=Office.ini\r\n");
    EXPECT_EQ(ReadSetting(box.registry, "HODownloadPath", keysel::LiveUpdate), folder);
    EXPECT_EQ(ReadSetting(box.registry, "POSDownloadPath", keysel::LiveUpdate), "");
    EXPECT_EQ(box.prompter.texts(), std::vector<std::string>{"Download Settings Saved"});
}

// Location files carry a login's password: only the owner (and in a shared folder its group) may
// read them, from the moment they exist, and a file left readable by an older version is
// narrowed when it is written again.
TEST_F(SettingsFilesTest, LocationFilesArePrivate) {
    const LocationRecord l = test::location("Point of Sale", "POSftp", "FTP", "127.0.0.1");
    WriteLocationFile(box.state, "POSftp.ini", l);
    EXPECT_EQ(test::fileMode(app("POSftp.ini")), 0600u);
    ASSERT_EQ(::chmod(app("POSftp.ini").c_str(), 0644), 0);
    WriteLocationFile(box.state, "POSftp.ini", l);
    EXPECT_EQ(test::fileMode(app("POSftp.ini")), 0600u);
    box.state.DownloadLocation.clear();
    LoadDownloadLocation(box.state, "POSftp.ini");
    EXPECT_EQ(box.state.DownloadLocation, l);

    // An installed component folder is set-group-ID: its group (the scheduled run's account)
    // may read, nobody else, whatever the umask.
    struct stat folder {};
    ASSERT_EQ(::stat(app("").c_str(), &folder), 0);
    ASSERT_EQ(::chmod(app("").c_str(), (folder.st_mode & 0777) | S_ISGID), 0);
    const mode_t umaskBefore = ::umask(077);
    WriteLocationFile(box.state, "POSftp.ini", l);
    ::umask(umaskBefore);
    EXPECT_EQ(test::fileMode(app("POSftp.ini")), 0640u);
}

// "н" is D0 BD in UTF-8, and BD scrambles to LF: written as it is, the password would be cut
// and every later field lost. It is refused and no file is left behind.
TEST_F(SettingsFilesTest, AFieldThatWouldBreakItsLineIsRefused) {
    LocationRecord l = test::location("Point of Sale", "POSftp", "FTP", "127.0.0.1");
    l.Password = "\xD0\xBD\xD0\xB0\xD0\xB4\xD0\xB5\xD0\xB6\xD0\xBD\xD0\xBE"; // "надежно"
    try {
        WriteLocationFile(box.state, "POSftp.ini", l);
        ADD_FAILURE() << "written";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), err::InvalidPropertyValue);
    }
    EXPECT_FALSE(std::filesystem::exists(app("POSftp.ini")));
}

} // namespace
