#pragma once

#include <QSize>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace placementtest
{
// The screen sizes of VORMATIK_TEST_SCREENS, "WxH" separated by commas; none when it is unset,
// and then Qt's own offscreen screen is used and the cases fail.
inline std::vector<QSize> ScreensAsked()
{
    const char *text = std::getenv("VORMATIK_TEST_SCREENS");
    std::istringstream in(text ? text : "");
    std::vector<QSize> sizes;
    std::string item;
    while (std::getline(in, item, ','))
    {
        int width = 0, height = 0;
        char by = 0;
        std::istringstream one(item);
        if (one >> width >> by >> height && by == 'x' && width > 0 && height > 0)
            sizes.emplace_back(width, height);
    }
    return sizes;
}
} // namespace placementtest
