#include "PortTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace kestrelon::test {

namespace {

// Queued calls from other threads need an application object and its event loop.
class CoreApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (QCoreApplication::instance()) {
            return;
        }
        static int argc = 1;
        static char name[] = "portio_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QCoreApplication> m_app;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CoreApplicationEnvironment);

} // namespace

Settings scheduleSettings(std::vector<ScheduleEntry> entries)
{
    Settings s;
    s.WebServe.IO = true;
    s.IO.Schedule = true;
    s.schedule = std::move(entries);
    return s;
}

} // namespace kestrelon::test
