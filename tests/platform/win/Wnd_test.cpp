#include <QApplication>
#include <QPointer>
#include <QWheelEvent>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "tests/platform/win/WinTestSupport.h"

using wintest::HostWindow;
using wintest::Recorder;

namespace
{
class WndTest : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(host.Make()); }
    void TearDown() override
    {
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    HostWindow host;
};

TEST_F(WndTest, HoverAndLeaveFollowThePointer)
{
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&host, CRect(10, 10, 110, 60), 100));
    QTest::mouseMove(child.GetWidget(), QPoint(20, 20));
    EXPECT_GE(child.Count("move"), 1);
    ASSERT_TRUE(vxtest::WaitFor([&] { return child.Count("hover") == 1; }));
    EXPECT_EQ(child.Count("leave"), 0);

    QTest::mouseMove(host.GetWidget(), QPoint(300, 250));
    ASSERT_TRUE(vxtest::WaitFor([&] { return child.Count("leave") == 1; }));
    vxtest::ProcessEvents();
    EXPECT_EQ(child.Count("hover"), 1);
    EXPECT_EQ(child.Count("leave"), 1);
}

TEST_F(WndTest, LeaveIsPostedAtOnceWhenThePointerIsElsewhere)
{
    QTest::mouseMove(host.GetWidget(), QPoint(300, 250));
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&host, CRect(10, 10, 110, 60), 100));
    TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, child.m_hWnd, HOVER_DEFAULT};
    EXPECT_TRUE(TrackMouseEvent(&tme));
    ASSERT_TRUE(vxtest::WaitFor([&] { return child.Count("leave") == 1; }));
}

TEST_F(WndTest, PressReleaseAndDoubleClickReachTheirHandlersOnce)
{
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&host, CRect(10, 10, 110, 60), 100));
    QWidget *w = child.GetWidget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(w, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseRelease(w, Qt::RightButton, {}, QPoint(5, 5));
    const std::vector<std::string> expected = {"ldown", "lup", "ldbl", "lup", "rdown"};
    std::vector<std::string> clicks;
    for (const auto &e : child.log)
        if (e != "move" && e != "erase" && e != "paint")
            clicks.push_back(e);
    EXPECT_EQ(clicks, expected);
}

TEST_F(WndTest, HandledEventsDoNotTravelToTheParent)
{
    Recorder parent;
    ASSERT_TRUE(parent.MakeChild(&host, CRect(0, 0, 300, 200), 1));
    Recorder child;
    child.passOn = true; // even the default handling of the press keeps it here
    ASSERT_TRUE(child.MakeChild(&parent, CRect(10, 10, 60, 60), 2));
    QTest::mousePress(child.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(child.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(child.Count("ldown"), 1);
    EXPECT_EQ(parent.Count("ldown"), 0);
    EXPECT_EQ(parent.Count("lup"), 0);
}

TEST_F(WndTest, AnUnhandledWheelGoesToTheParent)
{
    Recorder parent;
    ASSERT_TRUE(parent.MakeChild(&host, CRect(0, 0, 300, 200), 1));
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&parent, CRect(10, 10, 60, 60), 2));
    auto wheel = [&](int delta) {
        QWidget *w = child.GetWidget();
        QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    };
    wheel(-240);
    EXPECT_EQ(child.wheelDelta, -240);
    EXPECT_EQ(parent.wheelCount, 0);
    child.handleWheel = false;
    wheel(120);
    EXPECT_EQ(parent.wheelCount, 1);
    EXPECT_EQ(parent.wheelDelta, 120);
}

class SelfDeleting : public CWnd
{
  public:
    explicit SelfDeleting(bool *deleted) : m_deleted(deleted) {}
    ~SelfDeleting() override { *m_deleted = true; }

  protected:
    void OnLButtonUp(UINT, CPoint) override
    {
        // As a button's callback may do: the page that owns the control deletes it.
        delete this;
    }

  private:
    bool *m_deleted;
};

TEST_F(WndTest, AWindowDeletedInItsOwnClickHandlerIsSafe)
{
    bool deleted = false;
    auto *w = new SelfDeleting(&deleted);
    ASSERT_TRUE(w->CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(10, 10, 60, 60), &host, 5));
    const HWND hwnd = w->m_hWnd;
    QPointer<QWidget> widget = w->GetWidget();
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(host.GetDlgItem(5), nullptr);
    ASSERT_FALSE(widget.isNull()); // released later, not under the handler's feet
    EXPECT_TRUE(widget->isHidden());
    vxtest::ProcessEvents();
    EXPECT_TRUE(widget.isNull());
}

