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

// ---- Archive names that would leave the download folder -------------------------------

enum class Site { Http, Ftp, PosUnderscore };

struct NameRow {
    const char* label;
    Site site;
    std::string name;
};

class UnplainArchiveName : public ::testing::TestWithParam<NameRow>, public DownloadFixture {
  protected:
    UnplainArchiveName() : http(www()), ftp(ftpRoot(), "shop", "s3cret") {
        fs::create_directories(www() + "/pos");
        fs::create_directories(ftpRoot() + "/pos");
        // Whatever the name resolves to on the server exists, so only the client can refuse.
        makePatch(www() + "/" + Escaped);
        makePatch(ftpRoot() + "/" + Escaped);
    }
    HttpServer http;
    FtpServer ftp;
};

TEST_P(UnplainArchiveName, IsATamperedEntry) {
    const NameRow& row = GetParam();
    const std::string description = row.site == Site::PosUnderscore ? "POS_extra" : "POSsite";
    const std::vector<std::string> entries{row.name + ":9.0.1"};
    if (row.site == Site::Ftp) {
        publish(ftpRoot() + "/pos/Pelvar9_" + description + ".dat", entries);
        ftpLocation(description, ftp.port(), "/pos", "shop", "s3cret", false);
    } else {
        publish(www() + "/pos/Pelvar9_" + description + ".dat", entries);
        publish(www() + "/pos/Pelvar9_" + description + ".P9Q", {});
        httpLocation(description, http.url() + "/pos");
    }
    writeSettings("Point of Sale", {description + ".ini"});

    EXPECT_THROW(StartDownloadSession(state), RunStopped);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Updates Information Tampered"});
    EXPECT_TRUE(state.RunFailed);
    EXPECT_FALSE(fs::exists(dir / Escaped)) << "written outside the download folder";
    EXPECT_EQ(state.PatchFiles + state.CustomPatchFiles, "");
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnplainArchiveName,
    ::testing::Values(NameRow{"HttpParentFolder", Site::Http, std::string("../") + Escaped},
                      NameRow{"FtpParentFolder", Site::Ftp, std::string("../") + Escaped},
                      NameRow{"PosUnderscoreLocation", Site::PosUnderscore,
                              std::string("../") + Escaped},
                      NameRow{"AbsolutePath", Site::Http, "/tmp/POS_9_0_1_05.zip"},
                      NameRow{"Backslash", Site::Http, "..\\POS_9_0_1_05.zip"},
                      NameRow{"ParentItself", Site::Ftp, ".."},
                      NameRow{"ControlCharacter", Site::Http, "POS_9_0_1_05\x01.zip"}),
    [](const auto& row) { return std::string(row.param.label); });

// ---- Redirects -----------------------------------------------------------------------

class Redirect : public ::testing::TestWithParam<const char*>, public DownloadFixture {};

TEST_P(Redirect, IsAUrlThatCannotBeOpened) {
    PythonServer server(misbehavingHttp(), {www(), "plain", dir / "seen.txt"});
    const std::string location = server.url() + GetParam();
    httpLocation("POShttp", location);
    writeSettings("Point of Sale", {"POShttp.ini"});

    EXPECT_THROW(StartDownloadSession(state), RunStopped);
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

// ---- Proxies from the environment ----------------------------------------------------

// Records each connection and answers it as an HTTP proxy would, with a body of its own.
const char* const RecordingProxy = R"PY(
SEEN = ARGS[0]
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', PORT)); s.listen(8)
while True:
    c, _ = s.accept()
    try:
        c.settimeout(2)
        request = c.recv(4096)
        if request:
            with open(SEEN, 'a') as f:
                f.write(request.decode(errors='replace').splitlines()[0] + '\n')
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
    StartDownloadSession(f.state);
    EXPECT_TRUE(fs::exists(f.downloaded("POS_9_0_1_03.zip")));
    EXPECT_FALSE(fs::exists(seen)) << "the FTP login went through the proxy";

    ScopedEnv httpProxy("http_proxy", proxy.url());
    const std::string target = f.downloaded("through-proxy.txt");
    EXPECT_TRUE(
        HTTPGetFile(f.state, "http://127.0.0.1:" + std::to_string(freePort()) + "/x", target));
    EXPECT_EQ(readFile(target), "via proxy");
    EXPECT_TRUE(fs::exists(seen));
}

