#include "support/GuiApplication.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace kestrelon::test {

void ensureGuiApplication()
{
    if (QCoreApplication::instance()) {
        return;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "kestrelon-tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace kestrelon::test
