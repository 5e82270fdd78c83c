#include "DownloadFixture.h"
#include "download/VerifyDownloadedPatches.h"
#include "platform/zip/ZipArchive.h"
#include "ui/main/frmMain.h"

#include <gtest/gtest.h>

namespace pelvar::test {
namespace {

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
    state.DownloadFolder = f.downloads();
    state.PatchFiles = "POS_9_0_1_05.zip:";
    state.PatchesDownloaded = true;
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
        VerifyDownloadedPatches(state, zip);
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
} // namespace pelvar::test
