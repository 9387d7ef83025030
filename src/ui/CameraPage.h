#pragma once

#include "ui/SectionPage.h"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace kestrelon {

class Application;
class Camera;
class CameraControlTab;
class DeviceControlsDialog;
class OverlayTab;
class PreviewView;
class Prompts;
class SettingsBinder;
class SnapshotTab;
class UploadLogTab;
class UploadTab;

// The "Camera" page: the sub-pages "Preview" (device, preview window, Start Preview and Start
// Capture, the size table, the frame timer), "Snapshot" (with the "Fx" track bars), "Overlay",
// "Capture Options", "Control", and the snapshot upload's "FTP" and "FTP Log". The widgets show the settings
// model and the camera's state; every action calls the camera. Main thread.
class CameraPage : public SectionPage {
    Q_OBJECT
public:
    CameraPage(Application& app, Prompts& prompts, QWidget* parent = nullptr);
    ~CameraPage() override;

    // The sub-page "Preview", shown at the window's first activation.
    void showPreview();

    QTabWidget* PageControl3;
    // "Preview"
    PreviewView* VideoWindow;
    QComboBox* cboxDevice;
    QCheckBox* cbAutoSelect;
    QPushButton* btnStartPreview;
    QPushButton* btnStartCapture;
    QPushButton* SpeedButton2; // the device's own controls
    QRadioButton* rb320;
    QRadioButton* rb240;
    QRadioButton* rb264;
    QRadioButton* rb288;
    QRadioButton* rb480;
    QRadioButton* rb50;
    QRadioButton* rb60;
    QRadioButton* rb12;
    QRadioButton* rb25;
    QCheckBox* cbUpdate;
    SnapshotTab* snapshotTab;
    OverlayTab* overlayTab;
    // "Capture Options"
    QLineEdit* edFileName;
    QPushButton* btnImageBrowse;
    QSpinBox* spInterval;
    QCheckBox* cbResize;
    QCheckBox* cbCheckPath;
    QCheckBox* cbDeleteOnCapEnd;
    QCheckBox* cbDelete;
    QCheckBox* cbAutoStart;
    QSpinBox* spDelay;
    CameraControlTab* controlTab;
    UploadTab* uploadTab;       // "FTP"
    UploadLogTab* uploadLogTab; // "FTP Log"
    QLabel* Label63;            // "(FTP Active)" in the title bar while periodic upload runs
    // The full-screen preview while it shows.
    PreviewView* fullScreenView = nullptr;
    DeviceControlsDialog* deviceControls;

public Q_SLOTS:
    void btnStartPreviewClick();
    void cboxDeviceChange(int position);
    void cbAutoSelectClick();
    void SpeedButton2Click();
    void btnImageBrowseClick();
    // Camera sub-page changes: the snapshot file may change only while capture does not run.
    void PageControl3Change();

private:
    QWidget* makePreviewTab();
    QWidget* makeCaptureOptionsTab();
    void settingsChanged();
    void previewChanged();
    void captureChanged();
    void fullScreenChanged(bool fullScreen);
    // A picture wider than the display area puts the Preview page's settings below it.
    void followPictureWidth();

    Application& m_app;
    Camera& m_camera;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
    QBoxLayout* m_previewLayout = nullptr;
    QBoxLayout* m_previewSide = nullptr;
};

} // namespace kestrelon
