#pragma once

// The Qt side of a window: a widget class that turns Qt events into window messages for
// its CWnd. Internal to the window layer.

#include <QCloseEvent>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWidget>
#include <functional>
#include <memory>
#include <type_traits>

#include "platform/win/Wnd.h"

class QTimer;

namespace vxwin
{
// Process-wide pointer, focus, paint and capture bookkeeping shared by every bridge and by
// the windows (WndBridge.cpp).
void NoteMouseEvent(const QPointF &globalPos);
void NoteMousePress(const QPointF &globalPos);
// A paint of `painting` begins or ends; paints nest (a window may paint another inside its own).
void EnterPaint(QWidget *painting);
void LeavePaint();
// The widget whose paint runs now (the innermost), or null outside a paint.
QWidget *WidgetInPaint();
void NoteFocusLeaving(HWND hwnd);
HWND FocusLeaving();
// Where the last mouse event was, in screen coordinates; false before any.
bool LastMousePosition(QPoint *global);
QPoint LastPressPosition();
bool InPaint();
// The window that holds the mouse capture (its handle may be dead).
HWND CaptureHandle();
void SetCaptureHandle(HWND hwnd);
UINT MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
LPARAM PointParam(const QPointF &pos);
// The character that begins at `index` of a typed text: a surrogate pair is one character
// outside the basic plane (`units` 2); any other unit, a lone surrogate too, stands alone.
UINT CharacterAt(const QString &text, qsizetype index, qsizetype *units);
// Makes every pixel of the key colour transparent and returns the region of the others.
void ApplyColorKey(QImage &image, COLORREF key);
void UpdateShapeMask(QWidget *window, const QImage &image);

class BridgeBase
{
  public:
    BridgeBase(CWnd *wnd, QWidget *self) : m_wnd(wnd), m_self(self) {}
    virtual ~BridgeBase();
    CWnd *Wnd() const { return m_wnd; }
    void Detach() { m_wnd = nullptr; }
    void ArmHover(UINT milliseconds);
    void StopHover();

  protected:
    // Runs the message through the window; false when the window object died or lost
    // this widget while handling it, or this widget was deleted (nothing of it may be touched
    // then). The base behaviour runs only while this widget lives.
    bool Send(UINT msg, WPARAM wParam, LPARAM lParam, const std::function<void()> &base,
              LRESULT *result = nullptr);
    // True when the top-level window consumed the key, or when this widget did not outlive it.
    bool RouteDialogKey(int key);
    // Without a capture, a mouse message goes to the window under the pointer, while Qt keeps
    // sending a pressed button's events to the widget that took the press. The window that
    // should get the message instead, or null when it is this one.
    CWnd *RerouteTarget(const QPointF &globalPos) const;
    static void SendRerouted(CWnd *target, UINT msg, WPARAM wParam, const QPointF &globalPos);
    static bool TimerFor(CWnd *wnd, int qtTimerId, UINT_PTR *ourId);
    static bool SkipEraseAndReset(CWnd *wnd);
    static vxwin::PaintContext *SwapPaint(CWnd *wnd, vxwin::PaintContext *ctx);
    static bool IsColorKeyed(CWnd *wnd, COLORREF *key);
    static bool TrackingLeave(CWnd *wnd, bool clear);
    static bool TrackingHover(CWnd *wnd);

    CWnd *m_wnd;
    QWidget *m_self;
    QTimer *m_hoverTimer = nullptr;
    // Expires when this widget is deleted. A handler may run a nested loop (a modal dialog) in
    // which the window is destroyed and Qt deletes this widget; a bridge checks this, not only
    // its window, before it touches anything of itself after a handler.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

template <class Base> class WndBridge : public Base, public BridgeBase
{
  public:
    WndBridge(CWnd *wnd, QWidget *parent) : Base(parent), BridgeBase(wnd, this)
    {
        this->setMouseTracking(true);
    }

  protected:
    static constexpr bool kOwnDoubleClick = std::is_base_of_v<QLineEdit, Base>;

    bool RunPaint(vxwin::PaintContext &ctx, QPaintEvent *e)
    {
        CWnd *wnd = m_wnd;
        vxwin::PaintContext *previous = SwapPaint(wnd, &ctx);
        bool alive = true;
        if (!SkipEraseAndReset(wnd))
            alive = Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(ctx.Handle()), 0, {});
        if (alive)
        {
            std::function<void()> base = [this, &ctx, e] {
                ctx.End();
                Base::paintEvent(e);
            };
            alive = Send(WM_PAINT, 0, 0, base);
        }
        if (alive)
            SwapPaint(wnd, previous);
        ctx.End();
        return alive;
    }

