#include "CommandLine.h"
#include "DownloadFixture.h"
#include "Env.h"
#include "download/DownloadRun.h"
#include "patcher/PatchRun.h"
#include "platform/files/Files.h"
#include "platform/zip/ZipArchive.h"
#include "ui/wizard/frmLU.h"

#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

std::string text(const QLabel* label) {
    return label->text().toStdString();
}

// An installed product of both editions with its system files, a security database and a
// patch site on a loopback HTTP server that offers one patch for each edition.
class Wizard : public DownloadFixture {
  public:
    Wizard() : server(www()), run(state) {
        for (const auto& [file, folder] : {std::pair{"PelvarPOSSystem.DAT", "pos-product"},
                                           std::pair{"PelvarHOSystem.DAT", "ho-product"}}) {
            std::filesystem::create_directories(dir / folder);
            writeFile(paths.commonAppData() + "/Orken/Pelvar9/" + file,
                      "PELVARAPPPATH=" + (dir / folder) + "\r\nNODEID=7\r\n");
        }
        useSecurityDatabase();
        for (const auto& [prefix, folder, location] :
             {std::tuple{"POS_", "pos", "POShttp"}, std::tuple{"HO_", "ho", "hohttp"}}) {
            const std::string patch = std::string(prefix) + "9_0_1_03";
            makeZip(www() + "/" + folder + "/" + patch + ".zip",
                    {{"PackingList.ini", "1-#-Pelvar9\\-#-Pelvar9\\-#-Report.txt-#-N-GO-"},
                     {"Report.txt", "new report of " + patch}});
            publish(www() + "/" + folder + "/Pelvar9_" + location + ".dat", {patch + ".zip:9.0.1"});
            publish(www() + "/" + folder + "/Pelvar9_" + location + ".P9Q", {});
            httpLocation(location, server.url() + "/" + folder,
                         folder == std::string("ho") ? "Head Office" : "Point of Sale");
        }
        writeSettings("Point of Sale", {"POShttp.ini"});
        writeSettings("Head Office", {"hohttp.ini"});
        writeFile(dir / "pos-product/Report.txt", "old report");
        // The download engine writes to the wizard here, not to a main window.
        state.mainWindow = nullptr;
    }

    // The window as PelvarPU opens it.
    std::unique_ptr<frmLU> open(Edition edition, bool scheduled = false) {
        run.edition = edition;
        run.Scheduled = scheduled;
        auto window = std::make_unique<frmLU>(run);
        window->Form_Load();
        window->show();
        return window;
    }

    HttpServer server;
    PatchRun run;
};

struct OpenCase {
    const char* name;
    const char* code;
    bool scheduled;
};

class WizardOpens : public ::testing::TestWithParam<OpenCase> {};

TEST_P(WizardOpens, WithTheEditionsTextsAndLayout) {
    const OpenCase& c = GetParam();
    Wizard w;
    auto window = w.open(*editionFromCode(c.code), c.scheduled);
    const std::string caption = std::string("Pelvar 9 ") + c.code + " LiveUpdate";
    EXPECT_EQ(window->windowTitle().toStdString(), caption);
    EXPECT_EQ(text(window->lblLU), caption + " will check for available updates");
    EXPECT_EQ(w.state.wizard, window.get()) << "the engine reaches the open wizard";
    EXPECT_EQ(window->optChkUpdates->text().toStdString(), "&Check for Updates");
    EXPECT_EQ(window->optSkipUpdates->text().toStdString(), "&Skip Updates");
    EXPECT_EQ(window->cmdNext->text().toStdString(), "&Next >");
    EXPECT_EQ(window->cmdCancel->text().toStdString(), "&Skip Updates");
    EXPECT_FALSE(window->optChkUpdates->isChecked() || window->optSkipUpdates->isChecked());
    // The scheduled run shows only that it is downloading; no button can interrupt it.
    EXPECT_EQ(window->cmdNext->isVisible(), !c.scheduled);
    EXPECT_EQ(window->cmdCancel->isVisible(), !c.scheduled);
    EXPECT_EQ(window->lblLU->isVisible(), !c.scheduled);
    EXPECT_EQ(window->lblComplete->isVisible(), c.scheduled);
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_EQ(w.host.terminations, 0);

    window.reset();
    EXPECT_EQ(w.state.wizard, nullptr) << "a closed wizard is no longer written to";
}

// The caption follows the edition, the layout the mode.
INSTANTIATE_TEST_SUITE_P(Editions, WizardOpens,
                         ::testing::Values(OpenCase{"PointOfSale", "POS", false},
                                           OpenCase{"ScheduledHeadOffice", "HO", true}),
                         [](const auto& row) { return std::string(row.param.name); });

