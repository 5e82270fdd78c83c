#include "cli/ScrambleCommand.h"

#include "settings/ScrambleLine.h"

#include <iostream>

namespace pelvar::cli {

void scrambleStream(std::istream& in, std::ostream& out) {
    std::string line;
    while (std::getline(in, line)) {
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) {
            line.pop_back();
        }
        out << ScrambleLine(line);
        if (crlf) {
            out << '\r';
        }
        if (!in.eof()) {
            out << '\n';
        }
    }
    out.flush();
}

void addScrambleCommand(CLI::App& app) {
    auto* scramble = app.add_subcommand("scramble", "Scramble or unscramble standard input");
    scramble->footer("Scrambles standard input line by line, as location files and "
                     "update-information entries are; the same call unscrambles. Exit code 0.");
    scramble->callback([] { scrambleStream(std::cin, std::cout); });
}

} // namespace pelvar::cli
