#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace pelvar::cli {

// Adds the required --edition option; the text given (POS, HO, "Point of Sale" or
// "Head Office", in any case) is stored as the edition code "POS" or "HO".
inline CLI::Option* addEditionOption(CLI::App* command, std::string& editionCode) {
    return command
        ->add_option("--edition", editionCode, "POS, HO, \"Point of Sale\" or \"Head Office\"")
        ->required()
        ->transform(
            CLI::CheckedTransformer(
                {{"pos", "POS"}, {"point of sale", "POS"}, {"ho", "HO"}, {"head office", "HO"}},
                CLI::ignore_case)
                .description("EDITION"));
}

} // namespace pelvar::cli
