#include "platform/win/WndBridge.h"

#include <QApplication>
#include <QBitmap>
#include <QGuiApplication>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/win/WindowTable.h"

namespace
{
// ---- Pointer, focus, paint and capture bookkeeping -------------------------------------

QPoint g_lastMouseGlobal;
bool g_haveMouse = false;
QPoint g_lastPressGlobal;
HWND g_focusLeaving = nullptr;
int g_paintDepth = 0;
std::vector<QWidget *> g_painting;
HWND g_capture = nullptr;
} // namespace

namespace vxwin
{
bool LastMousePosition(QPoint *global)
{
    if (global)
        *global = g_lastMouseGlobal;
    return g_haveMouse;
}

QPoint LastPressPosition()
{
    return g_lastPressGlobal;
}

bool InPaint()
{
    return g_paintDepth > 0;
}

HWND CaptureHandle()
{
    return g_capture;
}

void SetCaptureHandle(HWND hwnd)
{
    g_capture = hwnd;
}

// ---- Shared helpers of the bridges -----------------------------------------------------

void NoteMouseEvent(const QPointF &globalPos)
{
    g_lastMouseGlobal = globalPos.toPoint();
    g_haveMouse = true;
}

void NoteMousePress(const QPointF &globalPos)
{
    NoteMouseEvent(globalPos);
    g_lastPressGlobal = globalPos.toPoint();
}

void EnterPaint(QWidget *painting)
{
    ++g_paintDepth;
    g_painting.push_back(painting);
}

void LeavePaint()
{
    --g_paintDepth;
    if (!g_painting.empty())
        g_painting.pop_back();
}

QWidget *WidgetInPaint()
{
    return g_painting.empty() ? nullptr : g_painting.back();
}

void NoteFocusLeaving(HWND hwnd)
{
    g_focusLeaving = hwnd;
}

HWND FocusLeaving()
{
    // Read once: the next focus change that did not come from one of our windows has none.
    HWND leaving = g_focusLeaving;
    g_focusLeaving = nullptr;
    return leaving;
}

UINT MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    UINT flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        flags |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        flags |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        flags |= MK_CONTROL;
    return flags;
}

LPARAM PointParam(const QPointF &pos)
{
    return MAKELPARAM(static_cast<int>(std::floor(pos.x())), static_cast<int>(std::floor(pos.y())));
}

UINT CharacterAt(const QString &text, qsizetype index, qsizetype *units)
{
    const QChar unit = text.at(index);
    if (unit.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate())
    {
        *units = 2;
        return QChar::surrogateToUcs4(unit, text.at(index + 1));
    }
    *units = 1;
    return unit.unicode();
}

void ApplyColorKey(QImage &image, COLORREF key)
{
    const QRgb keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
    for (int y = 0; y < image.height(); ++y)
    {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) == 255 && (line[x] | 0xFF000000u) == (keyRgb | 0xFF000000u))
                line[x] = 0;
    }
}

void UpdateShapeMask(QWidget *window, const QImage &image)
{
    // The offscreen platform has no window shapes; the transparent pixels are what counts.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    const QImage alpha = image.createAlphaMask();
    const QVariant previous = window->property("vxShapeMask");
    if (previous.isValid() && previous.value<QImage>() == alpha)
        return;
    window->setProperty("vxShapeMask", alpha);
    // The mask changes the window outside the paint that found it.
    QPointer<QWidget> guard(window);
    QTimer::singleShot(0, window, [guard, alpha] {
        if (!guard)
            return;
        const QBitmap bits = QBitmap::fromImage(alpha);
        const QRegion region(bits);
        if (region.isEmpty())
            guard->clearMask();
        else
            guard->setMask(region);
    });
}

BridgeBase::~BridgeBase()
{
    m_alive.reset();
    if (m_wnd && m_wnd->m_widget == m_self)
        m_wnd->WidgetGone();
}

