#include "DownloadFixture.h"
#include "download/VerifyDownloadedPatches.h"
#include "platform/zip/ZipArchive.h"
#include "ui/main/frmMain.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class WindowDownload : public ::testing::Test, public DownloadFixture {
  protected:
    WindowDownload() : server(www()) {
        makePatch(www() + "/pos/POS_9_0_1_03.zip");
        publish(www() + "/pos/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9.0.1"});
        publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
        httpLocation("POShttp", server.url() + "/pos");
        writeSettings("Point of Sale", {"POShttp.ini"});
    }
    HttpServer server;
};

TEST_F(WindowDownload, DownloadButtonRunsToTheOutcome) {
    frmMain window(state);
    window.Form_Load();
    window.show();
    prompter.answers = {box::AnswerNo};
    window.cmdDownload->click();

    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip")));
    EXPECT_EQ(window.ProgressBar1->value(), 100);
    EXPECT_EQ(window.lblStatus->text().toStdString(),
              "All the patches are downloaded and verified.");
    EXPECT_TRUE(window.cmdDownload->isEnabled() && window.cmdSettings->isEnabled() &&
                window.cmdExit->isEnabled());
    EXPECT_GT(host.eventTurns, 0) << "the window repaints during the transfer";
}

// Notes the main window's pointer at the moment each box appears.
class PointerAtBox : public Prompter {
  public:
    int show(const std::string& text, int buttons, const std::string&) override {
        seen.emplace_back(text, window ? window->cursor().shape() : Qt::BlankCursor);
        return box::asksYesNo(buttons) ? box::AnswerNo : box::AnswerOk;
    }
    const QWidget* window = nullptr;
    std::vector<std::pair<std::string, Qt::CursorShape>> seen;
};

struct PointerCase {
    const char* name;
    bool damaged;
    const char* box;
};

class BusyPointer : public ::testing::TestWithParam<PointerCase> {};

// The window is busy (hourglass) through the verification; the question that hands over to
// the patcher and the box about a damaged archive find the pointer back to normal.
TEST_P(BusyPointer, IsResetBeforeTheBoxThatEndsTheRun) {
    DownloadFixture f;
    PointerAtBox prompter;
    Services services(f.paths, f.registry, prompter, f.host);
    AppState state(services);
    DownloadWalk walk(state);
    state.DownloadFolder = f.downloads();
    state.PatchFiles = {"POS_9_0_1_05.zip"};
    walk.PatchesDownloaded = true;
    const std::string archive = f.downloaded("POS_9_0_1_05.zip");
    DownloadFixture::makePatch(archive);
    if (GetParam().damaged) {
        std::string bytes = readFile(archive);
        bytes.resize(bytes.size() / 2);
        writeFile(archive, bytes);
    }
    frmMain w(state);
    prompter.window = &w;
    w.setBusyPointer(true);
    ASSERT_EQ(w.cursor().shape(), Qt::WaitCursor);

    ZipArchive zip;
    try {
        VerifyDownloadedPatches(walk, zip);
    } catch (const RunStopped&) {
    }
    bool found = false;
    for (const auto& [text, shape] : prompter.seen) {
        if (text.starts_with(GetParam().box)) {
            found = true;
            EXPECT_EQ(shape, Qt::ArrowCursor) << text;
        }
    }
    EXPECT_TRUE(found) << GetParam().box;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BusyPointer,
    ::testing::Values(PointerCase{"HandOver", false, "Do you want to update the Pelvar 9"},
                      PointerCase{"DamagedArchive", true, "The downloaded file POS_9_0_1_05.zip"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
