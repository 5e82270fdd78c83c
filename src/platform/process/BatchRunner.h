#pragma once

#include <ostream>
#include <string>

namespace pelvar {

class RegistryStore;

// Runs the batch files this system writes (Unreg_3.bat, Reg_3.bat) and single REGSVR32 command
// lines. Understood lines: "@echo off", "Echo <text>", empty lines, "REGSVR32 <path> /S",
// "REGSVR32 <path> /U /S", "<path> /REGSERVER" and "<path> /UNREGSERVER" (the path may be
// quoted; "\" reads as "/"). A registration is recorded in the registry stand-in and an
// un-registration removes it. A missing component file or a line of another shape is reported
// on `err` and the rest still runs.
namespace batch {

// Runs one line; false when it failed.
bool runLine(const std::string& line, RegistryStore& registry, std::ostream& out,
             std::ostream& err);

// Runs every line of the file; the number of lines that failed (1 when the file is unreadable).
int runFile(const std::string& path, RegistryStore& registry, std::ostream& out, std::ostream& err);

// Waits (at most `seconds`) until the process `pid` has ended; false when it still runs.
bool waitForProcessEnd(long long pid, int seconds);

} // namespace batch
} // namespace pelvar
