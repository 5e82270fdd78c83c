#include "platform/zip/ZipArchive.h"

#include "TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <zip.h>

using pelvar::ZipArchive;
using pelvar::test::readFile;
using pelvar::test::TempDir;
using pelvar::test::writeFile;
namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Writes a real archive with libzip; stored entries keep their bytes where a test can flip them.
void makeZip(const std::string& path, const Entries& entries, bool stored = false) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) {
        throw std::runtime_error("zip_open failed");
    }
    for (const auto& [name, content] : entries) {
        zip_source_t* src = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t index = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0 || (stored && zip_set_file_compression(z, index, ZIP_CM_STORE, 0) != 0)) {
            throw std::runtime_error("zip_file_add failed for " + name);
        }
    }
    if (zip_close(z) != 0) {
        throw std::runtime_error("zip_close failed");
    }
}

std::map<std::string, std::string> readZip(const std::string& path) {
    std::map<std::string, std::string> contents;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!z) {
        return contents;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, i, 0, &st);
        std::string bytes(st.size, '\0');
        zip_file_t* f = zip_fopen_index(z, i, 0);
        zip_fread(f, bytes.data(), bytes.size());
        zip_fclose(f);
        contents[st.name] = bytes;
    }
    zip_discard(z);
    return contents;
}

const Entries soundEntries = {{"PATCH.TXT", std::string(5000, 'p')}, {"bin/a.dll", "MZ\x90\x00"}};

struct ArchiveCase {
    std::string name;
    std::function<void(const std::string& path)> build;
    bool sound;
};

// Test names show the row name rather than the bytes of the row.
void PrintTo(const ArchiveCase& c, std::ostream* os) {
    *os << c.name;
}

class ZipTest : public testing::TestWithParam<ArchiveCase> {};

TEST_P(ZipTest, TestReportsZeroOnlyForSoundArchives) {
    TempDir dir;
    const std::string path = dir / "POS_9.0.1.05.zip";
    GetParam().build(path);
    ZipArchive zip;
    zip.setArchive(path);
    if (GetParam().sound) {
        EXPECT_TRUE(zip.test(false));
    } else {
        EXPECT_FALSE(zip.test(false));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipTest,
    testing::Values(
        ArchiveCase{"Sound", [](const std::string& p) { makeZip(p, soundEntries); }, true},
        ArchiveCase{"Missing", [](const std::string&) {}, false},
        ArchiveCase{"EmptyFile", [](const std::string& p) { writeFile(p, ""); }, false},
        // An end-of-central-directory record alone: a well-formed archive without entries.
        ArchiveCase{
            "NoEntries",
            [](const std::string& p) { writeFile(p, "PK\x05\x06" + std::string(18, '\0')); },
            false},
        ArchiveCase{"Truncated",
                    [](const std::string& p) {
                        makeZip(p, soundEntries);
                        const std::string bytes = readFile(p);
                        writeFile(p, bytes.substr(0, bytes.size() - 30));
                    },
                    false},
        // One flipped bit in the stored data of the first entry: only its CRC can tell.
        ArchiveCase{"BitFlipped",
                    [](const std::string& p) {
                        makeZip(p, soundEntries, true);
                        std::string bytes = readFile(p);
                        bytes[30 + std::string("PATCH.TXT").size() + 100] ^= 0x01;
                        writeFile(p, bytes);
                    },
                    false}),
    [](const auto& info) { return info.param.name; });

TEST(ZipExtract, CreatesTheFolderAndWritesEveryEntry) {
    TempDir dir;
    makeZip(dir / "p.zip", {{"PATCH.TXT", "packing list"}, {"sub/deep/b.bin", "\x01\x02"}});
    ZipArchive zip;
    zip.setArchive(dir / "p.zip");
    zip.setExtractFolder(dir / "not/yet/there");
    ASSERT_TRUE(zip.extractAll());
    EXPECT_EQ(readFile(dir / "not/yet/there/PATCH.TXT"), "packing list");
    EXPECT_EQ(readFile(dir / "not/yet/there/sub/deep/b.bin"), "\x01\x02");
}

TEST(ZipExtract, RefusesEntriesLeavingTheFolderAndWritesNothing) {
    TempDir dir;
    const std::string absolute = dir / "absolute.txt";
    for (const std::string bad :
         {"../escaped.txt", "sub/../../escaped.txt", "..\\escaped.txt", absolute.c_str()}) {
        SCOPED_TRACE(bad);
        makeZip(dir / "bad.zip", {{"good.txt", "fine"}, {bad, "evil"}});
        ZipArchive zip;
        zip.setArchive(dir / "bad.zip");
        zip.setExtractFolder(dir / "out");
        EXPECT_FALSE(zip.extractAll());
        EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
        EXPECT_FALSE(fs::exists(absolute));
        EXPECT_FALSE(fs::exists(dir / "out/good.txt"));
    }
}

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
    EXPECT_EQ(readZip(dir / "src/Backup.zip"), expected);
    EXPECT_TRUE(zip.test(false));

    zip.setArchive(dir / "none.zip");
    EXPECT_FALSE(zip.create(dir / "no-such-folder", "*", "tmpSysPara.mdb"));
}

} // namespace
