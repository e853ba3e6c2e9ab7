#include "platform/win/Wnd.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/sys/TextConvert.h"
#include "platform/win/App.h"
#include "platform/win/WindowTable.h"
#include "platform/win/WndBridge.h"

using vxwin::IsUiThread;
using vxwin::LookupWindow;

namespace
{

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

namespace vxwin
{
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

namespace
{
// The screen holding the point, else the one the rectangle overlaps most; null for none.
QScreen *ScreenOf(const QRect &rect)
{
    if (rect.isNull())
        return nullptr;
    if (QScreen *holding = QGuiApplication::screenAt(rect.center()))
        return holding;
    QScreen *best = nullptr;
    long long most = 0;
    for (QScreen *screen : QGuiApplication::screens())
    {
        const QRect common = screen->geometry().intersected(rect);
        const long long area = static_cast<long long>(common.width()) * common.height();
        if (area > most)
        {
            most = area;
            best = screen;
        }
    }
    return best;
}
} // namespace

QRect AvailableAreaFor(const QRect &rect, const QRect &near)
{
    QScreen *screen = ScreenOf(rect);
    if (!screen)
        screen = ScreenOf(near);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QRect KeepWhollyOnScreen(const QRect &rect, const QRect &near)
{
    const QRect area = AvailableAreaFor(rect, near);
    if (area.isEmpty())
        return rect;
    // The far edge first, then the near one, so that a window larger than the screen keeps its
    // top (where the title and the close button are) and its left edge in view.
    auto fit = [](int start, int length, int areaStart, int areaLength) {
        start = std::min(start, areaStart + areaLength - length);
        return std::max(start, areaStart);
    };
    QRect fitted = rect;
    fitted.moveTo(fit(rect.left(), rect.width(), area.left(), area.width()),
                  fit(rect.top(), rect.height(), area.top(), area.height()));
    return fitted;
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
    if (m_hWnd || !IsUiThread() || !vxwin::EnsureDispatcher())
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
    m_hWnd = vxwin::RegisterWindow(this);

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
    {
        PlaceAtFirstShow();
        m_widget->setVisible(true);
    }
    return m_hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd || m_destroying)
        return FALSE;
    m_destroying = true;
    const std::weak_ptr<int> life = m_life;

    // The window hears first, while its children still live (its OnDestroy may still reach
    // them, or delete them); then the children go, the last made first.
    SendMessage(WM_DESTROY);
    if (life.expired())
        return TRUE;
    const std::vector<CWnd *> children = m_children;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
    {
        if (std::find(m_children.begin(), m_children.end(), *it) != m_children.end())
            (*it)->DestroyWindow();
        if (life.expired())
            return TRUE;
    }

    if (vxwin::CaptureHandle() == m_hWnd)
        ::ReleaseCapture();
    if (m_widget)
        for (const auto &[id, qtId] : m_timers)
            m_widget->killTimer(qtId);
    m_timers.clear();
    vxwin::UnregisterWindow(m_hWnd);
    m_hWnd = nullptr;
    // A destroyed window has no parent: the parent's object may be deleted before this one.
    if (m_parent)
    {
        auto &siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        m_parent = nullptr;
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
        vxwin::UnregisterWindow(m_hWnd);
    if (m_parent)
    {
        auto &siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        m_parent = nullptr;
    }
    if (vxwin::CaptureHandle() == m_hWnd)
        vxwin::SetCaptureHandle(nullptr);
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
        return vxwin::SendFromOtherThread(m_hWnd, msg, wParam, lParam);
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
    // A right-click on a top-level window itself stands for one on its caption, where the
    // system menu is (a borderless window's whole surface drags it, as a caption would).
    if (msg == WM_RBUTTONUP && !(m_style & WS_CHILD) && m_widget)
    {
        CPoint point(lParam);
        ClientToScreen(&point);
        ShowSystemMenu(QPoint(point.x, point.y));
    }
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
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0)
        {
        case SC_KEYMENU:
            if (lParam == ' ' && m_widget)
            {
                CPoint origin(0, 0);
                ClientToScreen(&origin);
                ShowSystemMenu(QPoint(origin.x, origin.y));
            }
            return 0;
        case SC_CLOSE:
            SendMessage(WM_CLOSE);
            return 0;
        case SC_MINIMIZE:
            ShowWindow(SW_MINIMIZE);
            return 0;
        case SC_RESTORE:
            ShowWindow(SW_RESTORE);
            return 0;
        default:
            return 0;
        }
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
        const QPoint oldPos = m_widget->pos();
        const QSize oldSize = m_widget->size();
        m_widget->move(x, y);
        m_widget->resize(std::max(1, width), std::max(1, height));
        NoteGeometryChange(oldPos, oldSize.width(), oldSize.height());
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
    const QPoint oldPos = m_widget->pos();
    const QSize oldSize = m_widget->size();
    if (!(flags & SWP_NOMOVE))
        m_widget->move(x, y);
    if (!(flags & SWP_NOSIZE))
        m_widget->resize(std::max(m_widget->isWindow() ? 1 : 0, cx),
                         std::max(m_widget->isWindow() ? 1 : 0, cy));
    NoteGeometryChange(oldPos, oldSize.width(), oldSize.height());
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
    const QPoint oldPos = m_widget->pos();
    m_widget->move(area.center().x() - m_widget->width() / 2, area.center().y() - m_widget->height() / 2);
    NoteGeometryChange(oldPos, m_widget->width(), m_widget->height());
}

void CWnd::NoteGeometryChange(const QPoint &oldPos, int oldWidth, int oldHeight)
{
    if (!m_placeAtFirstShow || !m_widget || !m_widget->isWindow())
        return;
    if (!m_placed)
    {
        // Before the first show a move to another place is the program's own placing, kept then.
        if (m_widget->pos() != oldPos)
            m_movedByProgram = true;
        return;
    }
    if (m_widget->width() == oldWidth && m_widget->height() == oldHeight)
        return;
    const QRect frame = m_widget->frameGeometry();
    const QRect fitted = vxwin::KeepWhollyOnScreen(frame, OwnerFrame());
    if (fitted.topLeft() != frame.topLeft())
        m_widget->move(m_widget->pos() + (fitted.topLeft() - frame.topLeft()));
}

QRect CWnd::OwnerFrame() const
{
    QWidget *owner = m_parent && m_parent->m_widget ? m_parent->m_widget->window() : nullptr;
    return owner ? owner->frameGeometry() : QRect();
}

void CWnd::PlaceAtFirstShow()
{
    if (!m_placeAtFirstShow || m_placed || !m_widget || !m_widget->isWindow())
        return;
    m_placed = true;
    const QRect frame = m_widget->frameGeometry();
    QRect placed = frame;
    if (!m_movedByProgram)
    {
        QWidget *owner = m_parent && m_parent->m_widget ? m_parent->m_widget->window() : nullptr;
        // Over a hidden or minimised owner the dialog goes to the middle of the owner's screen.
        const QRect area = owner && owner->isVisible() && !owner->isMinimized()
                               ? owner->frameGeometry()
                               : vxwin::AvailableAreaFor(owner ? owner->frameGeometry() : frame, QRect());
        if (!area.isEmpty())
            placed.moveTo(area.left() + (area.width() - frame.width()) / 2,
                          area.top() + (area.height() - frame.height()) / 2);
    }
    placed = vxwin::KeepWhollyOnScreen(placed, OwnerFrame());
    if (placed.topLeft() != frame.topLeft())
        m_widget->move(m_widget->pos() + (placed.topLeft() - frame.topLeft()));
}

// ---- State -----------------------------------------------------------------------------

BOOL CWnd::ShowWindow(int command)
{
    if (!m_widget)
        return FALSE;
    const BOOL wasVisible = !m_widget->isHidden();
    ++m_showCount;
    m_lastShowCommand = command;
    if (command != SW_HIDE)
        PlaceAtFirstShow();
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
    if (m_widget && !vxwin::InPaint() && m_widget->isVisible())
        m_widget->repaint();
}

namespace
{
// Raises a child and repaints it when the order matters (Qt does not repaint a raised child by
// itself): when a visible sibling above it overlaps it, or a hidden one lies above it that may be
// shown later. Several buttons of a page each raise themselves from their paint; if each of them
// had to be the topmost child, they would take turns for ever, repainting the window without end.
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
        const QRect area = widget->geometry();
        bool below = false;
        for (auto it = siblings.rbegin(); it != siblings.rend() && *it != widget; ++it)
        {
            const auto *sibling = qobject_cast<const QWidget *>(*it);
            if (sibling && !sibling->isWindow() &&
                (sibling->isHidden() || sibling->geometry().intersects(area)))
            {
                below = true;
                break;
            }
        }
        if (!below)
            return;
    }
    widget->raise();
    widget->update();
}
} // namespace

