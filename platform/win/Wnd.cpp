#include "platform/win/Wnd.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "platform/sys/TextConvert.h"
#include "platform/win/App.h"
#include "platform/win/WndBridge.h"

namespace
{
// ---- The window table ----------------------------------------------------------------
// Handles are never reused, so a handle kept by a worker after its window died stays dead.

std::mutex g_tableMutex;
std::unordered_map<HWND, CWnd *> g_table;
std::uintptr_t g_nextHandle = 0x10000;

HWND RegisterWindow(CWnd *wnd)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_nextHandle += 4;
    HWND hwnd = reinterpret_cast<HWND>(g_nextHandle);
    g_table[hwnd] = wnd;
    return hwnd;
}

void UnregisterWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_table.erase(hwnd);
}

CWnd *LookupWindow(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_tableMutex);
    const auto it = g_table.find(hwnd);
    return it == g_table.end() ? nullptr : it->second;
}

bool IsUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// ---- Posted messages -------------------------------------------------------------------

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessageEvent : public QEvent
{
  public:
    PostedMessageEvent(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(kPostedMessage), hwnd(h), msg(m), wParam(w), lParam(l)
    {
    }
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Lives on the UI thread; turns posted events back into messages for windows still alive.
class MessageDispatcher : public QObject
{
  public:
    bool event(QEvent *e) override
    {
        if (e->type() != kPostedMessage)
            return QObject::event(e);
        auto *m = static_cast<PostedMessageEvent *>(e);
        if (CWnd *wnd = LookupWindow(m->hwnd))
            wnd->SendMessage(m->msg, m->wParam, m->lParam);
        return true;
    }
};

std::atomic<MessageDispatcher *> g_dispatcher{nullptr};

MessageDispatcher *Dispatcher()
{
    MessageDispatcher *d = g_dispatcher.load();
    if (!d && IsUiThread())
    {
        d = new MessageDispatcher;
        g_dispatcher.store(d);
    }
    return d;
}

// ---- Pointer, focus and paint bookkeeping ----------------------------------------------

QPoint g_lastMouseGlobal;
bool g_haveMouse = false;
QPoint g_lastPressGlobal;
HWND g_focusLeaving = nullptr;
int g_paintDepth = 0;
HWND g_capture = nullptr;

// The manual caption drag, for platforms that cannot move a window themselves.
class CaptionDrag : public QObject
{
  public:
    CaptionDrag(QWidget *window, QPoint anchor) : m_window(window), m_anchor(anchor), m_start(window->pos())
    {
    }

    bool eventFilter(QObject *obj, QEvent *e) override
    {
        if (!obj->isWidgetType())
            return false;
        if (!m_window)
        {
            Finish();
            return false;
        }
        if (e->type() == QEvent::MouseMove)
        {
            auto *me = static_cast<QMouseEvent *>(e);
            if (!(me->buttons() & Qt::LeftButton))
            {
                Finish();
                return false;
            }
            const QPoint now = me->globalPosition().toPoint();
            m_window->move(m_start + (now - m_anchor));
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton)
        {
            Finish();
            return true;
        }
        return false;
    }

    void Finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        qApp->removeEventFilter(this);
        deleteLater();
    }

  private:
    QPointer<QWidget> m_window;
    QPoint m_anchor;
    QPoint m_start;
    bool m_finished = false;
};

QPointer<CaptionDrag> g_drag;
} // namespace

// ---- Shared helpers of the bridges -----------------------------------------------------

namespace vxwin
{
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

void EnterPaint()
{
    ++g_paintDepth;
}

void LeavePaint()
{
    --g_paintDepth;
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
    const std::weak_ptr<int> life = wnd->m_life;
    const LRESULT r = wnd->Dispatch(msg, wParam, lParam, base ? &base : nullptr);
    if (result)
        *result = r;
    return !life.expired() && m_wnd == wnd;
}

bool BridgeBase::RouteDialogKey(int key)
{
    CWnd *top = m_wnd ? m_wnd->GetTopLevelParent() : nullptr;
    if (!top)
        return false;
    return top->PreTranslateDialogKey(key) != FALSE;
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

QFont MakePointFont(int pointTenths, const char16_t *faceName, int weight, bool italic)
{
    QFont font(QString::fromStdU16String(faceName ? faceName : u"Arial"));
    // 96 pixels per inch: a point is 4/3 of a pixel.
    const int pixels = static_cast<int>(std::lround(pointTenths * 96.0 / 720.0));
    font.setPixelSize(std::max(1, pixels));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 100, 900)));
    font.setItalic(italic);
    return font;
}

