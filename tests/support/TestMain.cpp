// GoogleTest main with a QApplication, so that window tests and plain tests
// share one entry point.  Tests run headless (QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <gtest/gtest.h>

#include "common/Services.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetBeepSilent(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
