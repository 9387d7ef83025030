#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class Prompts;

// IP-Refresh's "Test URL" page, the workbench for a lookup definition: the address the user knows
// to be current, the fetched page ("Get Page"), "Find...", "Mark IP", "Keyword", "Auto" (keyword
// and skip count found by themselves) and "Test". A press with Shift or Ctrl on the small label
// in the lower right corner shows the hidden view: the keyword and skip-count fields, an editable
// page text and the stored definitions; a press without them hides it again. Main thread.
class TestUrlTab : public QWidget {
    Q_OBJECT
public:
    TestUrlTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QLineEdit* edIPAddress;
    QPushButton* btnAuto;
    QPushButton* btnGetPage;
    QPushButton* btnFind;
    QPushButton* btnMarkIP;
    QPushButton* btnKeyWord;
    QPushButton* btnTest;
    QPlainTextEdit* RichEdit1; // the page text
    QLabel* Panel62;           // "Retrieved Address:"
    QWidget* pnlHidden;        // the keyword and skip-count fields
    QLineEdit* edKeyword;
    QLineEdit* edChartoSkip;
    QLabel* Label99;
    // The page text's context menu.
    QMenu* PopupMenu1;
    QAction* Cut1;
    QAction* Copy1;
    QAction* Paste1;
    QAction* SelectAll1;
    QAction* MenuItem6; // "Mark IP Address"
    QAction* MarkKey;   // "Mark Keyword(s)"
    QAction* Find1;

    // The User-Defined Service page's buttons that this page's enabling rule covers too.
    void setDefinitionButtons(QPushButton* addToUserDefined, QPushButton* getIp);
    bool hiddenViewShown() const { return m_hiddenView; }
    // The page text's context menu, its items enabled for the present state.
    QMenu* popupMenu();

public Q_SLOTS:
    void btnAutoClick();
    void btnGetPageClick();
    void Find1Click();
    void MenuItem6Click();
    void MarkKeyClick();
    void btnTestClick();
    // The page is shown; also the enabling rule's other occasions.
    void TabSheet16Show();
    void Label99MouseDown(Qt::KeyboardModifiers modifiers);

Q_SIGNALS:
    void hiddenViewChanged(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateEnables();
    void stateChanged();
    void workbenchChanged();
    void selectionEdited();
    void textEdited();
    void showSelection();

    IpRefresh& m_refresh;
    Prompts& m_prompts;
    QPushButton* m_addToUserDefined = nullptr;
    QPushButton* m_getIp = nullptr;
    bool m_hiddenView = false;
    bool m_syncing = false;
    QString m_lastFind;
    // The page text as shown: each character's position in the page (a CR before LF is not
    // shown), and one more for the end.
    std::string m_shownPage;
    std::vector<size_t> m_pageAt;
    // What the enabling rule watches.
    std::string m_seenKnown;
    std::string m_seenSkip;
};

} // namespace kestrelon
