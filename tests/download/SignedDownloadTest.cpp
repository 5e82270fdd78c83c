#include "CommandLine.h"
#include "DownloadFixture.h"
#include "Servers.h"
#include "download/DownloadSession.h"
#include "platform/crypto/Sha256.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

namespace fs = std::filesystem;
const char* const Archive = "POS_9_0_1_05.zip";

// Runs a real program and returns its exit code.
int shell(const std::string& command) {
    return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str());
}

// An installation that trusts one minisign key (made by the minisign tool) and a web location
// "POSMain" whose files `liveupdate publish` wrote.
class SignedDownload : public ::testing::Test, public DownloadFixture {
  public:
    SignedDownload() : server(www()) {
        for (const char* key : {"trusted", "other"}) {
            shell("minisign -G -W -f -p " + keyFile(key, ".pub") + " -s " + keyFile(key, ".key"));
        }
        makePatch(dir / Archive);
        httpLocation("POSMain", server.url());
        writeSettings("Point of Sale", {"POSMain.ini"});
        useSecurityDatabase();
    }
    std::string keyFile(const std::string& key, const std::string& ext) const {
        return dir / (key + ext);
    }
    CliRun cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--root", root()});
        return runLiveupdate(args);
    }
    void publishAs(const std::string& name, const std::vector<std::string>& extra = {},
                   const std::string& key = "trusted", const std::string& out = {}) {
        const std::string to = out.empty() ? www() : out;
        std::vector<std::string> args{"publish", "--edition",          "POS",   "--name", name,
                                      "--key",   keyFile(key, ".key"), "--out", to};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(dir / (std::string(Archive) + ":9.0.1"));
        ASSERT_EQ(cli(args).exitCode, 0);
    }
    void trust() { ASSERT_EQ(cli({"keys", "add", keyFile("trusted", ".pub")}).exitCode, 0); }
    std::string keyId(const std::string& key) const {
        return text::trim(text::splitAll(files::readLines(keyFile(key, ".pub"))[0], ' ').back());
    }
    void renameInfo(const std::string& from, const std::string& to) {
        for (const char* ext : {".dat", ".P9Q", ".dat.minisig", ".P9Q.minisig"}) {
            fs::rename(www() + "/Pelvar9_" + from + ext, www() + "/Pelvar9_" + to + ext);
        }
    }
    // Signs both hand-written update-information files with the minisign tool itself.
    void minisignSign(const std::string& comment) {
        for (const char* ext : {".dat", ".P9Q"}) {
            ASSERT_EQ(shell("minisign -S -s " + keyFile("trusted", ".key") + " -m " + www() +
                            "/Pelvar9_POSMain" + ext + " -t '" + comment + "'"),
                      0);
        }
    }
    void run() { StartDownloadSession(walk); }
    std::string onServer(const std::string& name) const { return www() + "/" + name; }

    HttpServer server;
};

TEST_F(SignedDownload, PublishedFilesVerifyWithMinisignAndDownload) {
    publishAs("POSMain");
    for (const char* ext : {".dat", ".P9Q"}) {
        EXPECT_EQ(shell("minisign -Vm " + www() + "/Pelvar9_POSMain" + ext + " -p " +
                        keyFile("trusted", ".pub")),
                  0);
    }
    // Without a trusted key nothing changes but one line.
    run();
    EXPECT_TRUE(logHas("Update information of POSMain is not signed."));
    EXPECT_TRUE(fs::exists(downloaded(Archive)));

    trust();
    EXPECT_EQ(cli({"keys", "list"}).out.substr(0, keyId("trusted").size() + 2),
              keyId("trusted") + "  ");
    // An id typed in lower case with a leading zero names the same key; a path names none.
    EXPECT_EQ(cli({"keys", "remove", "../trusted-keys/x"}).exitCode, 2);
    EXPECT_EQ(cli({"keys", "remove", "0" + text::lower(keyId("trusted"))}).exitCode, 0);
    EXPECT_EQ(cli({"keys", "list"}).out.find(keyId("trusted")), std::string::npos);
}

