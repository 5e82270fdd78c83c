#include "PatchFixture.h"
#include "patcher/PatchSelection.h"
#include "platform/host/Host.h"
#include "settings/ScrambleLine.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class Selection : public PatchTest {
  protected:
    // An update-information file of the patch folder with these raw lines.
    void information(const std::vector<std::string>& rawLines) {
        std::string bytes;
        for (const auto& line : rawLines) {
            bytes += line + "\r\n";
        }
        writeFile(run.PatchFolder + "/Pelvar9_POSHTTP.dat", bytes);
    }
    bool collectEndsTheRun() {
        try {
            CollectPendingUpdates(run);
        } catch (const RunStopped&) {
            return true;
        }
        return false;
    }
};

TEST_F(Selection, EntriesAreOrderedByPatchNumberAndAppliedCustomArchivesAreSkipped) {
    // Lines of 14 characters or fewer name nothing.
    writeFile(inProduct("GenUpdate.dat"),
              "POSSECAU_1.zip\r\nPOSSECAU_2.zip:01/12/2026:02/12/2026:9.0\r\n");
    information({"// comment", "", "a:b:c:d:" + ScrambleLine("POS_9_0_1_06.zip:9.0.1"),
                 "a:b:c:d:" + ScrambleLine("POSSECAU_1.zip:x"),
                 "a:b:c:d:" + ScrambleLine("POSSECAU_2.zip:x"),
                 "a:b:c:d:" + ScrambleLine("PelvarPU.zip:9"),
                 "a:b:c:d:" + ScrambleLine("POSAPPAU_3.zip:y"),
                 "a:b:c:d:" + ScrambleLine("possecau_4.zip:z")});
    ASSERT_FALSE(collectEndsTheRun());
    EXPECT_EQ(state.CustomPatchFiles, (Texts{"POSSECAU_1.zip", "POSAPPAU_3.zip"}));
    // Only the exact upper-case prefix makes a custom entry; numbered patches come last, oldest
    // first.
    EXPECT_EQ(state.PatchFiles, (Texts{"possecau_4.zip", "POS_9_0_1_06.zip"}));
    EXPECT_EQ(state.UpdateEntries,
              (Texts{"PELVARPU.ZIP:9", "POSSECAU_4.ZIP:Z", "POS_9_0_1_06.ZIP:9.0.1"}));
    EXPECT_FALSE(files::fileExists(run.PatchFolder + "/Pelvar9_POSHTTP.dat"));
}

struct TamperRow {
    const char* name;
    std::string entry;
};

class TamperedEntry : public ::testing::WithParamInterface<TamperRow>, public Selection {};

TEST_P(TamperedEntry, EndsTheRun) {
    information({"a:b:c:d:" + ScrambleLine(GetParam().entry)});
    EXPECT_TRUE(collectEndsTheRun());
    EXPECT_TRUE(shown("Updates Information Tampered"));
    EXPECT_EQ(host.terminations, 1);
    EXPECT_TRUE(state.RunFailed);
}

INSTANTIATE_TEST_SUITE_P(Entries, TamperedEntry,
                         ::testing::Values(TamperRow{"NoColon", "POS_9_0_1_05.zip"},
                                           TamperRow{"LeavesTheFolder", "../POS_9.zip:1"},
                                           TamperRow{"CustomWithPath", "POSSECAU/../../x.zip:1"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Selection, NoInformationFileEndsTheRun) {
    EXPECT_TRUE(collectEndsTheRun());
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text,
              "There is no Dat file available to hold the patch information.");
    EXPECT_EQ(prompter.boxes[0].title, "Secondary Database Management");
}

struct ArchiveRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> entries; // empty: not a zip at all
};

class DamagedArchive : public ::testing::WithParamInterface<ArchiveRow>, public Selection {};

TEST_P(DamagedArchive, EndsTheRunWithTheCorruptMessage) {
    const std::string archive = run.PatchFolder + "/POS_9_0_1_05.zip";
    if (GetParam().entries.empty()) {
        writeFile(archive, "not a zip");
    } else {
        makeZip(archive, GetParam().entries);
    }
    state.PatchFiles = {"POS_9_0_1_05.zip"};
    EXPECT_THROW(UnzipAndVerify(run, 1), RunStopped);
    EXPECT_TRUE(shown("The downloaded file POS_9_0_1_05.zip is either empty or corrupted.\n\n"
                      "Please check the connectivity to the download location and retry."));
    // Nothing lands outside the patch folder, and no half-unpacked patch folder remains.
    EXPECT_FALSE(files::fileExists(dir / "escaped.txt"));
    EXPECT_FALSE(files::folderExists(run.PatchFolder + "/POS_9_0_1_05"));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, DamagedArchive,
    ::testing::Values(ArchiveRow{"NotAZip", {}},
                      ArchiveRow{"EntryLeavesTheFolder",
                                 {{"ok.txt", "1"}, {"../../../escaped.txt", "evil"}}},
                      ArchiveRow{"AbsoluteEntry", {{"/tmp/escaped-absolute.txt", "evil"}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Selection, CopyingWithoutInformationFileEndsOnlyTheApplication) {
    CopyDownloadedUpdates(run, downloads() + "/");
    EXPECT_TRUE(shown("Updates Information Not Found!"));
    EXPECT_TRUE(logHas("Direct Copy from: " + downloads() + "/ failed"));
    EXPECT_FALSE(run.UpdatesReady);
    EXPECT_EQ(host.terminations, 0);
}

TEST_F(Selection, NothingCopiedIsReportedOnce) {
    publish(downloaded("Pelvar9_POSHTTP.dat"), {"POS_9_0_1_05.zip:9.0.1"});
    ApplyUpdates(run);
    const auto texts = prompter.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "There are no Updates present to verify."), 1);
}

TEST_F(Selection, AMissingArchiveIsLoggedAndTheOthersAreCopied) {
    publish(downloaded("Pelvar9_POSHTTP.dat"),
            {"POSSECAU_1.zip:x", "POS_9_0_1_05.zip:9.0.1", "POS_9_0_1_06.zip:9.0.1"});
    makeZip(downloaded("POSSECAU_1.zip"), {{"a.txt", "new"}});
    makeZip(downloaded("POS_9_0_1_06.zip"), {{"b.txt", "new"}});
    try {
        CopyDownloadedUpdates(run, downloads() + "/");
    } catch (const RunStopped&) {
    }
    EXPECT_TRUE(logHas("File is not available: POS_9_0_1_05.zip. Skipped copying the same file."));
    EXPECT_TRUE(files::fileExists(run.PatchFolder + "/POS_9_0_1_06.zip"));
    EXPECT_TRUE(files::fileExists(run.PatchFolder + "/POSSECAU_1.zip"));
}

} // namespace
