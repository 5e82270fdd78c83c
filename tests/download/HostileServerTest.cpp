#include "DownloadFixture.h"
#include "HostileServers.h"
#include "download/DownloadRun.h"
#include "download/DownloadSession.h"
#include "download/HttpTransfer.h"
#include "platform/zip/ZipArchive.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

const char* const Escaped = "escaped_9_0_1_05.zip";

// The names are checked when the update information is read, whatever brought the file.
struct NameRow {
    const char* label;
    const char* location;
    std::string name;
};

class UnplainArchiveName : public ::testing::TestWithParam<NameRow>, public DownloadFixture {};

TEST_P(UnplainArchiveName, IsATamperedEntry) {
    const std::string description = GetParam().location;
    HttpServer http(www());
    // Whatever the name resolves to on the server exists, so only the client can refuse.
    makePatch(www() + "/" + Escaped);
    publish(www() + "/pos/Pelvar9_" + description + ".dat", {GetParam().name + ":9.0.1"});
    publish(www() + "/pos/Pelvar9_" + description + ".P9Q", {});
    httpLocation(description, http.url() + "/pos");
    writeSettings("Point of Sale", {description + ".ini"});

    EXPECT_THROW(StartDownloadSession(walk), RunStopped);
    EXPECT_EQ(prompter.texts(), Texts{"Updates Information Tampered"});
    EXPECT_TRUE(state.RunFailed);
    EXPECT_FALSE(fs::exists(dir / Escaped)) << "written outside the download folder";
    EXPECT_TRUE(state.PatchFiles.empty() && state.CustomPatchFiles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnplainArchiveName,
    ::testing::Values(NameRow{"ParentFolder", "POSsite", std::string("../") + Escaped},
                      NameRow{"PosUnderscoreLocation", "POS_extra", std::string("../") + Escaped},
                      NameRow{"AbsolutePath", "POSsite", "/tmp/POS_9_0_1_05.zip"},
                      NameRow{"Backslash", "POSsite", "..\\POS_9_0_1_05.zip"},
                      NameRow{"ParentItself", "POSsite", ".."},
                      NameRow{"ControlCharacter", "POSsite", "POS_9_0_1_05\x01.zip"}),
    [](const auto& row) { return std::string(row.param.label); });

class Redirect : public ::testing::TestWithParam<const char*>, public DownloadFixture {};

TEST_P(Redirect, IsAUrlThatCannotBeOpened) {
    PythonServer server(misbehavingHttp(), {www(), "plain"});
    const std::string location = server.url() + GetParam();
    httpLocation("POShttp", location);
    writeSettings("Point of Sale", {"POShttp.ini"});

    EXPECT_THROW(StartDownloadSession(walk), RunStopped);
    ASSERT_EQ(prompter.boxes.size(), 1U);
    EXPECT_EQ(prompter.boxes[0].text,
              "Could not able to download the patches from the HTTP location : " + location + " ");
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_TRUE(state.RunFailed);
    const std::string dat = downloaded("Pelvar9_POShttp.dat");
    EXPECT_TRUE(!fs::exists(dat) || readFile(dat).find("root:") == std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Targets, Redirect, ::testing::Values("/loop", "/file"),
                         [](const auto& row) {
                             return std::string(row.param) == "/loop" ? "Loop" : "FileScheme";
                         });

// Answers every connection as an HTTP proxy would, with a body of its own; the first request
// creates the file ARGS[0].
const char* const RecordingProxy = R"PY(
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', PORT)); s.listen(8)
while True:
    c, _ = s.accept()
    try:
        c.settimeout(2)
        if c.recv(4096):
            open(ARGS[0], 'a').close()
        c.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nvia proxy')
    except OSError:
        pass
    c.close()
)PY";

TEST(Proxy, FtpGoesDirectWhileHttpKeepsTheSystemProxy) {
    DownloadFixture f;
    const std::string seen = f.dir / "proxy-seen.txt";
    PythonServer proxy(RecordingProxy, {seen});
    ScopedEnv noProxy("no_proxy", "");
    ScopedEnv noProxyUpper("NO_PROXY", "");
    ScopedEnv ftpProxy("ftp_proxy", proxy.url());
    ScopedEnv allProxy("all_proxy", proxy.url());
    ScopedEnv allProxyUpper("ALL_PROXY", proxy.url());

    FtpServer ftp(f.ftpRoot(), "shop", "s3cret");
    fs::create_directories(f.ftpRoot() + "/patches");
    f.makePatch(f.ftpRoot() + "/patches/POS_9_0_1_03.zip");
    f.publish(f.ftpRoot() + "/patches/Pelvar9_POSftp.dat", {"POS_9_0_1_03.zip:9"});
    f.ftpLocation("POSftp", ftp.port(), "/patches", "shop", "s3cret", false);
    f.writeSettings("Point of Sale", {"POSftp.ini"});
    StartDownloadSession(f.walk);
    EXPECT_TRUE(fs::exists(f.downloaded("POS_9_0_1_03.zip")));
    EXPECT_FALSE(fs::exists(seen)) << "the FTP login went through the proxy";

    ScopedEnv httpProxy("http_proxy", proxy.url());
    const std::string target = f.downloaded("through-proxy.txt");
    EXPECT_TRUE(
        HTTPGetFile(f.walk, "http://127.0.0.1:" + std::to_string(freePort()) + "/x", target));
    EXPECT_EQ(readFile(target), "via proxy");
    EXPECT_TRUE(fs::exists(seen));
}

struct BreakRow {
    const char* mode;
    const char* variable;
    const char* value;
    const char* message;
};

class BrokenTransfer : public ::testing::TestWithParam<BreakRow>, public DownloadFixture {};

TEST_P(BrokenTransfer, IsReportedAndTheRunDoesNotSayCompleted) {
    const BreakRow& row = GetParam();
    ScopedEnv limit(row.variable, row.value);
    publish(www() + "/pos/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9"});
    publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
    PythonServer server(misbehavingHttp(), {www(), row.mode});
    httpLocation("POShttp", server.url() + "/pos");
    writeSettings("Point of Sale", {"POShttp.ini"});
    state.mainWindow = &surface;
    ZipArchive zip;

    DownloadButtonClicked(walk, zip, surface);

    ASSERT_EQ(prompter.boxes.size(), 3U) << testing::PrintToString(prompter.texts());
    EXPECT_EQ(prompter.boxes[0].text, row.message);
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_EQ(prompter.boxes[0].buttons, 48);
    EXPECT_EQ(prompter.boxes[1].text,
              "Download of updates for Pelvar 9 completed with errors. Click Yes to view the log "
              "file");
    EXPECT_FALSE(fs::exists(downloaded("POS_9_0_1_03.zip")));
    for (const auto& entry : fs::directory_iterator(downloads())) {
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    }
    EXPECT_TRUE(state.RunFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, BrokenTransfer,
    ::testing::Values(BreakRow{"trickle", "LIVEUPDATE_MIN_SPEED_SECONDS", "2",
                               "The operation timed out"},
                      BreakRow{"endless", "LIVEUPDATE_MAX_FILE_MB", "1",
                               "The file is larger than the size limit for downloads"},
                      BreakRow{"drop", "LIVEUPDATE_MIN_SPEED_SECONDS", "60",
                               "The connection with the server was terminated abnormally"}),
    [](const auto& row) { return std::string(row.param.mode); });

TEST(ScratchFiles, LinkNamedLikeTheTemporaryFileIsNotFollowed) {
    DownloadFixture f;
    HttpServer server(f.www());
    f.makePatch(f.www() + "/POS_9_0_1_03.zip");
    writeFile(f.dir / "victim.txt", "precious");
    // The partial file and its record of a resumable transfer have fixed names.
    for (const char* suffix : {".partial", ".resume"}) {
        fs::create_symlink(f.dir / "victim.txt", f.downloaded("POS_9_0_1_03.zip") + suffix);
    }
    const std::string target = f.downloaded("POS_9_0_1_03.zip");
    EXPECT_TRUE(HTTPGetFile(f.walk, server.url() + "/POS_9_0_1_03.zip", target, {}, nullptr, true));
    EXPECT_EQ(readFile(f.dir / "victim.txt"), "precious");
    EXPECT_EQ(readFile(target), readFile(f.www() + "/POS_9_0_1_03.zip"));
    EXPECT_FALSE(fs::is_symlink(target));
}

// The FTP transfer checks the folder before it connects (see the settings walk's tests).
TEST(EmptyDownloadPath, IsAMissingFolderNotTheMachinesRoot) {
    DownloadFixture f;
    HttpServer http(f.www());
    f.publish(f.www() + "/Pelvar9_POSempty.dat", {"POS_9_0_1_03.zip:9"});
    f.publish(f.www() + "/Pelvar9_POSempty.P9Q", {});
    f.httpLocation("POSempty", http.url());
    writeFile(f.appFolder() + "/POSDownloadSettings.config",
              "Download path=\r\nDownload File=POSempty.ini\r\n");
    StartDownloadSession(f.walk);
    EXPECT_FALSE(fs::exists("/Pelvar9_POSempty.dat")) << "written to the machine's root";
    fs::remove("/Pelvar9_POSempty.dat");
    ASSERT_FALSE(f.prompter.boxes.empty());
    EXPECT_EQ(f.prompter.boxes[0].text, "Path not found");
    EXPECT_TRUE(f.state.RunFailed);
}

} // namespace
