#include "ui/UserDefinedTab.h"

#include "app/Application.h"
#include "iprefresh/LookupDefinitions.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/ShownText.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

// Rows with these texts, replaced only when they differ; checks set from checked when given.
void showRows(QListWidget* list, const std::vector<QString>& texts,
              const std::vector<bool>* checked = nullptr)
{
    bool same = list->count() == static_cast<int>(texts.size());
    for (int i = 0; same && i < list->count(); ++i) {
        same =
            list->item(i)->text() == texts[static_cast<size_t>(i)] &&
            (!checked || (list->item(i)->checkState() == Qt::Checked) == (*checked)[static_cast<size_t>(i)]);
    }
    if (same) {
        return;
    }
    QSignalBlocker block(list);
    list->clear();
    for (size_t i = 0; i < texts.size(); ++i) {
        auto* item = new QListWidgetItem(texts[i], list);
        if (checked) {
            item->setCheckState((*checked)[i] ? Qt::Checked : Qt::Unchecked);
        }
    }
}

void selectRow(QListWidget* list, int row)
{
    QSignalBlocker block(list);
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
}

} // namespace

UserDefinedTab::UserDefinedTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_app(app), m_refresh(app.ipRefresh()), m_prompts(prompts)
{
    setObjectName("TabSheet19");
    ListBox5 = named(new QListWidget(this), "ListBox5");
    ListBox6 = named(new QListWidget(this), "ListBox6");
    CheckListBox5 = named(new QListWidget(this), "CheckListBox5");
    CheckListBox6 = named(new QListWidget(this), "CheckListBox6");
    for (QListWidget* list : {CheckListBox5, CheckListBox6}) {
        list->hide();
        list->setFont(QFont("Courier New", list->font().pointSize()));
    }
    Panel56 = panelLabel("Panel56", this, 180);
    edURL = named(new QLineEdit(this), "edURL");
    edURL->setPlaceholderText("192.168.1.1/status.htm");
    cbWebAuth = named(new QCheckBox("Webpage requires authentication", this), "cbWebAuth");
    edWebUsername = named(new QLineEdit(this), "edWebUsername");
    edWebPassword = named(new QLineEdit(this), "edWebPassword");
    edWebPassword->setEchoMode(QLineEdit::Password);
    btnNew = named(new QPushButton("New", this), "btnNew");
    btnAdd = named(new QPushButton("Add to user-defined", this), "btnAdd");
    btnWebEdit = named(new QPushButton("Apply", this), "btnWebEdit");
    btnWebEdit->setEnabled(false);
    btnRemove = named(new QPushButton("Remove ", this), "btnRemove");
    btnRemove->setEnabled(false);
    btnGetIP = named(new QPushButton("Get IP", this), "btnGetIP");

    auto* lists = new QVBoxLayout;
    lists->setSpacing(2);
    lists->addWidget(new QLabel("User-defined:", this));
    lists->addWidget(ListBox5, 2);
    lists->addWidget(CheckListBox5, 1);
    lists->addSpacing(6);
    lists->addWidget(new QLabel("Pre-defined:", this));
    lists->addWidget(ListBox6, 1);
    lists->addWidget(CheckListBox6, 1);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel("Selected:", this), 0, 0);
    fields->addWidget(Panel56, 0, 1, 1, 2, Qt::AlignLeft);
    fields->addWidget(new QLabel("http://", this), 1, 0);
    fields->addWidget(edURL, 1, 1, 1, 2);
    fields->addWidget(cbWebAuth, 2, 0, 1, 3);
    fields->addWidget(new QLabel("Username:", this), 3, 0);
    fields->addWidget(edWebUsername, 3, 1, 1, 2);
    fields->addWidget(new QLabel("Password:", this), 4, 0);
    fields->addWidget(edWebPassword, 4, 1, 1, 2);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QGridLayout;
    buttons->addWidget(btnNew, 0, 0);
    buttons->addWidget(btnAdd, 0, 1);
    buttons->addWidget(btnWebEdit, 1, 0);
    buttons->addWidget(btnRemove, 1, 1);
    buttons->addWidget(btnGetIP, 2, 0);
    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addSpacing(8);
    right->addLayout(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(lists, 2);
    layout->addSpacing(8);
    layout->addLayout(right, 3);

    connect(ListBox5, &QListWidget::itemClicked, this, &UserDefinedTab::SelectClick);
    connect(ListBox6, &QListWidget::itemClicked, this, &UserDefinedTab::SelectPreSetClick);
    connect(btnNew, &QPushButton::clicked, this, &UserDefinedTab::btnNewClick);
    connect(btnAdd, &QPushButton::clicked, this, &UserDefinedTab::btnAddClick);
    connect(btnWebEdit, &QPushButton::clicked, this, &UserDefinedTab::btnWebEditClick);
    connect(btnRemove, &QPushButton::clicked, this, &UserDefinedTab::btnRemoveClick);
    connect(btnGetIP, &QPushButton::clicked, this, &UserDefinedTab::btnTestClick);
    connect(edURL, &QLineEdit::textEdited, this, [this](const QString& text) {
        editRouter([](RouterFields& f, const std::string& t) { f.url = withoutScheme(t); }, text);
    });
    connect(edWebUsername, &QLineEdit::textEdited, this, [this](const QString& text) {
        editRouter([](RouterFields& f, const std::string& t) { f.user = t; }, text);
    });
    connect(edWebPassword, &QLineEdit::textEdited, this, [this](const QString& text) {
        editRouter([](RouterFields& f, const std::string& t) { f.password = t; }, text);
    });
    connect(cbWebAuth, &QCheckBox::clicked, this,
            [this](bool on) { m_refresh.state().change([on](auto& f) { f.router.webAuth = on; }); });
    connect(&app.settings(), &SettingsModel::changed, this, &UserDefinedTab::loadLists);
    connect(&m_refresh.state(), &IpRefreshState::changed, this, &UserDefinedTab::stateChanged);
    connect(&m_refresh.workbench(), &PageWorkbench::changed, this, &UserDefinedTab::stateChanged);

    std::vector<QString> names, definitions;
    std::vector<bool> checks;
    for (const RouterPreset& preset : kRouterPresets) {
        names.push_back(preset.name);
        definitions.push_back(preset.definition);
        checks.push_back(preset.checked);
    }
    showRows(ListBox6, names);
    showRows(CheckListBox6, definitions, &checks);
    loadLists();
    m_seen = m_refresh.state().fields().router;
    stateChanged();
    // A stored selection of a user row comes with "Apply" and "Remove " enabled, a preset's
    // with both disabled.
    const bool userRow = m_refresh.definitions().userRowSelected();
    btnWebEdit->setEnabled(userRow);
    btnRemove->setEnabled(userRow);
}

