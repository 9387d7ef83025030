// The I/O switch, the port address text and the manual and start-up values.
#include "portio/IoControl.h"
#include "portio/PortAddress.h"

#include "PortTestSupport.h"
#include "core/SettingsModel.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

TEST(PortAddress, DigitsBeforeTheFirstHAreTheAddress)
{
    EXPECT_EQ(portAddressFromText("0378H (LPT1)"), 0x0378);
    EXPECT_EQ(portAddressFromText("0278H (LPT2)"), 0x0278);
    EXPECT_EQ(portAddressFromText("03BCH"), 0x03BC);
    EXPECT_EQ(portAddressFromText("3bch"), 0x03BC); // "h" counts as "H"
    EXPECT_FALSE(portAddressFromText("378").has_value());
    EXPECT_FALSE(portAddressFromText("").has_value());
    EXPECT_FALSE(portAddressFromText("H").has_value());
    EXPECT_FALSE(portAddressFromText("LPT1").has_value());
    EXPECT_FALSE(portAddressFromText("zzzH").has_value());
    EXPECT_FALSE(portAddressFromText("-378H").has_value());
    EXPECT_FALSE(portAddressFromText("10000H").has_value()); // beyond 16 bits

    EXPECT_EQ(portStatusText("0378H (LPT1)", true), "I/O Active on port: 0378H");
    EXPECT_EQ(portStatusText("3bch", true), "I/O Active on port: 3bcH");
    EXPECT_EQ(portStatusText("378", true), "I/O Active on port: H");
    EXPECT_EQ(portStatusText("zzzH", true), "I/O Active on port: zzzH");
    EXPECT_EQ(portStatusText("0378H (LPT1)", false), "");
}

TEST(IoControl, AddressAndStatusFollowTheSwitchNotTheTypedText)
{
    RecordedPort rec;
    Settings initial = scheduleSettings({});
    initial.WebServe.IOAddress = "0378H (LPT1)";
    SettingsModel model(initial);
    IoControl io(model, rec.port);
    int changes = 0;
    QObject::connect(&io, &IoControl::stateChanged, [&] { ++changes; });
    // The start-up step already derived both.
    EXPECT_EQ(rec.port.portAddress(), 0x0378);
    EXPECT_EQ(io.statusText(), "I/O Active on port: 0378H");

    // Typing in "Port Address" goes through "0", "03", ...: none of it moves the port.
    for (const char* typed : {"0", "03", "03B", "03BCH"}) {
        model.update([&](Settings& s) { s.WebServe.IOAddress = typed; });
    }
    EXPECT_EQ(rec.port.portAddress(), 0x0378);
    EXPECT_EQ(io.statusText(), "I/O Active on port: 0378H");
    EXPECT_EQ(changes, 0);
    // The switch's reaction and the start-up step (also run after a reload) take the text.
    io.cbIOControlClick();
    EXPECT_EQ(rec.port.portAddress(), 0x03BC);
    EXPECT_EQ(io.statusText(), "I/O Active on port: 03BCH");
    model.update([](Settings& s) { s.WebServe.IOAddress = "378"; });
    io.setupPortAddress();
    EXPECT_EQ(rec.port.portAddress(), 0x0278);
    EXPECT_EQ(io.statusText(), "I/O Active on port: H");
    EXPECT_EQ(changes, 2);

    // Off: the status goes and "Enable schedule" is unchecked.
    model.update([](Settings& s) {
        s.WebServe.IOAddress = "0378H (LPT1)";
        s.WebServe.IO = false;
    });
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(io.statusText(), "");
    EXPECT_EQ(rec.port.portAddress(), 0x0378); // the address is derived whatever the switch
    EXPECT_FALSE(model.snapshot()->IO.Schedule);

    // On again: the status is back, the schedule stays as the user left it.
    model.update([](Settings& s) { s.WebServe.IO = true; });
    EXPECT_EQ(io.statusText(), "I/O Active on port: 0378H");
    EXPECT_FALSE(model.snapshot()->IO.Schedule);
    EXPECT_FALSE(io.noPortPresent()); // a record file is asked for: it counts as the port
    EXPECT_EQ(rec.writes(), "");      // none of this writes the port
}

