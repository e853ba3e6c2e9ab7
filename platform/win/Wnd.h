#pragma once

#include <QFont>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/win/CString.h"
#include "platform/win/Gdi.h"
#include "platform/win/Menu.h"
#include "platform/win/WinTypes.h"

class QPoint;
class QRect;
class QWidget;
class CDC;
class CFont;
class CWnd;

namespace vxwin
{
class BridgeBase;
template <class Base> class WndBridge;

// The message being handled by a window: what Default() hands on to the window's own
// default handling, and, for a message made from a Qt event, the Qt base behaviour of that
// event (run at most once).
struct MessageContext
{
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    const std::function<void()> *base;
    bool baseRan;
    MessageContext *previous;
};

// A font of `pointTenths` tenths of a point at 96 pixels per inch, whatever the screen says.
QFont MakePointFont(int pointTenths, const char16_t *faceName, int weight = 400, bool italic = false);

// The window that owns a Qt widget (null when the widget belongs to none).
CWnd *WndFromWidget(QWidget *widget);

// The available geometry (the screen less its panels) of the screen a rectangle is on: the one
// holding its centre, else the one it overlaps most; for a rectangle on no screen the one `near`
// is on (a window's owner), else the primary screen. Empty without a screen.
QRect AvailableAreaFor(const QRect &rect, const QRect &near);
// The rectangle moved the least that puts it wholly into that available geometry; one larger
// than the geometry keeps its left and top edges on the geometry's.
QRect KeepWhollyOnScreen(const QRect &rect, const QRect &near);
} // namespace vxwin

// A window: a Qt widget behind a handle of the window table, with the message routing of the
// framework. Messages made from Qt events, sent and posted messages all go through
// WindowProc -> the On... handlers -> DefWindowProc; Default() hands the message being
// handled on to the default handling, which for a Qt event is Qt's own behaviour.
//
// Deletion: the Qt widget is released with hide() + deleteLater(), so a window may be
// destroyed (and its object deleted) inside one of its own handlers.
class CWnd
{
  public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    static CWnd *FromHandle(HWND hwnd);
    QWidget *GetWidget() const { return m_widget; }

