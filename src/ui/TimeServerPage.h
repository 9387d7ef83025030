#pragma once

#include "ui/SectionPage.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace kestrelon {

class Application;
class LogView;
class Prompts;
class SettingsBinder;
class TimeCheck;
class TimeFormatDialog;

// The "Time Server" page: the time server and the check's options, the time display, the
// pattern with its help, the last checked time and the time log. The check itself is the
// Application's TimeCheck; this page shows its state and passes the clicks on. Main thread.
class TimeServerPage : public SectionPage {
    Q_OBJECT
public:
    TimeServerPage(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QComboBox* cboxTimeServer;
    QLabel* Panel16; // the time display
    QCheckBox* cbDaily;
    QTimeEdit* spDateTime;
    QCheckBox* cbAdjustClock;
    QPushButton* btnClock; // "Check Now"
    QGroupBox* gbFormat;
    QLineEdit* edFormat;
    QPushButton* btnHelp;
    QLabel* Label17; // the server time of the last check
    QCheckBox* cbAutoTime;
    LogView* lbTime; // the time log
    QPushButton* btnClearTimeLog;
    TimeFormatDialog* Form2; // "Time Format"

public Q_SLOTS:
    void btnClockClick();
    void cbDailyClick();
    void btnClearTimeLogClick();
    // "Help": the "Time Format" dialog, modal; returns at once.
    void OverLayHelp();

protected:
    // The clock display runs while the page is shown.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeLogHeadings();
    // A failed check's reason, as the tooltip of its line.
    void checkFinished();

    TimeCheck& m_timeCheck;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