void UserDefinedTab::editRouter(void (*edit)(RouterFields&, const std::string&), const QString& text)
{
    const std::string value = text.toStdString();
    m_refresh.state().change([&](auto& f) { edit(f.router, value); });
}

void UserDefinedTab::loadLists()
{
    auto s = m_app.settings().snapshot();
    std::vector<QString> names, definitions;
    std::vector<bool> checks;
    for (const LookupDefinition& d : s->routers) {
        names.push_back(QString::fromStdString(d.name));
        definitions.push_back(
            QString::fromLatin1(d.definition.data(), static_cast<qsizetype>(d.definition.size())));
        checks.push_back(d.checked);
    }
    showRows(ListBox5, names);
    showRows(CheckListBox5, definitions, &checks);
    selectionShown();
}

void UserDefinedTab::selectionShown()
{
    const int32_t selected = m_refresh.definitions().selected();
    selectRow(ListBox5, selected >= 0 && selected < kPresetBase ? selected : -1);
    selectRow(ListBox6, selected >= kPresetBase ? selected - kPresetBase : -1);
}

void UserDefinedTab::stateChanged()
{
    const auto& fields = m_refresh.state().fields();
    const RouterFields& f = fields.router;
    showText(edURL, f.url);
    if (cbWebAuth->isChecked() != f.webAuth) {
        cbWebAuth->setChecked(f.webAuth);
    }
    showText(edWebUsername, f.user);
    showText(edWebPassword, f.password);
    showText(Panel56, fields.definitionName);
    edWebUsername->setEnabled(f.webAuth);
    edWebPassword->setEnabled(f.webAuth);

    if (f.url != m_seen.url || f.keyword != m_seen.keyword) {
        edURLChange();
    }
    const std::string& page = m_refresh.workbench().page();
    const bool changed = f.url != m_seen.url || f.keyword != m_seen.keyword || f.skip != m_seen.skip ||
                         f.user != m_seen.user || f.password != m_seen.password || page != m_seenPage;
    if (changed && m_refresh.definitions().selected() < kPresetBase) {
        btnWebEdit->setEnabled(true);
    }
    m_seen = f;
    m_seenPage = page;
}

