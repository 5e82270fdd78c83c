#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// The first pass's replacement: every file of each patch into the product folder (GL and SY
// files left out; with setup type 4 also the skip list), subfolders into their namesakes
// ("crystal" and "System" into the Windows folder, "SCRIPT" left out; setup type 4: "Ini" only).
void ReplaceProgramFiles(PatchRun& run);

// Step 8's copy of one file of an unpacked patch to the place its packing-list record names,
// with the copy-error dialogs. A drive-root destination also gets a copy under
// PatchRoot/LiveUpdatePatches/<patchVersion>/<field 3>.
void CopyPackedFile(PatchRun& run, const std::string& fileName, const std::string& patchFolderPath,
                    const std::string& patchVersion);

// Whether the first pass leaves this file out with setup type 4.
bool inSkipList(const std::string& fileName);

} // namespace pelvar
