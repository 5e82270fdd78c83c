#include "PatchFixture.h"
#include "patcher/FirstPassCopy.h"
#include "patcher/ReplacementStep.h"
#include "patcher/StepDriver.h"
#include "platform/host/Host.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

enum class Cause { MissingSubfolder, RunningProgram };

struct CopyErrorRow {
    const char* name;
    Cause cause;
    int answer;
};

class CopyError : public ::testing::WithParamInterface<CopyErrorRow>, public PatchTest {};

TEST_P(CopyError, AsksAndGoesOnOrAbandonsTheRun) {
    const CopyErrorRow& row = GetParam();
    std::filesystem::create_directories(root() + "/drive_c/Shared");
    writeFile(progressFile(), "Step8: Started\r\n");
    QProcess running;
    std::string list;
    if (row.cause == Cause::MissingSubfolder) {
        list = packingRecord("Shared\\", "bin\\", "Till.exe", "N");
    } else {
        // A program that is running cannot be replaced.
        std::filesystem::copy_file("/bin/sleep", inProduct("Till.exe"));
        running.start(QString::fromStdString(inProduct("Till.exe")), {"30"});
        ASSERT_TRUE(running.waitForStarted(5000));
        list = packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "N");
    }
    unpacked("POS_9_0_1_05", {{"Till.exe", "new"}, {"PackingList.ini", list}});
    prompter.answers = {row.answer};
    bool ended = false;
    try {
        EXPECT_EQ(runSingleStep(run, ResumeStep::CopyFiles), StepResult::Stop);
    } catch (const RunStopped&) {
        ended = true;
    }
    running.kill();
    running.waitForFinished(5000);

    ASSERT_EQ(prompter.boxes.size(), 1U);
    const std::string expectedText =
        row.cause == Cause::MissingSubfolder
            ? "Destination path mentioned in the Packing List is not available.\nDo you want to "
              "Continue?"
            : "Till.exe could not be copied to the mentioned directory.\nThe requested operation "
              "cannot be performed on a file with a user-mapped section open.\nDo you want to "
              "Continue?";
    EXPECT_EQ(prompter.boxes[0].text, expectedText);
    EXPECT_EQ(prompter.boxes[0].buttons, box::YesNo + box::Critical);
    // Either way the patch is not recorded: the run failed, and step 8 is not over.
    EXPECT_TRUE(state.RunFailed);
    if (row.answer == box::AnswerYes) {
        EXPECT_FALSE(ended);
        EXPECT_EQ(lines(progressFile()), Texts{"Step8: Started"});
        EXPECT_TRUE(row.cause == Cause::MissingSubfolder
                        ? logHas("Destination path mentioned in the Packing List is not available.")
                        : logHas("Trying to copy other files..."));
    } else {
        EXPECT_TRUE(ended);
        EXPECT_FALSE(files::fileExists(progressFile()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CopyError,
    ::testing::Values(CopyErrorRow{"MissingSubfolderYes", Cause::MissingSubfolder, box::AnswerYes},
                      CopyErrorRow{"MissingSubfolderNo", Cause::MissingSubfolder, box::AnswerNo},
                      CopyErrorRow{"RunningProgramYes", Cause::RunningProgram, box::AnswerYes},
                      CopyErrorRow{"RunningProgramNo", Cause::RunningProgram, box::AnswerNo}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PatchTest, AMissingPackingListIsAMissingFile) {
    unpacked("POS_9_0_1_05", {{"Till.exe", "new"}});
    CopyPackedFile(run, "Till.exe", run.PatchFolder + "/POS_9_0_1_05", "9.0.1.05");
    EXPECT_EQ(prompter.texts(), Texts{"53 File not found"});
}

struct PlacementRow {
    const char* name;
    int setupType;
    std::vector<std::string> placed; // relative to the sandbox root's "product" or "drive_c"
    std::vector<std::string> skipped;
};

class FirstPassPlacement : public ::testing::WithParamInterface<PlacementRow>, public PatchTest {};

TEST_P(FirstPassPlacement, PutsEachFileWhereTheSetupTypeSays) {
    run.SetupType = GetParam().setupType;
    unpacked("POSSECAU_1", {{"Till.exe", "t"},
                            {"PR426000.exe", "installer"},
                            {"AppDets.ini", "settings"},
                            {"POS9005.SY", "sy"},
                            {"Ini/Menu.ini", "menu"},
                            {"SCRIPT/s.sql", "sql"},
                            {"crystal/r.dll", "report engine"},
                            {"Reports/Day.rpt", "day"}});
    ReplaceProgramFiles(run);
    EXPECT_FALSE(state.RunFailed);
    for (const auto& file : GetParam().placed) {
        EXPECT_TRUE(files::fileExists(root() + "/../" + file)) << file;
    }
    for (const auto& file : GetParam().skipped) {
        EXPECT_FALSE(files::fileExists(root() + "/../" + file)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SetupTypes, FirstPassPlacement,
    ::testing::Values(
        PlacementRow{"Regular",
                     0,
                     {"product/Till.exe", "product/PR426000.exe", "product/AppDets.ini",
                      "product/Ini/Menu.ini", "product/Reports/Day.rpt",
                      "root/drive_c/WINDOWS/crystal/r.dll"},
                     {"product/POS9005.SY", "product/SCRIPT/s.sql", "product/crystal/r.dll"}},
        PlacementRow{"SetupTypeFour",
                     4,
                     {"product/Till.exe", "product/Ini/Menu.ini"},
                     {"product/PR426000.exe", "product/AppDets.ini", "product/POS9005.SY",
                      "product/SCRIPT/s.sql", "product/Reports/Day.rpt",
                      "root/drive_c/WINDOWS/crystal/r.dll"}}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
