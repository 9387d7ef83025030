// The real program, headless, on a temporary settings file and a free port.
#include "core/IniFile.h"
#include "support/HeadlessProgram.h"
#include "support/RawHttpClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

using namespace kestrelon::test;

TEST(HeadlessRun, ServesStopsOnSigtermAndSavesTheSettings)
{
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    std::string ini =
        dir.write("k.ini", "; kept\n[WebServe]\nPort=0\nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() +
                               "/www\n[Unknown]\nx=1\n");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"});
    auto listening = program.waitForLine(
        std::regex(
            R"(^server: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d   Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$)"),
        std::chrono::seconds(10));
    ASSERT_TRUE(listening);
    uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    auto r = httpGet(port, "/index.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "HEADLESS");
    ASSERT_TRUE(program.waitForLine(
        std::regex("^server: .*   Serving file " + dir.path() + "/www/index.html"), std::chrono::seconds(5)));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/kestrelon.html"));

    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
    bool stopped = false;
    for (const auto& line : program.lines()) {
        stopped |= line.find("server: ") == 0 && line.find("   Server stopped") != std::string::npos;
    }
    EXPECT_TRUE(stopped);
    // Written at shutdown: every key now, and what was there before stays.
    std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; kept\n[WebServe]\nPort=0\n", 0), 0u);
    kestrelon::IniFile saved(text);
    EXPECT_EQ(saved.value("Unknown", "x"), "1");
    EXPECT_EQ(saved.value("WebServe", "RootFile"), "index.html");
    EXPECT_EQ(saved.value("VidStream", "Port"), "8080");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/kestrelon.html"));
}

TEST(HeadlessRun, UnreadableSettingsFileExitsWithStatus2)
{
    TempDir dir;
    dir.mkdir("k.ini");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", dir.path() + "/k.ini"});
    ASSERT_TRUE(
        program.waitForLine(std::regex("Unable to read " + dir.path() + "/k.ini"), std::chrono::seconds(10)));
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 2);
}
