// The "Extras" page's wiring: the buttons reach the hit counters and the settings, and the
// counters' changes (from this thread and from server threads) reach the page and the side panel.
#include "ui/CounterTab.h"
#include "ui/MainWindow.h"
#include "ui/UiFixture.h"
#include "ui/WebServerPage.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTabWidget>

#include <filesystem>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using CounterTabTest = UiTest;

CounterTab* extrasTab(MainWindow& window)
{
    return window.webServerPage()->findChild<CounterTab*>();
}

// The width and height a tag names.
QSize tagSize(const QString& tag)
{
    const auto match = QRegularExpression(R"(width=(\d+) height=(\d+) )").match(tag);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

// The side panel's caption once the queued counter changes have arrived.
std::string sidePanel(MainWindow& window)
{
    processEvents();
    return window.Panel43->text().toStdString();
}

QImage preview(const QLabel* image)
{
    return image->pixmap().toImage();
}

QColor panelColour(const QScrollArea* panel)
{
    return panel->palette().color(QPalette::Window);
}

} // namespace

TEST_F(CounterTabTest, PlusAndMinusReachTheCountFilesAndThePageAndSidePanelFollow)
{
    writeSettings("ShowCount=1\n");
    dir.write("www/hitcounter.txt", "000041\r\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);
    ASSERT_TRUE(tab);
    QTabWidget* tabs = window.webServerPage()->tabs;
    EXPECT_EQ(tabs->tabText(tabs->indexOf(tab)), "Extras");
    EXPECT_EQ(sidePanel(window), "000041");
    EXPECT_FALSE(window.Panel43->isHidden());
    const QImage before = preview(tab->Image4);
    ASSERT_FALSE(before.isNull());
    EXPECT_EQ(tagSize(tab->Memo1->toPlainText()), before.size());

    tab->btnInc->click();
    EXPECT_EQ(readFile(webRoot() + "/hitcounter.txt"), "000042\r\n");
    EXPECT_EQ(sidePanel(window), "000042");
    const QImage after = preview(tab->Image4);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, app->webServer().counters().one().image().convertToFormat(after.format()));
    EXPECT_EQ(QImage(QString::fromStdString(webRoot() + "/hitcounter.bmp")).size(), after.size());
    EXPECT_EQ(tab->Memo1->toPlainText(),
              QString("<img src=\"hitcounter.bmp\" width=%1 height=%2 alt=\"counter\">")
                  .arg(after.width())
                  .arg(after.height()));
    tab->btnDec->click();
    tab->btnDec->click();
    EXPECT_EQ(readFile(webRoot() + "/hitcounter.txt"), "000040\r\n");
    EXPECT_EQ(sidePanel(window), "000040");

    // Counter 2 starts at 000000: "-" stays there, "+" counts; the side panel is not its own.
    tab->SpeedButton3->click();
    EXPECT_EQ(readFile(webRoot() + "/hitcounter2.txt"), "000000\r\n");
    tab->btnInc2->click();
    tab->btnInc2->click();
    EXPECT_EQ(readFile(webRoot() + "/hitcounter2.txt"), "000002\r\n");
    EXPECT_TRUE(tab->Memo2->toPlainText().startsWith("<img src=\"hitcounter2.bmp\" width="));
    EXPECT_EQ(tagSize(tab->Memo2->toPlainText()), preview(tab->Image5).size());
    EXPECT_EQ(sidePanel(window), "000040");
    EXPECT_TRUE(prompts.messages.isEmpty());

    // A web hit changes the counter on a server thread: the page and the panel follow here.
    std::thread([&] { app->webServer().counters().one().IncDecHitCounter("inc"); }).join();
    ASSERT_TRUE(processUntil([&] { return sidePanel(window) == "000041"; }));
    EXPECT_EQ(preview(tab->Image4),
              app->webServer().counters().one().image().convertToFormat(after.format()));
}

