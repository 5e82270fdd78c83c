#include "PatchFixture.h"
#include "patcher/ResumeTable.h"
#include "patcher/WizardProgress.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// Which handler a resumed run starts with, seen from what it leaves behind: the first
// progress record it appends, or for step 9 (which appends none) its log line.
enum class Seen { Nothing, Step3, Step5, Step6, Step7, Step8, Step9 };

struct ResumeRow {
    const char* name;
    const char* lastLine;
    Seen expected;
};

class ResumeFromProgressFile : public ::testing::TestWithParam<ResumeRow>, public PatchFixture {};

TEST_P(ResumeFromProgressFile, StartsWithTheStepTheTableNames) {
    const ResumeRow& row = GetParam();
    writeFile(progressFile(), std::string("Step3: Over\r\n") + row.lastLine + "\r\n");
    state.UpdateEntries = {"POS_9_0_1_05.ZIP:9.0.1"};
    unpacked("POS_9_0_1_05", {{"readme.txt", "new"}, {"PackingList.ini", ""}});
    RunPatchSteps(run);

    const auto after = progressLines();
    ASSERT_GE(after.size(), 2U);
    const std::string first = after.size() > 2 ? after[2] : "";
    Seen seen = Seen::Nothing;
    if (first == "Step3: Started") {
        seen = Seen::Step3;
    } else if (first == "Step5: Over") {
        seen = Seen::Step5;
    } else if (first == "Step6: Over") {
        seen = Seen::Step6;
    } else if (first == "Step7: Over") {
        seen = Seen::Step7;
    } else if (first == "Step8: Over") {
        seen = Seen::Step8;
    } else if (first.empty() && logHas("Started registering components.")) {
        seen = Seen::Step9;
    }
    EXPECT_EQ(seen, row.expected) << "first appended record: " << first;
    // A record that names no step to continue applies nothing, and says so.
    EXPECT_EQ(state.RunFailed, row.expected == Seen::Nothing);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, ResumeFromProgressFile,
    ::testing::Values(ResumeRow{"Step1Started", "Step1: Started", Seen::Nothing},
                      ResumeRow{"Step1Over", "Step1: Over", Seen::Nothing},
                      ResumeRow{"Step2Started", "Step2: Started", Seen::Nothing},
                      ResumeRow{"Step2Over", "Step2: Over", Seen::Step3},
                      ResumeRow{"Step3Started", "Step3: Started", Seen::Step3},
                      ResumeRow{"Step3Over", "Step3: Over", Seen::Step5},
                      ResumeRow{"Step4Started", "Step4: Started", Seen::Step5},
                      ResumeRow{"Step4Over", "Step4: Over", Seen::Step5},
                      ResumeRow{"Step5Started", "Step5: Started", Seen::Step5},
                      ResumeRow{"Step5Over", "Step5: Over", Seen::Step6},
                      ResumeRow{"Step6Started", "Step6: Started", Seen::Step6},
                      ResumeRow{"Step6Over", "Step6: Over", Seen::Step7},
                      ResumeRow{"Step7Started", "Step7: Started", Seen::Step7},
                      ResumeRow{"Step7Over", "Step7: Over", Seen::Step8},
                      ResumeRow{"Step8Started", "Step8: Started", Seen::Step8},
                      ResumeRow{"Step8Over", "Step8: Over", Seen::Step9},
                      ResumeRow{"Step9Started", "Step9: Started", Seen::Step9},
                      ResumeRow{"Step9Over", "Step9: Over", Seen::Nothing},
                      ResumeRow{"StateIsTrimmed", "Step8:   Started  ", Seen::Step8},
                      ResumeRow{"AnyOtherStateGoesOn", "Step7: Stopped", Seen::Step8},
                      ResumeRow{"MarkerIsCaseSensitive", "step7: Over", Seen::Nothing},
                      ResumeRow{"GlFileRecord", "strGlFile:POS.GL", Seen::Step3},
                      ResumeRow{"SyGlFlag", "bolSYGLPresent:True", Seen::Step3},
                      ResumeRow{"DbaFileRecord", "strDBAFile:app.DBA", Seen::Step7},
                      ResumeRow{"Garbage", "garbage", Seen::Nothing}),
    [](const auto& row) { return std::string(row.param.name); });

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
}

// The names of the "Patches:" record are outside text: one that leaves PatchTemp resumes nothing.
TEST_F(PatchTest, APatchRecordLeavingThePatchFolderResumesNothing) {
    writeFile(progressFile(), "Patches:../../outside\r\nStep7: Over\r\n");
    writeFile(dir / "outside/PackingList.ini", "");
    prompter.answers = {box::AnswerYes};
    VerifyOrResume(run);
    EXPECT_TRUE(state.RunFailed);
    EXPECT_TRUE(logHas("No update was applied: the progress record names \"../../outside\", "
                       "which is no patch folder."));
    EXPECT_EQ(progressLines().size(), 2U);
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