CWnd *WndFromWidget(QWidget *widget)
{
    auto *bridge = dynamic_cast<BridgeBase *>(widget);
    return bridge ? bridge->Wnd() : nullptr;
}
} // namespace vxwin

// ---- CWnd ---------------------------------------------------------------------------------

const CWnd CWnd::wndTop;
const CWnd CWnd::wndBottom;
const CWnd CWnd::wndTopMost;
const CWnd CWnd::wndNoTopMost;

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd)
        DestroyWindow();
    DetachFromTree();
}

void CWnd::DetachFromTree()
{
    for (CWnd *child : m_children)
        child->m_parent = nullptr;
    m_children.clear();
    if (m_parent)
    {
        auto &siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

CWnd *CWnd::FromHandle(HWND hwnd)
{
    return LookupWindow(hwnd);
}

QWidget *CWnd::CreateWidget(QWidget *parent)
{
    return new vxwin::WndBridge<QWidget>(this, parent);
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT &rect, CWnd *parent, UINT id,
                  void *)
{
    return CreateEx(0, className, windowName, style, rect, parent, id, nullptr);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT &rect,
                    CWnd *parent, UINT id, LPVOID param)
{
    if (m_hWnd || !IsUiThread() || !Dispatcher())
        return FALSE;
    const bool child = (style & WS_CHILD) != 0;
    if (child && (!parent || !parent->m_widget))
        return FALSE;
    QWidget *parentWidget = nullptr;
    if (parent && parent->m_widget)
        parentWidget = child ? parent->m_widget : parent->m_widget->window();

    m_style = style & ~WS_VISIBLE;
    m_exStyle = exStyle;
    m_id = id;
    m_windowText = windowName ? windowName : u"";
    QWidget *widget = CreateWidget(parentWidget);
    m_widget = widget;
    if (!child)
    {
        widget->setWindowFlags(Qt::Window);
        ApplyTopLevelStyle();
        widget->setWindowTitle(QString::fromStdU16String(m_windowText.str()));
    }
    m_parent = parent;
    if (child)
        parent->m_children.push_back(this);
    m_hWnd = RegisterWindow(this);

    const CRect r(rect);
    if (child)
        widget->setGeometry(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
    else
    {
        widget->move(r.left, r.top);
        widget->resize(std::max(1, r.Width()), std::max(1, r.Height()));
    }
    // Explicitly hidden, so that a window made before its parent is shown stays hidden.
    widget->setVisible(false);
    if (style & WS_DISABLED)
        widget->setEnabled(false);

    CREATESTRUCTW cs{param,     nullptr, nullptr, parent ? parent->m_hWnd : nullptr, r.Height(),
                     r.Width(), r.top,   r.left,  static_cast<LONG>(style),          windowName,
                     className, exStyle};
    const std::weak_ptr<int> life = m_life;
    const LRESULT created = SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
    if (life.expired())
        return FALSE;
    if (created == -1)
    {
        DestroyWindow();
        return FALSE;
    }
    if ((style & WS_VISIBLE) && m_widget)
        m_widget->setVisible(true);
    return m_hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd || m_destroying)
        return FALSE;
    m_destroying = true;
    const std::weak_ptr<int> life = m_life;

    // Children go first, the last made first.
    const std::vector<CWnd *> children = m_children;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
    {
        if (std::find(m_children.begin(), m_children.end(), *it) != m_children.end())
            (*it)->DestroyWindow();
        if (life.expired())
            return TRUE;
    }

    SendMessage(WM_DESTROY);
    if (life.expired())
        return TRUE;

    if (g_capture == m_hWnd)
        ::ReleaseCapture();
    if (m_widget)
        for (const auto &[id, qtId] : m_timers)
            m_widget->killTimer(qtId);
    m_timers.clear();
    UnregisterWindow(m_hWnd);
    m_hWnd = nullptr;
    if (m_parent)
    {
        auto &siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    QWidget *widget = m_widget;
    m_widget = nullptr;
    if (widget)
    {
        if (auto *bridge = dynamic_cast<vxwin::BridgeBase *>(widget))
            bridge->Detach();
        widget->hide();
        // Released once the event loop is back; without a loop any more, at once.
        if (QCoreApplication::instance())
            widget->deleteLater();
        else
            delete widget;
    }
    m_trackLeave = m_trackHover = false;
    m_destroying = false;
    PostNcDestroy();
    return TRUE;
}

void CWnd::WidgetGone()
{
    if (m_hWnd)
        UnregisterWindow(m_hWnd);
    if (m_parent)
    {
        auto &siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (g_capture == m_hWnd)
        g_capture = nullptr;
    m_hWnd = nullptr;
    m_widget = nullptr;
    m_timers.clear();
    m_paint = nullptr;
}

LRESULT CWnd::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, const std::function<void()> *base)
{
    const std::weak_ptr<int> life = m_life;
    vxwin::MessageContext ctx{msg, wParam, lParam, base, false, m_message};
    m_message = &ctx;
    const LRESULT r = WindowProc(msg, wParam, lParam);
    if (!life.expired())
        m_message = ctx.previous;
    return r;
}

LRESULT CWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd)
        return 0;
    if (!IsUiThread())
    {
        // Another thread waits until the UI thread has handled the message.
        HWND hwnd = m_hWnd;
        MessageDispatcher *d = g_dispatcher.load();
        if (!d)
            return 0;
        LRESULT result = 0;
        QMetaObject::invokeMethod(
            d,
            [hwnd, msg, wParam, lParam]() -> LRESULT {
                CWnd *wnd = LookupWindow(hwnd);
                return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
            },
            Qt::BlockingQueuedConnection, &result);
        return result;
    }
    return Dispatch(msg, wParam, lParam, nullptr);
}

BOOL CWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessage(m_hWnd, msg, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(msg, wParam, lParam, &result))
        result = DefWindowProc(msg, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    LRESULT r = 0;
    switch (msg)
    {
    case WM_CREATE:
        r = OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_PAINT:
        OnPaint();
        break;
    case WM_ERASEBKGND:
        r = OnEraseBkgnd(vxwin::DcFromHandle(reinterpret_cast<HDC>(wParam)));
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_RBUTTONDOWN:
        OnRButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_RBUTTONUP:
        OnRButtonUp(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_MOUSEWHEEL:
        r = OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam), CPoint(lParam));
        break;
    case WM_MOUSEHOVER:
        OnMouseHover(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        break;
    case WM_NCLBUTTONDOWN:
        OnNcLButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        break;
    case WM_CHAR:
        OnChar(static_cast<UINT>(wParam), LOWORD(static_cast<std::uintptr_t>(lParam)),
               HIWORD(static_cast<std::uintptr_t>(lParam)));
        break;
    case WM_SETFOCUS:
        OnSetFocus(FromHandle(reinterpret_cast<HWND>(wParam)));
        break;
    case WM_KILLFOCUS:
        OnKillFocus(FromHandle(reinterpret_cast<HWND>(wParam)));
        break;
    case WM_ENABLE:
        OnEnable(wParam != 0);
        break;
    case WM_TIMER:
        OnTimer(wParam);
        break;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(static_cast<std::uintptr_t>(lParam)),
               HIWORD(static_cast<std::uintptr_t>(lParam)));
        break;
    case WM_CLOSE:
        OnClose();
        break;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam) != 0);
        break;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        r = reinterpret_cast<LRESULT>(OnCtlColor(vxwin::DcFromHandle(reinterpret_cast<HDC>(wParam)),
                                                 FromHandle(reinterpret_cast<HWND>(lParam)),
                                                 msg == WM_CTLCOLORDLG    ? CTLCOLOR_DLG
                                                 : msg == WM_CTLCOLOREDIT ? CTLCOLOR_EDIT
                                                                          : CTLCOLOR_STATIC));
        break;
    case WM_DEVICECHANGE:
        r = OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
        break;
    case WM_COPYDATA:
        r = OnCopyData(FromHandle(reinterpret_cast<HWND>(wParam)),
                       reinterpret_cast<COPYDATASTRUCT *>(lParam));
        break;
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        break;
    case WM_QUERYDRAGICON:
        r = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        break;
    case WM_COMMAND:
        if (!OnCommand(wParam, lParam))
            return FALSE;
        r = 0;
        break;
    default:
        return FALSE;
    }
    *result = r;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (m_message && m_message->msg == msg && m_message->base && !m_message->baseRan)
    {
        m_message->baseRan = true;
        (*m_message->base)();
        return 0;
    }
    switch (msg)
    {
    case WM_CLOSE:
        DestroyWindow();
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTCAPTION)
            StartCaptionDrag();
        return 0;
    case WM_MOUSEWHEEL:
        // A wheel message nobody handled goes on to the parent.
        if ((m_style & WS_CHILD) && m_parent)
            return m_parent->SendMessage(msg, wParam, lParam);
        return 0;
    case WM_SETTEXT:
        SetTextOfWindow(lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string());
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(GetTextOfWindow().size());
    case WM_GETTEXT:
        return static_cast<LRESULT>(vxsys::U16CopyBounded(
            reinterpret_cast<char16_t *>(lParam), static_cast<std::size_t>(wParam), GetTextOfWindow()));
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_smallIcon);
    case WM_SETFONT: {
        auto *font = reinterpret_cast<HFONT>(wParam);
        m_font = font;
        SetWindowFont(font ? font->font : QFont(), lParam != 0);
        return 0;
    }
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    default:
        return 0;
    }
}

