#include "Sandbox.h"
#include "environment/AppState.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/schedule/CronTaskScheduler.h"
#include "settings/ScheduleSettings.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::readFile;
namespace fs = std::filesystem;

namespace {

datetext::LocalDateTime day(int y, int m, int d) {
    return {y, m, d, 0, 0, 0};
}

class ScheduleTest : public ::testing::Test {
  protected:
    ScheduleEntry entry(const std::string& frequency, const std::string& account = "root") const {
        ScheduleEntry e;
        e.edition = Edition::Pos;
        e.productLabel = "Point of Sale";
        e.startDate = day(2025, 6, 7); // a Saturday
        e.startTime = {1899, 12, 30, 14, 30, 0};
        e.frequency = frequency;
        e.account = account;
        return e;
    }

    ScheduleSaved save(const ScheduleEntry& e) {
        // As the window does: compare with the schedule file as it was when it opened.
        return SaveSchedule(box.state, scheduler, e,
                            ReadScheduleFile(box.state, "POSSchedule.ini"));
    }

    std::string taskFile() const { return box.paths.schedulerFolder() + "/POSLiveUpdate"; }
    std::string scheduleFile() const { return box.appFolder() + "/POSSchedule.ini"; }

    test::Sandbox box;
    CronTaskScheduler scheduler{box.paths.schedulerFolder()};
};

TEST(StartDayFlag, FollowsTheWeekFromSunday) {
    EXPECT_EQ(StartDayFlag(day(2025, 6, 8)), 1);  // Sunday
    EXPECT_EQ(StartDayFlag(day(2025, 6, 11)), 8); // Wednesday
    EXPECT_EQ(StartDayFlag(day(2025, 6, 7)), 64); // Saturday
}

struct TriggerCase {
    const char* frequency;
    const char* schedule; // minute hour day month weekday
    const char* dateTest;
};

class CronTrigger : public ScheduleTest, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(CronTrigger, RunsTheLauncherForTheEditionAsTheAccount) {
    const TriggerCase& c = GetParam();
    ASSERT_EQ(save(entry(c.frequency)), ScheduleSaved::Created);
    const std::string text = readFile(taskFile());
    const std::string app = box.appFolder();
    // The launcher is the one installed beside the running programs, not one in the
    // component's folder, and it gets this run's root and component folder.
    EXPECT_NE(text.find(std::string(c.schedule) + " root [ \"$(date +\\%Y\\%m\\%d)\" " +
                        c.dateTest + " 20250607 ] && who | grep -q '^root ' && cd '" + app +
                        "' && exec env 'PELVAR_ROOT=" + box.root() + "' 'PELVAR_APP_FOLDER=" + app +
                        "' '" + executableFolder() + "/PelvarLU' 'Scheduled,POS'\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(scheduler.programOf("poslIVEupdate"), executableFolder() + "/PelvarLU");
    EXPECT_EQ(fs::status(taskFile()).permissions() & fs::perms::others_write, fs::perms::none);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, CronTrigger,
                         ::testing::Values(TriggerCase{"Once", "30 14 7 6 *", "="},
                                           TriggerCase{"Daily", "30 14 * * *", "-ge"},
                                           TriggerCase{"Weekly", "30 14 * * 6", "-ge"},
                                           TriggerCase{"Monthly", "30 14 1 * *", "-ge"}),
                         [](const auto& row) { return std::string(row.param.frequency); });

TEST_F(ScheduleTest, TheSameScheduleLeavesTheTaskAloneAChangedOneReplacesIt) {
    ASSERT_EQ(save(entry("Daily")), ScheduleSaved::Created);
    // Backdate the entry: a rewrite would show as a new time.
    const auto backdated = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(taskFile(), backdated);
    const std::string text = readFile(taskFile());
    ASSERT_EQ(save(entry("Daily")), ScheduleSaved::Kept);
    EXPECT_EQ(fs::last_write_time(taskFile()), backdated);
    EXPECT_EQ(readFile(taskFile()), text);

    ASSERT_EQ(save(entry("Weekly")), ScheduleSaved::Created);
    EXPECT_NE(readFile(taskFile()).find("30 14 * * 6 root"), std::string::npos);
    EXPECT_EQ(scheduler.taskNames(), std::vector<std::string>{"POSLiveUpdate"});
    EXPECT_EQ(readFile(scheduleFile()), "Product=Point of Sale\r\nStart Date=6/7/2025\r\n"
                                        "Start Time=2:30:00 PM\r\nFrequency=Weekly\r\n");
}

TEST_F(ScheduleTest, AnAccountThatIsNoUserIsReportedAndNoTaskIsLeft) {
    ASSERT_EQ(save(entry("Daily")), ScheduleSaved::Created);
    EXPECT_EQ(save(entry("Monthly", "no-such-user-lu")), ScheduleSaved::Failed);
    EXPECT_EQ(box.prompter.texts(),
              std::vector<std::string>{"Task Created. But the Specified Account is invalid"});
    EXPECT_FALSE(files::fileExists(taskFile()));
    EXPECT_EQ(ReadScheduleFile(box.state, "POSSchedule.ini").frequency, "Monthly");
}

TEST_F(ScheduleTest, AnEmptyAccountIsAskedForAfterTheScheduleFileIsWritten) {
    EXPECT_EQ(save(entry("Once", "")), ScheduleSaved::AccountMissing);
    ASSERT_EQ(box.prompter.boxes.size(), 1U);
    EXPECT_EQ(box.prompter.boxes[0].text, "Please Enter Your Windows Login ID");
    EXPECT_EQ(box.prompter.boxes[0].title, "Pelvar 9 LiveUpdate");
    const ScheduleValues v = ReadScheduleFile(box.state, "POSSchedule.ini");
    EXPECT_EQ(v.product, "Point of Sale");
    EXPECT_EQ(v.startDate, "6/7/2025");
    EXPECT_EQ(v.startTime, "2:30:00 PM");
    EXPECT_EQ(v.frequency, "Once");
    EXPECT_FALSE(files::fileExists(taskFile()));
}

TEST_F(ScheduleTest, ASchedulerThatCannotStoreTheTaskIsReported) {
    test::writeFile(box.paths.schedulerFolder(), "not a folder");
    EXPECT_EQ(save(entry("Daily")), ScheduleSaved::Failed);
    EXPECT_EQ(box.prompter.texts(),
              std::vector<std::string>{"Error in Creating the Specified Task"});
}

TEST_F(ScheduleTest, TurningOffRemovesTheTaskOnYesOnly) {
    ASSERT_EQ(save(entry("Daily")), ScheduleSaved::Created);
    const std::string schedule = readFile(scheduleFile());
    box.prompter.answers = {box::AnswerNo, box::AnswerYes};

    EXPECT_FALSE(TurnOffSchedule(box.state, scheduler, Edition::Pos));
    EXPECT_TRUE(files::fileExists(taskFile()));
    EXPECT_TRUE(TurnOffSchedule(box.state, scheduler, Edition::Pos));
    EXPECT_FALSE(files::fileExists(taskFile()));
    EXPECT_EQ(readFile(scheduleFile()), schedule);
    EXPECT_EQ(box.prompter.boxes[0].text,
              "Are you sure to turn-off the automatic download of LiveUpdate");
    EXPECT_EQ(box.prompter.boxes[0].buttons, box::YesNo + box::Question);
}

} // namespace
