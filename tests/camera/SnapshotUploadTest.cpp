// The snapshot upload against a real pyftpdlib server on 127.0.0.1: the log lines of a success
// with and without a remote folder, each failure ending in the one error line with the periodic
// upload going on, and a shutdown in the middle of a stalled transfer. ImageFTPTimer is ticked by
// the test; the stamps come from a fixed clock.
#include "camera/SnapshotUpload.h"
#include "core/ServerBusy.h"
#include "core/SettingsModel.h"
#include "support/FtpTestServer.h"
#include "support/GuiApplication.h"
#include "support/LocalTime.h"
#include "support/ServerFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

const std::string kStamp = "12/02/2005 16:45:23";

Settings uploadSettings(const std::string& snapshot, const std::string& host)
{
    ensureGuiApplication();
    Settings s = Settings::defaults(std::filesystem::path(snapshot).parent_path());
    s.Camera.File = snapshot;
    s.Camera.CameraLog = true;
    s.FTPCamera.Host = host;
    s.FTPCamera.Username = FtpTestServer::kUser;
    s.FTPCamera.Password = FtpTestServer::kPassword;
    s.FTPCamera.File = "cam.jpg";
    s.FTPCamera.Interval = 5;
    return s;
}

class SnapshotUploadTest : public ::testing::Test {
protected:
    SnapshotUploadTest()
        : snapshot(files.write("snap.jpg", std::string("\xFF\xD8picture\r\n\x1A\xFF\xD9", 14))),
          settings(uploadSettings(snapshot, server.address())),
          upload(
              settings, busy, [] { return localTime(2005, 2, 12, 16, 45, 23); }, {}, std::chrono::hours(1))
    {
        std::filesystem::create_directories(server.root() + "/htdocs");
        QObject::connect(&upload, &SnapshotUpload::statusTextChanged,
                         [this](const QString& text) { statusTexts << text; });
    }
    void change(const std::function<void(Settings&)>& f) { settings.update(f); }
    void awaitEnd()
    {
        EXPECT_TRUE(processUntil([&] { return !upload.uploading(); }, std::chrono::seconds(30)));
    }
    // The log lines of the upload that begin starts, once it has ended, without their stamp. The
    // count is taken first: the worker writes its lines as soon as the upload is queued.
    std::vector<std::string> linesOf(const std::function<void()>& begin)
    {
        const size_t before = upload.log().lineCount();
        begin();
        awaitEnd();
        const std::vector<std::string> lines = upload.log().lines();
        std::vector<std::string> added;
        for (size_t i = before; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].substr(0, kStamp.size()), kStamp) << lines[i];
            added.push_back(lines[i].substr(kStamp.size()));
        }
        return added;
    }
    std::vector<std::string> uploadNow()
    {
        return linesOf([this] { upload.upload(); });
    }
    // Ticks the countdown down to its upload.
    std::vector<std::string> tickToUpload()
    {
        while (upload.uploadCountdown() > 1) {
            upload.ImageFTPTimerTimer();
        }
        EXPECT_FALSE(upload.uploading());
        return linesOf([this] {
            upload.ImageFTPTimerTimer();
            EXPECT_TRUE(upload.uploading());
        });
    }
    std::string host() const { return server.address(); }

    FtpTestServer server;
    TempDir files;
    std::string snapshot;
    SettingsModel settings;
    ServerBusy busy;
    SnapshotUpload upload;
    QStringList statusTexts;
};

} // namespace