LRESULT CWnd::Default()
{
    if (!m_message)
        return 0;
    return DefWindowProc(m_message->msg, m_message->wParam, m_message->lParam);
}

int CWnd::OnCreate(LPCREATESTRUCT)
{
    return static_cast<int>(Default());
}
void CWnd::OnDestroy()
{
    Default();
}
void CWnd::OnPaint()
{
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC *)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonUp(UINT, CPoint)
{
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint)
{
    Default();
}
BOOL CWnd::OnMouseWheel(UINT, short, CPoint)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnMouseHover(UINT, CPoint)
{
    Default();
}
void CWnd::OnMouseLeave()
{
    Default();
}
void CWnd::OnNcLButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnChar(UINT, UINT, UINT)
{
    Default();
}
void CWnd::OnSetFocus(CWnd *)
{
    Default();
}
void CWnd::OnKillFocus(CWnd *)
{
    Default();
}
void CWnd::OnEnable(BOOL)
{
    Default();
}
void CWnd::OnTimer(UINT_PTR)
{
    Default();
}
void CWnd::OnSize(UINT, int, int)
{
    Default();
}
void CWnd::OnClose()
{
    Default();
}
void CWnd::OnActivate(UINT, CWnd *, BOOL)
{
    Default();
}
HBRUSH CWnd::OnCtlColor(CDC *, CWnd *, UINT)
{
    return reinterpret_cast<HBRUSH>(Default());
}
BOOL CWnd::OnDeviceChange(UINT, DWORD_PTR)
{
    return static_cast<BOOL>(Default());
}
BOOL CWnd::OnCopyData(CWnd *, COPYDATASTRUCT *)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}
HICON CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HICON>(Default());
}
BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}
void CWnd::PostNcDestroy() {}

