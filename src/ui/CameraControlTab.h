#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace kestrelon {

class Camera;
class SettingsBinder;
class SettingsModel;

// The "Control" page of the Camera section (TabSheet24): the brightness figure of the last
// pass, the port values written above or below the port threshold (usable only with "Enable
// I/O control" on the Web Server page, as its note says), the pauses by the capture threshold
// and the measurement row. Main thread.
class CameraControlTab : public QWidget {
    Q_OBJECT
public:
    CameraControlTab(SettingsModel& settings, Camera& camera, QWidget* parent = nullptr);

    QGroupBox* gbBrightness; // "Brightness - Capture Control  "
    QLabel* Panel65;         // "Brightness now:"
    QGroupBox* gbPortValues; // "Port values "
    QLineEdit* edThreshold;
    QCheckBox* cbAbove;
    QLineEdit* edAbove;
    QCheckBox* cbBelow;
    QLineEdit* edBelow;
    QLabel* lblPortNote;
    QLineEdit* edCapThreshold;
    QCheckBox* cbStopCapture;
    QCheckBox* cbStopCapAbove;
    QLabel* lblDarkLine;

    void loadSettings();

public Q_SLOTS:
    void TabSheet24Show();
    void cbStopCaptureClick();
    void cbStopCapAboveClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsModel& m_settings;
    Camera& m_camera;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
