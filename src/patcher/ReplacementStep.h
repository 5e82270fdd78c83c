#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// Step 8's copy of one file of an unpacked patch to the place its packing-list record names,
// with the copy-error dialogs. A drive-root destination also gets a copy under
// PatchRoot/LiveUpdatePatches/<patchVersion>/<field 3>.
void CopyPackedFile(PatchRun& run, const std::string& fileName, const std::string& patchFolderPath,
                    const std::string& patchVersion);

} // namespace pelvar
