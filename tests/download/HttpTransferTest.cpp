#include "download/HttpTransfer.h"

#include "DownloadFixture.h"
#include "download/DownloadSession.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class HttpTransfer : public ::testing::Test, public DownloadFixture {
  protected:
    // The location as its editor stores it: the port after the path ("http://host/pos:8765",
    // Port 8765); the files are fetched from that port.
    HttpTransfer() : server(www()) {
        const std::string port = std::to_string(server.port());
        writeLocation("POShttp.ini",
                      {"Point of Sale", "POShttp", "HTTP", "http://127.0.0.1/pos:" + port, "", port,
                       "", "", "0", "", "", "NO"});
        writeSettings("Point of Sale", {"POShttp.ini"});
    }
    void publishPatches(const std::vector<std::string>& names) {
        std::vector<std::string> entries;
        for (const auto& name : names) {
            makePatch(www() + "/pos/" + name);
            entries.push_back(name + ":9.0.1");
        }
        publish(www() + "/pos/Pelvar9_POShttp.dat", entries);
        publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
    }
    void run() { StartDownloadSession(walk); }

    HttpServer server;
};

TEST_F(HttpTransfer, FetchesNewPatchesAndRecordsThem) {
    publishPatches({"POS_9_0_1_02.zip", "POS_9_0_1_03.zip", "POS_9_0_1_04.zip"});
    // An archive already on disk is never fetched again.
    writeFile(downloaded("POS_9_0_1_02.zip"), "kept as it is");
    // A location of the other edition in the list is passed over.
    httpLocation("hohttp", server.url() + "/pos", "Head Office");
    writeSettings("Point of Sale", {"hohttp.ini", "POShttp.ini"});
    run();
    EXPECT_FALSE(std::filesystem::exists(downloaded("Pelvar9_hohttp.dat")));
    EXPECT_EQ(readFile(downloaded("POS_9_0_1_02.zip")), "kept as it is");
    EXPECT_TRUE(logHas("Skiped Downloading File: POS_9_0_1_02.zip"));
    EXPECT_EQ(readFile(downloaded("POS_9_0_1_04.zip")), readFile(www() + "/pos/POS_9_0_1_04.zip"));
    EXPECT_EQ(readFile(downloaded("DownloadedPatchList.ini")),
              "File Downloaded POS_9_0_1_03.zip\r\nFile Downloaded POS_9_0_1_04.zip\r\n");
    EXPECT_TRUE(walk.PatchesDownloaded);
    EXPECT_TRUE(walk.PatchesReady);
    EXPECT_TRUE(logHas("Downloading File: POS_9_0_1_03.zip"));
    EXPECT_FALSE(std::filesystem::exists(downloaded("POS_9_0_1_04.zip.part")));
}

TEST_F(HttpTransfer, InstalledPatchNumberDecides) {
    publishPatches({"POS_a_b_c_05.zip", "POSAPPAU_1_05.zip"});
    registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.05");
    registry.write("Software\\Pelvar\\POS", "CustPatchVer", "9.0.1.05");
    run();
    EXPECT_FALSE(std::filesystem::exists(downloaded("POS_a_b_c_05.zip")));
    EXPECT_FALSE(std::filesystem::exists(downloaded("POSAPPAU_1_05.zip")));
    EXPECT_TRUE(logHas("Patch POS_a_b_c_05.zip is already downloaded and patched.Skipped "
                       "downloading the same."));
    EXPECT_FALSE(walk.PatchesDownloaded);

    registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.04");
    run();
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_a_b_c_05.zip")));
    EXPECT_TRUE(walk.PatchesDownloaded);
    // A single patch moves the bar to 95, whatever it stood at.
    EXPECT_FLOAT_EQ(surface.value, 95.0F);
}

TEST_F(HttpTransfer, MalformedPatchNameEndsTheDownloader) {
    publishPatches({"POS_a_b_c_5.z"});
    EXPECT_THROW(run(), RunStopped);
    EXPECT_EQ(prompter.texts(), Texts{"No patches are available in the download location"});
}

// The download folder on a 256 KiB file system of its own.
class FullFolder : public HttpTransfer {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(small);
        if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0) {
            GTEST_SKIP() << "mounting a small file system needs root";
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            ::umount2(small.c_str(), MNT_DETACH);
        }
    }
    std::string small = dir / "small";
    bool mounted = false;
};

TEST_F(FullFolder, IsReportedAndKeepsWhatIsThere) {
    std::string noise(1 << 20, '\0');
    std::ifstream("/dev/urandom", std::ios::binary).read(noise.data(), 1 << 20);
    publishPatches({"POS_9_0_1_03.zip", "POS_9_0_1_04.zip"});
    makeZip(www() + "/pos/POS_9_0_1_03.zip", {{"big.bin", noise}});
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=" + small + "\r\nDownload File=POShttp.ini\r\n");
    writeFile(dir / "small/POS_9_0_1_02.zip", "downloaded before");

    StartDownloadSession(walk);
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text, "Disk full");
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_EQ(walk.TransferFailures, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "small/POS_9_0_1_03.zip"));
    EXPECT_EQ(readFile(dir / "small/POS_9_0_1_02.zip"), "downloaded before");
    for (const auto& entry : std::filesystem::directory_iterator(small)) {
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    }
}

} // namespace
