#pragma once

#include "environment/Surfaces.h"

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace pelvar {

struct AppState;

// The download settings of the edition chosen in the main window: the local download folder
// and the list of download locations. The listing walk fills the grid through
// SettingsSurface.
class frmSettings : public QDialog, public SettingsSurface {
    Q_OBJECT

  public:
    explicit frmSettings(AppState& state, QWidget* parent = nullptr);
    ~frmSettings() override;

    void Form_Load();
    // Empties the grid and walks the settings file again (after the editor saved).
    void ReloadList();
    // Column 1 of every row: the location names.
    std::vector<std::string> rowNames() const;
    // True when the window closed itself to add a location.
    bool addRequested() const { return addRequested_; }

    // The folder picker; returns an empty text when cancelled.
    std::function<std::string()> browseForFolder;

    // SettingsSurface
    std::string productName() const override;
    void addLocationRow(const LocationRecord& location) override;
    std::string downloadPath() const override;
    void setDownloadPath(const std::string& text) override;

    QLabel* lblProductType;
    QLabel* lblProductName;
    QLabel* lblDownloadTo;
    QLineEdit* txtDownloadPath;
    QPushButton* cmdBrowse;
    QGroupBox* fmeDownload;
    QTableWidget* fpDownloadInfo;
    QPushButton* cmdAdd;
    QPushButton* cmdModify;
    QPushButton* cmdDelete;
    QPushButton* cmdSave;
    QPushButton* cmdSchedule;
    QPushButton* cmdClose;

  public slots:
    void cmdAdd_Click();
    void cmdModify_Click();
    void cmdDelete_Click();
    void cmdSave_Click();
    void cmdBrowse_Click();
    void cmdSchedule_Click();
    void cmdClose_Click();

  private:
    AppState& state_;
    SettingsSurface* shownBefore_;
    bool addRequested_ = false;
};

// Shows the settings window modally until the user leaves it. Adding a location closes the
// window for the editor; it opens afresh, with the list reloaded, when the editor is done.
void ShowSettingsWindow(AppState& state, QWidget* parent);

} // namespace pelvar
