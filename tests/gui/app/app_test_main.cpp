// main() of the tests that run inside MovanApplication. Without an X display
// they use the offscreen platform. Each run gets a runtime folder of its
// own, so that its instance locks meet no other test's.
#include "app/movan_application.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));

    MovanApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
