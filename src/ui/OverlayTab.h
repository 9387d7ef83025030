#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrelon {

class Prompts;
class SettingsBinder;
class SettingsModel;
class SnapshotPass;
class TimeFormatDialog;

// The "Overlay" page of the Camera section: the date/time caption with its pattern, the text
// caption, the font, the background colour and "Transparent", and the sample (Panel24). The
// captions' style lives in [Archiver]; the snapshot pass and the snapshot window follow it.
// Main thread.
class OverlayTab : public QWidget {
    Q_OBJECT
public:
    OverlayTab(SettingsModel& settings, SnapshotPass& pass, Prompts& prompts, QWidget* parent = nullptr);

    QCheckBox* cbOverlay;
    QLineEdit* edCameraOverlay;
    QPushButton* btnOverlayHelp;
    QCheckBox* cbText;
    QLineEdit* edText;
    QPushButton* btnFont;
    QPushButton* btnBkColour;
    QCheckBox* cbTransp;
    QLabel* Panel24;

    void loadSettings();

public Q_SLOTS:
    void btnFontClick();
    void btnBkColourClick();
    void cbTranspClick();
    // "Help": the "Time Format" dialog, modal.
    void OverLayHelp();
    // Camerats4Show: the sample as the style is now.
    void Camerats4Show();

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsModel& m_settings;
    SnapshotPass& m_pass;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
    TimeFormatDialog* m_timeFormat = nullptr;
};

} // namespace kestrelon
