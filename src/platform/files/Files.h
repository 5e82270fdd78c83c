#pragma once

#include <string>
#include <vector>

// File operations of the system, raising the numbered errors the callers trap
// (53 file not found, 76 path not found, 70 permission denied, 75 access error, 61 disk full).
// Files keep their bytes; lines are written with CR LF and read with or without CR.
namespace pelvar::files {

// Joins folder text and a name with one separator (a trailing separator is not doubled).
std::string join(const std::string& folder, const std::string& name);

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);

std::vector<std::string> readLines(const std::string& path);
std::string readAll(const std::string& path);

// Appends text and CR LF, creating the file when missing (its folder must exist).
void appendLine(const std::string& path, const std::string& text);
// Creates or truncates the file and writes text and CR LF.
void writeLine(const std::string& path, const std::string& text);
void writeAll(const std::string& path, const std::string& bytes);

// Who may read a file the system creates. Files holding a password are Private (mode 600, or
// 640 in a set-group-ID folder, whose group may read them): created with that mode and set to
// it when an older file is rewritten in place.
enum class Access { Shared, Private };
void writeLine(const std::string& path, const std::string& text, Access access);
void writeAll(const std::string& path, const std::string& bytes, Access access);
// Writes the bytes to a new unique file beside `path` (mode 600, or 640 as above), flushes it
// to the disk, renames it over `path`, then flushes the folder: readers see the old or the new
// file, never a part, and after a power cut the disk holds one of the two.
void replacePrivate(const std::string& path, const std::string& bytes);
// The last line of a file (CR LF or LF), reading no more than its last `maxBytes`; empty when
// the file is empty or its last line is longer than that.
std::string readLastLine(const std::string& path, long long maxBytes);
// The first line of a file, reading no more than `maxBytes` of it.
std::string readFirstLine(const std::string& path, long long maxBytes);
// Reads at most `maxBytes`; a longer file raises error 75 saying so.
std::string readAllBounded(const std::string& path, long long maxBytes);

void deleteFile(const std::string& path);
void copyFile(const std::string& from, const std::string& to, bool overwrite);
void createFolder(const std::string& path);
// Creates a folder and any missing parents; an existing folder is fine.
void createFolders(const std::string& path);
// Removes a folder with its contents.
void deleteFolder(const std::string& path);
long long fileSize(const std::string& path);

} // namespace pelvar::files
