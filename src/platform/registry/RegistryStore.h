#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelvar {

// The machine's configuration tree: keys such as "Software\Pelvar\POS" holding named values.
// Key and value names are compared ignoring case.
class RegistryStore {
  public:
    virtual ~RegistryStore() = default;

    // The stored text, or nothing for a missing key, a missing value or a non-string value.
    virtual std::optional<std::string> read(const std::string& keyPath,
                                            const std::string& name) const = 0;
    // Creates the key when missing; false when the store cannot be written.
    virtual bool write(const std::string& keyPath, const std::string& name,
                       const std::string& value) = 0;
    // False when there was no such value.
    virtual bool remove(const std::string& keyPath, const std::string& name) = 0;
    // Values of the key in stored order; non-string values come with nothing.
    virtual std::vector<std::pair<std::string, std::optional<std::string>>>
    list(const std::string& keyPath) const = 0;
};

// The registry stand-in: one INI file (syntax in RegistryIni.h). Every call re-reads the
// file so that other processes' writes are seen; a write holds a lock beside the file while
// it reads, changes and replaces it, so that two processes writing different values keep
// both. The file holds passwords: it is created, and always replaced, with mode 600.
class IniRegistryStore : public RegistryStore {
  public:
    explicit IniRegistryStore(std::string iniFile);

    std::optional<std::string> read(const std::string& keyPath,
                                    const std::string& name) const override;
    bool write(const std::string& keyPath, const std::string& name,
               const std::string& value) override;
    bool remove(const std::string& keyPath, const std::string& name) override;
    std::vector<std::pair<std::string, std::optional<std::string>>>
    list(const std::string& keyPath) const override;

    const std::string& file() const { return file_; }
    // Names of the keys directly below a key.
    std::vector<std::string> subkeys(const std::string& keyPath) const;
    // What went wrong in the last failed call, for the admin ("" when nothing did).
    const std::string& lastError() const { return lastError_; }
    // Lines of the file that are neither key, value, comment nor blank ("line N: text"):
    // they are kept, but nothing reads them.
    std::vector<std::string> strayLines() const;

  private:
    std::string file_;
    mutable std::string lastError_;
};

// Files larger than this are not read: the registry of one installation is a few KiB.
inline constexpr long long MaxRegistryFileBytes = 4 * 1024 * 1024;

// Splits "HKLM\Software\Pelvar\POS" (the hive prefix is optional) into its key names.
std::vector<std::string> splitKeyPath(const std::string& keyPath);

} // namespace pelvar
