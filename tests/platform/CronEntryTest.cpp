#include "TempDir.h"
#include "platform/schedule/CronDaemon.h"
#include "platform/schedule/CronTaskScheduler.h"

#include <filesystem>
#include <gtest/gtest.h>

using pelvar::ScheduledTask;

namespace {

// What `schedule show` checks must be the program the entry really starts, whatever the
// folder names hold: with no environment, and with a quote, a blank and a percent sign.
TEST(CronEntryProgram, ReadsBackTheProgramItWrote) {
    ScheduledTask task;
    task.name = "POSLiveUpdate";
    task.parameters = "Scheduled,POS";
    task.workingDirectory = "/srv/it's here";
    task.account = "root";
    task.begin = {2025, 6, 7, 6, 15, 0};
    task.application = "/opt/pelvar/bin/PelvarLU";
    EXPECT_EQ(pelvar::cronEntryProgram(pelvar::cronEntry(task)), task.application);
    task.application = "/opt/it's 100% here/PelvarLU";
    task.environment = {{"PELVAR_ROOT", "/tmp/50%'x"}, {"PELVAR_APP_FOLDER", "/srv/a b"}};
    EXPECT_EQ(pelvar::cronEntryProgram(pelvar::cronEntry(task)), task.application);
}

// Month flags count from January: 1 and 4 are January and March.
TEST(CronEntry, MonthlyTaskNamesItsMonthsFromJanuary) {
    ScheduledTask task;
    task.application = "/bin/true";
    task.trigger = ScheduledTask::Trigger::Monthly;
    task.monthDay = 15;
    task.months = 1 | 4;
    task.begin = {2025, 6, 7, 6, 15, 0};
    EXPECT_TRUE(pelvar::cronEntry(task).find(" 15 1,3 * ") != std::string::npos)
        << pelvar::cronEntry(task);
}

TEST(CronEntryProgram, NothingForAnEntryWithoutOne) {
    EXPECT_FALSE(pelvar::cronEntryProgram("# a comment\n15 6 * * * root /usr/bin/true\n"));
    EXPECT_FALSE(pelvar::cronEntryProgram("15 6 * * * root cd /x && exec 'unclosed\n"));
}

// `schedule show` warns when nothing would run the entry: a process table with a shell and a
// cron-like name is not one with a daemon; cron, or busybox running its crond applet, is.
TEST(CronDaemon, FoundByProcessName) {
    pelvar::test::TempDir proc;
    pelvar::test::writeFile(proc / "self/comm", "cron\n"); // not a process id
    pelvar::test::writeFile(proc / "7/comm", "bash\n");
    pelvar::test::writeFile(proc / "8/comm", "cronolog\n");
    pelvar::test::writeFile(proc / "9/comm", "busybox\n");
    pelvar::test::writeFile(proc / "9/cmdline", std::string("busybox\0sh\0", 11));
    EXPECT_FALSE(pelvar::cronDaemonRunning(proc.path()));
    pelvar::test::writeFile(proc / "9/cmdline", std::string("busybox\0crond\0-f\0", 18));
    EXPECT_TRUE(pelvar::cronDaemonRunning(proc.path()));
    std::filesystem::remove_all(proc / "9");
    pelvar::test::writeFile(proc / "12/comm", "cron\n");
    EXPECT_TRUE(pelvar::cronDaemonRunning(proc.path()));
}

} // namespace
