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

// The product folder on a 1400 KiB tmpfs: the patch is copied and unpacked, but its 400 KiB
// program file no longer fits while a 400 KiB filler file stands there.
class FullDisk : public PatchTest {
  protected:
    void SetUp() override {
        if (::mount("tmpfs", product().c_str(), "tmpfs", 0, "size=1400k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); the full-disk case needs root";
        }
        mounted = true;
        std::filesystem::create_directories(state.PatchFolder);
    }
    void TearDown() override {
        if (mounted) {
            ::umount2(product().c_str(), MNT_DETACH);
        }
    }
    bool mounted = false;
};

TEST_F(FullDisk, RecordsNothingKeepsTheProgressFileAndResumesOnceThereIsRoom) {
    writeFile(inProduct("Big.bin"), "old");
    writeFile(inProduct("filler"), std::string(400 * 1024, 'x'));
    publish(downloaded("Pelvar9_POSHTTP.dat"), {"POS_9_0_1_05.zip:9.0.1"});
    std::string program(400 * 1024, '\0'); // random: the archive must not shrink it
    std::ifstream("/dev/urandom", std::ios::binary).read(program.data(), 400 * 1024);
    makeZip(downloaded("POS_9_0_1_05.zip"),
            {{"PackingList.ini", packingRecord("Pelvar9\\", "Pelvar9\\", "Big.bin", "N")},
             {"Big.bin", program}});

    EXPECT_THROW(ApplyUpdates(run), RunStopped);
    EXPECT_TRUE(state.RunFailed);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"61 Disk full"})
        << "no success text after the error";
    EXPECT_TRUE(logHas("Step8: - Big.bin could not be replaced: 61-Disk full")) << logText();
    EXPECT_EQ(readFile(inProduct("Big.bin")), "old");
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "");
    ASSERT_FALSE(lines(progressFile()).empty());
    EXPECT_EQ(lines(progressFile()).back(), "Step8: Started");

    std::filesystem::remove(inProduct("filler"));
    state.RunFailed = false; // the next run is a process of its own
    PatchRun again(state);
    again.EditionCode = "POS";
    LoadWizard(again);
    prompter.answers = {box::AnswerYes}; // continue from the last position
    EXPECT_THROW(ApplyUpdates(again), RunStopped);
    EXPECT_FALSE(state.RunFailed) << logText();
    EXPECT_EQ(readFile(inProduct("Big.bin")), program);
    EXPECT_EQ(ReadSetting(registry, "PatchVer", keysel::Pos), "9.0.1.05");
    EXPECT_FALSE(std::filesystem::exists(progressFile()));
}

} // namespace
