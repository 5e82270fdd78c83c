#pragma once

#include <string>
#include <vector>

namespace pelvar::test {

// What a run of the built `liveupdate` left behind.
struct CliRun {
    int exitCode = -1; // -1: it did not start, crashed or ran over its time
    std::string out;
    std::string err;
};

// Runs the built command line as its own process with `input` on its standard input and
// waits (at most 20 s) for it to end.
CliRun runLiveupdate(const std::vector<std::string>& args, const std::string& input = {});

} // namespace pelvar::test
