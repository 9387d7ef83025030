#pragma once

#include <QDialog>

class QFormLayout;
class QPushButton;

namespace kestrelon {

class CameraPreview;

// "Device Controls": the previewed device's own picture controls (brightness, contrast, ...),
// one slider each, set on the device as it moves. Opened in place of the driver's setting pages.
// Main thread.
class DeviceControlsDialog : public QDialog {
    Q_OBJECT
public:
    DeviceControlsDialog(CameraPreview& preview, QWidget* parent = nullptr);

    // Fills the sliders from the device as it is now.
    void reload();

    QPushButton* btnClose;

private:
    CameraPreview& m_preview;
    QFormLayout* m_form;
};

} // namespace kestrelon
