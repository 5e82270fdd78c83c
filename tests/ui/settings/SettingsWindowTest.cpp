#include "LocationFiles.h"
#include "Sandbox.h"
#include "environment/AppState.h"
#include "ui/settings/frmDownloadLocations.h"
#include "ui/settings/frmSchedule.h"
#include "ui/settings/frmSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace pelvar;

namespace {

// Long enough to be cut off in a small window unless its column grows to fit it.
const std::string ShopAddress = "ftp://patches.head-office.example.internal/pelvar9";

// Runs `open`, handing each modal window it shows to `step`; after six steps, or should a
// window not close, the remaining modal windows are closed so that the loops end.
void driveModals(const std::function<void()>& open, const std::function<void(QWidget*)>& step) {
    int steps = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++steps > 6 ? void(modal->close()) : step(modal);
        }
    });
    driver.start(20);
    open();
}

class SettingsWindows : public ::testing::Test {
  protected:
    SettingsWindows() {
        box.state.edition = Edition::Pos;
        box.state.CurrentOperation = " ";
        test::installLocations(
            box, "POSDownloadSettings.config", "/srv/patches",
            {test::location("Point of Sale", "Shop", "FTP", ShopAddress, "/p", "s3cret"),
             test::location("Head Office", "Office", "HTTP", "http://office"),
             test::location("Point of Sale", "POShttp", "HTTP", "http://pelvar/patches")});
    }

    static QString cell(const frmSettings& w, int row, int column) {
        return w.fpDownloadInfo->item(row, column)->text();
    }

    test::Sandbox box;
};

TEST_F(SettingsWindows, OpeningListsTheEditionsLocationsWithTheirPasswordsMasked) {
    frmSettings window(box.state);
    window.Form_Load();
    EXPECT_EQ(box.state.settingsWindow, &window);
    EXPECT_EQ(window.windowTitle(), "Pelvar 9 POS LiveUpdate Settings");
    EXPECT_EQ(window.lblProductName->text(), "Point of Sale");
    EXPECT_EQ(window.txtDownloadPath->text(), "/srv/patches");
    ASSERT_EQ(window.fpDownloadInfo->rowCount(), 2);
    const QStringList shop = {cell(window, 0, 0), cell(window, 0, 1), cell(window, 0, 2),
                              cell(window, 0, 3), cell(window, 0, 4), cell(window, 0, 5)};
    EXPECT_EQ(shop, (QStringList{"Shop", "FTP", QString::fromStdString(ShopAddress + "/p"), "",
                                 "patches", "******"}));
    EXPECT_EQ(cell(window, 1, 0), "POShttp");
    EXPECT_TRUE(window.cmdModify->isEnabled());

    // An edition without locations cannot modify.
    box.state.edition = Edition::Ho;
    test::writeFile(box.appFolder() + "/HODownloadSettings.config", "Download path=/ho\r\n");
    frmSettings office(box.state);
    office.Form_Load();
    EXPECT_EQ(office.fpDownloadInfo->rowCount(), 0);
    EXPECT_FALSE(office.cmdModify->isEnabled());
}

// Every header and cell of the location grid can be read whole, even in a small window.
TEST_F(SettingsWindows, GridColumnsAreAsWideAsTheirContents) {
    frmSettings window(box.state);
    window.Form_Load();
    window.resize(400, 300);
    window.show();
    const QTableWidget* grid = window.fpDownloadInfo;
    const QFontMetrics cells(grid->font());
    for (int column = 0; column < grid->columnCount(); ++column) {
        SCOPED_TRACE(grid->horizontalHeaderItem(column)->text().toStdString());
        EXPECT_GE(grid->columnWidth(column), grid->horizontalHeader()->sectionSizeHint(column));
        EXPECT_GE(grid->columnWidth(column), cells.horizontalAdvance(cell(window, 0, column)));
    }
}

