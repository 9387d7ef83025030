// The Camera page's wiring: its buttons reach the camera, and the camera's state reaches the
// captions, the status panel and the file name's box. The camera is GStreamer's test pattern.
#include "ui/CameraPage.h"
#include "camera/Camera.h"
#include "camera/CameraPreview.h"
#include "camera/CaptureSchedule.h"
#include "camera/SnapshotUpload.h"
#include "ui/CameraControlTab.h"
#include "ui/LogView.h"
#include "ui/MainWindow.h"
#include "ui/PreviewView.h"
#include "ui/SnapshotTab.h"
#include "ui/SnapshotView.h"
#include "ui/UiFixture.h"
#include "ui/UploadLogTab.h"
#include "ui/UploadTab.h"

#include "support/FtpTestServer.h"
#include "support/GuiApplication.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>

#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class CameraPageTest : public UiTest {
protected:
    // The snapshot in the web root; extra: more [Camera] lines.
    std::unique_ptr<Application> makeCameraApp(const std::string& extra = {})
    {
        writeSettings("[Camera]\nFile=" + snapshot() + "\n" + extra);
        return makeApp();
    }
    std::string snapshot() const { return webRoot() + "/cam.jpg"; }
    // Start Preview, and its first frame.
    void startPreview(Application& app, CameraPage* page)
    {
        page->btnStartPreview->click();
        ASSERT_TRUE(processUntil([&] { return app.camera().preview().latestFrame() != nullptr; }));
    }
    FakePrompts prompts;
};

