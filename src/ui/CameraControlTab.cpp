#include "ui/CameraControlTab.h"

#include "camera/BrightnessControl.h"
#include "camera/Camera.h"
#include "camera/SnapshotPass.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

QLineEdit* numberBox(QWidget* parent, const char* name)
{
    auto* edit = named(new QLineEdit(parent), name);
    edit->setMaxLength(6);
    edit->setMaximumWidth(70);
    return edit;
}

} // namespace

CameraControlTab::CameraControlTab(SettingsModel& settings, Camera& camera, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_camera(camera), m_binder(new SettingsBinder(settings, this))
{
    setObjectName("TabSheet24");
    gbBrightness = named(new QGroupBox("Brightness - Capture Control  ", this), "gbBrightness");
    Panel65 = named(new QLabel(QString::number(camera.pass().brightnessFigure()), gbBrightness), "Panel65");
    Panel65->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel65->setAlignment(Qt::AlignCenter);
    Panel65->setMinimumWidth(Panel65->fontMetrics().horizontalAdvance("00000") + 12);

    gbPortValues = named(new QGroupBox("Port values ", gbBrightness), "gbPortValues");
    edThreshold = numberBox(gbPortValues, "edThreshold");
    cbAbove = named(new QCheckBox("Above threshold", gbPortValues), "cbAbove");
    edAbove = numberBox(gbPortValues, "edAbove");
    cbBelow = named(new QCheckBox("Below threshold", gbPortValues), "cbBelow");
    edBelow = numberBox(gbPortValues, "edBelow");
    auto* port = new QGridLayout(gbPortValues);
    port->addWidget(new QLabel("Threshold", gbPortValues), 0, 0);
    port->addWidget(edThreshold, 0, 1);
    port->addWidget(cbAbove, 1, 0);
    port->addWidget(edAbove, 1, 1);
    port->addWidget(new QLabel("Value", gbPortValues), 1, 2);
    port->addWidget(cbBelow, 2, 0);
    port->addWidget(edBelow, 2, 1);
    port->addWidget(new QLabel("Value", gbPortValues), 2, 2);
    port->setColumnStretch(3, 1);
    lblPortNote = named(new QLabel(BrightnessControl::kPortNote, gbBrightness), "lblPortNote");
    lblPortNote->setStyleSheet("color: red;");
    lblPortNote->setWordWrap(true);

    auto* pauseBox = named(new QGroupBox("Capture", gbBrightness), "gbCapturePause");
    edCapThreshold = numberBox(pauseBox, "edCapThreshold");
    cbStopCapture = named(new QCheckBox("Pause capture below threshold", pauseBox), "cbStopCapture");
    cbStopCapAbove = named(new QCheckBox("Pause capture above threshold", pauseBox), "cbStopCapAbove");
    auto* pause = new QGridLayout(pauseBox);
    pause->addWidget(new QLabel("Threshold", pauseBox), 0, 0);
    pause->addWidget(edCapThreshold, 0, 1);
    pause->addWidget(cbStopCapture, 1, 0, 1, 3);
    pause->addWidget(cbStopCapAbove, 2, 0, 1, 3);
    pause->setColumnStretch(2, 1);

    lblDarkLine = named(new QLabel(gbBrightness), "lblDarkLine");
    lblDarkLine->setWordWrap(true);

    auto* now = new QHBoxLayout;
    now->addWidget(new QLabel("Brightness now:", gbBrightness));
    now->addWidget(Panel65);
    now->addStretch();
    auto* inner = new QVBoxLayout(gbBrightness);
    inner->addLayout(now);
    inner->addWidget(gbPortValues);
    inner->addWidget(lblPortNote);
    inner->addWidget(pauseBox);
    inner->addWidget(lblDarkLine);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbBrightness);
    layout->addStretch();

    m_binder->bind(edThreshold, &Settings::Camera, &CameraSettings::Threshold);
    m_binder->bind(cbAbove, &Settings::Camera, &CameraSettings::cbAbove);
    m_binder->bind(edAbove, &Settings::Camera, &CameraSettings::Above);
    m_binder->bind(cbBelow, &Settings::Camera, &CameraSettings::cbBelow);
    m_binder->bind(edBelow, &Settings::Camera, &CameraSettings::Below);
    m_binder->bind(edCapThreshold, &Settings::Camera, &CameraSettings::CapThreshold);
    m_binder->bind(cbStopCapture, &Settings::Camera, &CameraSettings::cbStopCapture);
    m_binder->bind(cbStopCapAbove, &Settings::Camera, &CameraSettings::cbStopCapAbove);
    connect(cbStopCapture, &QCheckBox::clicked, this, &CameraControlTab::cbStopCaptureClick);
    connect(cbStopCapAbove, &QCheckBox::clicked, this, &CameraControlTab::cbStopCapAboveClick);
    connect(&camera.pass(), &SnapshotPass::brightnessMeasured, Panel65, qOverload<int>(&QLabel::setNum));
    loadSettings();
}

void CameraControlTab::loadSettings()
{
    m_binder->load();
    lblDarkLine->setText(QStringLiteral("Measurement row: %1 (Ctrl+click the snapshot picture to move it, "
                                        "Alt+click to show it)")
                             .arg(m_settings.snapshot()->Camera.DarkLine));
    TabSheet24Show();
}

void CameraControlTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    TabSheet24Show();
}

void CameraControlTab::TabSheet24Show()
{
    const bool io = m_camera.brightness().portValuesEnabled();
    gbPortValues->setEnabled(io);
    lblPortNote->setVisible(!io);
}

void CameraControlTab::cbStopCaptureClick()
{
    m_camera.brightness().cbStopCaptureClick();
}

void CameraControlTab::cbStopCapAboveClick()
{
    m_camera.brightness().cbStopCapAboveClick();
}

} // namespace kestrelon