BOOL CWnd::PreTranslateDialogKey(int)
{
    return FALSE;
}

void CWnd::SetTextOfWindow(const std::u16string &text)
{
    m_windowText = text;
    if (m_widget && m_widget->isWindow())
        m_widget->setWindowTitle(QString::fromStdU16String(text));
}

std::u16string CWnd::GetTextOfWindow() const
{
    return m_windowText.str();
}

// ---- Tree ------------------------------------------------------------------------------

CWnd *CWnd::GetTopLevelParent() const
{
    const CWnd *w = this;
    while ((w->m_style & WS_CHILD) && w->m_parent)
        w = w->m_parent;
    return const_cast<CWnd *>(w);
}

CWnd *CWnd::GetDlgItem(int id) const
{
    for (CWnd *child : m_children)
        if (static_cast<int>(child->m_id) == id)
            return child;
    return nullptr;
}

int CWnd::SetDlgCtrlID(int id)
{
    const int old = static_cast<int>(m_id);
    m_id = static_cast<UINT>(id);
    return old;
}

// ---- Geometry --------------------------------------------------------------------------

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    if (!m_widget)
        return;
    if (m_widget->isWindow())
    {
        m_widget->move(x, y);
        m_widget->resize(std::max(1, width), std::max(1, height));
    }
    else
    {
        m_widget->setGeometry(x, y, std::max(0, width), std::max(0, height));
    }
    if (repaint)
        m_widget->update();
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    if (rect)
        MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd *insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    if (!m_widget)
        return FALSE;
    if (!(flags & SWP_NOMOVE))
        m_widget->move(x, y);
    if (!(flags & SWP_NOSIZE))
        m_widget->resize(std::max(m_widget->isWindow() ? 1 : 0, cx),
                         std::max(m_widget->isWindow() ? 1 : 0, cy));
    if (!(flags & SWP_NOZORDER) && insertAfter)
    {
        if (insertAfter == &wndTop || insertAfter == &wndTopMost || insertAfter == &wndNoTopMost)
            BringWindowToTop();
        else if (insertAfter == &wndBottom)
            m_widget->lower();
        else if (insertAfter->m_widget && insertAfter->m_widget->parentWidget() == m_widget->parentWidget())
            m_widget->stackUnder(insertAfter->m_widget);
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(SW_HIDE);
    if (!(flags & SWP_NOREDRAW))
        m_widget->update();
    return TRUE;
}

