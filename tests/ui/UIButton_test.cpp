#include <QImage>
#include <QPointer>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "ui/UIButton.h"

using uitest::Host;

namespace
{
// The prompt button family: normal face, disabled and hover face, pressed face.
constexpr UINT kNormal = 472;
constexpr UINT kMiddle = 471;
constexpr UINT kPressed = 470;
const CRect kButtonRect(20, 20, 105, 43);
const QPoint kInside(40, 11);
// Over the host, outside the button.
const QPoint kOutside(200, 120);

int g_clicks = 0;
void CountClick()
{
    ++g_clicks;
}

enum class Step
{
    Move,            // the pointer moves over the button
    Leave,           // the pointer moves on to the host
    Press,           // left press over the button
    Release,         // left release over the button
    ReleaseOutside,  // left release away from the button
    ReleaseFromHost, // a press on the host, released over the button
    PressMessage,    // WM_LBUTTONDOWN sent to the button itself
    ReleaseMessage,  // WM_LBUTTONUP sent to the button itself
    Disable,
    Enable,
    Check0,
    Check1,
};

struct Expect
{
    Step step;
    int state;
    BOOL checked;
};

enum class Mode
{
    Plain,
    Check,
    Radio
};

struct MachineCase
{
    const char *name;
    Mode mode;
    std::vector<Expect> script;
    int clicks;
};

class UIButtonTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make());
        g_clicks = 0;
    }
    void TearDown() override
    {
        button.DestroyWindow();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    bool MakeButton(UIButton &b, const CRect &rect = kButtonRect)
    {
        if (!b.Create(u"", rect, &host, 1200))
            return false;
        b.SetImages(kNormal, kMiddle, kPressed, kMiddle, 1033);
        b.ShowWindow(SW_SHOW);
        vxtest::ProcessEvents();
        return true;
    }
    void Run(Step step)
    {
        QWidget *w = button.GetWidget();
        const LPARAM inside = MAKELPARAM(kInside.x(), kInside.y());
        switch (step)
        {
        case Step::Move:
            // Qt drops a move to where the pointer already is.
            QTest::mouseMove(w, kInside + QPoint(++m_moves % 4, 0));
            break;
        case Step::Leave:
            QTest::mouseMove(host.GetWidget(), kOutside);
            vxtest::WaitFor([&] { return CWnd::GetCapture() || button.GetState() != 2; }, 50);
            break;
        case Step::Press:
            QTest::mousePress(w, Qt::LeftButton, {}, kInside);
            break;
        case Step::Release:
            QTest::mouseRelease(w, Qt::LeftButton, {}, kInside);
            break;
        case Step::ReleaseOutside:
            QTest::mouseRelease(w, Qt::LeftButton, {}, kOutside - QPoint(kButtonRect.left, kButtonRect.top));
            break;
        case Step::ReleaseFromHost:
            QTest::mousePress(host.GetWidget(), Qt::LeftButton, {}, kOutside);
            QTest::mouseRelease(host.GetWidget(), Qt::LeftButton, {},
                                QPoint(kButtonRect.left, kButtonRect.top) + kInside);
            break;
        case Step::PressMessage:
            button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, inside);
            break;
        case Step::ReleaseMessage:
            button.SendMessage(WM_LBUTTONUP, 0, inside);
            break;
        case Step::Disable:
            button.EnableWindow(FALSE);
            break;
        case Step::Enable:
            button.EnableWindow(TRUE);
            break;
        case Step::Check0:
            button.SetCheck(0);
            break;
        case Step::Check1:
            button.SetCheck(1);
            break;
        }
        vxtest::ProcessEvents();
    }
    // The colour that the picture `id` has at kInside.
    QColor PictureColour(UINT id)
    {
        Gdiplus::Image *image = nullptr;
        EXPECT_TRUE(button.LoadImageFromResource(id, u"PNG", &image, 1033));
        std::unique_ptr<Gdiplus::Image> owned(image);
        return owned ? QColor(owned->QtImage().pixel(kInside)) : QColor();
    }
    QColor Shown()
    {
        button.Invalidate();
        vxtest::ProcessEvents();
        return vxtest::PixelAt(host.Grab(), kButtonRect.left + kInside.x(), kButtonRect.top + kInside.y());
    }

    Host host;
    UIButton button;
    int m_moves = 0;
};