// A modal prompt inside whose loop a posted message destroys another window (whose object
// lives on) and lets Qt delete its widget there.
class DestroyingPrompt : public CDialog
{
  public:
    explicit DestroyingPrompt(CWnd *victim) : m_victim(victim) {}

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_USER + 116)
        {
            m_victim->DestroyWindow();
            vxtest::ProcessEvents(); // the released widget goes inside this loop
            EndDialog(IDOK);
            return 0;
        }
        return CDialog::WindowProc(msg, wParam, lParam);
    }

  private:
    CWnd *m_victim;
};

// A window whose release handler runs such a prompt on itself, then hands the release on.
class PromptOnRelease : public CWnd
{
  public:
    bool handlerReturned = false;

  protected:
    void OnLButtonUp(UINT, CPoint) override
    {
        DestroyingPrompt prompt(this);
        prompt.DoModal();
        Default();
        handlerReturned = true;
    }
};

TEST_F(WndTest, AWindowDestroyedInsideANestedLoopOfItsOwnHandlerIsSafe)
{
    vxwin::SetModalHook([](CDialog &d) { d.PostMessage(WM_USER + 116); });
    PromptOnRelease w;
    ASSERT_TRUE(w.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(10, 10, 60, 60), &host, 5));
    QPointer<QWidget> widget = w.GetWidget();
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(5, 5));
    vxwin::SetModalHook({});
    EXPECT_TRUE(w.handlerReturned);
    EXPECT_EQ(w.m_hWnd, nullptr);
    EXPECT_TRUE(widget.isNull());
}

TEST(WndLifetime, AKeyWhoseDialogHandlingDestroysTheFocusedWindowIsSafe)
{
    // A top-level window whose Enter handling runs a prompt that destroys the edit the key
    // was typed into, and then leaves the key to the edit.
    class KeyPromptHost : public HostWindow
    {
      public:
        CWnd *victim = nullptr;

      protected:
        BOOL PreTranslateDialogKey(int) override
        {
            DestroyingPrompt prompt(victim);
            prompt.DoModal();
            return FALSE;
        }
    } owner;
    ASSERT_TRUE(owner.Make());
    CEdit field;
    ASSERT_TRUE(field.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), &owner, 1005));
    owner.victim = &field;
    vxwin::SetModalHook([](CDialog &d) { d.PostMessage(WM_USER + 116); });
    QPointer<QWidget> widget = field.GetWidget();
    QTest::keyClick(widget, Qt::Key_Return);
    vxwin::SetModalHook({});
    EXPECT_EQ(field.m_hWnd, nullptr);
    EXPECT_TRUE(widget.isNull());
    owner.DestroyWindow();
    vxtest::ProcessEvents();
}

// Records the order of WM_DESTROY and what each window still finds then.
std::vector<std::string> g_destroyLog;

class DestroyWatcher : public CWnd
{
  public:
    explicit DestroyWatcher(std::string name) : m_name(std::move(name)) {}
    int childId = 0;

  protected:
    void OnDestroy() override
    {
        std::string entry = m_name;
        if (childId)
            entry +=
                GetDlgItem(childId) && IsWindow(GetDlgItem(childId)->m_hWnd) ? " child-alive" : " child-gone";
        if (GetParent())
            entry += IsWindow(GetParent()->m_hWnd) ? " parent-alive" : " parent-gone";
        g_destroyLog.push_back(entry);
        CWnd::OnDestroy();
    }

  private:
    std::string m_name;
};

TEST_F(WndTest, AParentHearsOfItsDestructionBeforeItsChildren)
{
    g_destroyLog.clear();
    DestroyWatcher page("page");
    DestroyWatcher first("first");
    DestroyWatcher second("second");
    DestroyWatcher inner("inner");
    page.childId = 2;
    first.childId = 4;
    ASSERT_TRUE(page.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 100), &host, 1));
    ASSERT_TRUE(first.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), &page, 2));
    ASSERT_TRUE(second.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(60, 0, 110, 50), &page, 3));
    ASSERT_TRUE(inner.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &first, 4));
    page.DestroyWindow();
    const std::vector<std::string> expected = {"page child-alive parent-alive", "second parent-alive",
                                               "first child-alive parent-alive", "inner parent-alive"};
    EXPECT_EQ(g_destroyLog, expected);
    EXPECT_EQ(page.m_hWnd, nullptr);
    EXPECT_EQ(first.m_hWnd, nullptr);
    EXPECT_EQ(second.m_hWnd, nullptr);
    EXPECT_EQ(inner.m_hWnd, nullptr);
}