void CWnd::GetClientRect(LPRECT rect) const
{
    if (!rect)
        return;
    if (!m_widget)
    {
        SetRectEmpty(rect);
        return;
    }
    *rect = RECT{0, 0, m_widget->width(), m_widget->height()};
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    if (!rect)
        return;
    if (!m_widget)
    {
        SetRectEmpty(rect);
        return;
    }
    if (m_widget->isWindow())
    {
        const QRect frame = m_widget->frameGeometry();
        *rect = RECT{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
        return;
    }
    const QPoint origin = m_widget->mapToGlobal(QPoint(0, 0));
    *rect = RECT{origin.x(), origin.y(), origin.x() + m_widget->width(), origin.y() + m_widget->height()};
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    if (!point || !m_widget)
        return;
    const QPoint g = m_widget->mapToGlobal(QPoint(point->x, point->y));
    *point = POINT{g.x(), g.y()};
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    if (!rect)
        return;
    POINT tl{rect->left, rect->top};
    ClientToScreen(&tl);
    OffsetRect(rect, tl.x - rect->left, tl.y - rect->top);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    if (!point || !m_widget)
        return;
    const QPoint c = m_widget->mapFromGlobal(QPoint(point->x, point->y));
    *point = POINT{c.x(), c.y()};
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    if (!rect)
        return;
    POINT tl{rect->left, rect->top};
    ScreenToClient(&tl);
    OffsetRect(rect, tl.x - rect->left, tl.y - rect->top);
}

void CWnd::MapWindowPoints(CWnd *to, LPPOINT points, UINT count) const
{
    if (!points)
        return;
    for (UINT i = 0; i < count; ++i)
    {
        ClientToScreen(&points[i]);
        if (to)
            to->ScreenToClient(&points[i]);
    }
}

void CWnd::MapWindowPoints(CWnd *to, LPRECT rect) const
{
    if (!rect)
        return;
    POINT tl{rect->left, rect->top};
    MapWindowPoints(to, &tl, 1);
    OffsetRect(rect, tl.x - rect->left, tl.y - rect->top);
}

void CWnd::CenterWindow(CWnd *alternateOwner)
{
    if (!m_widget)
        return;
    QRect area;
    CWnd *owner = alternateOwner ? alternateOwner : m_parent;
    if (!m_widget->isWindow())
        area = m_widget->parentWidget() ? m_widget->parentWidget()->rect() : QRect();
    else if (owner && owner->m_widget)
        area = owner->m_widget->window()->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    m_widget->move(area.center().x() - m_widget->width() / 2, area.center().y() - m_widget->height() / 2);
}

// ---- State -----------------------------------------------------------------------------

BOOL CWnd::ShowWindow(int command)
{
    if (!m_widget)
        return FALSE;
    const BOOL wasVisible = !m_widget->isHidden();
    ++m_showCount;
    m_lastShowCommand = command;
    switch (command)
    {
    case SW_HIDE:
        m_widget->hide();
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (m_widget->isWindow())
            m_widget->showMinimized();
        else
            m_widget->show();
        break;
    case SW_SHOWMAXIMIZED:
        if (m_widget->isWindow())
            m_widget->showMaximized();
        else
            m_widget->show();
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        if (m_widget->isWindow())
            m_widget->showNormal();
        else
            m_widget->show();
        break;
    default:
        m_widget->show();
        break;
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    return m_widget && m_widget->isVisible();
}

BOOL CWnd::IsIconic() const
{
    return m_widget && m_widget->isWindow() && m_widget->isMinimized();
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    if (!m_widget)
        return FALSE;
    const bool was = IsWindowEnabled();
    m_widget->setEnabled(enable != FALSE);
    if (was != (enable != FALSE))
        SendMessage(WM_ENABLE, enable ? 1 : 0, 0);
    return was ? FALSE : TRUE;
}

BOOL CWnd::IsWindowEnabled() const
{
    // The window's own state: a child of a disabled window still counts as enabled.
    return m_widget && !m_widget->testAttribute(Qt::WA_ForceDisabled);
}

CWnd *CWnd::SetFocus()
{
    CWnd *old = GetFocus();
    if (m_widget)
        m_widget->setFocus(Qt::OtherFocusReason);
    return old;
}

CWnd *CWnd::GetFocus()
{
    return vxwin::WndFromWidget(QApplication::focusWidget());
}

void CWnd::Invalidate(BOOL erase)
{
    if (!m_widget)
        return;
    if (erase)
    {
        m_eraseRequested = true;
        m_skipErase = false;
    }
    else if (!m_eraseRequested)
    {
        m_skipErase = true;
    }
    m_widget->update();
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL erase)
{
    if (!m_widget)
        return;
    if (!rect)
    {
        Invalidate(erase);
        return;
    }
    if (erase)
    {
        m_eraseRequested = true;
        m_skipErase = false;
    }
    else if (!m_eraseRequested)
    {
        m_skipErase = true;
    }
    m_widget->update(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
}

void CWnd::UpdateWindow()
{
    if (m_widget && g_paintDepth == 0 && m_widget->isVisible())
        m_widget->repaint();
}

namespace
{
// Raises a child and repaints it when the order changed (Qt does not repaint a raised child by
// itself); a window already on top is left alone, so raising from a paint cannot loop.
void RaiseWidget(QWidget *widget)
{
    if (widget->isWindow())
    {
        widget->raise();
        if (widget->isVisible())
            widget->activateWindow();
        return;
    }
    if (QWidget *parent = widget->parentWidget())
    {
        const QObjectList &siblings = parent->children();
        for (auto it = siblings.rbegin(); it != siblings.rend(); ++it)
            if ((*it)->isWidgetType())
            {
                if (*it == widget)
                    return;
                break;
            }
    }
    widget->raise();
    widget->update();
}
} // namespace

void CWnd::BringWindowToTop()
{
    if (!m_widget)
        return;
    if (g_paintDepth > 0)
    {
        // Raising a window repaints it over its siblings; not in the middle of a paint.
        QPointer<QWidget> widget(m_widget);
        QTimer::singleShot(0, m_widget, [widget] {
            if (widget)
                RaiseWidget(widget);
        });
        return;
    }
    RaiseWidget(m_widget);
}

BOOL CWnd::SetForegroundWindow()
{
    if (!m_widget)
        return FALSE;
    QWidget *window = m_widget->window();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    return TRUE;
}

// ---- Text ------------------------------------------------------------------------------

void CWnd::SetWindowText(LPCWSTR text)
{
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u""));
}

int CWnd::GetWindowText(LPWSTR buffer, int maxCount) const
{
    if (!buffer || maxCount <= 0)
        return 0;
    return static_cast<int>(
        vxsys::U16CopyBounded(buffer, static_cast<std::size_t>(maxCount), GetTextOfWindow()));
}

void CWnd::GetWindowText(CString &text) const
{
    text = GetTextOfWindow();
}

int CWnd::GetWindowTextLength() const
{
    return static_cast<int>(GetTextOfWindow().size());
}

void CWnd::SetDlgItemText(int id, LPCWSTR text)
{
    if (CWnd *item = GetDlgItem(id))
        item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString &text) const
{
    CWnd *item = GetDlgItem(id);
    if (!item)
    {
        text.Empty();
        return 0;
    }
    item->GetWindowText(text);
    return text.GetLength();
}

// ---- Styles ----------------------------------------------------------------------------

DWORD CWnd::GetStyle() const
{
    DWORD style = m_style;
    if (m_widget && !m_widget->isHidden())
        style |= WS_VISIBLE;
    if (m_widget && m_widget->testAttribute(Qt::WA_ForceDisabled))
        style |= WS_DISABLED;
    return style;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT)
{
    const DWORD before = GetStyle();
    const DWORD after = (before & ~remove) | add;
    SetWindowLong(GWL_STYLE, static_cast<LONG>(after));
    return before != after;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT)
{
    const DWORD before = m_exStyle;
    SetWindowLong(GWL_EXSTYLE, static_cast<LONG>((before & ~remove) | add));
    return before != m_exStyle;
}

LONG CWnd::GetWindowLong(int index) const
{
    switch (index)
    {
    case GWL_STYLE:
        return static_cast<LONG>(GetStyle());
    case GWL_EXSTYLE:
        return static_cast<LONG>(m_exStyle);
    case GWL_ID:
        return static_cast<LONG>(m_id);
    default:
        return 0;
    }
}

LONG CWnd::SetWindowLong(int index, LONG value)
{
    const LONG old = GetWindowLong(index);
    switch (index)
    {
    case GWL_STYLE: {
        const DWORD style = static_cast<DWORD>(value);
        // The child flag is fixed at creation; visibility and enabling go through their calls.
        m_style = (style & ~(WS_VISIBLE | WS_DISABLED | WS_CHILD)) | (m_style & WS_CHILD);
        ApplyTopLevelStyle();
        if (m_widget)
        {
            if ((style & WS_VISIBLE) != 0 && m_widget->isHidden())
                m_widget->show();
            else if ((style & WS_VISIBLE) == 0 && !m_widget->isHidden())
                m_widget->hide();
        }
        break;
    }
    case GWL_EXSTYLE:
        m_exStyle = static_cast<DWORD>(value);
        ApplyTopLevelStyle();
        break;
    case GWL_ID:
        m_id = static_cast<UINT>(value);
        break;
    default:
        return 0;
    }
    return old;
}

BOOL CWnd::SetLayeredWindowAttributes(COLORREF key, BYTE alpha, DWORD flags)
{
    if (!m_widget || !(m_exStyle & WS_EX_LAYERED))
        return FALSE;
    m_layerKey = key;
    m_layerAlpha = alpha;
    m_layerFlags = flags;
    ApplyTopLevelStyle();
    return TRUE;
}

void CWnd::ApplyTopLevelStyle()
{
    if (!m_widget || !m_widget->isWindow())
        return;
    const Qt::WindowFlags before = m_widget->windowFlags();
    Qt::WindowFlags flags = before;
    flags.setFlag(Qt::FramelessWindowHint, (m_style & (WS_CAPTION | WS_BORDER)) == 0);
    flags.setFlag(Qt::WindowStaysOnTopHint, (m_exStyle & WS_EX_TOPMOST) != 0);
    const bool keyed = (m_exStyle & WS_EX_LAYERED) && (m_layerFlags & LWA_COLORKEY);
    if (keyed && !m_widget->testAttribute(Qt::WA_TranslucentBackground))
        m_widget->setAttribute(Qt::WA_TranslucentBackground, true);
    if (flags != before)
    {
        // Changing the frame makes a new native window, hidden until shown again.
        const bool visible = m_widget->isVisible();
        const QPoint pos = m_widget->pos();
        m_widget->setWindowFlags(flags);
        m_widget->move(pos);
        if (visible)
            m_widget->show();
    }
    const bool alpha = (m_exStyle & WS_EX_LAYERED) && (m_layerFlags & LWA_ALPHA);
    m_widget->setWindowOpacity(alpha ? m_layerAlpha / 255.0 : 1.0);
    m_widget->update();
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    HICON &slot = bigIcon ? m_bigIcon : m_smallIcon;
    HICON old = slot;
    slot = icon;
    return old;
}

CMenu *CWnd::GetSystemMenu(BOOL) const
{
    return nullptr;
}

void CWnd::SetWindowFont(const QFont &font, BOOL redraw)
{
    if (!m_widget)
        return;
    m_widget->setFont(font);
    if (redraw)
        m_widget->update();
}

// ---- Timers, capture, hover ------------------------------------------------------------

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void (*)(HWND, UINT, UINT_PTR, DWORD))
{
    if (!m_widget)
        return 0;
    KillTimer(id);
    const int qtId = m_widget->startTimer(static_cast<int>(std::min<UINT>(elapse, 0x7FFFFFFF)));
    if (qtId == 0)
        return 0;
    m_timers[id] = qtId;
    return id ? id : 1;
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return FALSE;
    if (m_widget)
        m_widget->killTimer(it->second);
    m_timers.erase(it);
    return TRUE;
}

