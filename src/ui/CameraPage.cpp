#include "ui/CameraPage.h"

#include "app/Application.h"
#include "camera/CameraPreview.h"
#include "camera/CaptureSchedule.h"
#include "camera/SnapshotFile.h"
#include "camera/SnapshotUpload.h"
#include "ui/CameraControlTab.h"
#include "ui/DeviceControlsDialog.h"
#include "ui/Named.h"
#include "ui/OverlayTab.h"
#include "ui/PreviewView.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"
#include "ui/SnapshotTab.h"
#include "ui/UploadLogTab.h"
#include "ui/UploadTab.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

// The save dialog's filters; the one of the current extension is offered first.
constexpr const char* kGifFilter = "GIF Image (*.gif)";
constexpr const char* kJpegFilter = "JPEG Image File (*.jpg)";
constexpr const char* kBmpFilter = "Bitmaps (*.bmp)";

// A sub-page that scrolls when a 640 x 480 picture makes it wider than the window.
QScrollArea* scrolling(QWidget* page, const char* name)
{
    auto* area = named(new QScrollArea, name);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(page);
    return area;
}

QRadioButton* radio(const QString& caption, QWidget* parent, const char* name, QButtonGroup* group)
{
    auto* button = named(new QRadioButton(caption, parent), name);
    group->addButton(button);
    return button;
}

} // namespace

CameraPage::CameraPage(Application& app, Prompts& prompts, QWidget* parent)
    : SectionPage("Camera", "ts2", parent), m_app(app), m_camera(app.camera()), m_prompts(prompts),
      m_binder(new SettingsBinder(app.settings(), this))
{
    CameraPreview& preview = m_camera.preview();
    PageControl3 = named(new QTabWidget(this), "PageControl3");
    PageControl3->addTab(scrolling(makePreviewTab(), "Camerats1"), "Preview");
    snapshotTab = new SnapshotTab(app.settings(), m_camera);
    PageControl3->addTab(scrolling(snapshotTab, "Camerats2"), "Snapshot");
    overlayTab = new OverlayTab(app.settings(), m_camera.pass(), prompts);
    PageControl3->addTab(overlayTab, "Overlay");
    PageControl3->addTab(makeCaptureOptionsTab(), "Capture Options");
    controlTab = new CameraControlTab(app.settings(), m_camera);
    PageControl3->addTab(controlTab, "Control");
    uploadTab = new UploadTab(app.settings(), app.snapshotUpload());
    PageControl3->addTab(uploadTab, "FTP");
    uploadLogTab = new UploadLogTab(app.settings(), app.snapshotUpload(), prompts,
                                    QString::fromStdString(app.paths().dataDir));
    PageControl3->addTab(uploadLogTab, "FTP Log");
    Label63 = named(new QLabel(SnapshotUpload::kActive, this), "Label63");
    addToTitle(Label63);
    body()->addWidget(PageControl3);
    deviceControls = new DeviceControlsDialog(preview, this);

    connect(btnStartPreview, &QPushButton::clicked, this, &CameraPage::btnStartPreviewClick);
    connect(cboxDevice, &QComboBox::activated, this, &CameraPage::cboxDeviceChange);
    connect(cbAutoSelect, &QCheckBox::clicked, this, &CameraPage::cbAutoSelectClick);
    connect(btnStartCapture, &QPushButton::clicked, &m_camera.schedule(), &CaptureSchedule::ToggleCapture);
    connect(SpeedButton2, &QPushButton::clicked, this, &CameraPage::SpeedButton2Click);
    connect(btnImageBrowse, &QPushButton::clicked, this, &CameraPage::btnImageBrowseClick);
    connect(PageControl3, &QTabWidget::currentChanged, this, &CameraPage::PageControl3Change);
    connect(spInterval, &QSpinBox::valueChanged, this,
            [this](int value) { spInterval->setSingleStep(CaptureSchedule::spIntervalStep(value)); });

    connect(&preview, &CameraPreview::previewChanged, this, &CameraPage::previewChanged);
    connect(&preview, &CameraPreview::frameTimerChanged, this, &CameraPage::previewChanged);
    connect(&preview, &CameraPreview::deviceControlsChanged, SpeedButton2, &QWidget::setEnabled);
    connect(&preview, &CameraPreview::cameraStatusChanged, this, &CameraPage::PageControl3Change);
    connect(&preview, &CameraPreview::fullScreenChanged, this, &CameraPage::fullScreenChanged);
    connect(&m_camera.schedule(), &CaptureSchedule::captureChanged, this, &CameraPage::captureChanged);
    connect(&app.settings(), &SettingsModel::changed, this, &CameraPage::settingsChanged);
    connect(&app.snapshotUpload(), &SnapshotUpload::periodicChanged, Label63, &QWidget::setVisible);
    // The frame timer runs only while the program is the active one.
    connect(qApp, &QGuiApplication::applicationStateChanged, &preview,
            [&preview](Qt::ApplicationState state) {
                preview.setApplicationActive(state == Qt::ApplicationActive);
            });
    preview.setApplicationActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
    // The folder question of Start Capture.
    m_camera.schedule().setQuestion(
        [this](const QString& text) { return m_prompts.cancelOrIgnore(window(), text); });

    // The device list is made once at start-up; the stored position shows, or nothing.
    cboxDevice->addItems(preview.deviceNames());
    cboxDevice->setCurrentIndex(preview.selectedDevice());
    // The device's controls are unknown until its preview runs.
    SpeedButton2->setEnabled(preview.deviceControlsAvailable());
    settingsChanged();
    previewChanged();
    captureChanged();
    Label63->setVisible(app.snapshotUpload().periodicRunning());
}

