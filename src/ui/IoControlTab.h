#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace kestrelon {

class Application;
class ScheduleDialog;
class SettingsBinder;

// The "I/O Control" page of the Web Server section: "Configure" (the I/O switch, the port
// address, "Send Now", the trigger character and the remote disable) and "Schedule " (the timed
// port values). The widgets show the settings model and the I/O control's state; the buttons
// call the I/O control and the schedule. Main thread.
class IoControlTab : public QWidget {
    Q_OBJECT
public:
    explicit IoControlTab(Application& app, QWidget* parent = nullptr);

    QTabWidget* tabs;
    // "Configure"
    QCheckBox* cbIOControl;
    QComboBox* cboxAddress;
    QLabel* Label78; // "I/O Active on port: ..."
    QLineEdit* Edit2;
    QPushButton* Button10; // "Send Now"
    QCheckBox* cbSendValue;
    QLineEdit* edEscChar;
    QCheckBox* cbRemoteDisable;
    QLineEdit* edRemoteDisable;
    QCheckBox* cbRemotePass;
    // "Schedule "
    QWidget* TabSheet23;
    QWidget* Panel63;
    QCheckBox* cbSchedule;
    QListWidget* CheckListBox7; // time texts with their check marks
    QListWidget* ListBox7;      // values, row by row beside the times
    QPushButton* Button13;      // "Add"
    QPushButton* Button15;      // "Remove"
    ScheduleDialog* Form6;

public Q_SLOTS:
    void Button10Click();
    // Opens "Add item to schedule" (modal, without blocking); OK appends the entry.
    void Button13Click();
    void Button15Click();
    void cbScheduleClick();
    void ListBox7Click(int row);
    void CheckListBox7Click(int row);
    void TabSheet23Show();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeConfigureTab();
    QWidget* makeScheduleTab();
    void ioStateChanged();
    void settingsChanged();
    void loadSchedule();
    void selectRow(int row);
    void CheckListBox7ItemChanged(int row, bool checked);
    void Form6Accepted();

    Application& m_app;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
