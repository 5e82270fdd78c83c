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
    EXPECT_EQ(state.PatchFiles, (Texts{"HO_9_0_1_03.zip", "HO_9_0_1_03.zip"}));
    EXPECT_EQ(state.CustomPatchFiles, (Texts{"POSSECAU_1_04.zip", "POSAPPAU_1_05.zip"}));
    EXPECT_TRUE(logHas("Release 9.0.1.09 is not approved."));
    EXPECT_TRUE(state.UpdateEntries.empty()) << "only POS locations keep their entries";

    // The companion file adds to the same lists.
    state.PatchFiles.clear();
    state.CustomPatchFiles.clear();
    publish(downloaded("Pelvar9_hohttp.P9Q"), {"HO_2.zip:b"});
    read("hohttp", {"HO_1.zip:a"});
    EXPECT_EQ(state.PatchFiles, (Texts{"HO_1.zip", "HO_2.zip"}));
}

TEST_F(UpdateInformation, CommentsAndBlanksOnlyMeansNoUpdate) {
    read("POShttp", {});
    EXPECT_TRUE(state.PatchFiles.empty() && state.CustomPatchFiles.empty());
    EXPECT_TRUE(logHas("Update Not Available."));
}

TEST_F(UpdateInformation, EveryEntryOfAPosUnderscoreLocationIsCustom) {
    read("POS_Extra", {"POS_9_0_1_03.zip:9.0.1", "OTHER.zip:a"});
    EXPECT_EQ(state.CustomPatchFiles, (Texts{"POS_9_0_1_03.zip", "OTHER.zip"}));
    EXPECT_TRUE(state.PatchFiles.empty());
    EXPECT_EQ(state.UpdateEntries, (Texts{"POS_9_0_1_03.ZIP:9.0.1", "OTHER.ZIP:A"}));
}

// At a Point of Sale location such an entry is tampered (see the download exit codes).
TEST_F(UpdateInformation, EntryWithoutNumberEndsTheReadingAtHeadOffice) {
    read("hohttp", {"HO_9_0_1_01.zip:9", "HO_9_0_1_03.zip", "HO_9_0_1_04.zip:9"});
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(state.PatchFiles, (Texts{"HO_9_0_1_01.zip"}));
}

struct OversizeRow {
    const char* label;
    std::size_t lineBytes; // of each comment line
    std::size_t lines;
};

class OversizedInformation : public UpdateInformation,
                             public ::testing::WithParamInterface<OversizeRow> {};

TEST_P(OversizedInformation, IsTampered) {
    std::string bytes;
    for (std::size_t i = 0; i < GetParam().lines; ++i) {
        bytes += "// " + std::string(GetParam().lineBytes, 'c') + "\r\n";
    }
    state.DownloadLocation.Description = "HOhttp";
    writeFile(downloaded("Pelvar9_HOhttp.dat"), bytes + "HO_9_0_1_03.zip:9\r\n");
    EXPECT_THROW(ReadUpdateInformation(state), RunStopped);
    EXPECT_EQ(prompter.texts(), Texts{"Updates Information Tampered"});
    EXPECT_TRUE(state.PatchFiles.empty());
}

// Just over each cap: a line of 64 KiB and a file of 4 MiB.
INSTANTIATE_TEST_SUITE_P(Caps, OversizedInformation,
                         ::testing::Values(OversizeRow{"LongLine", 65536, 1},
                                           OversizeRow{"LargeFile", 1000, 4200}),
                         [](const auto& row) { return std::string(row.param.label); });

struct ApprovalRow {
    const char* label;
    const char* rows; // INSERT statements; null: no table at all
    std::string release;
    bool approved;
};

class ReleaseApproval : public UpdateInformation,
                        public ::testing::WithParamInterface<ApprovalRow> {};

TEST_P(ReleaseApproval, FollowsTheSecurityDatabase) {
    const char* table = "CREATE TABLE AuthorisedPOSPatches (ReleaseNo TEXT, ApprovedStatus TEXT);";
    useSecurityDatabase(GetParam().rows ? table + std::string(GetParam().rows) : "");
    read("hohttp", {"HO_a.zip:x:" + GetParam().release});
    EXPECT_EQ(state.PatchFiles.size(), GetParam().approved ? 1U : 0U);
    EXPECT_EQ(logHas("Release " + GetParam().release + " is not approved."), !GetParam().approved);
}

const char* const Approved05 = "INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.05', '1');";

INSTANTIATE_TEST_SUITE_P(
    Releases, ReleaseApproval,
    ::testing::Values(ApprovalRow{"NoTable", nullptr, "9.0.1.03", true},
                      ApprovalRow{"EmptyTable", "", "9.0.1.03", true},
                      ApprovalRow{"AtOrBelowAnApprovedRow", Approved05, "9.0.1.04", true},
                      ApprovalRow{"AboveEveryRow", Approved05, "9.0.1.06", false},
                      ApprovalRow{"NotApprovedStatus",
                                  "INSERT INTO AuthorisedPOSPatches VALUES ('9.0.1.05', '0');",
                                  "9.0.1.04", false},
                      // The release is data: a quote in it cannot add a union to the query.
                      ApprovalRow{"UnionInjection", Approved05, "~' UNION SELECT '1' --", false}),
    [](const auto& row) { return std::string(row.param.label); });

TEST_F(UpdateInformation, TransferErrorsReportOnlyServerAnswers) {
    state.DownloadLocation.Description = "POSftp";
    ShowTransferError(walk, 12029, "FTP Connect", "", 0);
    EXPECT_TRUE(prompter.boxes.empty());

    ShowTransferError(walk, 12003, "FtpGetFile",
                      "550 Pelvar9_POSftp.dat Pelvar9_POSftp.P9Q: The system cannot find the "
                      "file specified.",
                      550);
    EXPECT_EQ(prompter.texts(), Texts{"Updates Information File Not Found."});
    EXPECT_TRUE(logHas("Updates Information File Not Found... Quiting"));
}

} // namespace
