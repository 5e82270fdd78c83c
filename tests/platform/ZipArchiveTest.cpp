#include "platform/zip/ZipArchive.h"

#include "Env.h"
#include "TempDir.h"
#include "ZipFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

using pelvar::ZipArchive;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

const ZipEntries soundEntries = {{"PATCH.TXT", std::string(5000, 'p')}, {"bin/a.dll", "MZ\x90"}};

TEST(ZipTest, ReportsZeroOnlyForSoundArchives) {
    TempDir dir;
    const std::string path = dir / "POS_9.0.1.05.zip";
    ZipArchive zip;
    zip.setArchive(path);
    EXPECT_FALSE(zip.test(false)) << "missing";
    writeFile(path, "");
    EXPECT_FALSE(zip.test(false)) << "empty";
    // An end-of-central-directory record alone: a well-formed archive without entries.
    writeFile(path, "PK\x05\x06" + std::string(18, '\0'));
    EXPECT_FALSE(zip.test(false)) << "no entries";
    makeZip(path, soundEntries, true);
    EXPECT_TRUE(zip.test(false));
    // One flipped bit in the stored data of the first entry: only its CRC can tell.
    std::string bytes = readFile(path);
    bytes[30 + std::string("PATCH.TXT").size() + 100] ^= 0x01;
    writeFile(path, bytes);
    EXPECT_FALSE(zip.test(false)) << "bit flipped";
}

// Entries leaving the folder, and names that could not stand on the product's platform,
// refuse the whole archive.
TEST(ZipExtract, WritesEveryEntryOrNothingForAnUnsafeOrClashingName) {
    TempDir dir;
    const std::string absolute = dir / "absolute.txt";
    const std::vector<std::vector<std::string>> bad = {{"../escaped.txt"},
                                                       {"sub/../../escaped.txt"},
                                                       {"..\\escaped.txt"},
                                                       {absolute},
                                                       {"PLPOS.exe", "plpos.EXE"},
                                                       {"Ini/A.ini", "INI/a.ini"},
                                                       {"I.dll\r\nEcho INJECTED\r\n.dll"},
                                                       {"tab\there.dll"}};
    for (const auto& names : bad) {
        SCOPED_TRACE(names.front());
        ZipEntries entries = {{"good.txt", "fine"}};
        for (const auto& name : names) {
            entries.emplace_back(name, "evil");
        }
        makeZip(dir / "bad.zip", entries);
        ZipArchive zip;
        zip.setArchive(dir / "bad.zip");
        zip.setExtractFolder(dir / "out");
        EXPECT_FALSE(zip.extractAll());
        EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
        EXPECT_FALSE(fs::exists(absolute));
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
    // The same name in another folder is no clash; missing folders are made.
    makeZip(dir / "p.zip", {{"PATCH.TXT", "packing list"},
                            {"sub/deep/b.bin", "\x01\x02"},
                            {"sub/patch.txt", "same name, another folder"}});
    ZipArchive zip;
    zip.setArchive(dir / "p.zip");
    zip.setExtractFolder(dir / "not/yet/there");
    ASSERT_TRUE(zip.extractAll());
    EXPECT_EQ(readFile(dir / "not/yet/there/PATCH.TXT"), "packing list");
    EXPECT_EQ(readFile(dir / "not/yet/there/sub/deep/b.bin"), "\x01\x02");
    EXPECT_TRUE(fs::exists(dir / "not/yet/there/sub/patch.txt"));
}

TEST(ZipExtract, LinkAsTheFolderIsRefusedAndLinksInsideAreNotFollowed) {
    TempDir dir;
    makeZip(dir / "patch.zip", {{"a.txt", "patched"}});
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "link");
    ZipArchive zip;
    zip.setArchive(dir / "patch.zip");
    zip.setExtractFolder(dir / "link");
    EXPECT_FALSE(zip.extractAll());
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));

    // A link planted where an entry goes is replaced by nothing and written through never.
    writeFile(dir / "victim.txt", "precious");
    fs::create_directories(dir / "out");
    fs::create_symlink(dir / "victim.txt", dir / "out/a.txt");
    zip.setExtractFolder(dir / "out");
    EXPECT_FALSE(zip.extractAll());
    EXPECT_EQ(readFile(dir / "victim.txt"), "precious");
}

