// The main of the window-placement tests: Qt's offscreen platform given the screens named by
// VORMATIK_TEST_SCREENS ("1366x768", or "1366x768,1920x1080" for screens side by side, left to
// right), so that the cases see the screen sizes a person has. Without it Qt's own offscreen
// screen stands, and the first case says so.
#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/app/placement/PlacementScreens.h"
#include "tests/support/TestEnvironment.h"

int main(int argc, char **argv)
{
    vxtest::PrepareTestEnvironment();
    const std::vector<QSize> screens = placementtest::ScreensAsked();
    const std::string config = vxtest::TestRoot() + "/screens.json";
    if (!screens.empty())
    {
        std::ofstream out(config);
        out << "{\"screens\": [";
        int x = 0;
        for (std::size_t i = 0; i < screens.size(); ++i)
        {
            out << (i ? "," : "") << "{\"name\": \"screen" << i << "\", \"x\": " << x << ", \"y\": 0"
                << ", \"width\": " << screens[i].width() << ", \"height\": " << screens[i].height()
                << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}";
            x += screens[i].width();
        }
        out << "]}\n";
    }
    const std::string platform = screens.empty() ? "offscreen" : "offscreen:configfile=" + config;
    setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
