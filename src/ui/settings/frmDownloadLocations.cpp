#include "ui/settings/frmDownloadLocations.h"

#include "download/DownloadSession.h"
#include "environment/AppState.h"
#include "platform/host/Prompter.h"
#include "settings/SettingsFiles.h"
#include "ui/main/QtText.h"
#include "ui/settings/WindowHandler.h"
#include "ui/settings/frmSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelvar {
namespace {

QLabel* label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromLatin1(text), parent);
}

} // namespace

frmDownloadLocations::frmDownloadLocations(AppState& state, frmSettings* settings,
                                           std::string editedLocationFile, QWidget* parent)
    : QDialog(parent), state_(state), settings_(settings),
      editedLocationFile_(std::move(editedLocationFile)) {
    setObjectName("frmDownloadLocations");
    setWindowTitle("Download Locations");

    lblProductType = label("Product :", this);
    lblProductName = label("", this);
    lblCaption = label("Location Name", this);
    txtLocCaption = new QLineEdit(this);
    lblDownLdType = label("Download using", this);
    cmbDownLdType = new QComboBox(this);

    frmeInternet = new QGroupBox(this);
    lblWebAddress = label("HTTP Address", frmeInternet);
    txtRemoteHost = new QLineEdit(frmeInternet);
    lblSample = label("", frmeInternet);
    Label1 = label("Port", frmeInternet);
    txtRemotePort = new QLineEdit(frmeInternet);
    Label2 = label("User Name", frmeInternet);
    txtUserName = new QLineEdit(frmeInternet);
    lblPasswd = label("Password", frmeInternet);
    txtPassword = new QLineEdit(frmeInternet);
    txtPassword->setEchoMode(QLineEdit::Password);
    lblConfPasswd = label("Confirm Password", frmeInternet);
    txtConfPassword = new QLineEdit(frmeInternet);
    txtConfPassword->setEchoMode(QLineEdit::Password);
    chkActiveFTP = new QCheckBox("Active FTP", frmeInternet);
    chkProxyServer = new QCheckBox("Connect through a Proxy Server", frmeInternet);
    Label3 = label("Proxy Address", frmeInternet);
    txtProxy = new QLineEdit(frmeInternet);
    lblProxyPortno = label("Port", frmeInternet);
    txtproxyPort = new QLineEdit(frmeInternet);

    auto* grid = new QGridLayout(frmeInternet);
    grid->addWidget(lblWebAddress, 0, 0);
    grid->addWidget(txtRemoteHost, 0, 1, 1, 3);
    grid->addWidget(lblSample, 1, 1, 1, 3);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(txtRemotePort, 2, 1);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(txtUserName, 3, 1, 1, 3);
    grid->addWidget(lblPasswd, 4, 0);
    grid->addWidget(txtPassword, 4, 1, 1, 3);
    grid->addWidget(lblConfPasswd, 5, 0);
    grid->addWidget(txtConfPassword, 5, 1, 1, 3);
    grid->addWidget(chkActiveFTP, 6, 1, 1, 3);
    grid->addWidget(chkProxyServer, 7, 0, 1, 4);
    grid->addWidget(Label3, 8, 0);
    grid->addWidget(txtProxy, 8, 1);
    grid->addWidget(lblProxyPortno, 8, 2);
    grid->addWidget(txtproxyPort, 8, 3);
    grid->setColumnStretch(1, 1);

    cmdOk = new QPushButton("&Save", this);
    cmdCancel = new QPushButton("E&xit", this);
    for (QPushButton* b : {cmdOk, cmdCancel}) {
        b->setAutoDefault(false);
    }

    auto* head = new QGridLayout;
    head->addWidget(lblProductType, 0, 0);
    head->addWidget(lblProductName, 0, 1);
    head->addWidget(lblCaption, 1, 0);
    head->addWidget(txtLocCaption, 1, 1);
    head->addWidget(lblDownLdType, 2, 0);
    head->addWidget(cmbDownLdType, 2, 1);
    head->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto* page = new QVBoxLayout(this);
    page->addLayout(head);
    page->addWidget(frmeInternet);
    page->addLayout(buttons);
    setMinimumWidth(440);

    connect(cmbDownLdType, &QComboBox::activated, this, &frmDownloadLocations::cmbDownLdType_Click);
    connect(chkProxyServer, &QCheckBox::clicked, this, &frmDownloadLocations::chkProxyServer_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmDownloadLocations::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDownloadLocations::cmdCancel_Click);
}

void frmDownloadLocations::FillDownloadTypes() {
    cmbDownLdType->clear();
    cmbDownLdType->addItems({"HTTP", "FTP"});
}

void frmDownloadLocations::Form_Load() {
    runHandler([this] {
        FillDownloadTypes();
        if (!editedLocationFile_.empty()) {
            const std::string edition =
                settings_ ? settings_->productName() : editionText(state_.edition);
            lblProductName->setText(qtText(edition));
            state_.DownloadLocation.clear();
            LoadDownloadLocation(state_, editedLocationFile_);
            showEntry(entryFromLocation(state_.DownloadLocation, edition));
            txtLocCaption->setEnabled(false); // a location keeps its name
        } else {
            lblProductName->setText(qtText(editionText(state_.edition)));
            cmbDownLdType->setCurrentIndex(0);
            applyLayout("HTTP");
            chkProxyServer_Click();
        }
    });
}

