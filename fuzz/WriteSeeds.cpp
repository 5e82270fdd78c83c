// Writes a fuzz target's seed inputs into a folder: `<program> DIR`.
#include "FuzzSupport.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " DIR\n";
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    int n = 0;
    for (const auto& seed : fuzzSeeds()) {
        pelvar::fuzz::putFile(std::string(argv[1]) + "/seed-" + std::to_string(++n), seed);
    }
    std::cout << n << " seeds in " << argv[1] << '\n';
    return 0;
}
