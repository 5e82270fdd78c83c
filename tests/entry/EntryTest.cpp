#include "Sandbox.h"
#include "entry/clsVAMenu.h"
#include "environment/RegistrySettings.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
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

} // namespace
} // namespace pelvar::test
