// Where the program's windows open on the screens a person has: the real main dialog, run modally
// as the program runs it, and each of its prompts, About and the social-site dialogs over it. Each
// run of this binary has its own screen sizes (see placement_main.cpp).
#include "app/AboutDlg.h"
#include "app/KVTApp.h"
#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sharing/FacebookInfoDlg.h"
#include "store/KvtDatabase.h"
#include "tests/app/placement/PlacementScreens.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/DeviceEventFeed.h"
#include "tests/support/MainDialogRun.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "ui/ConnectStatusChangeDlg.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"

namespace
{
constexpr UINT kLoginButton = 1002;
constexpr UINT kAboutCommand = 16;

QRect Frame(const CWnd &wnd)
{
    return wnd.GetWidget()->frameGeometry();
}

std::string Text(const QRect &r)
{
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + " at " + std::to_string(r.x()) +
           "," + std::to_string(r.y());
}

// Centred over `over` within a pixel (an odd difference of sizes has no exact middle).
void ExpectCentredOver(const QRect &window, const QRect &over)
{
    EXPECT_LE(std::abs((window.left() - over.left()) - (over.right() - window.right())), 1)
        << Text(window) << " over " << Text(over);
    EXPECT_LE(std::abs((window.top() - over.top()) - (over.bottom() - window.bottom())), 1)
        << Text(window) << " over " << Text(over);
}

void ExpectWhollyOn(const QRect &window, const QRect &area)
{
    EXPECT_TRUE(area.contains(window)) << Text(window) << " on " << Text(area);
}

// Where the user can press a button: its rectangle on the screen.
QRect OnScreen(const UIButton *button)
{
    const QWidget *w = button->GetWidget();
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// Each top-level window the main dialog opens over itself, built as the main dialog builds it.
struct PromptKind
{
    const char *name;
    std::function<std::unique_ptr<CDialog>(CKVTDlg &)> make;
};

const PromptKind kPrompts[] = {
    {"message",
     [](CKVTDlg &main) {
         auto dlg = std::make_unique<CMessageDlg>(main.m_nLanguage, &main);
         dlg->m_nTitleId = 547;
         dlg->m_nMessageId = 548;
         return dlg;
     }},
    {"relogin or continue",
     [](CKVTDlg &main) {
         auto dlg = std::make_unique<CReloginContinueDlg>(main.m_nLanguage, &main);
         dlg->m_nTitleId = 547;
         dlg->m_nFirstMessageId = 548;
         dlg->m_nSecondMessageId = 549;
         return dlg;
     }},
    {"save changes",
     [](CKVTDlg &main) { return std::make_unique<CSaveChangesDlg>(main.m_nLanguage, &main); }},
    {"connect status",
     [](CKVTDlg &main) {
         auto dlg = std::make_unique<CConnectStatusChangeDlg>(&main);
         dlg->m_nConnected = 1;
         return dlg;
     }},
    {"date of the last run",
     [](CKVTDlg &main) {
         auto dlg = std::make_unique<CContinueCancelDlg2>(main.m_nLanguage, &main);
         dlg->m_nTitleId = 709;
         dlg->m_nTextId = 710;
         return dlg;
     }},
    {"about", [](CKVTDlg &main) { return std::make_unique<CAboutDlg>(main.m_nLanguage, &main); }},
    {"social-site credentials",
     [](CKVTDlg &main) { return std::make_unique<CFacebookInfoDlg>(main.m_nLanguage, &main); }},
    {"social-site credentials again",
     [](CKVTDlg &main) { return std::make_unique<CFacebookInfoErrorDlg>(main.m_nLanguage, &main); }},
};

// The main dialog runs as in the program (see vxtest::MainDialogWorld) on the screens asked for.
class Placement : public ::testing::Test, public vxtest::MainDialogWorld
{
  public:
    static QRect ScreenArea(int index = 0)
    {
        return QGuiApplication::screens().at(index)->availableGeometry();
    }

    // The user drags the main window by its background to put its top left at `to`.
    static void Drag(CKVTDlg &dlg, QPoint to)
    {
        QWidget *w = dlg.GetWidget();
        const QPoint grip(8, 8);
        const QPoint by = to - w->frameGeometry().topLeft();
        QTest::mousePress(w, Qt::LeftButton, {}, grip);
        vxtest::ProcessEvents(); // the posted caption press starts the move
        QTest::mouseMove(w, grip + by);
        QTest::mouseRelease(w, Qt::LeftButton, {}, grip + by);
        vxtest::ProcessEvents();
    }
};

// Run on two screens side by side only.
class PlacementTwoScreens : public Placement
{
};

void NoPrompt(CDialog &)
{
    ADD_FAILURE() << "an unexpected prompt";
}
} // namespace

// The cases are only worth as much as the screens they run on.
TEST_F(Placement, TheScreensAreTheOnesAskedFor)
{
    const std::vector<QSize> asked = placementtest::ScreensAsked();
    ASSERT_FALSE(asked.empty()) << "VORMATIK_TEST_SCREENS names no screen";
    const QList<QScreen *> screens = QGuiApplication::screens();
    ASSERT_EQ(static_cast<std::size_t>(screens.size()), asked.size());
    for (int i = 0; i < screens.size(); ++i)
        EXPECT_EQ(screens[i]->geometry().size(), asked[static_cast<std::size_t>(i)]) << i;
}

TEST_F(Placement, TheMainDialogOpensInTheMiddleOfTheScreenAtItsPicturesSize)
{
    for (const LANGID language : {1033, 1031, 2052, 1028})
    {
        SCOPED_TRACE(language);
        CKVTDlg dlg(language);
        RunDialog(
            dlg,
            [&] {
                ASSERT_TRUE(dlg.IsWindowVisible());
                const QRect frame = Frame(dlg);
                ASSERT_NE(dlg.GetBackgroundImage(), nullptr);
                EXPECT_EQ(frame.size(), QSize(static_cast<int>(dlg.GetBackgroundImage()->GetWidth()),
                                              static_cast<int>(dlg.GetBackgroundImage()->GetHeight())));
                ExpectWhollyOn(frame, ScreenArea());
                ExpectCentredOver(frame, ScreenArea());
            },
            NoPrompt);
    }
}

// Each prompt, About and the social-site dialogs open over the main window where it opened.
TEST_F(Placement, EachPromptOpensCentredOverTheMainWindowAndWhollyOnTheScreen)
{
    CKVTDlg dlg(1033);
    QRect opened;
    RunDialog(
        dlg,
        [&] {
            const QRect main = Frame(dlg);
            for (const PromptKind &kind : kPrompts)
            {
                SCOPED_TRACE(kind.name);
                opened = QRect();
                std::unique_ptr<CDialog> prompt = kind.make(dlg);
                prompt->DoModal();
                ASSERT_FALSE(opened.isNull());
                ExpectWhollyOn(opened, ScreenArea());
                ExpectCentredOver(opened, main);
                EXPECT_EQ(Frame(dlg), main) << "the main window stays where it is";
            }
        },
        [&](CDialog &d) {
            EXPECT_TRUE(d.IsWindowVisible());
            opened = Frame(d);
        });
}

// About through the system menu's command, as the user opens it.
TEST_F(Placement, AboutFromTheSystemMenuOpensOverTheMainWindow)
{
    CKVTDlg dlg(1033);
    int abouts = 0;
    RunDialog(
        dlg,
        [&] {
            dlg.SendMessage(WM_SYSCOMMAND, kAboutCommand, 0);
            EXPECT_EQ(abouts, 1);
        },
        [&](CDialog &d) {
            ASSERT_NE(dynamic_cast<CAboutDlg *>(&d), nullptr);
            ++abouts;
            ExpectWhollyOn(Frame(d), ScreenArea());
            ExpectCentredOver(Frame(d), Frame(dlg));
        });
}

// The prompt a log-in without a monitor brings: on the screen, with its Continue button where the
// user can press it; Continue leads home.
TEST_F(Placement, TheNoDevicePromptAfterALogInIsWhollyOnTheScreenAndItsContinueCanBePressed)
{
    CreateAccount();
    CKVTDlg dlg(1033);
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            dlg.GetDlgItem(CKVTDlg::kLoginNameId)->SetWindowText(u"ann");
            dlg.GetDlgItem(CKVTDlg::kLoginPasswordId)->SetWindowText(u"abc");
            CWnd *login = dlg.GetDlgItem(kLoginButton);
            ASSERT_NE(login, nullptr);
            login->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            login->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            vxtest::ProcessEvents();
            EXPECT_EQ(prompts, 1);
            EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
        },
        [&](CDialog &d) {
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            ++prompts;
            EXPECT_EQ(std::u16string(prompt->GetTitleLabel()->GetText()), u"Device Not Detected !");
            ExpectWhollyOn(Frame(d), ScreenArea());
            ExpectCentredOver(Frame(d), Frame(dlg));
            ExpectWhollyOn(OnScreen(prompt->GetFirstButton()), ScreenArea());
            ExpectWhollyOn(OnScreen(prompt->GetSecondButton()), ScreenArea());
            QTest::mouseClick(prompt->GetSecondButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
            vxtest::ProcessEvents();
        });
}

