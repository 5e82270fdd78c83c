#pragma once

#include "settings/LocationEntry.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelvar {

struct AppState;
class frmSettings;

// Adds a download location (`editedLocationFile` empty) or modifies the one of that location
// file. `settings` is the settings window beneath when modifying; when adding it has closed,
// and its opener shows it again afterwards.
class frmDownloadLocations : public QDialog {
    Q_OBJECT

  public:
    frmDownloadLocations(AppState& state, frmSettings* settings,
                         std::string editedLocationFile = {}, QWidget* parent = nullptr);

    void Form_Load();
    void FillDownloadTypes();
    // The boxes as an entry, and an entry back into the boxes.
    LocationEntry entry() const;
    void showEntry(const LocationEntry& entry);
    bool LocationSaved() const { return locationSaved_; }

    QLabel* lblProductType;
    QLabel* lblProductName;
    QLabel* lblCaption;
    QLineEdit* txtLocCaption;
    QLabel* lblDownLdType;
    QComboBox* cmbDownLdType;
    QGroupBox* frmeInternet;
    QLabel* lblWebAddress;
    QLineEdit* txtRemoteHost;
    QLabel* lblSample;
    QLabel* Label1;
    QLineEdit* txtRemotePort;
    QLabel* Label2;
    QLineEdit* txtUserName;
    QLabel* lblPasswd;
    QLineEdit* txtPassword;
    QLabel* lblConfPasswd;
    QLineEdit* txtConfPassword;
    QCheckBox* chkActiveFTP;
    QCheckBox* chkProxyServer;
    QLabel* Label3;
    QLineEdit* txtProxy;
    QLabel* lblProxyPortno;
    QLineEdit* txtproxyPort;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

  public slots:
    void cmbDownLdType_Click();
    void chkProxyServer_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

  private:
    void applyLayout(const QString& type);
    void setProxyBoxes(bool enabled, const QColor& background);
    QWidget* control(EntryControl which) const;

    AppState& state_;
    frmSettings* settings_;
    std::string editedLocationFile_;
    bool locationSaved_ = false;
};

} // namespace pelvar
