#include "environment/RegistrySettings.h"

#include "Sandbox.h"

#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::Sandbox;

namespace {

const char* const PosKey = "Software\\Pelvar\\POS";

struct ReadCase {
    std::string name;
    std::string stored;
    std::string expected;
};

class RegistryRead : public testing::TestWithParam<ReadCase> {};

TEST_P(RegistryRead, AbsentValuesReadEmpty) {
    Sandbox sb;
    ASSERT_TRUE(sb.registry.write(PosKey, "PatchVer", GetParam().stored));
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Pos), GetParam().expected);
    // The low-level read applies the same length limit.
    if (GetParam().stored.size() > 200) {
        EXPECT_EQ(ReadRegString(sb.registry, PosKey, "PatchVer"), GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryRead,
    testing::Values(ReadCase{"Plain", "9.0.1.05", "9.0.1.05"},
                    ReadCase{"Longest", std::string(255, 'v'), std::string(255, 'v')},
                    ReadCase{"TooLong", std::string(256, 'v'), ""},
                    ReadCase{"NotString", "--Not String--", ""}, ReadCase{"Empty", "", ""}),
    [](const auto& row) { return row.param.name; });

TEST(RegistrySettings, EmptyIsWrittenAsOneBlank) {
    Sandbox sb;
    std::string value;
    ASSERT_TRUE(WriteRegString(sb.registry, PosKey, "PatchVer", value));
    EXPECT_EQ(value, " ");
    ASSERT_TRUE(WriteSetting(sb.registry, "LastUpdated", "", keysel::Enterprise));
    EXPECT_EQ(ReadSetting(sb.registry, "PatchVer", keysel::Pos), " ");
    EXPECT_EQ(ReadSetting(sb.registry, "LASTUPDATED", keysel::Enterprise), " ");
    EXPECT_EQ(ReadRegString(sb.registry, "Software\\Pelvar\\Nowhere", "PatchVer"), "");
}

TEST(RegistrySettings, SelectorsAddressTheirKeys) {
    Sandbox sb;
    const std::pair<int, const char*> selectors[] = {{keysel::Pos, "POS"},
                                                     {keysel::NodeInfo, "NodeInfo"},
                                                     {keysel::SetupType, "SetupType"},
                                                     {keysel::AppPath, "APPPATH"},
                                                     {keysel::Enterprise, "ENTERPRISE"},
                                                     {keysel::LiveUpdate, "LUInfo"}};
    for (const auto& [selector, key] : selectors) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(WriteSetting(sb.registry, "Probe", key, selector));
        EXPECT_EQ(sb.registry.read(std::string("Software\\Pelvar\\") + key, "probe"), key);
        EXPECT_EQ(ReadSetting(sb.registry, "PROBE", selector), key);
    }
    // Anything else addresses nothing.
    for (int selector : {0, 7}) {
        EXPECT_FALSE(WriteSetting(sb.registry, "Probe", "x", selector));
        EXPECT_EQ(ReadSetting(sb.registry, "Probe", selector), "");
    }
}

TEST(RegistrySettings, SetupTypeFallsBackToThePosSetupTypeKey) {
    Sandbox sb;
    sb.registry.write("Software\\Pelvar\\POSSetupType", "SetupType", "Client");
    EXPECT_EQ(ReadSetting(sb.registry, "SetupType", keysel::SetupType), "Client");
    sb.registry.write("Software\\Pelvar\\SetupType", "SetupType", "--Not String--");
    EXPECT_EQ(ReadSetting(sb.registry, "SetupType", keysel::SetupType), "Client");
    sb.registry.write("Software\\Pelvar\\SetupType", "SetupType", "Server");
    EXPECT_EQ(ReadSetting(sb.registry, "setuptype", keysel::SetupType), "Server");
}

} // namespace
