#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/win/WindowTable.h"
#include "platform/win/Wnd.h"
#include "platform/win/WndBridge.h"

// The calls that name a window by its handle, and the system-wide queries beside them.

BOOL SetForegroundWindow(HWND hwnd)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->SetForegroundWindow() : FALSE;
}

BOOL IsIconic(HWND hwnd)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->IsIconic() : FALSE;
}

HWND GetDlgItem(HWND parent, int id)
{
    CWnd *wnd = vxwin::LookupWindow(parent);
    CWnd *item = wnd ? wnd->GetDlgItem(id) : nullptr;
    return item ? item->m_hWnd : nullptr;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->ShowWindow(command) : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    if (!wnd)
        return FALSE;
    wnd->InvalidateRect(rect, erase);
    return TRUE;
}

LONG GetWindowLong(HWND hwnd, int index)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->GetWindowLong(index) : 0;
}

LONG SetWindowLong(HWND hwnd, int index, LONG value)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->SetWindowLong(index, value) : 0;
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    return wnd ? wnd->SetLayeredWindowAttributes(key, alpha, flags) : FALSE;
}

HWND GetFocus()
{
    CWnd *wnd = CWnd::GetFocus();
    return wnd ? wnd->m_hWnd : nullptr;
}

HWND SetCapture(HWND hwnd)
{
    CWnd *wnd = vxwin::LookupWindow(hwnd);
    CWnd *old = wnd ? wnd->SetCapture() : CWnd::GetCapture();
    return old ? old->m_hWnd : nullptr;
}

HWND GetCapture()
{
    return vxwin::LookupWindow(vxwin::CaptureHandle()) ? vxwin::CaptureHandle() : nullptr;
}

BOOL ReleaseCapture()
{
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    vxwin::SetCaptureHandle(nullptr);
    return TRUE;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track)
{
    if (!track)
        return FALSE;
    CWnd *wnd = vxwin::LookupWindow(track->hwndTrack);
    if (!wnd || !wnd->m_widget)
        return FALSE;
    if (track->dwFlags & TME_CANCEL)
    {
        if (track->dwFlags & TME_LEAVE)
            wnd->m_trackLeave = false;
        if (track->dwFlags & TME_HOVER)
            wnd->m_trackHover = false;
        return TRUE;
    }
    const bool inside = wnd->m_widget->underMouse();
    if (track->dwFlags & TME_LEAVE)
    {
        if (inside)
            wnd->m_trackLeave = true;
        else
            wnd->PostMessage(WM_MOUSELEAVE);
    }
    if ((track->dwFlags & TME_HOVER) && inside)
    {
        wnd->m_trackHover = true;
        wnd->m_hoverTime = track->dwHoverTime == HOVER_DEFAULT ? 400 : track->dwHoverTime;
        wnd->ArmHoverTimer();
    }
    return TRUE;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    // The offscreen platform has no pointer of its own: the last mouse event tells.
    QPoint pos;
    if (!vxwin::LastMousePosition(&pos) || QGuiApplication::platformName() != QLatin1String("offscreen"))
        pos = QCursor::pos();
    *point = POINT{pos.x(), pos.y()};
    return TRUE;
}

int GetSystemMetrics(int index)
{
    // The icon sizes the window layer draws and hands to Qt, whatever the screen.
    switch (index)
    {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        break;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    switch (index)
    {
    case SM_CXSCREEN:
        return screen->geometry().width();
    case SM_CYSCREEN:
        return screen->geometry().height();
    case SM_CXFULLSCREEN:
        return screen->availableGeometry().width();
    case SM_CYFULLSCREEN:
        return screen->availableGeometry().height();
    default:
        return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT, void *value, UINT)
{
    if (action == SPI_GETWHEELSCROLLLINES && value)
    {
        *static_cast<UINT *>(value) = static_cast<UINT>(QApplication::wheelScrollLines());
        return TRUE;
    }
    return FALSE;
}
