#pragma once

#include <QWidget>

class QBoxLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kestrelon {

class Camera;
class SettingsBinder;
class SettingsModel;
class SnapshotView;

// The "Snapshot" page of the Camera section: the snapshot window, "Start Capture" (the twin of
// the Preview page's), the countdown (Panel32), the file's size (Label26) and the "Fx" track
// bars, each of which runs a snapshot pass when it moves. Main thread.
class SnapshotTab : public QWidget {
    Q_OBJECT
public:
    SnapshotTab(SettingsModel& settings, Camera& camera, QWidget* parent = nullptr);

    SnapshotView* Panel19;
    QPushButton* btnStartCamera;
    QPushButton* btnSnapNow; // "Snapshot", hidden
    QLabel* Panel32;
    QLabel* Label26;
    QGroupBox* gbFx;
    QSlider* tbBright;
    QSlider* tbRed;
    QSlider* tbGreen;
    QSlider* tbBlue;
    QSlider* tbContrast;
    QSlider* tbSharpen;
    QSlider* tbZoom;
    QSlider* tbQuality;
    QLabel* Label24;

    // Called by the page when the settings change elsewhere (a reload).
    void loadSettings();

private:
    QGroupBox* makeFx();
    // A picture wider than the display area puts the track bars below it.
    void followPictureWidth();

    Camera& m_camera;
    SettingsBinder* m_binder;
    QBoxLayout* m_layout;
};

} // namespace kestrelon