void BridgeBase::ArmHover(UINT milliseconds)
{
    if (!m_hoverTimer)
    {
        m_hoverTimer = new QTimer(m_self);
        m_hoverTimer->setSingleShot(true);
        QObject::connect(m_hoverTimer, &QTimer::timeout, m_self, [this] {
            CWnd *wnd = m_wnd;
            if (!wnd || !wnd->m_trackHover || !m_self->underMouse())
                return;
            wnd->m_trackHover = false;
            POINT pt{g_lastMouseGlobal.x(), g_lastMouseGlobal.y()};
            wnd->ScreenToClient(&pt);
            const UINT keys =
                MouseKeyFlags(QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
            wnd->SendMessage(WM_MOUSEHOVER, keys, MAKELPARAM(pt.x, pt.y));
        });
    }
    m_hoverTimer->start(static_cast<int>(milliseconds));
}

void BridgeBase::StopHover()
{
    if (m_hoverTimer)
        m_hoverTimer->stop();
}

bool BridgeBase::Send(UINT msg, WPARAM wParam, LPARAM lParam, const std::function<void()> &base,
                      LRESULT *result)
{
    CWnd *wnd = m_wnd;
    if (!wnd)
    {
        if (base)
            base();
        return false;
    }
    const std::weak_ptr<int> self = m_alive;
    std::function<void()> guarded;
    if (base)
        guarded = [&base, self] {
            if (!self.expired())
                base();
        };
    const std::weak_ptr<int> life = wnd->m_life;
    const LRESULT r = wnd->Dispatch(msg, wParam, lParam, base ? &guarded : nullptr);
    if (result)
        *result = r;
    if (self.expired())
        return false;
    return !life.expired() && m_wnd == wnd;
}

bool BridgeBase::RouteDialogKey(int key)
{
    CWnd *top = m_wnd ? m_wnd->GetTopLevelParent() : nullptr;
    if (!top)
        return false;
    const std::weak_ptr<int> self = m_alive;
    const bool consumed = top->PreTranslateDialogKey(key) != FALSE;
    return consumed || self.expired();
}

CWnd *BridgeBase::RerouteTarget(const QPointF &globalPos) const
{
    if (!m_wnd)
        return nullptr;
    if (CWnd *capture = CWnd::FromHandle(g_capture))
        return capture == m_wnd ? nullptr : capture;
    QWidget *under = QApplication::widgetAt(globalPos.toPoint());
    CWnd *target = nullptr;
    for (QWidget *w = under; w && !target; w = w->parentWidget())
        target = WndFromWidget(w);
    return target == m_wnd ? nullptr : target;
}

void BridgeBase::SendRerouted(CWnd *target, UINT msg, WPARAM wParam, const QPointF &globalPos)
{
    POINT pt{static_cast<LONG>(std::floor(globalPos.x())), static_cast<LONG>(std::floor(globalPos.y()))};
    target->ScreenToClient(&pt);
    target->SendMessage(msg, wParam, MAKELPARAM(pt.x, pt.y));
}

bool BridgeBase::TimerFor(CWnd *wnd, int qtTimerId, UINT_PTR *ourId)
{
    for (const auto &[id, qtId] : wnd->m_timers)
        if (qtId == qtTimerId)
        {
            *ourId = id;
            return true;
        }
    return false;
}

bool BridgeBase::SkipEraseAndReset(CWnd *wnd)
{
    const bool skip = wnd->m_skipErase && !wnd->m_eraseEveryPaint;
    wnd->m_skipErase = false;
    wnd->m_eraseRequested = false;
    return skip;
}

PaintContext *BridgeBase::SwapPaint(CWnd *wnd, PaintContext *ctx)
{
    PaintContext *previous = wnd->m_paint;
    wnd->m_paint = ctx;
    return previous;
}

bool BridgeBase::IsColorKeyed(CWnd *wnd, COLORREF *key)
{
    if ((wnd->m_exStyle & WS_EX_LAYERED) && (wnd->m_layerFlags & LWA_COLORKEY))
    {
        *key = wnd->m_layerKey;
        return true;
    }
    return false;
}

bool BridgeBase::TrackingLeave(CWnd *wnd, bool clear)
{
    const bool tracking = wnd->m_trackLeave;
    if (clear)
    {
        wnd->m_trackLeave = false;
        wnd->m_trackHover = false;
    }
    return tracking;
}

bool BridgeBase::TrackingHover(CWnd *wnd)
{
    return wnd->m_trackHover;
}

CWnd *WndFromWidget(QWidget *widget)
{
    auto *bridge = dynamic_cast<BridgeBase *>(widget);
    return bridge ? bridge->Wnd() : nullptr;
}
} // namespace vxwin
