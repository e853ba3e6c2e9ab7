#pragma once

#include <QColor>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/Afx.h"
#include "resources/Resources.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace uitest
{
// A shown, frameless top-level window whose client area is one plain colour.
class Host : public CWnd
{
  public:
    COLORREF fill = RGB(255, 255, 255);
    std::vector<CPoint> presses;

    bool Make(int width = 300, int height = 200)
    {
        if (!CreateEx(0, u"host", u"Host", WS_POPUP | WS_VISIBLE, CRect(100, 100, 100 + width, 100 + height),
                      nullptr, 0))
            return false;
        return QTest::qWaitForWindowExposed(GetWidget());
    }
    QImage Grab() { return vxtest::GrabWidget(GetWidget()); }

  protected:
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, fill);
    }
    void OnLButtonDown(UINT, CPoint point) override { presses.push_back(point); }
};

// The string table of the program behind LoadString for as long as it lives.
class ProgramStrings
{
  public:
    ProgramStrings() : m_previous(vxwin::GetStringTableLookup())
    {
        vxwin::SetStringTableLookup(&vxres::LookupString);
    }
    ~ProgramStrings() { vxwin::SetStringTableLookup(m_previous); }

  private:
    vxwin::StringTableLookup m_previous;
};

// A modal hook for the time of one test.
class ModalHook
{
  public:
    explicit ModalHook(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalHook() { vxwin::SetModalHook({}); }
};

// Pixels inside `rect` that are not `background`.
inline int CountOther(const QImage &image, const QRect &rect, const QColor &background)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (vxtest::PixelAt(image, x, y) != background)
                ++n;
    return n;
}

// The rows [first, last] in which `rect` holds pixels other than `background`; (-1, -1)
// when there are none.
inline std::pair<int, int> InkRows(const QImage &image, const QRect &rect, const QColor &background)
{
    int first = -1, last = -1;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (vxtest::PixelAt(image, x, y) != background)
            {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
    return {first, last};
}
} // namespace uitest
