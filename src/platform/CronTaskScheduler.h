#pragma once

#include "platform/TaskScheduler.h"

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

  private:
    std::string folder_;
};

// The cron.d text of a task (one comment block and one schedule line).
std::string cronEntry(const ScheduledTask& task);

} // namespace pelvar