class WizardChoice : public ::testing::Test, public Wizard {};

// Next without a choice, and the timer outside the scheduled run, change nothing; Skip and
// Cancel end the host. None of them downloads or applies.
TEST_F(WizardChoice, OnlyCheckForUpdatesStartsARun) {
    auto window = open(Edition::Pos);
    window->cmdNext->click();
    window->Timer1_Timer();
    EXPECT_TRUE(window->isVisible() && window->cmdNext->isEnabled());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(host.terminations, 0);
    EXPECT_TRUE(prompter.boxes.empty());

    window->optSkipUpdates->setChecked(true);
    window->cmdNext->click();
    EXPECT_EQ(host.terminations, 1);
    EXPECT_TRUE(window->hostEnded());
    open(Edition::Pos)->cmdCancel->click();
    EXPECT_EQ(host.terminations, 2);

    EXPECT_FALSE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip")));
    EXPECT_EQ(readFile(dir / "pos-product/Report.txt"), "old report");
}

// A wizard whose user tries to close it, cancel and start again while the run is under way.
class ImpatientWizard : public frmLU {
  public:
    using frmLU::frmLU;
    void setStatus(const std::string& text) override {
        frmLU::setStatus(text);
        if (!tried) {
            tried = true;
            close();
            cmdCancel->click();
            cmdNext->click();
            visibleWhileBusy = isVisible();
        }
    }
    bool tried = false;
    bool visibleWhileBusy = false;
};

// Closing, Cancel and Next while the run is under way change nothing.
TEST_F(WizardChoice, CheckForUpdatesDownloadsAppliesAndEndsTheHost) {
    run.edition = Edition::Pos;
    ImpatientWizard window(run);
    window.Form_Load();
    window.show();
    window.optChkUpdates->setChecked(true);
    prompter.answers = {box::AnswerYes};
    window.cmdNext->click();

    ASSERT_TRUE(window.tried) << "the run writes its status";
    EXPECT_TRUE(window.visibleWhileBusy);
    EXPECT_EQ(host.terminations, 1) << "only the finished run ends the host";
    // The download's outcome, then the applied patches; a regular patch needs a company for
    // its database steps, which this installation does not have.
    EXPECT_EQ(
        prompter.texts(),
        (Texts{"Download of updates for Pelvar 9 completed",
               "Required file has been updated successfully.\nMore updates need to Apply which "
               "requires atleast one Pelvar Company.\nPlease Create a Pelvar Company and run "
               "the Pelvar LiveUpdate."}));
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip")));
    EXPECT_EQ(readFile(dir / "pos-product/Report.txt"), "new report of POS_9_0_1_03");
    EXPECT_FALSE(std::filesystem::exists(dir / "pos-product/Process3.log"))
        << "a run that ended normally leaves no progress file";
    EXPECT_TRUE(logHas("Verifying Files...")) << logText();
    EXPECT_GT(host.eventTurns, 0) << "the window repaints during the run";
    EXPECT_EQ(state.RunMode, "Installation");
    EXPECT_EQ(state.edition, Edition::Pos);
}

TEST_F(WizardChoice, ScheduledTimerDownloadsOnlyAndEndsTheHost) {
    auto window = open(Edition::Ho, true);
    window->Timer1_Timer();

    EXPECT_EQ(host.terminations, 1);
    EXPECT_TRUE(std::filesystem::exists(downloaded("HO_9_0_1_03.zip")));
    EXPECT_FALSE(std::filesystem::exists(dir / "ho-product/Report.txt"))
        << "the scheduled run applies nothing";
    EXPECT_FALSE(window->ProgressBar1->isHidden());
    EXPECT_EQ(window->ProgressBar1->value(), 100);
    EXPECT_EQ(text(window->lblComplete), "All updates for Pelvar 9 is downloaded");
    EXPECT_EQ(state.edition, Edition::Ho);
}

// The main window's hand-over starts PelvarPU without arguments; the edition travels in
// the child's environment, and the host's own environment stays as it was.
TEST_F(WizardChoice, DownloadRunHandsTheEditionToThePatcher) {
    // A stand-in patcher in the component's folder reports how it was started.
    const std::string report = dir / "patcher-started";
    writeFile(appFolder() + "/PelvarPU", "#!/bin/sh\necho \"$#:$PELVAR_EDITION\" > " + report +
                                             ".tmp && mv " + report + ".tmp " + report + "\n");
    std::filesystem::permissions(appFolder() + "/PelvarPU", std::filesystem::perms::owner_all);
    RecordingSurface main;
    main.edition = Edition::Ho;
    state.mainWindow = &main;
    ScopedEnv noEdition("PELVAR_EDITION", std::nullopt);
    ZipArchive zip;
    prompter.answers = {box::AnswerYes};
    EXPECT_THROW(DownloadButtonClicked(walk, zip, main), RunStopped);
    EXPECT_EQ(std::getenv("PELVAR_EDITION"), nullptr);

    EXPECT_TRUE(std::filesystem::exists(downloaded("HO_9_0_1_03.zip")));
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(report); }))
        << "the patcher was not started";
    EXPECT_EQ(readFile(report), "0:HO\n") << "no arguments, the edition inherited";
}