// Page controls are deleted in the order they were made: a panel before the labels inside it.
TEST_F(WndTest, AChildMayOutliveTheObjectOfAParentThatDestroyedIt)
{
    auto panel = std::make_unique<Recorder>();
    auto label = std::make_unique<Recorder>();
    ASSERT_TRUE(panel->MakeChild(&host, CRect(0, 0, 200, 100), 1));
    ASSERT_TRUE(label->MakeChild(panel.get(), CRect(5, 5, 50, 20), 2));
    EXPECT_EQ(label->GetParent(), panel.get());
    panel.reset();
    EXPECT_EQ(label->m_hWnd, nullptr);
    EXPECT_EQ(label->GetParent(), nullptr);
    label.reset();
    vxtest::ProcessEvents();
}

class DeletesChildrenOnDestroy : public CWnd
{
  public:
    std::vector<CWnd *> owned;

  protected:
    void OnDestroy() override
    {
        // As pages do: their controls are deleted when the page goes.
        for (CWnd *w : owned)
            delete w;
        owned.clear();
        CWnd::OnDestroy();
    }
};

TEST_F(WndTest, AParentMayDeleteItsChildrenInItsOwnOnDestroy)
{
    DeletesChildrenOnDestroy page;
    ASSERT_TRUE(page.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 100), &host, 1));
    for (int i = 0; i < 3; ++i)
    {
        auto *child = new Recorder;
        ASSERT_TRUE(child->MakeChild(&page, CRect(i * 20, 0, i * 20 + 10, 10), 10 + i));
        page.owned.push_back(child);
    }
    EXPECT_TRUE(page.DestroyWindow());
    EXPECT_TRUE(page.owned.empty());
    EXPECT_EQ(page.m_hWnd, nullptr);
    vxtest::ProcessEvents();
}

class MessageLog : public CWnd
{
  public:
    std::vector<std::pair<UINT, std::thread::id>> seen;
    WPARAM lastW = 0;
    LPARAM lastL = 0;

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg >= WM_USER)
        {
            seen.emplace_back(msg, std::this_thread::get_id());
            lastW = wParam;
            lastL = lParam;
            return static_cast<LRESULT>(wParam + static_cast<WPARAM>(lParam));
        }
        return CWnd::WindowProc(msg, wParam, lParam);
    }
};

TEST_F(WndTest, APostFromAWorkerThreadArrivesOnTheUiThread)
{
    MessageLog target;
    ASSERT_TRUE(target.CreateEx(0, u"x", u"", WS_CHILD, CRect(0, 0, 10, 10), &host, 7));
    const HWND hwnd = target.m_hWnd;
    std::atomic<BOOL> posted{FALSE};
    std::thread worker([&] { posted = PostMessage(hwnd, WM_USER + 104, 3, 4); });
    worker.join();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(target.seen.empty()); // posted, not sent
    ASSERT_TRUE(vxtest::WaitFor([&] { return !target.seen.empty(); }));
    EXPECT_EQ(target.seen[0].first, WM_USER + 104);
    EXPECT_EQ(target.seen[0].second, std::this_thread::get_id());
    EXPECT_EQ(target.lastW, 3u);
    EXPECT_EQ(target.lastL, 4);
}

TEST_F(WndTest, PostsToDeadWindowsFailQuietly)
{
    auto *target = new MessageLog;
    ASSERT_TRUE(target->CreateEx(0, u"x", u"", WS_CHILD, CRect(0, 0, 10, 10), &host, 7));
    const HWND hwnd = target->m_hWnd;
    EXPECT_TRUE(PostMessage(hwnd, WM_USER + 105, 0, 0)); // in flight when the window dies
    delete target;
    EXPECT_FALSE(PostMessage(hwnd, WM_USER + 105, 0, 0));
    EXPECT_FALSE(PostMessage(nullptr, WM_USER + 105, 0, 0));
    EXPECT_EQ(SendMessage(hwnd, WM_USER + 105, 1, 1), 0);
    vxtest::ProcessEvents(); // the message in flight is dropped
}

