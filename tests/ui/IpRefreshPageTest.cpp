// The IP-Refresh page's lookup definition pages in the window: the button enabling of the
// User-Defined Service and Test URL pages, their refusals and questions, the question on leaving
// the workbench and the hidden view. Pages come from a page server on 127.0.0.1.
#include "ui/IpRefreshPage.h"
#include "support/PageTestServer.h"
#include "ui/MainWindow.h"
#include "ui/TestUrlTab.h"
#include "ui/UiFixture.h"
#include "ui/UserDefinedTab.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextCursor>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

const std::string kStatusPage = "<html><body><table>\n<tr><td>LAN IP</td><td>192.168.0.1</td></tr>\n"
                                "<tr><td>WAN IP, DHCP</td><td>203.0.113.77</td></tr>\n</table></body></html>";

// As typed or pasted: textEdited follows, as from the keyboard.
void type(QLineEdit* field, const QString& text)
{
    field->selectAll();
    field->insert(text);
    processEvents();
}

void pressLabel(QLabel* label, Qt::KeyboardModifiers modifiers)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(label, &press);
}

class IpRefreshPageTest : public UiTest {
protected:
    void SetUp() override
    {
        writeSettings();
        app = makeApp();
        window = std::make_unique<MainWindow>(*app, prompts);
        window->show(); // messages of the lookup parts show in message boxes only then
        page = window->ipRefreshPage();
        ud = page->userDefinedTab;
        test = page->testUrlTab;
    }
    void showLookupPage(IpRefreshPage::LookupTab tab)
    {
        page->tabs->setCurrentIndex(IpRefreshPage::LookupServices);
        page->PageControl9->setCurrentIndex(tab);
        processEvents();
    }
    QStringList rows(QListWidget* list) const
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            texts << list->item(i)->text();
        }
        return texts;
    }
    void settle()
    {
        ASSERT_TRUE(processUntil([this] { return !app->ipRefresh().jobs().busy(); }));
        processEvents();
    }

    FakePrompts prompts;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;
    IpRefreshPage* page = nullptr;
    UserDefinedTab* ud = nullptr;
    TestUrlTab* test = nullptr;
};

} // namespace