const std::vector<MachineCase> kMachineCases = {
    {"plain button: hover, press, release, hover, leave",
     Mode::Plain,
     {{Step::Move, 2, FALSE},
      {Step::Press, 1, FALSE},
      {Step::Move, 1, FALSE},
      {Step::Release, 0, FALSE},
      {Step::Move, 2, FALSE},
      {Step::Leave, 0, FALSE}},
     1},
    {"plain button released outside still clicks",
     Mode::Plain,
     {{Step::Press, 1, FALSE}, {Step::ReleaseOutside, 0, FALSE}},
     1},
    {"after a release outside, hover and leave still follow the pointer",
     Mode::Plain,
     {{Step::Move, 2, FALSE},
      {Step::Press, 1, FALSE},
      {Step::ReleaseOutside, 0, FALSE},
      {Step::Leave, 0, FALSE},
      {Step::Move, 2, FALSE},
      {Step::Leave, 0, FALSE},
      {Step::Move, 2, FALSE},
      {Step::Leave, 0, FALSE}},
     1},
    {"a release over the button clicks though the press began elsewhere",
     Mode::Plain,
     {{Step::ReleaseFromHost, 0, FALSE}},
     1},
    {"a disabled button ignores presses and releases",
     Mode::Plain,
     {{Step::Disable, 3, FALSE},
      {Step::Press, 3, FALSE},
      {Step::Release, 3, FALSE},
      {Step::PressMessage, 3, FALSE},
      {Step::ReleaseMessage, 3, FALSE},
      {Step::Enable, 0, FALSE}},
     0},
    {"a plain button is shown pressed by SetCheck but never checked",
     Mode::Plain,
     {{Step::Check1, 1, FALSE}, {Step::Check0, 0, FALSE}},
     0},
    {"check box toggles on each press and takes no hover",
     Mode::Check,
     {{Step::Move, 0, FALSE},
      {Step::Press, 1, TRUE},
      {Step::Release, 1, TRUE},
      {Step::Move, 1, TRUE},
      {Step::Press, 0, FALSE},
      {Step::Release, 0, FALSE},
      {Step::Leave, 0, FALSE}},
     2},
    {"SetCheck in check mode sets checked, and presses toggle from there",
     Mode::Check,
     {{Step::Check1, 1, TRUE},
      {Step::Press, 0, FALSE},
      {Step::Release, 0, FALSE},
      {Step::Check1, 1, TRUE},
      {Step::Check0, 0, FALSE},
      {Step::Press, 1, TRUE},
      {Step::Release, 1, TRUE}},
     2},
    {"a disabled check box comes back checked",
     Mode::Check,
     {{Step::Press, 1, TRUE}, {Step::Release, 1, TRUE}, {Step::Disable, 3, TRUE}, {Step::Enable, 1, TRUE}},
     1},
    {"a disabled unchecked check box comes back unchecked",
     Mode::Check,
     {{Step::Disable, 3, FALSE}, {Step::Enable, 0, FALSE}},
     0},
    {"radio button pressed while checked stays checked",
     Mode::Radio,
     {{Step::Move, 0, FALSE},
      {Step::Press, 1, TRUE},
      {Step::Release, 1, TRUE},
      {Step::Press, 1, TRUE},
      {Step::Release, 1, TRUE},
      {Step::Leave, 1, TRUE}},
     2},
    {"radio button unchecked by its owner",
     Mode::Radio,
     {{Step::Press, 1, TRUE}, {Step::Release, 1, TRUE}, {Step::Check0, 0, FALSE}, {Step::Check1, 1, TRUE}},
     1},
};

