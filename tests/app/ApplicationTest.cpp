// The start-up and shutdown decisions, on a real settings file and the real web server.
#include "app/Application.h"
#include "core/IniFile.h"
#include "core/PasswordScrambler.h"
#include "support/GuiApplication.h"
#include "support/LoopbackSocket.h"
#include "support/NoOutsideLookup.h"
#include "support/PageTestServer.h"
#include "support/RawHttpClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class ApplicationStartup : public ::testing::Test {
protected:
    // A settings file for a server on an ephemeral loopback port, web root beside it.
    std::string writeSettings(const std::string& extra = {})
    {
        dir.write("www/index.html", "INDEX");
        return dir.write("kestrelon.ini", std::string(kNoOutsideLookup) +
                                              "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() + "/www\n" +
                                              extra);
    }

    std::unique_ptr<Application> make(std::vector<std::string> args)
    {
        args.push_back("--config");
        args.push_back(dir.path() + "/kestrelon.ini");
        args.push_back("--listen");
        args.push_back("127.0.0.1");
        ensureGuiApplication();
        auto app = std::make_unique<Application>(CommandLine::parse(args));
        std::string error;
        EXPECT_TRUE(app->create(error)) << error;
        return app;
    }

    TempDir dir;
};

} // namespace

TEST_F(ApplicationStartup, ServerStartsOnlyWhenAskedAndAllowed)
{
    writeSettings("AutoStart=1\n");
    {
        auto app = make({});
        app->firstShow();
        EXPECT_TRUE(app->webServer().running());
        EXPECT_EQ(httpGet(app->webServer().boundPort(), "/")->body, "INDEX");
        // Showing the window again (a restore from the tray) repeats nothing.
        app->firstShow();
        size_t listening = 0;
        for (const auto& line : app->messageLog().lines()) {
            listening += line.find("Listening for HTTP connections") != std::string::npos;
        }
        EXPECT_EQ(listening, 1u);
        EXPECT_EQ(app->shutdown().message, "");
    }
    {
        auto app = make({"/noauto"});
        app->firstShow();
        EXPECT_FALSE(app->webServer().running());
    }
    writeSettings("AutoStart=0\n");
    {
        auto app = make({"-auto", "-noauto"}); // noauto wins
        app->firstShow();
        EXPECT_FALSE(app->webServer().running());
    }
    {
        auto app = make({"-AUTO"});
        app->firstShow();
        EXPECT_TRUE(app->webServer().running());
    }
    // auto while the default file is missing: the AutoStart box is disabled, nothing starts.
    std::filesystem::remove(dir.path() + "/www/index.html");
    {
        auto app = make({"-auto"});
        EXPECT_FALSE(WebServer::canStart(app->settings().snapshot()->WebServe.Root,
                                         app->settings().snapshot()->WebServe.RootFile));
        app->firstShow();
        EXPECT_FALSE(app->webServer().running());
    }
}

TEST_F(ApplicationStartup, StartupPortValue)
{
    // The snapshot upload's automatic start comes at the same step.
    writeSettings("SendValue=1\nPortValue=$21\nIOAddress=0378H (LPT1)\n[FTPCamera]\nAutoStart=1\n");
    std::string record = dir.path() + "/port.txt";
    ::setenv("KESTRELON_PORT_RECORD", record.c_str(), 1);
    {
        auto app = make({});
        EXPECT_EQ(app->port().portAddress(), 0x378);
        app->firstActivate();
        app->firstActivate(); // once per run
        EXPECT_EQ(app->port().lastPortValue(), 0x21);
        EXPECT_TRUE(app->snapshotUpload().periodicRunning());
    }
    {
        auto app = make({"-noauto"});
        app->firstActivate();
        EXPECT_FALSE(app->snapshotUpload().periodicRunning());
    }
    ::unsetenv("KESTRELON_PORT_RECORD");
    EXPECT_EQ(readFile(record), "0378 33\n");
    EXPECT_EQ(portAddressFromText("0278H (LPT2)"), 0x278);
    EXPECT_FALSE(portAddressFromText("LPT1").has_value());
    EXPECT_FALSE(portAddressFromText("zzzH").has_value());
}

