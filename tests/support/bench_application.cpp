#include "support/bench_application.h"

#include <QFile>

std::unique_ptr<QApplication> makeBenchApplication(int &argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("MOVAN_BIN_DIR"))
        qputenv("MOVAN_BIN_DIR", QFile::encodeName(QCoreApplication::applicationDirPath()));
    return app;
}
