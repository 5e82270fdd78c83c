#include "settings/ScheduleSettings.h"

#include "environment/AppState.h"
#include "environment/FileText.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Prompter.h"
#include "platform/schedule/TaskScheduler.h"
#include "platform/text/Text.h"

#include <array>
#include <filesystem>

namespace pelvar {

std::string scheduleFileName(Edition edition) {
    return std::string(editionCode(edition)) + "Schedule.ini";
}

std::string scheduleTaskName(Edition edition) {
    return std::string(editionCode(edition)) + "LiveUpdate";
}

ScheduleValues ReadScheduleFile(AppState& state, const std::string& fileName) {
    ScheduleValues values;
    const std::string path = files::join(state.AppFolder, fileName);
    if (!files::fileExists(path)) {
        return values;
    }
    const std::array<std::string*, 4> fields = {&values.product, &values.startDate,
                                                &values.startTime, &values.frequency};
    const auto lines = files::readLines(path);
    for (std::size_t i = 0; i < fields.size() && i < lines.size(); ++i) {
        *fields[i] = text::splitKeyValue(lines[i]).value;
    }
    return values;
}

void WriteScheduleFile(AppState& state, const std::string& fileName, const ScheduleValues& v) {
    WriteFileText(state, "Product=" + v.product, fileName);
    const std::string path = files::join(state.AppFolder, fileName);
    AppendLineToFile(state, "Start Date=" + v.startDate, path);
    AppendLineToFile(state, "Start Time=" + v.startTime, path);
    AppendLineToFile(state, "Frequency=" + v.frequency, path);
}

ScheduleValues scheduleValuesOf(const ScheduleEntry& entry) {
    return {entry.productLabel, datetext::shortDate(entry.startDate),
            datetext::longTime(entry.startTime), entry.frequency};
}

int StartDayFlag(const datetext::LocalDateTime& date) {
    return 1 << datetext::weekday(date);
}

void DeleteTask(TaskScheduler& scheduler, const std::string& taskName) {
    try {
        for (const auto& name : scheduler.taskNames()) {
            if (text::equalsIgnoringCase(text::trim(name), taskName)) {
                scheduler.deleteTask(taskName);
                return;
            }
        }
    } catch (const RunTimeError&) {
        // A task that cannot be removed stays as it is.
    }
}

namespace {

bool isListed(TaskScheduler& scheduler, const std::string& taskName) {
    for (const auto& name : scheduler.taskNames()) {
        if (text::upper(text::trim(name)) == text::upper(taskName)) {
            return true;
        }
    }
    return false;
}

ScheduledTask taskOf(const AppState& state, const ScheduleEntry& entry, Edition edition) {
    ScheduledTask task;
    task.name = scheduleTaskName(edition);
    // The launcher installed beside the running programs: the component's folder may be
    // another (PELVAR_APP_FOLDER) that holds only settings. The unattended run is given the
    // same sandbox root and component folder as this one, as absolute paths, since cron starts
    // it elsewhere.
    const auto absolute = [](const std::string& path) {
        std::error_code ec;
        const auto full = std::filesystem::absolute(path, ec);
        return ec ? path : full.lexically_normal().string();
    };
    const std::string appFolder = absolute(state.AppFolder);
    task.application = files::join(executableFolder(), "PelvarLU");
    task.parameters = std::string("Scheduled,") + editionCode(edition);
    task.workingDirectory = appFolder;
    task.environment = {{"PELVAR_ROOT", absolute(state.services.paths.root)},
                        {"PELVAR_APP_FOLDER", appFolder}};
    task.comment = "This Program will launch the download for";
    task.flags = ScheduledTask::FlagInteractive | ScheduledTask::FlagRunOnlyIfLoggedOn;
    task.account = entry.account;
    task.password = entry.password;
    task.begin = entry.startDate;
    task.begin.hour = entry.startTime.hour;
    task.begin.minute = entry.startTime.minute;
    task.begin.second = entry.startTime.second;
    if (entry.frequency == "Once") {
        task.trigger = ScheduledTask::Trigger::Once;
    } else if (entry.frequency == "Weekly") {
        task.trigger = ScheduledTask::Trigger::Weekly;
        task.weekdays = StartDayFlag(entry.startDate);
    } else if (entry.frequency == "Monthly") {
        task.trigger = ScheduledTask::Trigger::Monthly;
        task.monthDay = 1;
        task.months = 0xFFF;
    } else {
        task.trigger = ScheduledTask::Trigger::Daily;
    }
    return task;
}

} // namespace

ScheduleSaved SaveSchedule(AppState& state, TaskScheduler& scheduler, const ScheduleEntry& entry,
                           const ScheduleValues& opened) {
    if (!entry.edition) {
        return ScheduleSaved::NoEdition;
    }
    const std::string fileName = scheduleFileName(*entry.edition);
    const std::string taskName = scheduleTaskName(*entry.edition);
    const ScheduleValues now = scheduleValuesOf(entry);
    WriteScheduleFile(state, fileName, now);
    if (now.startDate != opened.startDate || now.startTime != opened.startTime ||
        now.frequency != opened.frequency) {
        DeleteTask(scheduler, taskName);
    }
    Prompter& prompter = state.services.prompter;
    try {
        if (isListed(scheduler, taskName)) {
            return ScheduleSaved::Kept;
        }
        if (entry.account.empty()) {
            prompter.show("Please Enter Your Windows Login ID", box::Ok, "Pelvar 9 LiveUpdate");
            return ScheduleSaved::AccountMissing;
        }
        scheduler.saveTask(taskOf(state, entry, *entry.edition));
        return ScheduleSaved::Created;
    } catch (const RunTimeError& e) {
        prompter.show(e.number() == err::AccountNotFound
                          ? "Task Created. But the Specified Account is invalid"
                          : "Error in Creating the Specified Task",
                      box::Ok, {});
        return ScheduleSaved::Failed;
    }
}

bool TurnOffSchedule(AppState& state, TaskScheduler& scheduler, std::optional<Edition> edition) {
    const int answer = state.services.prompter.show(
        "Are you sure to turn-off the automatic download of LiveUpdate", box::YesNo + box::Question,
        "Pelvar 9 LiveUpdate");
    if (answer != box::AnswerYes) {
        return false;
    }
    if (edition) {
        DeleteTask(scheduler, scheduleTaskName(*edition));
    }
    return true;
}

} // namespace pelvar