TEST_F(ApplicationStartup, HelpDocumentAndShutdown)
{
    writeSettings("AutoStart=1\n");
    std::string help = dir.path() + "/kestrelon.html";
    {
        auto app = make({});
        EXPECT_EQ(app->helpDocumentPath(), help);
        ASSERT_TRUE(app->helpDocumentExists());
        EXPECT_NE(readFile(help).find("<title>Kestrelon user guide</title>"), std::string::npos);
        EXPECT_EQ(app->shutdown().message, "");
        EXPECT_FALSE(std::filesystem::exists(help)); // deleted at shutdown
        // The settings were written at shutdown, keeping what was there.
        IniFile ini(readFile(dir.path() + "/kestrelon.ini"));
        EXPECT_EQ(ini.value("WebServe", "Port"), "0");
        EXPECT_EQ(ini.value("WebServe", "RootFile"), "index.html");
    }
    // A guide left by an earlier run is not rewritten at start-up.
    dir.write("kestrelon.html", "mine");
    {
        auto app = make({});
        EXPECT_EQ(readFile(help), "mine");
    }

    // A settings file that cannot be written keeps the program open, after the server stopped.
    ::chmod((dir.path() + "/kestrelon.ini").c_str(), 0444);
    auto app = make({});
    app->firstShow();
    ASSERT_TRUE(app->webServer().running());
    EXPECT_EQ(app->shutdown().message, "Unable to write to " + dir.path() + "/kestrelon.ini");
    EXPECT_FALSE(app->webServer().running());
    EXPECT_TRUE(std::filesystem::exists(help)); // the steps after the save did not run
}

TEST_F(ApplicationStartup, UnreadableSettingsFileStopsTheStart)
{
    dir.mkdir("kestrelon.ini"); // a folder where the file should be
    ensureGuiApplication();
    Application app(CommandLine::parse({"--config", dir.path() + "/kestrelon.ini"}));
    std::string error;
    EXPECT_FALSE(app.create(error));
    EXPECT_EQ(error, "Unable to read " + dir.path() + "/kestrelon.ini");
}

TEST_F(ApplicationStartup, AReloadThatCannotReadTheFileWholeKeepsTheLoginAndTheBlockedList)
{
    const std::string ini =
        writeSettings("AutoStart=1\nAuth=1\nLogin=Members\nUser=admin\nPass=" + EnDeCrypt("pw") +
                      "\nIO=1\nIOAddress=0378H (LPT1)\n[blocked]\n10.0.0.8=1\n");
    auto app = make({});
    app->firstShow();
    const uint16_t port = app->webServer().boundPort();
    ASSERT_EQ(httpGet(port, "/")->status, 401);
    ASSERT_TRUE(app->save().saved());
    const std::string whole = readFile(ini);
    auto stillGuarded = [&] {
        EXPECT_EQ(httpGet(port, "/")->status, 401);
        EXPECT_EQ(app->settings().snapshot()->blocked, std::vector<std::string>{"10.0.0.8"});
    };

    // A whole file with another port address: taken, the address too.
    IniFile edited(whole);
    edited.setValue("WebServe", "IOAddress", "03BCH");
    dir.write("kestrelon.ini", edited.text());
    ASSERT_EQ(app->reload(), "");
    EXPECT_EQ(app->port().portAddress(), 0x03BC);
    stillGuarded();

    // An emptied file (the other kinds of a file that is not whole are the settings file's own
    // tests): refused, and the settings stay.
    dir.write("kestrelon.ini", "");
    EXPECT_NE(app->reload(), "");
    stillGuarded();

    // The admin puts back a file of their own: the exit keeps it and says so.
    const std::string theirs = whole + "[Theirs]\nkept=1\n";
    dir.write("kestrelon.ini", theirs);
    const auto result = app->shutdown();
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.message.find("was changed by another program"), std::string::npos) << result.message;
    EXPECT_EQ(readFile(ini), theirs);
}

