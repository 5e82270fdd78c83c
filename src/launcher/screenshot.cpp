// Renders a window to a PNG with the registry and folders of PELVAR_ROOT / PELVAR_APP_FOLDER:
// the downloader window, idle or in the middle of a download, or the update wizard.
#include "environment/ConsoleComponent.h"
#include "patcher/PatchRun.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Host.h"
#include "ui/main/frmMain.h"
#include "ui/wizard/frmLU.h"

#include <QApplication>
#include <QPixmap>
#include <QRadioButton>
#include <cstdio>
#include <string>

namespace {

constexpr const char* Usage =
    "usage: pelvar-screenshot FILE.png [--downloading | --wizard POS|HO]\n";

bool save(QWidget& window, const char* file) {
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "pelvar-screenshot: cannot write %s\n", file);
        return false;
    }
    return true;
}

int mainWindow(pelvar::AppState& state, const char* file, bool downloading) {
    pelvar::frmMain window(state);
    window.Form_Load();
    if (downloading) {
        // What the engine shows while it fetches an archive.
        window.setButtonsEnabled(false);
        window.setProgress(46);
        window.setFileSize("Downloaded 1204KB");
        window.setStatus("Please wait! Downloading file POS_9_1_3.ZIP from "
                         "http://updates.example.com/pelvar9");
    }
    return save(window, file) ? 0 : 1;
}

int wizard(pelvar::AppState& state, const char* file, const std::string& edition) {
    pelvar::PatchRun run(state);
    run.edition = pelvar::editionFromTyped(edition).value_or(pelvar::Edition::Pos);
    pelvar::frmLU window(run);
    try {
        window.Form_Load();
    } catch (const pelvar::RunTimeError& e) {
        // The texts are set before the installation is read; the picture still shows them.
        std::fprintf(stderr, "pelvar-screenshot: %s\n", e.description().c_str());
    }
    return save(window, file) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string option = argc >= 3 ? argv[2] : "";
    const bool downloading = argc == 3 && option == "--downloading";
    const bool wizardShot = argc == 4 && option == "--wizard" &&
                            (std::string(argv[3]) == "POS" || std::string(argv[3]) == "HO");
    if (argc < 2 || (argc > 2 && !downloading && !wizardShot)) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    pelvar::ConsoleComponent component(pelvar::SandboxPaths::fromEnvironment(), false);
    pelvar::AppState& state = component.state();
    return wizardShot ? wizard(state, argv[1], argv[3]) : mainWindow(state, argv[1], downloading);
}
