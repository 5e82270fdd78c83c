#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// The first pass's replacement: every file of each patch into the product folder (GL and SY
// files left out; with setup type 4 also the skip list), subfolders into their namesakes
// ("crystal" and "System" into the Windows folder, "SCRIPT" left out; setup type 4: "Ini" only).
void ReplaceProgramFiles(PatchRun& run);

// Whether the first pass leaves this file out with setup type 4.
bool inSkipList(const std::string& fileName);

// Copies the files directly in `from` into `to` (created when missing), nudging the busy
// indicator per file.
void copyFolderFiles(PatchRun& run, const std::string& from, const std::string& to);

} // namespace pelvar
