#pragma once

#include <string>
#include <vector>

namespace pelvar {

struct PatchRun;

// File helpers of the wizard's steps.
namespace patchfiles {

// Names of the regular files / the subfolders directly in a folder, sorted; empty when the
// folder is missing.
std::vector<std::string> filesIn(const std::string& folder);
std::vector<std::string> subfoldersIn(const std::string& folder);

// Copies `source` into `folder` under `name`: the bytes go to a new temporary file in that
// folder, which is then renamed over the old file, so the name never shows a half-written
// file. Raises 76 for a missing folder, 70 when the file may not be replaced, 0x800704C8 when
// it is a running program, 53 for a missing source. With `mayLink` a source on the same file
// system is hard-linked to the temporary name instead of copied: its bytes are not written
// again (for files of an unpacked patch, which the run removes afterwards).
void installFile(const std::string& source, const std::string& folder, const std::string& name,
                 bool mayLink = false);

// Copies source into folder (one final separator removed), keeping the file name.
void CopyToFolder(const std::string& source, const std::string& folder, bool overwrite);

// Step 8's copy of a file of an unpacked patch into folder: hard-linked where it can be.
void InstallPatchFile(const std::string& source, const std::string& folder);

// "DD/MM/YYYY" of a file's date (its last change; the platform keeps no creation date) / of today.
std::string fileDate(const std::string& path);
std::string todayDate();

// The number a version text starts with ("9.0.1.05" reads 9.0), as "###0.0" formats it.
std::string versionNumberText(const std::string& version);

// The upper-cased last three characters: "DLL", "OCX", "EXE" are components.
bool isComponent(const std::string& fileName);
// Names ending in "GL" or "SY" (upper-cased): the patch's GL and SY files.
bool isGlOrSy(const std::string& fileName);
// EXE names that install a release and are never registered.
bool isReleaseInstaller(const std::string& fileName);

// The platform's Windows folder, and the drive roots "C:\" and "D:\".
std::string windowsFolder(const PatchRun& run);
std::string driveRoot(const PatchRun& run, char drive);

// Raises 75 when a piece of `path` below the product folder or a drive root is a symbolic link:
// a planted link must not carry a write, a copy or a delete outside the installation.
void refuseInstallationLinks(const PatchRun& run, const std::string& path);

// A packing-list path ("WINDOWS\system32\") as a native relative path without a final "/".
std::string nativeRelative(const std::string& windowsPath);
// Packing lists and update-information files are small; anything larger is not one.
inline constexpr long long MaxListBytes = 16LL << 20;
// The whole file, raising 75 when it is larger than MaxListBytes.
std::string readBounded(const std::string& path);

// Whether a relative path stays below its base (no ".." piece, no drive letter).
bool isSafeRelative(const std::string& relative);

} // namespace patchfiles
} // namespace pelvar
