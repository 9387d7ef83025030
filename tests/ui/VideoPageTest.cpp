// The Video page's wiring: its controls reach the stream and the settings, the stream's state
// reaches the labels, the buttons, the client list and the main window's Video panel. The source
// is GStreamer's test pattern; viewers come through the real viewer port.
#include "ui/VideoPage.h"
#include "streaming/CapturePreview.h"
#include "streaming/VideoStreaming.h"
#include "support/GuiApplication.h"
#include "support/LoopbackSocket.h"
#include "support/RawHttpClient.h"
#include "ui/MainWindow.h"
#include "ui/SectionPanel.h"
#include "ui/UiFixture.h"
#include "ui/WebServerPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>

#include <cstdlib>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class VideoPageTest : public UiTest {
protected:
    std::unique_ptr<Application> makeVideoApp(const std::string& extra)
    {
        uint16_t free = 0;
        ::close(boundLoopbackSocket(free));
        port = free;
        writeSettings("[VidStream]\nLastDevice=0\nUsers=2\nProfile=0\nPort=" + std::to_string(port) + "\n" +
                      extra);
        return makeApp();
    }
    uint16_t port = 0;
    FakePrompts prompts;
};

void clickOn(QWidget* widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

QStringList items(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    return lines;
}

TEST_F(VideoPageTest, StartStopAndTheViewersReachTheLabelsAndTheList)
{
    auto app = makeVideoApp("Clip=Spike clip\n");
    MainWindow window(*app, prompts);
    window.show();
    VideoPage* page = window.videoPage();
    EXPECT_EQ(page->title(), "Video Encoder");
    EXPECT_EQ(page->cbSource->currentText(), "Test pattern");
    EXPECT_EQ(page->cbProfiles->currentText(), "256 Kbps (CBR)");
    EXPECT_EQ(page->edClip->text(), "Spike clip");
    EXPECT_TRUE(page->btnStartVideo->isEnabled());
    EXPECT_FALSE(page->btnStopVideo->isEnabled());
    EXPECT_TRUE(page->Label116->isHidden());
    EXPECT_TRUE(window.Label117->isHidden());

    page->btnStartVideo->click();
    EXPECT_FALSE(page->Label116->isHidden());
    EXPECT_FALSE(window.Label117->isHidden());
    EXPECT_EQ(window.Label117->text(), "Running");
    EXPECT_TRUE(page->btnStopVideo->isEnabled());
    for (QWidget* w :
         {static_cast<QWidget*>(page->btnStartVideo), static_cast<QWidget*>(page->cbSource),
          static_cast<QWidget*>(page->btnVideoPreview), static_cast<QWidget*>(page->cbNoPreview)}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_TRUE(window.statusText().startsWith("Streaming Test pattern"))
        << window.statusText().toStdString();
    // The preview shows the source's own pictures beside the stream.
    ASSERT_TRUE(processUntil([&] { return app->streamPreview().latestFrame() != nullptr; }));

    // Two viewers from their own addresses show in the list within a refresh or two.
    RawConnection one(port, "127.0.0.2");
    RawConnection two(port, "127.0.0.3");
    ASSERT_TRUE(one.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n") &&
                two.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(processUntil([&] { return page->ListBox8->count() == 2; }));
    EXPECT_EQ(items(page->ListBox8), QStringList({"127.0.0.2", "127.0.0.3"}));
    if (const char* shot = std::getenv("KESTRELON_UI_SCREENSHOT")) {
        // A look at the page as it streams (run under xvfb-run with QT_QPA_PLATFORM=xcb).
        window.showPage(MainWindow::kVideoPage);
        processUntil([] { return false; }, std::chrono::milliseconds(500));
        window.grab().save(shot);
        window.showPage(0);
        processUntil([] { return false; }, std::chrono::milliseconds(300));
        window.grab().save(QString(shot) + "-panel.png");
    }

    // A click on "Running" shows the page, as one on its panel does.
    window.showPage(0);
    clickOn(window.Label117);
    EXPECT_EQ(window.PageControl1->currentIndex(), MainWindow::kVideoPage);

    page->btnStopVideo->click();
    EXPECT_TRUE(page->Label116->isHidden());
    EXPECT_TRUE(window.Label117->isHidden());
    EXPECT_EQ(page->ListBox8->count(), 0);
    EXPECT_TRUE(page->btnStartVideo->isEnabled() && page->cbSource->isEnabled());
    EXPECT_TRUE(one.waitForClose(std::chrono::seconds(5)));
}

TEST_F(VideoPageTest, BoxesReachTheSettingsAndThePortsMayNotClash)
{
    auto app = makeVideoApp("");
    MainWindow window(*app, prompts);
    window.show();
    VideoPage* page = window.videoPage();
    const auto stored = [&] { return app->settings().snapshot()->VidStream; };

    // A new "Bitrate" builds the profile at once, with the quality of that moment.
    page->spQuality->setValue(90);
    page->cbProfiles->setCurrentIndex(5);
    Q_EMIT page->cbProfiles->activated(5);
    EXPECT_EQ(stored().Profile, 5);
    EXPECT_EQ(stored().Quality, 90);
    ASSERT_TRUE(app->videoStreaming().customProfile());
    EXPECT_EQ(app->videoStreaming().customProfile()->width, 240);
    EXPECT_EQ(app->videoStreaming().customProfile()->quality, 90);

    // "Start streaming automatically" ticks "No preview", whose label shows over the preview.
    EXPECT_TRUE(page->Label119->isHidden());
    page->cbAutoStream->click();
    EXPECT_TRUE(stored().Stream);
    EXPECT_TRUE(page->cbNoPreview->isChecked());
    EXPECT_FALSE(page->Label119->isHidden());
    page->cbNoPreview->click();
    EXPECT_TRUE(page->Label119->isHidden());

    // Leaving either port field with the other's text: the message, and the field just left is
    // put right.
    window.webServerPage()->edPort->setText("8080");
    page->edVideoPort->setText("8080");
    Q_EMIT page->edVideoPort->editingFinished();
    processEvents();
    EXPECT_EQ(page->edVideoPort->text(), "0");
    EXPECT_EQ(prompts.messages, QStringList{VideoStreaming::kPortClash});
    window.webServerPage()->edPort->setText("0");
    Q_EMIT window.webServerPage()->edPort->editingFinished();
    processEvents();
    EXPECT_EQ(window.webServerPage()->edPort->text(), "80");
    EXPECT_EQ(prompts.messages.size(), 2);

    // A start that fails asks whether to go on, over the window; No leaves the page idle.
    page->cbSource->setCurrentIndex(-1);
    app->settings().update([](Settings& s) { s.VidStream.LastDevice = 7; });
    page->btnStartVideo->click();
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(
        prompts.questions[0].startsWith("GStreamer has reported the following error: There is no video "
                                        "source at position 7."))
        << prompts.questions[0].toStdString();
    EXPECT_TRUE(page->Label116->isHidden());
}

} // namespace