// The user dragged the main window near an edge, even partly past it: every prompt still opens
// wholly on the screen, and the main window stays where it was put.
TEST_F(Placement, APromptOverAMainWindowDraggedNearAnEdgeLiesWhollyOnTheScreen)
{
    CKVTDlg dlg(1033);
    QRect opened;
    RunDialog(
        dlg,
        [&] {
            const QRect area = ScreenArea();
            const QSize size = Frame(dlg).size();
            struct Place
            {
                const char *name;
                QPoint at;
            };
            const Place places[] = {
                {"at the left edge", {area.left(), area.top() + 20}},
                {"half past the left edge", {area.left() - size.width() / 2, area.top() + 40}},
                {"at the bottom right corner",
                 {area.right() + 1 - size.width(), area.bottom() + 1 - size.height()}},
                {"mostly past the right edge", {area.right() - 120, area.top() + 10}},
                {"mostly past the bottom edge", {area.left() + 30, area.bottom() - 80}},
                {"past the top left corner",
                 {area.left() - size.width() + 150, area.top() - size.height() + 100}},
            };
            for (const Place &place : places)
            {
                SCOPED_TRACE(place.name);
                Drag(dlg, place.at);
                ASSERT_EQ(Frame(dlg).topLeft(), place.at);
                for (const PromptKind &kind : kPrompts)
                {
                    SCOPED_TRACE(kind.name);
                    opened = QRect();
                    std::unique_ptr<CDialog> prompt = kind.make(dlg);
                    prompt->DoModal();
                    ASSERT_FALSE(opened.isNull());
                    ExpectWhollyOn(opened, area);
                    // As near its owner's middle as the screen lets it be.
                    const QRect main = Frame(dlg);
                    if (area.contains(QRect(main.center() - QPoint(opened.width() / 2, opened.height() / 2),
                                            opened.size())))
                        ExpectCentredOver(opened, main);
                    EXPECT_EQ(Frame(dlg).topLeft(), place.at) << "the main window stays where it was put";
                }
            }
        },
        [&](CDialog &d) { opened = Frame(d); });
}

// With a second screen beside the first, the main window dragged wholly onto the second: its
// prompts open there, wholly on that screen, also when it stands near the far edge.
TEST_F(PlacementTwoScreens, APromptOpensOnTheScreenOfTheMainWindow)
{
    ASSERT_GE(QGuiApplication::screens().size(), 2);
    CKVTDlg dlg(1033);
    QRect opened;
    RunDialog(
        dlg,
        [&] {
            const QRect second = ScreenArea(1);
            const QSize size = Frame(dlg).size();
            for (const QPoint at :
                 {QPoint(second.left() + (second.width() - size.width()) / 2, second.top() + 10),
                  QPoint(second.right() - 100, second.bottom() - 100)})
            {
                SCOPED_TRACE(at.x());
                Drag(dlg, at);
                ASSERT_EQ(Frame(dlg).topLeft(), at);
                for (const PromptKind &kind : kPrompts)
                {
                    SCOPED_TRACE(kind.name);
                    opened = QRect();
                    std::unique_ptr<CDialog> prompt = kind.make(dlg);
                    prompt->DoModal();
                    ExpectWhollyOn(opened, second);
                }
            }
        },
        [&](CDialog &d) { opened = Frame(d); });
}