    // Creation. A child (WS_CHILD) lives in its parent's client area at `rect`; any other
    // window is a top-level window owned by `parent`, `rect` in screen coordinates. The
    // window stays hidden unless the style has WS_VISIBLE or it is shown later. WM_CREATE
    // carries a CREATESTRUCT; -1 from OnCreate destroys the window and fails the creation.
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT &rect, CWnd *parent,
                        UINT id, void *context = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT &rect,
                  CWnd *parent, UINT id, LPVOID param = nullptr);
    // WM_DESTROY goes to the window first, while its children still live; then the children
    // are destroyed (the last made first), the widget released and PostNcDestroy called. From
    // a destructor the message reaches only the handlers of the classes not yet destroyed: a
    // class whose OnDestroy must run calls DestroyWindow in its own destructor.
    virtual BOOL DestroyWindow();

    // Messages.
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result);
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default();

    // Tree and identity.
    CWnd *GetParent() const { return m_parent; }
    CWnd *GetTopLevelParent() const;
    // The first direct child with this id, in creation order (ids repeat across pages).
    CWnd *GetDlgItem(int id) const;
    int GetDlgCtrlID() const { return static_cast<int>(m_id); }
    int SetDlgCtrlID(int id);

    // Geometry.
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd *insertAfter, int x, int y, int cx, int cy, UINT flags);
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void MapWindowPoints(CWnd *to, LPPOINT points, UINT count) const;
    void MapWindowPoints(CWnd *to, LPRECT rect) const;
    void CenterWindow(CWnd *alternateOwner = nullptr);

    // State.
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    CWnd *SetFocus();
    static CWnd *GetFocus();
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void UpdateWindow();
    // Raises the window among its siblings; during a paint the raise waits until it is over.
    void BringWindowToTop();
    // Restores the top-level window when minimised, raises it and gives it the focus.
    BOOL SetForegroundWindow();

    // Text.
    void SetWindowText(LPCWSTR text);
    int GetWindowText(LPWSTR buffer, int maxCount) const;
    void GetWindowText(CString &text) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, LPCWSTR text);
    int GetDlgItemText(int id, CString &text) const;

    // Styles and layered windows. A top-level window without WS_CAPTION has no frame;
    // WS_EX_LAYERED with an LWA_COLORKEY key makes every pixel of the key colour transparent.
    DWORD GetStyle() const;
    DWORD GetExStyle() const { return m_exStyle; }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    LONG GetWindowLong(int index) const;
    LONG SetWindowLong(int index, LONG value);
    BOOL SetLayeredWindowAttributes(COLORREF key, BYTE alpha, DWORD flags);
    // The big and the small icon become the icons Qt gives the top-level window.
    HICON SetIcon(HICON icon, BOOL bigIcon);
    HICON GetIcon(BOOL bigIcon) const { return bigIcon ? m_bigIcon : m_smallIcon; }
    // The system menu of a top-level window (null for a child), made empty on first use: it
    // holds only what the program appends, since the window manager's own window menu has
    // the standard commands. It is shown as a pop-up menu by a right-button release on the
    // window itself (not on a child) and by Alt+Space (WM_SYSCOMMAND SC_KEYMENU, whose default
    // handling shows it at the window's top left); an empty one is not shown. Choosing an item
    // posts WM_SYSCOMMAND with its id. `revert` drops the program's menu and gives null.
    CMenu *GetSystemMenu(BOOL revert) const;

    // Fonts of the window's own text. SetFont sends WM_SETFONT, whose default handling
    // gives the window the font; GetFont is the font last set that way (null when none, or
    // when its owner is gone).
    void SetWindowFont(const QFont &font, BOOL redraw = TRUE);
    void SetFont(CFont *font, BOOL redraw = TRUE);
    CFont *GetFont() const;

    // A device context of the client area: during a paint that paint's, otherwise one whose
    // drawing is not shown. Every GetDC is matched by a ReleaseDC.
    CDC *GetDC();
    int ReleaseDC(CDC *dc);

    // Timers: WM_TIMER with our own id; setting an id again restarts it.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void (*)(HWND, UINT, UINT_PTR, DWORD) = nullptr);
    BOOL KillTimer(UINT_PTR id);

    // Mouse capture.
    CWnd *SetCapture();
    static CWnd *GetCapture();

    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);

    // The paint in progress on this window (null outside WM_PAINT and WM_ERASEBKGND).
    vxwin::PaintContext *GetPaintContext() const { return m_paint; }

    // Z-order markers for SetWindowPos.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

  protected:
    // Handlers; each default hands the message on with Default().
    virtual int OnCreate(LPCREATESTRUCT createStruct);
    virtual void OnDestroy();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC *dc);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnMouseMove(UINT flags, CPoint point);
    // The point is in screen coordinates; zDelta is a multiple of WHEEL_DELTA per notch.
    virtual BOOL OnMouseWheel(UINT flags, short zDelta, CPoint point);
    virtual void OnMouseHover(UINT flags, CPoint point);
    virtual void OnMouseLeave();
    virtual void OnNcLButtonDown(UINT hitTest, CPoint point);
    // One character: one outside the basic plane comes whole, as its code point (not as two
    // halves of a surrogate pair).
    virtual void OnChar(UINT ch, UINT repeatCount, UINT flags);
    virtual void OnSetFocus(CWnd *oldWnd);
    virtual void OnKillFocus(CWnd *newWnd);
    virtual void OnEnable(BOOL enable);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnClose();
    virtual void OnActivate(UINT state, CWnd *other, BOOL minimized);
    virtual HBRUSH OnCtlColor(CDC *dc, CWnd *wnd, UINT ctlColor);
    virtual BOOL OnDeviceChange(UINT eventType, DWORD_PTR data);
    virtual BOOL OnCopyData(CWnd *from, COPYDATASTRUCT *data);
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual HICON OnQueryDragIcon();
    // WM_COMMAND; FALSE leaves the message to DefWindowProc.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // After the window is gone (its handle is free); the object may delete itself here.
    virtual void PostNcDestroy();

    // Makes the Qt widget of a new window. Controls make their own kind.
    virtual QWidget *CreateWidget(QWidget *parent);
    // Enter and Escape pressed anywhere in this top-level window; TRUE when consumed.
    virtual BOOL PreTranslateDialogKey(int qtKey);
    // The text behind WM_SETTEXT and WM_GETTEXT.
    virtual void SetTextOfWindow(const std::u16string &text);
    virtual std::u16string GetTextOfWindow() const;

    // Whether this object still lives, to check after a call that may have deleted it.
    std::weak_ptr<int> LifeToken() const { return m_life; }

    CString m_windowText;
    // Qt keeps no pixels of a window between paints, so a window whose paint does not cover
    // its background has it erased on every paint, Invalidate(FALSE) or not.
    bool m_eraseEveryPaint = false;
    int m_showCount = 0;
    int m_lastShowCommand = -1;
    // A top-level window placed as dialogs are: once, at its first show, with the size it has by
    // then, it is centred over its owner (over the screen when it has none, or its owner is not
    // shown) unless the program moved it itself before, and then moved wholly onto the screen.
    // Later a change of its size that takes it off the screen moves it back; a move alone (the
    // user's drag, the program's own placing) keeps where it was put.
    bool m_placeAtFirstShow = false;

  private:
    template <class Base> friend class vxwin::WndBridge;
    friend class vxwin::BridgeBase;
    friend BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track);
    friend BOOL ReleaseCapture();

    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, const std::function<void()> *base);
    void ApplyTopLevelStyle();
    void WidgetGone();
    void StartCaptionDrag();
    void ArmHoverTimer();
    void DetachFromTree();
    void ShowSystemMenu(const QPoint &global);
    void ApplyIcons();
    void PlaceAtFirstShow();
    QRect OwnerFrame() const;
    void NoteGeometryChange(const QPoint &oldPos, int oldWidth, int oldHeight);

    QWidget *m_widget = nullptr;
    CWnd *m_parent = nullptr;
    std::vector<CWnd *> m_children;
    UINT m_id = 0;
    DWORD m_style = 0;
    DWORD m_exStyle = 0;
    COLORREF m_layerKey{};
    BYTE m_layerAlpha = 255;
    DWORD m_layerFlags = 0;
    HFONT m_font = nullptr;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    mutable std::unique_ptr<CMenu> m_systemMenu;
    std::map<UINT_PTR, int> m_timers;
    vxwin::MessageContext *m_message = nullptr;
    vxwin::PaintContext *m_paint = nullptr;
    bool m_eraseRequested = false;
    bool m_skipErase = false;
    bool m_destroying = false;
    bool m_trackLeave = false;
    bool m_trackHover = false;
    bool m_placed = false;
    bool m_movedByProgram = false;
    UINT m_hoverTime = 400;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

// ---- Handle-based calls -------------------------------------------------------------

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
// Thread-safe: the message travels as a Qt event to the UI thread. FALSE for a handle that
// is not (or no longer) a window; a window destroyed before the message arrives drops it.
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
BOOL IsWindow(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
BOOL ShowWindow(HWND hwnd, int command);
BOOL InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase);
LONG GetWindowLong(HWND hwnd, int index);
LONG SetWindowLong(HWND hwnd, int index, LONG value);
BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
HWND GetFocus();
HWND SetCapture(HWND hwnd);
HWND GetCapture();
BOOL ReleaseCapture();
// Hover after the hover time without movement, and leave when the pointer goes; each
// request is answered once.
BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track);
// Where the pointer is, in screen coordinates.
BOOL GetCursorPos(LPPOINT point);
int GetSystemMetrics(int index);
BOOL SystemParametersInfo(UINT action, UINT param, void *value, UINT winIni);
