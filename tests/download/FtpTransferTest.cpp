#include "DownloadFixture.h"
#include "HostileServers.h"
#include "download/DownloadRun.h"
#include "download/DownloadSession.h"
#include "platform/zip/ZipArchive.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class FtpTransfer : public ::testing::Test, public DownloadFixture {
  protected:
    FtpTransfer() : server(recordingFtp(), {ftpRoot(), "shop", "s3cret", dir / "commands.txt"}) {}
    // Whether a command line the server received starts with `prefix`.
    bool sent(const std::string& prefix) const {
        return ("\n" + readFile(dir / "commands.txt")).find("\n" + prefix) != std::string::npos;
    }
    void publishPatches(const std::vector<std::string>& names) {
        std::vector<std::string> entries;
        for (const auto& name : names) {
            makePatch(ftpRoot() + "/patches/" + name);
            entries.push_back(name + ":9.0.1");
        }
        publish(ftpRoot() + "/patches/Pelvar9_HOftp.dat", entries);
    }
    void useEdition(const std::vector<std::string>& locations) {
        state.edition = surface.edition = Edition::Ho;
        writeSettings("Head Office", locations);
    }

    PythonServer server;
};

class FtpModes : public FtpTransfer, public ::testing::WithParamInterface<bool> {};

TEST_P(FtpModes, FetchesPatchesWithoutPatchNumberCheck) {
    publishPatches({"HO_9_0_1_03.zip", "HO_9_0_1_01.zip"});
    // An FTP location compares no patch numbers: an older one is fetched all the same.
    registry.write("Software\\Pelvar\\ENTERPRISE", "PatchVer", "9.0.1.02");
    ftpLocation("HOftp", server.port(), "/patches", "shop", "s3cret", GetParam(), "Head Office");
    useEdition({"HOftp.ini"});
    StartDownloadSession(walk);
    for (const char* name : {"HO_9_0_1_03.zip", "HO_9_0_1_01.zip"}) {
        EXPECT_EQ(readFile(downloaded(name)), readFile(ftpRoot() + "/patches/" + name)) << name;
    }
    EXPECT_TRUE(logHas("Connecting to FTP Site: ftp://127.0.0.1 : Success"));
    EXPECT_EQ(walk.FtpConnectFailures, 0);
    EXPECT_TRUE(prompter.boxes.empty());
    // On the wire: FolderLocation + "/" + name exactly, in the mode the location chose.
    EXPECT_TRUE(sent("RETR /patches/Pelvar9_HOftp.dat"));
    EXPECT_TRUE(sent("RETR /patches/HO_9_0_1_03.zip"));
    EXPECT_FALSE(sent("RETR //"));
    EXPECT_EQ(sent("PASV") || sent("EPSV"), !GetParam());
    EXPECT_EQ(sent("PORT") || sent("EPRT"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpModes, ::testing::Values(false, true),
                         [](const auto& row) { return row.param ? "Active" : "Passive"; });

// A wrong password, then a location without update information: each is reported and the
// walk goes on, until a port that is no number ends it quietly.
TEST_F(FtpTransfer, FailuresAreReportedAndTheWalkGoesOn) {
    publishPatches({"HO_9_0_1_03.zip", "HO_9_0_1_05.zip"});
    ftpLocation("HOftp", server.port(), "/patches", "shop", "wrong", false, "Head Office");
    ftpLocation("HOnone", server.port(), "/patches", "shop", "s3cret", false, "Head Office");
    ftpLocation("HOftp2", server.port(), "/patches", "shop", "s3cret", false, "Head Office");
    publish(ftpRoot() + "/patches/Pelvar9_HOftp2.dat", {"HO_9_0_1_03.zip:9"});
    writeLocation("HOport.ini", {"Head Office", "HOport", "FTP", "ftp://127.0.0.1", "/patches",
                                 "21a", "shop", "s3cret", "0", "", "", "NO"});
    ftpLocation("HOlast", server.port(), "/patches", "shop", "s3cret", false, "Head Office");
    publish(ftpRoot() + "/patches/Pelvar9_HOlast.dat", {"HO_9_0_1_05.zip:9"});
    useEdition({"HOftp.ini", "HOnone.ini", "HOftp2.ini", "HOport.ini", "HOlast.ini"});
    StartDownloadSession(walk);

    EXPECT_EQ(walk.FtpConnectFailures, 1);
    ASSERT_EQ(prompter.boxes.size(), 3U);
    EXPECT_EQ(prompter.boxes[0].text, "Failed to download the patches from ftp://127.0.0.1.\r\n"
                                      "Check the corresponding download settings and try again.");
    EXPECT_EQ(prompter.boxes[0].buttons, 48);
    EXPECT_TRUE(prompter.boxes[1].text.starts_with("FTP Connect Extd Err: 530 "))
        << prompter.boxes[1].text;
    EXPECT_TRUE(logHas("Connecting to FTP Site: ftp://127.0.0.1 : Failed"));
    EXPECT_TRUE(prompter.boxes[2].text.starts_with("FtpGetFile Extd Err: 550 550 "))
        << prompter.boxes[2].text;
    EXPECT_FALSE(std::filesystem::exists(downloaded("Pelvar9_HOnone.dat")));
    EXPECT_TRUE(std::filesystem::exists(downloaded("HO_9_0_1_03.zip")));
    EXPECT_FALSE(std::filesystem::exists(downloaded("HO_9_0_1_05.zip")));
}

TEST_F(FtpTransfer, ArchiveOnDiskIsKeptAndEmptyListMeansDownloaded) {
    publishPatches({"HO_9_0_1_03.zip"});
    writeFile(downloaded("HO_9_0_1_03.zip"), "already here");
    ftpLocation("HOftp", server.port(), "/patches", "shop", "s3cret", false, "Head Office");
    useEdition({"HOftp.ini"});
    StartDownloadSession(walk);
    EXPECT_EQ(readFile(downloaded("HO_9_0_1_03.zip")), "already here");
    EXPECT_TRUE(logHas("Skiped Downloading File: HO_9_0_1_03.zip"));

    publish(ftpRoot() + "/patches/Pelvar9_HOftp.dat", {});
    StartDownloadSession(walk);
    EXPECT_TRUE(walk.PatchesDownloaded);
    EXPECT_FALSE(walk.PatchesReady);
}

TEST_F(FtpTransfer, RefusedTransferIsReportedWithTheServersReply) {
    publishPatches({"HO_9_0_1_04.zip", "HO_9_0_1_03.zip"});
    ftpLocation("HOftp", server.port(), "/patches", "shop", "s3cret", false, "Head Office");
    useEdition({"HOftp.ini"});
    state.mainWindow = &surface;
    ZipArchive zip;
    DownloadButtonClicked(walk, zip, surface);

    ASSERT_GE(prompter.boxes.size(), 2U);
    EXPECT_EQ(prompter.boxes[0].text,
              "FtpGetFile Extd Err: 426 426 Connection closed; transfer aborted.");
    EXPECT_EQ(prompter.boxes[1].text, "Download of updates for Pelvar 9 completed with errors. "
                                      "Click Yes to view the log file");
    EXPECT_FALSE(logHas("Failed Downloading File: HO_9_0_1_04.zip"));
    EXPECT_FALSE(std::filesystem::exists(downloaded("HO_9_0_1_04.zip")));
    // The report closes the session, so the next name fails without a reply: only the log says so.
    EXPECT_TRUE(logHas("Failed Downloading File: HO_9_0_1_03.zip"));
}

} // namespace
