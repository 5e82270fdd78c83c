#include "TempDir.h"
#include "platform/zip/ZipArchive.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <zip.h>

using pelvar::ZipArchive;
using pelvar::test::TempDir;
using pelvar::test::writeFile;
namespace fs = std::filesystem;

namespace {

void makeZip(const std::string& path, const std::string& name, const std::string& content) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    zip_source_t* src = z ? zip_source_buffer(z, content.data(), content.size(), 0) : nullptr;
    if (!z || zip_file_add(z, name.c_str(), src, 0) < 0 || zip_close(z) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

long long bytesBelow(const std::string& folder) {
    long long total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        total += entry.is_regular_file() ? static_cast<long long>(entry.file_size()) : 0;
    }
    return total;
}

// A megabyte-setting for one test, restored afterwards.
class EnvSetting {
  public:
    EnvSetting(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
    ~EnvSetting() { ::unsetenv(name_); }

  private:
    const char* name_;
};

struct BombRow {
    const char* label;
    const char* variable; // null: defaults
    const char* value;
    std::size_t zeros;
};

class UnpackLimit : public ::testing::TestWithParam<BombRow> {};

TEST_P(UnpackLimit, StopsTestAndExtractionOfABomb) {
    const BombRow& row = GetParam();
    std::optional<EnvSetting> setting;
    if (row.variable) {
        setting.emplace(row.variable, row.value);
    }
    TempDir dir;
    makeZip(dir / "bomb.zip", "zeros.bin", std::string(row.zeros, '\0'));
    ZipArchive zip;
    zip.setArchive(dir / "bomb.zip");
    zip.setExtractFolder(dir / "out");
    EXPECT_FALSE(zip.test(false));
    EXPECT_FALSE(zip.extractAll());
    EXPECT_LE(bytesBelow(dir / "out"), 16LL << 20) << "kept writing past the limit";
}

INSTANTIATE_TEST_SUITE_P(
    Limits, UnpackLimit,
    ::testing::Values(BombRow{"RatioToTheArchive", nullptr, nullptr, 64U << 20},
                      BombRow{"TotalSize", "LIVEUPDATE_MAX_UNPACKED_MB", "2", 8U << 20}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ExtractionFolder, LinkIsRefusedAndLinksInsideAreNotFollowed) {
    TempDir dir;
    makeZip(dir / "patch.zip", "a.txt", "patched");
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
    EXPECT_EQ(pelvar::test::readFile(dir / "victim.txt"), "precious");
}

TEST(CreateArchive, NoMatchingFileGivesAValidEmptyArchive) {
    TempDir dir;
    writeFile(dir / "src/readme.txt", "not an exe");
    ZipArchive zip;
    zip.setArchive(dir / "backup.zip");
    ASSERT_TRUE(zip.create(dir / "src", "*.exe", ""));
    ASSERT_TRUE(fs::exists(dir / "backup.zip"));
    int error = 0;
    zip_t* z = zip_open((dir / "backup.zip").c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    ASSERT_NE(z, nullptr) << "libzip error " << error;
    EXPECT_EQ(zip_get_num_entries(z, 0), 0);
    zip_discard(z);
    // Created again over an archive that had entries, it is empty again.
    writeFile(dir / "src/tool.exe", "x");
    ASSERT_TRUE(zip.create(dir / "src", "*.exe", ""));
    fs::remove(dir / "src/tool.exe");
    ASSERT_TRUE(zip.create(dir / "src", "*.exe", ""));
    z = zip_open((dir / "backup.zip").c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(zip_get_num_entries(z, 0), 0);
    zip_discard(z);
}

} // namespace
