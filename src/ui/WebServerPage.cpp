#include "ui/WebServerPage.h"
#include "ui/Named.h"

#include "app/Application.h"
#include "ui/CounterTab.h"
#include "ui/FeedbackTab.h"
#include "ui/IoControlTab.h"
#include "ui/LogView.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <tuple>

namespace kestrelon {

namespace {

// The open-file dialog of "Browse...": web pages and scripts.
constexpr const char* kBrowseFilter =
    "All Files (*.htm *.html *.js);;HTML Files (*.htm *.html);;Script Files (*.js)";

} // namespace

WebServerPage::WebServerPage(Application& app, Prompts& prompts, QWidget* parent)
    : SectionPage("Web Server", "ts1", parent), m_app(app), m_prompts(prompts),
      m_binder(new SettingsBinder(app.settings(), this))
{
    tabs = named(new QTabWidget(this), "WebServerTabs");
    tabs->addTab(makeConnectionTab(), "Internet Connection");
    tabs->addTab(makeLogTab(), "Server Log");
    tabs->addTab(makeBlockedTab(), "Blocked Users");
    tabs->addTab(new IoControlTab(app, tabs), "I/O Control");
    tabs->addTab(new CounterTab(app, prompts, tabs), "Extras");
    tabs->addTab(new FeedbackTab(app, prompts, tabs), "Feedback Form");
    body()->addWidget(tabs);

    m_binder->bind(edPort, &Settings::WebServe, &WebServeSettings::Port);
    m_binder->bind(cbLAN, &Settings::WebServe, &WebServeSettings::LAN);
    m_binder->bind(edRoot, &Settings::WebServe, &WebServeSettings::Root);
    m_binder->bind(edDefaultFile, &Settings::WebServe, &WebServeSettings::RootFile);
    m_binder->bind(cbAutoStartServer, &Settings::WebServe, &WebServeSettings::AutoStart);
    m_binder->bind(cbAuthentication, &Settings::WebServe, &WebServeSettings::Auth);
    m_binder->bind(edUserName, &Settings::WebServe, &WebServeSettings::User);
    m_binder->bind(edPassword, &Settings::WebServe, &WebServeSettings::Pass);
    m_binder->bind(edLogin, &Settings::WebServe, &WebServeSettings::Login);
    m_binder->bind(cbEnableLog, &Settings::WebServe, &WebServeSettings::Log);
    m_binder->bind(cbRevDNS, &Settings::WebServe, &WebServeSettings::RevDNS);
    m_binder->bind(cbDontLogOwn, &Settings::WebServe, &WebServeSettings::DontLogOwn);

    connect(btnStartServer, &QPushButton::clicked, this, &WebServerPage::btnStartServerClick);
    connect(btnRefreshIP, &QPushButton::clicked, this, &WebServerPage::btnRefreshIPClick);
    connect(cbLAN, &QCheckBox::clicked, this, &WebServerPage::cbLANClick);
    connect(btnBrowse, &QPushButton::clicked, this, &WebServerPage::btnBrowseClick);
    connect(edRoot, &QLineEdit::editingFinished, this, &WebServerPage::edRootExit);
    connect(edPort, &QLineEdit::editingFinished, this, &WebServerPage::edPortExit);
    connect(btnAddBlocked, &QPushButton::clicked, this, &WebServerPage::btnAddBlockedClick);
    connect(btnRemoveBlocked, &QPushButton::clicked, this, &WebServerPage::btnRemoveBlockedClick);
    connect(cbLocalHost, &QComboBox::editTextChanged, this, [this](const QString& text) {
        m_app.webServer().ownAddresses().setSelected(text.toStdString());
    });

    // The model changes from these widgets, from a reload and from request threads (remote
    // disable); the server announces its own state.
    connect(&app.settings(), &SettingsModel::changed, this, &WebServerPage::settingsChanged);
    // The Start button follows the root folder and default file texts, not every change of the
    // settings: a file that vanishes while the server runs must not lock "Stop Server".
    app.settings().watch(
        this, [](const Settings& s) { return std::tie(s.WebServe.Root, s.WebServe.RootFile); },
        [this](const Settings&) { edRootChange(); });
    connect(&app.webServer(), &WebServer::stateChanged, this, &WebServerPage::serverStateChanged);
    connect(&app.webServer(), &WebServer::debugNotesVisible, this, &WebServerPage::setDebugNoteVisible);

    loadBlockedList();
    edRootChange();
    serverStateChanged();
}

QWidget* WebServerPage::makeConnectionTab()
{
    auto* tab = named(new QWidget, "tsInternetConnection");

    GroupBox1 = named(new QGroupBox("Internet Address", tab), "GroupBox1");
    cbLocalHost = named(new QComboBox(GroupBox1), "cbLocalHost");
    cbLocalHost->setEditable(true);
    cbLocalHost->setInsertPolicy(QComboBox::NoInsert);
    cbLocalHost->setMinimumContentsLength(15);
    edPort = named(new QLineEdit(GroupBox1), "edPort");
    edPort->setMaxLength(5);
    edPort->setMaximumWidth(70);
    cbLAN = named(new QCheckBox("This computer is an ICS gateway", GroupBox1), "cbLAN");
    btnRefreshIP = named(new QPushButton("Refresh IP", GroupBox1), "btnRefreshIP");
    lblDebugNote = named(new QLabel(WebServer::kDebugNote, GroupBox1), "lblDebugNote");
    lblDebugNote->setStyleSheet("color: red;");
    lblDebugNote->hide();
    auto* address = new QGridLayout(GroupBox1);
    address->addWidget(new QLabel("Address:", GroupBox1), 0, 0);
    address->addWidget(cbLocalHost, 0, 1);
    address->addWidget(new QLabel("Port:", GroupBox1), 0, 2);
    address->addWidget(edPort, 0, 3);
    address->addWidget(cbLAN, 1, 0, 1, 2);
    address->addWidget(btnRefreshIP, 1, 2, 1, 2);
    address->addWidget(lblDebugNote, 2, 0, 1, 4);
    address->setColumnStretch(1, 1);

    auto* rootBox = named(new QGroupBox("Web Root", tab), "gbWebRoot");
    edRoot = named(new QLineEdit(rootBox), "edRoot");
    btnBrowse = named(new QPushButton("Browse...", rootBox), "btnBrowse");
    edDefaultFile = named(new QLineEdit(rootBox), "edDefaultFile");
    Label54 = named(new QLabel(WebServer::kRootWarning, rootBox), "Label54");
    // Red on yellow, as loud as a warning gets.
    Label54->setStyleSheet("color: #FF0000; background-color: #FFFF00;");
    Label54->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    btnStartServer = named(new QPushButton("Start Server", rootBox), "btnStartServer");
    btnStartServer->setMinimumWidth(110);
    cbAutoStartServer = named(new QCheckBox("AutoStart", rootBox), "cbAutoStartServer");
    auto* root = new QGridLayout(rootBox);
    root->addWidget(new QLabel("Root Folder:", rootBox), 0, 0);
    root->addWidget(edRoot, 0, 1);
    root->addWidget(btnBrowse, 0, 2);
    root->addWidget(new QLabel("Default File:", rootBox), 1, 0);
    root->addWidget(edDefaultFile, 1, 1);
    root->addWidget(Label54, 2, 1, 1, 2);
    auto* start = new QHBoxLayout;
    start->addWidget(btnStartServer);
    start->addWidget(cbAutoStartServer);
    start->addStretch();
    root->addLayout(start, 3, 0, 1, 3);
    lblFirstStart =
        named(new QLabel(QString::fromStdString(m_app.firstStartNote()), rootBox), "lblFirstStart");
    lblFirstStart->setWordWrap(true);
    lblFirstStart->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblFirstStart->setVisible(!m_app.firstStartNote().empty());
    root->addWidget(lblFirstStart, 4, 0, 1, 3);
    root->setColumnStretch(1, 1);

    auto* authBox = named(new QGroupBox("Authentication", tab), "gbAuthentication");
    cbAuthentication = named(new QCheckBox("Require Authentication", authBox), "cbAuthentication");
    edUserName = named(new QLineEdit(authBox), "edUserName");
    edPassword = named(new QLineEdit(authBox), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edLogin = named(new QLineEdit(authBox), "edLogin");
    auto* auth = new QGridLayout(authBox);
    auth->addWidget(cbAuthentication, 0, 0, 1, 4);
    auth->addWidget(new QLabel("User name:", authBox), 1, 0);
    auth->addWidget(edUserName, 1, 1);
    auth->addWidget(new QLabel("Password:", authBox), 1, 2);
    auth->addWidget(edPassword, 1, 3);
    auth->addWidget(new QLabel("Welcome text", authBox), 2, 0);
    auth->addWidget(edLogin, 2, 1, 1, 3);
    auth->setColumnStretch(1, 1);
    auth->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(GroupBox1);
    layout->addWidget(rootBox);
    layout->addWidget(authBox);
    layout->addStretch();
    return tab;
}

QWidget* WebServerPage::makeLogTab()
{
    auto* tab = named(new QWidget, "tsServerLog");
    logView = named(new LogView(m_app.messageLog(), m_prompts,
                                {"memLog", "Label79", QString::fromStdString(m_app.paths().dataDir)}, tab),
                    "ServerLog");
    memLog = logView->text;
    Label79 = logView->count;
    memBlock = logView->addSelectionAction("Add To Blocked List",
                                           [this](const QString& selected) { memBlockClick(selected); });
    memBlock->setObjectName("memBlock");
    cbEnableLog = named(new QCheckBox("Enable Log", tab), "cbEnableLog");
    cbRevDNS = named(new QCheckBox("Reverse DNS lookup", tab), "cbRevDNS");
    cbDontLogOwn = named(new QCheckBox("Don't log own IP", tab), "cbDontLogOwn");
    auto* options = new QHBoxLayout;
    options->addWidget(cbEnableLog);
    options->addWidget(cbRevDNS);
    options->addWidget(cbDontLogOwn);
    options->addStretch();
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(logView, 1);
    layout->addLayout(options);
    return tab;
}

QWidget* WebServerPage::makeBlockedTab()
{
    auto* tab = named(new QWidget, "tsBlockedUsers");
    BlockedList = named(new QListWidget(tab), "BlockedList");
    btnAddBlocked = named(new QPushButton("Add", tab), "btnAddBlocked");
    btnRemoveBlocked = named(new QPushButton("Remove", tab), "btnRemoveBlocked");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnAddBlocked);
    buttons->addWidget(btnRemoveBlocked);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(BlockedList, 1);
    layout->addLayout(buttons);
    return tab;
}

void WebServerPage::showInternetConnection()
{
    tabs->setCurrentIndex(0);
}

void WebServerPage::btnStartServerClick()
{
    m_app.webServer().toggle();
}

void WebServerPage::btnRefreshIPClick()
{
    m_app.webServer().GetLocalIP(m_app.commandLine().noLookup);
}

void WebServerPage::cbLANClick()
{
    // The box has already written its new state to the settings.
    m_app.webServer().GetLocalIP(m_app.commandLine().noLookup);
}

void WebServerPage::btnBrowseClick()
{
    const QString file = m_prompts.openFile(this, edRoot->text(), kBrowseFilter, "htm");
    if (file.isEmpty()) {
        return;
    }
    // One choice sets both: the file's folder is the root, its name the default file.
    const QFileInfo info(file);
    edRoot->setText(info.absolutePath());
    edDefaultFile->setText(info.fileName());
}

void WebServerPage::edRootChange()
{
    auto s = m_app.settings().snapshot();
    const bool canStart = WebServer::canStart(s->WebServe.Root, s->WebServe.RootFile);
    btnStartServer->setEnabled(canStart);
    cbAutoStartServer->setEnabled(canStart);
    Label54->setVisible(!canStart);
}

void WebServerPage::edRootExit()
{
    const QString text =
        QString::fromStdString(WebServer::withoutTrailingSlash(edRoot->text().toStdString()));
    if (text != edRoot->text()) {
        edRoot->setText(text);
    }
}

void WebServerPage::edPortExit()
{
    // The video stream's port may not be the same: the message, and "80" here.
    m_app.videoStreaming().edPortExit();
}

void WebServerPage::btnAddBlockedClick()
{
    // A cancelled box gives the empty text, and that is added too; it never matches a client.
    m_app.webServer().addBlocked(m_prompts.inputText(this, "Add Item", QString()).toStdString());
}

void WebServerPage::btnRemoveBlockedClick()
{
    if (BlockedList->selectedItems().isEmpty()) {
        return;
    }
    m_app.webServer().removeBlocked(BlockedList->currentRow());
}

void WebServerPage::memBlockClick(const QString& selected)
{
    // The selection may be a whole address or any part of an address or host name.
    m_app.webServer().addBlocked(selected.toStdString());
}

void WebServerPage::setDebugNoteVisible(bool visible)
{
    lblDebugNote->setVisible(visible);
}

void WebServerPage::settingsChanged()
{
    m_binder->load();
    loadBlockedList();
}

void WebServerPage::serverStateChanged()
{
    const WebServer& server = m_app.webServer();
    btnStartServer->setText(QString::fromStdString(server.startButtonCaption()));
    const bool rootEnabled = server.rootControlsEnabled();
    edRoot->setEnabled(rootEnabled);
    edDefaultFile->setEnabled(rootEnabled);
    btnBrowse->setEnabled(rootEnabled);
    GroupBox1->setEnabled(server.addressGroupEnabled());
    loadAddresses();
}

void WebServerPage::loadAddresses()
{
    auto& own = m_app.webServer().ownAddresses();
    QStringList list;
    for (const std::string& address : *own.list()) {
        list << QString::fromStdString(address);
    }
    const QString selected = QString::fromStdString(own.selected());
    QStringList shown;
    for (int i = 0; i < cbLocalHost->count(); ++i) {
        shown << cbLocalHost->itemText(i);
    }
    QSignalBlocker block(cbLocalHost);
    if (shown != list) {
        cbLocalHost->clear();
        cbLocalHost->addItems(list);
    }
    if (cbLocalHost->currentText() != selected) {
        cbLocalHost->setEditText(selected);
    }
}

void WebServerPage::loadBlockedList()
{
    const auto settings = m_app.settings().snapshot();
    const std::vector<std::string>& blocked = settings->blocked;
    bool same = BlockedList->count() == static_cast<int>(blocked.size());
    for (int i = 0; same && i < BlockedList->count(); ++i) {
        same = BlockedList->item(i)->text() == QString::fromStdString(blocked[static_cast<size_t>(i)]);
    }
    if (same) {
        return;
    }
    const int row = BlockedList->currentRow();
    BlockedList->clear();
    for (const std::string& entry : blocked) {
        BlockedList->addItem(QString::fromStdString(entry));
    }
    if (row >= 0 && row < BlockedList->count()) {
        BlockedList->setCurrentRow(row);
    }
}

} // namespace kestrelon
