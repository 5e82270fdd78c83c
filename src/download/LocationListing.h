#pragma once

#include "environment/LocationRecord.h"
#include "environment/Surfaces.h"

#include <string>
#include <vector>

namespace pelvar {

struct AppState;

// The settings grid of a window-less caller (the command line): rows as the listing walk adds
// them, for the edition `productName`.
class LocationList : public SettingsSurface {
  public:
    explicit LocationList(Edition edition) : edition_(edition) {}

    std::string productName() const override { return editionText(edition_); }
    void addLocationRow(const LocationRecord& location) override { rows.push_back(location); }
    std::string downloadPath() const override { return path; }
    void setDownloadPath(const std::string& text) override { path = text; }

    std::vector<std::string> rowNames() const;

    std::vector<LocationRecord> rows;
    std::string path;

  private:
    Edition edition_;
};

// Walks the settings file of surface.productName() in listing mode: the surface receives the
// edition's locations and DownloadFolder is set (registry value first). True when a location
// was loaded, which is what keeps Modify enabled.
bool ListLocations(AppState& state, SettingsSurface& surface);

} // namespace pelvar