TEST_F(UIButtonTest, StateMachine)
{
    for (const MachineCase &c : kMachineCases)
    {
        SCOPED_TRACE(c.name);
        button.DestroyWindow();
        vxtest::ProcessEvents();
        // Each case starts with the pointer away from the button.
        QTest::mouseMove(host.GetWidget(), kOutside);
        ASSERT_TRUE(MakeButton(button));
        button.SetRadioMode(c.mode == Mode::Radio);
        button.SetCheckMode(c.mode == Mode::Check);
        button.SetCheck(0);
        button.SetClickCallback(&CountClick);
        g_clicks = 0;
        for (std::size_t i = 0; i < c.script.size(); ++i)
        {
            SCOPED_TRACE("step " + std::to_string(i));
            Run(c.script[i].step);
            EXPECT_EQ(button.GetState(), c.script[i].state);
            EXPECT_EQ(button.GetCheck(), c.script[i].checked);
        }
        EXPECT_EQ(g_clicks, c.clicks);
        EXPECT_EQ(CWnd::GetCapture(), nullptr); // every release lets the mouse go
    }
}

TEST_F(UIButtonTest, CreationMakesAHiddenNotifyingChildSizedToTheNormalPicture)
{
    ASSERT_TRUE(button.Create(u"OK", CRect(30, 40, 300, 300), &host, 1201));
    EXPECT_EQ(button.GetStyle() & (WS_CHILD | WS_VISIBLE | SS_NOTIFY), WS_CHILD | SS_NOTIFY);
    CString name;
    button.GetWindowText(name);
    EXPECT_EQ(name.str(), u"UIButton");
    EXPECT_EQ(std::u16string(button.GetText()), u"OK");
    EXPECT_FALSE(button.GetRadioMode());
    EXPECT_FALSE(button.GetCheckMode());
    EXPECT_FALSE(button.GetCheck());
    button.SetImages(kNormal, 0, 0, 0, 1033);
    CRect r;
    button.GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(30, 40, 30 + 85, 40 + 23));
    // An id of 0 is the normal picture in every state.
    button.ShowWindow(SW_SHOW);
    const QColor normal = PictureColour(kNormal);
    for (int state : {0, 1, 2})
    {
        button.SetState(state);
        EXPECT_EQ(vxtest::PixelAt(
                      [&] {
                          button.Invalidate();
                          vxtest::ProcessEvents();
                          return host.Grab();
                      }(),
                      30 + kInside.x(), 40 + kInside.y()),
                  normal)
            << "state " << state;
    }
}

TEST_F(UIButtonTest, EachStateShowsItsPicture)
{
    ASSERT_TRUE(MakeButton(button));
    EXPECT_EQ(Shown(), PictureColour(kNormal));
    // From elsewhere onto the button: Qt drops a move to where the pointer already is.
    QTest::mouseMove(host.GetWidget(), kOutside);
    QTest::mouseMove(button.GetWidget(), kInside);
    EXPECT_EQ(Shown(), PictureColour(kMiddle));
    QTest::mousePress(button.GetWidget(), Qt::LeftButton, {}, kInside);
    EXPECT_EQ(Shown(), PictureColour(kPressed));
    QTest::mouseRelease(button.GetWidget(), Qt::LeftButton, {}, kInside);
    EXPECT_EQ(Shown(), PictureColour(kNormal));
    button.EnableWindow(FALSE);
    EXPECT_EQ(Shown(), PictureColour(kMiddle));
    ASSERT_NE(PictureColour(kNormal), PictureColour(kPressed));
    ASSERT_NE(PictureColour(kNormal), PictureColour(kMiddle));
}

