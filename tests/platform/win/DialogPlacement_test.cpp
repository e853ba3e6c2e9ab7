// Where dialogs open: once, at their first show, with the size their initialisation gave them,
// centred over their owner (the screen without one) and wholly on the screen; afterwards only a
// change of size that takes them off the screen moves them.
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

namespace
{
QRect Screen()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

QRect Frame(const CWnd &wnd)
{
    return wnd.GetWidget()->frameGeometry();
}

// The top left that centres a rectangle of this size over `over`.
QPoint CentredOver(const QRect &over, QSize size)
{
    return {over.left() + (over.width() - size.width()) / 2,
            over.top() + (over.height() - size.height()) / 2};
}

// A borderless dialog that takes its size in its initialisation, where it stands, as the
// program's picture dialogs do.
class SizedDialog : public CDialog
{
  public:
    SizedDialog(QSize size, CWnd *owner = nullptr) : CDialog(0, owner), m_size(size) {}
    std::function<void(SizedDialog &)> initExtra;

  protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SetWindowLong(GWL_STYLE, static_cast<LONG>(GetStyle() & WS_VISIBLE));
        CRect where;
        GetWindowRect(&where);
        MoveWindow(where.left, where.top, m_size.width(), m_size.height());
        if (initExtra)
            initExtra(*this);
        return TRUE;
    }

  private:
    QSize m_size;
};

