#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kestrelon {

class LogView;
class Prompts;
class SettingsBinder;
class SettingsModel;
class SnapshotUpload;

// The "FTP Log" page of the Camera section: the upload log, its "Enable FTP Log" box, the line
// count as of the last upload (Label80), "Clear Log" and "Save Log". Main thread.
class UploadLogTab : public QWidget {
    Q_OBJECT
public:
    // saveFolder: where "Save Log" starts.
    UploadLogTab(SettingsModel& settings, SnapshotUpload& upload, Prompts& prompts, QString saveFolder,
                 QWidget* parent = nullptr);

    LogView* ListBox4;
    QCheckBox* cbCameraLog;
    QLabel* Label80;
    QPushButton* btnCameraLogClear;
    QPushButton* Button9; // "Save Log"

    void loadSettings();

public Q_SLOTS:
    void btnCameraLogClearClick();
    void Button9Click();

private:
    SnapshotUpload& m_upload;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
