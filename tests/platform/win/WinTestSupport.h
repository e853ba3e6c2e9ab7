#pragma once

#include <QPainter>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/Afx.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace wintest
{
// A shown, frameless top-level window for child windows to live in.
class HostWindow : public CWnd
{
  public:
    bool Make(int width = 400, int height = 300)
    {
        if (!CreateEx(0, u"host", u"Host", WS_POPUP | WS_VISIBLE, CRect(100, 100, 100 + width, 100 + height),
                      nullptr, 0))
            return false;
        return QTest::qWaitForWindowExposed(GetWidget());
    }
};

// Records the messages its handlers see.
class Recorder : public CWnd
{
  public:
    std::vector<std::string> log;
    std::vector<UINT_PTR> timers;
    std::vector<std::pair<UINT, WPARAM>> commands;
    std::vector<UINT> chars;
    int wheelDelta = 0;
    int wheelCount = 0;
    bool handleWheel = true;
    bool passOn = false;
    UINT hoverTime = 10;

    bool MakeChild(CWnd *parent, const CRect &rect, UINT id, DWORD style = WS_CHILD | WS_VISIBLE)
    {
        return CreateEx(0, u"rec", u"", style, rect, parent, id) != FALSE;
    }
    int Count(const std::string &entry) const
    {
        int n = 0;
        for (const auto &e : log)
            if (e == entry)
                ++n;
        return n;
    }

  protected:
    void OnLButtonDown(UINT, CPoint) override
    {
        log.push_back("ldown");
        if (passOn)
            Default();
    }
    void OnLButtonUp(UINT, CPoint) override { log.push_back("lup"); }
    void OnLButtonDblClk(UINT, CPoint) override { log.push_back("ldbl"); }
    void OnRButtonDown(UINT, CPoint) override { log.push_back("rdown"); }
    void OnMouseMove(UINT, CPoint) override
    {
        log.push_back("move");
        TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, m_hWnd, hoverTime};
        TrackMouseEvent(&tme);
    }
    void OnMouseHover(UINT, CPoint) override { log.push_back("hover"); }
    void OnMouseLeave() override { log.push_back("leave"); }
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override
    {
        if (!handleWheel)
            return CWnd::OnMouseWheel(flags, delta, point);
        wheelDelta += delta;
        ++wheelCount;
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override { timers.push_back(id); }
    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    BOOL OnEraseBkgnd(CDC *) override
    {
        log.push_back("erase");
        return TRUE;
    }
    void OnPaint() override { log.push_back("paint"); }
    void OnEnable(BOOL enable) override { log.push_back(enable ? "enable" : "disable"); }
};
} // namespace wintest
