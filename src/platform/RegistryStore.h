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

// The registry stand-in: one INI file, kept through QSettings; every call re-reads the
// file so that other processes' writes are seen.
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

  private:
    std::string file_;
};

// Splits "HKLM\Software\Pelvar\POS" (the hive prefix is optional) into its key names.
std::vector<std::string> splitKeyPath(const std::string& keyPath);

} // namespace pelvar
