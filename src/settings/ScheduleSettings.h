#pragma once

#include "environment/Edition.h"
#include "platform/text/DateText.h"

#include <optional>
#include <string>

namespace pelvar {

struct AppState;
class TaskScheduler;

// The schedule file's four values, by position. All empty when there is no file.
struct ScheduleValues {
    std::string product;
    std::string startDate; // short date text
    std::string startTime; // long time text
    std::string frequency; // "Once", "Daily", "Weekly" or "Monthly"
};

// What the schedule window holds when Ok is pressed.
struct ScheduleEntry {
    std::optional<Edition> edition;
    std::string productLabel; // lblProductName
    datetext::LocalDateTime startDate;
    datetext::LocalDateTime startTime;
    std::string frequency;
    std::string account;
    std::string password;
};

// "POSSchedule.ini"/"HOSchedule.ini" and "POSLiveUpdate"/"HOLiveUpdate".
std::string scheduleFileName(Edition edition);
std::string scheduleTaskName(Edition edition);

ScheduleValues ReadScheduleFile(AppState& state, const std::string& fileName);
void WriteScheduleFile(AppState& state, const std::string& fileName, const ScheduleValues& values);

// The values a schedule entry is written as.
ScheduleValues scheduleValuesOf(const ScheduleEntry& entry);

// Weekday flag of a date: Sunday 1, Monday 2, ... Saturday 64.
int StartDayFlag(const datetext::LocalDateTime& date);

// Removes the task when the scheduler lists it; errors are ignored.
void DeleteTask(TaskScheduler& scheduler, const std::string& taskName);

enum class ScheduleSaved {
    Kept,           // the task exists and its schedule did not change: left untouched
    Created,        // a new task replaces or adds the schedule
    AccountMissing, // no account typed (the schedule file is written all the same)
    Failed,         // the scheduler refused the task; its box was shown
    NoEdition       // no edition chosen: nothing done
};

// The schedule window's Ok: writes the schedule file, replaces the task when the date, time
// or frequency differ from `opened` (the file as read when the window opened), and creates
// the task when the scheduler has none of its name. Boxes are shown through the prompter.
ScheduleSaved SaveSchedule(AppState& state, TaskScheduler& scheduler, const ScheduleEntry& entry,
                           const ScheduleValues& opened);

// Asks whether to turn off the automatic download and removes the task on Yes; the schedule
// file stays. True when the user said Yes.
bool TurnOffSchedule(AppState& state, TaskScheduler& scheduler, std::optional<Edition> edition);

} // namespace pelvar
