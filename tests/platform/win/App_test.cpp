#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

namespace
{
TEST(MessageBoxTest, TheHookGetsTheBoxWithItsLanguage)
{
    std::vector<vxwin::MessageBoxRequest> seen;
    vxwin::SetMessageBoxHook([&](const vxwin::MessageBoxRequest &r) {
        seen.push_back(r);
        return IDYES;
    });
    EXPECT_EQ(MessageBoxEx(nullptr, u"Memory Allocation Error", u"Vormatik", MB_YESNO | MB_ICONERROR, 1031),
              IDYES);
    vxwin::SetDefaultLanguage(2052);
    EXPECT_EQ(AfxMessageBox(u"text"), IDYES);
    vxwin::SetDefaultLanguage(1033);
    vxwin::SetMessageBoxHook(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, u"Memory Allocation Error");
    EXPECT_EQ(seen[0].caption, u"Vormatik");
    EXPECT_EQ(seen[0].type, MB_YESNO | MB_ICONERROR);
    EXPECT_EQ(seen[0].language, 1031);
    EXPECT_EQ(seen[1].language, 2052);
}

TEST(MessageBoxTest, ButtonsSpeakTheInterfaceLanguage)
{
    EXPECT_EQ(vxwin::ButtonText(IDCANCEL, 1031), u"Abbrechen");
    EXPECT_EQ(vxwin::ButtonText(IDOK, 2052), u"\u786E\u5B9A");
    EXPECT_EQ(vxwin::ButtonText(IDOK, 1028), u"\u78BA\u5B9A");
    EXPECT_EQ(vxwin::ButtonText(IDNO, 1033), u"No");
    EXPECT_EQ(vxwin::ButtonText(IDYES, 1036), u"Yes");
}

TEST(AppTest, TheApplicationObjectKnowsTheMainWindow)
{
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp app;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxGetMainWnd(), nullptr);
        wintest::HostWindow main;
        ASSERT_TRUE(main.Make());
        app.m_pMainWnd = &main;
        EXPECT_EQ(AfxGetMainWnd(), &main);
        main.DestroyWindow();
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    vxtest::ProcessEvents();
}

TEST(AppTest, SleepGoesToTheHook)
{
    std::vector<DWORD> sleeps;
    vxwin::SetSleepHook([&](DWORD ms) { sleeps.push_back(ms); });
    Sleep(1500);
    Sleep(500);
    vxwin::SetSleepHook(nullptr);
    EXPECT_EQ(sleeps, (std::vector<DWORD>{1500, 500}));
}

TEST(AppTest, TheWaitCursorLastsAsLongAsItsGuard)
{
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        CWaitCursor wait;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            CWaitCursor nested;
            EXPECT_EQ(vxwin::WaitCursorDepth(), 2);
            nested.Restore();
            EXPECT_EQ(vxwin::WaitCursorDepth(), 1);
        }
        EXPECT_EQ(vxwin::WaitCursorDepth(), 1);
    }
    EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(AppTest, TheClipboardHasOneOwnerAtATime)
{
    EXPECT_TRUE(OpenClipboard(nullptr));
    EXPECT_FALSE(OpenClipboard(nullptr));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    ASSERT_TRUE(vxwin::SetClipboardText(u"2010"));
    std::u16string text;
    ASSERT_TRUE(vxwin::GetClipboardText(text));
    EXPECT_EQ(text, u"2010");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST(AppTest, PointFontsAreSizedAt96Dpi)
{
    EXPECT_EQ(vxwin::MakePointFont(120, u"Arial").pixelSize(), 16);
    EXPECT_EQ(vxwin::MakePointFont(200, u"Arial").pixelSize(), 27);
    EXPECT_EQ(vxwin::MakePointFont(90, u"Arial").pixelSize(), 12);
    EXPECT_EQ(vxwin::MakePointFont(90, u"Arial").family(), QStringLiteral("Arial"));
}

TEST(AppTest, CursorPositionFollowsThePointer)
{
    wintest::HostWindow host;
    ASSERT_TRUE(host.Make());
    QTest::mouseMove(host.GetWidget(), QPoint(30, 40));
    POINT pt{};
    ASSERT_TRUE(GetCursorPos(&pt));
    host.ScreenToClient(&pt);
    EXPECT_EQ(pt.x, 30);
    EXPECT_EQ(pt.y, 40);
    UINT lines = 0;
    EXPECT_TRUE(SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
    EXPECT_GT(lines, 0u);
    EXPECT_GT(GetSystemMetrics(SM_CXFULLSCREEN), 0);
    host.DestroyWindow();
    vxtest::ProcessEvents();
}
} // namespace

namespace
{
TEST(MessageBoxTest, AShownBoxHasTheButtonsOfItsLanguage)
{
    QStringList captions;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAbstractButton *no = nullptr;
        for (QAbstractButton *b : box->buttons())
        {
            captions << b->text();
            if (b->text() == QStringLiteral("Nein"))
                no = b;
        }
        ASSERT_NE(no, nullptr);
        no->click();
    });
    EXPECT_EQ(MessageBoxEx(nullptr, u"Weiter?", u"Vormatik", MB_YESNO, 1031), IDNO);
    captions.sort();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));
}
} // namespace
