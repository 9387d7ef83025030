#include "ui/UiFixture.h"

#include "support/NoOutsideLookup.h"
#include "support/ServerFixture.h"

#include <QApplication>

namespace kestrelon::test {

namespace {

// One QApplication for the whole test program.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The tests' camera is the built-in test pattern, even on a machine with a real one.
        ::setenv("GST_PLUGIN_FEATURE_RANK",
                 "v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE", 0);
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

std::string UiTest::writeSettings(const std::string& extra)
{
    dir.write("www/index.html", "INDEX");
    return dir.write("kestrelon.ini", std::string(kNoOutsideLookup) +
                                          "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + webRoot() + "\n" + extra);
}

std::unique_ptr<Application> UiTest::makeApp(std::vector<std::string> args, bool create)
{
    args.insert(args.end(), {"--config", settingsFile(), "--listen", "127.0.0.1"});
    auto app = std::make_unique<Application>(CommandLine::parse(args));
    if (create) {
        std::string error;
        EXPECT_TRUE(app->create(error)) << error;
    }
    return app;
}

void processEvents()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

} // namespace kestrelon::test
