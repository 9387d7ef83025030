#include "ui/UploadTab.h"

#include "camera/SnapshotUpload.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestrelon {

UploadTab::UploadTab(SettingsModel& settings, SnapshotUpload& upload, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_upload(upload), m_binder(new SettingsBinder(settings, this))
{
    setObjectName("tsFTPImage");
    gbRemote = named(new QGroupBox("Remote", this), "gbRemote");
    edImageHost = named(new QLineEdit(gbRemote), "edImageHost");
    edImageusername = named(new QLineEdit(gbRemote), "edImageusername");
    edImagePassword = named(new QLineEdit(gbRemote), "edImagePassword");
    edImagePassword->setEchoMode(QLineEdit::Password);
    edImagePassword->setStyleSheet("lineedit-password-character: 43;"); // "+"
    cbImagePassword = named(new QCheckBox("Remember password", gbRemote), "cbImagePassword");
    edImageRemoteDir = named(new QLineEdit(gbRemote), "edImageRemoteDir");
    edImageRemoteFile = named(new QLineEdit(gbRemote), "edImageRemoteFile");
    btnCopyFromRefresh = named(new QPushButton("Copy From IP-Refresh", gbRemote), "btnCopyFromRefresh");
    auto* remote = new QGridLayout(gbRemote);
    remote->addWidget(new QLabel("Host", gbRemote), 0, 0);
    remote->addWidget(edImageHost, 0, 1, 1, 2);
    remote->addWidget(new QLabel("Username", gbRemote), 1, 0);
    remote->addWidget(edImageusername, 1, 1, 1, 2);
    remote->addWidget(new QLabel("Password", gbRemote), 2, 0);
    remote->addWidget(edImagePassword, 2, 1);
    remote->addWidget(cbImagePassword, 2, 2);
    remote->addWidget(new QLabel("Directory", gbRemote), 3, 0);
    remote->addWidget(edImageRemoteDir, 3, 1, 1, 2);
    remote->addWidget(new QLabel("Filename", gbRemote), 4, 0);
    remote->addWidget(edImageRemoteFile, 4, 1, 1, 2);
    remote->addWidget(btnCopyFromRefresh, 5, 1, 1, 2, Qt::AlignLeft);
    remote->setColumnStretch(1, 1);

    Edit1 = named(new QLineEdit(this), "Edit1");
    Edit1->setReadOnly(true);
    SpinEdit2 = named(new QSpinBox(this), "SpinEdit2");
    SpinEdit2->setRange(SnapshotUpload::kMinInterval, SnapshotUpload::kMaxInterval);
    cbImageAutoFTP = named(new QCheckBox("Start automatically", this), "cbImageAutoFTP");
    btnFTPImage = named(new QPushButton("Upload", this), "btnFTPImage");
    btnImageFTPStart = named(new QPushButton("Start", this), "btnImageFTPStart");
    btnStop = named(new QPushButton("Stop", this), "btnStop");
    Panel40 = named(new QLabel(this), "Panel40");
    Panel40->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel40->setAlignment(Qt::AlignCenter);
    Panel40->setMinimumWidth(Panel40->fontMetrics().horizontalAdvance("6000") + 12);

    auto* local = new QHBoxLayout;
    local->addWidget(new QLabel("Local Filename", this));
    local->addWidget(Edit1, 1);
    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel("Interval (seconds)", this));
    every->addWidget(SpinEdit2);
    every->addSpacing(10);
    every->addWidget(cbImageAutoFTP);
    every->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnFTPImage);
    buttons->addSpacing(10);
    buttons->addWidget(btnImageFTPStart);
    buttons->addWidget(btnStop);
    buttons->addSpacing(10);
    buttons->addWidget(new QLabel("Seconds left to next upload", this));
    buttons->addWidget(Panel40);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbRemote);
    layout->addLayout(local);
    layout->addLayout(every);
    layout->addLayout(buttons);
    layout->addStretch();

    m_binder->bind(edImageHost, &Settings::FTPCamera, &FTPCameraSettings::Host);
    m_binder->bind(edImageusername, &Settings::FTPCamera, &FTPCameraSettings::Username);
    m_binder->bind(edImagePassword, &Settings::FTPCamera, &FTPCameraSettings::Password);
    m_binder->bind(cbImagePassword, &Settings::FTPCamera, &FTPCameraSettings::SavePass);
    m_binder->bind(edImageRemoteDir, &Settings::FTPCamera, &FTPCameraSettings::Directory);
    m_binder->bind(edImageRemoteFile, &Settings::FTPCamera, &FTPCameraSettings::File);
    m_binder->bind(SpinEdit2, &Settings::FTPCamera, &FTPCameraSettings::Interval);
    m_binder->bind(cbImageAutoFTP, &Settings::FTPCamera, &FTPCameraSettings::AutoStart);

    connect(btnFTPImage, &QPushButton::clicked, this, &UploadTab::btnFTPImageClick);
    connect(btnImageFTPStart, &QPushButton::clicked, this, &UploadTab::btnImageFTPStartClick);
    connect(btnStop, &QPushButton::clicked, this, &UploadTab::btnStopClick);
    connect(btnCopyFromRefresh, &QPushButton::clicked, this, &UploadTab::btnCopyFromRefreshClick);
    connect(SpinEdit2, &QSpinBox::valueChanged, this,
            [this](int value) { SpinEdit2->setSingleStep(SnapshotUpload::intervalStep(value)); });
    connect(&upload, &SnapshotUpload::countdownChanged, Panel40, &QLabel::setText);
    connect(&upload, &SnapshotUpload::periodicChanged, this, &UploadTab::stateChanged);
    connect(&upload, &SnapshotUpload::uploadingChanged, this, &UploadTab::stateChanged);
    loadSettings();
    stateChanged();
}

void UploadTab::loadSettings()
{
    m_binder->load();
    SpinEdit2->setSingleStep(SnapshotUpload::intervalStep(SpinEdit2->value()));
    tsFTPImageShow();
}

void UploadTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    tsFTPImageShow();
}

void UploadTab::tsFTPImageShow()
{
    Edit1->setText(QString::fromStdString(m_settings.snapshot()->Camera.File));
}

void UploadTab::stateChanged()
{
    btnImageFTPStart->setEnabled(!m_upload.periodicRunning());
    btnStop->setEnabled(m_upload.periodicRunning());
    // One upload at a time: a click while one runs would do nothing.
    btnFTPImage->setEnabled(!m_upload.uploading());
    Panel40->setText(m_upload.Panel40());
}

void UploadTab::btnFTPImageClick()
{
    m_upload.upload();
}

void UploadTab::btnImageFTPStartClick()
{
    m_upload.start();
}

void UploadTab::btnStopClick()
{
    m_upload.stop();
}

void UploadTab::btnCopyFromRefreshClick()
{
    m_upload.copyFromIpRefresh();
}

} // namespace kestrelon
