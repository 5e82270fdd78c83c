#pragma once

#include <string>

namespace pelvar {

// A seam for the interruption tests: when LIVEUPDATE_TEST_CRASH_AT equals `name`, the process
// ends at once with SIGKILL, as kill -9 or a power cut would end it at that moment. Points are
// named after what was just done: a progress record ("Step8: Started"), "copied:" + the path
// a file was installed at, "sql:" + a statement that passed, "system-file:" + a key.
void crashPoint(const std::string& name);

} // namespace pelvar
