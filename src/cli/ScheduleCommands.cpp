#include "cli/ScheduleCommands.h"

#include "cli/CliContext.h"
#include "cli/EditionOption.h"
#include "platform/schedule/CronDaemon.h"
#include "platform/schedule/CronTaskScheduler.h"
#include "platform/text/Text.h"
#include "settings/ScheduleSettings.h"
#include "settings/SettingsFiles.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>

namespace pelvar::cli {
namespace {

struct ScheduleArguments {
    Edition edition = Edition::Pos;
    std::optional<std::string> date;
    std::optional<std::string> time;
    std::optional<std::string> frequency;
    std::string account;
    bool passwordFromInput = false;
    std::string passwordFile;
};

// The account's password never comes from the command line, where `ps` shows it: it is the
// first line of standard input or of a file.
std::optional<std::string> readPassword(const ScheduleArguments& a) {
    std::string line;
    if (!a.passwordFile.empty()) {
        std::ifstream in(a.passwordFile, std::ios::binary);
        if (!in || !std::getline(in, line)) {
            return std::nullopt;
        }
    } else if (a.passwordFromInput) {
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

bool isScheduled(CronTaskScheduler& scheduler, const std::string& taskName) {
    for (const auto& name : scheduler.taskNames()) {
        if (text::equalsIgnoringCase(name, taskName)) {
            return true;
        }
    }
    return false;
}

// What an admin must know to trust a saved task: when it runs, and whether anything runs it.
void explainTask(const std::string& schedulerFolder) {
    std::cout << "The task runs only while its account is logged on (flags 0x2001: interactive, "
                 "run only if logged on)\n"
                 "Saving the same date, time and frequency again leaves the task as it was, "
                 "with its account and password; change one of them, or turn the schedule off "
                 "first, to apply another account or password\n";
    // A sandbox's entries are read by no daemon anyway; the machine's are read by cron only.
    if (schedulerFolder == "/etc/cron.d" && !cronDaemonRunning()) {
        std::cout << "No cron daemon is running: the task will not run until one is started "
                     "(install cron and start it)\n";
    }
}

} // namespace

void addScheduleCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto a = std::make_shared<ScheduleArguments>();
    auto* schedule = app.add_subcommand("schedule", "The unattended download of an edition");
    schedule->require_subcommand(1);

    auto* show = schedule->add_subcommand("show", "Show the saved schedule and the task");
    addEditionOption(show, a->edition);
    show->callback([a, &options, &exitCode] {
        CliContext context(options);
        const ScheduleValues v = ReadScheduleFile(context.state(), scheduleFileName(a->edition));
        CronTaskScheduler scheduler(context.paths().schedulerFolder());
        const std::string task = scheduleTaskName(a->edition);
        const bool scheduled = isScheduled(scheduler, task);
        std::cout << "Product=" << v.product << "\nStart Date=" << v.startDate
                  << "\nStart Time=" << v.startTime << "\nFrequency=" << v.frequency << "\nTask "
                  << task << (scheduled ? " is scheduled in " : " is not in ") << scheduler.folder()
                  << '\n';
        if (!scheduled) {
            return;
        }
        // An entry that names no program, or one that is gone, would fail silently at its
        // time: say so, and let scripts see it.
        const auto program = scheduler.programOf(task);
        if (!program) {
            std::cout << "The task names no program this command understands\n";
            exitCode = 1;
        } else if (::access(program->c_str(), X_OK) != 0) {
            std::cout << "Program " << *program << " is missing (or not executable): the task "
                      << "cannot run\n";
            exitCode = 1;
        } else {
            std::cout << "Program " << *program << '\n';
        }
        explainTask(scheduler.folder());
    });

    auto* set = schedule->add_subcommand(
        "set", "Save the schedule and create or replace the task (unset values: as saved before, "
               "else today, now, Daily)");
    addEditionOption(set, a->edition);
    set->add_option("--date", a->date, "Starting date (M/D/YYYY or YYYY-MM-DD)");
    set->add_option("--time", a->time, "Starting time (h:mm[:ss] AM/PM or HH:MM[:SS])");
    set->add_option("--frequency", a->frequency, "Once, Daily, Weekly or Monthly")
        ->check(CLI::IsMember({"Once", "Daily", "Weekly", "Monthly"}));
    set->add_option("--account", a->account, "The user the download runs as");
    auto* fromInput = set->add_flag("--password", a->passwordFromInput,
                                    "Read that user's password from the first line of standard "
                                    "input (never from the command line)");
    set->add_option("--password-file", a->passwordFile,
                    "Read that user's password from the first line of FILE")
        ->excludes(fromInput);
    set->callback([a, &options, &exitCode] {
        CliContext context(options);
        AppState& state = context.state();
        state.edition = a->edition;
        const ScheduleValues opened = ReadScheduleFile(state, scheduleFileName(a->edition));

        // Unset values are what the window would show: the saved ones, else now and "Daily".
        const auto now = datetext::now();
        const std::string dateText = a->date.value_or(opened.startDate);
        const std::string timeText = a->time.value_or(opened.startTime);
        const auto date = dateText.empty() ? std::optional(now) : datetext::parse(dateText);
        const auto time = timeText.empty() ? std::optional(now) : datetext::parseTime(timeText);
        if (!date || !time) {
            std::cerr << "liveupdate: not a " << (date ? "time: " : "date: ")
                      << (date ? timeText : dateText) << '\n';
            exitCode = 2;
            return;
        }
        ScheduleEntry entry;
        entry.edition = a->edition;
        entry.productLabel = editionText(a->edition);
        entry.startDate = *date;
        entry.startTime = *time;
        entry.frequency =
            a->frequency.value_or(opened.frequency.empty() ? "Daily" : opened.frequency);
        entry.account = a->account;
        const auto password = readPassword(*a);
        if (!password) {
            std::cerr << "liveupdate: cannot read the password from " << a->passwordFile << '\n';
            exitCode = 1;
            return;
        }
        entry.password = *password;

        CronTaskScheduler scheduler(context.paths().schedulerFolder());
        const ScheduleSaved saved = SaveSchedule(state, scheduler, entry, opened);
        if (saved == ScheduleSaved::Kept) {
            std::cout << "Task " << scheduleTaskName(a->edition) << " left as it was\n";
            // Only a changed date, time or frequency replaces a task, as the schedule window
            // does: a new account or password alone is not applied.
            std::cerr << "liveupdate: the date, time and frequency are unchanged: the task keeps "
                         "its account and password (change one of them, or turn the schedule "
                         "off first, to apply another)\n";
        } else if (saved == ScheduleSaved::Created) {
            std::cout << "Task " << scheduleTaskName(a->edition) << " created in "
                      << scheduler.folder() << '\n';
            explainTask(scheduler.folder());
        }
        exitCode = saved == ScheduleSaved::Kept || saved == ScheduleSaved::Created ? 0 : 1;
    });

    auto* off = schedule->add_subcommand(
        "off", "Remove the task after asking (--yes answers); the saved schedule stays");
    addEditionOption(off, a->edition);
    off->callback([a, &options, &exitCode] {
        CliContext context(options);
        CronTaskScheduler scheduler(context.paths().schedulerFolder());
        exitCode = TurnOffSchedule(context.state(), scheduler, a->edition) ? 0 : 1;
    });
}

} // namespace pelvar::cli
