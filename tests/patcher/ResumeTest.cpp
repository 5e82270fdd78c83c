#include "PatchFixture.h"
#include "patcher/ResumeTable.h"
#include "patcher/StepDriver.h"
#include "patcher/WizardProgress.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// Which handler a resumed run starts with, seen from the first progress record it appends;
// step 9 appends none, so its log line tells ("Step9"); "" when no step ran.
struct ResumeRow {
    const char* name;
    const char* lastLine;
    std::string firstRecord;
};

class ResumeFromProgressFile : public ::testing::TestWithParam<ResumeRow>, public PatchFixture {};

TEST_P(ResumeFromProgressFile, StartsWithTheStepTheTableNames) {
    writeFile(progressFile(), std::string("Step3: Over\r\n") + GetParam().lastLine + "\r\n");
    state.UpdateEntries = {"POS_9_0_1_05.ZIP:9.0.1"};
    RunPatchSteps(run);

    const auto after = progressLines();
    ASSERT_GE(after.size(), 2U);
    std::string first = after.size() > 2 ? after[2] : "";
    if (first.empty() && logHas("Started registering components.")) {
        first = "Step9";
    }
    EXPECT_EQ(first, GetParam().firstRecord);
    EXPECT_EQ(run.PatchVersion, "9.0.1.05");
    EXPECT_FALSE(state.RunFailed);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, ResumeFromProgressFile,
    ::testing::Values(ResumeRow{"Step1Started", "Step1: Started", ""},
                      ResumeRow{"Step1Over", "Step1: Over", ""},
                      ResumeRow{"Step2Started", "Step2: Started", ""},
                      ResumeRow{"Step2Over", "Step2: Over", "Step3: Started"},
                      ResumeRow{"Step3Started", "Step3: Started", "Step3: Started"},
                      ResumeRow{"Step3Over", "Step3: Over", ""},
                      ResumeRow{"Step4Started", "Step4: Started", ""},
                      ResumeRow{"Step4Over", "Step4: Over", "Step5: Over"},
                      ResumeRow{"Step5Started", "Step5: Started", "Step5: Over"},
                      ResumeRow{"Step5Over", "Step5: Over", "Step6: Over"},
                      ResumeRow{"Step6Started", "Step6: Started", "Step6: Over"},
                      ResumeRow{"Step6Over", "Step6: Over", "Step7: Over"},
                      ResumeRow{"Step7Started", "Step7: Started", "Step7: Over"},
                      ResumeRow{"Step7Over", "Step7: Over", "Step8: Over"},
                      ResumeRow{"Step8Started", "Step8: Started", "Step8: Over"},
                      ResumeRow{"Step8Over", "Step8: Over", "Step9"},
                      ResumeRow{"Step9Started", "Step9: Started", "Step9"},
                      ResumeRow{"Step9Over", "Step9: Over", ""},
                      ResumeRow{"StateIsTrimmed", "Step8:   Started  ", "Step8: Over"},
                      ResumeRow{"AnyOtherStateGoesOn", "Step7: Stopped", "Step8: Over"},
                      ResumeRow{"MarkerIsCaseSensitive", "step7: Over", ""},
                      ResumeRow{"GlFileRecord", "strGlFile:POS.GL", ""},
                      ResumeRow{"SyGlFlag", "bolSYGLPresent:True", ""}),
    [](const auto& row) { return std::string(row.param.name); });

// A step run alone leaves the next one alone: step 7 marks step 8 started and copies nothing.
TEST_F(PatchTest, OneStepRunsAlone) {
    unpacked("POS_9_0_1_05",
             {{"Till.exe", "new"},
              {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "N")}});
    EXPECT_EQ(runSingleStep(run, ResumeStep::Unregister), StepResult::Continue);
    EXPECT_EQ(progressLines(), (std::vector<std::string>{"Step7: Over", "Step8: Started"}));
    EXPECT_FALSE(files::fileExists(inProduct("Till.exe")));
    runStepsFrom(run, ResumeStep::CopyFiles);
    EXPECT_EQ(readFile(inProduct("Till.exe")), "new");
}

TEST_F(PatchTest, DecliningTheResumeDeletesTheProgressFileAndVerifiesAgain) {
    writeFile(progressFile(), "Step7: Started\r\n");
    prompter.answers = {box::AnswerNo};
    VerifyOrResume(run);
    ASSERT_FALSE(prompter.boxes.empty());
    EXPECT_EQ(prompter.boxes[0].text,
              "Pelvar LiveUpdate were terminated abnormally during applying updates.\nClick Yes "
              "to Continue from last Position.\nClick No to Start from Beginning (Verifying "
              "Updates).");
    EXPECT_EQ(prompter.boxes[0].buttons, box::YesNo + box::Information);
    EXPECT_FALSE(files::fileExists(progressFile()));
    EXPECT_TRUE(logHas("Verifying Files..."));
    // Nothing was copied, so the verification finds no updates.
    EXPECT_TRUE(shown("There are no Updates present to verify."));
    EXPECT_TRUE(logHas("There are no Updates present to verify"));
    EXPECT_FALSE(logHas("Final Task were terminated, continuing..."));
    EXPECT_EQ(host.terminations, 0);
}

TEST_F(PatchTest, AcceptingTheResumeContinuesAfterTheLastRecord) {
    writeFile(progressFile(), "Step7: Over\r\n");
    prompter.answers = {box::AnswerYes};
    VerifyOrResume(run);
    EXPECT_TRUE(logHas("Final Task were terminated, continuing..."));
    EXPECT_FALSE(logHas("Verifying Files..."));
    EXPECT_EQ(progressLines().at(1), "Step8: Over");
}

TEST_F(PatchTest, TheCurrentVersionIsTheFirstSuchLineOfTheFile) {
    writeFile(inProduct("POSDownloadSettings.config"),
              "Download path=x\r\nCurrent Version=9.0.1.05\r\nCurrent Version=1\r\n");
    EXPECT_EQ(ReadCurrentVersion(run, "POSDownloadSettings.config"), "9.0.1.05");
    EXPECT_EQ(ReadCurrentVersion(run, "Missing.config"), "");
}

TEST(WizardProgress, TheBusyIndicatorStartsAgainAbove96) {
    Sandbox box;
    RecordingWizard wizard;
    box.state.wizard = &wizard;
    for (const auto& [start, step, expected] :
         std::vector<std::tuple<float, int, float>>{{97, 4, 4}, {96, 4, 100}, {0, 2, 2}}) {
        wizard.value = start;
        NudgeProgress(box.state, step);
        EXPECT_EQ(wizard.value, expected) << start << " + " << step;
    }
}

} // namespace
