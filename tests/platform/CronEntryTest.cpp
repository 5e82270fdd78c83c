#include "platform/schedule/CronTaskScheduler.h"

#include <gtest/gtest.h>

using pelvar::ScheduledTask;

namespace {

struct ProgramCase {
    const char* name;
    std::string program;
    std::vector<std::pair<std::string, std::string>> environment;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.name;
}

class CronEntryProgram : public testing::TestWithParam<ProgramCase> {};

// What `schedule show` checks must be the program the entry really starts, whatever the
// folder names hold.
TEST_P(CronEntryProgram, ReadsBackTheProgramItWrote) {
    ScheduledTask task;
    task.name = "POSLiveUpdate";
    task.application = GetParam().program;
    task.parameters = "Scheduled,POS";
    task.workingDirectory = "/srv/it's here";
    task.environment = GetParam().environment;
    task.account = "root";
    task.begin = {2025, 6, 7, 6, 15, 0};
    EXPECT_EQ(pelvar::cronEntryProgram(pelvar::cronEntry(task)), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(Paths, CronEntryProgram,
                         testing::Values(ProgramCase{"Plain", "/opt/pelvar/bin/PelvarLU", {}},
                                         ProgramCase{"WithEnvironment",
                                                     "/opt/pelvar/bin/PelvarLU",
                                                     {{"PELVAR_ROOT", "/"},
                                                      {"PELVAR_APP_FOLDER", "/srv/a b"}}},
                                         ProgramCase{"QuoteBlankPercent",
                                                     "/opt/it's 100% here/PelvarLU",
                                                     {{"PELVAR_ROOT", "/tmp/50%'x"}}}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CronEntryProgram, NothingForAnEntryWithoutOne) {
    EXPECT_FALSE(pelvar::cronEntryProgram("# a comment\n15 6 * * * root /usr/bin/true\n"));
    EXPECT_FALSE(pelvar::cronEntryProgram("15 6 * * * root cd /x && exec 'unclosed\n"));
}

} // namespace
