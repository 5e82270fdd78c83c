#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelvar {

struct PatchRun;

// Where each file of a backup archive came from, kept as one more entry of the archive, so
// that putting the files back needs no packing list and no guessing.
// One line per file: "ENTRY|R|PLACE", ENTRY the archive entry ("Till.exe", "crystal/a.dll"),
// R "Y" for a component that is registered, PLACE the folder in the Windows form the packing
// lists use, below the product folder ("AppPath", "AppPath\Reports") or a drive root
// ("C:\WINDOWS\crystal").
inline constexpr const char* BackupListName = "LiveUpdateBackup.lst";

struct BackupListLine {
    std::string entry;
    bool registered = false;
    std::string place;
};

class BackupList {
  public:
    // Records a saved file: `entry` as it stands in the archive, `folder` where it is installed.
    // A folder outside the product folder and the drive roots is not recorded (and so the
    // restore refuses that file).
    void add(const PatchRun& run, const std::string& entry, const std::string& folder,
             bool registered);
    // Writes the list into the collection folder that becomes the archive.
    void writeInto(const std::string& collectionFolder) const;

  private:
    std::vector<BackupListLine> lines_;
};

// The lines of a list's text; nothing when a line is not of the shape above or its entry is not
// a relative path of plain names.
std::optional<std::vector<BackupListLine>> parseBackupList(const std::string& text);

// The native folder of a PLACE; nothing when it names no known root or would leave it.
std::optional<std::string> placeFolder(const PatchRun& run, const std::string& place);

} // namespace pelvar
