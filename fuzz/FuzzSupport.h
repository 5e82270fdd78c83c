#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// What every fuzz target provides: the function libFuzzer calls, and the seed inputs it
// starts from (built by the product's own writers, so they are valid files).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
std::vector<std::string> fuzzSeeds();

// A property every input must keep; a broken one ends the run as a crash libFuzzer keeps.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace pelvar::fuzz {

// A folder below the system's temp folder for the whole run, removed when the process ends.
const std::string& scratchFolder();

// Writes exactly these bytes (creating or truncating the file).
void putFile(const std::string& path, const std::string& bytes);

} // namespace pelvar::fuzz
