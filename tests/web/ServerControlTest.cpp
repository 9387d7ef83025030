// Starting and stopping the server, and the rules around the root folder and blocked list.
#include "support/GuiApplication.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

TEST(ServerControl, StartAndStop)
{
    ServerFixture f;
    int stateSignals = 0;
    QObject::connect(f.server.get(), &WebServer::stateChanged, [&] { ++stateSignals; });
    EXPECT_EQ(f.server->startButtonCaption(), "Start Server");
    EXPECT_EQ(f.server->statusText(), "Stopped");
    EXPECT_TRUE(f.server->rootControlsEnabled());

    f.server->toggle();
    ASSERT_TRUE(f.server->running());
    EXPECT_EQ(f.server->startButtonCaption(), "Stop Server");
    EXPECT_EQ(f.server->statusText(), "Running");
    EXPECT_FALSE(f.server->rootControlsEnabled());
    EXPECT_FALSE(f.server->addressGroupEnabled());
    EXPECT_GT(stateSignals, 0);
    uint16_t port = f.port();
    EXPECT_EQ(f.messages().back(),
              "Listening for HTTP connections on 127.0.0.1:" + std::to_string(port) + ".");
    EXPECT_TRUE(httpGet(port, "/"));

    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Server stopped");
    EXPECT_TRUE(f.server->rootControlsEnabled());
    EXPECT_TRUE(f.server->addressGroupEnabled());
    EXPECT_FALSE(httpGet(port, "/")); // nobody listens any more

    // Started again, it serves again.
    f.server->toggle();
    ASSERT_TRUE(f.server->running());
    f.root.write("index.html", "again");
    auto r = httpGet(f.port(), "/");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "again");
}

TEST(ServerControl, OtherFeaturesStartStopAndRestartIt)
{
    ServerFixture f;
    ServerControl& control = *f.server;
    control.stop(); // a stopped server stays as it is
    EXPECT_EQ(f.countMessages("Server stopped"), 0u);
    control.restart();
    EXPECT_FALSE(control.running());
    control.start();
    ASSERT_TRUE(control.running());
    control.start(); // already running: nothing
    EXPECT_EQ(f.countMessages("Listening for HTTP connections"), 1u);

    // A restart stops at once and starts again after its pause, on the event loop.
    control.restart();
    EXPECT_FALSE(control.running());
    ASSERT_TRUE(processUntil([&] { return control.running(); }));
    EXPECT_EQ(f.countMessages("Server stopped"), 1u);
    EXPECT_EQ(f.countMessages("Listening for HTTP connections"), 2u);
    EXPECT_TRUE(httpGet(f.port(), "/"));

    // The button's root folder check holds for them too: a missing root keeps it running.
    std::filesystem::rename(f.root.path(), f.root.path() + ".gone");
    control.restart();
    EXPECT_TRUE(control.running());
    std::filesystem::rename(f.root.path() + ".gone", f.root.path());
    EXPECT_EQ(f.countMessages("Web root folder ("), 1u);
    control.stop();
    EXPECT_FALSE(control.running());
}

TEST(ServerControl, PortTextThatIsNotANumberBinds80)
{
    ServerFixture f;
    f.change([](Settings& s) { s.WebServe.Port = "abc"; });
    f.server->toggle();
    // Port 80 may be taken on a developer's machine; either way port 80 is what was tried.
    auto last = f.messages().back();
    if (f.server->running()) {
        EXPECT_EQ(last, "Listening for HTTP connections on 127.0.0.1:80.");
        EXPECT_EQ(f.port(), 80);
    } else {
        EXPECT_EQ(last, "Error: \"Address already in use\".");
    }
}

TEST(ServerControl, FailedBindLeavesTheServerStopped)
{
    ServerFixture f;
    QString box;
    QObject::connect(f.server.get(), &WebServer::messageBox, [&](const QString& t) { box = t; });
    // A documentation address that no interface of this machine has.
    f.server->ownAddresses().setSelected("192.0.2.1");
    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Error: \"Cannot assign requested address\".");
    EXPECT_EQ(box, "Unable to assign address 192.0.2.1");
    EXPECT_EQ(f.server->startButtonCaption(), "Start Server");
    EXPECT_EQ(f.server->statusText(), "Stopped");
    // The root folder controls stay disabled until the next successful start and stop.
    EXPECT_FALSE(f.server->rootControlsEnabled());

    f.server->ownAddresses().setSelected("127.0.0.1");
    f.server->toggle();
    ASSERT_TRUE(f.server->running());
    EXPECT_FALSE(f.server->rootControlsEnabled());
    f.server->toggle();
    EXPECT_TRUE(f.server->rootControlsEnabled());

    // A port in use by another server.
    ServerFixture first;
    ASSERT_TRUE(first.start());
    f.change([&](Settings& s) { s.WebServe.Port = std::to_string(first.port()); });
    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Error: \"Address already in use\".");

    f.change([](Settings& s) { s.WebServe.Port = "70000"; });
    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Error: \"Port 70000 is out of range\".");
}