TEST_F(CounterTabTest, AFailedChangeIsShownInAMessageBoxAndChangesNothing)
{
    writeSettings();
    dir.write("www/hitcounter2.txt", "twelve\r\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);
    std::filesystem::remove(webRoot() + "/hitcounter.txt");
    const QString tag = tab->Memo1->toPlainText();

    tab->btnInc->click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains("hitcounter.txt")) << prompts.messages[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(webRoot() + "/hitcounter.txt"));
    EXPECT_EQ(tab->Memo1->toPlainText(), tag);

    tab->SpeedButton3->click();
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[1].contains("twelve")) << prompts.messages[1].toStdString();
    EXPECT_EQ(readFile(webRoot() + "/hitcounter2.txt"), "twelve\r\n");
}

TEST_F(CounterTabTest, CopyPutsThatCountersWholeTagOnTheClipboard)
{
    writeSettings("CounterFontSize2=30\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);

    tab->btnCopy->click();
    const QString one = QGuiApplication::clipboard()->text();
    EXPECT_EQ(one, app->webServer().counters().one().tagText());
    EXPECT_TRUE(one.startsWith("<img src=\"hitcounter.bmp\" width=")) << one.toStdString();
    EXPECT_TRUE(one.endsWith(" alt=\"counter\">")) << one.toStdString();

    tab->Button6->click();
    const QString two = QGuiApplication::clipboard()->text();
    EXPECT_EQ(two, app->webServer().counters().two().tagText());
    EXPECT_TRUE(two.startsWith("<img src=\"hitcounter2.bmp\" width=")) << two.toStdString();
    EXPECT_NE(tagSize(two), tagSize(one));
}

TEST_F(CounterTabTest, FontAndBackColourChangeTheStoredStyleAndRedrawBothCounters)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);
    const WebServeSettings initial = app->settings().snapshot()->WebServe;
    const QSize size = preview(tab->Image4).size();

    // Cancel: the dialog started on the counter's font, nothing else was asked or changed.
    tab->btnTextColour->click();
    ASSERT_EQ(prompts.fontsOffered.size(), 1);
    EXPECT_EQ(prompts.fontsOffered[0].family(), "Courier New");
    EXPECT_EQ(prompts.fontsOffered[0].pointSize(), 14);
    EXPECT_TRUE(prompts.colourTitles.isEmpty());
    EXPECT_EQ(app->settings().snapshot()->WebServe, initial);
    EXPECT_EQ(preview(tab->Image4).size(), size);

    // OK, then a text colour: both stored, the image redrawn larger and red on black.
    QFont big("DejaVu Sans", 28);
    big.setBold(true);
    big.setItalic(true);
    prompts.fontAnswer = big;
    prompts.colourAnswers = {QColor(255, 0, 0)};
    tab->btnTextColour->click();
    ASSERT_EQ(prompts.colourTitles, QStringList{"Text Colour"});
    EXPECT_EQ(prompts.coloursOffered[0], QColor(255, 255, 255));
    WebServeSettings web = app->settings().snapshot()->WebServe;
    EXPECT_EQ(web.CounterFontName, "DejaVu Sans");
    EXPECT_EQ(web.CounterFontSize, 28);
    EXPECT_EQ(web.CounterFontStyle, 3);
    EXPECT_EQ(web.TextColour, 0x0000FF);
    EXPECT_EQ(web.CounterFontName2, "Courier New");
    const QImage redrawn = preview(tab->Image4);
    EXPECT_GT(redrawn.width(), size.width());
    EXPECT_GT(redrawn.height(), size.height());
    EXPECT_EQ(tagSize(tab->Memo1->toPlainText()), redrawn.size());
    EXPECT_EQ(QImage(QString::fromStdString(webRoot() + "/hitcounter.bmp")).size(), redrawn.size());
    bool red = false;
    for (int y = 0; y < redrawn.height() && !red; ++y) {
        for (int x = 0; x < redrawn.width() && !red; ++x) {
            red = redrawn.pixelColor(x, y) == QColor(255, 0, 0);
        }
    }
    EXPECT_TRUE(red);

    // Counter 2's font dialog writes counter 2's keys; a cancelled colour keeps its colour.
    prompts.fontAnswer = QFont("DejaVu Sans Mono", 9);
    tab->Button7->click();
    web = app->settings().snapshot()->WebServe;
    EXPECT_EQ(web.CounterFontName2, "DejaVu Sans Mono");
    EXPECT_EQ(web.CounterFontSize2, 9);
    EXPECT_EQ(web.CounterFontStyle2, 0);
    EXPECT_EQ(web.TextColour2, 0xFFFFFF);
    EXPECT_EQ(web.CounterFontName, "DejaVu Sans");

    // Back Colour OK: stored for that counter and drawn.
    prompts.colourTitles.clear();
    prompts.colourAnswers = {QColor(0, 0, 255)};
    tab->Button5->click();
    EXPECT_EQ(prompts.colourTitles, QStringList{"Back Colour"});
    EXPECT_EQ(app->settings().snapshot()->WebServe.Colour2, 0xFF0000);
    EXPECT_EQ(app->settings().snapshot()->WebServe.Colour1, 0x000000);
    const QImage blue = preview(tab->Image5);
    EXPECT_EQ(blue.pixelColor(0, blue.height() - 1), QColor(0, 0, 255));

    // Back Colour cancelled: no colour changes, but both counters are read again.
    dir.write("www/hitcounter.txt", "000077\r\n");
    const WebServeSettings beforeCancel = app->settings().snapshot()->WebServe;
    tab->btnCounterColour->click();
    EXPECT_EQ(app->settings().snapshot()->WebServe, beforeCancel);
    EXPECT_EQ(sidePanel(window), "000077");
}