CWnd *CWnd::SetCapture()
{
    CWnd *old = FromHandle(g_capture);
    if (!m_widget)
        return old;
    if (m_widget->isVisible())
        m_widget->grabMouse();
    g_capture = m_hWnd;
    return old;
}

CWnd *CWnd::GetCapture()
{
    return FromHandle(g_capture);
}

void CWnd::ArmHoverTimer()
{
    if (auto *bridge = dynamic_cast<vxwin::BridgeBase *>(m_widget))
        bridge->ArmHover(m_hoverTime);
}

void CWnd::StartCaptionDrag()
{
    if (!m_widget)
        return;
    QWidget *window = m_widget->window();
    if (QWindow *handle = window->windowHandle())
        if (handle->startSystemMove())
            return;
    if (g_drag)
        g_drag->Finish();
    auto *drag = new CaptionDrag(window, g_lastPressGlobal);
    g_drag = drag;
    qApp->installEventFilter(drag);
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBox(m_hWnd, text, caption, type);
}

// ---- Handle-based calls ----------------------------------------------------------------

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsUiThread())
    {
        CWnd *wnd = LookupWindow(hwnd);
        return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
    }
    MessageDispatcher *d = g_dispatcher.load();
    if (!d || !LookupWindow(hwnd))
        return 0;
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        d,
        [hwnd, msg, wParam, lParam]() -> LRESULT {
            CWnd *wnd = LookupWindow(hwnd);
            return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
        },
        Qt::BlockingQueuedConnection, &result);
    return result;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MessageDispatcher *d = g_dispatcher.load();
    if (!d || !LookupWindow(hwnd))
        return FALSE;
    QCoreApplication::postEvent(d, new PostedMessageEvent(hwnd, msg, wParam, lParam));
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->SetForegroundWindow() : FALSE;
}

