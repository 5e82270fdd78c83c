#pragma once

#include "platform/schedule/TaskScheduler.h"

#include <optional>

namespace pelvar {

// Tasks as cron.d entries: one file per task, named as the task, in `folder`
// (SandboxPaths::schedulerFolder(), /etc/cron.d on a real machine).
class CronTaskScheduler : public TaskScheduler {
  public:
    explicit CronTaskScheduler(std::string folder) : folder_(std::move(folder)) {}

    std::vector<std::string> taskNames() override;
    void saveTask(const ScheduledTask& task) override;
    void deleteTask(const std::string& name) override;

    const std::string& folder() const { return folder_; }
    // The program the task of that name starts; nothing when there is no such task or its
    // entry names none (written by hand, or by something else).
    std::optional<std::string> programOf(const std::string& name);

  private:
    std::string folder_;
};

// The cron.d text of a task (one comment block and one schedule line).
std::string cronEntry(const ScheduledTask& task);
// The program an entry written by cronEntry starts ("exec [env 'NAME=value'...] 'program'").
std::optional<std::string> cronEntryProgram(const std::string& entry);

} // namespace pelvar