TEST_F(CameraPageTest, ButtonsReachTheCameraAndItsStateReachesTheCaptions)
{
    auto app = makeCameraApp();
    MainWindow window(*app, prompts);
    CameraPage* page = window.cameraPage();
    QPushButton* other = page->snapshotTab->btnStartCamera;
    EXPECT_EQ(page->cboxDevice->currentText(), "Test pattern");
    EXPECT_FALSE(page->btnStartCapture->isEnabled());
    EXPECT_FALSE(page->SpeedButton2->isEnabled());

    page->btnStartPreview->click();
    EXPECT_EQ(page->btnStartPreview->text(), "Stop Preview");
    EXPECT_EQ(window.Label11->text(), "Available");
    EXPECT_TRUE(page->btnStartCapture->isEnabled());
    EXPECT_TRUE(other->isEnabled());
    // The test pattern offers no controls of its own.
    EXPECT_FALSE(page->SpeedButton2->isEnabled());
    ASSERT_TRUE(processUntil([&] { return app->camera().preview().latestFrame() != nullptr; }));

    page->btnStartCapture->click();
    for (QPushButton* button : {page->btnStartCapture, other}) {
        EXPECT_EQ(button->text(), "Stop Capture");
    }
    EXPECT_EQ(window.Label11->text(), "Running");
    EXPECT_EQ(window.Label11->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_FALSE(page->edFileName->isEnabled());
    EXPECT_FALSE(page->btnImageBrowse->isEnabled());
    EXPECT_TRUE(std::filesystem::exists(snapshot()));
    EXPECT_EQ(page->snapshotTab->Label26->text().toLongLong(), std::filesystem::file_size(snapshot()));
    other->click();
    EXPECT_EQ(page->btnStartCapture->text(), "Start Capture");
    EXPECT_EQ(window.Label11->text(), "Available");
    EXPECT_TRUE(page->edFileName->isEnabled());

    // A snapshot outside the web root: Cancel in the question leaves both buttons as they were.
    page->edFileName->setText(QString::fromStdString(dir.path() + "/cam.jpg"));
    page->btnStartCapture->click();
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(
        prompts.warnings[0].startsWith("The image folder (" + QString::fromStdString(dir.path()) + ")"));
    EXPECT_EQ(page->btnStartCapture->text(), "Start Capture");
    EXPECT_EQ(other->text(), "Start Capture");
    EXPECT_EQ(window.Label11->text(), "Available");

    page->btnStartPreview->click();
    EXPECT_EQ(window.Label11->text(), "Stopped");
    EXPECT_FALSE(other->isEnabled());
}

TEST_F(CameraPageTest, TrackBarsSizesAndOptionsGoToTheSettings)
{
    auto app = makeCameraApp();
    MainWindow window(*app, prompts);
    CameraPage* page = window.cameraPage();
    startPreview(*app, page);

    // A track bar stores its position and takes a snapshot.
    page->snapshotTab->tbBright->setValue(40);
    EXPECT_EQ(app->settings().snapshot()->Camera.Bright, 40);
    EXPECT_TRUE(std::filesystem::exists(snapshot()));

    // The size buttons: one field set at a time, the preview and snapshot window follow.
    page->rb320->click();
    const CameraSettings& sized = app->settings().snapshot()->Camera;
    EXPECT_TRUE(sized.rb320);
    EXPECT_FALSE(sized.rb264);
    EXPECT_EQ(app->camera().preview().videoSize(), (VideoSize{320, 240, 16, 24}));
    EXPECT_EQ(page->VideoWindow->size(), QSize(352, 288));
    page->rb480->click();
    EXPECT_EQ(page->VideoWindow->size(), QSize(640, 480));
    page->rb60->click();
    EXPECT_FALSE(app->settings().snapshot()->Camera.Flicker);
    EXPECT_EQ(page->rb12->text(), "15 fps");

    // Clearing AutoSelect clears and disables AutoStart.
    page->cbAutoSelect->click();
    page->cbAutoStart->click();
    EXPECT_TRUE(app->settings().snapshot()->Camera.AutoStart);
    page->cbAutoSelect->click();
    EXPECT_FALSE(app->settings().snapshot()->Camera.AutoStart);
    EXPECT_FALSE(page->cbAutoStart->isEnabled());

    // Browse: the current name without its extension, its filter first; the upload's remote
    // name follows.
    prompts.fileAnswer = QString::fromStdString(webRoot() + "/cam.gif");
    page->btnImageBrowse->click();
    ASSERT_EQ(prompts.fileDialogs.size(), 1);
    EXPECT_EQ(prompts.fileDialogs[0],
              QString::fromStdString(webRoot()) +
                  "/cam|JPEG Image File (*.jpg);;GIF Image (*.gif);;Bitmaps (*.bmp)|jpg");
    EXPECT_EQ(page->edFileName->text(), prompts.fileAnswer);
    EXPECT_EQ(app->settings().snapshot()->FTPCamera.File, "cam.gif");
    page->btnImageBrowse->click();
    EXPECT_TRUE(prompts.fileDialogs[1].contains("|GIF Image (*.gif);;JPEG"));

    // The port values need the I/O switch, and say so.
    CameraControlTab* control = page->controlTab;
    EXPECT_FALSE(control->gbPortValues->isEnabled());
    EXPECT_FALSE(control->lblPortNote->isHidden());
    app->settings().update([](Settings& s) { s.WebServe.IO = true; });
    EXPECT_TRUE(control->gbPortValues->isEnabled());
    EXPECT_TRUE(control->lblPortNote->isHidden());
    control->cbStopCapture->click();
    control->cbStopCapAbove->click();
    EXPECT_FALSE(control->cbStopCapture->isChecked());
}

TEST_F(CameraPageTest, TheMouseLayerDragsACaptionAndTheReleaseTakesASnapshot)
{
    auto app = makeCameraApp();
    MainWindow window(*app, prompts);
    CameraPage* page = window.cameraPage();
    startPreview(*app, page);
    page->snapshotTab->btnSnapNow->click();
    std::filesystem::remove(snapshot());

    // The text caption at (180, 258) of the display area lies at (180, 246) of the 352 x 264
    // picture.
    QWidget* layer = page->snapshotTab->Panel19->Image2;
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, layer->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(layer, &event);
    };
    send(QEvent::MouseButtonPress, {185, 250}, Qt::LeftButton);
    send(QEvent::MouseMove, {165, 230}, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(snapshot())); // no pass while dragging
    send(QEvent::MouseButtonRelease, {165, 230}, Qt::NoButton);
    EXPECT_EQ(app->settings().snapshot()->Camera.Xt, 160);
    EXPECT_EQ(app->settings().snapshot()->Camera.Yt, 238);
    EXPECT_EQ(page->snapshotTab->Panel19->Label49->pos(), QPoint(160, 238));
    EXPECT_TRUE(std::filesystem::exists(snapshot()));
}