// lighttpd with TLS, its certificate made here with openssl.
TEST_F(SignedDownload, HttpsTrustsTheCaFileAndChecksTheHostName) {
    const std::string tls = dir / "tls";
    fs::create_directories(tls);
    // A self-signed certificate for 127.0.0.1 only is its own certificate authority.
    ASSERT_EQ(shell("cd " + tls +
                    " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                    "-addext subjectAltName=IP:127.0.0.1 -keyout srv.key -out ca.pem && cat "
                    "ca.pem srv.key > srv.pem"),
              0);
    const int port = freePort();
    writeFile(tls + "/lighttpd.conf",
              "server.modules += (\"mod_openssl\")\nserver.bind = \"127.0.0.1\"\nserver.port = " +
                  std::to_string(port) + "\nserver.document-root = \"" + www() +
                  "\"\nssl.engine = \"enable\"\nssl.pemfile = \"" + tls + "/srv.pem\"\n");
    ChildProcess tlsServer({"/usr/sbin/lighttpd", "-D", "-f", tls + "/lighttpd.conf"},
                           tls + "/log");
    ASSERT_TRUE(waitForPort(port, 10)) << readFile(tls + "/log");
    publishAs("POSMain");
    const auto fetchFrom = [&](const std::string& hostName, bool withCa) {
        fs::remove(downloaded(Archive));
        httpLocation("POSMain", "https://" + hostName + ":" + std::to_string(port));
        if (withCa) {
            setenv("LIVEUPDATE_CA_FILE", (tls + "/ca.pem").c_str(), 1);
        }
        try {
            run();
        } catch (const RunStopped&) {
            // A location that cannot be opened ends the downloader.
        }
        unsetenv("LIVEUPDATE_CA_FILE");
        return fs::exists(downloaded(Archive));
    };
    EXPECT_TRUE(fetchFrom("127.0.0.1", true));
    EXPECT_FALSE(fetchFrom("127.0.0.1", false));
    EXPECT_FALSE(fetchFrom("localhost", true));
    EXPECT_NE(logText().find("Secure connection to https://localhost:"), std::string::npos);
}

// Each row: how the published location is tampered with, and the reason the log gives.
struct Attack {
    const char* name;
    std::function<void(SignedDownload&)> tamper;
    const char* why;
};

class Attacks : public SignedDownload, public ::testing::WithParamInterface<Attack> {};

TEST_P(Attacks, AreRefusedWithTheirReason) {
    trust();
    publishAs("POSMain", {"--serial", "10"});
    GetParam().tamper(*this);
    run();
    EXPECT_NE(logText().find(std::string(" refused: ") + GetParam().why), std::string::npos)
        << logText();
    EXPECT_FALSE(fs::exists(downloaded(Archive)));
    EXPECT_TRUE(state.RunFailed);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Signed, Attacks,
    ::testing::Values(
        Attack{"Unsigned", [](SignedDownload& f) {
                   fs::remove(f.onServer("Pelvar9_POSMain.dat.minisig"));
                   fs::remove(f.onServer("Pelvar9_POSMain.P9Q.minisig")); },
               "no signature (Pelvar9_POSMain.dat.minisig)."},
        Attack{"UntrustedKey", [](SignedDownload& f) { f.publishAs("POSMain", {}, "other"); },
               "signed by unknown key "},
        Attack{"MovedFromAnotherLocation", [](SignedDownload& f) { f.publishAs("POSOther");
                   f.renameInfo("POSOther", "POSMain"); },
               "wrong location: signed for edition POS location POSOther, not edition POS "
               "location POSMain."},
        Attack{"OlderSerial", [](SignedDownload& f) { f.run(); fs::remove(f.downloaded(Archive));
                   f.publishAs("POSMain", {"--serial", "9"}); },
               "serial 9 below 10."},
        // Signed by the minisign tool itself: its signature verifies, only the date refuses.
        Attack{"Expired", [](SignedDownload& f) { f.minisignSign("edition=POS name=POSMain "
                   "serial=11 expires=2001-01-01T00:00:00Z p9q=" +
                   crypto::sha256OfBytes(readFile(f.onServer("Pelvar9_POSMain.P9Q")))); },
               "expired on 2001-01-01T00:00:00Z (local UTC time "},
        Attack{"OtherP9q", [](SignedDownload& f) {
                   const std::string p9q = f.onServer("Pelvar9_POSMain.P9Q");
                   writeFile(p9q, readFile(p9q) + "// extra\r\n"); },
               "the signature of Pelvar9_POSMain.P9Q does not verify."},
        Attack{"KeysFolderGone",
               [](SignedDownload& f) { fs::remove_all(f.root() + "/etc/pelvar/trusted-keys"); },
               "the trusted keys folder "},
        Attack{"ChangedByte", [](SignedDownload& f) {
                   std::string bytes = readFile(f.onServer(Archive));
                   bytes[bytes.size() / 2] ^= 1; writeFile(f.onServer(Archive), bytes); },
               "SHA-256 "},
        Attack{"LongerThanSigned", [](SignedDownload& f) {
                   writeFile(f.onServer(Archive), readFile(f.onServer(Archive)) + "x"); },
               "more than the signed size "}),
    [](const ::testing::TestParamInfo<Attack>& row) { return row.param.name; });
// clang-format on