TEST_F(UIButtonTest, SetImagesTakesNormalDisabledPressedAndHoverInThatOrder)
{
    ASSERT_TRUE(button.Create(u"", kButtonRect, &host, 1200));
    button.ShowWindow(SW_SHOW);
    struct Order
    {
        UINT disabled, pressed, hover;
    };
    // Each picture in one role only, so a role given the wrong id shows the wrong face.
    for (const Order &o : {Order{kPressed, kMiddle, 0}, Order{0, 0, kPressed}, Order{kMiddle, kPressed, 0}})
    {
        SCOPED_TRACE(testing::Message() << o.disabled << "/" << o.pressed << "/" << o.hover);
        button.EnableWindow(TRUE);
        button.SetImages(kNormal, o.disabled, o.pressed, o.hover, 1033);
        QTest::mouseMove(host.GetWidget(), kOutside);
        vxtest::ProcessEvents();
        EXPECT_EQ(Shown(), PictureColour(kNormal));
        QTest::mouseMove(button.GetWidget(), kInside);
        EXPECT_EQ(button.GetState(), 2);
        EXPECT_EQ(Shown(), PictureColour(o.hover ? o.hover : kNormal)) << "hover";
        QTest::mousePress(button.GetWidget(), Qt::LeftButton, {}, kInside);
        EXPECT_EQ(Shown(), PictureColour(o.pressed ? o.pressed : kNormal)) << "pressed";
        QTest::mouseRelease(button.GetWidget(), Qt::LeftButton, {}, kInside);
        button.EnableWindow(FALSE);
        EXPECT_EQ(Shown(), PictureColour(o.disabled ? o.disabled : kNormal)) << "disabled";
    }
}

TEST_F(UIButtonTest, ADisabledRadioButtonShowsWhetherItIsChosen)
{
    ASSERT_TRUE(MakeButton(button));
    button.SetRadioMode(TRUE);
    button.SetCheck(1);
    button.EnableWindow(FALSE);
    EXPECT_EQ(button.GetState(), 3);
    EXPECT_EQ(Shown(), PictureColour(kPressed));
    button.EnableWindow(TRUE);
    EXPECT_EQ(button.GetState(), 1);
    EXPECT_EQ(Shown(), PictureColour(kPressed));

    button.SetCheck(0);
    button.EnableWindow(FALSE);
    EXPECT_EQ(Shown(), PictureColour(kNormal));
    button.EnableWindow(TRUE);
    EXPECT_EQ(button.GetState(), 0);
    EXPECT_EQ(Shown(), PictureColour(kNormal));

    // Without a pressed picture, a chosen radio button disabled shows its normal face.
    UIButton bare;
    ASSERT_TRUE(bare.Create(u"", CRect(150, 20, 235, 43), &host, 1202));
    bare.SetImageResource(kNormal, kMiddle, 1033);
    bare.ShowWindow(SW_SHOW);
    bare.SetRadioMode(TRUE);
    bare.SetCheck(1);
    bare.EnableWindow(FALSE);
    bare.Invalidate();
    vxtest::ProcessEvents();
    EXPECT_EQ(vxtest::PixelAt(host.Grab(), 150 + kInside.x(), 20 + kInside.y()), PictureColour(kNormal));
    bare.DestroyWindow();
}

TEST_F(UIButtonTest, PaintingRaisesTheButtonAboveItsSiblings)
{
    ASSERT_TRUE(MakeButton(button));
    UIStatic picture;
    ASSERT_TRUE(picture.Create(u"", CRect(0, 0, 200, 100), &host, 1203, WS_CHILD | WS_VISIBLE));
    ASSERT_EQ(host.GetWidget()->children().back(), picture.GetWidget());
    button.Invalidate();
    EXPECT_TRUE(vxtest::WaitFor([&] { return host.GetWidget()->children().back() == button.GetWidget(); }));
    picture.DestroyWindow();
}

// ---- Callbacks that end the button ----------------------------------------------------

UIButton *g_doomed = nullptr;
int g_stateSeen = -1;
bool g_captureSeen = true;

void DeleteTheButton()
{
    g_stateSeen = g_doomed->GetState();
    g_captureSeen = CWnd::GetCapture() != nullptr;
    delete g_doomed;
    g_doomed = nullptr;
}

// A page whose button ends the page.
struct Page : public CWnd
{
    UIButton close;
};
Page *g_page = nullptr;

void ClosePage()
{
    delete g_page;
    g_page = nullptr;
}

