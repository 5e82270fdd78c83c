#include "download/SerialStore.h"

#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace pelvar {
namespace {

constexpr long long MaxStoreBytes = 4 * 1024 * 1024;

// One row a line, tab-separated: edition, name (blanks as %20), key id, serial, digest.
struct Row {
    std::string edition, name, keyId;
    SerialRecord record;
};

std::vector<Row> readRows(const std::string& file) {
    std::vector<Row> rows;
    if (!files::fileExists(file)) {
        return rows;
    }
    for (const auto& line : text::splitAll(files::readAllBounded(file, MaxStoreBytes), '\n')) {
        const auto f = text::splitAll(line, '\t');
        if (f.size() != 5 || f[3].empty() || f[3].size() > 18 ||
            f[3].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        rows.push_back({f[0], text::replaceAll(f[1], "%20", " "), f[2], {std::stoll(f[3]), f[4]}});
    }
    return rows;
}

void writeRows(const std::string& file, const std::vector<Row>& rows) {
    std::string out;
    for (const auto& row : rows) {
        out += row.edition + "\t" + text::replaceAll(row.name, " ", "%20") + "\t" + row.keyId +
               "\t" + std::to_string(row.record.serial) + "\t" + row.record.digest + "\n";
    }
    files::replacePrivate(file, out);
}

// Runs the change with the store's lock held (blocking: changes are short).
bool underLock(const std::string& file, const std::function<void()>& change) {
    if (::geteuid() != 0) {
        return false;
    }
    const std::string folder = file.substr(0, file.rfind('/'));
    std::filesystem::create_directories(folder);
    const int fd =
        ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    ::flock(fd, LOCK_EX);
    try {
        change();
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return true;
}

} // namespace

SerialStore::SerialStore(const SandboxPaths& paths)
    : file_(paths.under("var/lib/pelvar/serials")) {}

std::optional<SerialRecord> SerialStore::find(const std::string& edition, const std::string& name,
                                              const std::string& keyId) const {
    for (const auto& row : readRows(file_)) {
        if (row.edition == edition && row.name == name && row.keyId == keyId) {
            return row.record;
        }
    }
    return std::nullopt;
}

bool SerialStore::record(const std::string& edition, const std::string& name,
                         const std::string& keyId, const SerialRecord& record) const {
    return underLock(file_, [&] {
        auto rows = readRows(file_);
        bool found = false;
        for (auto& row : rows) {
            if (row.edition == edition && row.name == name && row.keyId == keyId) {
                // Another run may have accepted a newer file meanwhile: never go back.
                if (record.serial >= row.record.serial) {
                    row.record = record;
                }
                found = true;
            }
        }
        if (!found) {
            rows.push_back({edition, name, keyId, record});
        }
        writeRows(file_, rows);
    });
}

int SerialStore::dropKey(const std::string& keyId) const {
    int dropped = 0;
    underLock(file_, [&] {
        auto rows = readRows(file_);
        dropped =
            static_cast<int>(std::erase_if(rows, [&](const Row& r) { return r.keyId == keyId; }));
        writeRows(file_, rows);
    });
    return dropped;
}

int SerialStore::dropLocation(const std::string& edition, const std::string& name) const {
    int dropped = 0;
    underLock(file_, [&] {
        auto rows = readRows(file_);
        dropped = static_cast<int>(std::erase_if(
            rows, [&](const Row& r) { return r.edition == edition && r.name == name; }));
        writeRows(file_, rows);
    });
    return dropped;
}

} // namespace pelvar
