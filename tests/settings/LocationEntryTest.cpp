#include "settings/LocationEntry.h"

#include "LocationFiles.h"
#include "Sandbox.h"
#include "environment/AppState.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::readFile;

namespace {

LocationEntry typed(const std::string& type, const std::string& host,
                    const std::string& port = {}) {
    LocationEntry e;
    e.edition = "Point of Sale";
    e.name = "Branch";
    e.type = type;
    e.remoteHost = host;
    e.remotePort = port;
    return e;
}

struct AddressCase {
    const char* name;
    LocationEntry entry;
    const char* message; // empty when accepted
    EntryControl focus;
    const char* location;
    const char* folder;
};

LocationEntry withProxy(LocationEntry e, const std::string& address, const std::string& port) {
    e.proxy = true;
    e.proxyAddress = address;
    e.proxyPort = port;
    return e;
}

LocationEntry withPasswords(LocationEntry e, const std::string& password,
                            const std::string& confirmation) {
    e.password = password;
    e.confPassword = confirmation;
    return e;
}

class EditorAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(EditorAddress, IsCheckedAndSplit) {
    const AddressCase& c = GetParam();
    const EntryCheck check = ValidateEntry(c.entry);
    EXPECT_EQ(check.ok, std::string(c.message).empty());
    EXPECT_EQ(check.message, c.message);
    EXPECT_EQ(check.focus, c.focus);
    EXPECT_EQ(check.ValidatedLocation, c.location);
    EXPECT_EQ(check.ValidatedFolder, c.folder);
}

using C = EntryControl;
INSTANTIATE_TEST_SUITE_P(
    Entries, EditorAddress,
    ::testing::Values(
        AddressCase{"HttpHostWithPort", typed("HTTP", "host/patches", "8080"), "", C::None,
                    "http://host/patches:8080", ""},
        AddressCase{"HttpSchemeTypedInCapitals", typed("HTTP", "HTTP://host/p"), "", C::None,
                    "HTTP://host/p", ""},
        AddressCase{"FtpInCapitals", typed("FTP", "FTP://host/a/b"), "", C::None, "FTP://host",
                    "/a/b"},
        AddressCase{"FtpWithoutScheme", typed("FTP", "host/dir1/dir2"), "", C::None, "ftp://host",
                    "/dir1/dir2"},
        AddressCase{"PortBeyondTheValidRange", typed("HTTP", "host", "99999"), "", C::None,
                    "http://host:99999", ""},
        AddressCase{"NoTypeChosen", typed("", "host"), "Select the Patch Update media",
                    C::cmbDownLdType, "", ""},
        AddressCase{"HttpSchemeAlone", typed("HTTP", "http://"), "Invalid Web Address",
                    C::txtRemoteHost, "", ""},
        AddressCase{"FtpWithoutFolder", typed("FTP", "ftp://host"), "Invalid Web Address",
                    C::txtRemoteHost, "", ""},
        AddressCase{"FtpWithARootSlashOnly", typed("FTP", "ftp://host/"), "Invalid Web Address",
                    C::txtRemoteHost, "", ""},
        AddressCase{"BlankHost", typed("HTTP", "   "), "Please Enter Web Server Address.",
                    C::txtRemoteHost, "", ""},
        AddressCase{"PortNotNumeric", typed("HTTP", "host", "80a"), "Invalid Remote Port No.",
                    C::txtRemotePort, "", ""},
        AddressCase{"ProxyTickedWithoutAddress", withProxy(typed("HTTP", "host"), " ", "8080"),
                    "Please Enter Proxy Server Address.", C::txtProxy, "", ""},
        AddressCase{"ProxyPortNotNumeric", withProxy(typed("HTTP", "host"), "proxy", "x1"),
                    "Invalid Remote Port No.", C::txtproxyPort, "", ""},
        AddressCase{"PasswordsDiffer", withPasswords(typed("FTP", "h/p"), "one", "two"),
                    "Passwords do not match.", C::txtConfPassword, "", ""},
        AddressCase{"ConfirmationWithTrailingBlank",
                    withPasswords(typed("FTP", "h/p"), "secret ", "secret"), "", C::None, "ftp://h",
                    "/p"}),
    [](const auto& row) { return std::string(row.param.name); });

class SaveLocationTest : public ::testing::Test {
  protected:
    std::string app(const std::string& name) const { return box.appFolder() + "/" + name; }