// exitCode -1: it crashed or was still running after the wait.
struct Finished : CliRun {
    bool timedOut = false; // still running after the wait, then killed
};

// Runs a built program as the scheduler or the hand-over would: the sandbox's environment,
// no display (windows go to the offscreen platform), PELVAR_EDITION only when given.
Finished launch(const char* program, const QStringList& args, const Sandbox& sandbox,
                const char* edition, int waitMs = 20000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.insert("PELVAR_ROOT", QString::fromStdString(sandbox.root()));
    env.insert("PELVAR_APP_FOLDER", QString::fromStdString(sandbox.appFolder()));
    env.remove("PELVAR_EDITION");
    if (edition) {
        env.insert("PELVAR_EDITION", edition);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(binaryDir() + "/" + program), args);
    if (!process.waitForStarted(10000)) {
        return {};
    }
    const bool ended = process.waitForFinished(waitMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {{ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
             process.readAllStandardOutput().toStdString(),
             process.readAllStandardError().toStdString()},
            !ended};
}

struct BadLaunch {
    const char* name;
    QStringList args;
    const char* edition; // PELVAR_EDITION, or none
    const char* says;
};

class PelvarPUArguments : public ::testing::TestWithParam<BadLaunch> {};

// A wrong launch says why in one line and exits 2 without opening a window.
TEST_P(PelvarPUArguments, RefusesWithOneLineAndExitCode2) {
    const BadLaunch& c = GetParam();
    Sandbox sandbox;
    const Finished done = launch("PelvarPU", c.args, sandbox, c.edition);
    EXPECT_EQ(done.exitCode, 2);
    EXPECT_NE(done.err.find(c.says), std::string::npos) << done.err;
    EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << done.err;
}

INSTANTIATE_TEST_SUITE_P(
    Launches, PelvarPUArguments,
    ::testing::Values(BadLaunch{"UnknownEdition", {"XX"}, nullptr, "unknown argument 'XX'"},
                      BadLaunch{
                          "UnknownScheduledEdition", {"Scheduled,XX"}, "POS", "unknown argument"},
                      BadLaunch{"TwoArguments", {"POS", "HO"}, nullptr, "too many arguments"},
                      BadLaunch{"NoArgumentNoEdition", {}, nullptr, "PELVAR_EDITION"},
                      BadLaunch{"NoArgumentBadEdition", {}, "Enterprise", "PELVAR_EDITION"}),
    [](const auto& row) { return std::string(row.param.name); });

// The hand-over's launch: no argument, the edition inherited. The wizard then waits for the
// user, so the process is still there when the test gives up waiting.
TEST(PelvarPULaunch, WithoutArgumentTakesTheInheritedEdition) {
    Sandbox sandbox;
    const Finished done = launch("PelvarPU", {}, sandbox, "ho", 1500);
    EXPECT_TRUE(done.timedOut) << "ended on its own with " << done.exitCode << ": " << done.err;
    EXPECT_EQ(done.err.find("PelvarPU:"), std::string::npos) << done.err;
}

// PelvarPU's scheduled mode downloads the edition's patches from its timer and ends by itself.
TEST_F(WizardChoice, ScheduledPelvarPUDownloadsAndEnds) {
    const Finished done = launch("PelvarPU", {"Scheduled,POS"}, *this, nullptr);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip"))) << logText();
    EXPECT_EQ(readFile(dir / "pos-product/Report.txt"), "old report");
}

// PelvarLU as the scheduler starts it: nothing to fetch, the hand-over question answered No.
TEST(PelvarLULaunch, ScheduledRunEndsByItselfWithoutADisplay) {
    Sandbox s;
    writeFile(s.appFolder() + "/POSDownloadSettings.config",
              "Download path=" + s.downloads() + "\r\n");
    const Finished done = launch("PelvarLU", {"Scheduled,POS"}, s, nullptr, 60000);
    const std::string output = done.out + done.err;
    ASSERT_EQ(done.exitCode, 0) << output;
    EXPECT_NE(output.find("There is no updates are available to download"), std::string::npos)
        << output;
    EXPECT_NE(output.find("(answered No)"), std::string::npos) << output;
    EXPECT_NE(s.logText().find("Verifying the zip files."), std::string::npos);
}

} // namespace
} // namespace pelvar::test
