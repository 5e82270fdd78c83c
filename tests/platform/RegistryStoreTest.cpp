#include "platform/RegistryStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using pelvar::IniRegistryStore;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

const char* const PosKey = "Software\\Pelvar\\POS";

TEST(IniRegistryStore, NamesAndKeysCompareIgnoringCase) {
    TempDir dir;
    IniRegistryStore store(dir / "etc/pelvar/registry.ini");
    ASSERT_TRUE(store.write(PosKey, "PatchVer", "9.0.1.04"));
    // A differently spelt write replaces the value instead of adding a second one.
    ASSERT_TRUE(store.write("HKLM\\SOFTWARE\\pelvar\\pos", "PATCHVER", "9.0.1.05"));
    EXPECT_EQ(store.read("software/pelvar/Pos", "patchver"), "9.0.1.05");
    const auto values = store.list(PosKey);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "PatchVer");

    EXPECT_TRUE(store.remove(PosKey, "patchVER"));
    EXPECT_FALSE(store.read(PosKey, "PatchVer"));
    EXPECT_FALSE(store.remove(PosKey, "PatchVer"));
    EXPECT_FALSE(store.read("Software\\Pelvar\\Missing", "PatchVer"));
}

TEST(IniRegistryStore, TextsSurviveTheIniSyntax) {
    TempDir dir;
    IniRegistryStore store(dir / "registry.ini");
    for (const std::string value : {" ", "a, b", "C:\\Pelvar\\Downloads", "x=y;z", "\"q\"",
                                    "  padded  ", "#not a comment", "@Variant(1)"}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(store.write(PosKey, "Value", value));
        EXPECT_EQ(store.read(PosKey, "Value"), value);
    }
}

TEST(IniRegistryStore, NonStringValuesReadAsAbsent) {
    TempDir dir;
    writeFile(dir / "registry.ini", "[Software]\n"
                                    "Pelvar\\POS\\Blob=@ByteArray(abc)\n"
                                    "Pelvar\\POS\\Size=@Size(1 2)\n"
                                    "Pelvar\\POS\\Plain=9.0.1.05\n");
    IniRegistryStore store(dir / "registry.ini");
    EXPECT_FALSE(store.read(PosKey, "Blob"));
    EXPECT_FALSE(store.read(PosKey, "Size"));
    EXPECT_EQ(store.read(PosKey, "Plain"), "9.0.1.05");
}

TEST(IniRegistryStore, TwoStoresOnOneFileKeepEachOthersValues) {
    TempDir dir;
    IniRegistryStore first(dir / "registry.ini");
    IniRegistryStore second(dir / "registry.ini");
    ASSERT_TRUE(first.write("Software\\Pelvar\\LUInfo", "POSDownloadPath", "/srv/pos"));
    ASSERT_TRUE(second.write("Software\\Pelvar\\LUInfo", "HODownloadPath", "/srv/ho"));
    ASSERT_TRUE(first.write("Software\\Pelvar\\POS", "PatchVer", "9.0.1.05"));
    EXPECT_EQ(second.read("Software\\Pelvar\\LUInfo", "POSDownloadPath"), "/srv/pos");
    EXPECT_EQ(first.read("Software\\Pelvar\\LUInfo", "HODownloadPath"), "/srv/ho");
    EXPECT_EQ(second.read("Software\\Pelvar\\POS", "PatchVer"), "9.0.1.05");
}

TEST(IniRegistryStore, UnwritableFileReportsFailure) {
    TempDir dir;
    writeFile(dir / "blocker", "a file where the folder should be");
    IniRegistryStore store(dir / "blocker/registry.ini");
    EXPECT_FALSE(store.write(PosKey, "PatchVer", "9.0.1.05"));
    EXPECT_FALSE(store.write("", "PatchVer", "9.0.1.05"));
}

} // namespace
