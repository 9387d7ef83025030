// The "Feedback Form" page's wiring: the two ways stay exclusive and reach the settings, the boxes
// are bound both ways, and the form uses what the page set.
#include "ui/FeedbackTab.h"
#include "ui/MainWindow.h"
#include "ui/UiFixture.h"
#include "ui/WebServerPage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using FeedbackTabTest = UiTest;

FeedbackTab* feedbackTab(MainWindow& window)
{
    return window.webServerPage()->findChild<FeedbackTab*>();
}

} // namespace

TEST_F(FeedbackTabTest, TheTwoWaysStayExclusiveAndBothSettingsFollow)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    FeedbackTab* tab = feedbackTab(window);
    ASSERT_TRUE(tab);
    QTabWidget* tabs = window.webServerPage()->tabs;
    EXPECT_EQ(tabs->tabText(tabs->indexOf(tab)), "Feedback Form");
    ASSERT_NE(tab->rbAppend->parentWidget(), tab->rbEmail->parentWidget());
    EXPECT_TRUE(tab->rbAppend->isChecked());
    EXPECT_FALSE(tab->rbEmail->isChecked());

    auto stored = [&] {
        auto s = app->settings().snapshot();
        return std::pair(s->WebServe.Append, s->WebServe.Email);
    };
    tab->rbEmail->click();
    EXPECT_FALSE(tab->rbAppend->isChecked());
    EXPECT_TRUE(tab->rbEmail->isChecked());
    EXPECT_EQ(stored(), std::pair(false, true));
    // A click on the chosen way keeps it chosen.
    tab->rbEmail->click();
    EXPECT_TRUE(tab->rbEmail->isChecked());
    EXPECT_FALSE(tab->rbAppend->isChecked());
    EXPECT_EQ(stored(), std::pair(false, true));
    tab->rbAppend->click();
    EXPECT_TRUE(tab->rbAppend->isChecked());
    EXPECT_FALSE(tab->rbEmail->isChecked());
    EXPECT_EQ(stored(), std::pair(true, false));

    // A reload of the settings reaches both buttons.
    app->settings().update([](Settings& s) {
        s.WebServe.Append = false;
        s.WebServe.Email = true;
    });
    EXPECT_FALSE(tab->rbAppend->isChecked());
    EXPECT_TRUE(tab->rbEmail->isChecked());
    // Both ticked by hand: the window shows the way the form takes, the e-mail.
    app->settings().update([](Settings& s) { s.WebServe.Append = true; });
    EXPECT_FALSE(tab->rbAppend->isChecked());
    EXPECT_TRUE(tab->rbEmail->isChecked());
}

TEST_F(FeedbackTabTest, BrowseNamesTheFileAndTheFormAppendsToIt)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    FeedbackTab* tab = feedbackTab(window);

    // Cancelled: nothing changes.
    tab->btnAppendBrowse->click();
    ASSERT_EQ(prompts.fileDialogs.size(), 1);
    EXPECT_EQ(prompts.fileDialogs[0],
              QString::fromStdString(app->paths().dataDir) + "|Log Files (*.txt)|txt");
    EXPECT_EQ(tab->edAppendFile->text(), "");

    const std::string file = dir.path() + "/feedback.txt";
    prompts.fileAnswer = QString::fromStdString(file);
    tab->btnAppendBrowse->click();
    EXPECT_EQ(tab->edAppendFile->text().toStdString(), file);
    EXPECT_EQ(app->settings().snapshot()->WebServe.AppendFile, file);

    app->webServer().feedbackForm().ProcessCGIText(*app->settings().snapshot(), {"name=Ann"}, "10.0.0.7");
    const std::string record = readFile(file);
    EXPECT_NE(record.find("Sender's IP address was: 10.0.0.7\r\n \r\nname= Ann\r\n"), std::string::npos)
        << record;
}

TEST_F(FeedbackTabTest, TheMailBoxesAreBoundBothWays)
{
    writeSettings("EmailServer=mail.example.org:2525\nFeedUser=ann\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    FeedbackTab* tab = feedbackTab(window);
    EXPECT_EQ(tab->edMailServer->text(), "mail.example.org:2525");
    EXPECT_EQ(tab->edFeedbackUsername->text(), "ann");
    EXPECT_EQ(tab->edMailFrom->text(), "kestrelon@");
    EXPECT_EQ(tab->edSubject->text(), "Feedback from Kestrelon");
    EXPECT_EQ(tab->edFeedbackPassword->echoMode(), QLineEdit::Password);

    tab->edEmailTo->setText("a@example.org, b@example.org");
    tab->edMailServer->setText("smtp.example.org");
    tab->edMailFrom->setText("me@example.org");
    tab->edSubject->setText("Hello");
    tab->cbFeedbackAuth->click();
    tab->edFeedbackUsername->setText("bob");
    tab->edFeedbackPassword->setText("secret");
    const WebServeSettings web = app->settings().snapshot()->WebServe;
    EXPECT_EQ(web.EmailAddr, "a@example.org, b@example.org");
    EXPECT_EQ(web.EmailServer, "smtp.example.org");
    EXPECT_EQ(web.EmailFrom, "me@example.org");
    EXPECT_EQ(web.Subject, "Hello");
    EXPECT_TRUE(web.FeedAuth);
    EXPECT_EQ(web.FeedUser, "bob");
    EXPECT_EQ(web.FeedPass, "secret");
}