CameraPage::~CameraPage()
{
    // The question would ask a page that is gone.
    m_camera.schedule().setQuestion({});
    delete fullScreenView;
}

QWidget* CameraPage::makePreviewTab()
{
    auto* tab = new QWidget;
    CameraPreview& preview = m_camera.preview();
    VideoWindow = new PreviewView(preview, false, tab);
    cboxDevice = named(new QComboBox(tab), "cboxDevice");
    cboxDevice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cboxDevice->setMinimumContentsLength(18);
    cbAutoSelect = named(new QCheckBox("AutoSelect current device", tab), "cbAutoSelect");
    btnStartPreview = named(new QPushButton(CameraPreview::kStartPreview, tab), "btnStartPreview");
    btnStartCapture = named(new QPushButton(CaptureSchedule::kStartCapture, tab), "btnStartCapture");
    SpeedButton2 = named(new QPushButton("Device Controls...", tab), "SpeedButton2");

    auto* sizeBox = named(new QGroupBox("Image Size", tab), "gbImageSize");
    auto* sizes = new QButtonGroup(sizeBox);
    rb320 = radio("320 x 240", sizeBox, "rb320", sizes);
    rb240 = radio("352 x 240", sizeBox, "rb240", sizes);
    rb264 = radio("352 x 264", sizeBox, "rb264", sizes);
    rb288 = radio("352 x 288", sizeBox, "rb288", sizes);
    rb480 = radio("640 x 480", sizeBox, "rb480", sizes);
    auto* sizeLayout = new QVBoxLayout(sizeBox);
    for (QRadioButton* button : {rb320, rb240, rb264, rb288, rb480}) {
        sizeLayout->addWidget(button);
    }

    auto* rateBox = named(new QGroupBox("Snapshot Window", tab), "gbFrameRate");
    cbUpdate = named(new QCheckBox("Continuously update Snapshot window", rateBox), "cbUpdate");
    auto* mains = new QButtonGroup(rateBox);
    rb50 = radio("50 Hz (European)", rateBox, "rb50", mains);
    rb60 = radio("60 Hz (North American)", rateBox, "rb60", mains);
    auto* rates = new QButtonGroup(rateBox);
    rb12 = radio(preview.rb12Caption(), rateBox, "rb12", rates);
    rb25 = radio(preview.rb25Caption(), rateBox, "rb25", rates);
    auto* rate = new QGridLayout(rateBox);
    rate->addWidget(cbUpdate, 0, 0, 1, 2);
    rate->addWidget(rb50, 1, 0);
    rate->addWidget(rb12, 1, 1);
    rate->addWidget(rb60, 2, 0);
    rate->addWidget(rb25, 2, 1);

    // Tested in the order 288, 264, 240, 480, 320: the last one set wins.
    m_binder->bind(rb288, &Settings::Camera, &CameraSettings::rb288);
    m_binder->bind(rb264, &Settings::Camera, &CameraSettings::rb264);
    m_binder->bind(rb240, &Settings::Camera, &CameraSettings::rb240);
    m_binder->bind(rb480, &Settings::Camera, &CameraSettings::rb480);
    m_binder->bind(rb320, &Settings::Camera, &CameraSettings::rb320);
    m_binder->bind(rb50, rb60, &Settings::Camera, &CameraSettings::Flicker);
    m_binder->bind(rb12, rb25, &Settings::Camera, &CameraSettings::fps);
    m_binder->bind(cbUpdate, &Settings::Camera, &CameraSettings::Update);
    m_binder->bind(cbAutoSelect, &Settings::Camera, &CameraSettings::AutoSelect);

    auto* device = new QHBoxLayout;
    device->addWidget(new QLabel("Device", tab));
    device->addWidget(cboxDevice, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStartPreview);
    buttons->addWidget(btnStartCapture);
    buttons->addWidget(SpeedButton2);
    buttons->addStretch();
    auto* choice = new QVBoxLayout;
    choice->addLayout(device);
    choice->addWidget(cbAutoSelect);
    choice->addStretch();
    m_previewSide = new QBoxLayout(QBoxLayout::TopToBottom);
    m_previewSide->addLayout(choice);
    m_previewSide->addWidget(sizeBox, 0, Qt::AlignTop);
    m_previewSide->addWidget(rateBox, 0, Qt::AlignTop);
    m_previewSide->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(VideoWindow);
    left->addLayout(buttons);
    left->addStretch();
    m_previewLayout = new QBoxLayout(QBoxLayout::LeftToRight, tab);
    m_previewLayout->addLayout(left);
    m_previewLayout->addLayout(m_previewSide);
    m_previewLayout->addStretch();
    connect(&preview, &CameraPreview::videoSizeChanged, this, &CameraPage::followPictureWidth);
    followPictureWidth();
    return tab;
}

