// Renders the downloader window to a PNG, idle or in the middle of a download, with the
// registry and folders of PELVAR_ROOT / PELVAR_APP_FOLDER.
#include "environment/ConsoleComponent.h"
#include "platform/Host.h"
#include "platform/SandboxPaths.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--downloading")) {
        std::fputs("usage: pelvar-screenshot FILE.png [--downloading]\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    pelvar::ConsoleComponent component(pelvar::SandboxPaths::fromEnvironment(), false);
    pelvar::AppState& state = component.state();

    pelvar::frmMain window(state);
    window.Form_Load();
    if (argc == 3) {
        // What the engine shows while it fetches an archive.
        window.setButtonsEnabled(false);
        window.setProgress(46);
        window.setFileSize("Downloaded 1204KB");
        window.setStatus("Please wait! Downloading file POS_9_1_3.ZIP from "
                         "http://updates.example.com/pelvar9");
    }
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "pelvar-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
