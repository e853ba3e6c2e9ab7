#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

namespace
{
class ScriptedDialog : public CDialog
{
  public:
    explicit ScriptedDialog(CWnd *parent = nullptr) : CDialog(0, parent) {}
    int inits = 0;
    int oks = 0;
    int cancels = 0;
    int closes = 0;
    bool hideInInit = false;
    bool endOnPosted = false;
    COLORREF brushColor = RGB(0x12, 0x34, 0x56);

  protected:
    BOOL OnInitDialog() override
    {
        ++inits;
        CDialog::OnInitDialog();
        MoveWindow(50, 60, 200, 120);
        if (hideInInit)
            ShowWindow(SW_HIDE);
        return TRUE;
    }
    void OnOK() override
    {
        ++oks;
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        ++cancels;
        CDialog::OnCancel();
    }
    void OnClose() override
    {
        ++closes;
        CWnd::OnClose();
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_USER + 116 && endOnPosted)
        {
            EndDialog(static_cast<int>(wParam));
            return 0;
        }
        return CDialog::WindowProc(msg, wParam, lParam);
    }
    HBRUSH OnCtlColor(CDC *dc, CWnd *wnd, UINT kind) override
    {
        if (kind == CTLCOLOR_DLG)
        {
            if (!m_brush)
                m_brush = CreateSolidBrush(brushColor);
            return m_brush;
        }
        return CDialog::OnCtlColor(dc, wnd, kind);
    }

  public:
    ~ScriptedDialog() override
    {
        if (m_brush)
            DeleteObject(m_brush);
    }

  private:
    HBRUSH m_brush = nullptr;
};