QWidget* CameraPage::makeCaptureOptionsTab()
{
    auto* tab = named(new QWidget, "tsCaptureOptions");
    auto* fileBox = named(new QGroupBox("Snapshot File", tab), "gbSnapshotFile");
    edFileName = named(new QLineEdit(fileBox), "edFileName");
    btnImageBrowse = named(new QPushButton("Browse...", fileBox), "btnImageBrowse");
    cbResize = named(new QCheckBox("Don't adjust image size", fileBox), "cbResize");
    auto* file = new QGridLayout(fileBox);
    file->addWidget(edFileName, 0, 0);
    file->addWidget(btnImageBrowse, 0, 1);
    file->addWidget(cbResize, 1, 0, 1, 2);

    auto* captureBox = named(new QGroupBox("Capture", tab), "gbCapture");
    spInterval = named(new QSpinBox(captureBox), "spInterval");
    spInterval->setRange(CaptureSchedule::kMinInterval, CaptureSchedule::kMaxInterval);
    cbCheckPath =
        named(new QCheckBox("Check for valid file path (relative to Web Server)", captureBox), "cbCheckPath");
    cbDeleteOnCapEnd =
        named(new QCheckBox("Delete image when capture stops", captureBox), "cbDeleteOnCapEnd");
    cbDelete = named(new QCheckBox("Delete image when server exits", captureBox), "cbDelete");
    cbAutoStart = named(new QCheckBox("Auto-Start capture after", captureBox), "cbAutoStart");
    spDelay = named(new QSpinBox(captureBox), "spDelay");
    spDelay->setRange(0, 2000);
    spDelay->setSingleStep(10);
    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel("Capture image every", captureBox));
    every->addWidget(spInterval);
    every->addWidget(new QLabel("seconds.", captureBox));
    every->addStretch();
    auto* autoStart = new QHBoxLayout;
    autoStart->addWidget(cbAutoStart);
    autoStart->addWidget(spDelay);
    autoStart->addWidget(new QLabel("mSec delay", captureBox));
    autoStart->addStretch();
    auto* capture = new QVBoxLayout(captureBox);
    capture->addLayout(every);
    capture->addWidget(cbCheckPath);
    capture->addWidget(cbDeleteOnCapEnd);
    capture->addWidget(cbDelete);
    capture->addLayout(autoStart);

    m_binder->bind(edFileName, &Settings::Camera, &CameraSettings::File);
    m_binder->bind(cbResize, &Settings::Camera, &CameraSettings::DontResize);
    m_binder->bind(spInterval, &Settings::Camera, &CameraSettings::Interval);
    m_binder->bind(cbCheckPath, &Settings::Camera, &CameraSettings::CheckPath);
    m_binder->bind(cbDeleteOnCapEnd, &Settings::Camera, &CameraSettings::DeleteOnCapEnd);
    m_binder->bind(cbDelete, &Settings::Camera, &CameraSettings::Delete);
    m_binder->bind(cbAutoStart, &Settings::Camera, &CameraSettings::AutoStart);
    m_binder->bind(spDelay, &Settings::Camera, &CameraSettings::Delay);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(fileBox);
    layout->addWidget(captureBox);
    layout->addStretch();
    return tab;
}

