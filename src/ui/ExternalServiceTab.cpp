#include "ui/ExternalServiceTab.h"

#include "app/Application.h"
#include "iprefresh/EchoServices.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"
#include "ui/ShownText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

ExternalServiceTab::ExternalServiceTab(Application& app, QWidget* parent)
    : QWidget(parent), m_refresh(app.ipRefresh()), m_app(app),
      m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("TabSheet18");
    cboxDNS = named(new QComboBox(this), "cboxDNS");
    cboxDNS->setEditable(true);
    cboxDNS->setInsertPolicy(QComboBox::NoInsert);
    for (const EchoService& service : kEchoServices) {
        cboxDNS->addItem(service.url);
    }
    cboxDNS->setMinimumContentsLength(36);
    Button12 = named(new QPushButton("Test", this), "Button12");
    Panel58 = panelLabel("Panel58", this, 160);
    auto* note =
        new QLabel("The echo services ask not to be queried more often than every 10 minutes.", this);
    note->setWordWrap(true);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Lookup service:", this), 0, 0);
    grid->addWidget(cboxDNS, 0, 1);
    grid->addWidget(Button12, 0, 2);
    grid->addWidget(new QLabel("IP Address:", this), 1, 0);
    grid->addWidget(Panel58, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addStretch(1);

    m_binder->bind(cboxDNS, &Settings::DNS, &DNSSettings::ExtDNS);
    // Editing the text or choosing another entry ends the first service's hold-off.
    connect(cboxDNS, &QComboBox::editTextChanged, this, [this] { m_refresh.lookup().echoServiceEdited(); });
    connect(Button12, &QPushButton::clicked, this, &ExternalServiceTab::Button12Click);
    connect(&app.settings(), &SettingsModel::changed, this, [this] {
        m_binder->load();
        rbExternalClick();
    });
    connect(&m_refresh.state(), &IpRefreshState::changed, this,
            [this] { showText(Panel58, m_refresh.state().fields().externalResult); });
    rbExternalClick();
}

void ExternalServiceTab::Button12Click()
{
    m_refresh.lookup().testExternalService();
}

void ExternalServiceTab::rbExternalClick()
{
    Button12->setEnabled(!routerLookupMode(m_app.settings().snapshot()->Router));
}

} // namespace kestrelon