// ---- Transfers that break off ---------------------------------------------------------

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
    fs::create_directories(www() + "/pos");
    publish(www() + "/pos/Pelvar9_POShttp.dat", {"POS_9_0_1_03.zip:9"});
    publish(www() + "/pos/Pelvar9_POShttp.P9Q", {});
    PythonServer server(misbehavingHttp(), {www(), row.mode, dir / "seen.txt"});
    httpLocation("POShttp", server.url() + "/pos");
    writeSettings("Point of Sale", {"POShttp.ini"});
    state.mainWindow = &surface;
    ZipArchive zip;

    DownloadButtonClicked(state, zip, surface);

    ASSERT_EQ(prompter.boxes.size(), 3U) << testing::PrintToString(prompter.texts());
    EXPECT_EQ(prompter.boxes[0].text, row.message);
    EXPECT_EQ(prompter.boxes[0].title, "HTTP Download");
    EXPECT_EQ(prompter.boxes[0].buttons, 48);
    EXPECT_EQ(prompter.boxes[1].text,
              "Download of updates for Pelvar 9 completed with errors. Click Yes to view the log "
              "file");
    EXPECT_FALSE(logHas("Failed Downloading File: POS_9_0_1_03.zip"))
        << "the message already reports it";
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

// ---- Scratch files and an empty download path -----------------------------------------

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
    EXPECT_TRUE(
        HTTPGetFile(f.state, server.url() + "/POS_9_0_1_03.zip", target, {}, nullptr, true));
    EXPECT_EQ(readFile(f.dir / "victim.txt"), "precious");
    EXPECT_EQ(readFile(target), readFile(f.www() + "/POS_9_0_1_03.zip"));
    EXPECT_FALSE(fs::is_symlink(target));
}

struct EmptyPathRow {
    const char* label;
    bool ftp;
    const char* message;
};

class EmptyDownloadPath : public ::testing::TestWithParam<EmptyPathRow>, public DownloadFixture {};

TEST_P(EmptyDownloadPath, IsAMissingFolder) {
    const EmptyPathRow& row = GetParam();
    const std::string description = std::string("POSempty") + row.label;
    const std::string served = row.ftp ? ftpRoot() : www();
    publish(served + "/Pelvar9_" + description + ".dat", {"POS_9_0_1_03.zip:9"});
    publish(served + "/Pelvar9_" + description + ".P9Q", {});
    HttpServer http(www());
    FtpServer ftp(ftpRoot(), "shop", "s3cret");
    if (row.ftp) {
        ftpLocation(description, ftp.port(), "", "shop", "s3cret", false);
    } else {
        httpLocation(description, http.url());
    }
    writeFile(appFolder() + "/POSDownloadSettings.config",
              "Download path=\r\nDownload File=" + description + ".ini\r\n");
    StartDownloadSession(state);

    const std::string outside = "/Pelvar9_" + description + ".dat";
    EXPECT_FALSE(fs::exists(outside)) << "written to the machine's root";
    fs::remove(outside);
    ASSERT_FALSE(prompter.boxes.empty());
    EXPECT_EQ(prompter.boxes[0].text, row.message);
    EXPECT_TRUE(state.RunFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, EmptyDownloadPath,
    ::testing::Values(EmptyPathRow{"Http", false, "Path not found"},
                      EmptyPathRow{"Ftp", true, "Mentioned download path is not available."}),
    [](const auto& row) { return std::string(row.param.label); });

} // namespace