BOOL IsIconic(HWND hwnd)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->IsIconic() : FALSE;
}

BOOL IsWindow(HWND hwnd)
{
    return LookupWindow(hwnd) != nullptr;
}

HWND GetDlgItem(HWND parent, int id)
{
    CWnd *wnd = LookupWindow(parent);
    CWnd *item = wnd ? wnd->GetDlgItem(id) : nullptr;
    return item ? item->m_hWnd : nullptr;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->ShowWindow(command) : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase)
{
    CWnd *wnd = LookupWindow(hwnd);
    if (!wnd)
        return FALSE;
    wnd->InvalidateRect(rect, erase);
    return TRUE;
}

LONG GetWindowLong(HWND hwnd, int index)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->GetWindowLong(index) : 0;
}

LONG SetWindowLong(HWND hwnd, int index, LONG value)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->SetWindowLong(index, value) : 0;
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    CWnd *wnd = LookupWindow(hwnd);
    return wnd ? wnd->SetLayeredWindowAttributes(key, alpha, flags) : FALSE;
}

HWND GetFocus()
{
    CWnd *wnd = CWnd::GetFocus();
    return wnd ? wnd->m_hWnd : nullptr;
}

HWND SetCapture(HWND hwnd)
{
    CWnd *wnd = LookupWindow(hwnd);
    CWnd *old = wnd ? wnd->SetCapture() : CWnd::GetCapture();
    return old ? old->m_hWnd : nullptr;
}

HWND GetCapture()
{
    return LookupWindow(g_capture) ? g_capture : nullptr;
}

BOOL ReleaseCapture()
{
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    g_capture = nullptr;
    return TRUE;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track)
{
    if (!track)
        return FALSE;
    CWnd *wnd = LookupWindow(track->hwndTrack);
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
    if (g_haveMouse && QGuiApplication::platformName() == QLatin1String("offscreen"))
        pos = g_lastMouseGlobal;
    else
        pos = QCursor::pos();
    *point = POINT{pos.x(), pos.y()};
    return TRUE;
}

int GetSystemMetrics(int index)
{
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
