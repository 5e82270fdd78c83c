#include "ui/settings/frmSettings.h"

#include "download/LocationListing.h"
#include "environment/AppState.h"
#include "platform/host/Prompter.h"
#include "settings/SettingsFiles.h"
#include "ui/main/QtText.h"
#include "ui/settings/WindowHandler.h"
#include "ui/settings/frmDownloadLocations.h"
#include "ui/settings/frmSchedule.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pelvar {
namespace {

constexpr int PasswordColumn = 5;

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmSettings::frmSettings(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state), shownBefore_(state.settingsWindow) {
    setObjectName("frmSettings");
    const std::string caption = state.SettingsCaption.empty()
                                    ? pelvar::productName(state.edition.value_or(Edition::Pos)) +
                                          std::string(" LiveUpdate Settings")
                                    : state.SettingsCaption;
    setWindowTitle(qtText(caption));

    lblProductType = new QLabel("Product:", this);
    lblProductName = new QLabel(this);
    lblDownloadTo = new QLabel("Download To", this);
    txtDownloadPath = new QLineEdit(this);
    cmdBrowse = button("...", this);

    fmeDownload = new QGroupBox("Download Details", this);
    fpDownloadInfo = new QTableWidget(0, 6, fmeDownload);
    fpDownloadInfo->setHorizontalHeaderLabels({"Location Name", "Download Using", "From Location",
                                               "Proxy Server", "User Name", "Password"});
    fpDownloadInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fpDownloadInfo->setSelectionBehavior(QAbstractItemView::SelectRows);
    fpDownloadInfo->setSelectionMode(QAbstractItemView::SingleSelection);
    // Headers and addresses are read whole: each column takes the width of its contents
    // (the grid scrolls sideways when they do not fit), the last one also the space left.
    fpDownloadInfo->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fpDownloadInfo->horizontalHeader()->setStretchLastSection(true);
    fpDownloadInfo->setWordWrap(false);
    fpDownloadInfo->setTextElideMode(Qt::ElideNone);
    fpDownloadInfo->verticalHeader()->setVisible(false);
    cmdAdd = button("&Add", fmeDownload);
    cmdModify = button("&Modify", fmeDownload);
    cmdDelete = button("&Delete", fmeDownload);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(cmdAdd);
    listButtons->addWidget(cmdModify);
    listButtons->addWidget(cmdDelete);
    listButtons->addStretch(1);
    auto* frame = new QHBoxLayout(fmeDownload);
    frame->addWidget(fpDownloadInfo, 1);
    frame->addLayout(listButtons);

    cmdSave = button("&Save", this);
    cmdSchedule = button("&Schedule", this);
    cmdClose = button("E&xit", this);

    auto* top = new QGridLayout;
    top->addWidget(lblProductType, 0, 0);
    top->addWidget(lblProductName, 0, 1, 1, 2);
    top->addWidget(lblDownloadTo, 1, 0);
    top->addWidget(txtDownloadPath, 1, 1);
    top->addWidget(cmdBrowse, 1, 2);
    top->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdSave);
    bottom->addWidget(cmdSchedule);
    bottom->addWidget(cmdClose);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(fmeDownload, 1);
    page->addLayout(bottom);
    resize(720, 360);

    browseForFolder = [this] { return stdText(QFileDialog::getExistingDirectory(this)); };

    connect(cmdAdd, &QPushButton::clicked, this, &frmSettings::cmdAdd_Click);
    connect(cmdModify, &QPushButton::clicked, this, &frmSettings::cmdModify_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmSettings::cmdDelete_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmSettings::cmdSave_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmSettings::cmdBrowse_Click);
    connect(cmdSchedule, &QPushButton::clicked, this, &frmSettings::cmdSchedule_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSettings::cmdClose_Click);

    state_.settingsWindow = this;
}

frmSettings::~frmSettings() {
    if (state_.settingsWindow == this) {
        state_.settingsWindow = shownBefore_;
    }
}

void frmSettings::Form_Load() {
    runHandler([this] {
        fpDownloadInfo->setRowCount(0);
        if (state_.edition) {
            lblProductName->setText(qtText(editionText(*state_.edition)));
        }
        if (!ListLocations(state_, *this)) {
            cmdModify->setEnabled(false);
        }
        txtDownloadPath->setText(qtText(state_.DownloadFolder));
    });
}