long long bytesBelow(const std::string& folder) {
    long long total = 0;
    if (!fs::exists(folder)) {
        return total;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        total += entry.is_regular_file() ? static_cast<long long>(entry.file_size()) : 0;
    }
    return total;
}

struct BombRow {
    const char* label;
    const char* variable; // null: defaults
    const char* value;
    std::size_t bytes;
    bool random = false; // incompressible, so that only the total limits it
    bool refused = true;
};

class UnpackLimit : public ::testing::TestWithParam<BombRow> {};

TEST_P(UnpackLimit, StopsTestAndExtractionOfABomb) {
    const BombRow& row = GetParam();
    std::optional<ScopedEnv> setting;
    if (row.variable) {
        setting.emplace(row.variable, row.value);
    }
    TempDir dir;
    std::string data(row.bytes, '\0');
    if (row.random) {
        std::ifstream("/dev/urandom", std::ios::binary).read(data.data(), std::ssize(data));
    }
    makeZip(dir / "bomb.zip", {{"data.bin", data}, {"b.txt", "b"}});
    ZipArchive zip;
    zip.setArchive(dir / "bomb.zip");
    zip.setExtractFolder(dir / "out");
    EXPECT_EQ(zip.test(false), !row.refused);
    EXPECT_EQ(zip.extractAll(), !row.refused);
    EXPECT_LE(bytesBelow(dir / "out"), 16LL << 20) << "kept writing past the limit";
}

INSTANTIATE_TEST_SUITE_P(
    Limits, UnpackLimit,
    ::testing::Values(BombRow{"RatioToTheArchive", nullptr, nullptr, 64U << 20},
                      BombRow{"TotalSize", "LIVEUPDATE_MAX_UNPACKED_MB", "2", 3U << 20, true},
                      BombRow{"SettingWithTrailingTextIsIgnored", "LIVEUPDATE_MAX_UNPACKED_MB",
                              "2MB", 3U << 20, true, false},
                      BombRow{"EntryCount", "LIVEUPDATE_MAX_ARCHIVE_ENTRIES", "1", 16}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(ZipCreate, PacksTheFolderExceptTheExcludedNameAndNeverItself) {
    TempDir dir;
    writeFile(dir / "src/PelvarPOS.exe", "exe bytes");
    writeFile(dir / "src/sub/Report.dll", "dll bytes");
    writeFile(dir / "src/tmpSysPara.mdb", "scratch");
    ZipArchive zip;
    zip.setArchive(dir / "src/Backup.zip");
    // Twice: the second run must not pack the archive the first run left in the folder.
    ASSERT_TRUE(zip.create(dir / "src", "*", "tmpSysPara.mdb"));
    ASSERT_TRUE(zip.create(dir / "src", "*", "tmpSysPara.mdb"));
    const std::map<std::string, std::string> expected = {{"PelvarPOS.exe", "exe bytes"},
                                                         {"sub/Report.dll", "dll bytes"}};
    EXPECT_EQ(zipContents(dir / "src/Backup.zip"), expected);
    EXPECT_TRUE(zip.test(false));

    zip.setArchive(dir / "none.zip");
    EXPECT_FALSE(zip.create(dir / "no-such-folder", "*", "tmpSysPara.mdb"));
}

TEST(ZipCreate, NoMatchingFileGivesAValidEmptyArchive) {
    TempDir dir;
    writeFile(dir / "src/readme.txt", "not an exe");
    ZipArchive zip;
    zip.setArchive(dir / "backup.zip");
    // Also when created again over an archive that had entries.
    for (const bool withExe : {false, true, false}) {
        withExe ? writeFile(dir / "src/tool.exe", "x") : void(fs::remove(dir / "src/tool.exe"));
        ASSERT_TRUE(zip.create(dir / "src", "*.exe", ""));
        ASSERT_TRUE(fs::exists(dir / "backup.zip"));
        EXPECT_EQ(zipContents(dir / "backup.zip").size(), withExe ? 1U : 0U);
    }
}

} // namespace
