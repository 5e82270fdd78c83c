#include "ZipFiles.h"

#include <filesystem>
#include <stdexcept>
#include <zip.h>

namespace pelvar::test {

void makeZip(const std::string& path, const ZipEntries& entries, bool stored) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) {
        throw std::runtime_error("cannot create " + path);
    }
    for (const auto& [name, content] : entries) {
        zip_source_t* src = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t index = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0 || (stored && zip_set_file_compression(z, index, ZIP_CM_STORE, 0) != 0)) {
            throw std::runtime_error("cannot add " + name);
        }
    }
    if (zip_close(z) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::map<std::string, std::string> zipContents(const std::string& path) {
    std::map<std::string, std::string> contents;
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z) {
        throw std::runtime_error("not a consistent archive: " + path);
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

} // namespace pelvar::test
