#pragma once

#include "platform/files/SandboxPaths.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pelvar {

// The highest serial accepted per (edition, location name, key id), so that an older signed
// update-information file replayed by a mirror is refused. One file under
// <root>/var/lib/pelvar, replaced atomically under a lock of its own; only root writes it (a
// run by another user only compares).
struct SerialRecord {
    std::int64_t serial = 0;
    std::string digest; // of the accepted files: an equal serial must be the same files
};

class SerialStore {
  public:
    explicit SerialStore(const SandboxPaths& paths);

    std::optional<SerialRecord> find(const std::string& edition, const std::string& name,
                                     const std::string& keyId) const;
    // Records an accepted serial; false when this run may not write the store.
    bool record(const std::string& edition, const std::string& name, const std::string& keyId,
                const SerialRecord& record) const;
    // Drops the rows of one key, or of one edition and name (any key). Returns rows dropped.
    int dropKey(const std::string& keyId) const;
    int dropLocation(const std::string& edition, const std::string& name) const;

    std::string file() const { return file_; }

  private:
    std::string file_;
};

} // namespace pelvar
