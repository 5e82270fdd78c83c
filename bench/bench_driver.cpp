// Runs one piece of the engine for bench/run.py:
//   liveupdate-bench http URL FILE [SIZE SHA256]   (with the signed entry: hashed as it streams)
//   liveupdate-bench ftp HOST PORT USER PASSWORD REMOTE FILE
//   liveupdate-bench verify FOLDER ARCHIVE_NAME
#include "download/ConsoleProgress.h"
#include "download/DownloadWalk.h"
#include "download/VerifyDownloadedPatches.h"
#include "environment/ConsoleComponent.h"
#include "platform/host/Host.h"
#include "platform/net/InternetClient.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>

using namespace pelvar;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "http" && (argc == 4 || argc == 6)) {
        ExpectedContent expected;
        if (argc == 6) {
            expected = {std::stoll(argv[4]), argv[5]};
        }
        return httpGetFile(argv[2], argv[3], "liveupdate-bench", {}, expected).ok ? 0 : 1;
    }
    if (mode == "ftp" && argc == 8) {
        FtpClient client;
        if (!client.login(argv[2], std::stoi(argv[3]), argv[4], argv[5], false).ok) {
            return 1;
        }
        return client.getFile(argv[6], argv[7]).ok ? 0 : 1;
    }
    if (mode == "verify" && argc == 4) {
        SandboxPaths paths;
        paths.root = argv[2];
        paths.appFolder = argv[2];
        ConsoleComponent component(paths, false);
        AppState& state = component.state();
        ConsoleProgress window(Edition::Ho, stderr);
        state.mainWindow = &window;
        state.DownloadFolder = argv[2];
        state.PatchFiles = text::splitText(argv[3], ":");
        ZipArchive zip;
        DownloadWalk walk(state);
        try {
            VerifyDownloadedPatches(walk, zip);
        } catch (const RunStopped&) {
            return 1; // a damaged archive
        }
        return 0;
    }
    std::fprintf(
        stderr, "usage: liveupdate-bench http URL FILE [SIZE SHA256] | ftp HOST PORT USER PASSWORD "
                "REMOTE FILE | verify FOLDER ARCHIVE_NAME\n");
    return 2;
}