TEST_F(WndTest, SendMessageRunsAtOnce)
{
    MessageLog target;
    ASSERT_TRUE(target.CreateEx(0, u"x", u"", WS_CHILD, CRect(0, 0, 10, 10), &host, 7));
    EXPECT_EQ(target.SendMessage(WM_USER + 1000, 5, 6), 11);
    ASSERT_EQ(target.seen.size(), 1u);
    EXPECT_EQ(SendMessage(target.m_hWnd, WM_USER + 1001, 1, 2), 3);
    EXPECT_EQ(target.seen.size(), 2u);

    // From another thread the sender waits for the UI thread's answer.
    std::atomic<LRESULT> answer{-1};
    const HWND hwnd = target.m_hWnd;
    std::thread worker([&] { answer = SendMessage(hwnd, WM_USER + 1002, 20, 22); });
    ASSERT_TRUE(vxtest::WaitFor([&] { return answer.load() != -1; }));
    worker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(target.seen.back().second, std::this_thread::get_id());
}

TEST_F(WndTest, GetDlgItemLooksAtDirectChildrenInCreationOrder)
{
    Recorder pageA;
    Recorder pageB;
    ASSERT_TRUE(pageA.MakeChild(&host, CRect(0, 0, 100, 100), 1));
    ASSERT_TRUE(pageB.MakeChild(&host, CRect(100, 0, 200, 100), 2));
    Recorder a1, a2, b1, grandchild;
    ASSERT_TRUE(a1.MakeChild(&pageA, CRect(0, 0, 10, 10), 1187));
    ASSERT_TRUE(a2.MakeChild(&pageA, CRect(0, 20, 10, 30), 1187));
    ASSERT_TRUE(b1.MakeChild(&pageB, CRect(0, 0, 10, 10), 1187));
    ASSERT_TRUE(grandchild.MakeChild(&b1, CRect(0, 0, 5, 5), 1300));
    a2.BringWindowToTop(); // the stacking order does not change the lookup order
    EXPECT_EQ(pageA.GetDlgItem(1187), &a1);
    EXPECT_EQ(pageB.GetDlgItem(1187), &b1);
    EXPECT_EQ(GetDlgItem(pageB.m_hWnd, 1187), b1.m_hWnd);
    EXPECT_EQ(pageB.GetDlgItem(1300), nullptr);
    EXPECT_EQ(host.GetDlgItem(1187), nullptr);
    EXPECT_EQ(a1.GetDlgCtrlID(), 1187);
    EXPECT_EQ(a1.GetParent(), &pageA);
    a1.DestroyWindow();
    EXPECT_EQ(pageA.GetDlgItem(1187), &a2);
}

TEST_F(WndTest, TimersArriveByTheirOwnIds)
{
    Recorder r;
    ASSERT_TRUE(r.MakeChild(&host, CRect(0, 0, 10, 10), 1));
    EXPECT_EQ(r.SetTimer(1, 5), 1u);
    EXPECT_EQ(r.SetTimer(7, 5), 7u);
    auto count = [&](UINT_PTR id) { return std::count(r.timers.begin(), r.timers.end(), id); };
    ASSERT_TRUE(vxtest::WaitFor([&] { return count(1) >= 1 && count(7) >= 1; }));
    EXPECT_TRUE(r.KillTimer(1));
    EXPECT_FALSE(r.KillTimer(1));
    r.timers.clear();
    ASSERT_TRUE(vxtest::WaitFor([&] { return count(7) >= 3; }));
    EXPECT_EQ(count(1), 0);
    r.DestroyWindow();
    r.timers.clear();
    vxtest::ProcessEvents();
    EXPECT_TRUE(r.timers.empty());
}

