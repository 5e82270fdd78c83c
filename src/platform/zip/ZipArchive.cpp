#include "platform/zip/ZipArchive.h"

#include "platform/base/Limits.h"
#include "platform/files/ScratchFiles.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace pelvar {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using EntryPtr = std::unique_ptr<zip_file_t, EntryCloser>;

ArchivePtr openForReading(const std::string& path, int flags) {
    int error = 0;
    return ArchivePtr(zip_open(path.c_str(), ZIP_RDONLY | flags, &error));
}

// The target of an entry below the folder, or nothing when the entry would leave it.
std::optional<fs::path> safeTarget(const fs::path& folder, const std::string& entryName) {
    const std::string name = text::replaceAll(entryName, "\\", "/");
    const fs::path relative(name);
    if (name.empty() || relative.is_absolute() || relative.has_root_name()) {
        return std::nullopt;
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return std::nullopt;
        }
    }
    return folder / relative.relative_path();
}

// What one archive may unpack to: a fixed cap, a multiple of the archive's own size (a
// small archive of zeros is a bomb, not a patch), and the free space of the target.
class UnpackBudget {
  public:
    explicit UnpackBudget(const std::string& archive) {
        std::error_code ec;
        const auto size = static_cast<std::int64_t>(fs::file_size(archive, ec));
        const std::int64_t byRatio = ec ? 0 : size * limits::maximumUnpackRatio();
        // Small archives may compress very well; below a megabyte of output no ratio matters.
        constexpr std::int64_t Floor = 1LL << 20;
        limit_ = std::min(limits::maximumUnpackedBytes(), std::max(byRatio, Floor));
    }
    // Counts bytes about to be written below `folder` (empty: nothing written, only read).
    bool take(std::int64_t n, const std::string& folder) {
        used_ += n;
        if (used_ > limit_) {
            return false;
        }
        if (!folder.empty() && used_ - checkedAt_ >= CheckEvery) {
            checkedAt_ = used_;
            const long long space = scratch::freeBytes(folder);
            if (space >= 0 && space < CheckEvery) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr std::int64_t CheckEvery = 4LL << 20;
    std::int64_t limit_ = 0;
    std::int64_t used_ = 0;
    std::int64_t checkedAt_ = 0;
};

// Writes one entry's bytes to a new file; an existing link at the target is not followed.
bool writeEntry(zip_file_t* entry, const fs::path& target, UnpackBudget& budget,
                const std::string& folder) {
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::array<char, 65536> buffer{};
    zip_int64_t n = 0;
    bool ok = true;
    while (ok && (n = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
        ok = budget.take(n, folder) && ::write(fd, buffer.data(), static_cast<std::size_t>(n)) == n;
    }
    ok = ::close(fd) == 0 && ok && n >= 0;
    if (!ok) {
        ::unlink(target.c_str());
    }
    return ok;
}

// Whether a name can stand on the product's platform: no control characters (a CR LF in a
// component name would add lines to the registration batch files).
bool printableName(const std::string& name) {
    for (const unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

// Names that differ only in case are one file on the product's platform: an archive holding
// both would install and register the same program twice.
bool caseClash(std::vector<std::string>& lowerNames) {
    std::sort(lowerNames.begin(), lowerNames.end());
    return std::adjacent_find(lowerNames.begin(), lowerNames.end()) != lowerNames.end();
}

// Backups are written while the user waits and read only to put files back: deflate at the
// fastest level, and store a file whose first block does not shrink (already compressed).
std::pair<zip_int32_t, zip_uint32_t> fastMethodFor(const fs::path& file) {
    std::array<unsigned char, 65536> block{};
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(block.data()), block.size());
    const auto n = static_cast<uLong>(in.gcount());
    if (n == 0) {
        return {ZIP_CM_STORE, 0};
    }
    std::vector<unsigned char> packed(compressBound(n));
    uLongf packedSize = packed.size();
    if (compress2(packed.data(), &packedSize, block.data(), n, 1) != Z_OK ||
        packedSize * 100 >= n * 97) {
        return {ZIP_CM_STORE, 0};
    }
    return {ZIP_CM_DEFLATE, 1};
}

// The bytes of an archive with no entries: the end-of-central-directory record alone.
constexpr std::array<char, 22> EmptyArchive = {'P', 'K', 5, 6};

} // namespace

bool ZipArchive::test(bool) const {
    auto archive = openForReading(archive_, ZIP_CHECKCONS);
    if (!archive) {
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count <= 0 || count > limits::maximumArchiveEntries()) {
        return false;
    }
    std::array<char, 65536> buffer{};
    UnpackBudget budget(archive_);
    for (zip_int64_t i = 0; i < count; ++i) {
        EntryPtr entry(zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(i), 0));
        if (!entry) {
            return false;
        }
        zip_int64_t n = 0;
        while ((n = zip_fread(entry.get(), buffer.data(), buffer.size())) > 0) {
            if (!budget.take(n, {})) {
                return false;
            }
        }
        if (n < 0) {
            return false;
        }
    }
    return true;
}

std::vector<std::pair<std::string, long long>> ZipArchive::entrySizes() const {
    std::vector<std::pair<std::string, long long>> sizes;
    auto archive = openForReading(archive_, 0);
    const zip_int64_t count = archive ? zip_get_num_entries(archive.get(), 0) : 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &stat) == 0 &&
            (stat.valid & ZIP_STAT_NAME) && (stat.valid & ZIP_STAT_SIZE)) {
            sizes.emplace_back(stat.name, static_cast<long long>(stat.size));
        }
    }
    return sizes;
}

