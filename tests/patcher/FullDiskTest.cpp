#include "PatchFixture.h"
#include "environment/RegistrySettings.h"
#include "platform/host/Host.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// The product's Reports folder on a 600 KiB tmpfs of its own: the patch is copied and
// unpacked, but its 400 KiB file no longer fits there while a 300 KiB filler file stands there.
class FullDisk : public PatchTest {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(reports());
        if (::mount("tmpfs", reports().c_str(), "tmpfs", 0, "size=600k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); the full-disk case needs root";
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            ::umount2(reports().c_str(), MNT_DETACH);
        }
    }
    std::string reports() const { return inProduct("Reports"); }
    bool mounted = false;
};

TEST_F(FullDisk, RecordsNothingKeepsTheProgressFileAndResumesOnceThereIsRoom) {
    writeFile(reports() + "/Big.bin", "old");
    writeFile(reports() + "/filler", std::string(300 * 1024, 'x'));
    publish(downloaded("Pelvar9_POSHTTP.dat"), {"POS_9_0_1_05.zip:9.0.1"});
    std::string program(400 * 1024, '\0'); // random: the archive must not shrink it
    std::ifstream("/dev/urandom", std::ios::binary).read(program.data(), 400 * 1024);
    makeZip(downloaded("POS_9_0_1_05.zip"),
            {{"PackingList.ini", packingRecord("Reports\\", "AppPath\\", "Big.bin", "N")},
             {"Big.bin", program}});

    EXPECT_THROW(ApplyUpdates(run), RunStopped);
    EXPECT_TRUE(state.RunFailed);
    EXPECT_EQ(prompter.texts(), Texts{"61 Disk full"}) << "no success text after the error";
    EXPECT_TRUE(logHas("Step8: - Big.bin could not be replaced: 61-Disk full")) << logText();
    EXPECT_EQ(readFile(reports() + "/Big.bin"), "old");
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "");
    ASSERT_FALSE(lines(progressFile()).empty());
    EXPECT_EQ(lines(progressFile()).back(), "Step8: Started");

    std::filesystem::remove(reports() + "/filler");
    state.RunFailed = false; // the next run is a process of its own
    PatchRun again(state);
    again.edition = Edition::Pos;
    LoadWizard(again);
    prompter.answers = {box::AnswerYes}; // continue from the last position
    EXPECT_THROW(ApplyUpdates(again), RunStopped);
    EXPECT_FALSE(state.RunFailed) << logText();
    EXPECT_EQ(readFile(reports() + "/Big.bin"), program);
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "9.0.1.05");
    EXPECT_FALSE(std::filesystem::exists(progressFile()));
}

} // namespace
