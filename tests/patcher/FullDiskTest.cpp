#include "Installation.h"
#include "PatchFixture.h"
#include "environment/RegistrySettings.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

// The product's Reports folder on a 600 KiB tmpfs of its own: the patch is copied and
// unpacked, but its 400 KiB file no longer fits there while a 300 KiB filler file stands there.
class FullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        installation.securityDatabase(keysel::Pos, "9.0.1.04");
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
    std::string reports() const { return installation.product() + "/Reports"; }
    std::string progressFile() const { return installation.product() + "/Process3.log"; }
    Installation installation;
    bool mounted = false;
};

TEST_F(FullDisk, RecordsNothingKeepsTheProgressFileAndResumesOnceThereIsRoom) {
    writeFile(reports() + "/Big.bin", "old");
    writeFile(reports() + "/filler", std::string(300 * 1024, 'x'));
    installation.information("POSHTTP", {"POS_9_0_1_05.zip:12/03/2026:9.0.1.05"});
    std::string program(400 * 1024, '\0'); // random: the archive must not shrink it
    std::ifstream("/dev/urandom", std::ios::binary).read(program.data(), 400 * 1024);
    installation.patch(
        "POS_9_0_1_05.zip",
        {{"PackingList.ini", packingRecord("Reports\\", "AppPath\\", "Big.bin", "N")},
         {"Big.bin", program}});

    const CliRun full = installation.apply("POS");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(text::contains(full.out, "61 Disk full")) << full.out;
    EXPECT_FALSE(text::contains(full.out, "updated successfully")) << "success after the error";
    EXPECT_TRUE(
        installation.logHasInOrder({"Step8: - Big.bin could not be replaced: 61-Disk full"}))
        << installation.logText();
    EXPECT_EQ(readFile(reports() + "/Big.bin"), "old");
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Pos), "9.0.1.04");
    ASSERT_TRUE(std::filesystem::exists(progressFile()));
    EXPECT_TRUE(text::endsWith(readFile(progressFile()), "Step8: Started\r\n"));

    std::filesystem::remove(reports() + "/filler");
    const CliRun resumed = installation.apply("POS");
    EXPECT_EQ(resumed.exitCode, 0) << resumed.out << installation.logText();
    EXPECT_EQ(readFile(reports() + "/Big.bin"), program);
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Pos), "9.0.1.05");
    EXPECT_FALSE(std::filesystem::exists(progressFile()));
}

} // namespace
