#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

using wintest::HostWindow;
using wintest::Recorder;

namespace
{
// An edit that records its characters and lets through only digits and control characters
// unless told to let everything through.
class FilteredEdit : public CEdit
{
  public:
    std::vector<UINT> chars;
    bool digitsOnly = false;

  protected:
    void OnChar(UINT ch, UINT repeat, UINT flags) override
    {
        chars.push_back(ch);
        if (digitsOnly && ch >= 0x20 && (ch < u'0' || ch > u'9'))
            return;
        CEdit::OnChar(ch, repeat, flags);
    }
};

class EditTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make());
        ASSERT_TRUE(parent.MakeChild(&host, CRect(0, 0, 300, 200), 1));
        ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 150, 34), &parent, 1164));
    }
    void TearDown() override
    {
        edit.DestroyWindow();
        parent.DestroyWindow();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    std::u16string Text() const
    {
        CString s;
        edit.GetWindowText(s);
        return s.str();
    }
    int Changes() const
    {
        int n = 0;
        for (const auto &[id, code] : parent.commands)
            if (id == 1164 && code == EN_CHANGE)
                ++n;
        return n;
    }
    HostWindow host;
    Recorder parent;
    FilteredEdit edit;
};

TEST_F(EditTest, TypingReachesOnCharAndTheDefaultInsertsIt)
{
    QTest::keyClicks(edit.GetWidget(), "a1");
    EXPECT_EQ(edit.chars, (std::vector<UINT>{u'a', u'1'}));
    EXPECT_EQ(Text(), u"a1");
    QTest::keyClick(edit.GetWidget(), Qt::Key_Backspace);
    EXPECT_EQ(edit.chars.back(), 8u);
    EXPECT_EQ(Text(), u"a");
}

TEST_F(EditTest, ACharacterTheHandlerDropsNeverReachesTheText)
{
    edit.digitsOnly = true;
    QTest::keyClicks(edit.GetWidget(), "1x2");
    EXPECT_EQ(edit.chars.size(), 3u);
    EXPECT_EQ(Text(), u"12");
}

TEST_F(EditTest, KeysWithoutCharactersGoStraightToTheDefault)
{
    edit.SetWindowText(u"abc");
    QTest::keyClick(edit.GetWidget(), Qt::Key_Home);
    QTest::keyClick(edit.GetWidget(), Qt::Key_Delete);
    EXPECT_TRUE(edit.chars.empty());
    EXPECT_EQ(Text(), u"bc");
}

TEST_F(EditTest, AltAndMetaKeysTypeNothingPastTheHandler)
{
    // Such keys make no character message; their text must not reach the edit another way.
    edit.digitsOnly = true;
    edit.SetWindowText(u"1");
    for (Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(Qt::AltModifier), Qt::KeyboardModifiers(Qt::MetaModifier),
          Qt::ControlModifier | Qt::AltModifier})
    {
        QTest::keyClick(edit.GetWidget(), 'x', mods);
        QTest::keyClick(edit.GetWidget(), '5', mods);
    }
    EXPECT_TRUE(edit.chars.empty());
    EXPECT_EQ(Text(), u"1");
}

TEST_F(EditTest, ControlLettersArriveAsControlCharacters)
{
    edit.SetWindowText(u"abc");
    QTest::keyClick(edit.GetWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit.GetWidget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(edit.chars, (std::vector<UINT>{1, 3}));
}

TEST_F(EditTest, PastesArriveAs22AndTheDefaultPastes)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("42"));
    QTest::keyClick(edit.GetWidget(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(edit.chars, (std::vector<UINT>{22}));
    EXPECT_EQ(Text(), u"42");
    QTest::keyClick(edit.GetWidget(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit.chars, (std::vector<UINT>{22, 22}));
    EXPECT_EQ(Text(), u"4242");
}

TEST_F(EditTest, ChangesAreSentAtOnceForTypingAndForTextSetByTheProgram)
{
    QTest::keyClicks(edit.GetWidget(), "ab");
    EXPECT_EQ(Changes(), 2);
    edit.SetWindowText(u"xyz");
    EXPECT_EQ(Changes(), 3);
    EXPECT_EQ(Text(), u"xyz");
    edit.SetWindowText(u"xyz"); // the same text again is still a change
    EXPECT_EQ(Changes(), 4);
    edit.digitsOnly = true;
    QTest::keyClick(edit.GetWidget(), Qt::Key_Q); // dropped: no change
    EXPECT_EQ(Changes(), 4);
}

TEST_F(EditTest, AnEditDeletedByTheChangeHandlerIsSafe)
{
    class Deleter : public Recorder
    {
      public:
        CEdit *victim = nullptr;

      protected:
        BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
        {
            Recorder::OnCommand(wParam, lParam);
            if (HIWORD(wParam) == EN_CHANGE && victim)
            {
                delete victim;
                victim = nullptr;
            }
            return TRUE;
        }
    } page;
    ASSERT_TRUE(page.MakeChild(&host, CRect(0, 0, 300, 200), 2));
    auto *victim = new CEdit;
    ASSERT_TRUE(victim->Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), &page, 1016));
    page.victim = victim;
    QTest::keyClick(victim->GetWidget(), Qt::Key_5);
    EXPECT_EQ(page.victim, nullptr);
    EXPECT_EQ(page.GetDlgItem(1016), nullptr);
    vxtest::ProcessEvents();
    page.DestroyWindow();
}