TEST_F(IpRefreshPageTest, UserDefinedServiceEnablingRefusalsAndQuestions)
{
    showLookupPage(IpRefreshPage::UserDefinedService);
    EXPECT_FALSE(ud->btnWebEdit->isEnabled());
    EXPECT_FALSE(ud->btnRemove->isEnabled());
    EXPECT_FALSE(ud->edWebUsername->isEnabled());

    // A pasted full URL loses its scheme; Get IP and Test wait for a skip count.
    type(ud->edURL, "http://10.0.0.138/status.htm");
    EXPECT_EQ(ud->edURL->text(), "10.0.0.138/status.htm");
    EXPECT_FALSE(ud->btnGetIP->isEnabled());
    EXPECT_FALSE(test->btnTest->isEnabled());
    EXPECT_TRUE(ud->btnWebEdit->isEnabled()) << "a change with no definition selected";

    // The refusals of "Add to user-defined", in their order.
    ud->btnNew->click();
    EXPECT_EQ(ud->edURL->text(), "");
    ud->btnAdd->click();
    ud->cbWebAuth->click();
    EXPECT_TRUE(ud->edWebUsername->isEnabled());
    type(ud->edURL, "10.0.0.138/setup.cgi?next_file=s_status.htm");
    ud->btnAdd->click();
    type(ud->edWebPassword, "tembrisk");
    ud->btnAdd->click();
    EXPECT_EQ(prompts.messages,
              (QStringList{"The URL is missing!", "Password required.", "Username required."}));
    EXPECT_TRUE(prompts.inputTitles.isEmpty());

    // The skip count (the hidden view's field) enables Get IP and Test.
    type(ud->edWebUsername, "kovar");
    type(test->edChartoSkip, "30");
    EXPECT_TRUE(ud->btnGetIP->isEnabled());
    EXPECT_TRUE(ud->btnAdd->isEnabled());

    // A name, then the same name again: asked, No keeps one row, Yes adds a second.
    prompts.inputAnswer = "Netgear";
    ud->btnAdd->click();
    EXPECT_EQ(prompts.inputTitles, QStringList{"User-defined IP lookup"});
    EXPECT_EQ(rows(ud->ListBox5), QStringList{"Netgear"});
    EXPECT_TRUE(ud->btnRemove->isEnabled());
    EXPECT_FALSE(ud->btnWebEdit->isEnabled());
    ud->btnAdd->click();
    EXPECT_EQ(prompts.questions, QStringList{"Name already exists. Continue?"});
    EXPECT_EQ(ud->ListBox5->count(), 1);
    prompts.confirmAnswer = true;
    ud->btnAdd->click();
    EXPECT_EQ(rows(ud->ListBox5), (QStringList{"Netgear", "Netgear"}));
    prompts.inputAnswer.clear();
    ud->btnAdd->click();
    EXPECT_EQ(ud->ListBox5->count(), 2) << "an empty name adds nothing";

    // A preset fills its fields and disables Apply and Remove; a user row enables Remove, and
    // an edit of it Apply, which applying and showing the page disable again.
    ud->ListBox6->setCurrentRow(1);
    ud->SelectPreSetClick();
    EXPECT_EQ(test->edChartoSkip->text(), "504");
    EXPECT_FALSE(ud->cbWebAuth->isChecked());
    EXPECT_FALSE(ud->btnWebEdit->isEnabled());
    EXPECT_FALSE(ud->btnRemove->isEnabled());
    type(ud->edURL, "192.168.1.254/home/hstatus.sht");
    EXPECT_FALSE(ud->btnWebEdit->isEnabled()) << "a preset is not changed by Apply";
    ud->ListBox5->setCurrentRow(0);
    ud->SelectClick();
    EXPECT_EQ(ud->edWebPassword->text(), "tembrisk");
    EXPECT_EQ(ud->Panel56->text(), "Netgear");
    EXPECT_TRUE(ud->btnRemove->isEnabled());
    ud->cbWebAuth->click();
    type(ud->edURL, "10.0.0.1/status.htm");
    EXPECT_TRUE(ud->btnWebEdit->isEnabled());
    ud->btnWebEdit->click();
    EXPECT_FALSE(ud->btnWebEdit->isEnabled());
    auto stored = app->settings().snapshot();
    ASSERT_EQ(stored->routers.size(), 2u);
    EXPECT_FALSE(stored->routers[0].checked);
    EXPECT_TRUE(stored->routers[1].checked);
    type(ud->edURL, "10.0.0.2/status.htm");
    showLookupPage(IpRefreshPage::Timer);
    showLookupPage(IpRefreshPage::UserDefinedService);
    EXPECT_FALSE(ud->btnWebEdit->isEnabled());

    ud->btnRemove->click();
    EXPECT_EQ(ud->ListBox5->count(), 1);
    EXPECT_EQ(ud->Panel56->text(), "");
    EXPECT_FALSE(ud->btnRemove->isEnabled());
}

