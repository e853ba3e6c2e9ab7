#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

using wintest::Recorder;

namespace
{
// A shown top-level window that records its system commands and its WM_CLOSE.
class MenuWindow : public CWnd
{
  public:
    std::vector<std::pair<UINT, LPARAM>> commands;
    int closes = 0;
    bool passOn = true;

    bool Make()
    {
        if (!CreateEx(0, u"menu", u"Menu", WS_POPUP | WS_VISIBLE, CRect(100, 100, 500, 400), nullptr, 0))
            return false;
        return QTest::qWaitForWindowExposed(GetWidget());
    }

  protected:
    void OnSysCommand(UINT id, LPARAM lParam) override
    {
        commands.emplace_back(id, lParam);
        if (passOn)
            CWnd::OnSysCommand(id, lParam);
    }
    void OnClose() override { ++closes; }
};

QMenu *OpenPopup()
{
    vxtest::ProcessEvents();
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

void ClosePopups()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    vxtest::ProcessEvents();
}

class SystemMenuTest : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(window.Make()); }
    void TearDown() override
    {
        ClosePopups();
        window.DestroyWindow();
        vxtest::ProcessEvents();
    }
    MenuWindow window;
};

TEST_F(SystemMenuTest, ARightClickOnTheWindowShowsItsMenuAndAChoicePostsTheCommand)
{
    CMenu *menu = window.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(window.GetSystemMenu(FALSE), menu);
    EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
    EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x10, u"&About \"Q\" \xD800..."));
    EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x20, u"Other"));

    QTest::mouseClick(window.GetWidget(), Qt::RightButton, {}, QPoint(50, 60));
    QMenu *popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    const QList<QAction *> actions = popup->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text().toStdU16String(), u"&About \"Q\" \xD800...");
    EXPECT_EQ(actions[2]->text(), QStringLiteral("Other"));
    EXPECT_TRUE(window.commands.empty());

    actions[1]->trigger();
    EXPECT_TRUE(window.commands.empty()) << "the choice is posted, not sent";
    ASSERT_TRUE(vxtest::WaitFor([&] { return window.commands.size() == 1; }));
    EXPECT_EQ(window.commands[0].first, 0x10u);
    // Where the menu was asked for, in screen coordinates.
    const CPoint where(window.commands[0].second);
    EXPECT_EQ(where.x, 150);
    EXPECT_EQ(where.y, 160);
}

TEST_F(SystemMenuTest, NothingIsShownWithoutACommandToChoose)
{
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&window, CRect(10, 10, 110, 60), 7));
    EXPECT_EQ(child.GetSystemMenu(FALSE), nullptr) << "a child has no system menu";

    struct Case
    {
        const char *what;
        bool separatorOnly;
        bool onChild;
    };
    for (const Case &c : {Case{"no menu made", false, false}, Case{"only a separator", true, false},
                          Case{"a click on a child", false, true}})
    {
        window.GetSystemMenu(TRUE);
        if (c.separatorOnly)
            window.GetSystemMenu(FALSE)->AppendMenu(MF_SEPARATOR);
        if (c.onChild)
            window.GetSystemMenu(FALSE)->AppendMenu(MF_STRING, 0x10, u"About");
        QWidget *target = c.onChild ? child.GetWidget() : window.GetWidget();
        QTest::mouseClick(target, Qt::RightButton, {}, QPoint(20, 20));
        EXPECT_EQ(OpenPopup(), nullptr) << c.what;
        ClosePopups();
    }
}

TEST_F(SystemMenuTest, AltSpaceShowsTheMenuAtTheTopLeftThroughTheDefaultOfTheKeyMenuCommand)
{
    window.GetSystemMenu(FALSE)->AppendMenu(MF_STRING, 0x10, u"About");
    Recorder child;
    ASSERT_TRUE(child.MakeChild(&window, CRect(10, 10, 110, 60), 7));

    // A window that keeps the key-menu command to itself shows no menu.
    window.passOn = false;
    QTest::keyClick(child.GetWidget(), Qt::Key_Space, Qt::AltModifier);
    ASSERT_EQ(window.commands.size(), 1u);
    EXPECT_EQ(window.commands[0].first, SC_KEYMENU);
    EXPECT_EQ(window.commands[0].second, LPARAM{' '});
    EXPECT_EQ(OpenPopup(), nullptr);

    window.passOn = true;
    QTest::keyClick(child.GetWidget(), Qt::Key_Space, Qt::AltModifier);
    QMenu *popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->pos(), QPoint(100, 100));
}

TEST_F(SystemMenuTest, TheDefaultHandlingOfSystemCommands)
{
    struct Case
    {
        UINT id;
        int closes;
        bool iconic;
    };
    // The low four bits are the system's own and do not change the command.
    for (const Case &c :
         {Case{SC_MINIMIZE, 0, true}, Case{SC_RESTORE | 2, 0, false}, Case{SC_CLOSE, 1, false},
          Case{SC_CLOSE | 3, 2, false}, Case{0x10, 2, false}, Case{SC_KEYMENU, 2, false}})
    {
        window.SendMessage(WM_SYSCOMMAND, c.id, 0);
        vxtest::ProcessEvents();
        EXPECT_EQ(window.closes, c.closes) << std::hex << c.id;
        EXPECT_EQ(window.IsIconic() != FALSE, c.iconic) << std::hex << c.id;
        EXPECT_EQ(OpenPopup(), nullptr) << "a key menu for another key than the space";
    }
}

TEST_F(SystemMenuTest, ItemsAppendedRefusedAndReverted)
{
    CMenu *menu = window.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->AppendMenu(MF_STRING, 0x10, nullptr));
    EXPECT_FALSE(menu->AppendMenu(0x0010 /* a pop-up */, 0x10, u"Sub"));
    EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
    EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x30, u""));
    EXPECT_EQ(menu->GetMenuItemCount(), 2u);
    EXPECT_EQ(menu->GetMenuItemID(0), 0u);
    EXPECT_EQ(menu->GetMenuItemID(1), 0x30u);
    EXPECT_EQ(menu->GetMenuItemID(2), static_cast<UINT>(-1));
    EXPECT_EQ(menu->GetMenuItemID(-1), static_cast<UINT>(-1));

    EXPECT_EQ(window.GetSystemMenu(TRUE), nullptr);
    ASSERT_NE(window.GetSystemMenu(FALSE), nullptr);
    EXPECT_EQ(window.GetSystemMenu(FALSE)->GetMenuItemCount(), 0u);
}

TEST_F(SystemMenuTest, AMenuLeftOpenGoesWithItsWindow)
{
    window.GetSystemMenu(FALSE)->AppendMenu(MF_STRING, 0x10, u"About");
    QTest::mouseClick(window.GetWidget(), Qt::RightButton, {}, QPoint(5, 5));
    QPointer<QMenu> popup = OpenPopup();
    ASSERT_FALSE(popup.isNull());
    window.DestroyWindow();
    ASSERT_TRUE(vxtest::WaitFor([&] { return popup.isNull(); }));
    EXPECT_TRUE(window.commands.empty());
}
} // namespace
