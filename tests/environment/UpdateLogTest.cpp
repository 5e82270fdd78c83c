#include "environment/UpdateLog.h"

#include "Sandbox.h"
#include "platform/base/RunTimeError.h"
#include "platform/text/DateText.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::Sandbox;

namespace {

TEST(UpdateLog, AppendsTimestampedAndRawLines) {
    Sandbox sb;
    LogWrite(sb.state, "Verifying the zip files.");
    LogWrite(sb.state, "");
    LogWrite(sb.state, "-----------", "1");
    const std::string text = readFile(logFilePath(sb.downloads()));
    // The stamp is the general date: "M/D/YYYY h:mm:ss AM" (the time left out at midnight).
    const std::string stamp = R"((\d{1,2}/\d{1,2}/\d{4}(?: \d{1,2}:\d{2}:\d{2} [AP]M)?))";
    const std::regex shape(stamp + ":Verifying the zip files\\.\r\n" + stamp +
                           ":\r\n-----------\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    EXPECT_TRUE(datetext::parse(m[1])) << m[1];
}

TEST(UpdateLog, MissingFolderRaisesAndCreatesNothing) {
    Sandbox sb;
    sb.state.DownloadFolder = sb.dir / "gone/downloads";
    try {
        LogWrite(sb.state, "Downloading File: POS_9.0.1.05.zip");
        FAIL() << "no error raised";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), err::PathNotFound);
    }
    EXPECT_FALSE(std::filesystem::exists(sb.dir / "gone"));
}

} // namespace