// A broken line: `liveupdate download` killed half way through a throttled archive, then run
// again. Rows: HTTP or FTP, signed or not; the server's file unchanged (the rerun fetches only
// the rest: a 206, or a RETR after REST) or republished (the rerun starts over).
struct Interruption {
    const char* name;
    bool ftp;
    bool signedMode;
    bool changed;
};

class Resume : public SignedDownload, public ::testing::WithParamInterface<Interruption> {
  public:
    std::string served() const { return GetParam().ftp ? ftpRoot() : www(); }
    // Random bytes do not compress: the archive stays large enough to interrupt.
    void bigPatch(unsigned seed) {
        std::string bytes(3 << 20, '\0');
        std::ifstream("/dev/urandom", std::ios::binary).read(bytes.data(), 3 << 20);
        makeZip(dir / Archive, {{"payload.bin", bytes}});
        if (GetParam().signedMode) {
            publishAs("POSMain", {}, "trusted", served());
        } else {
            fs::copy_file(dir / Archive, served() + "/" + Archive,
                          fs::copy_options::overwrite_existing);
            publish(served() + "/Pelvar9_POSMain.dat", {std::string(Archive) + ":1/2/2026:9.0.1"});
        }
        // A republished file is newer by whole seconds, as MDTM and Last-Modified count them.
        const std::string file = served() + "/" + Archive;
        fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(seed * 10));
    }
    std::vector<std::string> downloadArgs() const {
        return {"--root", root(),     "--app-folder", appFolder(),
                "--no",   "download", "--edition",    "POS"};
    }
    // The last transfer of the archive the server logged: "GET /NAME ... STATUS BYTES", or
    // "RETR PATH completed=0|1 bytes=N ...".
    static std::string lastTransfer(const std::string& log) {
        std::string last;
        for (const auto& line : text::splitAll(log, '\n')) {
            if (line.starts_with(std::string("GET /") + Archive) ||
                line.find(std::string(Archive) + " completed=") != std::string::npos) {
                last = line;
            }
        }
        return last;
    }
};

TEST_P(Resume, ContinuesOnlyTheSameFile) {
    const bool ftp = GetParam().ftp;
    HttpServer slowHttp(www(), 1024);
    FtpServer slowFtp(ftpRoot(), "shop", "s3cret", 1024);
    if (ftp) {
        ftpLocation("POSMain", slowFtp.port(), "/", "shop", "s3cret", false);
    } else {
        httpLocation("POSMain", slowHttp.url());
    }
    if (GetParam().signedMode) {
        trust();
    }
    bigPatch(1);
    std::vector<std::string> argv = downloadArgs();
    argv.insert(argv.begin(), binaryDir() + "/liveupdate");
    ChildProcess client(argv, dir / "client.log");
    const std::string partial = downloaded(Archive) + ".partial";
    waitUntil([&] { return fs::exists(partial) && fs::file_size(partial) >= (1 << 20); }, 30);
    ::kill(client.pid(), SIGKILL);
    client.stop();
    ASSERT_TRUE(fs::exists(partial)) << readFile(dir / "client.log");
    ASSERT_TRUE(fs::exists(downloaded(Archive) + ".resume")) << readFile(dir / "client.log");
    const auto kept = static_cast<long long>(fs::file_size(partial));
    if (GetParam().changed) {
        bigPatch(2);
    }
    const auto size = static_cast<long long>(fs::file_size(served() + "/" + Archive));

    const CliRun rerun = runLiveupdate(downloadArgs());
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_EQ(readFile(downloaded(Archive)), readFile(served() + "/" + Archive));
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(downloaded(Archive) + ".resume"));
    // Servers write their logs in their own time. The last transfer sends the rest only.
    const std::string bytes = std::to_string(GetParam().changed ? size : size - kept);
    const std::string expected = ftp                  ? " completed=1 bytes=" + bytes + " "
                                 : GetParam().changed ? " 200 " + bytes
                                                      : " 206 " + bytes;
    const auto log = [&] { return ftp ? slowFtp.log() : slowHttp.accessLog(); };
    EXPECT_TRUE(waitUntil([&] {
        const std::string last = lastTransfer(log());
        return ftp ? last.find(expected) != std::string::npos : last.ends_with(expected);
    })) << expected
        << "\n"
        << log();
}

INSTANTIATE_TEST_SUITE_P(Download, Resume,
                         ::testing::Values(Interruption{"Http", false, false, false},
                                           Interruption{"HttpChanged", false, false, true},
                                           Interruption{"HttpSigned", false, true, false},
                                           Interruption{"HttpRepublished", false, true, true},
                                           Interruption{"Ftp", true, false, false},
                                           Interruption{"FtpChanged", true, false, true},
                                           Interruption{"FtpSigned", true, true, false}),
                         [](const auto& row) { return row.param.name; });

} // namespace