void CameraPage::followPictureWidth()
{
    const bool wide = displayAreaSize(m_camera.preview().videoSize()).width() > CameraPreview::kDisplayWidth;
    m_previewLayout->setDirection(wide ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    m_previewSide->setDirection(wide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

void CameraPage::showPreview()
{
    PageControl3->setCurrentIndex(0);
}

void CameraPage::btnStartPreviewClick()
{
    m_camera.preview().btnStartPreviewClick();
}

void CameraPage::cboxDeviceChange(int position)
{
    m_camera.preview().cboxDeviceChange(position);
}

void CameraPage::cbAutoSelectClick()
{
    m_camera.preview().cbAutoSelectClick();
}

void CameraPage::SpeedButton2Click()
{
    if (!m_camera.preview().deviceControlsAvailable()) {
        return;
    }
    deviceControls->reload();
    deviceControls->open();
}

void CameraPage::btnImageBrowseClick()
{
    const auto s = m_app.settings().snapshot();
    const QString current = QString::fromStdString(s->Camera.File);
    // The dialog starts at the snapshot's folder and name without extension, else "untitled" in
    // the program's folder.
    QString proposed = QString::fromStdString(m_app.paths().dataDir) + "/untitled";
    if (!current.isEmpty()) {
        const QFileInfo info(current);
        proposed = info.path() + "/" + info.completeBaseName();
    }
    const std::string_view extension = fileExtension(s->Camera.File);
    QStringList filters;
    if (extension == ".gif") {
        filters = {kGifFilter, kJpegFilter, kBmpFilter};
    } else if (extension == ".bmp") {
        filters = {kBmpFilter, kGifFilter, kJpegFilter};
    } else {
        filters = {kJpegFilter, kGifFilter, kBmpFilter};
    }
    const QString chosen = m_prompts.saveFile(this, proposed, filters.join(";;"), "jpg");
    if (chosen.isEmpty()) {
        return;
    }
    m_app.settings().update([&](Settings& changed) {
        changed.Camera.File = chosen.toStdString();
        // The upload's remote name follows a new file until it has one of its own.
        if (changed.FTPCamera.File.empty()) {
            changed.FTPCamera.File = QFileInfo(chosen).fileName().toStdString();
        }
    });
}

void CameraPage::PageControl3Change()
{
    const bool enabled = m_camera.preview().fileNameEnabled();
    edFileName->setEnabled(enabled);
    btnImageBrowse->setEnabled(enabled);
}

void CameraPage::settingsChanged()
{
    m_binder->load();
    snapshotTab->loadSettings();
    overlayTab->loadSettings();
    controlTab->loadSettings();
    uploadTab->loadSettings();
    uploadLogTab->loadSettings();
    cbAutoStart->setEnabled(m_camera.preview().autoStartEnabled());
    spDelay->setEnabled(m_camera.preview().autoStartEnabled());
}

void CameraPage::previewChanged()
{
    CameraPreview& preview = m_camera.preview();
    btnStartPreview->setText(preview.startPreviewCaption());
    // Capture can be started only while the preview runs.
    btnStartCapture->setEnabled(preview.previewRunning());
    snapshotTab->btnStartCamera->setEnabled(preview.previewRunning());
    rb12->setText(preview.rb12Caption());
    rb25->setText(preview.rb25Caption());
    rb12->setEnabled(preview.frameRateButtonsEnabled());
    rb25->setEnabled(preview.frameRateButtonsEnabled());
    if (cboxDevice->currentIndex() != preview.selectedDevice()) {
        cboxDevice->setCurrentIndex(preview.selectedDevice());
    }
}

void CameraPage::captureChanged()
{
    const QString caption = m_camera.schedule().captureCaption();
    btnStartCapture->setText(caption);
    snapshotTab->btnStartCamera->setText(caption);
    snapshotTab->Panel32->setText(m_camera.schedule().Panel32());
    PageControl3Change();
}

void CameraPage::fullScreenChanged(bool fullScreen)
{
    if (fullScreen && !fullScreenView) {
        fullScreenView = new PreviewView(m_camera.preview(), true);
        fullScreenView->setWindowTitle("Kestrelon");
        fullScreenView->showFullScreen();
    } else if (!fullScreen && fullScreenView) {
        fullScreenView->deleteLater();
        fullScreenView = nullptr;
    }
}

} // namespace kestrelon