TEST_F(CounterTabTest, DesktopColoursBothPreviewPanelsAndShowCountShowsTheSidePanel)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);
    // clAppWorkSpace by default.
    EXPECT_EQ(panelColour(tab->Panel42), QColor(0x9F, 0x9F, 0x9F));
    const QImage image = preview(tab->Image4);

    tab->btnDesktop->click();
    EXPECT_EQ(panelColour(tab->Panel42), QColor(0x9F, 0x9F, 0x9F));
    prompts.colourAnswers = {QColor(0x12, 0x34, 0x56)};
    tab->btnDesktop->click();
    EXPECT_EQ(prompts.colourTitles, (QStringList{"Desktop", "Desktop"}));
    EXPECT_EQ(app->settings().snapshot()->WebServe.DeskColour, 0x563412);
    EXPECT_EQ(panelColour(tab->Panel42), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(panelColour(tab->Panel50), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(preview(tab->Image4), image);

    EXPECT_TRUE(window.Panel43->isHidden());
    tab->cbShowCount->click();
    EXPECT_TRUE(app->settings().snapshot()->WebServe.ShowCount);
    EXPECT_FALSE(window.Panel43->isHidden());
    EXPECT_EQ(sidePanel(window), "000000");
    tab->cbShowCount->click();
    EXPECT_TRUE(window.Panel43->isHidden());
    // A change of the model (a reload) reaches the box and the panel.
    app->settings().update([](Settings& s) { s.WebServe.ShowCount = true; });
    EXPECT_TRUE(tab->cbShowCount->isChecked());
    EXPECT_FALSE(window.Panel43->isHidden());

    tab->cbDontCountOwn2->click();
    EXPECT_TRUE(app->settings().snapshot()->WebServe.DontCountOwn2);
    EXPECT_FALSE(app->settings().snapshot()->WebServe.DontCountOwn);
}

TEST_F(CounterTabTest, ShowingThePageReadsBothCountFilesAgain)
{
    writeSettings("ShowCount=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    CounterTab* tab = extrasTab(window);
    window.show();
    ASSERT_TRUE(processUntil([&] { return window.isActiveWindow(); }));
    processEvents();

    dir.write("www/hitcounter.txt", "000123\r\n");
    dir.write("www/hitcounter2.txt", "1234567\r\n");
    window.webServerPage()->tabs->setCurrentWidget(tab);
    EXPECT_EQ(sidePanel(window), "000123");
    const QSize wide = tagSize(tab->Memo2->toPlainText());
    EXPECT_GT(wide.width(), tagSize(tab->Memo1->toPlainText()).width());
    EXPECT_EQ(QImage(QString::fromStdString(webRoot() + "/hitcounter2.bmp")).size(), wide);
}
