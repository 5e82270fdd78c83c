#include "platform/registry/RegistryStore.h"

#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using pelvar::IniRegistryStore;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

const char* const PosKey = "Software\\Pelvar\\POS";

// Two stores on one file keep each other's values.
TEST(IniRegistryStore, NamesAndKeysCompareIgnoringCaseInEveryStoreOfTheFile) {
    TempDir dir;
    IniRegistryStore store(dir / "etc/pelvar/registry.ini");
    IniRegistryStore other(dir / "etc/pelvar/registry.ini");
    ASSERT_TRUE(store.write(PosKey, "PatchVer", "9.0.1.04"));
    // A differently spelt write replaces the value instead of adding a second one.
    ASSERT_TRUE(other.write("HKLM\\SOFTWARE\\pelvar\\pos", "PATCHVER", "9.0.1.05"));
    ASSERT_TRUE(store.write("Software\\Pelvar\\LUInfo", "POSDownloadPath", "/srv/pos"));
    EXPECT_EQ(store.read("software/pelvar/Pos", "patchver"), "9.0.1.05");
    EXPECT_EQ(other.read("Software\\Pelvar\\LUInfo", "POSDownloadPath"), "/srv/pos");
    const auto values = store.list(PosKey);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "PatchVer");

    EXPECT_TRUE(store.remove(PosKey, "patchVER"));
    EXPECT_FALSE(other.read(PosKey, "PatchVer"));
    EXPECT_FALSE(store.remove(PosKey, "PatchVer"));
    EXPECT_FALSE(store.read("Software\\Pelvar\\Missing", "PatchVer"));
}

// The file holds the database passwords: nobody but the owner (and in a shared folder its
// group) may read it, also after it was replaced by a later write or a removal.
TEST(IniRegistryStore, FileStaysPrivateThroughEveryWrite) {
    TempDir dir;
    const std::string file = dir / "etc/pelvar/registry.ini";
    IniRegistryStore store(file);
    ASSERT_TRUE(store.write(PosKey, "PASSWORD", "secret"));
    EXPECT_EQ(pelvar::test::fileMode(file), 0600u);
    ASSERT_TRUE(store.write(PosKey, "PatchVer", "9.0.1.05"));
    EXPECT_EQ(pelvar::test::fileMode(file), 0600u);
    ASSERT_TRUE(store.remove(PosKey, "PatchVer"));
    EXPECT_EQ(pelvar::test::fileMode(file), 0600u);
    // A file left readable by an older version is narrowed by the next write.
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    ASSERT_TRUE(store.write(PosKey, "PASSWORD", "other"));
    EXPECT_EQ(pelvar::test::fileMode(file), 0600u);
    // In a set-group-ID folder (installed: group "pelvar") the group may read it too.
    ASSERT_EQ(::chmod((dir / "etc/pelvar").c_str(), 02770), 0);
    ASSERT_TRUE(store.write(PosKey, "PASSWORD", "third"));
    EXPECT_EQ(pelvar::test::fileMode(file), 0640u);
    // No temporary file is left beside it and its lock.
    const std::filesystem::directory_iterator files(dir / "etc/pelvar");
    EXPECT_EQ(std::distance(files, std::filesystem::directory_iterator()), 2);
}

struct HandWritten {
    std::string name;
    std::string line;
    std::optional<std::string> value;
};

class HandWrittenValue : public testing::TestWithParam<HandWritten> {};

// An admin types values as they are; the separators of other INI dialects are plain text here.
TEST_P(HandWrittenValue, ReadsAsTyped) {
    TempDir dir;
    writeFile(dir / "registry.ini", "[Software\\Pelvar\\POS]\r\n" + GetParam().line + "\r\n");
    IniRegistryStore store(dir / "registry.ini");
    EXPECT_EQ(store.read(PosKey, "V"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HandWrittenValue,
    testing::Values(HandWritten{"CommaAndBlank", "V=a, b", "a, b"},
                    HandWritten{"Equals", "V=x=y", "x=y"},
                    HandWritten{"Backslashes", "V=C:\\Pelvar\\Data", "C:\\Pelvar\\Data"},
                    HandWritten{"Hash", "V=#1", "#1"},
                    HandWritten{"BlanksTrimmed", "  V  =  spaced out  ", "spaced out"},
                    HandWritten{"Quoted", "V=\" keep \\\"this\\\" \"", " keep \"this\" "},
                    HandWritten{"QuoteThenText", "V=\"a\" b", "\"a\" b"},
                    HandWritten{"Empty", "V=", ""}, HandWritten{"DoubleAt", "V=@@home", "@home"},
                    HandWritten{"TypedValue", "V=@Variant(\\0\\0\\0\\x2)", std::nullopt},
                    HandWritten{"ByteArray", "V=@ByteArray(abc)", std::nullopt},
                    HandWritten{"Size", "V=@Size(1 2)", std::nullopt},
                    HandWritten{"OtherCaseName", "v=lower", "lower"},
                    HandWritten{"PercentName", "%56=escaped", "escaped"}),
    [](const auto& row) { return row.param.name; });

TEST(IniRegistryStore, WriteKeepsWhatItDoesNotUnderstand) {
    TempDir dir;
    const std::string before = "; installed by hand\r\n"
                               "[Software\\Pelvar\\POS]\r\n"
                               "this line has no equals sign\r\n"
                               "PASSWORD=a;b\r\n"
                               "\r\n"
                               "[Software\\Pelvar\\HO]\r\n"
                               "PatchVer=9.0.1.01\r\n";
    writeFile(dir / "registry.ini", before);
    IniRegistryStore store(dir / "registry.ini");
    EXPECT_EQ(store.strayLines(),
              (std::vector<std::string>{"line 3: this line has no equals sign"}));

    ASSERT_TRUE(store.write(PosKey, "password", "c,d")) << store.lastError();
    ASSERT_TRUE(store.write(PosKey, "PatchVer", "9.0.1.05"));
    // The changed value keeps its spelling and place, the new one joins its key, and the
    // comment and the stray line survive.
    EXPECT_EQ(pelvar::test::readFile(dir / "registry.ini"), "; installed by hand\n"
                                                            "[Software\\Pelvar\\POS]\n"
                                                            "this line has no equals sign\n"
                                                            "PASSWORD=c,d\n"
                                                            "PatchVer=9.0.1.05\n"
                                                            "\n"
                                                            "[Software\\Pelvar\\HO]\n"
                                                            "PatchVer=9.0.1.01\n");
    EXPECT_EQ(store.read("Software\\Pelvar\\HO", "PatchVer"), "9.0.1.01");
}

TEST(IniRegistryStore, OversizedOrUnwritableFileIsRefused) {
    TempDir dir;
    writeFile(dir / "blocker", "a file where the folder should be");
    IniRegistryStore blocked(dir / "blocker/registry.ini");
    EXPECT_FALSE(blocked.write(PosKey, "PatchVer", "9.0.1.05"));
    EXPECT_FALSE(blocked.write("", "PatchVer", "9.0.1.05"));

    writeFile(dir / "registry.ini", "[K]\nV=1\n" + std::string(pelvar::MaxRegistryFileBytes, ';'));
    IniRegistryStore store(dir / "registry.ini");
    EXPECT_FALSE(store.read("K", "V"));
    EXPECT_FALSE(store.write("K", "V", "2"));
    EXPECT_NE(store.lastError().find("larger than"), std::string::npos) << store.lastError();
}

} // namespace
