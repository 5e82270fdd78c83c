#pragma once

#include <array>
#include <string>

namespace pelvar {

// The one download location the engine works on: the twelve fields of a location file,
// in file order.
struct LocationRecord {
    std::string Product;
    std::string Description;
    std::string DownloadType;
    std::string Location;
    std::string FolderLocation;
    std::string Port;
    std::string UserName;
    std::string Password;
    std::string ConnectToProxy;
    std::string ProxyAddress;
    std::string ProxyPort;
    std::string ActiveFtp;

    static constexpr int FieldCount = 12;

    // Field k, counted from 1 as the lines of a location file are.
    std::string& field(int k);
    const std::string& field(int k) const;

    void clear() { *this = LocationRecord{}; }
    bool operator==(const LocationRecord&) const = default;
};

// The key texts the lines of a location file start with, in field order.
const std::array<const char*, LocationRecord::FieldCount>& locationFileKeys();

} // namespace pelvar
