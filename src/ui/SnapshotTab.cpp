#include "ui/SnapshotTab.h"

#include "camera/Camera.h"
#include "camera/CameraPreview.h"
#include "camera/CaptureSchedule.h"
#include "camera/SnapshotPass.h"
#include "ui/Named.h"
#include "ui/PreviewView.h"
#include "ui/SettingsBinder.h"
#include "ui/SnapshotView.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

QLabel* panel(QWidget* parent, const char* name, const char* sample)
{
    auto* label = named(new QLabel(parent), name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sample) + 12);
    return label;
}

// A caption under a track bar whose words sit at its ends and middle, blanks kept.
QLabel* scale(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SnapshotTab::SnapshotTab(SettingsModel& settings, Camera& camera, QWidget* parent)
    : QWidget(parent), m_camera(camera), m_binder(new SettingsBinder(settings, this))
{
    setObjectName("tsSnapshot");
    Panel19 = new SnapshotView(settings, camera.preview(), camera.pass(), this);
    btnStartCamera = named(new QPushButton(CaptureSchedule::kStartCapture, this), "btnStartCamera");
    btnSnapNow = named(new QPushButton("Snapshot", this), "btnSnapNow");
    btnSnapNow->hide();
    Panel32 = panel(this, "Panel32", "600000");
    Panel32->setToolTip("Seconds to the next snapshot");
    Label26 = panel(this, "Label26", "0000000 bytes");
    Label26->setToolTip("Size of the snapshot file");

    auto* status = new QHBoxLayout;
    status->addWidget(btnStartCamera);
    status->addWidget(new QLabel("Next in", this));
    status->addWidget(Panel32);
    status->addSpacing(10);
    status->addWidget(new QLabel("File size", this));
    status->addWidget(Label26);
    status->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(Panel19);
    left->addLayout(status);
    left->addStretch();
    m_layout = new QBoxLayout(QBoxLayout::LeftToRight, this);
    m_layout->addLayout(left);
    m_layout->addWidget(makeFx(), 0, Qt::AlignTop | Qt::AlignLeft);
    m_layout->addStretch();
    connect(&camera.preview(), &CameraPreview::videoSizeChanged, this, &SnapshotTab::followPictureWidth);
    followPictureWidth();

    connect(btnStartCamera, &QPushButton::clicked, &camera.schedule(), &CaptureSchedule::ToggleCapture);
    connect(btnSnapNow, &QPushButton::clicked, &camera.pass(), [this] { m_camera.pass().btnSnapNowClick(); });
    connect(&camera.schedule(), &CaptureSchedule::countdownChanged, Panel32, &QLabel::setText);
    connect(&camera.pass(), &SnapshotPass::fileSizeChanged, Label26,
            [this](qint64 bytes) { Label26->setText(QString::number(bytes)); });
    connect(&camera.pass(), &SnapshotPass::qualityEnabledChanged, this, [this](bool enabled) {
        tbQuality->setEnabled(enabled);
        Label24->setEnabled(enabled);
    });
    tbQuality->setEnabled(camera.pass().qualityEnabled());
    Label24->setEnabled(camera.pass().qualityEnabled());
}

QGroupBox* SnapshotTab::makeFx()
{
    gbFx = named(new QGroupBox("Fx", this), "gbFx");
    auto bar = [this](const char* name, int minimum, int maximum, int32_t CameraSettings::*field,
                      Originator originator) {
        auto* slider = named(new QSlider(Qt::Horizontal, gbFx), name);
        slider->setRange(minimum, maximum);
        slider->setMinimumWidth(150);
        m_binder->bind(slider, &Settings::Camera, field);
        // After the binder, so the pass reads the new position.
        connect(slider, &QSlider::valueChanged, this,
                [this, originator] { m_camera.pass().btnSnapNowClick(originator); });
        return slider;
    };
    tbBright = bar("tbBright", -200, 200, &CameraSettings::Bright, Originator::AdjustmentBar);
    tbRed = bar("tbRed", -100, 100, &CameraSettings::Red, Originator::AdjustmentBar);
    tbGreen = bar("tbGreen", -100, 100, &CameraSettings::Green, Originator::AdjustmentBar);
    tbBlue = bar("tbBlue", -100, 100, &CameraSettings::Blue, Originator::AdjustmentBar);
    tbContrast = bar("tbContrast", -100, 0, &CameraSettings::Contrast, Originator::AdjustmentBar);
    tbSharpen = bar("tbSharpen", 1, 15, &CameraSettings::Sharpness, Originator::AdjustmentBar);
    tbZoom = bar("tbZoom", 9, 30, &CameraSettings::Zoom, Originator::AdjustmentBar);
    tbQuality = bar("tbQuality", 1, 100, &CameraSettings::Quality, Originator::tbQuality);
    Label24 = named(scale("Poor       Quality      Good", gbFx), "Label24");

    auto* grid = new QGridLayout(gbFx);
    grid->setVerticalSpacing(2);
    int row = 0;
    grid->addWidget(new QLabel("Dark", gbFx), row, 0);
    grid->addWidget(tbBright, row, 1);
    grid->addWidget(new QLabel("Light", gbFx), row++, 2);
    for (auto [caption, slider] : {std::pair{"Red", tbRed}, {"Green", tbGreen}, {"Blue", tbBlue}}) {
        grid->addWidget(new QLabel(caption, gbFx), row, 0);
        grid->addWidget(slider, row++, 1);
    }
    grid->setRowMinimumHeight(row++, 6);
    for (auto [caption, slider] : {std::pair{"Less      Contrast      More", tbContrast},
                                   {"Soft                       Sharp", tbSharpen},
                                   {"x3             Zoom           x1", tbZoom}}) {
        grid->addWidget(slider, row++, 1);
        grid->addWidget(scale(caption, gbFx), row++, 1, Qt::AlignHCenter);
    }
    grid->addWidget(tbQuality, row++, 1);
    grid->addWidget(Label24, row++, 1, Qt::AlignHCenter);
    return gbFx;
}

void SnapshotTab::followPictureWidth()
{
    const bool wide = displayAreaSize(m_camera.preview().videoSize()).width() > CameraPreview::kDisplayWidth;
    m_layout->setDirection(wide ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
}

void SnapshotTab::loadSettings()
{
    m_binder->load();
}

} // namespace kestrelon
