#include "download/UpdateInformation.h"

#include "DownloadFixture.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class UpdateInformation : public ::testing::Test, public DownloadFixture {
  protected:
    void read(const std::string& description, const std::vector<std::string>& entries) {
        state.DownloadLocation.Description = description;
        publish(downloaded("Pelvar9_" + description + ".dat"), entries);
        ReadUpdateInformation(state);
    }
};

TEST_F(UpdateInformation, SortsEntriesIntoTheTwoLists) {
    // Without a security database every release with a number is refused; entries with
    // fewer than three pieces need no approval.
    read("hohttp", {"HO_9_0_1_03.zip:9.0.1", "POSSECAU_1_04.zip:x:9.0.1.04", "POSAPPAU_1_05.zip:x",
                    "HO_9_0_1_03.zip:9.0.1", "HO_9_0_1_09.zip:9:9.0.1.09"});
    EXPECT_EQ(state.PatchFiles, "HO_9_0_1_03.zip:HO_9_0_1_03.zip");
    EXPECT_EQ(state.CustomPatchFiles, "POSSECAU_1_04.zip:POSAPPAU_1_05.zip");
    EXPECT_TRUE(logHas("Release 9.0.1.09 is not approved."));
    EXPECT_TRUE(state.UpdateEntries.empty()) << "only POS locations keep their entries";
}

TEST_F(UpdateInformation, CommentsAndBlanksOnlyMeansNoUpdate) {
    read("POShttp", {});
    EXPECT_EQ(state.PatchFiles, "");
    EXPECT_EQ(state.CustomPatchFiles, "");
    EXPECT_TRUE(logHas("Update Not Available."));
}

TEST_F(UpdateInformation, EveryEntryOfAPosUnderscoreLocationIsCustom) {
    read("POS_Extra", {"POS_9_0_1_03.zip:9.0.1", "OTHER.zip:a"});
    EXPECT_EQ(state.CustomPatchFiles, "POS_9_0_1_03.zip:OTHER.zip");
    EXPECT_EQ(state.PatchFiles, "");
    EXPECT_EQ(state.UpdateEntries,
              (std::vector<std::string>{"POS_9_0_1_03.ZIP:9.0.1", "OTHER.ZIP:A"}));
}

TEST_F(UpdateInformation, TamperedEntryEndsThePosDownloaderOnly) {
    EXPECT_THROW(read("POShttp", {"POS_9_0_1_03.zip"}), RunStopped);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Updates Information Tampered"});

    // The same entry at a Head Office location is not checked; it ends the reading instead.
    prompter.boxes.clear();
    read("hohttp", {"HO_9_0_1_01.zip:9", "HO_9_0_1_03.zip", "HO_9_0_1_04.zip:9"});
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(state.PatchFiles, "HO_9_0_1_01.zip");
}

TEST_F(UpdateInformation, ApprovalsFollowTheSecurityDatabase) {
    // An empty table approves every release.
    useSecurityDatabase("CREATE TABLE AuthorisedPOSPatches (ReleaseNo TEXT, ApprovedStatus TEXT);");
    read("hohttp", {"HO_a.zip:x:9.0.1.03"});
    EXPECT_EQ(state.PatchFiles, "HO_a.zip");

    // With rows, the status of the releases at or above decides; none at all refuses.
    sqlite(securityDatabase(), "INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.05', '1');");
    state.PatchFiles.clear();
    read("hohttp", {"HO_a.zip:x:9.0.1.04", "HO_b.zip:x:9.0.1.06"});
    EXPECT_EQ(state.PatchFiles, "HO_a.zip");
    EXPECT_TRUE(logHas("Release 9.0.1.06 is not approved."));
}

TEST_F(UpdateInformation, MissingApprovalTableApprovesEverything) {
    useSecurityDatabase();
    read("hohttp", {"HO_a.zip:x:9.0.1.03"});
    EXPECT_EQ(state.PatchFiles, "HO_a.zip");
}

TEST_F(UpdateInformation, CompanionFileAddsToTheSameLists) {
    state.DownloadLocation.Description = "hohttp";
    publish(downloaded("Pelvar9_hohttp.dat"), {"HO_1.zip:a"});
    publish(downloaded("Pelvar9_hohttp.P9Q"), {"HO_2.zip:b"});
    ReadUpdateInformation(state);
    EXPECT_EQ(state.PatchFiles, "HO_1.zip:HO_2.zip");
}

TEST_F(UpdateInformation, TransferErrorsReportOnlyServerAnswers) {
    state.DownloadLocation.Description = "POSftp";
    ShowTransferError(state, 12029, "FTP Connect", "", 0);
    EXPECT_TRUE(prompter.boxes.empty());

    ShowTransferError(state, 12003, "FtpGetFile", "550 No such file.", 550);
    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"FtpGetFile Extd Err: 550 550 No such file."});

    prompter.boxes.clear();
    ShowTransferError(state, 12003, "FtpGetFile",
                      "550 Pelvar9_POSftp.dat Pelvar9_POSftp.P9Q: The system cannot find the "
                      "file specified.",
                      550);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Updates Information File Not Found."});
    EXPECT_TRUE(logHas("Updates Information File Not Found... Quiting"));
}

} // namespace
