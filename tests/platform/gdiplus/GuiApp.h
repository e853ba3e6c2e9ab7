#pragma once

#include <QGuiApplication>

#include <cstdlib>

namespace vxtest
{
// Fonts and text need a running QGuiApplication; made once, on the offscreen platform,
// and kept until the process ends.
inline void EnsureGuiApplication()
{
    static QGuiApplication *app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "platform_gdiplus_tests";
        static char *argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}
} // namespace vxtest
