#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kestrelon {

class SettingsBinder;
class SettingsModel;
class SnapshotUpload;

// The "FTP" page of the Camera section (tsFTPImage): the remote host, account, folder and file
// name the snapshot is uploaded to, "Copy From IP-Refresh", the local file (the snapshot file,
// read-only here), the interval with its automatic start, "Upload", "Start" and "Stop", and the
// seconds left to the next upload. Main thread.
class UploadTab : public QWidget {
    Q_OBJECT
public:
    UploadTab(SettingsModel& settings, SnapshotUpload& upload, QWidget* parent = nullptr);

    QGroupBox* gbRemote; // "Remote"
    QLineEdit* edImageHost;
    QLineEdit* edImageusername;
    QLineEdit* edImagePassword;
    QCheckBox* cbImagePassword;
    QLineEdit* edImageRemoteDir;
    QLineEdit* edImageRemoteFile;
    QPushButton* btnCopyFromRefresh;
    QLineEdit* Edit1; // "Local Filename"
    QSpinBox* SpinEdit2;
    QCheckBox* cbImageAutoFTP;
    QPushButton* btnFTPImage; // "Upload"
    QPushButton* btnImageFTPStart;
    QPushButton* btnStop;
    QLabel* Panel40;

    // Called by the page when the settings change elsewhere (a reload, "Copy From IP-Refresh").
    void loadSettings();

public Q_SLOTS:
    void btnFTPImageClick();
    void btnImageFTPStartClick();
    void btnStopClick();
    void btnCopyFromRefreshClick();
    void tsFTPImageShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void stateChanged();

    SettingsModel& m_settings;
    SnapshotUpload& m_upload;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