TEST(ServerControl, RootFolderChecks)
{
    ServerFixture f;
    std::string missing = f.root.path() + "/missing";
    f.change([&](Settings& s) { s.WebServe.Root = missing; });
    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Web root folder (" + missing + ") not found.");
    EXPECT_TRUE(f.server->rootControlsEnabled());

    // Root deleted while the server runs: "Stop Server" logs the line and the server keeps running.
    std::string root = f.root.mkdir("www");
    f.root.write("www/index.html", "x");
    f.change([&](Settings& s) { s.WebServe.Root = root; });
    ASSERT_TRUE(f.start());
    std::filesystem::remove_all(root);
    f.server->toggle();
    EXPECT_TRUE(f.server->running());
    EXPECT_EQ(f.messages().back(), "Web root folder (" + root + ") not found.");
    EXPECT_EQ(f.server->startButtonCaption(), "Stop Server");
    EXPECT_TRUE(f.server->rootControlsEnabled());
    EXPECT_EQ(httpGet(f.port(), "/")->status, 404);
}

TEST(ServerControl, RootFolderTextRules)
{
    EXPECT_EQ(WebServer::withoutTrailingSlash("/srv/www/"), "/srv/www");
    EXPECT_EQ(WebServer::withoutTrailingSlash("/srv/www//"), "/srv/www/"); // one separator only
    EXPECT_EQ(WebServer::withoutTrailingSlash("/srv/www"), "/srv/www");
    EXPECT_EQ(WebServer::withoutTrailingSlash(""), "");

    TempDir dir;
    dir.write("index.html", "x");
    dir.mkdir("folder.html");
    EXPECT_TRUE(WebServer::canStart(dir.path(), "index.html"));
    EXPECT_FALSE(WebServer::canStart(dir.path(), "missing.html"));
    EXPECT_FALSE(WebServer::canStart(dir.path(), "folder.html"));
    EXPECT_FALSE(WebServer::canStart(dir.path() + "/nothing", "index.html"));
    EXPECT_STREQ(WebServer::kRootWarning, " Root Folder or Default Filename does not exist! ");
}

TEST(ServerControl, BlockedListEditing)
{
    ServerFixture f;
    f.server->addBlocked("10.0.0.8");
    f.server->addBlocked(""); // a cancelled "Add Item" box adds an empty entry
    f.server->addBlocked("evil.example");
    EXPECT_EQ(f.settings.snapshot()->blocked, (std::vector<std::string>{"10.0.0.8", "", "evil.example"}));
    f.server->removeBlocked(-1); // nothing selected
    f.server->removeBlocked(7);
    EXPECT_EQ(f.settings.snapshot()->blocked.size(), 3u);
    f.server->removeBlocked(0);
    EXPECT_EQ(f.settings.snapshot()->blocked, (std::vector<std::string>{"", "evil.example"}));
}

TEST(ServerControl, LocalAddresses)
{
    ServerFixture f;
    bool notes = true;
    QObject::connect(f.server.get(), &WebServer::debugNotesVisible, [&](bool v) { notes = v; });
    f.server->GetLocalIP();
    auto list = *f.server->ownAddresses().list();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back(), "127.0.0.1");
    EXPECT_FALSE(f.server->ownAddresses().selected().empty());
    EXPECT_FALSE(notes);

    // ICS gateway with debug on: the notes show and the message tells why.
    QString box;
    QObject::connect(f.server.get(), &WebServer::messageBox, [&](const QString& t) { box = t; });
    f.change([](Settings& s) {
        s.WebServe.LAN = true;
        s.System.Debug = true;
    });
    f.server->GetLocalIP();
    EXPECT_TRUE(notes);
    EXPECT_TRUE(f.server->debugNotesShown());
    EXPECT_EQ(box, "Debug Active. External IP address is not available.");
}
