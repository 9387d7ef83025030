#include "ui/SystemPage.h"
#include "ui/Named.h"

#include "app/Application.h"
#include "ui/ExternalProgramsTab.h"
#include "ui/ProgramIcon.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kestrelon {

SystemPage::SystemPage(Application& app, Prompts& prompts, QWidget* parent)
    : SectionPage("System", "ts4", parent), m_app(app), m_prompts(prompts),
      m_binder(new SettingsBinder(app.settings(), this))
{
    auto* tabs = named(new QTabWidget(this), "SystemTabs");
    auto* tab = named(new QWidget, "tsSystemOptions");
    tabs->addTab(tab, "System Options");
    body()->addWidget(tabs);

    auto* options = named(new QGroupBox("Options", tab), "gbOptions");
    cbStartMinimized = named(new QCheckBox("Start Minimized", options), "cbStartMinimized");
    cbMinimize = named(new QCheckBox("Minimize to SysTray", options), "cbMinimize");
    cbCloseprompt = named(new QCheckBox("Prompt before closing", options), "cbCloseprompt");
    cbHoldSplash = named(new QCheckBox("Hold Splash Screen", options), "cbHoldSplash");
    cbScrollForm = named(new QCheckBox("Scrollbars (120 dpi)", options), "cbScrollForm");
    auto* optionList = new QVBoxLayout(options);
    for (QCheckBox* box : {cbStartMinimized, cbMinimize, cbCloseprompt, cbHoldSplash, cbScrollForm}) {
        optionList->addWidget(box);
    }

    auto* saveBox = named(new QGroupBox("Save Configuration Now", tab), "gbSave");
    Button8 = named(new QPushButton("Save", saveBox), "Button8");
    auto* saveRow = new QHBoxLayout(saveBox);
    saveRow->addWidget(Button8);
    saveRow->addStretch();

    auto* about = named(new QFrame(tab), "pnlAbout");
    about->setFrameShape(QFrame::StyledPanel);
    auto* icon = new QLabel(about);
    icon->setPixmap(programIcon().pixmap(48, 48));
    auto* product = new QLabel("Kestrelon", about);
    QFont productFont = product->font();
    productFont.setBold(true);
    productFont.setPointSizeF(productFont.pointSizeF() * 1.6);
    product->setFont(productFont);
    lblVersion = named(new QLabel(QStringLiteral("Version " KESTRELON_VERSION), about), "lblVersion");
    auto* aboutText = new QVBoxLayout;
    aboutText->addWidget(product);
    aboutText->addWidget(lblVersion);
    auto* aboutRow = new QHBoxLayout(about);
    aboutRow->addWidget(icon);
    aboutRow->addLayout(aboutText, 1);

    cbDebug = named(new QCheckBox("Debug (normally unchecked)", tab), "cbDebug");

    auto* left = new QVBoxLayout;
    left->addWidget(options);
    left->addWidget(saveBox);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(about);
    right->addStretch();
    right->addWidget(cbDebug);
    auto* columns = new QHBoxLayout(tab);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    externalProgramsTab = new ExternalProgramsTab(app, prompts);
    tabs->addTab(externalProgramsTab, "External Programs");

    m_binder->bind(cbStartMinimized, &Settings::WebServe, &WebServeSettings::StartMinimized);
    m_binder->bind(cbMinimize, &Settings::WebServe, &WebServeSettings::Minimize);
    m_binder->bind(cbCloseprompt, &Settings::WebServe, &WebServeSettings::ClosePrompt);
    m_binder->bind(cbHoldSplash, &Settings::SplashScreen, &SplashScreenSettings::Hold);
    m_binder->bind(cbScrollForm, &Settings::System, &SystemSettings::Scrollbars);
    m_binder->bind(cbDebug, &Settings::System, &SystemSettings::Debug);

    connect(Button8, &QPushButton::clicked, this, &SystemPage::Button8Click);
    connect(cbScrollForm, &QCheckBox::clicked, this, &SystemPage::cbScrollFormClick);
    connect(cbDebug, &QCheckBox::clicked, this, &SystemPage::cbDebugClick);
    connect(&app.settings(), &SettingsModel::changed, m_binder, &SettingsBinder::load);
}

void SystemPage::Button8Click()
{
    auto result = m_app.save();
    if (result.status == SettingsFile::SaveStatus::KeptChangedFile) {
        // The user asked for the save; another program's changes go only when they say so.
        const QString question = QString::fromStdString(m_app.paths().settingsFile) +
                                 " was changed by another program since Kestrelon read it.\n"
                                 "Replace it with Kestrelon's settings?";
        const QPoint at = window()->frameGeometry().center();
        if (!m_prompts.confirm(this, question, at)) {
            return;
        }
        result = m_app.save(/*replaceChangedFile=*/true);
    }
    if (!result.saved()) {
        m_prompts.message(this, QString::fromStdString(result.message));
    }
}

void SystemPage::cbScrollFormClick()
{
    // The layout is chosen when the window is built.
    if (window()->isVisible()) {
        m_prompts.message(this, "Please close 'Kestrelon' and restart for change to take effect");
    }
}

void SystemPage::cbDebugClick()
{
    // The box has already written its new state to the settings.
    m_app.webServer().GetLocalIP(m_app.commandLine().noLookup);
}

} // namespace kestrelon
