// The fuzz targets as ordinary programs for the test suite, without libFuzzer: each seed,
// then a bounded number of cheap mutations of the seeds (bytes flipped, cut, duplicated,
// spliced), from a fixed random sequence so that a failure repeats. Any input given on the
// command line (a crash file from a fuzz run) is replayed first.
#include "FuzzSupport.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>

namespace {

void run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string mutate(std::string s, const std::vector<std::string>& seeds, std::mt19937& random) {
    auto pick = [&](std::size_t n) { return n == 0 ? std::size_t(0) : random() % n; };
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
        switch (random() % 6) {
        case 0:
            if (!s.empty()) {
                s[pick(s.size())] ^= char(1u << (random() % 8));
            }
            break;
        case 1:
            s.resize(pick(s.size() + 1));
            break;
        case 2: {
            const std::size_t at = pick(s.size() + 1);
            s.insert(at, s.substr(at, pick(64)));
            break;
        }
        case 3:
            s.insert(pick(s.size() + 1), 1, "\r\n=;,\"\\:[]%@*\0\xFF"[random() % 16]);
            break;
        case 4: {
            const std::string& other = seeds[pick(seeds.size())];
            s += other.substr(pick(other.size() + 1));
            break;
        }
        default:
            if (!s.empty()) {
                s.erase(pick(s.size()), pick(16));
            }
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        run(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    const auto seeds = fuzzSeeds();
    for (const auto& seed : seeds) {
        run(seed);
    }
    // A fixed number of mutations, whatever the machine's load: every run tests the same
    // inputs, and a slow run is only slower, never weaker.
    const char* rounds = std::getenv("PELVAR_FUZZ_ROUNDS");
    const long count = rounds ? std::atol(rounds) : 500;
    std::mt19937 random(20261205);
    long done = 0;
    for (; done < count && !seeds.empty(); ++done) {
        run(mutate(seeds[random() % seeds.size()], seeds, random));
    }
    std::cout << seeds.size() << " seeds and " << done << " mutations passed\n";
    return 0;
}