void CWnd::BringWindowToTop()
{
    if (!m_widget)
        return;
    if (vxwin::InPaint())
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
            {
                PlaceAtFirstShow();
                m_widget->show();
            }
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
    ApplyIcons();
    return old;
}

void CWnd::ApplyIcons()
{
    if (!m_widget || !m_widget->isWindow())
        return;
    // Qt keeps its own copy of the pixels, so the icons may be destroyed while the window lives.
    QIcon qtIcon;
    for (HICON icon : {m_bigIcon, m_smallIcon})
        if (icon && !icon->image.isNull())
            qtIcon.addPixmap(QPixmap::fromImage(icon->image));
    m_widget->setWindowIcon(qtIcon);
}

CMenu *CWnd::GetSystemMenu(BOOL revert) const
{
    if (revert)
    {
        m_systemMenu.reset();
        return nullptr;
    }
    if (!m_hWnd || (m_style & WS_CHILD))
        return nullptr;
    if (!m_systemMenu)
        m_systemMenu = std::make_unique<CMenu>();
    return m_systemMenu.get();
}

void CWnd::ShowSystemMenu(const QPoint &global)
{
    if (!m_widget || !m_systemMenu)
        return;
    const auto &items = m_systemMenu->Items();
    if (std::none_of(items.begin(), items.end(),
                     [](const CMenu::Item &item) { return item.flags == MF_STRING; }))
        return;
    // A child of the window, so it goes with it; the choice is posted, so the window may be
    // gone by the time it would arrive.
    auto *menu = new QMenu(m_widget);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const HWND window = m_hWnd;
    const LPARAM where = MAKELPARAM(static_cast<WORD>(global.x()), static_cast<WORD>(global.y()));
    for (const CMenu::Item &item : items)
    {
        if (item.flags == MF_SEPARATOR)
        {
            menu->addSeparator();
            continue;
        }
        const UINT_PTR id = item.id;
        QObject::connect(menu->addAction(QString::fromStdU16String(item.text)), &QAction::triggered, menu,
                         [window, id, where] { ::PostMessage(window, WM_SYSCOMMAND, id, where); });
    }
    menu->popup(global);
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
    CWnd *old = FromHandle(vxwin::CaptureHandle());
    if (!m_widget)
        return old;
    if (m_widget->isVisible())
        m_widget->grabMouse();
    vxwin::SetCaptureHandle(m_hWnd);
    return old;
}

CWnd *CWnd::GetCapture()
{
    return FromHandle(vxwin::CaptureHandle());
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
    auto *drag = new CaptionDrag(window, vxwin::LastPressPosition());
    g_drag = drag;
    qApp->installEventFilter(drag);
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBox(m_hWnd, text, caption, type);
}
