#include "LocationFiles.h"
#include "Sandbox.h"
#include "environment/AppState.h"
#include "ui/settings/frmSettings.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace pelvar;

namespace {

// Every header and every cell of the location grid can be read whole: no column is narrower
// than its widest text, even for a long address in a small window.
TEST(SettingsGrid, ColumnsAreAsWideAsTheirContents) {
    test::Sandbox box;
    box.state.EditionCode = "POS";
    box.state.CurrentOperation = " ";
    const std::string longAddress = "ftp://patches.head-office.example.internal/pelvar9/pos";
    test::installLocations(box, "POSDownloadSettings.config", "/srv/patches",
                           {test::location(PosEdition, "Branch 42 upstairs", "FTP", longAddress,
                                           "/stable/releases", "pw")});
    frmSettings window(box.state);
    window.Form_Load();
    window.resize(400, 300);
    window.show();
    QTableWidget* grid = window.fpDownloadInfo;
    ASSERT_EQ(grid->rowCount(), 1);

    const QFontMetrics cells(grid->font());
    const QHeaderView* header = grid->horizontalHeader();
    for (int column = 0; column < grid->columnCount(); ++column) {
        const QString title = grid->horizontalHeaderItem(column)->text();
        const QString text = grid->item(0, column)->text();
        SCOPED_TRACE(title.toStdString());
        EXPECT_GE(grid->columnWidth(column), header->sectionSizeHint(column));
        EXPECT_GE(grid->columnWidth(column), cells.horizontalAdvance(text));
    }
}

} // namespace
