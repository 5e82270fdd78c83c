#include "DownloadFixture.h"
#include "HostileServers.h"
#include "download/DownloadRun.h"
#include "download/DownloadSession.h"
#include "platform/ZipArchive.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// pyftpdlib with every command line written to ARGS[3]; a RETR of a name holding "_04"
// is refused with 426, as a server does when the data connection breaks.
const char* const RecordingFtp = R"PY(
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
ROOT, USER, PASSWORD, COMMANDS = ARGS
class Handler(FTPHandler):
    auth_failed_timeout = 0
    def pre_process_command(self, line, cmd, arg):
        with open(COMMANDS, 'a') as f:
            f.write(line + '\n')
        return FTPHandler.pre_process_command(self, line, cmd, arg)
    def ftp_RETR(self, file):
        if '_04' in os.path.basename(file):
            self.respond('426 Connection closed; transfer aborted.')
            return
        return FTPHandler.ftp_RETR(self, file)
authorizer = DummyAuthorizer()
authorizer.add_user(USER, PASSWORD, ROOT, perm='elr')
Handler.authorizer = authorizer
FTPServer(('127.0.0.1', PORT), Handler).serve_forever()
)PY";

class FtpWire : public ::testing::Test, public DownloadFixture {
  protected:
    FtpWire() : server(RecordingFtp, {ftpRoot(), "shop", "s3cret", dir / "commands.txt"}) {
        fs::create_directories(ftpRoot() + "/s1/f1");
        state.SelectedEdition = surface.edition = "Head Office";
    }
    std::vector<std::string> commands() const {
        std::vector<std::string> lines;
        std::istringstream in(readFile(dir / "commands.txt"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    bool sent(const std::string& prefix) const {
        for (const auto& line : commands()) {
            if (line.starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }
    PythonServer server;
};

class FtpWireModes : public FtpWire, public ::testing::WithParamInterface<bool> {};

TEST_P(FtpWireModes, SendsTheFolderAndNameExactlyInTheChosenMode) {
    const bool active = GetParam();
    makePatch(ftpRoot() + "/s1/f1/HO_9_0_1_03.zip");
    publish(ftpRoot() + "/s1/f1/Pelvar9_HOftp.dat", {"HO_9_0_1_03.zip:9"});
    ftpLocation("HOftp", server.port(), "/s1/f1", "shop", "s3cret", active, "Head Office");
    writeSettings("Head Office", {"HOftp.ini"});
    StartDownloadSession(state);

    EXPECT_TRUE(fs::exists(downloaded("HO_9_0_1_03.zip")));
    EXPECT_TRUE(sent("RETR /s1/f1/Pelvar9_HOftp.dat"));
    EXPECT_TRUE(sent("RETR /s1/f1/HO_9_0_1_03.zip"));
    EXPECT_FALSE(sent("RETR //"));
    const bool passive = sent("PASV") || sent("EPSV");
    const bool activeSent = sent("PORT") || sent("EPRT");
    EXPECT_EQ(passive, !active);
    EXPECT_EQ(activeSent, active);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpWireModes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Active" : "Passive"; });

TEST_F(FtpWire, RefusedTransferIsReportedWithTheServersReply) {
    makePatch(ftpRoot() + "/s1/f1/HO_9_0_1_03.zip");
    makePatch(ftpRoot() + "/s1/f1/HO_9_0_1_04.zip");
    publish(ftpRoot() + "/s1/f1/Pelvar9_HOftp.dat", {"HO_9_0_1_04.zip:9", "HO_9_0_1_03.zip:9"});
    ftpLocation("HOftp", server.port(), "/s1/f1", "shop", "s3cret", false, "Head Office");
    writeSettings("Head Office", {"HOftp.ini"});
    state.mainWindow = &surface;
    ZipArchive zip;
    DownloadButtonClicked(state, zip, surface);

    ASSERT_GE(prompter.boxes.size(), 2U);
    EXPECT_EQ(prompter.boxes[0].text,
              "FtpGetFile Extd Err: 426 426 Connection closed; transfer aborted.");
    EXPECT_EQ(prompter.boxes[1].text, "Download of updates for Pelvar 9 completed with errors. "
                                      "Click Yes to view the log file");
    EXPECT_FALSE(logHas("Failed Downloading File: HO_9_0_1_04.zip"));
    EXPECT_FALSE(fs::exists(downloaded("HO_9_0_1_04.zip")));
    // The report closes the session, so the next name fails without a reply: only the log says so.
    EXPECT_TRUE(logHas("Failed Downloading File: HO_9_0_1_03.zip"));
}

} // namespace