LocationEntry frmDownloadLocations::entry() const {
    LocationEntry e;
    e.edition = stdText(lblProductName->text());
    e.name = stdText(txtLocCaption->text());
    e.type = stdText(cmbDownLdType->currentText());
    e.remoteHost = stdText(txtRemoteHost->text());
    e.remotePort = stdText(txtRemotePort->text());
    e.userName = stdText(txtUserName->text());
    e.password = stdText(txtPassword->text());
    e.confPassword = stdText(txtConfPassword->text());
    e.activeFtp = chkActiveFTP->isChecked();
    e.proxy = chkProxyServer->isChecked();
    e.proxyAddress = stdText(txtProxy->text());
    e.proxyPort = stdText(txtproxyPort->text());
    return e;
}

void frmDownloadLocations::showEntry(const LocationEntry& e) {
    txtLocCaption->setText(qtText(e.name));
    cmbDownLdType->setCurrentIndex(cmbDownLdType->findText(qtText(e.type)));
    applyLayout(qtText(e.type));
    txtRemoteHost->setText(qtText(e.remoteHost));
    txtRemotePort->setText(qtText(e.remotePort));
    txtUserName->setText(qtText(e.userName));
    txtPassword->setText(qtText(e.password));
    txtConfPassword->setText(qtText(e.confPassword));
    chkActiveFTP->setChecked(e.type == "FTP" && e.activeFtp);
    chkProxyServer->setChecked(e.proxy);
    txtProxy->setText(qtText(e.proxyAddress));
    txtproxyPort->setText(qtText(e.proxyPort));
    chkProxyServer_Click();
}

void frmDownloadLocations::applyLayout(const QString& type) {
    const bool ftp = type == "FTP";
    if (!ftp && type != "HTTP") {
        return;
    }
    lblWebAddress->setText(ftp ? "FTP Address" : "HTTP Address");
    lblSample->setText(ftp ? "e.g. ftp.example.com/pelvar/patches"
                           : "e.g. www.example.com/pelvar/patches");
    frmeInternet->setVisible(true);
    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(txtUserName),
                       static_cast<QWidget*>(lblPasswd), static_cast<QWidget*>(txtPassword),
                       static_cast<QWidget*>(lblConfPasswd), static_cast<QWidget*>(txtConfPassword),
                       static_cast<QWidget*>(chkActiveFTP)}) {
        w->setVisible(ftp);
    }
}

void frmDownloadLocations::cmbDownLdType_Click() {
    const QString type = cmbDownLdType->currentText();
    applyLayout(type);
    if (type == "FTP") {
        chkActiveFTP->setChecked(true);
    }
}

void frmDownloadLocations::setProxyBoxes(bool enabled, const QColor& background) {
    for (QLineEdit* box : {txtProxy, txtproxyPort}) {
        if (!enabled) {
            box->clear();
        }
        box->setEnabled(enabled);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, background);
        box->setPalette(palette);
    }
}

void frmDownloadLocations::chkProxyServer_Click() {
    if (chkProxyServer->isChecked()) {
        setProxyBoxes(true, txtLocCaption->palette().color(QPalette::Base));
    } else {
        setProxyBoxes(false, lblCaption->palette().color(QPalette::Window));
    }
}

QWidget* frmDownloadLocations::control(EntryControl which) const {
    switch (which) {
    case EntryControl::cmbDownLdType:
        return cmbDownLdType;
    case EntryControl::txtLocCaption:
        return txtLocCaption;
    case EntryControl::txtRemoteHost:
        return txtRemoteHost;
    case EntryControl::txtRemotePort:
        return txtRemotePort;
    case EntryControl::txtConfPassword:
        return txtConfPassword;
    case EntryControl::txtProxy:
        return txtProxy;
    case EntryControl::txtproxyPort:
        return txtproxyPort;
    case EntryControl::None:
        break;
    }
    return nullptr;
}

void frmDownloadLocations::cmdOk_Click() {
    runHandler([this] {
        if (settings_ && !settings_->cmdModify->isEnabled()) {
            settings_->cmdModify->setEnabled(true);
        }
        const EntryCheck check = SaveLocation(state_, entry(), !editedLocationFile_.empty());
        locationSaved_ = check.ok;
        // The boxes the check emptied.
        txtLocCaption->setText(qtText(check.entry.name));
        txtRemotePort->setText(qtText(check.entry.remotePort));
        if (!check.entry.proxy) {
            setProxyBoxes(false, QApplication::palette().color(QPalette::Button));
        } else {
            txtProxy->setText(qtText(check.entry.proxyAddress));
            txtproxyPort->setText(qtText(check.entry.proxyPort));
        }
        if (!check.ok) {
            if (QWidget* w = control(check.focus)) {
                w->setFocus();
            }
            return;
        }
        if (settings_) {
            settings_->ReloadList();
        }
        done(QDialog::Accepted);
    });
}

void frmDownloadLocations::cmdCancel_Click() {
    if (txtRemoteHost->text().isEmpty()) {
        done(QDialog::Rejected);
        return;
    }
    const int answer = state_.services.prompter.show(
        "Do you want to cancel the without saving the download location?",
        box::YesNo + box::Question, state_.AppTitle);
    if (answer == box::AnswerYes) {
        done(QDialog::Rejected);
    } else {
        cmdOk->setFocus();
    }
}

} // namespace pelvar