TEST_F(ApplicationStartup, ASignalEndsTheRunEvenWhenTheSettingsCannotBeSaved)
{
    // A hand-written port with blanks around it, and a snapshot name that is a folder.
    uint16_t wanted = 0;
    ::close(boundLoopbackSocket(wanted));
    dir.write("www/index.html", "INDEX");
    dir.write("snapshots/keep.jpg", "JPEG");
    const std::string ini = dir.write(
        "kestrelon.ini", std::string(kNoOutsideLookup) + "[WebServe]\nPort = " + std::to_string(wanted) +
                             " \nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() +
                             "/www\n[Camera]\nDelete=1\nFile=" + dir.path() + "/snapshots\n");
    dir.write("kestrelon.webm", "stream");
    dir.write("kestrelon.tmp", "upload");
    auto app = make({});
    app->firstShow();
    ASSERT_TRUE(app->webServer().running());
    EXPECT_EQ(app->webServer().boundPort(), wanted);

    ::chmod(ini.c_str(), 0444);
    const auto result = app->shutdown(Application::CloseReason::Signal);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.message, "Unable to write to " + ini);
    // The rest of the shutdown ran: the program's passing files are gone, the folder stays.
    for (const char* name : {"kestrelon.html", "kestrelon.webm", "kestrelon.tmp"}) {
        EXPECT_FALSE(std::filesystem::exists(dir.path() + "/" + name)) << name;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/snapshots/keep.jpg"));
}

TEST_F(ApplicationStartup, TemporaryCopiesASaveLeftBehindAreRemovedBeforeLoading)
{
    // A save killed halfway leaves its temporary copy beside the settings file.
    writeSettings();
    dir.write(".kestrelon.ini.Q7x2Lm", "[WebServe]\nPass=scrambled\n");
    dir.write(".kestrelon.ini.bak", "mine");
    dir.write(".other.ini.Q7x2Lm", "not ours");
    auto app = make({});
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.kestrelon.ini.Q7x2Lm"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/.kestrelon.ini.bak"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/.other.ini.Q7x2Lm"));
    EXPECT_EQ(app->settings().snapshot()->WebServe.Port, "0");
}

TEST_F(ApplicationStartup, StreamingStartsByItsOwnBoxEvenUnderNoautoAndEndsAtShutdown)
{
    // Only the test pattern, even on a machine with a camera; nobody can connect on port 0.
    ::setenv("GST_PLUGIN_FEATURE_RANK",
             "v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE", 1);
    writeSettings("[VidStream]\nStream=1\nLastDevice=0\nPort=0\n");
    const std::string streamFile = dir.write("kestrelon.webm", "left over");
    auto app = make({"-noauto"});
    ASSERT_TRUE(app->videoStreaming().streaming());
    EXPECT_TRUE(app->settings().snapshot()->VidStream.NoPreview);
    EXPECT_FALSE(app->streamPreview().running());
    app->shutdown();
    EXPECT_FALSE(app->videoStreaming().streaming());
    EXPECT_FALSE(std::filesystem::exists(streamFile));
}

TEST_F(ApplicationStartup, AGatewaysServerStartWaitsForTheLookupAndBindsTheAddressFound)
{
    // "This computer is an ICS gateway": the router page's address becomes the one to bind.
    PageTestServer router;
    router.setPage("/status.htm", "<td>WAN</td><td>127.0.0.3</td>");
    dir.write("www/index.html", "INDEX");
    dir.write("kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\nLAN=1\nRoot=" + dir.path() +
                                   "/www\n[Router]\nExternal=0\nUserDefined=1\nSelectedRouter=0\n"
                                   "[Routers]\n0-Home=1\n[RoutersData]\n0-" +
                                   router.hostAndPath("/status.htm") + ",<td>WAN</td>,0=0\n");
    auto app = make({});
    WebServer& web = app->webServer();
    web.toggle();
    EXPECT_TRUE(web.startPending());
    EXPECT_FALSE(web.running());
    ASSERT_TRUE(processUntil([&] { return web.running(); }));
    EXPECT_EQ(web.ownAddresses().selected(), "127.0.0.3");
    const auto log = app->messageLog().lines();
    EXPECT_NE(log.back().find("Listening for HTTP connections on 127.0.0.3:"), std::string::npos)
        << log.back();
    EXPECT_EQ(app->ipRefresh().state().fields().windowTitle, "Kestrelon [127.0.0.3]");

    // A start still waiting for its lookup at shutdown never binds.
    web.toggle();
    web.toggle();
    EXPECT_TRUE(web.startPending());
    app->shutdown();
    // The lookup has ended within the shutdown; what it posted runs now.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(web.running());
    EXPECT_FALSE(web.startPending());
}