TEST_F(SettingsWindows, TheEditorShowsItsRefusalAndFocusesTheBox) {
    frmDownloadLocations editor(box.state, nullptr);
    editor.Form_Load();
    editor.show();
    EXPECT_EQ(editor.lblProductName->text(), "Point of Sale");
    EXPECT_EQ(editor.cmbDownLdType->currentText(), "HTTP");
    EXPECT_TRUE(editor.txtUserName->isHidden());

    editor.txtLocCaption->setText("Branch");
    editor.txtRemoteHost->setText("host");
    editor.txtRemotePort->setText("80a");
    editor.cmdOk->click();

    EXPECT_EQ(box.prompter.texts(), std::vector<std::string>{"Invalid Remote Port No."});
    EXPECT_EQ(editor.txtRemotePort->text(), "");
    EXPECT_EQ(editor.focusWidget(), editor.txtRemotePort);
    EXPECT_FALSE(editor.LocationSaved());
    EXPECT_FALSE(files::fileExists(box.appFolder() + "/Branch.ini"));

    // Choosing FTP shows the login boxes and ticks Active FTP.
    editor.cmbDownLdType->setCurrentIndex(1);
    emit editor.cmbDownLdType->activated(1);
    EXPECT_EQ(editor.lblWebAddress->text(), "FTP Address");
    EXPECT_FALSE(editor.txtUserName->isHidden());
    EXPECT_TRUE(editor.chkActiveFTP->isChecked());
}

TEST_F(SettingsWindows, ModifyingReloadsTheListBeneath) {
    frmSettings window(box.state);
    window.Form_Load();
    window.fpDownloadInfo->setCurrentCell(0, 0);
    bool editorSeen = false;
    driveModals([&] { window.cmdModify->click(); },
                [&](QWidget* modal) {
                    auto* editor = qobject_cast<frmDownloadLocations*>(modal);
                    ASSERT_NE(editor, nullptr);
                    editorSeen = true;
                    EXPECT_FALSE(editor->txtLocCaption->isEnabled());
                    EXPECT_EQ(editor->txtRemoteHost->text().toStdString(), ShopAddress + "/p");
                    EXPECT_EQ(editor->txtConfPassword->text(), "s3cret");
                    editor->txtUserName->setText("uploads");
                    editor->cmdOk->click();
                });
    ASSERT_TRUE(editorSeen);
    ASSERT_EQ(window.fpDownloadInfo->rowCount(), 2);
    EXPECT_EQ(cell(window, 0, 4), "uploads");
}

TEST_F(SettingsWindows, TheScheduleOpensOnTodayDailyAndAsksForTheAccount) {
    frmSchedule schedule(box.state);
    schedule.Form_Load();
    schedule.show();
    EXPECT_EQ(schedule.lblProductName->text(), "Point of Sale");
    EXPECT_EQ(schedule.DTStartDate->date(), QDate::currentDate());
    EXPECT_EQ(schedule.cmbFrequency->currentText(), "Daily");
    EXPECT_EQ(schedule.cmbFrequency->count(), 4);

    schedule.cmdOk->click();
    EXPECT_EQ(box.prompter.texts(), std::vector<std::string>{"Please Enter Your Windows Login ID"});
    EXPECT_EQ(schedule.focusWidget(), schedule.txtAccount);
    EXPECT_TRUE(files::fileExists(box.appFolder() + "/POSSchedule.ini"));
}

TEST_F(SettingsWindows, AddingClosesTheListAndReopensItWithTheNewLocation) {
    // The list, then the editor, then the reopened list.
    std::vector<std::string> seen;
    int reopenedRows = -1;
    driveModals([&] { ShowSettingsWindow(box.state, nullptr); },
                [&](QWidget* modal) {
                    if (auto* list = qobject_cast<frmSettings*>(modal)) {
                        seen.push_back("settings");
                        if (seen.size() == 1) {
                            list->cmdAdd->click();
                        } else {
                            reopenedRows = list->fpDownloadInfo->rowCount();
                            list->cmdClose->click();
                        }
                    } else if (auto* editor = qobject_cast<frmDownloadLocations*>(modal)) {
                        seen.push_back("editor");
                        editor->txtLocCaption->setText("Branch");
                        editor->txtRemoteHost->setText("branch.example/patches");
                        editor->cmdOk->click();
                    }
                });

    EXPECT_EQ(seen, (std::vector<std::string>{"settings", "editor", "settings"}));
    EXPECT_EQ(reopenedRows, 3);
    EXPECT_EQ(test::readFile(box.appFolder() + "/POSDownloadSettings.config"),
              "Download path=/srv/patches\r\nDownload File=Shop.ini\r\nDownload "
              "File=Office.ini\r\nDownload File=POShttp.ini\r\nDownload File=Branch.ini\r\n");
}

} // namespace