TEST_F(CameraPageTest, TheFtpPagesDriveTheUploadAndShowItsState)
{
    FtpTestServer ftp;
    dir.write("www/cam.jpg", "JPEG");
    auto app = makeCameraApp("CameraLog=1\n[FTPCamera]\nHost=" + ftp.address() +
                             "\nUsername=" + FtpTestServer::kUser +
                             "\nFile=cam.jpg\nInterval=60\n[Remote]\nHost=site.example\n"
                             "Username=site\n");
    MainWindow window(*app, prompts);
    QStringList statusTexts;
    QObject::connect(window.statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& text) { statusTexts << text; });
    CameraPage* page = window.cameraPage();
    UploadTab* tab = page->uploadTab;
    UploadLogTab* logTab = page->uploadLogTab;
    page->PageControl3->setCurrentWidget(tab);
    EXPECT_EQ(tab->Edit1->text(), QString::fromStdString(snapshot()));
    tab->edImagePassword->setText(FtpTestServer::kPassword);
    EXPECT_EQ(tab->SpinEdit2->singleStep(), 10);

    tab->btnFTPImage->click();
    EXPECT_FALSE(tab->btnFTPImage->isEnabled());
    ASSERT_TRUE(processUntil([&] { return !app->snapshotUpload().uploading(); }, std::chrono::seconds(30)));
    EXPECT_TRUE(tab->btnFTPImage->isEnabled());
    EXPECT_EQ(ftp.file("/cam.jpg"), "JPEG");
    ASSERT_TRUE(processUntil([&] { return logTab->ListBox4->shownLines() == 4; }));
    EXPECT_TRUE(logTab->ListBox4->shownLine(2).endsWith(" uploaded as /cam.jpg"));
    EXPECT_EQ(logTab->Label80->text(), "4");
    EXPECT_TRUE(statusTexts.contains("Connecting to " + QString::fromStdString(ftp.address()) + "..."));

    // Start and Stop, the countdown and "(FTP Active)".
    EXPECT_TRUE(page->Label63->isHidden());
    tab->btnImageFTPStart->click();
    EXPECT_FALSE(tab->btnImageFTPStart->isEnabled());
    EXPECT_TRUE(tab->btnStop->isEnabled());
    EXPECT_EQ(tab->Panel40->text(), "60");
    EXPECT_FALSE(page->Label63->isHidden());
    EXPECT_EQ(page->Label63->text(), "(FTP Active)");
    tab->btnStop->click();
    EXPECT_TRUE(tab->btnImageFTPStart->isEnabled());
    EXPECT_EQ(tab->Panel40->text(), "");
    EXPECT_TRUE(page->Label63->isHidden());

    // Copy From IP-Refresh takes what the site upload has; its empty password leaves this one.
    tab->btnCopyFromRefresh->click();
    EXPECT_EQ(tab->edImageHost->text(), "site.example");
    EXPECT_EQ(tab->edImageusername->text(), "site");
    EXPECT_EQ(tab->edImagePassword->text(), FtpTestServer::kPassword);

    // Save Log and Clear Log.
    prompts.fileAnswer = QString::fromStdString(dir.path() + "/upload.txt");
    logTab->Button9->click();
    EXPECT_EQ(prompts.fileDialogs.back(),
              QString::fromStdString(app->paths().dataDir) + "|Log Files (*.txt)|txt");
    const std::string saved = readFile(dir.path() + "/upload.txt");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 4);
    EXPECT_EQ(saved.substr(saved.rfind('\n', saved.size() - 2) + 1),
              logTab->ListBox4->shownLine(3).toStdString() + "\n");
    logTab->btnCameraLogClear->click();
    EXPECT_EQ(logTab->ListBox4->shownLines(), 0);
    EXPECT_EQ(logTab->Label80->text(), "0");
    // The log view's own Clear Log empties the count too.
    tab->edImageHost->setText(QString::fromStdString(ftp.address()));
    tab->edImageusername->setText(FtpTestServer::kUser);
    tab->btnFTPImage->click();
    ASSERT_TRUE(processUntil([&] { return logTab->Label80->text() == "4"; }, std::chrono::seconds(30)))
        << logTab->Label80->text().toStdString();
    logTab->ListBox4->clearAction->trigger();
    EXPECT_EQ(app->snapshotUpload().log().lineCount(), 0u);
    EXPECT_EQ(logTab->Label80->text(), "0");
}

TEST_F(CameraPageTest, FirstActivationShowsTheCameraPageAndABigPictureAGreatWindow)
{
    auto app = makeCameraApp("AutoSelect=1\n480=1\n264=0\n");
    MainWindow window(*app, prompts);
    EXPECT_EQ(window.size(), QSize(935, 695));
    app->firstActivate();
    EXPECT_EQ(window.PageControl1->currentWidget(), window.cameraPage());
    EXPECT_EQ(window.cameraPage()->PageControl3->currentIndex(), 0);
    EXPECT_EQ(window.cameraPage()->btnStartPreview->text(), "Stop Preview");
    EXPECT_EQ(window.Label11->text(), "Available");
}

} // namespace
