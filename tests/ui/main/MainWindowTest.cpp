#include "Sandbox.h"
#include "environment/RegistrySettings.h"
#include "ui/main/QtHost.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

std::string text(const QLabel* label) {
    return label->text().toStdString();
}

class MainWindow : public ::testing::Test {
  protected:
    void set(int selector, const std::string& name, const std::string& value) {
        ASSERT_TRUE(WriteSetting(s.registry, name, value, selector));
    }

    Sandbox s;
};

TEST_F(MainWindow, LoadShowsTheChosenEditionsValues) {
    set(keysel::Enterprise, "PatchVer", "9.3.1");
    set(keysel::Enterprise, "LASTUPDATED", "3/4/2026 4:15:02 PM");
    frmMain w(s.state);
    w.Form_Load();
    w.show();
    // Typing into the list changes nothing.
    for (int key : {int(Qt::Key_H), int(Qt::Key_Down), int(Qt::Key_End), int(Qt::Key_PageDown)}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_H ? "H" : "");
        QApplication::sendEvent(w.cmbProdType, &press);
    }

    // Point of Sale is shown first and has nothing in the registry.
    EXPECT_EQ(w.windowTitle().toStdString(), "Pelvar 9 LiveUpdate");
    EXPECT_EQ(w.cmbProdType->currentText().toStdString(), "Point of Sale");
    EXPECT_EQ(text(w.lblPatchNo), "N/A");
    EXPECT_EQ(text(w.lblLastUpdated), "N/A");
    EXPECT_EQ(text(w.lblEngineVersion), "1.5");
    EXPECT_EQ(s.state.edition, Edition::Pos);

    ASSERT_EQ(w.cmbProdType->itemText(1).toStdString(), "Head Office");
    w.cmbProdType->setCurrentIndex(1);
    emit w.cmbProdType->activated(1);
    EXPECT_EQ(text(w.lblPatchNo), "9.3.1");
    EXPECT_EQ(text(w.lblLastUpdated), "3/4/2026 4:15:02 PM");
    EXPECT_EQ(s.state.edition, Edition::Ho);

    // A blank date reads as not available.
    set(keysel::Enterprise, "LastUpdated", "   ");
    emit w.cmbProdType->activated(1);
    EXPECT_EQ(text(w.lblLastUpdated), "N/A");
}

TEST_F(MainWindow, SettingsButtonPreparesTheSettingsWindow) {
    frmMain w(s.state);
    w.Form_Load();
    int opened = 0;
    w.settingsOpener = [&] { ++opened; };
    s.state.CurrentOperation = "Download";

    // The list shows Head Office without a selection event.
    w.cmbProdType->setCurrentIndex(1);
    w.cmdSettings->click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(s.state.CurrentOperation, " ");
    EXPECT_EQ(s.state.edition, Edition::Ho);
    EXPECT_EQ(s.state.SettingsCaption, "Pelvar 9 HO LiveUpdate Settings");
}

TEST_F(MainWindow, TheHostSeesOnlyTheOpenWindowByItsExactTitleUntilExit) {
    QtHost host;
    frmMain w(s.state);
    w.Form_Load();
    EXPECT_FALSE(host.hasWindowTitled("Pelvar 9 LiveUpdate"));
    w.show();
    EXPECT_TRUE(host.hasWindowTitled("Pelvar 9 LiveUpdate"));
    EXPECT_FALSE(host.hasWindowTitled("pelvar 9 liveupdate"));
    // Exit ends the host and closes the window, without a question.
    w.cmdExit->click();
    EXPECT_EQ(s.host.terminations, 1);
    EXPECT_TRUE(w.hostEnded());
    EXPECT_FALSE(host.hasWindowTitled("Pelvar 9 LiveUpdate"));
    EXPECT_TRUE(s.prompter.boxes.empty());
}

} // namespace
} // namespace pelvar::test
