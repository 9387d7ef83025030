#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kestrelon {

class Application;
class IpRefresh;
class SettingsBinder;

// IP-Refresh's "Timer" page: the interval in minutes (0 = manual), the time left to the next
// check, Start/Update and Stop, the start-up box and the backoff box. Main thread.
class RefreshTimerTab : public QWidget {
    Q_OBJECT
public:
    explicit RefreshTimerTab(Application& app, QWidget* parent = nullptr);

    QSpinBox* SpinEdit1; // the interval
    QLabel* Panel41;     // the interval as hours and minutes
    QLabel* Label38;     // "Time left to next check"
    QLabel* Panel30;
    QPushButton* btnStart;
    QPushButton* btnStopFTP;
    QCheckBox* cbAutoStartRefresh;
    QCheckBox* cbBackoff;

public Q_SLOTS:
    void btnStartClick();
    void btnStopFTPClick();
    void SpinEdit1Change();
    void SpinEdit1Exit();

private:
    void settingsChanged();
    void stateChanged();

    IpRefresh& m_refresh;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