    void paintEvent(QPaintEvent *e) override
    {
        if (!m_wnd)
        {
            Base::paintEvent(e);
            return;
        }
        EnterPaint(this);
        COLORREF key{};
        if (this->isWindow() && IsColorKeyed(m_wnd, &key))
        {
            QImage image(this->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            bool alive;
            const std::weak_ptr<int> self = m_alive;
            {
                vxwin::PaintContext ctx(&image, this, e->rect());
                alive = RunPaint(ctx, e);
            }
            if (self.expired())
            {
                LeavePaint();
                return;
            }
            ApplyColorKey(image, key);
            QPainter painter(this);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(0, 0, image);
            painter.end();
            if (alive && e->rect() == this->rect())
                UpdateShapeMask(this, image);
        }
        else
        {
            vxwin::PaintContext ctx(this, this, e->rect());
            RunPaint(ctx, e);
        }
        LeavePaint();
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        NoteMousePress(e->globalPosition());
        const UINT msg = e->button() == Qt::LeftButton     ? WM_LBUTTONDOWN
                         : e->button() == Qt::RightButton  ? WM_RBUTTONDOWN
                         : e->button() == Qt::MiddleButton ? WM_MBUTTONDOWN
                                                           : 0;
        if (!msg || !m_wnd)
        {
            Base::mousePressEvent(e);
            return;
        }
        std::function<void()> base = [this, e] { Base::mousePressEvent(e); };
        Send(msg, MouseKeyFlags(e->buttons(), e->modifiers()), PointParam(e->position()), base);
        e->accept();
    }

    void mouseReleaseEvent(QMouseEvent *e) override
    {
        NoteMouseEvent(e->globalPosition());
        const UINT msg = e->button() == Qt::LeftButton     ? WM_LBUTTONUP
                         : e->button() == Qt::RightButton  ? WM_RBUTTONUP
                         : e->button() == Qt::MiddleButton ? WM_MBUTTONUP
                                                           : 0;
        if (!msg || !m_wnd)
        {
            Base::mouseReleaseEvent(e);
            return;
        }
        if (CWnd *other = RerouteTarget(e->globalPosition()))
        {
            SendRerouted(other, msg, MouseKeyFlags(e->buttons(), e->modifiers()), e->globalPosition());
            e->accept();
            return;
        }
        std::function<void()> base = [this, e] { Base::mouseReleaseEvent(e); };
        Send(msg, MouseKeyFlags(e->buttons(), e->modifiers()), PointParam(e->position()), base);
        e->accept();
    }

    void mouseDoubleClickEvent(QMouseEvent *e) override
    {
        NoteMousePress(e->globalPosition());
        const UINT msg = e->button() == Qt::LeftButton     ? WM_LBUTTONDBLCLK
                         : e->button() == Qt::RightButton  ? WM_RBUTTONDBLCLK
                         : e->button() == Qt::MiddleButton ? WM_MBUTTONDBLCLK
                                                           : 0;
        if (!msg || !m_wnd)
        {
            e->accept();
            return;
        }
        // Qt's own default would deliver a second press; only an edit has a default of its
        // own (selecting the word).
        std::function<void()> base;
        if constexpr (kOwnDoubleClick)
            base = [this, e] { Base::mouseDoubleClickEvent(e); };
        Send(msg, MouseKeyFlags(e->buttons(), e->modifiers()), PointParam(e->position()), base);
        e->accept();
    }

    void mouseMoveEvent(QMouseEvent *e) override
    {
        NoteMouseEvent(e->globalPosition());
        if (!m_wnd)
        {
            Base::mouseMoveEvent(e);
            return;
        }
        if (e->buttons() != Qt::NoButton)
            if (CWnd *other = RerouteTarget(e->globalPosition()))
            {
                SendRerouted(other, WM_MOUSEMOVE, MouseKeyFlags(e->buttons(), e->modifiers()),
                             e->globalPosition());
                e->accept();
                return;
            }
        if (TrackingHover(m_wnd))
            m_wnd->ArmHoverTimer();
        std::function<void()> base = [this, e] { Base::mouseMoveEvent(e); };
        Send(WM_MOUSEMOVE, MouseKeyFlags(e->buttons(), e->modifiers()), PointParam(e->position()), base);
        e->accept();
    }

    void wheelEvent(QWheelEvent *e) override
    {
        const int delta = e->angleDelta().y();
        if (!m_wnd || delta == 0)
        {
            Base::wheelEvent(e);
            return;
        }
        NoteMouseEvent(e->globalPosition());
        // The default handling of the wheel message hands it on to the parent window itself.
        e->accept();
        const WPARAM wp = MAKEWPARAM(static_cast<WORD>(MouseKeyFlags(e->buttons(), e->modifiers())),
                                     static_cast<WORD>(static_cast<SHORT>(delta)));
        Send(WM_MOUSEWHEEL, wp, PointParam(e->globalPosition()), {});
    }

    void leaveEvent(QEvent *e) override
    {
        StopHover();
        if (m_wnd && TrackingLeave(m_wnd, true))
        {
            if (!Send(WM_MOUSELEAVE, 0, 0, {}))
                return;
        }
        Base::leaveEvent(e);
    }

    void keyPressEvent(QKeyEvent *e) override
    {
        if (!m_wnd)
        {
            Base::keyPressEvent(e);
            return;
        }
        const int key = e->key();
        const Qt::KeyboardModifiers mods = e->modifiers();
        const bool ctrl = mods & Qt::ControlModifier;
        const bool alt = mods & (Qt::AltModifier | Qt::MetaModifier);
        if (key == Qt::Key_Space && (mods & Qt::AltModifier) && !ctrl)
        {
            // The keyboard's way to the system menu; nothing of this widget is touched after it.
            e->accept();
            if (CWnd *top = m_wnd->GetTopLevelParent())
                top->SendMessage(WM_SYSCOMMAND, SC_KEYMENU, ' ');
            return;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) && !ctrl && !alt)
        {
            e->accept();
            if (RouteDialogKey(key))
                return;
            if (!m_wnd)
                return;
        }
        UINT ch = 0;
        if (key == Qt::Key_Backspace)
            ch = 8;
        else if (key == Qt::Key_Return || key == Qt::Key_Enter)
            ch = 13;
        else if (key == Qt::Key_Escape)
            ch = 27;
        else if (ctrl && !alt && key >= Qt::Key_A && key <= Qt::Key_Z)
            ch = static_cast<UINT>(key - Qt::Key_A + 1);
        else if (((mods & Qt::ShiftModifier) && !ctrl && key == Qt::Key_Insert) ||
                 e->matches(QKeySequence::Paste))
            // Every paste key of the platform (Shift+Insert, a Paste key) is a paste like Ctrl+V.
            ch = 22;

        if (ch)
        {
            std::function<void()> base = [this, e] { Base::keyPressEvent(e); };
            Send(WM_CHAR, ch, 1, base);
            e->accept();
            return;
        }
        const QString text = e->text();
        if (ctrl || alt || text.isEmpty() || text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F)
        {
            // Keys without a character go straight to the default. A key held with Ctrl, Alt
            // or Meta makes no character either: the default gets it without its text, or an
            // edit would type it past every character filter.
            if ((ctrl || alt) && !text.isEmpty())
            {
                QKeyEvent bare(e->type(), e->key(), mods, e->nativeScanCode(), e->nativeVirtualKey(),
                               e->nativeModifiers(), QString(), e->isAutoRepeat(),
                               static_cast<quint16>(e->count()));
                Base::keyPressEvent(&bare);
                e->setAccepted(bare.isAccepted());
                return;
            }
            Base::keyPressEvent(e);
            return;
        }
        qsizetype units = 0;
        const UINT first = CharacterAt(text, 0, &units);
        if (units == text.size())
        {
            // One character, a surrogate pair included: the message carries it whole and the
            // default inserts it whole (the line edit refuses half a pair).
            std::function<void()> base = [this, e] { Base::keyPressEvent(e); };
            Send(WM_CHAR, first, 1, base);
            e->accept();
            return;
        }
        // Several characters at once (a composed text): one message each, and each default
        // inserts its own character.
        for (qsizetype i = 0; i < text.size(); i += units)
        {
            const UINT ch = CharacterAt(text, i, &units);
            QKeyEvent single(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, units));
            std::function<void()> base = [this, &single] { Base::keyPressEvent(&single); };
            if (!Send(WM_CHAR, ch, 1, base))
                break;
        }
        e->accept();
    }

