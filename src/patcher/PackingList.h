#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelvar {

struct PatchRun;

// PackingList.ini of an unpacked patch: records separated by "-GO-", fields by "-#-".
// Field 2 is the base folder below a drive root, field 3 the subfolder ("AppPath\" for the
// product folder; equal to field 2 for the product folder itself), field 4 the file name,
// field 5 "Y" for a component.
struct PackingRecord {
    std::vector<std::string> fields; // trimmed, case kept
    bool wellFormed = false;         // 5 fields or more, no control character in fields 2-4

    const std::string& field(std::size_t n) const { return fields.at(n - 1); }
};

// Splits the text into records; blank pieces (the line break after the last "-GO-") are not
// records.
std::vector<PackingRecord> parsePackingList(const std::string& text);

// A patch's records looked up by file name (field 4, trimmed, case ignored), built once per
// patch: a hostile list of many thousand records is not walked again for every file.
class PackingIndex {
  public:
    explicit PackingIndex(std::vector<PackingRecord> records);
    bool wellFormed() const { return wellFormed_; }
    const PackingRecord* find(const std::string& fileName) const;

  private:
    std::vector<PackingRecord> records_;
    bool wellFormed_ = true;
    std::unordered_map<std::string, std::size_t> byName_;
};

// The first record whose field 4 equals fileName (trimmed, case ignored); nothing when none
// does. When any record of the list is not well formed the list is corrupt: its message is
// shown and the run stops (StopOnCorruptPackingList).
std::optional<PackingRecord> findRecord(PatchRun& run, const PackingIndex& index,
                                        const std::string& fileName);
std::optional<PackingRecord> findRecord(PatchRun& run, const std::vector<PackingRecord>& records,
                                        const std::string& fileName);

// Where a record puts its file: the product folder (field 2 = field 3), below it
// ("AppPath\": PatchRoot + field 2), or below the first drive root holding field 2 + field 3.
// Nothing when neither drive holds field 2. `viaDrive` tells the drive-root case.
std::optional<std::string> destinationOf(const PatchRun& run, const PackingRecord& record,
                                         bool* viaDrive = nullptr);

// The "not available" message of a record.
std::string destinationMissingText(const PackingRecord& record);

// Writes the batch headers once per run, then the un-registration and registration lines of
// one file in `folder`.
void AddRegistrationLines(PatchRun& run, const std::string& folder, const std::string& fileName);

// Adds the registration lines of a file whose record says "Y". A corrupt packing list shows its
// message and ends the host process.
void FindInPackingList(PatchRun& run, const std::string& packingListPath,
                       const std::string& fileName);
void FindInPackingList(PatchRun& run, const PackingIndex& index, const std::string& fileName);

// Shows the corrupt-packing-list message and ends the host process.
[[noreturn]] void StopOnCorruptPackingList(PatchRun& run);

} // namespace pelvar
