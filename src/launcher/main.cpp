#include "download/UnattendedDownload.h"
#include "entry/clsVAMenu.h"
#include "environment/ConsoleComponent.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr const char* Usage = "usage: PelvarLU [Scheduled,POS | Scheduled,HO]\n"
                              "  no argument: open the LiveUpdate downloader window\n"
                              "  Scheduled,<edition>: download the edition's patches unattended\n";

int openWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    pelvar::clsVAMenu menu;
    try {
        menu.StartProcess();
    } catch (const pelvar::RunStopped&) {
    }
    return 0;
}

// The scheduler starts this without anyone watching: questions are answered No, and the
// run ends by itself.
int runScheduled(int argc, char** argv, pelvar::Edition edition) {
    QCoreApplication app(argc, argv);
    pelvar::ConsoleComponent component(pelvar::SandboxPaths::fromEnvironment(), false);
    pelvar::DownloadWalk walk(component.state());
    try {
        return pelvar::RunUnattendedDownload(walk, edition);
    } catch (const pelvar::RunStopped&) {
        return 0;
    } catch (const pelvar::RunTimeError& e) {
        std::fprintf(stderr, "PelvarLU: %s (%s)\n", e.description().c_str(),
                     e.numberText().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PelvarLU: %s\n", e.what());
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return openWindow(argc, argv);
    }
    const std::string argument = argv[1];
    const std::string prefix = "Scheduled,";
    if (argc == 2 &&
        pelvar::text::equalsIgnoringCase(pelvar::text::left(argument, prefix.size()), prefix)) {
        if (const auto edition = pelvar::editionFromTyped(argument.substr(prefix.size()))) {
            return runScheduled(argc, argv, *edition);
        }
    }
    std::fputs(Usage, stderr);
    return 2;
}