TEST(IoControl, NoPortPresentIsSaidOncePerAddressWhileTheSwitchIsOn)
{
    // The stand-in the device takes when no port can be opened.
    PortOutputDevice port([](uint16_t) { return std::make_unique<RecordingPortBackend>(); });
    Settings initial;
    initial.WebServe.IO = false;
    SettingsModel model(initial);
    std::vector<std::string> lines;
    IoControl io(model, port, [&](const std::string& line) { lines.push_back(line); });
    EXPECT_FALSE(io.noPortPresent()); // nothing is said while port control is off
    EXPECT_TRUE(lines.empty());

    model.update([](Settings& s) { s.WebServe.IO = true; });
    EXPECT_TRUE(io.noPortPresent());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "No parallel port present at 0278H: port writes are only recorded, nothing reaches a port.");
    // Off and on again at the same address: said once.
    model.update([](Settings& s) { s.WebServe.IO = false; });
    EXPECT_FALSE(io.noPortPresent());
    model.update([](Settings& s) { s.WebServe.IO = true; });
    EXPECT_EQ(lines.size(), 1u);
    // Another address is another port that is not there.
    model.update([](Settings& s) { s.WebServe.IOAddress = "0378H (LPT1)"; });
    io.cbIOControlClick();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("0378H"), std::string::npos);
}

TEST(IoControl, SendNowAndStartupWriteTheLowBitsWithoutTheOrRule)
{
    RecordedPort rec;
    Settings initial;
    initial.WebServe.IO = false; // "Send Now" does not look at the switch
    initial.WebServe.PortValue = "300";
    SettingsModel model(initial);
    IoControl io(model, rec.port);
    rec.port.setLastPortValue(0x0F);

    io.Button10Click();
    EXPECT_EQ(rec.port.lastPortValue(), 44);
    model.update([](Settings& s) { s.WebServe.PortValue = "-5"; });
    io.Button10Click();
    EXPECT_EQ(rec.port.lastPortValue(), 251);
    model.update([](Settings& s) { s.WebServe.PortValue = "12a"; });
    io.Button10Click();
    model.update([](Settings& s) { s.WebServe.PortValue = "$21"; });
    io.Button10Click();
    EXPECT_EQ(rec.writes(), "0278 44\n0278 251\n0278 0\n0278 33\n");

    // Start-up without "Send at startup": only lastPortValue goes back to 0.
    io.startupSend();
    EXPECT_EQ(rec.port.lastPortValue(), 0);
    EXPECT_EQ(rec.writes(), "0278 44\n0278 251\n0278 0\n0278 33\n");
    model.update([](Settings& s) {
        s.WebServe.SendValue = true;
        s.WebServe.PortValue = "7";
    });
    io.startupSend();
    EXPECT_EQ(rec.writes(), "0278 44\n0278 251\n0278 0\n0278 33\n0278 7\n");
}

TEST(IoControl, RemoteDisableFromARequestThreadRunsTheSwitchReactionOnTheMainThread)
{
    ServerFixture server;
    server.change([](Settings& s) {
        s.WebServe.IO = true;
        s.WebServe.IOAddress = "0378H (LPT1)";
        s.IO.Schedule = true;
        s.WebServe.RemoteDisable = true;
        s.WebServe.RemotePass = "letmeout";
    });
    IoControl io(server.settings, server.portDevice);
    ASSERT_EQ(io.statusText(), "I/O Active on port: 0378H");
    QThread* reactionThread = nullptr;
    QObject::connect(
        &io, &IoControl::stateChanged, &io, [&] { reactionThread = QThread::currentThread(); },
        Qt::DirectConnection);
    ASSERT_TRUE(server.start());

    auto reply = server.get("/^letmeout");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 204);
    EXPECT_FALSE(server.settings.snapshot()->WebServe.IO);
    // The reaction waits for the main thread's event loop.
    EXPECT_EQ(reactionThread, nullptr);
    ASSERT_TRUE(waitFor([&] {
        QCoreApplication::processEvents();
        return reactionThread != nullptr;
    }));
    EXPECT_EQ(reactionThread, QThread::currentThread());
    EXPECT_EQ(io.statusText(), "");
    EXPECT_FALSE(server.settings.snapshot()->IO.Schedule);

    // The same through a bare model update from another thread.
    server.change([](Settings& s) { s.WebServe.IO = true; });
    server.change([](Settings& s) { s.IO.Schedule = true; });
    ASSERT_EQ(io.statusText(), "I/O Active on port: 0378H");
    reactionThread = nullptr;
    std::thread([&] { server.change([](Settings& s) { s.WebServe.IO = false; }); }).join();
    ASSERT_TRUE(waitFor([&] {
        QCoreApplication::processEvents();
        return reactionThread != nullptr;
    }));
    EXPECT_EQ(reactionThread, QThread::currentThread());
    EXPECT_EQ(io.statusText(), "");
    EXPECT_FALSE(server.settings.snapshot()->IO.Schedule);
}