class ModalHookGuard
{
  public:
    explicit ModalHookGuard(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalHookGuard() { vxwin::SetModalHook(nullptr); }
};

TEST(DialogTest, EnterEndsWithOk)
{
    ScriptedDialog dlg;
    ModalHookGuard hook([](CDialog &d) { QTest::keyClick(d.GetWidget(), Qt::Key_Return); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_EQ(dlg.oks, 1);
    EXPECT_EQ(dlg.cancels, 0);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(DialogTest, EscapeEndsWithCancel)
{
    ScriptedDialog dlg;
    ModalHookGuard hook([](CDialog &d) { QTest::keyClick(d.GetWidget(), Qt::Key_Escape); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.cancels, 1);
    EXPECT_EQ(dlg.oks, 0);
}

TEST(DialogTest, CloseGoesThroughOnCloseToOnCancel)
{
    ScriptedDialog dlg;
    ModalHookGuard hook([](CDialog &d) { d.GetWidget()->close(); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_EQ(dlg.cancels, 1);
}

TEST(DialogTest, KeysInAChildControlReachTheDialog)
{
    class EditDialog : public ScriptedDialog
    {
      public:
        CEdit edit;

      protected:
        BOOL OnInitDialog() override
        {
            ScriptedDialog::OnInitDialog();
            edit.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 100, 30), this, 1005);
            return TRUE;
        }
    } dlg;
    ModalHookGuard hook([&](CDialog &) {
        QTest::keyClicks(dlg.edit.GetWidget(), "ab");
        QTest::keyClick(dlg.edit.GetWidget(), Qt::Key_Enter);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.oks, 1);
}

TEST(DialogTest, OnOkThatDoesNotEndKeepsTheDialogOpen)
{
    class Stubborn : public ScriptedDialog
    {
      protected:
        void OnOK() override { ++oks; }
    } dlg;
    ModalHookGuard hook([&](CDialog &d) {
        QTest::keyClick(d.GetWidget(), Qt::Key_Return);
        QTest::keyClick(d.GetWidget(), Qt::Key_Return);
        EXPECT_TRUE(d.IsModalLoopRunning());
        EXPECT_TRUE(d.IsWindowVisible());
        d.EndDialog(5);
    });
    EXPECT_EQ(dlg.DoModal(), 5);
    EXPECT_EQ(dlg.oks, 2);
}

TEST(DialogTest, PostedMessagesArriveInsideTheNestedLoop)
{
    ScriptedDialog dlg;
    dlg.endOnPosted = true;
    ModalHookGuard hook([](CDialog &d) { EXPECT_TRUE(d.PostMessage(WM_USER + 116, 42, 0)); });
    EXPECT_EQ(dlg.DoModal(), 42);
}

TEST(DialogTest, DestroyingTheRunningDialogEndsItsLoopAsCancelled)
{
    ScriptedDialog dlg;
    bool rescued = false;
    QObject context; // goes before the dialog: a pending rescue never outlives it
    ModalHookGuard hook([&](CDialog &d) {
        d.DestroyWindow();
        // Were the loop to go on, this ends it, so that the fault shows as a failure, not a hang.
        QTimer::singleShot(0, &context, [&] {
            if (dlg.IsModalLoopRunning())
            {
                rescued = true;
                dlg.EndDialog(99);
            }
        });
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(rescued);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_FALSE(dlg.IsModalLoopRunning());
}

TEST(DialogTest, ADialogWhoseOwnerGoesEndsItsLoop)
{
    wintest::HostWindow owner;
    ASSERT_TRUE(owner.Make());
    ScriptedDialog dlg(&owner);
    bool rescued = false;
    QObject context;
    ModalHookGuard hook([&](CDialog &) {
        // Qt takes the owned dialog's widget with its owner's.
        delete owner.GetWidget();
        QTimer::singleShot(0, &context, [&] {
            if (dlg.IsModalLoopRunning())
            {
                rescued = true;
                dlg.EndDialog(99);
            }
        });
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(rescued);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(DialogTest, ADialogThatHidesItselfStaysHidden)
{
    ScriptedDialog dlg;
    dlg.hideInInit = true;
    bool wasVisible = true;
    ModalHookGuard hook([&](CDialog &d) {
        wasVisible = d.IsWindowVisible();
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_FALSE(wasVisible);
}

TEST(DialogTest, EndDialogDuringInitialisationSkipsTheLoop)
{
    class Quick : public CDialog
    {
      protected:
        BOOL OnInitDialog() override
        {
            EndDialog(0);
            return TRUE;
        }
    } dlg;
    int hookCalls = 0;
    ModalHookGuard hook([&](CDialog &) { ++hookCalls; });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_EQ(hookCalls, 0);
}

TEST(DialogTest, TheDialogBrushFillsTheBackground)
{
    ScriptedDialog dlg;
    QImage image;
    ModalHookGuard hook([&](CDialog &d) {
        image = vxtest::GrabWidget(d.GetWidget());
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(vxtest::PixelAt(image, 5, 5), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(vxtest::PixelAt(image, 150, 100), QColor(0x12, 0x34, 0x56));
}

// A frameless picture dialog: the background colour is its transparent key; a press
// anywhere (or on a label that forwards it) drags it by its caption.
class PictureDialog : public ScriptedDialog
{
  public:
    CStatic label;

  protected:
    BOOL OnInitDialog() override
    {
        ScriptedDialog::OnInitDialog();
        SetWindowLong(GWL_STYLE, 0);
        SetWindowLong(GWL_EXSTYLE, static_cast<LONG>(WS_EX_LAYERED));
        SetLayeredWindowAttributes(brushColor, 0, LWA_COLORKEY);
        label.Create(u"label", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(100, 80, 180, 100), this, 1000);
        return TRUE;
    }
    void OnPaint() override
    {
        if (vxwin::PaintContext *ctx = GetPaintContext())
            ctx->Painter()->fillRect(QRect(20, 20, 40, 30), Qt::red);
    }
    void OnLButtonDown(UINT flags, CPoint point) override
    {
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
        CDialog::OnLButtonDown(flags, point);
    }
};

TEST(DialogTest, AColourKeyedDialogIsFramelessAndTransparentWhereTheKeyIs)
{
    PictureDialog dlg;
    QImage image;
    Qt::WindowFlags flags;
    bool translucent = false;
    ModalHookGuard hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        flags = d.GetWidget()->windowFlags();
        translucent = d.GetWidget()->testAttribute(Qt::WA_TranslucentBackground);
        image = vxtest::GrabWidget(d.GetWidget());
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(translucent);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(vxtest::PixelAt(image, 5, 5).alpha(), 0);         // key colour: transparent
    EXPECT_EQ(vxtest::PixelAt(image, 30, 30), QColor(Qt::red)); // drawn: opaque
}

TEST(DialogTest, ACaptionDragMovesTheDialog)
{
    PictureDialog dlg;
    QPoint before, after;
    ModalHookGuard hook([&](CDialog &d) {
        QWidget *w = d.GetWidget();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        before = w->pos();
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
        vxtest::ProcessEvents(); // the posted caption press starts the move
        QTest::mouseMove(w, QPoint(50, 40));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(50, 40));
        after = w->pos();
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(after - before, QPoint(40, 30));
}

TEST(DialogTest, ALabelForwardingItsPressDragsTheDialog)
{
    class ForwardingLabel : public CStatic
    {
      protected:
        void OnLButtonDown(UINT flags, CPoint point) override
        {
            if (GetParent())
                GetParent()->SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
        }
    };
    class LabelDialog : public PictureDialog
    {
      public:
        ForwardingLabel forwarder;

      protected:
        BOOL OnInitDialog() override
        {
            PictureDialog::OnInitDialog();
            forwarder.Create(u"drag me", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(10, 50, 90, 70), this,
                             1001);
            return TRUE;
        }
    } dlg;
    QPoint before, after;
    ModalHookGuard hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        QWidget *label = dlg.forwarder.GetWidget();
        before = d.GetWidget()->pos();
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents();
        QTest::mouseMove(label, QPoint(25, -5));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(25, -5));
        after = d.GetWidget()->pos();
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(after - before, QPoint(20, -10));
}
} // namespace