    test::Sandbox box;
};

TEST_F(SaveLocationTest, WritesTwelveScrambledLinesWithTheUntrimmedPassword) {
    LocationEntry e = withPasswords(typed("FTP", "FTP://host/a/b", "21"), "pw ", "pw");
    e.userName = "patches";
    e.activeFtp = true;
    e.proxyAddress = "left over"; // the proxy is not ticked: nothing of it is stored
    ASSERT_TRUE(SaveLocation(box.state, e, false).ok);

    const std::string bytes = readFile(app("Branch.ini"));
    EXPECT_EQ(bytes.find("Product"), std::string::npos) << "lines are stored scrambled";
    EXPECT_EQ(test::unscrambledLines(app("Branch.ini")),
              (std::vector<std::string>{"Product=Point of Sale", "Description=Branch",
                                        "Download Type=FTP", "Location=FTP://host",
                                        "Folder Location =/a/b", "Port=21", "User Name =patches",
                                        "Password =pw ", "ConnectToProxy=0",
                                        "Proxy Address=", "Proxy Port=", "Active FTP=YES"}));
    // Twelve CR LF line ends, the last line's included; scrambling never yields CR or LF.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 12);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 12);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_F(SaveLocationTest, AddingRegistersTheLocationInItsEditionsSettingsFile) {
    test::writeFile(app("HODownloadSettings.config"),
                    "Download path=/d\r\nDownload File=hohttp.ini\r\n");
    LocationEntry e = typed("HTTP", "host/patches");
    e.edition = "Head Office";
    ASSERT_TRUE(SaveLocation(box.state, e, false).ok);
    EXPECT_EQ(readFile(app("HODownloadSettings.config")),
              "Download path=/d\r\nDownload File=hohttp.ini\r\nDownload File=Branch.ini\r\n");
    EXPECT_FALSE(files::fileExists(app("POSDownloadSettings.config")));
    // A first location of the other edition starts its file with the folder line.
    box.state.DownloadFolder = "/srv/patches";
    e.edition = "Point of Sale";
    e.name = "Shop";
    ASSERT_TRUE(SaveLocation(box.state, e, false).ok);
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")),
              "Download path=/srv/patches\r\nDownload File=Shop.ini\r\n");
}

TEST_F(SaveLocationTest, ADuplicateNameIsRefusedAndNothingIsWritten) {
    test::writeFile(app("Branch.ini"), "old");
    test::writeFile(app("POSDownloadSettings.config"), "Download path=/p\r\n");
    const EntryCheck check = SaveLocation(box.state, typed("HTTP", "host/p"), false);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.focus, EntryControl::txtLocCaption);
    EXPECT_EQ(check.entry.name, "");
    ASSERT_EQ(box.prompter.boxes.size(), 1U);
    EXPECT_EQ(box.prompter.boxes[0].text,
              "This Download Location already exist, Enter a diffrent download location name");
    EXPECT_EQ(box.prompter.boxes[0].title, "Pelvar 9 LiveUpdate");
    EXPECT_EQ(readFile(app("Branch.ini")), "old");
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")), "Download path=/p\r\n");
}

TEST_F(SaveLocationTest, ModifyingRewritesTheFileOnlyAndKeepsUntouchedProxySettings) {
    test::writeFile(app("POSDownloadSettings.config"),
                    "Download path=/p\r\nDownload File=Branch.ini\r\n");
    LocationRecord stored = test::location("Point of Sale", "Branch", "HTTP", "http://old");
    stored.ConnectToProxy = "1";
    stored.ProxyAddress = "proxy.local";
    stored.ProxyPort = "3128";
    test::writeFile(app("Branch.ini"), test::locationFileBytes(stored));

    LocationEntry e = entryFromLocation(stored, "Point of Sale");
    e.remoteHost = "new.example/patches";
    ASSERT_TRUE(SaveLocation(box.state, e, true).ok);
    const auto lines = test::unscrambledLines(app("Branch.ini"));
    ASSERT_EQ(lines.size(), 12U);
    EXPECT_EQ(lines[3], "Location=http://new.example/patches");
    EXPECT_EQ(lines[8], "ConnectToProxy=1");
    EXPECT_EQ(lines[9], "Proxy Address=proxy.local");
    EXPECT_EQ(lines[10], "Proxy Port=3128");
    EXPECT_EQ(readFile(app("POSDownloadSettings.config")),
              "Download path=/p\r\nDownload File=Branch.ini\r\n");
}

} // namespace