TEST_F(SnapshotUploadTest, UploadsIntoTheLoginFolderOrTheRemoteFolderAndLogsEachStep)
{
    // serverBusy and a resting timer for the whole upload, whoever started it.
    EXPECT_EQ(linesOf([this] {
                  upload.upload();
                  EXPECT_TRUE(busy.serverBusy());
              }),
              (std::vector<std::string>{"  Connecting to " + host(), "  Connected to " + host(),
                                        "  " + snapshot + " uploaded as /cam.jpg", "  Disconnected"}));
    EXPECT_FALSE(busy.serverBusy());
    EXPECT_EQ(server.file("/cam.jpg"), std::string("\xFF\xD8picture\r\n\x1A\xFF\xD9", 14)) << "binary";
    EXPECT_EQ(statusTexts, (QStringList{"Connecting to " + QString::fromStdString(host()) + "...",
                                        "Connected to " + QString::fromStdString(host()), ""}));
    EXPECT_EQ(upload.Label80(), "4");
    EXPECT_EQ(upload.lastError(), "");
    // A manual upload while periodic upload is stopped leaves it stopped.
    EXPECT_FALSE(upload.periodicRunning());
    EXPECT_FALSE(upload.ImageFTPTimer.isActive());
    EXPECT_EQ(upload.Panel40(), "");

    // A folder typed with a trailing backslash is entered without it, and the file there is
    // replaced, not appended to.
    change([](Settings& s) { s.FTPCamera.Directory = "htdocs\\"; });
    files.write("snap.jpg", "second");
    EXPECT_EQ(uploadNow(),
              (std::vector<std::string>{"  Connecting to " + host(), "  Connected to " + host(),
                                        "  " + snapshot + " uploaded as htdocs/cam.jpg", "  Disconnected"}));
    files.write("snap.jpg", "third");
    change([](Settings& s) { s.FTPCamera.Directory = "/htdocs/"; });
    uploadNow();
    EXPECT_EQ(server.file("/htdocs/cam.jpg"), "third");
    const auto events = server.events();
    EXPECT_NE(std::find(events.begin(), events.end(), "cwd /htdocs"), events.end());
    EXPECT_EQ(std::count(events.begin(), events.end(), "stor /htdocs/cam.jpg i"), 2);

    // With the log disabled nothing is added, and the count still follows the upload.
    upload.clearLog();
    EXPECT_EQ(upload.Label80(), "0");
    change([](Settings& s) { s.Camera.CameraLog = false; });
    files.write("snap.jpg", "fourth");
    EXPECT_EQ(uploadNow(), std::vector<std::string>{});
    EXPECT_EQ(server.file("/htdocs/cam.jpg"), "fourth");
}

TEST_F(SnapshotUploadTest, EveryFailureEndsInTheErrorLineAndThePeriodicUploadGoesOn)
{
    upload.start();
    EXPECT_TRUE(upload.periodicRunning());
    EXPECT_TRUE(upload.ImageFTPTimer.isActive());
    EXPECT_EQ(upload.Panel40(), "5");
    const std::string connecting = "  Connecting to " + host();
    const std::string connected = "  Connected to " + host();
    const std::string error = SnapshotUpload::kError;
    const auto expectGoingOn = [&](const char* what) {
        EXPECT_NE(upload.lastError(), "") << what;
        EXPECT_TRUE(upload.ImageFTPTimer.isActive()) << what;
        EXPECT_EQ(upload.uploadCountdown(), 5) << what;
        EXPECT_EQ(upload.Panel40(), "5") << what;
        EXPECT_FALSE(busy.serverBusy()) << what;
    };

    change([](Settings& s) { s.FTPCamera.Password = "wrong"; });
    EXPECT_EQ(tickToUpload(), (std::vector<std::string>{connecting, error, "  Disconnected"}));
    expectGoingOn("wrong password");

    change([](Settings& s) {
        s.FTPCamera.Password = FtpTestServer::kPassword;
        s.FTPCamera.Directory = "missing";
    });
    EXPECT_EQ(tickToUpload(), (std::vector<std::string>{connecting, connected, error, "  Disconnected"}));
    expectGoingOn("missing remote folder");

    change([](Settings& s) { s.FTPCamera.Directory = "htdocs"; });
    std::filesystem::remove(snapshot);
    EXPECT_EQ(tickToUpload(), (std::vector<std::string>{connecting, connected, error, "  Disconnected"}));
    expectGoingOn("missing snapshot file");

    files.write("snap.jpg", "back");
    EXPECT_EQ(tickToUpload(),
              (std::vector<std::string>{connecting, connected,
                                        "  " + snapshot + " uploaded as htdocs/cam.jpg", "  Disconnected"}));
    EXPECT_EQ(server.file("/htdocs/cam.jpg"), "back");

    server.stop();
    EXPECT_EQ(tickToUpload(), (std::vector<std::string>{connecting, error, "  Disconnected"}));
    expectGoingOn("server down");

    // A Stop while an upload runs keeps the timer off after it.
    upload.upload();
    upload.stop();
    awaitEnd();
    EXPECT_FALSE(upload.ImageFTPTimer.isActive());
    EXPECT_EQ(upload.Panel40(), "");
}

TEST_F(SnapshotUploadTest, ShutdownEndsAStalledTransferWithinItsBound)
{
    server.stallStoreOf("cam.jpg");
    upload.start();
    upload.upload();
    ASSERT_TRUE(waitFor(
        [&] {
            const auto events = server.events();
            return std::find(events.begin(), events.end(), "stalled /cam.jpg") != events.end();
        },
        std::chrono::seconds(10)));
    EXPECT_TRUE(upload.shutdown(std::chrono::seconds(5)));
    EXPECT_FALSE(upload.periodicRunning());
    // The error and the end still reach the log; nothing starts afterwards.
    awaitEnd();
    EXPECT_EQ(upload.log().lines().back().substr(kStamp.size()), "  Disconnected");
    EXPECT_FALSE(busy.serverBusy());
    upload.upload();
    EXPECT_FALSE(upload.uploading());
}