TEST_F(UIButtonTest, ACallbackMayDeleteTheButtonItWasCalledBy)
{
    g_doomed = new UIButton;
    ASSERT_TRUE(MakeButton(*g_doomed));
    g_doomed->SetClickCallback(&DeleteTheButton);
    QWidget *w = g_doomed->GetWidget();
    QTest::mouseMove(w, kInside);
    QTest::mousePress(w, Qt::LeftButton, {}, kInside);
    QTest::mouseRelease(w, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(g_doomed, nullptr);
    // Everything was settled before the callback ran.
    EXPECT_EQ(g_stateSeen, 0);
    EXPECT_FALSE(g_captureSeen);
    vxtest::ProcessEvents();
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    EXPECT_EQ(host.GetWidget()->findChildren<QWidget *>().size(), 0);
}

TEST_F(UIButtonTest, ACallbackMayDeleteThePageHoldingTheButton)
{
    for (bool releaseOutside : {false, true})
    {
        SCOPED_TRACE(releaseOutside ? "released outside" : "released over it");
        g_page = new Page;
        ASSERT_TRUE(
            g_page->CreateEx(0, u"page", u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &host, 1));
        ASSERT_TRUE(g_page->close.Create(u"", kButtonRect, g_page, 2));
        g_page->close.SetImages(kNormal, 0, kPressed, 0, 1033);
        g_page->close.SetRadioMode(releaseOutside);
        g_page->close.ShowWindow(SW_SHOW);
        g_page->close.SetClickCallback(&ClosePage);
        vxtest::ProcessEvents();
        QWidget *w = g_page->close.GetWidget();
        QTest::mousePress(w, Qt::LeftButton, {}, kInside);
        QTest::mouseRelease(w, Qt::LeftButton, {}, releaseOutside ? QPoint(150, 120) : kInside);
        EXPECT_EQ(g_page, nullptr);
        vxtest::ProcessEvents();
        EXPECT_EQ(CWnd::GetCapture(), nullptr);
    }
}

// A page's button whose callback runs a prompt; while the prompt is up, a posted message
// takes the button's window away (the object stays, as pages keep their controls).
UIButton *g_promptButton = nullptr;
bool g_promptReturned = false;

class PromptDestroyingTheButton : public CDialog
{
  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_USER + 116)
        {
            g_promptButton->DestroyWindow();
            // Let the released widgets go inside the prompt's own loop.
            vxtest::ProcessEvents();
            EndDialog(IDOK);
            return 0;
        }
        return CDialog::WindowProc(msg, wParam, lParam);
    }
};

void RunPrompt()
{
    PromptDestroyingTheButton prompt;
    prompt.DoModal();
    g_promptReturned = true;
}

TEST_F(UIButtonTest, ACallbackWhosePromptDestroysTheButtonReturnsSafely)
{
    ASSERT_TRUE(MakeButton(button));
    g_promptButton = &button;
    g_promptReturned = false;
    button.SetClickCallback(&RunPrompt);
    uitest::ModalHook hook([](CDialog &d) { d.PostMessage(WM_USER + 116); });
    QPointer<QWidget> widget = button.GetWidget();
    QTest::mousePress(widget, Qt::LeftButton, {}, kInside);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(g_promptReturned);
    EXPECT_EQ(button.m_hWnd, nullptr);
    vxtest::ProcessEvents();
    EXPECT_TRUE(widget.isNull());
    g_promptButton = nullptr;
}

TEST_F(UIButtonTest, WithoutACallbackAClickOnlyChangesTheLook)
{
    ASSERT_TRUE(MakeButton(button));
    button.SetClickCallback(&CountClick);
    button.SetClickCallback(nullptr);
    QTest::mousePress(button.GetWidget(), Qt::LeftButton, {}, kInside);
    EXPECT_EQ(button.GetState(), 1);
    QTest::mouseRelease(button.GetWidget(), Qt::LeftButton, {}, kInside);
    EXPECT_EQ(button.GetState(), 0);
    EXPECT_EQ(g_clicks, 0);
    // The press is the button's: nothing reaches the host.
    EXPECT_TRUE(host.presses.empty());
}
} // namespace
