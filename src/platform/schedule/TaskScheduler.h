#pragma once

#include "platform/text/DateText.h"

#include <string>
#include <utility>
#include <vector>

namespace pelvar {

// One scheduled start of a program, with the properties the schedule window sets.
struct ScheduledTask {
    enum class Trigger { Once, Daily, Weekly, Monthly };

    // Flags as the scheduler names them: shown to the user, and only while logged on.
    static constexpr int FlagInteractive = 0x1;
    static constexpr int FlagRunOnlyIfLoggedOn = 0x2000;

    std::string name;
    std::string application;
    std::string parameters;
    // Variables set for the program (the sandbox root and the component's folder of the run
    // that created the task, so that the unattended run works on the same installation).
    std::vector<std::pair<std::string, std::string>> environment;
    std::string workingDirectory;
    std::string comment;
    int flags = 0;
    std::string account;
    std::string password;          // empty: no password
    datetext::LocalDateTime begin; // date and time of the first run
    Trigger trigger = Trigger::Daily;
    int weekdays = 0;   // weekly: weekday flags, Sunday 1 .. Saturday 64
    int monthDay = 1;   // monthly: the day of the month
    int months = 0xFFF; // monthly: January 1 .. December 0x800
};

// The machine's task scheduler.
class TaskScheduler {
  public:
    virtual ~TaskScheduler() = default;
    // Names of the tasks the scheduler holds now.
    virtual std::vector<std::string> taskNames() = 0;
    // Creates or replaces the task of that name; error 0x80041310 when its account is not a
    // user of the system, another numbered error when it cannot be stored.
    virtual void saveTask(const ScheduledTask& task) = 0;
    // Removes the task of that name (compared ignoring case); raises when it cannot.
    virtual void deleteTask(const std::string& name) = 0;
};

} // namespace pelvar
