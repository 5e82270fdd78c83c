#include "PatchFixture.h"
#include "patcher/PatchFiles.h"
#include "patcher/ResumeTable.h"
#include "patcher/RunHygiene.h"
#include "patcher/StatementJournal.h"
#include "patcher/WizardProgress.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

struct ResumeRow {
    const char* name;
    const char* lastLine;
    ResumeStep expected;
};

class ResumeFromProgressFile : public ::testing::TestWithParam<ResumeRow> {};

TEST_P(ResumeFromProgressFile, StartsWithTheStepTheTableNames) {
    EXPECT_EQ(resumeStepFor(GetParam().lastLine), GetParam().expected);
}

using enum ResumeStep;
INSTANTIATE_TEST_SUITE_P(
    EveryRow, ResumeFromProgressFile,
    ::testing::Values(ResumeRow{"Step1Started", "Step1: Started", None},
                      ResumeRow{"Step1Over", "Step1: Over", None},
                      ResumeRow{"Step2Started", "Step2: Started", None},
                      ResumeRow{"Step2Over", "Step2: Over", Backup},
                      ResumeRow{"Step3Started", "Step3: Started", Backup},
                      ResumeRow{"Step3Over", "Step3: Over", SecurityScripts},
                      ResumeRow{"Step4Started", "Step4: Started", SecurityScripts},
                      ResumeRow{"Step4Over", "Step4: Over", SecurityScripts},
                      ResumeRow{"Step5Started", "Step5: Started", SecurityScripts},
                      ResumeRow{"Step5Over", "Step5: Over", ApplicationScripts},
                      ResumeRow{"Step6Started", "Step6: Started", ApplicationScripts},
                      ResumeRow{"Step6Over", "Step6: Over", Unregister},
                      ResumeRow{"Step7Started", "Step7: Started", Unregister},
                      ResumeRow{"Step7Over", "Step7: Over", CopyFiles},
                      ResumeRow{"Step8Started", "Step8: Started", CopyFiles},
                      ResumeRow{"Step8Over", "Step8: Over", Register},
                      ResumeRow{"Step9Started", "Step9: Started", Register},
                      ResumeRow{"Step9Over", "Step9: Over", None},
                      ResumeRow{"StateIsTrimmed", "Step8:   Started  ", CopyFiles},
                      ResumeRow{"AnyOtherStateGoesOn", "Step7: Stopped", CopyFiles},
                      ResumeRow{"MarkerIsCaseSensitive", "step7: Over", None},
                      ResumeRow{"GlFileRecord", "strGlFile:POS.GL", Backup},
                      ResumeRow{"SyGlFlag", "bolSYGLPresent:True", Backup},
                      ResumeRow{"DbaFileRecord", "strDBAFile:app.DBA", Unregister},
                      ResumeRow{"Garbage", "garbage", None}),
    [](const auto& row) { return std::string(row.param.name); });

// Resumed inside step 6 at company "1:b.db" after 2 statements: the company before it and those
// 2 statements are passed over, the rest runs and is recorded; another step passes nothing over;
// a company list without that company runs everything again.
TEST(StatementJournal, PassesOverExactlyWhatTheInterruptedRunRan) {
    const auto ranBefore = [](StatementJournal& journal, int count) {
        std::string pattern;
        for (int i = 0; i < count; ++i) {
            pattern += journal.ranBefore() ? 'x' : '.';
        }
        return pattern;
    };
    StatementJournal journal;
    journal.resumeFrom("Step6Statements:2:1:b.db");
    journal.beginStep(5, {"security"});
    journal.enterUnit("security");
    EXPECT_EQ(ranBefore(journal, 2), "..");

    journal.resumeFrom("Step6Statements:2:1:b.db");
    ASSERT_TRUE(journal.beginStep(6, {"0:a.db", "1:b.db", "2:c.db"}));
    journal.enterUnit("0:a.db");
    EXPECT_EQ(ranBefore(journal, 3), "xxx");
    journal.enterUnit("1:b.db");
    EXPECT_EQ(ranBefore(journal, 4), "xx..");
    EXPECT_EQ(journal.record(), "Step6Statements:4:1:b.db");
    journal.enterUnit("2:c.db");
    EXPECT_EQ(ranBefore(journal, 2), "..");

    journal.resumeFrom("Step6Statements:2:1:b.db");
    EXPECT_FALSE(journal.beginStep(6, {"0:a.db", "1:c.db"}));
    journal.enterUnit("0:a.db");
    EXPECT_EQ(ranBefore(journal, 2), "..");
}

// A record that names no step to continue applies nothing, and says so by failing the run.
TEST_F(PatchTest, ARecordNamingNoStepAppliesNothing) {
    writeFile(progressFile(), "Step3: Over\r\ngarbage\r\n");
    state.UpdateEntries = {"POS_9_0_1_05.ZIP:9.0.1"};
    unpacked("POS_9_0_1_05", {{"readme.txt", "new"}, {"PackingList.ini", ""}});
    RunPatchSteps(run);
    EXPECT_TRUE(state.RunFailed);
    EXPECT_EQ(lines(progressFile()).size(), 2U);
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
    // Nothing was copied, so the verification finds no updates.
    EXPECT_TRUE(shown("There are no Updates present to verify."));
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
    EXPECT_EQ(lines(progressFile()).size(), 2U);
}

// A killed run's scratch files (one may hold a password) go before the next run; the
// product's own files stay.
TEST_F(PatchTest, TheScratchFilesOfAKilledRunAreRemoved) {
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& path : {inProduct("Till.exe.lutmp.Ab12Cd"), inProduct("Till.exe")}) {
        writeFile(path, "x");
        std::filesystem::last_write_time(path, old);
    }
    RemoveLeftovers(run);
    EXPECT_EQ(patchfiles::filesIn(product()), Texts{"Till.exe"});
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