bool ZipArchive::extractAll() const {
    auto archive = openForReading(archive_, 0);
    if (!archive) {
        return false;
    }
    const fs::path folder(extractFolder_);
    // A folder that is a link could send the files anywhere.
    if (extractFolder_.empty() || scratch::isLink(extractFolder_)) {
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count > limits::maximumArchiveEntries()) {
        return false;
    }
    std::vector<std::pair<zip_uint64_t, fs::path>> targets;
    std::vector<std::string> lowerNames;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        const auto target = name && printableName(name) ? safeTarget(folder, name) : std::nullopt;
        if (!target) {
            return false;
        }
        targets.emplace_back(static_cast<zip_uint64_t>(i), *target);
        lowerNames.push_back(text::lower(target->generic_string()));
    }
    if (caseClash(lowerNames)) {
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return false;
    }
    UnpackBudget budget(archive_);
    for (const auto& [index, target] : targets) {
        const std::string name = zip_get_name(archive.get(), index, 0);
        if (name.back() == '/' || name.back() == '\\') {
            fs::create_directories(target, ec);
            if (ec) {
                return false;
            }
            continue;
        }
        fs::create_directories(target.parent_path(), ec);
        EntryPtr entry(zip_fopen_index(archive.get(), index, 0));
        if (ec || !entry || !writeEntry(entry.get(), target, budget, extractFolder_)) {
            return false;
        }
    }
    return true;
}

bool ZipArchive::create(const std::string& sourceFolder, const std::string& fileSpec,
                        const std::string& excludedName) const {
    return pack(sourceFolder, fileSpec, excludedName, ZIP_CREATE | ZIP_TRUNCATE);
}

bool ZipArchive::addMissing(const std::string& sourceFolder, const std::string& fileSpec,
                            const std::string& excludedName,
                            const std::string& refreshedEntry) const {
    return pack(sourceFolder, fileSpec, excludedName, 0, refreshedEntry);
}

bool ZipArchive::pack(const std::string& sourceFolder, const std::string& fileSpec,
                      const std::string& excludedName, int openFlags,
                      const std::string& refreshedEntry) const {
    std::error_code ec;
    if (!fs::is_directory(sourceFolder, ec)) {
        return false;
    }
    int error = 0;
    zip_t* raw = zip_open(archive_.c_str(), openFlags, &error);
    if (!raw) {
        return false;
    }
    ArchivePtr archive(raw);
    for (auto it = fs::recursive_directory_iterator(sourceFolder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file() || name == excludedName ||
            fnmatch(fileSpec.c_str(), name.c_str(), 0) != 0 ||
            fs::equivalent(it->path(), archive_, ec)) {
            continue;
        }
        const std::string entryName = fs::relative(it->path(), sourceFolder).generic_string();
        const zip_int64_t existing = zip_name_locate(archive.get(), entryName.c_str(), 0);
        if (existing >= 0 && entryName != refreshedEntry) {
            continue; // an entry already there keeps the version saved first
        }
        zip_source_t* source = zip_source_file(archive.get(), it->path().c_str(), 0, -1);
        zip_int64_t index = -1;
        if (source && existing >= 0) {
            index =
                zip_file_replace(archive.get(), static_cast<zip_uint64_t>(existing), source, 0) == 0
                    ? existing
                    : -1;
        } else if (source) {
            index = zip_file_add(archive.get(), entryName.c_str(), source, ZIP_FL_ENC_UTF_8);
        }
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        const auto [method, level] = fastMethodFor(it->path());
        if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), method,
                                     level) != 0) {
            return false;
        }
    }
    if (ec) {
        return false;
    }
    if (zip_get_num_entries(archive.get(), 0) == 0) {
        // libzip writes nothing for an archive without entries; callers rely on the file.
        std::ofstream out(archive_, std::ios::binary | std::ios::trunc);
        out.write(EmptyArchive.data(), EmptyArchive.size());
        return static_cast<bool>(out.flush());
    }
    // Closing is where libzip writes; on failure the handle stays ours to discard.
    if (zip_close(archive.get()) != 0) {
        return false;
    }
    static_cast<void>(archive.release());
    return true;
}

} // namespace pelvar
