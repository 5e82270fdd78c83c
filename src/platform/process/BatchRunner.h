#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace pelvar {

class RegistryStore;

// Runs the batch files this system writes (Unreg_3.bat, Reg_3.bat) and single REGSVR32 command
// lines. Understood lines: "@echo off", "Echo <text>", empty lines, "REGSVR32 <path> /S",
// "REGSVR32 <path> /U /S", "<path> /REGSERVER" and "<path> /UNREGSERVER" (an absolute path, may
// be quoted; "\" reads as "/"). A registration is recorded in the registry stand-in and an
// un-registration removes it. Nothing else is ever executed: a line of another shape or a
// missing component file is reported on `err` and the rest still runs.
namespace batch {

struct Command {
    enum Kind { Nothing, Echo, Register, Unregister } kind;
    std::string argument; // the text echoed, or the component's path
};

// What a line asks for; nothing when it is not one of the shapes above.
std::optional<Command> parseLine(const std::string& line);

// Runs one line; false when it failed.
bool runLine(const std::string& line, RegistryStore& registry, std::ostream& out,
             std::ostream& err);

// Runs every line of the file; the number of lines that failed (1 when the file is unreadable).
int runFile(const std::string& path, RegistryStore& registry, std::ostream& out, std::ostream& err);

} // namespace batch
} // namespace pelvar