TEST_F(WndTest, CreationHidesUnlessVisibleAndPassesTheCreateRecord)
{
    class Creator : public CWnd
    {
      public:
        CREATESTRUCT seen{};
        int result = 0;

      protected:
        int OnCreate(LPCREATESTRUCT cs) override
        {
            seen = *cs;
            return result;
        }
    };
    Creator hidden;
    ASSERT_TRUE(hidden.CreateEx(0, u"cls", u"name", WS_CHILD, CRect(5, 6, 25, 46), &host, 9));
    EXPECT_FALSE(hidden.IsWindowVisible());
    EXPECT_EQ(hidden.seen.x, 5);
    EXPECT_EQ(hidden.seen.cy, 40);
    EXPECT_EQ(hidden.seen.hwndParent, host.m_hWnd);
    EXPECT_EQ(std::u16string(hidden.seen.lpszName), u"name");
    hidden.ShowWindow(SW_SHOW);
    EXPECT_TRUE(hidden.IsWindowVisible());

    Creator refused;
    refused.result = -1;
    EXPECT_FALSE(refused.CreateEx(0, u"cls", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 5, 5), &host, 10));
    EXPECT_EQ(refused.m_hWnd, nullptr);
    EXPECT_EQ(host.GetDlgItem(10), nullptr);
}

TEST_F(WndTest, GeometryAndCoordinateMapping)
{
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&host, CRect(30, 40, 130, 90), 1));
    CRect client;
    child.GetClientRect(&client);
    EXPECT_EQ(client, CRect(0, 0, 100, 50));
    CRect window;
    child.GetWindowRect(&window);
    CRect hostRect;
    host.GetWindowRect(&hostRect);
    EXPECT_EQ(window.left - hostRect.left, 30);
    EXPECT_EQ(window.top - hostRect.top, 40);
    host.ScreenToClient(&window);
    EXPECT_EQ(window, CRect(30, 40, 130, 90));
    CPoint p(1, 2);
    child.MapWindowPoints(&host, &p, 1);
    EXPECT_EQ(p, CPoint(31, 42));
    child.MoveWindow(0, 0, 20, 10);
    child.GetClientRect(&client);
    EXPECT_EQ(client.Width(), 20);
    child.SetWindowPos(nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    child.GetWindowRect(&window);
    host.ScreenToClient(&window);
    EXPECT_EQ(window, CRect(3, 4, 23, 14));
}

TEST_F(WndTest, EnableSendsOnlyOnChangeAndInvalidateChoosesTheErase)
{
    Recorder r;
    ASSERT_TRUE(r.MakeChild(&host, CRect(0, 0, 50, 50), 1));
    r.EnableWindow(FALSE);
    r.EnableWindow(FALSE);
    r.EnableWindow(TRUE);
    EXPECT_EQ(r.Count("disable"), 1);
    EXPECT_EQ(r.Count("enable"), 1);

    // A child of a disabled window keeps its own state.
    Recorder inner;
    ASSERT_TRUE(inner.MakeChild(&r, CRect(0, 0, 5, 5), 2));
    r.EnableWindow(FALSE);
    EXPECT_TRUE(inner.IsWindowEnabled());
    EXPECT_FALSE(r.IsWindowEnabled());
    r.EnableWindow(TRUE);

    vxtest::ProcessEvents();
    r.log.clear();
    r.Invalidate(FALSE);
    r.UpdateWindow();
    EXPECT_EQ(r.log, (std::vector<std::string>{"paint"}));
    r.log.clear();
    r.Invalidate(TRUE);
    r.UpdateWindow();
    EXPECT_EQ(r.log, (std::vector<std::string>{"erase", "paint"}));
}

TEST_F(WndTest, WindowTextTravelsAsMessages)
{
    Recorder r;
    ASSERT_TRUE(r.MakeChild(&host, CRect(0, 0, 50, 50), 1));
    r.SetWindowText(u"Vormatik");
    CString text;
    r.GetWindowText(text);
    EXPECT_EQ(text.str(), u"Vormatik");
    EXPECT_EQ(r.GetWindowTextLength(), 8);
    char16_t small[5];
    EXPECT_EQ(r.GetWindowText(small, 5), 4);
    EXPECT_EQ(std::u16string(small), u"Vorm");
}

TEST(WinTypes, ParameterPackingKeepsSignedCoordinates)
{
    const LPARAM lp = MAKELPARAM(-5, 300);
    EXPECT_EQ(GET_X_LPARAM(lp), -5);
    EXPECT_EQ(GET_Y_LPARAM(lp), 300);
    EXPECT_EQ(CPoint(lp), CPoint(-5, 300));
    const WPARAM wp = MAKEWPARAM(MK_LBUTTON, static_cast<WORD>(static_cast<SHORT>(-120)));
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wp), -WHEEL_DELTA);
    EXPECT_EQ(GET_KEYSTATE_WPARAM(wp), MK_LBUTTON);
    EXPECT_EQ(LOWORD(0x12345678u), 0x5678);
    EXPECT_EQ(HIWORD(0x12345678u), 0x1234);
}

