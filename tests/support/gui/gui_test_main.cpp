#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

int main(int argc, char **argv)
{
    vxtest::PrepareTestEnvironment();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // Qt sets the locale from the environment; numbers are always read and written in C.
    std::setlocale(LC_NUMERIC, "C");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
