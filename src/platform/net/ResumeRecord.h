#pragma once

#include <optional>
#include <string>

namespace pelvar {

// What an interrupted transfer leaves for the next run, beside the file it was fetching:
// "<final>.partial" holds the bytes received so far and "<final>.resume" says where they came
// from. A later transfer of the same URL continues the partial file only while the server's
// validator (and, for a signed archive, the signed size and hash) still match.
struct ResumeRecord {
    std::string url;
    // HTTP: "ETag: VALUE" or "Last-Modified: VALUE"; FTP: "size=N mdtm=T".
    std::string validator;
    long long size = -1; // the signed size; -1 without a signed entry
    std::string sha256;  // the signed hash
};

std::string partialPathOf(const std::string& finalPath);
std::string resumeRecordPathOf(const std::string& finalPath);

// Whether a final path may have resume files at all: its file name must be a plain name.
bool resumableName(const std::string& finalPath);

// The record left beside finalPath; nothing when missing, too large, or not parsed.
std::optional<ResumeRecord> loadResumeRecord(const std::string& finalPath);

// Replaces the record (the old name is unlinked, the new file created exclusively, mode 600).
bool saveResumeRecord(const std::string& finalPath, const ResumeRecord& record);

// Removes the partial file and the record (links themselves, never their targets).
void dropResumeFiles(const std::string& finalPath);

} // namespace pelvar
