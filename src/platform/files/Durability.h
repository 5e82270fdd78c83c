#pragma once

#include <string>

// Ordering writes on the disk: a record that says work is done must not reach the disk before
// the work itself, or a power cut leaves a record ahead of the data.
namespace pelvar::files {

// Flushes a folder's entries (names created, renamed or removed in it). Raises the numbered
// error of the failure.
void syncFolder(const std::string& folder);

// Flushes everything written to the file system that holds `path`: one call after many files
// costs far less than a flush per file.
void syncFileSystem(const std::string& path);

} // namespace pelvar::files
