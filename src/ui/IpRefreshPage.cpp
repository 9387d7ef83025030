#include "ui/IpRefreshPage.h"

#include "app/Application.h"
#include "ui/ChangeMailTab.h"
#include "ui/ExternalServiceTab.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/RefreshLogTab.h"
#include "ui/RefreshTimerTab.h"
#include "ui/RemoteServerTab.h"
#include "ui/SettingsBinder.h"
#include "ui/ShownText.h"
#include "ui/TemplateFilesTab.h"
#include "ui/TestUrlTab.h"
#include "ui/UserDefinedTab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

namespace kestrelon {

IpRefreshPage::IpRefreshPage(Application& app, Prompts& prompts, QWidget* parent)
    : SectionPage("IP-Refresh", "ts5", parent), m_refresh(app.ipRefresh()), m_prompts(prompts),
      m_binder(new SettingsBinder(app.settings(), this))
{
    lblDebugNoteIPRefresh = named(new QLabel(WebServer::kDebugNote, this), "lblDebugNoteIPRefresh");
    lblDebugNoteIPRefresh->setStyleSheet("color: red;");
    lblDebugNoteIPRefresh->hide();
    Panel39 = panelLabel("Panel39", this, 130);
    Panel45 = panelLabel("Panel45", this, 130);
    Shape1 = named(new QLabel(this), "Shape1");
    Shape1->setFixedSize(18, 18);
    auto* addresses = new QHBoxLayout;
    addresses->addWidget(new QLabel("Current IP", this));
    addresses->addWidget(Panel39);
    addresses->addSpacing(16);
    addresses->addWidget(new QLabel("Uploaded IP", this));
    addresses->addWidget(Panel45);
    addresses->addSpacing(8);
    addresses->addWidget(Shape1);
    addresses->addStretch(1);

    PageControl3 = named(new QTabWidget(this), "PageControl3");
    remoteServerTab = new RemoteServerTab(app, PageControl3);
    remoteFilesTab = new TemplateFilesTab(app, prompts, PairKind::Remote, PageControl3);
    localFilesTab = new TemplateFilesTab(app, prompts, PairKind::Local, PageControl3);
    mailTab = new ChangeMailTab(app, PageControl3);
    PageControl3->addTab(remoteServerTab, "Remote Server");
    PageControl3->addTab(remoteFilesTab, "Remote Files");
    PageControl3->addTab(localFilesTab, "Local Files");
    PageControl3->addTab(mailTab, "E-mail");

    auto* lookup = named(new QWidget(this), "TabSheet15");
    rbExternal = named(new QRadioButton("Use External lookup service", lookup), "rbExternal");
    rbUserDefined = named(new QRadioButton("User defined lookup", lookup), "rbUserDefined");
    PageControl9 = named(new QTabWidget(lookup), "PageControl9");
    timerTab = new RefreshTimerTab(app, PageControl9);
    externalServiceTab = new ExternalServiceTab(app, PageControl9);
    userDefinedTab = new UserDefinedTab(app, prompts, PageControl9);
    testUrlTab = new TestUrlTab(app, prompts, PageControl9);
    PageControl9->addTab(timerTab, "Timer");
    PageControl9->addTab(externalServiceTab, "External Service");
    PageControl9->addTab(userDefinedTab, "User-Defined Service");
    PageControl9->addTab(testUrlTab, "Test URL");
    userDefinedTab->setTestButton(testUrlTab->btnTest);
    testUrlTab->setDefinitionButtons(userDefinedTab->btnAdd, userDefinedTab->btnGetIP);
    auto* modes = new QHBoxLayout;
    modes->addWidget(rbExternal);
    modes->addSpacing(16);
    modes->addWidget(rbUserDefined);
    modes->addStretch(1);
    auto* lookupLayout = new QVBoxLayout(lookup);
    lookupLayout->addLayout(modes);
    lookupLayout->addWidget(PageControl9, 1);

    logTab = new RefreshLogTab(app, prompts, this);
    tabs = named(new QTabWidget(this), "IpRefreshTabs");
    tabs->addTab(PageControl3, "FTP Settings");
    tabs->addTab(lookup, "IP Lookup Services");
    tabs->addTab(logTab, "Log");

    body()->insertWidget(0, lblDebugNoteIPRefresh);
    body()->addLayout(addresses);
    body()->addWidget(tabs, 1);

    // The two radios always hold opposite values.
    m_binder->bind(rbExternal, &Settings::Router, &RouterSettings::External);
    m_binder->bind(rbUserDefined, &Settings::Router, &RouterSettings::UserDefined);
    connect(&app.settings(), &SettingsModel::changed, m_binder, &SettingsBinder::load);
    connect(rbExternal, &QRadioButton::clicked, externalServiceTab, &ExternalServiceTab::rbExternalClick);
    connect(remoteServerTab, &RemoteServerTab::setTimerRequested, this, &IpRefreshPage::btnSetTimerClick);
    connect(tabs, &QTabWidget::currentChanged, this, &IpRefreshPage::tabChanged);
    connect(PageControl3, &QTabWidget::currentChanged, this, [this] {
        if (!m_settingTabs && PageControl3->currentIndex() == RemoteServer) {
            m_refresh.cycle().ftpSettingsShown();
        }
    });
    connect(PageControl9, &QTabWidget::currentChanged, this, &IpRefreshPage::PageControl9Change);
    connect(testUrlTab, &TestUrlTab::hiddenViewChanged, userDefinedTab,
            &UserDefinedTab::setHiddenViewVisible);
    connect(&m_refresh.state(), &IpRefreshState::changed, this, &IpRefreshPage::stateChanged);
    stateChanged();
}

void IpRefreshPage::showEvent(QShowEvent* event)
{
    SectionPage::showEvent(event);
    // A restore of the window shows the page again without its being chosen.
    if (!event->spontaneous()) {
        ts5Show();
    }
}

void IpRefreshPage::ts5Show()
{
    tabs->setCurrentIndex(FtpSettings);
    TabSheet2Show();
    m_refresh.cycle().pageShown();
}

void IpRefreshPage::TabSheet2Show()
{
    PageControl3->setCurrentIndex(RemoteServer);
    m_refresh.cycle().ftpSettingsShown();
}

void IpRefreshPage::TabSheet15Show()
{
    m_settingTabs = true;
    PageControl9->setCurrentIndex(rbUserDefined->isChecked() ? UserDefinedService : ExternalService);
    m_settingTabs = false;
}

void IpRefreshPage::btnSetTimerClick()
{
    m_settingTabs = true;
    tabs->setCurrentIndex(LookupServices);
    PageControl9->setCurrentIndex(Timer);
    m_settingTabs = false;
}

void IpRefreshPage::tabChanged(int index)
{
    if (m_settingTabs) {
        return;
    }
    if (index == FtpSettings) {
        TabSheet2Show();
    } else if (index == LookupServices) {
        TabSheet15Show();
    }
}

void IpRefreshPage::PageControl9Change(int index)
{
    const int left = std::exchange(m_lookupTab, index);
    // The user leaves the workbench with changes not kept: asked once, and the page changes
    // either way.
    if (!m_settingTabs && left == TestUrl && index != TestUrl && userDefinedTab->applyEnabled()) {
        const bool none = !m_refresh.definitions().userRowSelected();
        const QString question =
            none ? "Data has changed. Add to user-defined?" : "Data has changed. Apply changes?";
        if (m_prompts.confirm(this, question, window()->frameGeometry().center())) {
            if (none) {
                userDefinedTab->btnAddClick();
            } else {
                userDefinedTab->btnWebEditClick();
            }
        }
    }
    if (index == UserDefinedService) {
        userDefinedTab->TabSheet19Show();
    } else if (index == ExternalService) {
        externalServiceTab->rbExternalClick();
    } else if (index == TestUrl) {
        testUrlTab->TabSheet16Show();
    }
}

void IpRefreshPage::stateChanged()
{
    const auto& f = m_refresh.state().fields();
    showText(Panel39, f.currentIP);
    showText(Panel45, f.uploadedIP);
    Shape1->setStyleSheet(QString("background-color: %1; border: 1px solid #808080; border-radius: 9px;")
                              .arg(f.lampLime ? "#00FF00" : "#FF0000"));
    Shape1->setToolTip(f.lampLime ? "The current address is uploaded"
                                  : "The current address is not uploaded");
}

} // namespace kestrelon
