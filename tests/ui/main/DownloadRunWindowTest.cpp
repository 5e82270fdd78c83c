#include "DownloadFixture.h"
#include "platform/base/RunTimeError.h"
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
    EXPECT_EQ(
        prompter.texts(),
        (std::vector<std::string>{"Download of updates for Pelvar 9 completed",
                                  "Do you want to update the Pelvar 9 with downloaded patches?"}));
    EXPECT_EQ(window.ProgressBar1->value(), 100);
    EXPECT_EQ(window.lblStatus->text().toStdString(),
              "All the patches are downloaded and verified.");
    EXPECT_TRUE(window.cmdDownload->isEnabled());
    EXPECT_GT(host.eventTurns, 0) << "the window repaints during the transfer";
}

// A window whose progress bar cannot be shown: an access error when the run starts.
class AccessErrorWindow : public frmMain {
  public:
    using frmMain::frmMain;
    void setProgressVisible(bool) override {
        throw RunTimeError(err::PathFileAccess, describeError(err::PathFileAccess));
    }
};

TEST_F(WindowDownload, AccessErrorLeavesTheWindowUsable) {
    AccessErrorWindow window(state);
    window.Form_Load();
    window.cmdDownload->click();
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text, "Mentioned download path does not have the permission to "
                                      "download the patches. Please provide valid path and try "
                                      "again.");
    EXPECT_TRUE(window.cmdDownload->isEnabled());
    EXPECT_TRUE(window.cmdSettings->isEnabled());
    EXPECT_TRUE(window.cmdExit->isEnabled());
}

} // namespace
