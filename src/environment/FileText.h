#pragma once

#include <string>

namespace pelvar {

struct AppState;

// Appends text and CR LF to the file at `path`, then gives the message loop a turn.
void AppendLineToFile(AppState& state, const std::string& text, const std::string& path);

// Creates or empties AppFolder/<name> and writes text and CR LF.
void WriteFileText(AppState& state, const std::string& text, const std::string& name);

} // namespace pelvar
