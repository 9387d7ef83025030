// The port schedule's tick on an injected clock.
#include "portio/PortSchedule.h"

#include "PortTestSupport.h"
#include "core/SettingsModel.h"

#include <gtest/gtest.h>

#include <QThread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// 5 March 2026, a date whose day and month need their leading zeros.
QDateTime at(int hour, int minute, int second, int day = 5)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute, second, 250));
}

ScheduleEntry entry(std::string time, std::string value, bool active = true)
{
    return {std::move(time), std::move(value), active};
}

class PortScheduleTest : public ::testing::Test {
protected:
    void make(std::vector<ScheduleEntry> entries)
    {
        model = std::make_unique<SettingsModel>(scheduleSettings(std::move(entries)));
        schedule = std::make_unique<PortSchedule>(*model, rec.port, [this] { return now; });
    }
    void tick(const QDateTime& time)
    {
        now = time;
        schedule->ScheduleTimerTimer();
    }
    std::vector<ScheduleEntry> entries() const { return model->snapshot()->schedule; }

    RecordedPort rec;
    QDateTime now = at(0, 0, 0);
    std::unique_ptr<SettingsModel> model;
    std::unique_ptr<PortSchedule> schedule;
};

} // namespace

TEST_F(PortScheduleTest, ValuesTakeTheirLowBitsAndNegativeOnesSetBits)
{
    make({entry("10:00:00", "-4"), entry("10:00:01", "-2"), entry("10:00:02", "300"),
          entry("10:00:03", "seven"), entry("10:00:04", "-$10")});
    rec.port.setLastPortValue(1);
    tick(at(10, 0, 0));
    EXPECT_EQ(rec.port.lastPortValue(), 5);
    tick(at(10, 0, 1));
    EXPECT_EQ(rec.port.lastPortValue(), 7);
    tick(at(10, 0, 2));
    EXPECT_EQ(rec.port.lastPortValue(), 44);
    tick(at(10, 0, 3)); // not a number: 0
    tick(at(10, 0, 4));
    EXPECT_EQ(rec.writes(), "0278 5\n0278 7\n0278 44\n0278 0\n0278 16\n");
    EXPECT_EQ(entries().size(), 5u); // every-day entries stay
}

TEST_F(PortScheduleTest, OneOffFiresOnceAtItsExactSecondAndIsRemoved)
{
    make({entry("05/03/2026 10:00:00", "9"), entry("05/03/2026 10:00:00", "8", false),
          entry("05/03/2026 10:00:01", "6", false)});
    tick(at(9, 59, 59));
    tick(at(10, 0, 0, 6)); // the same time on another day
    EXPECT_EQ(rec.writes(), "");

    tick(at(10, 0, 0));
    EXPECT_EQ(rec.writes(), "0278 9\n");
    // Gone from the settings, so also from the settings file and the list on the page.
    EXPECT_EQ(entries(), (std::vector<ScheduleEntry>{entry("05/03/2026 10:00:00", "8", false),
                                                     entry("05/03/2026 10:00:01", "6", false)}));
    // A second tick within the same second finds nothing more; the unchecked ones never fire.
    tick(at(10, 0, 0));
    tick(at(10, 0, 1));
    EXPECT_EQ(rec.writes(), "0278 9\n");
    EXPECT_EQ(entries().size(), 2u);
    // Ticking the box later does not bring back a second that is past.
    schedule->setEntryActive(1, true);
    tick(at(10, 0, 2));
    EXPECT_EQ(rec.writes(), "0278 9\n");
}

TEST_F(PortScheduleTest, EntriesOfOneSecondFireInListOrderInOneTick)
{
    // The one-off goes; the entry that moves into its place is still examined, and each OR base
    // is the result of the write before it.
    make({entry("05/03/2026 10:00:00", "1"), entry("05/03/2026 10:00:00", "-2"), entry("10:00:00", "-4"),
          entry("10:00:00", "-8", false), entry("10:00:01", "-16")});
    tick(at(10, 0, 0));
    EXPECT_EQ(rec.writes(), "0278 1\n0278 3\n0278 7\n");
    EXPECT_EQ(rec.port.lastPortValue(), 7);
    EXPECT_EQ(entries(), (std::vector<ScheduleEntry>{entry("10:00:00", "-4"), entry("10:00:00", "-8", false),
                                                     entry("10:00:01", "-16")}));
    // Two ticks within one second write an every-day value twice.
    tick(at(10, 0, 0));
    EXPECT_EQ(rec.writes(), "0278 1\n0278 3\n0278 7\n0278 7\n");

    // A plain value after an OR value replaces everything.
    make({entry("11:30:00", "-1"), entry("11:30:00", "2")});
    rec.port.setLastPortValue(0x80);
    tick(at(11, 30, 0));
    EXPECT_EQ(rec.port.lastPortValue(), 2);
    EXPECT_EQ(rec.writes(), "0278 1\n0278 3\n0278 7\n0278 7\n0278 129\n0278 2\n");
}

TEST_F(PortScheduleTest, NothingFiresUnlessBothSwitchesAreOnAndATimeMatches)
{
    make({entry("10:00:00", "3"), entry("05/03/2026 10:00:00", "4")});
    rec.port.setLastPortValue(6);
    model->update([](Settings& s) { s.WebServe.IO = false; });
    tick(at(10, 0, 0));
    model->update([](Settings& s) {
        s.WebServe.IO = true;
        s.IO.Schedule = false;
    });
    tick(at(10, 0, 0));
    EXPECT_EQ(rec.writes(), "");
    EXPECT_EQ(entries().size(), 2u); // the one-off did not fire, so it stays

    // Both on, but no entry's second: lastPortValue is left alone.
    model->update([](Settings& s) { s.IO.Schedule = true; });
    tick(at(10, 0, 1));
    tick(at(22, 0, 0)); // "HH": 24-hour clock, 10 p.m. is not 10:00:00
    EXPECT_EQ(rec.writes(), "");
    EXPECT_EQ(rec.port.lastPortValue(), 6);
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(PortScheduleTest, TimerStartsOnceAndKeepsRunning)
{
    make({});
    EXPECT_FALSE(schedule->running());
    schedule->start();
    ASSERT_TRUE(schedule->running());
    EXPECT_EQ(schedule->ScheduleTimer.interval(), 1000);
    // Starting again (the "Enable schedule" box) does not restart the countdown.
    const int remaining = schedule->ScheduleTimer.remainingTime();
    QThread::msleep(30);
    schedule->start();
    EXPECT_LT(schedule->ScheduleTimer.remainingTime(), remaining);
}
