// Lookup definitions and their stored form, the interval rules and the change mail's text.
#include "core/SettingsFile.h"
#include "iprefresh/ChangeMailText.h"
#include "iprefresh/IntervalRules.h"
#include "iprefresh/LookupDefinitions.h"
#include "support/LocalTime.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace kestrelon::test;

TEST(LookupDefinitions, StoredFormSurvivesARestart)
{
    RouterFields netgear{
        "10.0.0.138/setup.cgi?next_file=s_status.htm", "<b>IP Address", "30", true, "admin", "p\xC2\xA2"};
    std::string stored = encodeUserDefinition(netgear);
    EXPECT_EQ(stored.find('='), std::string::npos);
    EXPECT_EQ(stored.substr(0, 44),
              std::string("10.0.0.138/setup.cgi?next_file") + kStoredEquals + "s_status.htm,");
    // The password scrambled; its scrambled form holds a "=", stored as 247 too.
    EXPECT_EQ(stored.substr(stored.rfind(',') + 1), "\x8F\xF7]");
    RouterFields plain{"192.168.50.1/status.htm", "WAN IP=", "12", false, "ignored", "ignored"};

    TempDir dir;
    SettingsFile file(dir.path() + "/kestrelon.ini");
    Settings s;
    s.routers = {{"Home", stored, true}, {"Home", encodeUserDefinition(plain), false}};
    s.Router.SelectedRouter = 1;
    ASSERT_EQ(file.save(s).message, "");
    Settings loaded = file.load(Settings{}).settings;
    ASSERT_EQ(loaded.routers, s.routers);
    EXPECT_EQ(selectUserDefinition(loaded.routers, 0)->fields, netgear);
    auto startup = definitionAtStartup(loaded);
    ASSERT_TRUE(startup);
    EXPECT_EQ(startup->fields, (RouterFields{"192.168.50.1/status.htm", "WAN IP=", "12", false, "", ""}));
    EXPECT_FALSE(startup->preset);
    EXPECT_TRUE(definitionNameExists(loaded.routers, "Home"));
    EXPECT_FALSE(definitionNameExists(loaded.routers, "home"));
}

TEST(LookupDefinitions, PresetsSelectionAndRefusals)
{
    auto mentor = selectPreset(1);
    ASSERT_TRUE(mentor);
    EXPECT_EQ(mentor->name, "Mentor MR4A/UK");
    EXPECT_EQ(mentor->fields.skip, "504");
    EXPECT_FALSE(mentor->fields.webAuth);
    EXPECT_TRUE(mentor->preset);
    EXPECT_EQ(mentor->selected, 101);
    // A preset's password is plain and its "=" stays.
    auto netgear = selectPreset(2);
    EXPECT_EQ(netgear->fields.url.substr(netgear->fields.url.find('?')), "?next_file=s_status.htm");
    EXPECT_EQ(netgear->fields.password, "tembrisk");

    Settings s;
    for (int32_t selected : {-1, 0, 99, 103, 5000}) {
        s.Router.SelectedRouter = selected;
        EXPECT_FALSE(definitionAtStartup(s)) << selected << " names no row";
    }
    s.Router.SelectedRouter = 100;
    EXPECT_EQ(definitionAtStartup(s)->name, "Linksys BEFSRU31");

    RouterFields f = newDefinitionFields();
    EXPECT_EQ(definitionRefusal(f), "The URL is missing!");
    f.url = "10.0.0.1/s.htm";
    f.keyword.clear();
    EXPECT_EQ(definitionRefusal(f), "You need to selecte a Keyword!");
    f.keyword = "IP";
    f.webAuth = true;
    EXPECT_EQ(definitionRefusal(f), "Password required.");
    f.password = "x";
    EXPECT_EQ(definitionRefusal(f), "Username required.");
    f.user = "a,b";
    EXPECT_NE(definitionRefusal(f), "") << "a comma would move the password into the user name";
    f.user = "ab";
    f.password = "\xF2"; // scrambles to CR
    EXPECT_NE(definitionRefusal(f), "");
    f.password = "ok";
    EXPECT_EQ(definitionRefusal(f), "");

    EXPECT_EQ(withoutScheme("http://10.0.0.138/status.htm"), "10.0.0.138/status.htm");
    EXPECT_EQ(withoutScheme("10.0.0.1http://10.0.0.138/a"), "10.0.0.138/a");
    EXPECT_EQ(withoutScheme("10.0.0.138/a"), "10.0.0.138/a");
}

TEST(IntervalRules, MinimumIntervalCapAndTexts)
{
    EXPECT_EQ(minimumInterval(5, false, "192.168.50.1/status.htm"), 10);
    EXPECT_EQ(minimumInterval(5, true, "192.168.50.1/status.htm"), 5);
    EXPECT_EQ(minimumInterval(5, true, "10.0.0.1/status.htm"), 5);
    EXPECT_EQ(minimumInterval(5, true, "100.64.0.1/status.htm"), 10);
    EXPECT_EQ(minimumInterval(9, true, "1921.168.0.1/"), 10);
    EXPECT_EQ(minimumInterval(1, true, "router/status.htm"), 10);
    for (int32_t kept : {0, 10, 2880}) {
        EXPECT_EQ(minimumInterval(kept, false, ""), kept);
    }
    EXPECT_EQ(reloadedCountdown(15, 0.5), 22);
    EXPECT_EQ(reloadedCountdown(15, 0), 15);
    EXPECT_EQ(reloadedCountdown(2880, 0.5), 2880);
    EXPECT_EQ(hoursAndMinutes(2880), "48 hr : 0 min");
    EXPECT_EQ(hoursAndMinutes(90), "1 hr : 30 min");
    EXPECT_EQ(hoursAndMinutes(0), "0 hr : 0 min");
    EXPECT_EQ(intervalStep(59), 1);
    EXPECT_EQ(intervalStep(60), 10);
    EXPECT_EQ(intervalStep(600), 30);
}

TEST(ChangeMailText, FourLinesAndLoginOnlyWhenAsked)
{
    Settings s;
    s.TimeServer.Format = "dd.mm.yyyy";
    s.DNS.Server = "mail.example.test";
    s.DNS.From = "box@example.test";
    s.DNS.To = "me@example.test, you@example.test";
    s.DNS.WebUser = "user";
    s.DNS.WebPass = "pass";
    ChangeMail mail = changeMail(s, localTime(2026, 12, 8, 9, 30, 0), kTestMailText);
    EXPECT_EQ(mail.body, "08.12.2026\r\nKestrelon IP-check has uploaded the following IP address: \r\n"
                         "Test message\r\n-----------------------------------");
    EXPECT_EQ(mail.subject, "Feedback from IP check");
    EXPECT_EQ(mail.to, s.DNS.To);
    EXPECT_FALSE(mail.login);
    EXPECT_EQ(mail.user + mail.password, "");
    EXPECT_EQ(mail.connectTimeoutMs, 5000);
    s.DNS.WebAuth = true;
    mail = changeMail(s, localTime(2026, 12, 8, 9, 30, 0), "1.2.3.4");
    EXPECT_TRUE(mail.login);
    EXPECT_EQ(mail.user + ":" + mail.password, "user:pass");
}
