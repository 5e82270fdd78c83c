#include "download/DownloadRun.h"

#include "DownloadFixture.h"
#include "Env.h"
#include "download/VerifyDownloadedPatches.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/zip/ZipArchive.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class Verification : public ::testing::Test, public DownloadFixture {
  protected:
    void verify() { VerifyDownloadedPatches(walk, zip); }
    ZipArchive zip;
};

// A link planted under the scratch folder's name receives nothing.
TEST_F(Verification, SoundArchiveLeavesNoScratchFolder) {
    makeZip(downloaded("POS_9_0_1_03.zip"), {{"a.txt", "a"}, {"sub/b.txt", "b"}});
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", downloaded("POS_9_0_1_03"));
    state.PatchFiles = {"POS_9_0_1_03.zip"};
    walk.PatchesDownloaded = true;
    verify();
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip")));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
    EXPECT_TRUE(logHas("Unziping Files: POS_9_0_1_03.zip"));
    for (const auto& entry : std::filesystem::directory_iterator(downloads())) {
        EXPECT_FALSE(std::filesystem::is_directory(entry.symlink_status())) << entry.path();
    }
}

TEST_F(Verification, TruncatedArchiveIsDeletedAndEndsTheHost) {
    makeZip(downloaded("HO_9_0_1_03.zip"), {{"a.txt", std::string(5000, 'a')}});
    const std::string bytes = readFile(downloaded("HO_9_0_1_03.zip"));
    writeFile(downloaded("HO_9_0_1_03.zip"), bytes.substr(0, bytes.size() / 2));
    state.PatchFiles = {"HO_9_0_1_03.zip"};
    EXPECT_THROW(verify(), RunStopped);
    EXPECT_TRUE(state.RunFailed); // a download run exits with 1 and says why
    EXPECT_EQ(state.Summary.problems.at(0),
              "The downloaded file HO_9_0_1_03.zip is empty or damaged");
    EXPECT_FALSE(std::filesystem::exists(downloaded("HO_9_0_1_03.zip")));
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text, "The downloaded file HO_9_0_1_03.zip is either empty or "
                                      "corrupted.\r\n\r\nPlease check the connectivity to the "
                                      "download location and retry.");
    EXPECT_EQ(prompter.boxes[0].buttons, 16);
}

TEST_F(Verification, SkipsWhatNeedsNoCheck) {
    // Installed number 03 covers 03; no prefix; missing file: none of them is opened.
    registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.03");
    writeFile(downloaded("POS_9_0_1_03.zip"), "not a zip");
    writeFile(downloaded("X_9_0_1_09.zip"), "not a zip");
    state.PatchFiles = {"POS_9_0_1_03.zip", "X_9_0_1_09.zip", "POS_9_0_1_08.zip"};
    verify();
    EXPECT_EQ(prompter.texts().front(), "There is no updates are available to download");
}

TEST_F(Verification, FailedLoginsOfferTheLog) {
    const std::string viewed = dir / "viewed.txt";
    const std::string viewer = dir / "viewer.sh";
    writeFile(viewer, "#!/bin/sh\necho \"$1\" > " + viewed + "\n");
    std::filesystem::permissions(viewer, std::filesystem::perms::owner_all);
    ScopedEnv textViewer("PELVAR_TEXT_VIEWER", viewer);
    LogWrite(state.DownloadFolder, "a line");
    walk.FtpConnectFailures = 1;
    prompter.answers = {box::AnswerYes, box::AnswerNo};
    verify();
    EXPECT_EQ(prompter.boxes[0].buttons, 68);
    // The viewer runs on its own: wait until it has written its line, not just opened the file.
    const std::string expected = downloads() + "/PelvarUpdate.log\n";
    EXPECT_TRUE(waitUntil([&] { return readFile(viewed) == expected; })) << readFile(viewed);
}

// A main window whose progress bar fails with a chosen error when the run starts.
struct FailingSurface : RecordingSurface {
    explicit FailingSurface(std::int64_t n) : number(n) {}
    void setProgressVisible(bool) override {
        throw RunTimeError(number, "Failure " + std::to_string(number));
    }
    std::int64_t number;
};

struct ErrorRow {
    const char* name;
    std::int64_t number;
    const char* firstMessage;
    bool buttonsEnabled;
    bool hostEnded;
};

class DownloadRunErrors : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(DownloadRunErrors, FollowTheWindowsErrorTable) {
    const ErrorRow& row = GetParam();
    DownloadFixture f;
    FailingSurface window(row.number);
    f.state.mainWindow = &window;
    ZipArchive zip;
    bool ended = false;
    try {
        DownloadButtonClicked(f.walk, zip, window);
    } catch (const RunStopped&) {
        ended = true;
    }
    EXPECT_EQ(ended, row.hostEnded);
    ASSERT_FALSE(f.prompter.boxes.empty());
    EXPECT_EQ(f.prompter.boxes[0].text, row.firstMessage);
    EXPECT_EQ(window.buttonsEnabled, row.buttonsEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, DownloadRunErrors,
    ::testing::Values(
        // 52 resumes: the verification still reports the outcome.
        ErrorRow{"BadFileName", 52, "There is no updates are available to download", true, false},
        ErrorRow{"Other", 13, "Failure 13", false, false},
        ErrorRow{"InternetFailure", 0x800403E8,
                 "Could not able to download the patches from the default HTTP location.", false,
                 true}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
