#include "environment/UpdateLog.h"

#include "Sandbox.h"
#include "platform/text/DateText.h"
#include "platform/base/RunTimeError.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace pelvar;
using pelvar::test::readFile;
using pelvar::test::Sandbox;

namespace {

TEST(UpdateLog, AppendsTimestampedAndRawLines) {
    Sandbox sb;
    const auto before = datetext::now();
    LogWrite(sb.state, "Verifying the zip files.");
    LogWrite(sb.state, "");
    LogWrite(sb.state, "-----------", "1");
    LogWrite(sb.state, "Unziping Files: POS_9.0.1.05.zip");
    const auto after = datetext::now();

    const std::string text = readFile(logFilePath(sb.downloads()));
    const std::regex shape("(.*):Verifying the zip files\\.\r\n"
                           "(.*):\r\n"
                           "-----------\r\n"
                           "(.*):Unziping Files: POS_9\\.0\\.1\\.05\\.zip\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    for (int i = 1; i <= 3; ++i) {
        // Every stamp is the general date of a moment during the calls.
        const std::string stamp = m[i];
        EXPECT_TRUE(stamp == datetext::generalDate(before) || stamp == datetext::generalDate(after))
            << stamp;
        EXPECT_TRUE(datetext::parse(stamp)) << stamp;
    }
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
