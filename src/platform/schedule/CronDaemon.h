#pragma once

#include <string>

namespace pelvar {

// Whether a process of a cron daemon (cron, crond, cronie, fcron, busybox crond …) is running,
// looked up by process name under `procFolder`. Without one, cron.d entries never run.
bool cronDaemonRunning(const std::string& procFolder = "/proc");

} // namespace pelvar