void frmSettings::ReloadList() {
    fpDownloadInfo->setRowCount(0);
    ListLocations(state_, *this);
    txtDownloadPath->setText(qtText(state_.DownloadFolder));
}

std::vector<std::string> frmSettings::rowNames() const {
    std::vector<std::string> names;
    for (int r = 0; r < fpDownloadInfo->rowCount(); ++r) {
        const QTableWidgetItem* item = fpDownloadInfo->item(r, 0);
        names.push_back(item ? stdText(item->text()) : std::string());
    }
    return names;
}

std::string frmSettings::productName() const {
    return stdText(lblProductName->text());
}

void frmSettings::addLocationRow(const LocationRecord& l) {
    fpDownloadInfo->setUpdatesEnabled(false);
    const int row = fpDownloadInfo->rowCount();
    fpDownloadInfo->insertRow(row);
    const std::string cells[] = {l.Description, l.DownloadType, l.Location + l.FolderLocation,
                                 l.Port,        l.UserName,     l.Password};
    for (int column = 0; column < 6; ++column) {
        auto* item = new QTableWidgetItem(qtText(cells[column]));
        if (column == PasswordColumn) {
            // Shown masked; the text itself stays with the cell.
            item->setData(Qt::UserRole, item->text());
            item->setText(QString(item->text().size(), QChar('*')));
        }
        fpDownloadInfo->setItem(row, column, item);
    }
    if (fpDownloadInfo->currentRow() < 0) {
        fpDownloadInfo->setCurrentCell(0, 0);
    }
    fpDownloadInfo->setUpdatesEnabled(true);
}

std::string frmSettings::downloadPath() const {
    return stdText(txtDownloadPath->text());
}

void frmSettings::setDownloadPath(const std::string& text) {
    txtDownloadPath->setText(qtText(text));
}

void frmSettings::cmdAdd_Click() {
    addRequested_ = true;
    done(QDialog::Rejected);
}

void frmSettings::cmdModify_Click() {
    runHandler([this] {
        const int row = fpDownloadInfo->currentRow();
        const auto names = rowNames();
        const std::string name =
            row >= 0 && row < int(names.size()) ? names[std::size_t(row)] : std::string();
        const std::string locationFile = name + ".ini";
        if (const auto refusal = modifyRefusal(locationFile)) {
            state_.services.prompter.show(*refusal, box::Information, DownloaderTitle);
            return;
        }
        frmDownloadLocations editor(state_, this, locationFile, this);
        editor.Form_Load();
        editor.exec();
    });
}

void frmSettings::cmdDelete_Click() {
    runHandler([this] {
        std::vector<std::string> rows = rowNames();
        const int row = fpDownloadInfo->currentRow();
        if (DeleteLocation(state_, editionFromText(productName()), downloadPath(), rows, row) &&
            row >= 0) {
            fpDownloadInfo->removeRow(row);
        }
    });
}

void frmSettings::cmdSave_Click() {
    runHandler([this] {
        // The registry copy belongs to the edition chosen in the main window.
        const auto shown = editionFromText(productName());
        const auto registryEdition = state_.mainWindow ? state_.mainWindow->chosenEdition() : shown;
        if (!SaveDownloadSettings(state_, shown, registryEdition, downloadPath(), rowNames())) {
            txtDownloadPath->clear();
            txtDownloadPath->setFocus();
            return;
        }
        done(QDialog::Accepted);
    });
}

void frmSettings::cmdBrowse_Click() {
    txtDownloadPath->setText(qtText(browseForFolder()));
}

void frmSettings::cmdSchedule_Click() {
    runHandler([this] {
        frmSchedule schedule(state_, this);
        schedule.Form_Load();
        schedule.exec();
    });
}

void frmSettings::cmdClose_Click() {
    fpDownloadInfo->setRowCount(0);
    done(QDialog::Rejected);
}

void ShowSettingsWindow(AppState& state, QWidget* parent) {
    for (;;) {
        bool adding = false;
        {
            frmSettings settings(state, parent);
            settings.Form_Load();
            settings.exec();
            adding = settings.addRequested();
        }
        if (!adding) {
            return;
        }
        frmDownloadLocations editor(state, nullptr, {}, parent);
        editor.Form_Load();
        editor.exec();
    }
}

} // namespace pelvar
