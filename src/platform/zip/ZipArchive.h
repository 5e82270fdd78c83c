#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pelvar {

// The archive object the windows carry: set an archive, test it, set an extraction
// folder, extract everything, or create an archive from a folder. Each returns whether it
// succeeded.
class ZipArchive {
  public:
    void setArchive(const std::string& path) { archive_ = path; }
    void setExtractFolder(const std::string& folder) { extractFolder_ = folder; }

    // Opens with a consistency check and reads every entry to its end, so that a bad CRC
    // shows. An archive without entries, or one that cannot be opened, is damaged, and so is
    // one that unpacks to more than the unpacking limits allow or holds more entries than they
    // allow (README, "Limits").
    bool test(bool verbose = false) const;

    // Writes every entry below the extraction folder (created when missing). Entries whose
    // path would leave that folder (absolute, or with "..") fail the whole extraction before
    // anything is written; so do names with control characters, names that differ only in
    // case, and an extraction folder that is a symbolic link. Writing
    // stops, with failure, at the unpacking limits or when the disk runs out of space.
    bool extractAll() const;

    // Creates the archive from the files of `sourceFolder` (and its subfolders) whose names
    // match `fileSpec` ("*" for all), leaving out files named `excludedName`. With no such
    // file the result is a valid archive without entries. Entries are deflated at the fastest
    // level, or stored when their first block does not shrink.
    bool create(const std::string& sourceFolder, const std::string& fileSpec,
                const std::string& excludedName) const;

    // Adds to an existing archive the matching files it does not hold yet; entries already in
    // it keep their bytes, except the entry named `refreshedEntry`, which the folder's file
    // replaces.
    bool addMissing(const std::string& sourceFolder, const std::string& fileSpec,
                    const std::string& excludedName, const std::string& refreshedEntry = {}) const;

    const std::string& archive() const { return archive_; }

    // Each entry's name and unpacked size as the archive's directory states them (nothing is
    // read); empty when the archive cannot be opened.
    std::vector<std::pair<std::string, long long>> entrySizes() const;

  private:
    bool pack(const std::string& sourceFolder, const std::string& fileSpec,
              const std::string& excludedName, int openFlags,
              const std::string& refreshedEntry = {}) const;

    std::string archive_;
    std::string extractFolder_;
};

} // namespace pelvar