TEST(WinTypes, ColourValuesConvertOnlyExplicitly)
{
    constexpr COLORREF face = COLORREF{0x00ECE9D8};
    EXPECT_EQ(GetRValue(face), 0xD8);
    EXPECT_EQ(GetGValue(face), 0xE9);
    EXPECT_EQ(GetBValue(face), 0xEC);
    EXPECT_EQ(face, RGB(0xD8, 0xE9, 0xEC));
    EXPECT_EQ(ColorRefToArgb(face), 0xFFD8E9ECu);
    EXPECT_EQ(ColorRefToArgb(face, 0), 0x00D8E9ECu);
    EXPECT_EQ(ArgbToColorRef(0xFFDD137Bu), RGB(0xDD, 0x13, 0x7B));
    static_assert(!std::is_convertible_v<COLORREF, ARGB>);
    static_assert(!std::is_convertible_v<ARGB, COLORREF>);
}

TEST(WinTypes, RectangleHelpers)
{
    CRect r(10, 20, 30, 60);
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 40);
    EXPECT_TRUE(r.PtInRect(CPoint(10, 20)));
    EXPECT_FALSE(r.PtInRect(CPoint(30, 20))); // right and bottom are outside
    CRect out;
    CRect other(25, 0, 100, 30);
    EXPECT_TRUE(IntersectRect(&out, &r, &other));
    EXPECT_EQ(out, CRect(25, 20, 30, 30));
    CRect apart(100, 100, 110, 110);
    EXPECT_FALSE(IntersectRect(&out, &r, &apart));
    EXPECT_TRUE(out.IsRectEmpty());
    r.InflateRect(1, 2);
    EXPECT_EQ(r, CRect(9, 18, 31, 62));
    CRect flipped(5, 5, 0, 0);
    flipped.NormalizeRect();
    EXPECT_EQ(flipped, CRect(0, 0, 5, 5));
}
} // namespace

namespace
{
class FocusRecorder : public CEdit
{
  public:
    std::vector<std::string> log;

  protected:
    void OnSetFocus(CWnd *old) override
    {
        log.push_back(old ? "set-from-window" : "set");
        CEdit::OnSetFocus(old);
    }
    void OnKillFocus(CWnd *next) override
    {
        log.push_back("kill");
        CEdit::OnKillFocus(next);
    }
};

TEST_F(WndTest, FocusMovesBetweenWindowsWithTheirHandlers)
{
    host.GetWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.GetWidget()));
    FocusRecorder first;
    FocusRecorder second;
    ASSERT_TRUE(first.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), &host, 1));
    ASSERT_TRUE(second.Create(WS_CHILD | WS_VISIBLE, CRect(0, 30, 100, 50), &host, 2));
    first.SetFocus();
    EXPECT_EQ(CWnd::GetFocus(), &first);
    EXPECT_EQ(GetFocus(), first.m_hWnd);
    EXPECT_EQ(second.SetFocus(), &first);
    EXPECT_EQ(CWnd::GetFocus(), &second);
    EXPECT_EQ(first.log, (std::vector<std::string>{"set", "kill"}));
    ASSERT_EQ(second.log.size(), 1u);
    EXPECT_EQ(second.log[0], "set-from-window");
}

TEST_F(WndTest, CaptureBelongsToOneWindowUntilReleased)
{
    Recorder a;
    ASSERT_TRUE(a.MakeChild(&host, CRect(0, 0, 50, 50), 1));
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    a.SetCapture();
    EXPECT_EQ(CWnd::GetCapture(), &a);
    EXPECT_EQ(GetCapture(), a.m_hWnd);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    a.SetCapture();
    a.DestroyWindow();
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
}

