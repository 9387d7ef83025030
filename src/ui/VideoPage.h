#pragma once

#include "ui/SectionPage.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace kestrelon {

class Application;
class SettingsBinder;
class SettingsModel;
class StreamPreviewView;
class VideoStreaming;

// The "Video" page ("Video Encoder"): the source, the bit-rate profile, quality, clip title, the
// viewer limit and port, the preview, Start, Stop and Preview, and the connected clients. The
// widgets show the settings model and the stream's state; every action calls the stream.
// Main thread.
class VideoPage : public SectionPage {
    Q_OBJECT
public:
    explicit VideoPage(Application& app, QWidget* parent = nullptr);

    QGroupBox* gbEncoder;
    QComboBox* cbSource;
    QComboBox* cbProfiles;
    QSpinBox* spQuality;
    QLineEdit* edClip;
    QSpinBox* spUsers;
    QLineEdit* edVideoPort;
    QCheckBox* cbNoPreview;
    QCheckBox* cbAutoStream;
    QPushButton* btnStartVideo;
    QPushButton* btnStopVideo;
    QPushButton* btnVideoPreview;
    StreamPreviewView* VideoWindow1;
    QLabel* Label116; // "STREAMING"
    QLabel* Label119; // "NO PREVIEW", over the preview
    QListWidget* ListBox8;

public Q_SLOTS:
    void btnStartVideoClick();
    void btnStopVideoClick();
    void btnVideoPreviewClick();
    void cbSourceChange(int position);
    void cbProfilesChange(int row);
    void cbNoPreviewClick();
    void cbAutoStreamClick();
    void edVideoPortExit();

private:
    QGroupBox* makeEncoderBox();
    void settingsChanged();
    void streamStateChanged();
    void clientListChanged(const QStringList& clients);

    SettingsModel& m_settings;
    VideoStreaming& m_streaming;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