TEST_F(IpRefreshPageTest, TestUrlEnablingLeavingQuestionAndHiddenView)
{
    PageTestServer server;
    server.setProtectedPage("/status.htm", kStatusPage, "admin", "pw");
    showLookupPage(IpRefreshPage::UserDefinedService);
    type(ud->edURL, QString::fromStdString(server.hostAndPath("/status.htm")));
    ud->cbWebAuth->click();
    type(ud->edWebUsername, "admin");
    type(ud->edWebPassword, "pw");
    showLookupPage(IpRefreshPage::TestUrl);
    EXPECT_FALSE(test->btnAuto->isEnabled());
    EXPECT_TRUE(test->btnGetPage->isEnabled());
    EXPECT_FALSE(test->btnFind->isEnabled());
    EXPECT_FALSE(test->btnTest->isEnabled());
    EXPECT_FALSE(test->btnMarkIP->isEnabled());

    // The known address enables Auto; the fetched page Find, and the address found in it Mark IP.
    type(test->edIPAddress, "203.0.113.77");
    EXPECT_TRUE(test->btnAuto->isEnabled());
    test->btnGetPage->click();
    settle();
    EXPECT_EQ(test->RichEdit1->toPlainText().toStdString(), kStatusPage);
    EXPECT_TRUE(test->btnFind->isEnabled());
    EXPECT_EQ(test->RichEdit1->textCursor().selectedText(), "203.0.113.77");
    EXPECT_TRUE(test->btnMarkIP->isEnabled());

    // Marked: Test waits for a keyword; Keyword follows the selection from now on.
    test->btnMarkIP->click();
    EXPECT_FALSE(test->btnTest->isEnabled());
    QTextCursor cursor = test->RichEdit1->textCursor();
    const int dhcp = static_cast<int>(kStatusPage.find("DHCP"));
    cursor.setPosition(dhcp);
    cursor.setPosition(dhcp + 4, QTextCursor::KeepAnchor);
    test->RichEdit1->setTextCursor(cursor);
    test->TabSheet16Show();
    EXPECT_TRUE(test->btnKeyWord->isEnabled());
    test->btnKeyWord->click();
    processEvents();
    EXPECT_EQ(test->edKeyword->text(), "DHCP");
    EXPECT_EQ(test->edChartoSkip->text(), "9");
    EXPECT_TRUE(test->btnTest->isEnabled());
    EXPECT_TRUE(ud->btnGetIP->isEnabled());
    EXPECT_TRUE(ud->btnAdd->isEnabled());
    QMenu* menu = test->popupMenu();
    EXPECT_FALSE(test->Cut1->isEnabled()) << "the page text is read-only";
    EXPECT_FALSE(test->Paste1->isEnabled());
    EXPECT_TRUE(test->SelectAll1->isEnabled());
    EXPECT_TRUE(test->Find1->isEnabled());
    menu->hide();

    // Leaving the workbench with the changes not kept asks once, and the page changes either way.
    showLookupPage(IpRefreshPage::Timer);
    EXPECT_EQ(prompts.questions, QStringList{"Data has changed. Add to user-defined?"});
    EXPECT_EQ(page->PageControl9->currentIndex(), IpRefreshPage::Timer);
    EXPECT_EQ(ud->ListBox5->count(), 0);
    showLookupPage(IpRefreshPage::TestUrl);
    prompts.confirmAnswer = true;
    prompts.inputAnswer = "Home router";
    showLookupPage(IpRefreshPage::ExternalService);
    EXPECT_EQ(rows(ud->ListBox5), QStringList{"Home router"});
    showLookupPage(IpRefreshPage::TestUrl);
    type(test->edChartoSkip, "12");
    showLookupPage(IpRefreshPage::Timer);
    EXPECT_EQ(prompts.questions.back(), "Data has changed. Apply changes?");
    EXPECT_NE(app->settings().snapshot()->routers.at(0).definition.find(",DHCP,12,admin,"),
              std::string::npos);
    showLookupPage(IpRefreshPage::TestUrl);
    const int asked = static_cast<int>(prompts.questions.size());
    showLookupPage(IpRefreshPage::Timer);
    EXPECT_EQ(prompts.questions.size(), asked) << "nothing changed since";

    // The hidden view: Shift or Ctrl on the corner label shows it, a plain press hides it.
    showLookupPage(IpRefreshPage::TestUrl);
    EXPECT_FALSE(test->pnlHidden->isVisibleTo(test));
    pressLabel(test->Label99, Qt::ControlModifier);
    EXPECT_TRUE(test->pnlHidden->isVisibleTo(test));
    EXPECT_TRUE(ud->CheckListBox5->isVisibleTo(ud));
    EXPECT_FALSE(test->RichEdit1->isReadOnly());
    test->popupMenu()->hide();
    EXPECT_TRUE(test->Paste1->isEnabled());
    pressLabel(test->Label99, Qt::NoModifier);
    EXPECT_FALSE(test->pnlHidden->isVisibleTo(test));
    EXPECT_FALSE(ud->CheckListBox5->isVisibleTo(ud));
    EXPECT_TRUE(test->RichEdit1->isReadOnly());
    pressLabel(test->Label99, Qt::ShiftModifier);
    EXPECT_TRUE(test->pnlHidden->isVisibleTo(test));

    // Auto and Get Page need the router-page mode.
    page->rbExternal->click();
    processEvents();
    test->TabSheet16Show();
    EXPECT_FALSE(test->btnGetPage->isEnabled());
    test->btnAuto->click();
    settle();
    ASSERT_FALSE(prompts.messages.isEmpty());
    EXPECT_EQ(prompts.messages.back(), PageWorkbench::kNeedsUserDefined);
}
