#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/sys/LocalTime.h"
#include "store/PackedDate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ConnectStatusChangeDlg.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/MainDialogSeam.h"

using uitest::ModalHook;
using vxtime::PackDate;

namespace
{
constexpr DWORD Time(int hour, int minute, int second)
{
    return (static_cast<DWORD>(hour) << 16) | (static_cast<DWORD>(minute) << 8) | static_cast<DWORD>(second);
}

// The main dialog as the prompts see it.
class FakeMain : public MainDialogSeam
{
  public:
    WORD language = 1033;
    CContinueCancelDlg2 *prompt = nullptr;
    DWORD entered = 0xFFFFFFFF;
    int enteredCalls = 0;
    DWORD lastDate = 0;
    DWORD lastTime = 0;

    WORD GetLanguage() const override { return language; }
    CContinueCancelDlg2 *GetOpenDatePrompt() const override { return prompt; }
    void SetEnteredDate(DWORD date) override
    {
        entered = date;
        ++enteredCalls;
    }
    void GetLastRunKeys(DWORD *dateKey, DWORD *timeKey) const override
    {
        *dateKey = lastDate;
        *timeKey = lastTime;
    }
};

int64_t Local(int year, int month, int day, int hour = 0)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, 0, 0, 0}, &t));
    return t;
}

class PromptTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        vxui::SetMainDialogSeam(&main);
    }
    void TearDown() override
    {
        vxui::SetMainDialogSeam(nullptr);
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    uitest::ProgramStrings strings;
    int64_t now = Local(2011, 5, 18, 23);
    FakeMain main;
};

void Click(CWnd *wnd)
{
    ASSERT_TRUE(wnd && wnd->GetWidget());
    QTest::mouseClick(wnd->GetWidget(), Qt::LeftButton, {}, QPoint(10, 10));
}

std::u16string TextOf(const CWnd *wnd)
{
    CString text;
    wnd->GetWindowText(text);
    return text.str();
}

// ---- Date entry ---------------------------------------------------------------------------

