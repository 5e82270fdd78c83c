#include "ui/main/frmMain.h"

#include "download/MainWindowLoad.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "platform/base/RunTimeError.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "ui/main/QtText.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelvar {
namespace {

QLabel* label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromLatin1(text), parent);
}

} // namespace

frmMain::frmMain(AppState& state, QWidget* parent) : QDialog(parent), state_(state), walk_(state) {
    setObjectName("frmMain");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    lblHdr = label("Pelvar 9 LiveUpdate", this);
    QFont heading = lblHdr->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    lblHdr->setFont(heading);
    lblDescr = label("Pelvar 9 LiveUpdate downloader verifies if there are any updates available "
                     "for Pelvar products and downloads the updates",
                     this);
    lblDescr->setWordWrap(true);

    fmeProductInfo = new QGroupBox("Download Details", this);
    lblProductnm = label("For", fmeProductInfo);
    cmbProdType = new QComboBox(fmeProductInfo);
    cmbProdType->setEditable(false);
    cmbProdType->addItem(QString::fromLatin1(editionText(Edition::Pos)));
    cmbProdType->setMinimumContentsLength(14);
    // Keyboard search and arrow keys would change the edition without a selection event.
    cmbProdType->installEventFilter(this);
    lblPatchNo = label("", fmeProductInfo);
    lblLasupdateddt = label("Last downloaded on", fmeProductInfo);
    lblLastUpdated = label("", fmeProductInfo);
    auto* productGrid = new QGridLayout(fmeProductInfo);
    productGrid->addWidget(lblProductnm, 0, 0);
    productGrid->addWidget(cmbProdType, 0, 1);
    productGrid->addWidget(lblPatchNo, 0, 2);
    productGrid->addWidget(lblLasupdateddt, 1, 0);
    productGrid->addWidget(lblLastUpdated, 1, 1, 1, 2);
    productGrid->setColumnStretch(2, 1);

    fmeLUEngineInfo = new QGroupBox("Pelvar 9 LiveUpdate Details", this);
    lblEngineVer = label("Engine Version", fmeLUEngineInfo);
    lblEngineVersion = label("", fmeLUEngineInfo);
    auto* engineRow = new QHBoxLayout(fmeLUEngineInfo);
    engineRow->addWidget(lblEngineVer);
    engineRow->addWidget(lblEngineVersion, 1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    lblLocation = label("", this);
    lblDFileSize = label("", this);
    lblStatus = label("", this);
    // Status texts pad with blanks so that the file name starts on a line of its own.
    lblStatus->setWordWrap(true);
    lblStatus->setMinimumHeight(lblStatus->fontMetrics().lineSpacing() * 2);
    for (QLabel* l :
         {lblPatchNo, lblLastUpdated, lblEngineVersion, lblLocation, lblDFileSize, lblStatus}) {
        l->setTextFormat(Qt::PlainText);
    }

    cmdDownload = new QPushButton("&Download", this);
    cmdSettings = new QPushButton("&Settings", this);
    cmdExit = new QPushButton("E&xit", this);
    for (QPushButton* b : {cmdDownload, cmdSettings, cmdExit}) {
        b->setAutoDefault(false);
    }
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdDownload);
    buttonRow->addWidget(cmdSettings);
    buttonRow->addWidget(cmdExit);

    auto* page = new QVBoxLayout(this);
    page->addWidget(lblHdr);
    page->addWidget(lblDescr);
    page->addWidget(fmeProductInfo);
    page->addWidget(fmeLUEngineInfo);
    page->addWidget(ProgressBar1);
    page->addWidget(lblLocation);
    page->addWidget(lblDFileSize);
    page->addWidget(lblStatus);
    page->addStretch(1);
    page->addLayout(buttonRow);
    setMinimumWidth(460);

    connect(cmbProdType, &QComboBox::activated, this, &frmMain::cmbProdType_Click);
    connect(cmdDownload, &QPushButton::clicked, this, &frmMain::cmdDownload_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &frmMain::cmdSettings_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);

    state_.mainWindow = this;
}

frmMain::~frmMain() {
    if (state_.mainWindow == this) {
        state_.mainWindow = nullptr;
    }
}

void frmMain::Form_Load() {
    setProgress(0);
    PrepareMainWindowState(state_);
    setWindowTitle(qtText(state_.AppTitle));
    cmbProdType->clear();
    cmbProdType->addItem(QString::fromLatin1(editionText(Edition::Pos)));
    cmbProdType->addItem(QString::fromLatin1(editionText(Edition::Ho)));
    cmbProdType->setCurrentIndex(0);
    SetLables();
    MigratePatchVersions(state_);
}

void frmMain::SetLables() {
    const EditionLabels labels = ReadEditionLabels(state_, chosenEdition());
    if (labels.known) {
        lblLastUpdated->setText(qtText(labels.lastUpdated));
        lblPatchNo->setText(qtText(labels.patchNo));
    }
    lblEngineVersion->setText(QString::fromLatin1(EngineVersion));
}

void frmMain::cmbProdType_Click() {
    handle([this] { SetLables(); });
}

void frmMain::cmdDownload_Click() {
    handle([this] { DownloadButtonClicked(walk_, xZip, *this); });
}

void frmMain::cmdSettings_Click() {
    handle([this] {
        PrepareSettingsOpen(state_, chosenEdition());
        settingsOpener();
    });
}

void frmMain::cmdExit_Click() {
    handle([this] { EndHostProcess(state_); });
}

void frmMain::handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RunStopped&) {
        // The host ends by unwinding (the tests' and the console's hosts); the window goes
        // with it, and the entry passes the ending on once the modal loop has returned.
        hostEnded_ = true;
        done(QDialog::Rejected);
    } catch (const RunTimeError& e) {
        state_.services.prompter.show(e.description(), box::Information, "Pelvar");
    } catch (const std::exception& e) {
        state_.services.prompter.show(e.what(), box::Information, "Pelvar");
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmbProdType && event->type() == QEvent::KeyPress) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    // Escape would close the dialog; the window only closes by its system menu or Exit.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmMain::setProgress(float value) {
    progress_ = value;
    ProgressBar1->setValue(int(value));
}

void frmMain::setProgressVisible(bool visible) {
    ProgressBar1->setVisible(visible);
}

void frmMain::setFileSize(const std::string& text) {
    lblDFileSize->setText(qtText(text));
}

std::optional<Edition> frmMain::chosenEdition() const {
    return editionFromText(stdText(cmbProdType->currentText()));
}

void frmMain::setStatus(const std::string& text) {
    lblStatus->setText(qtText(text));
}

void frmMain::setButtonsEnabled(bool enabled) {
    for (QPushButton* b : {cmdDownload, cmdSettings, cmdExit}) {
        b->setEnabled(enabled);
    }
}

void frmMain::resetPointer() {
    setBusyPointer(false);
}

void frmMain::setBusyPointer(bool busy) {
    if (busy) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
}

} // namespace pelvar
