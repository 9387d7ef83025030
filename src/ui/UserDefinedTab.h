#pragma once

#include "iprefresh/IpRefreshState.h"

#include <QWidget>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class Prompts;

// IP-Refresh's "User-Defined Service" page: the user's lookup definitions and the router
// presets, the page address and its credentials, "New", "Add to user-defined", "Apply",
// "Remove " and "Get IP". The keyword and skip count are edited on the Test URL page. The two
// definition lists behind the names show only in the hidden view. Main thread.
class UserDefinedTab : public QWidget {
    Q_OBJECT
public:
    UserDefinedTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QListWidget* ListBox5;      // "User-defined:"
    QListWidget* ListBox6;      // "Pre-defined:"
    QListWidget* CheckListBox5; // the user definitions as stored, hidden
    QListWidget* CheckListBox6; // the presets' definitions, hidden
    QLabel* Panel56;            // the selected definition's name
    QLineEdit* edURL;
    QCheckBox* cbWebAuth;
    QLineEdit* edWebUsername;
    QLineEdit* edWebPassword;
    QPushButton* btnNew;
    QPushButton* btnAdd;
    QPushButton* btnWebEdit; // "Apply"
    QPushButton* btnRemove;
    QPushButton* btnGetIP;

    // The Test URL page's "Test", which the URL field's rule enables too.
    void setTestButton(QPushButton* button) { m_testButton = button; }
    bool applyEnabled() const;
    // The hidden view: the two definition lists.
    void setHiddenViewVisible(bool visible);

public Q_SLOTS:
    void SelectClick();
    void SelectPreSetClick();
    void btnNewClick();
    void btnAddClick();
    void btnWebEditClick();
    void btnRemoveClick();
    void btnTestClick();
    // The page is shown: "Apply" starts disabled.
    void TabSheet19Show();

private:
    void loadLists();
    void stateChanged();
    void selectionShown();
    void edURLChange();
    void editRouter(void (*edit)(RouterFields&, const std::string&), const QString& text);
    bool refused();

    Application& m_app;
    IpRefresh& m_refresh;
    Prompts& m_prompts;
    QPushButton* m_testButton = nullptr;
    // What "Apply" watches for changes.
    RouterFields m_seen;
    std::string m_seenPage;
};

} // namespace kestrelon
