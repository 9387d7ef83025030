#pragma once

#include <QWidget>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace kestrelon {

class Application;
class Prompts;
class SettingsBinder;

// The "External Programs" tab of the System page: the list of up to four programs with their
// start-up check marks, "Add", "Remove", "Cmd Line", "Start Now" and "Close all programs on exit".
// The list shows the settings model; the buttons call the external programs' object. Main thread.
class ExternalProgramsTab : public QWidget {
    Q_OBJECT
public:
    ExternalProgramsTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QListWidget* CheckListBox1;
    QPushButton* btnAddProg;
    QPushButton* btnRemoveProg;
    QPushButton* btnCmdLine;
    QPushButton* btnStartProg; // "Start Now"
    QCheckBox* cbClose;

public Q_SLOTS:
    // Asks for a program file, starting in the executable's folder, and appends it.
    void btnAddProgClick();
    void btnRemoveProgClick();
    // Asks for the selected entry's arguments, starting with the current ones.
    void btnCmdLineClick();
    void btnStartProgClick();
    // Fits the list's horizontal extent to its longest entry.
    void AdjustCheckListBox();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadList();
    void updateButtons();

    Application& m_app;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
