#pragma once

#include <CLI/CLI.hpp>

namespace pelvar::cli {

// "scramble": scrambles (or unscrambles) standard input line by line, keeping line ends.
void addScrambleCommand(CLI::App& app);

// The filter itself, on any pair of streams.
void scrambleStream(std::istream& in, std::ostream& out);

} // namespace pelvar::cli
