#include "download/HttpTransfer.h"

#include "DownloadFixture.h"
#include "download/DownloadSession.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using namespace pelvar;
using namespace pelvar::test;

namespace {

class HttpTransfer : public ::testing::Test, public DownloadFixture {
  protected:
    HttpTransfer() : server(www()) {
        std::filesystem::create_directories(www() + "/pos");
        httpLocation("POShttp", server.url() + "/pos");
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
    void run() { StartDownloadSession(state); }

    HttpServer server;
};

TEST_F(HttpTransfer, FetchesNewPatchesAndRecordsThem) {
    publishPatches({"POS_9_0_1_02.zip", "POS_9_0_1_03.zip", "POS_9_0_1_04.zip"});
    // An archive already on disk is never fetched again.
    writeFile(downloaded("POS_9_0_1_02.zip"), "kept as it is");
    run();
    EXPECT_EQ(readFile(downloaded("POS_9_0_1_02.zip")), "kept as it is");
    EXPECT_TRUE(logHas("Skiped Downloading File: POS_9_0_1_02.zip"));
    EXPECT_EQ(readFile(downloaded("POS_9_0_1_04.zip")), readFile(www() + "/pos/POS_9_0_1_04.zip"));
    EXPECT_EQ(readFile(downloaded("DownloadedPatchList.ini")),
              "File Downloaded POS_9_0_1_03.zip\r\nFile Downloaded POS_9_0_1_04.zip\r\n");
    EXPECT_TRUE(state.PatchesDownloaded);
    EXPECT_TRUE(state.PatchesReady);
    EXPECT_TRUE(logHas("Downloading File: POS_9_0_1_03.zip"));
    EXPECT_FALSE(std::filesystem::exists(downloaded("POS_9_0_1_04.zip.part")));
}

// The location editor stores an HTTP address with its port after the path
// ("http://host/pos:8765", Port 8765): the files are fetched from that port.
TEST_F(HttpTransfer, PortOfTheLocationRecordIsTheServersPort) {
    publishPatches({"POS_9_0_1_03.zip"});
    const std::string port = std::to_string(server.port());
    writeLocation("POShttp.ini",
                  {"Point of Sale", "POShttp", "HTTP", "http://127.0.0.1/pos:" + port, "", port, "",
                   "", "0", "", "", "NO"});
    run();
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_9_0_1_03.zip")));
}

TEST_F(HttpTransfer, InstalledPatchNumberDecides) {
    publishPatches({"POS_a_b_c_05.zip"});
    registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.05");
    run();
    EXPECT_FALSE(std::filesystem::exists(downloaded("POS_a_b_c_05.zip")));
    EXPECT_TRUE(logHas("Patch POS_a_b_c_05.zip is already downloaded and patched.Skipped "
                       "downloading the same."));
    EXPECT_FALSE(state.PatchesDownloaded);

    registry.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.04");
    run();
    EXPECT_TRUE(std::filesystem::exists(downloaded("POS_a_b_c_05.zip")));
    EXPECT_TRUE(state.PatchesDownloaded);
    // A single patch moves the bar to 95, whatever it stood at.
    EXPECT_FLOAT_EQ(surface.value, 95.0F);
}

TEST_F(HttpTransfer, ErrorPageIsStoredAndListsNothing) {
    // Nothing is published: the server's error page becomes the update-information file.
    httpLocation("hohttp", server.url() + "/nothing-here", "Head Office");
    writeSettings("Head Office", {"hohttp.ini"});
    state.SelectedEdition = surface.edition = "Head Office";
    run();
    EXPECT_TRUE(std::filesystem::exists(downloaded("Pelvar9_hohttp.dat")));
    EXPECT_EQ(state.PatchFiles, "");
    EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(HttpTransfer, MalformedPatchNameEndsTheDownloader) {
    publishPatches({"POS_a_b_c_5.z"});
    EXPECT_THROW(run(), RunStopped);
    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"No patches are available in the download location"});
}

TEST_F(HttpTransfer, UnreachableServerEndsTheDownloader) {
    httpLocation("POShttp", "http://127.0.0.1:" + std::to_string(freePort()) + "/pos");
    EXPECT_THROW(run(), RunStopped);
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_TRUE(prompter.boxes[0].text.starts_with(
        "Could not able to download the patches from the HTTP location : http://127.0.0.1:"));
}

// A download folder on a small file system of its own, unmounted at the end.
class SmallFolder {
  public:
    explicit SmallFolder(const std::string& path) : path_(path) {
        std::filesystem::create_directories(path);
        mounted_ =
            ::system(("mount -t tmpfs -o size=256k tmpfs '" + path + "' 2>/dev/null").c_str()) == 0;
    }
    ~SmallFolder() {
        if (mounted_) {
            static_cast<void>(::system(("umount '" + path_ + "'").c_str()));
        }
    }
    bool mounted() const { return mounted_; }

  private:
    std::string path_;
    bool mounted_ = false;
};

TEST_F(HttpTransfer, FullDownloadFolderIsReportedAndKeepsWhatIsThere) {
    SmallFolder small(dir / "small");
    if (!small.mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    std::string noise(1 << 20, '\0');
    std::mt19937 random(7);
    for (auto& c : noise) {
        c = static_cast<char>(random());
    }
    makeZip(www() + "/pos/POS_9_0_1_03.zip", {{"big.bin", noise}});
    makePatch(www() + "/pos/POS_9_0_1_04.zip");
    publish(www() + "/pos/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9", "POS_9_0_1_04.zip:9"});
    publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=" + dir / "small" + "\r\nDownload File=POShttp.ini\r\n");
    writeFile(dir / "small/POS_9_0_1_02.zip", "downloaded before");

    StartDownloadSession(state);
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text, "Disk full");
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_EQ(state.TransferFailures, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "small/POS_9_0_1_03.zip"));
    EXPECT_EQ(readFile(dir / "small/POS_9_0_1_02.zip"), "downloaded before");
    for (const auto& entry : std::filesystem::directory_iterator(dir / "small")) {
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    }
    EXPECT_EQ(readFile(dir / "small/PelvarUpdate.log").find("Failed Downloading File:"),
              std::string::npos);
}

} // namespace
