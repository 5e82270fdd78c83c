#include "environment/LocationRecord.h"

#include <stdexcept>

namespace pelvar {

std::string& LocationRecord::field(int k) {
    return const_cast<std::string&>(static_cast<const LocationRecord&>(*this).field(k));
}

const std::string& LocationRecord::field(int k) const {
    switch (k) {
    case 1:
        return Product;
    case 2:
        return Description;
    case 3:
        return DownloadType;
    case 4:
        return Location;
    case 5:
        return FolderLocation;
    case 6:
        return Port;
    case 7:
        return UserName;
    case 8:
        return Password;
    case 9:
        return ConnectToProxy;
    case 10:
        return ProxyAddress;
    case 11:
        return ProxyPort;
    case 12:
        return ActiveFtp;
    default:
        throw std::out_of_range("download location field");
    }
}

const std::array<const char*, LocationRecord::FieldCount>& locationFileKeys() {
    // Lines 5, 7 and 8 carry a blank before "=": readers see keys ending in a blank.
    static const std::array<const char*, LocationRecord::FieldCount> keys = {
        "Product=",          "Description=",   "Download Type=", "Location=",
        "Folder Location =", "Port=",          "User Name =",    "Password =",
        "ConnectToProxy=",   "Proxy Address=", "Proxy Port=",    "Active FTP="};
    return keys;
}

} // namespace pelvar
