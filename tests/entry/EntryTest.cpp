#include "Sandbox.h"
#include "Servers.h"
#include "entry/clsVAMenu.h"
#include "environment/RegistrySettings.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

// Runs StartProcess and closes the window it shows, as a user would by its system menu.
// Returns the patch number the window showed; gives up after about five seconds.
std::string startAndClose(clsVAMenu& menu, QPointer<frmMain>& shown) {
    std::string patchNo;
    int polls = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<frmMain*>(widget); window && window->isVisible()) {
                shown = window;
                patchNo = window->lblPatchNo->text().toStdString();
                window->close();
                poll.stop();
                return;
            }
        }
        if (++polls > 250) {
            poll.stop();
            QApplication::closeAllWindows();
        }
    });
    poll.start();
    menu.StartProcess();
    return patchNo;
}

TEST(StartProcess, EachCallLoadsAFreshWindow) {
    Sandbox s;
    ASSERT_TRUE(WriteSetting(s.registry, "PatchVer", "9.1.2", keysel::Pos));
    clsVAMenu menu(s.paths, s.prompter, s.host);

    QPointer<frmMain> first;
    EXPECT_EQ(startAndClose(menu, first), "9.1.2");
    // Gone once closed: the next call cannot reuse it.
    EXPECT_TRUE(first.isNull());

    ASSERT_TRUE(WriteSetting(s.registry, "PatchVer", "9.1.3", keysel::Pos));
    QPointer<frmMain> second;
    EXPECT_EQ(startAndClose(menu, second), "9.1.3");
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(s.prompter.boxes.empty());
    EXPECT_EQ(s.host.terminations, 0);
}

TEST(StartProcess, LoadErrorGivesOnePelvarBoxAndReturns) {
    Sandbox s;
    // Too short to hold a version and the ".ZIP" extension: the load fails on it.
    ASSERT_TRUE(WriteSetting(s.registry, "HOPatchVer", "HO_1", keysel::LiveUpdate));
    clsVAMenu menu(s.paths, s.prompter, s.host);

    QPointer<frmMain> shown;
    startAndClose(menu, shown);
    EXPECT_TRUE(shown.isNull());
    ASSERT_EQ(s.prompter.boxes.size(), 1u);
    EXPECT_EQ(s.prompter.boxes[0].text, "Invalid procedure call or argument");
    EXPECT_EQ(s.prompter.boxes[0].buttons, 64);
    EXPECT_EQ(s.prompter.boxes[0].title, "Pelvar");
    EXPECT_EQ(menu.state().mainWindow, nullptr);
}

// PelvarLU started as the scheduler starts it, in a sandbox root; killed if it hangs.
struct LauncherRun {
    int exitCode = -1;
    std::string output;
};

LauncherRun runLauncher(const Sandbox& s, const QString& argument) {
    QProcess launcher;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PELVAR_ROOT", QString::fromStdString(s.root()));
    env.insert("PELVAR_APP_FOLDER", QString::fromStdString(s.appFolder()));
    env.remove("DISPLAY");
    launcher.setProcessEnvironment(env);
    launcher.setProcessChannelMode(QProcess::MergedChannels);
    launcher.start(QString::fromStdString(binaryDir() + "/PelvarLU"), {argument});
    LauncherRun run;
    if (!launcher.waitForFinished(60000)) {
        launcher.kill();
        launcher.waitForFinished(5000);
        return run;
    }
    run.exitCode = launcher.exitStatus() == QProcess::NormalExit ? launcher.exitCode() : -1;
    run.output = launcher.readAll().toStdString();
    return run;
}

TEST(Launcher, ScheduledRunEndsByItselfWithoutADisplay) {
    Sandbox s;
    writeFile(s.appFolder() + "/POSDownloadSettings.config",
              "Download path=" + s.downloads() + "\r\n");
    const LauncherRun run = runLauncher(s, "Scheduled,POS");

    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Nothing to fetch; the hand-over question is answered No.
    EXPECT_NE(run.output.find("There is no updates are available to download"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("(answered No)"), std::string::npos) << run.output;
    EXPECT_NE(s.logText().find("Verifying the zip files."), std::string::npos);
}

} // namespace
} // namespace pelvar::test