void UserDefinedTab::edURLChange()
{
    const RouterFields& f = m_refresh.state().fields().router;
    btnGetIP->setEnabled(!f.url.empty() && !f.skip.empty());
    if (m_testButton) {
        m_testButton->setEnabled(!f.skip.empty());
    }
}

bool UserDefinedTab::applyEnabled() const
{
    return btnWebEdit->isEnabled();
}

void UserDefinedTab::setHiddenViewVisible(bool visible)
{
    CheckListBox5->setVisible(visible);
    CheckListBox6->setVisible(visible);
}

void UserDefinedTab::SelectClick()
{
    const int row = ListBox5->currentRow();
    if (row < 0 || !m_refresh.definitions().select(row, false)) {
        return;
    }
    selectRow(ListBox6, -1);
    btnRemove->setEnabled(true);
}

void UserDefinedTab::SelectPreSetClick()
{
    const int row = ListBox6->currentRow();
    if (row < 0 || !m_refresh.definitions().select(row, true)) {
        return;
    }
    selectRow(ListBox5, -1);
    btnWebEdit->setEnabled(false);
    btnRemove->setEnabled(false);
}

void UserDefinedTab::btnNewClick()
{
    m_refresh.definitions().newDefinition();
    selectRow(ListBox5, -1);
}

bool UserDefinedTab::refused()
{
    const std::string refusal = definitionRefusal(m_refresh.state().fields().router);
    if (!refusal.empty()) {
        m_prompts.message(this, QString::fromStdString(refusal));
    }
    return !refusal.empty();
}

void UserDefinedTab::btnAddClick()
{
    if (refused()) {
        return;
    }
    const QString name = m_prompts.inputText(this, "User-defined IP lookup", "Name", QString());
    if (name.isEmpty()) {
        return;
    }
    if (definitionNameExists(m_app.settings().snapshot()->routers, name.toStdString())) {
        QApplication::beep();
        if (!m_prompts.confirm(this, "Name already exists. Continue?", window()->frameGeometry().center())) {
            return;
        }
    }
    m_refresh.definitions().add(name.toStdString());
    btnRemove->setEnabled(true);
    btnWebEdit->setEnabled(false);
}

void UserDefinedTab::btnWebEditClick()
{
    if (refused()) {
        return;
    }
    if (!m_refresh.definitions().apply()) {
        m_prompts.message(this, "Select the user-defined lookup to change, or keep this one with "
                                "\"Add to user-defined\".");
        return;
    }
    btnWebEdit->setEnabled(false);
}

void UserDefinedTab::btnRemoveClick()
{
    if (m_refresh.definitions().remove()) {
        btnRemove->setEnabled(false);
    }
}

void UserDefinedTab::btnTestClick()
{
    m_refresh.workbench().getIp(LookupSender::Ordinary);
}

void UserDefinedTab::TabSheet19Show()
{
    btnWebEdit->setEnabled(false);
}

} // namespace kestrelon
