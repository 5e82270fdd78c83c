#pragma once

#include "environment/Edition.h"

#include <CLI/CLI.hpp>
#include <string>

namespace pelvar::cli {

// Adds the required --edition option; the text given (POS, HO, "Point of Sale" or
// "Head Office", in any case) becomes the edition.
inline CLI::Option* addEditionOption(CLI::App* command, Edition& edition) {
    return command
        ->add_option_function<std::string>(
            "--edition", [&edition](const std::string& code) { edition = *editionFromCode(code); },
            "POS, HO, \"Point of Sale\" or \"Head Office\"")
        ->required()
        ->transform(
            CLI::CheckedTransformer(
                {{"pos", "POS"}, {"point of sale", "POS"}, {"ho", "HO"}, {"head office", "HO"}},
                CLI::ignore_case)
                .description("EDITION"));
}

} // namespace pelvar::cli
