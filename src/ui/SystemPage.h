#pragma once

#include "ui/SectionPage.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace kestrelon {

class Application;
class ExternalProgramsTab;
class Prompts;
class SettingsBinder;

// The "System" page. Tab "System Options": window behaviour, saving the settings now, the
// about panel and the debug switch; tab "External Programs". Main thread.
class SystemPage : public SectionPage {
    Q_OBJECT
public:
    SystemPage(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QCheckBox* cbStartMinimized;
    QCheckBox* cbMinimize;
    QCheckBox* cbCloseprompt;
    QCheckBox* cbHoldSplash;
    QCheckBox* cbScrollForm;
    QPushButton* Button8; // "Save"
    QLabel* lblVersion;
    QCheckBox* cbDebug;
    ExternalProgramsTab* externalProgramsTab;

public Q_SLOTS:
    void Button8Click();
    void cbScrollFormClick();
    void cbDebugClick();

private:
    Application& m_app;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