TEST_F(EditTest, StylesLimitsAndSelection)
{
    CEdit styled;
    ASSERT_TRUE(
        styled.Create(WS_CHILD | WS_VISIBLE | ES_CENTER | ES_PASSWORD, CRect(0, 40, 100, 60), &parent, 1004));
    EXPECT_EQ(styled.GetLineEdit()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(styled.GetLineEdit()->alignment() & Qt::AlignHCenter);
    CEdit readOnly;
    ASSERT_TRUE(readOnly.Create(WS_CHILD | ES_READONLY, CRect(0, 70, 100, 90), &parent, 1005));
    EXPECT_TRUE(readOnly.GetLineEdit()->isReadOnly());

    edit.LimitText(4);
    QTest::keyClicks(edit.GetWidget(), "123456");
    EXPECT_EQ(Text(), u"1234");
    edit.SetSel(1, 3);
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 3);
    QTest::keyClick(edit.GetWidget(), Qt::Key_9);
    EXPECT_EQ(Text(), u"194");
    edit.GetSel(start, end);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(end, 2);
    EXPECT_EQ(edit.GetCaretIndex(), 2);
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(edit.CharFromPos(edit.GetCaretPos()))), 2);
    edit.SetSel(0, -1);
    edit.GetSel(start, end);
    EXPECT_EQ(end, 3);
    styled.DestroyWindow();
    readOnly.DestroyWindow();
}

TEST_F(EditTest, AProgramsTextWiderThanTheFieldShowsItsBeginning)
{
    edit.SetSel(0, 0);
    QTest::keyClicks(edit.GetWidget(), "typed");
    edit.SetWindowText(u"maximiliane.schwarzenberg.and.a.good.deal.more");
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0); // the field scrolls to keep the caret in view: at the start
}

TEST_F(EditTest, TheLimitBindsTypingButNotTheProgramsText)
{
    edit.LimitText(2);
    edit.SetWindowText(u"2024");
    EXPECT_EQ(Text(), u"2024");
    EXPECT_EQ(edit.GetLimitText(), 2u);
    // The person can still edit the whole text, but adds nothing while it is over the limit.
    edit.SetSel(4, 4);
    const int changes = Changes();
    QTest::keyClicks(edit.GetWidget(), "5");
    EXPECT_EQ(Text(), u"2024");
    EXPECT_EQ(Changes(), changes); // a refused character changes nothing, and says nothing
    QTest::keyClick(edit.GetWidget(), Qt::Key_Backspace);
    EXPECT_EQ(Text(), u"202");
    QTest::keyClicks(edit.GetWidget(), "5");
    EXPECT_EQ(Text(), u"202");
    // Once under the limit again, typing fills it up to the limit and no further.
    edit.SetSel(0, -1);
    QTest::keyClicks(edit.GetWidget(), "123");
    EXPECT_EQ(Text(), u"12");

    // A limit set over a longer text keeps that text too.
    edit.LimitText(0);
    edit.SetWindowText(u"abcdef");
    edit.LimitText(3);
    EXPECT_EQ(Text(), u"abcdef");
    EXPECT_EQ(edit.GetLimitText(), 3u);

    // A paste fills what room there is, as before.
    edit.SetWindowText(u"");
    edit.LimitText(4);
    edit.SetWindowText(u"ab");
    edit.SetSel(2, 2);
    QGuiApplication::clipboard()->setText(QStringLiteral("xyz"));
    QTest::keyClick(edit.GetWidget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(), u"abxy");

    // A character of two units goes in whole or not at all, never as a lone surrogate.
    const struct
    {
        const char16_t *before;
        const char16_t *pasted;
        const char16_t *after;
    } pairs[] = {
        {u"abc", u"\U0001F600", u"abc"},
        {u"abc", u"x\U0001F600", u"abcx"},
        {u"ab", u"\U0001F600z", u"ab\U0001F600"},
        {u"a", u"\U0001F600\U0001F601", u"a\U0001F600"},
    };
    for (const auto &p : pairs)
    {
        edit.SetWindowText(p.before);
        const int end = static_cast<int>(std::u16string_view(p.before).size());
        edit.SetSel(end, end);
        QGuiApplication::clipboard()->setText(QString::fromUtf16(p.pasted));
        QTest::keyClick(edit.GetWidget(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Text(), p.after) << QString::fromUtf16(p.pasted).toStdString();
    }
}

TEST_F(EditTest, ACharacterBeyondTheBasicPlaneArrivesWhole)
{
    auto typeText = [&](const QString &text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(edit.GetWidget(), &press);
    };
    typeText(QStringLiteral("a"));
    typeText(QString::fromUcs4(U"\U0001F600"));
    typeText(QStringLiteral("b"));
    EXPECT_EQ(Text(), u"a\U0001F600b");
    EXPECT_EQ(edit.chars, (std::vector<UINT>{u'a', 0x1F600, u'b'}));

    // A key whose text holds several characters sends one message for each, pairs whole.
    edit.chars.clear();
    edit.SetWindowText(u"");
    typeText(QString::fromUcs4(U"x\U0001F600y"));
    EXPECT_EQ(edit.chars, (std::vector<UINT>{u'x', 0x1F600, u'y'}));
    EXPECT_EQ(Text(), u"x\U0001F600y");

    // Text an input method commits to a typed-only edit takes the same road.
    edit.chars.clear();
    edit.SetWindowText(u"");
    edit.SetTypedInputOnly(TRUE);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUcs4(U"1\U0001F600"));
    QApplication::sendEvent(edit.GetWidget(), &commit);
    EXPECT_EQ(edit.chars, (std::vector<UINT>{u'1', 0x1F600}));
    EXPECT_EQ(Text(), u"1\U0001F600");
    edit.SetTypedInputOnly(FALSE);

    // A filter that refuses it keeps both halves out.
    edit.chars.clear();
    edit.digitsOnly = true;
    edit.SetWindowText(u"1");
    typeText(QString::fromUcs4(U"\U0001F600"));
    EXPECT_EQ(Text(), u"1");
}

