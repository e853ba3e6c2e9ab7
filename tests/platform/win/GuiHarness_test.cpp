#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace
{
TEST(GuiHarness, QtRunsOffscreenWithNumbersInTheCLocale)
{
    ASSERT_NE(QApplication::instance(), nullptr);
    EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2.5");
}

TEST(GuiHarness, UserFoldersAndTimeZoneArePrivate)
{
    const std::string root = vxtest::TestRoot();
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(std::string(std::getenv("TZ")), "UTC");
    EXPECT_EQ(std::string(std::getenv("XDG_CONFIG_HOME")).rfind(root, 0), 0u);
    EXPECT_EQ(std::string(std::getenv("XDG_DATA_HOME")).rfind(root, 0), 0u);
    EXPECT_EQ(std::string(std::getenv("HOME")).rfind(root, 0), 0u);
}

TEST(GuiHarness, GrabbedPixelsCanBeRead)
{
    QWidget w;
    w.resize(20, 10);
    w.setAutoFillBackground(true);
    QPalette palette = w.palette();
    palette.setColor(QPalette::Window, QColor(1, 2, 3));
    w.setPalette(palette);
    const QImage image = vxtest::GrabWidget(&w);
    EXPECT_EQ(image.size(), QSize(20, 10));
    EXPECT_EQ(vxtest::PixelAt(image, 19, 9), QColor(1, 2, 3));
    EXPECT_FALSE(vxtest::PixelAt(image, 20, 0).isValid());
}
} // namespace