TEST_F(PromptTest, WhichDatesAreAccepted)
{
    const DWORD today = PackDate(2011, 5, 18);
    const struct
    {
        const char *name;
        DWORD entered, lastDate, lastTime, today;
        bool accepted;
    } cases[] = {
        {"the day of a run that ended the day", PackDate(2010, 5, 10), PackDate(2010, 5, 10),
         Time(23, 59, 59), today, false},
        {"the day after it", PackDate(2010, 5, 11), PackDate(2010, 5, 10), Time(23, 59, 59), today, true},
        {"the day of an evening run", PackDate(2010, 5, 10), PackDate(2010, 5, 10), Time(18, 0, 0), today,
         true},
        {"a day before the last run", PackDate(2010, 5, 9), PackDate(2010, 5, 10), Time(18, 0, 0), today,
         false},
        {"29 February of a common year", PackDate(2011, 2, 29), 0, 0, today, false},
        {"29 February of a leap year", PackDate(2012, 2, 29), 0, 0, PackDate(2012, 6, 1), true},
        {"the last day of 2008", PackDate(2008, 12, 31), 0, 0, today, false},
        {"the first day of 2009", PackDate(2009, 1, 1), 0, 0, today, true},
        {"today", today, PackDate(2011, 5, 17), Time(23, 59, 59), today, true},
        {"tomorrow", PackDate(2011, 5, 19), 0, 0, today, false},
        {"31 April", PackDate(2011, 4, 31), 0, 0, today, false},
        {"month 13", PackDate(2010, 13, 1), 0, 0, today, false},
        {"day 0", PackDate(2010, 5, 0), 0, 0, today, false},
        {"nothing typed", 0, 0, 0, today, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::DateEntryAcceptable(c.entered, c.lastDate, c.lastTime, c.today), c.accepted)
            << c.name;
}

TEST_F(PromptTest, AFieldReadsItsLeadingDigits)
{
    const struct
    {
        const char16_t *text;
        DWORD limit, value;
    } cases[] = {
        {u"", 0xFF, 0},
        {u"7", 0xFF, 7},
        {u"07", 0xFF, 7},
        {u"12ab", 0xFF, 12},
        {u"ab12", 0xFF, 0},
        {u"255", 0xFF, 255},
        {u"256", 0xFF, 0},
        {u"65535", 0xFFFF, 65535},
        {u"65536", 0xFFFF, 0},
        {u"18446744073709551617", 0xFFFF, 0},
        {u"1\xD800"
         u"2",
         0xFF, 1},
        {u"\"3\"", 0xFF, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::ReadDateField(c.text, c.limit), c.value);
}

TEST_F(PromptTest, TheDatePromptRefusesUntilAnAcceptableDateIsTyped)
{
    main.lastDate = PackDate(2010, 5, 10);
    main.lastTime = Time(23, 59, 59);
    CContinueCancelDlg2 dlg(1033, nullptr);
    dlg.m_nTitleId = 709;
    dlg.m_nTextId = 710;
    main.prompt = &dlg;
    bool errorBefore = true, errorAfterRefusal = false, openAfterRefusal = false, errorAtClose = false;
    DWORD enteredAfterRefusal = 0;
    CWnd *focus = nullptr;
    ModalHook hook([&](CDialog &) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.GetWidget()));
        focus = CWnd::GetFocus();
        errorBefore = dlg.GetErrorLine()->IsWindowVisible();
        dlg.GetDayEdit()->SetWindowText(u"10");
        dlg.GetMonthEdit()->SetWindowText(u"05");
        dlg.GetYearEdit()->SetWindowText(u"2010");
        Click(dlg.GetContinueButton());
        vxtest::ProcessEvents();
        errorAfterRefusal = dlg.GetErrorLine()->IsWindowVisible();
        openAfterRefusal = dlg.IsWindowVisible();
        enteredAfterRefusal = main.entered;
        dlg.GetDayEdit()->SetWindowText(u"11");
        Click(dlg.GetContinueButton());
        // The prompt is hidden as it ends; the line itself was never hidden again.
        errorAtClose = !dlg.GetErrorLine()->GetWidget()->isHidden();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    main.prompt = nullptr;
    EXPECT_EQ(focus, dlg.GetDayEdit());
    EXPECT_FALSE(errorBefore);
    EXPECT_TRUE(errorAfterRefusal);
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(enteredAfterRefusal, PackDate(2010, 5, 10));
    EXPECT_EQ(main.entered, PackDate(2010, 5, 11));
    EXPECT_EQ(main.enteredCalls, 2);
    EXPECT_TRUE(errorAtClose); // the accepted date closes the prompt without hiding the line first
    // The fields keep what was typed.
    EXPECT_EQ(TextOf(dlg.GetDayEdit()), u"11");
}

TEST_F(PromptTest, TheDatePromptsFieldsAreBuiltAsNumberBoxes)
{
    CContinueCancelDlg2 dlg(1031, nullptr);
    main.prompt = &dlg;
    ModalHook hook([&](CDialog &d) {
        for (UIEdit *edit : {dlg.GetDayEdit(), dlg.GetMonthEdit(), dlg.GetYearEdit()})
        {
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->IsNumericOnly());
            // The colour number 0xFF555150 goes to the edit as the COLORREF of its low 24 bits.
            EXPECT_EQ(edit->GetTextColor(), COLORREF{0x00555150});
            EXPECT_EQ(edit->GetFontSize(), 20);
            EXPECT_EQ(TextOf(edit), u"");
        }
        EXPECT_EQ(dlg.GetDayEdit()->GetLimitText(), 2u);
        EXPECT_EQ(dlg.GetMonthEdit()->GetLimitText(), 2u);
        EXPECT_EQ(dlg.GetYearEdit()->GetLimitText(), 4u);
        EXPECT_EQ(dlg.GetDayEdit()->GetDlgCtrlID(), 1380);
        EXPECT_EQ(std::u16string(dlg.GetContinueButton()->GetText()), u"Weiter");
        EXPECT_EQ(std::u16string(dlg.GetErrorLine()->GetText()), u"Fehler bei der Datumseingabe!");
        d.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    main.prompt = nullptr;
}

TEST_F(PromptTest, EnterIsIgnoredAndEscapeOrCancelEndTheDatePrompt)
{
    for (const bool useButton : {false, true})
    {
        CContinueCancelDlg2 dlg(1033, nullptr);
        main.prompt = &dlg;
        bool openAfterEnter = false;
        ModalHook hook([&](CDialog &) {
            dlg.GetDayEdit()->SetWindowText(u"11");
            dlg.GetMonthEdit()->SetWindowText(u"5");
            dlg.GetYearEdit()->SetWindowText(u"2010");
            QTest::keyClick(dlg.GetDayEdit()->GetWidget(), Qt::Key_Return);
            vxtest::ProcessEvents();
            openAfterEnter = dlg.IsWindowVisible();
            if (useButton)
                Click(dlg.GetCancelButton());
            else
                QTest::keyClick(dlg.GetDayEdit()->GetWidget(), Qt::Key_Escape);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << useButton;
        main.prompt = nullptr;
        EXPECT_TRUE(openAfterEnter) << useButton;
        EXPECT_EQ(main.enteredCalls, 0) << useButton; // neither Enter nor Cancel checks the date
    }
}

TEST_F(PromptTest, WithoutTheMainDialogContinueAcceptsNothing)
{
    vxui::SetMainDialogSeam(nullptr);
    CContinueCancelDlg2 dlg(1033, nullptr);
    BOOL result = TRUE;
    bool open = false;
    ModalHook hook([&](CDialog &d) {
        dlg.GetDayEdit()->SetWindowText(u"11");
        dlg.GetMonthEdit()->SetWindowText(u"5");
        dlg.GetYearEdit()->SetWindowText(u"2010");
        Click(dlg.GetContinueButton()); // finds no prompt to act on
        open = dlg.IsWindowVisible();
        result = dlg.ValidateDate();
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(open);
    EXPECT_EQ(result, FALSE);
}

// ---- Connect status --------------------------------------------------------------------------

TEST_F(PromptTest, TheConnectStatusPromptClosesItselfAsCancelled)
{
    for (const int connected : {1, 0})
    {
        main.language = 1031;
        CConnectStatusChangeDlg dlg(nullptr);
        dlg.m_nConnected = connected;
        dlg.m_nDisplayTime = 50;
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        ASSERT_NE(dlg.GetImageControl(), nullptr);
        EXPECT_EQ(dlg.GetImageControl()->GetDlgCtrlID(), connected ? 1062 : 1063);
        EXPECT_EQ(dlg.GetImageControl()->GetImageWidth(), 148);
        const std::u16string text = connected ? u"Gerät verbunden" : u"Gerät getrennt";
        EXPECT_EQ(std::u16string(dlg.GetCaptionControl()->GetText()), text);
        EXPECT_EQ(std::u16string(dlg.GetTitleControl()->GetText()), text);
    }
}

TEST_F(PromptTest, PressingTheConnectStatusPromptNeitherMovesNorClosesIt)
{
    CConnectStatusChangeDlg dlg(nullptr);
    dlg.m_nDisplayTime = 60000;
    QPoint before, after;
    bool open = false, openAfterOtherTimer = false;
    ModalHook hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        before = d.GetWidget()->pos();
        for (QWidget *target : {d.GetWidget(), dlg.GetCaptionControl()->GetWidget()})
        {
            QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
            vxtest::ProcessEvents();
            QTest::mouseMove(target, QPoint(45, 35));
            QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(45, 35));
            vxtest::ProcessEvents();
        }
        after = d.GetWidget()->pos();
        open = d.IsWindowVisible();
        d.SendMessage(WM_TIMER, 7, 0);
        openAfterOtherTimer = d.IsWindowVisible();
        d.SendMessage(WM_TIMER, CConnectStatusChangeDlg::kCloseTimer, 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(open);
    EXPECT_TRUE(openAfterOtherTimer);
}

TEST_F(PromptTest, EnterAndEscapeEndTheConnectStatusPrompt)
{
    const struct
    {
        Qt::Key key;
        INT_PTR result;
    } cases[] = {{Qt::Key_Return, IDOK}, {Qt::Key_Escape, IDCANCEL}};
    for (const auto &c : cases)
    {
        CConnectStatusChangeDlg dlg(nullptr);
        dlg.m_nDisplayTime = 60000;
        ModalHook hook([&](CDialog &d) { QTest::keyClick(d.GetWidget(), c.key); });
        EXPECT_EQ(dlg.DoModal(), c.result);
    }
}

TEST_F(PromptTest, TheConnectStatusPromptStaysForTwoSeconds)
{
    CConnectStatusChangeDlg dlg(nullptr);
    EXPECT_EQ(dlg.m_nDisplayTime, 2000u);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    // A lower bound only: the timer may fire late on a busy machine, never much early.
    EXPECT_GE(clock.elapsed(), 1900);
}
} // namespace