TEST_F(WndTest, RaisingDuringAPaintWaitsUntilThePaintIsOver)
{
    class RaiseOnPaint : public CWnd
    {
      public:
        int paints = 0;

      protected:
        void OnPaint() override
        {
            ++paints;
            BringWindowToTop();
        }
    };
    RaiseOnPaint low;
    ASSERT_TRUE(low.CreateEx(0, u"x", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), &host, 1));
    Recorder high;
    ASSERT_TRUE(high.MakeChild(&host, CRect(10, 10, 60, 60), 2));
    const QObjectList &order = host.GetWidget()->children();
    ASSERT_EQ(order.back(), high.GetWidget());
    low.Invalidate();
    low.UpdateWindow();
    EXPECT_GE(low.paints, 1);
    EXPECT_EQ(order.back(), high.GetWidget()); // not yet: the paint was running
    vxtest::ProcessEvents();
    EXPECT_EQ(host.GetWidget()->children().back(), low.GetWidget());
}

TEST_F(WndTest, EnterAndEscapeOutsideADialogAreCharacters)
{
    class Keys : public CEdit
    {
      public:
        std::vector<UINT> chars;

      protected:
        void OnChar(UINT ch, UINT repeat, UINT flags) override
        {
            chars.push_back(ch);
            CEdit::OnChar(ch, repeat, flags);
        }
    } keys;
    ASSERT_TRUE(keys.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), &host, 1));
    QTest::keyClick(keys.GetWidget(), Qt::Key_Return);
    QTest::keyClick(keys.GetWidget(), Qt::Key_Escape);
    QTest::keyClick(keys.GetWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(keys.chars, (std::vector<UINT>{13, 27, 26}));
}
} // namespace

namespace
{
TEST(WndLifetime, WindowsWhoseWidgetsQtDeletedBecomeWindowless)
{
    HostWindow owner;
    ASSERT_TRUE(owner.Make());
    CDialog modeless;
    ASSERT_TRUE(modeless.Create(0, &owner));
    const HWND dialogHandle = modeless.m_hWnd;
    Recorder page;
    ASSERT_TRUE(page.MakeChild(&modeless, CRect(0, 0, 50, 50), 3));
    CEdit field;
    ASSERT_TRUE(field.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 40, 20), &page, 1005));
    modeless.SetDlgItemText(3, u"page");
    CString text;
    EXPECT_EQ(modeless.GetDlgItemText(3, text), 4);
    EXPECT_EQ(text.str(), u"page");

    // The owner goes first: Qt takes the owned dialog's widgets with it.
    owner.DestroyWindow();
    vxtest::ProcessEvents();
    EXPECT_FALSE(IsWindow(dialogHandle));
    EXPECT_EQ(modeless.m_hWnd, nullptr);
    EXPECT_EQ(page.m_hWnd, nullptr);
    EXPECT_EQ(field.m_hWnd, nullptr);
    EXPECT_EQ(modeless.GetDlgItem(3), nullptr);
    EXPECT_FALSE(modeless.PostMessage(WM_USER, 0, 0));
    EXPECT_EQ(modeless.GetDlgItemText(3, text), 0);
}
} // namespace

namespace
{
class MouseRoutingTest : public WndTest
{
};

TEST_F(MouseRoutingTest, AReleaseGoesToTheWindowUnderThePointer)
{
    Recorder a;
    Recorder b;
    ASSERT_TRUE(a.MakeChild(&host, CRect(10, 10, 60, 60), 1));
    ASSERT_TRUE(b.MakeChild(&host, CRect(100, 10, 150, 60), 2));
    QTest::mousePress(a.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    // Qt hands the release to the widget that took the press; the pointer is over b.
    QTest::mouseRelease(a.GetWidget(), Qt::LeftButton, {}, QPoint(95, 5));
    EXPECT_EQ(a.Count("ldown"), 1);
    EXPECT_EQ(a.Count("lup"), 0);
    EXPECT_EQ(b.Count("lup"), 1);
}

TEST_F(MouseRoutingTest, TheCaptureKeepsTheMessagesWhereverThePointerIs)
{
    Recorder a;
    Recorder b;
    ASSERT_TRUE(a.MakeChild(&host, CRect(10, 10, 60, 60), 1));
    ASSERT_TRUE(b.MakeChild(&host, CRect(100, 10, 150, 60), 2));
    QTest::mousePress(a.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    a.SetCapture();
    QTest::mouseRelease(a.GetWidget(), Qt::LeftButton, {}, QPoint(95, 5));
    ReleaseCapture();
    EXPECT_EQ(a.Count("lup"), 1);
    EXPECT_EQ(b.Count("lup"), 0);
}
} // namespace