class ModalScript
{
  public:
    explicit ModalScript(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalScript() { vxwin::SetModalHook(nullptr); }
};

// Runs the dialog modally and gives its frame as it was first shown.
QRect OpenedAt(CDialog &dlg, const std::function<void(CDialog &)> &more = {})
{
    QRect seen;
    ModalScript script([&](CDialog &d) {
        seen = Frame(d);
        EXPECT_TRUE(d.IsWindowVisible());
        if (more)
            more(d);
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    return seen;
}

// A shown owner window, borderless, with its top left at `where`.
class Owner : public CWnd
{
  public:
    bool Make(QPoint where, QSize size, bool shown = true)
    {
        if (!CreateEx(0, u"owner", u"Owner", WS_POPUP | (shown ? WS_VISIBLE : 0),
                      CRect(where.x(), where.y(), where.x() + size.width(), where.y() + size.height()),
                      nullptr, 0))
            return false;
        return !shown || QTest::qWaitForWindowExposed(GetWidget());
    }
};
} // namespace

TEST(DialogPlacementTest, AnOwnerlessDialogOpensInTheMiddleOfTheScreenAtItsFinalSize)
{
    for (const QSize size : {QSize(500, 400), QSize(380, 190), QSize(Screen().width(), 100)})
    {
        SCOPED_TRACE(size.width());
        SizedDialog dlg(size);
        const QRect opened = OpenedAt(dlg);
        EXPECT_EQ(opened.size(), size);
        EXPECT_EQ(opened.topLeft(), CentredOver(Screen(), size));
    }
}

TEST(DialogPlacementTest, AnOwnedDialogOpensCentredOverItsOwnerAndWhollyOnTheScreen)
{
    const QRect screen = Screen();
    const QSize ownerSize(400, 300);
    const QSize size(300, 250);
    struct Case
    {
        const char *name;
        QPoint ownerAt;
    };
    const Case cases[] = {
        {"in the middle", CentredOver(screen, ownerSize)},
        {"at the top left", screen.topLeft()},
        // Dragged partly off the screen: the dialog would stand off it too.
        {"past the right edge", {screen.right() - 100, screen.top() + 50}},
        {"past the bottom edge", {screen.left() + 50, screen.bottom() - 60}},
        {"past the top left corner", {screen.left() - 350, screen.top() - 260}},
        {"past the bottom right corner", {screen.right() - 30, screen.bottom() - 30}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Owner owner;
        ASSERT_TRUE(owner.Make(c.ownerAt, ownerSize));
        owner.GetWidget()->move(c.ownerAt);
        SizedDialog dlg(size, &owner);
        const QRect opened = OpenedAt(dlg);
        EXPECT_EQ(opened.size(), size);
        EXPECT_TRUE(screen.contains(opened)) << opened.x() << "," << opened.y();
        // Centred, then moved in no further than it has to.
        const QPoint centred = CentredOver(Frame(owner), size);
        const QPoint expected(std::clamp(centred.x(), screen.left(), screen.right() + 1 - size.width()),
                              std::clamp(centred.y(), screen.top(), screen.bottom() + 1 - size.height()));
        EXPECT_EQ(opened.topLeft(), expected);
        // The owner stays where it was put.
        EXPECT_EQ(Frame(owner).topLeft(), c.ownerAt);
    }
}

TEST(DialogPlacementTest, OverAHiddenOwnerTheDialogOpensInTheMiddleOfTheScreen)
{
    Owner owner;
    ASSERT_TRUE(owner.Make({0, 0}, {200, 150}, false));
    SizedDialog dlg({300, 200}, &owner);
    EXPECT_EQ(OpenedAt(dlg).topLeft(), CentredOver(Screen(), {300, 200}));
}

TEST(DialogPlacementTest, ADialogLargerThanTheScreenShowsItsTopLeft)
{
    const QSize size(Screen().width() + 200, Screen().height() + 100);
    SizedDialog dlg(size);
    const QRect opened = OpenedAt(dlg);
    EXPECT_EQ(opened.size(), size);
    EXPECT_EQ(opened.topLeft(), Screen().topLeft());
}

TEST(DialogPlacementTest, ADialogThePlaceOfWhichTheProgramChoseKeepsIt)
{
    SizedDialog dlg({200, 100});
    dlg.initExtra = [](SizedDialog &d) { d.MoveWindow(30, 40, 200, 100); };
    EXPECT_EQ(OpenedAt(dlg).topLeft(), QPoint(30, 40));
}

// The main dialog of a command-line start hides itself while it starts and is shown later.
TEST(DialogPlacementTest, ADialogHiddenInItsInitialisationIsPlacedWhenItIsShownAtLast)
{
    SizedDialog dlg({200, 100});
    dlg.initExtra = [](SizedDialog &d) { d.ShowWindow(SW_HIDE); };
    QRect shown;
    ModalScript script([&](CDialog &d) {
        EXPECT_FALSE(d.IsWindowVisible());
        CRect where;
        d.GetWindowRect(&where);
        d.MoveWindow(where.left, where.top, 600, 450);
        d.ShowWindow(SW_SHOWNORMAL);
        shown = Frame(d);
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(shown, QRect(CentredOver(Screen(), {600, 450}), QSize(600, 450)));
}

TEST(DialogPlacementTest, AfterTheFirstShowOnlyAGrowthOffTheScreenMovesTheDialog)
{
    const QRect screen = Screen();
    SizedDialog dlg({200, 100});
    QPoint dragged, afterGrowthOnScreen, afterGrowthOffScreen, afterMoveOff, afterShowAgain;
    OpenedAt(dlg, [&](CDialog &d) {
        QWidget *w = d.GetWidget();
        // Where a drag would leave it: near the bottom right, wholly on the screen.
        w->move(screen.right() - 250, screen.bottom() - 150);
        dragged = w->pos();
        // A growth that still fits leaves it.
        d.MoveWindow(dragged.x(), dragged.y(), 220, 120);
        afterGrowthOnScreen = w->pos();
        // A growth past the edges brings it back wholly, no further than that.
        d.MoveWindow(dragged.x(), dragged.y(), 400, 300);
        afterGrowthOffScreen = w->pos();
        // A move alone is the program's or the user's: kept, even partly off the screen.
        d.SetWindowPos(nullptr, screen.right() - 50, screen.top() + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        afterMoveOff = w->pos();
        // Shown again: not placed again.
        d.ShowWindow(SW_HIDE);
        d.ShowWindow(SW_SHOW);
        afterShowAgain = w->pos();
    });
    EXPECT_EQ(afterGrowthOnScreen, dragged);
    EXPECT_EQ(afterGrowthOffScreen, QPoint(screen.right() + 1 - 400, screen.bottom() + 1 - 300));
    EXPECT_EQ(afterMoveOff, QPoint(screen.right() - 50, screen.top() + 10));
    EXPECT_EQ(afterShowAgain, afterMoveOff);
}

// A modeless dialog (Create) is placed as a modal one is.
TEST(DialogPlacementTest, AModelessDialogIsPlacedAtItsShowToo)
{
    SizedDialog dlg({300, 200});
    ASSERT_TRUE(dlg.Create(0, nullptr));
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(Frame(dlg), QRect(CentredOver(Screen(), {300, 200}), QSize(300, 200)));
    dlg.DestroyWindow();
}