    void focusInEvent(QFocusEvent *e) override
    {
        if (!m_wnd)
        {
            Base::focusInEvent(e);
            return;
        }
        std::function<void()> base = [this, e] { Base::focusInEvent(e); };
        Send(WM_SETFOCUS, reinterpret_cast<WPARAM>(FocusLeaving()), 0, base);
    }

    void focusOutEvent(QFocusEvent *e) override
    {
        if (!m_wnd)
        {
            Base::focusOutEvent(e);
            return;
        }
        NoteFocusLeaving(m_wnd->m_hWnd);
        std::function<void()> base = [this, e] { Base::focusOutEvent(e); };
        Send(WM_KILLFOCUS, 0, 0, base);
    }

    void timerEvent(QTimerEvent *e) override
    {
        UINT_PTR id = 0;
        if (!m_wnd || !TimerFor(m_wnd, e->timerId(), &id))
        {
            Base::timerEvent(e);
            return;
        }
        Send(WM_TIMER, id, 0, {});
    }

    void resizeEvent(QResizeEvent *e) override
    {
        if (!m_wnd)
        {
            Base::resizeEvent(e);
            return;
        }
        std::function<void()> base = [this, e] { Base::resizeEvent(e); };
        Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(e->size().width(), e->size().height()), base);
    }

    void closeEvent(QCloseEvent *e) override
    {
        // Qt never closes a window by itself: the window's WM_CLOSE handling decides.
        e->ignore();
        if (m_wnd)
            Send(WM_CLOSE, 0, 0, {});
    }

    void changeEvent(QEvent *e) override
    {
        if (m_wnd && e->type() == QEvent::ActivationChange && this->isWindow())
        {
            std::function<void()> base = [this, e] { Base::changeEvent(e); };
            const WPARAM state = this->isActiveWindow() ? WA_ACTIVE : WA_INACTIVE;
            Send(WM_ACTIVATE, MAKEWPARAM(static_cast<WORD>(state), this->isMinimized() ? 1 : 0), 0, base);
            return;
        }
        Base::changeEvent(e);
    }
};
} // namespace vxwin