TEST_F(EditTest, MarginsShapeTheFormattingRectangle)
{
    CRect r;
    edit.GetRect(&r);
    EXPECT_EQ(r, CRect(0, 0, 140, 24));
    r.left += 4;
    r.right -= 4;
    edit.SetRect(&r);
    CRect again;
    edit.GetRect(&again);
    EXPECT_EQ(again, CRect(4, 0, 136, 24));
    EXPECT_EQ(LOWORD(edit.GetMargins()), 4);
}

TEST_F(EditTest, TheEraseHookPaintsBeneathTheText)
{
    class Rounded : public CEdit
    {
      protected:
        BOOL OnEraseBkgnd(CDC *) override
        {
            // What a rounded frame does: the outer colour first, then its own background.
            QPainter *p = GetPaintContext()->Painter();
            p->fillRect(QRect(0, 0, 140, 24), QColor(0xDD, 0xDE, 0xDE));
            p->fillRect(QRect(10, 4, 120, 16), Qt::white);
            return TRUE;
        }
    } rounded;
    ASSERT_TRUE(rounded.Create(WS_CHILD | WS_VISIBLE, CRect(10, 50, 150, 74), &parent, 1300));
    const QImage image = vxtest::GrabWidget(rounded.GetWidget());
    EXPECT_EQ(vxtest::PixelAt(image, 2, 2), QColor(0xDD, 0xDE, 0xDE));
    EXPECT_EQ(vxtest::PixelAt(image, 60, 12), QColor(Qt::white));

    edit.SetColors(RGB(0, 0, 0), RGB(0x20, 0x40, 0x60));
    const QImage plain = vxtest::GrabWidget(edit.GetWidget());
    EXPECT_EQ(vxtest::PixelAt(plain, 2, 2), QColor(0x20, 0x40, 0x60));
    // A repaint without erasing (a focus change) still shows the background.
    edit.Invalidate(FALSE);
    const QImage again = vxtest::GrabWidget(edit.GetWidget());
    EXPECT_EQ(vxtest::PixelAt(again, 2, 2), QColor(0x20, 0x40, 0x60));
    rounded.DestroyWindow();
}

TEST_F(EditTest, TypedOnlyEditsRefuseDrops)
{
    auto drop = [](CEdit &target) {
        QMimeData data;
        data.setText(QStringLiteral("77"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target.GetWidget(), &enter);
        QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target.GetWidget(), &move);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target.GetWidget(), &event);
        return enter.isAccepted();
    };
    EXPECT_TRUE(drop(edit));
    EXPECT_EQ(Text(), u"77");
    edit.SetWindowText(u"");
    edit.SetTypedInputOnly(TRUE);
    EXPECT_FALSE(drop(edit));
    EXPECT_EQ(Text(), u"");
    EXPECT_EQ(edit.GetWidget()->contextMenuPolicy(), Qt::NoContextMenu);
}

TEST(StaticTest, CreationOrderOfArgumentsAndMouseTransparency)
{
    HostWindow host;
    ASSERT_TRUE(host.Make());
    CStatic quiet;
    ASSERT_TRUE(quiet.Create(u"Day", WS_CHILD | WS_VISIBLE | SS_CENTER, CRect(10, 10, 60, 30), &host, 1208));
    CString text;
    quiet.GetWindowText(text);
    EXPECT_EQ(text.str(), u"Day");
    EXPECT_EQ(quiet.GetDlgCtrlID(), 1208);
    EXPECT_TRUE(quiet.GetWidget()->testAttribute(Qt::WA_TransparentForMouseEvents));
    CStatic notifying;
    ASSERT_TRUE(notifying.Create(nullptr, WS_CHILD | SS_NOTIFY, CRect(10, 40, 60, 60), &host, 1212));
    EXPECT_FALSE(notifying.GetWidget()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(notifying.IsWindowVisible());
    host.DestroyWindow();
    vxtest::ProcessEvents();
}
} // namespace
