#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>

#include "tests/ui/UiTestSupport.h"
#include "ui/UIEdit.h"

using uitest::Host;

namespace
{
const CRect kEditRect(20, 20, 120, 44);

// Key scripts: characters are typed as they are, with these stand-ins for keys.
constexpr char kBackspace = '\b';
constexpr char kEnter = '\r';
constexpr char kCtrlC = '\x03';
constexpr char kCtrlV = '\x16';
constexpr char kCtrlX = '\x18';
constexpr char kShiftInsert = '\x1A';

struct EditCase
{
    const char *name = "";
    bool numeric = false; // UINumericEdit instead of UIEdit
    UINT max = 65535;
    UINT min = 0;
    BOOL noLeadingZero = FALSE;
    std::u16string initial = {};
    int selStart = -1; // -1: caret at the end
    int selEnd = -1;
    std::string keys = {};
    std::u16string clipboard = {};
    std::u16string expected = {};
};

class UIEditTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make());
        host.GetWidget()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host.GetWidget()));
    }
    void TearDown() override
    {
        if (edit)
            edit->DestroyWindow();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    UIEdit &Make(bool numeric, const CRect &rect = kEditRect)
    {
        if (edit)
            edit->DestroyWindow();
        edit.reset(numeric ? new UINumericEdit : new UIEdit);
        EXPECT_TRUE(edit->Create(WS_CHILD | WS_VISIBLE, rect, &host, 1300));
        return *edit;
    }
    std::u16string Text() const
    {
        CString text;
        edit->GetWindowText(text);
        return text.str();
    }
    void Type(const std::string &keys)
    {
        QWidget *w = edit->GetWidget();
        for (char c : keys)
        {
            switch (c)
            {
            case kBackspace:
                QTest::keyClick(w, Qt::Key_Backspace);
                break;
            case kEnter:
                QTest::keyClick(w, Qt::Key_Return);
                break;
            case kCtrlC:
                QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
                break;
            case kCtrlV:
                QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
                break;
            case kCtrlX:
                QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
                break;
            case kShiftInsert:
                QTest::keyClick(w, Qt::Key_Insert, Qt::ShiftModifier);
                break;
            default:
                QTest::keyClick(w, c);
                break;
            }
        }
    }
    void RunCase(const EditCase &c)
    {
        SCOPED_TRACE(c.name);
        UIEdit &e = Make(c.numeric);
        e.SetNumericOnly(TRUE);
        e.SetMaxValue(c.max);
        e.SetMinValue(c.min);
        e.SetNoLeadingZero(c.noLeadingZero);
        e.SetWindowText(c.initial.c_str());
        if (c.selStart < 0)
            e.SetSel(static_cast<int>(c.initial.size()), static_cast<int>(c.initial.size()));
        else
            e.SetSel(c.selStart, c.selEnd);
        vxwin::SetClipboardText(c.clipboard);
        Type(c.keys);
        EXPECT_EQ(Text(), c.expected);
    }

    Host host;
    std::unique_ptr<UIEdit> edit;
};

const std::u16string k259Zeros(259, u'0');
const std::u16string k260Zeros(260, u'0');

const EditCase kTypedCases[] = {
    {.name = "maximum 255: the 6 of 256 is dropped", .max = 255, .keys = "256", .expected = u"25"},
    {.name = "maximum 255: a fourth digit is dropped", .max = 255, .keys = "2550", .expected = u"255"},
    {.name = "letters and signs are dropped", .keys = "a1-b2 .", .expected = u"12"},
    {.name = "no leading zero: 0 into an empty box", .noLeadingZero = TRUE, .keys = "05", .expected = u"5"},
    {.name = "no leading zero: a zero after the first digit",
     .noLeadingZero = TRUE,
     .keys = "10",
     .expected = u"10"},
    {.name = "no leading zero: a zero in front of digits",
     .noLeadingZero = TRUE,
     .initial = u"5",
     .selStart = 0,
     .selEnd = 0,
     .keys = "0",
     .expected = u"5"},
    {.name = "leading zeros allowed by default", .keys = "05", .expected = u"05"},
    {.name = "typing over the whole text is judged on the result",
     .max = 255,
     .initial = u"999",
     .selStart = 0,
     .selEnd = 3,
     .keys = "1",
     .expected = u"1"},
    {.name = "typing over part of the text",
     .max = 255,
     .initial = u"25",
     .selStart = 0,
     .selEnd = 1,
     .keys = "3",
     .expected = u"35"},
    {.name = "typing over part of the text that would exceed",
     .max = 90,
     .initial = u"25",
     .selStart = 0,
     .selEnd = 1,
     .keys = "9",
     .expected = u"25"},
    {.name = "inserting at the caret",
     .max = 255,
     .initial = u"15",
     .selStart = 1,
     .selEnd = 1,
     .keys = "0",
     .expected = u"105"},
    {.name = "inserting at the caret that would exceed",
     .max = 255,
     .initial = u"15",
     .selStart = 0,
     .selEnd = 0,
     .keys = "3",
     .expected = u"15"},
    {.name = "the minimum binds pastes only", .min = 30, .keys = "1", .expected = u"1"},
    {.name = "a would-be number past 32 bits does not wrap",
     .max = 255,
     .initial = u"429496729",
     .keys = "6",
     .expected = u"429496729"},
    {.name = "a would-be number past 64 bits does not wrap",
     .max = 255,
     .initial = u"1844674407370955161",
     .keys = "7",
     .expected = u"1844674407370955161"},
    {.name = "the largest maximum",
     .max = 4294967295u,
     .initial = u"429496729",
     .keys = "56",
     .expected = u"4294967295"},
    {.name = "Backspace always, even when it leaves a leading zero",
     .max = 255,
     .noLeadingZero = TRUE,
     .initial = u"105",
     .selStart = 1,
     .selEnd = 1,
     .keys = "\b",
     .expected = u"05"},
    {.name = "Enter changes nothing", .initial = u"12", .keys = "\r", .expected = u"12"},
    {.name = "Ctrl+C copies",
     .initial = u"123",
     .selStart = 0,
     .selEnd = 3,
     .keys = "\x03",
     .clipboard = u"9",
     .expected = u"123"},
    {.name = "Ctrl+X cuts",
     .initial = u"123",
     .selStart = 1,
     .selEnd = 3,
     .keys = "\x18",
     .clipboard = u"9",
     .expected = u"1"},
};

TEST_F(UIEditTest, KeyScripts)
{
    for (const EditCase &c : kTypedCases)
        RunCase(c);
}

TEST_F(UIEditTest, ANewBoxTakesNumbersUpTo65535WithLeadingZerosAndNoMinimum)
{
    // Only the filter is turned on: the limits are the box's own.
    for (bool numeric : {false, true})
    {
        SCOPED_TRACE(numeric ? "number box" : "text box");
        UIEdit &e = Make(numeric);
        e.SetNumericOnly(TRUE);
        Type("65536");
        EXPECT_EQ(Text(), u"6553");
        Type("5");
        EXPECT_EQ(Text(), u"65535");
        e.SetWindowText(u"");
        vxwin::SetClipboardText(u"0");
        Type("\x16");
        EXPECT_EQ(Text(), u"0");
        Type("5");
        EXPECT_EQ(Text(), u"05");
    }
}

TEST_F(UIEditTest, EnterAndBackspaceReachTheEditInEveryState)
{
    UIEdit &e = Make(false);
    e.SetNumericOnly(TRUE);
    e.SetMaxValue(5);
    int returns = 0;
    QObject::connect(e.GetLineEdit(), &QLineEdit::returnPressed, [&] { ++returns; });
    e.SetWindowText(u"99"); // already above the maximum
    e.SetSel(2, 2);
    Type("\r\b");
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(Text(), u"9");
}

TEST_F(UIEditTest, CopyAndCutAreNotFiltered)
{
    UIEdit &e = Make(false);
    e.SetNumericOnly(TRUE);
    e.SetWindowText(u"123");
    e.SetSel(0, 3);
    vxwin::SetClipboardText(u"x");
    Type("\x03");
    std::u16string clip;
    ASSERT_TRUE(vxwin::GetClipboardText(clip));
    EXPECT_EQ(clip, u"123");
    e.SetSel(0, 2);
    Type("\x18");
    ASSERT_TRUE(vxwin::GetClipboardText(clip));
    EXPECT_EQ(clip, u"12");
    EXPECT_EQ(Text(), u"3");
}

TEST_F(UIEditTest, WithoutTheFilterEverythingGoesIn)
{
    UIEdit &e = Make(false);
    e.SetMaxValue(5);
    vxwin::SetClipboardText(u"x7");
    Type("ab9\x16");
    EXPECT_EQ(Text(), u"ab9x7");
    EXPECT_FALSE(e.IsTypedInputOnly());
}

const EditCase kPasteCases[] = {
    {.name = "digits within the limits", .max = 255, .keys = "\x16", .clipboard = u"200", .expected = u"200"},
    {.name = "Shift+Insert is a paste too",
     .max = 255,
     .keys = "\x1A",
     .clipboard = u"200",
     .expected = u"200"},
    {.name = "Shift+Insert past the maximum",
     .max = 255,
     .keys = "\x1A",
     .clipboard = u"256",
     .expected = u""},
    {.name = "a leading zero with no leading zero set",
     .noLeadingZero = TRUE,
     .keys = "\x16",
     .clipboard = u"05",
     .expected = u""},
    {.name = "a leading zero allowed by default", .keys = "\x16", .clipboard = u"05", .expected = u"05"},
    {.name = "259 characters are still a paste",
     .keys = "\x16",
     .clipboard = k259Zeros,
     .expected = k259Zeros},
    {.name = "260 characters are refused", .keys = "\x16", .clipboard = k260Zeros, .expected = u""},
    {.name = "32-bit overflow against maximum 255",
     .max = 255,
     .keys = "\x16",
     .clipboard = u"4294967296",
     .expected = u""},
    {.name = "64-bit overflow against maximum 255",
     .max = 255,
     .keys = "\x16",
     .clipboard = u"18446744073709551617",
     .expected = u""},
    {.name = "below the minimum", .min = 30, .keys = "\x16", .clipboard = u"25", .expected = u""},
    {.name = "at the minimum", .min = 30, .keys = "\x16", .clipboard = u"30", .expected = u"30"},
    {.name = "a non-digit anywhere", .keys = "\x16", .clipboard = u"12a", .expected = u""},
    {.name = "a sign", .keys = "\x16", .clipboard = u"-1", .expected = u""},
    {.name = "an empty clipboard", .initial = u"4", .keys = "\x16", .clipboard = u"", .expected = u"4"},
    {.name = "appended at the caret",
     .max = 255,
     .initial = u"1",
     .keys = "\x16",
     .clipboard = u"23",
     .expected = u"123"},
    {.name = "appended past the maximum",
     .max = 255,
     .initial = u"2",
     .keys = "\x16",
     .clipboard = u"56",
     .expected = u"2"},
    {.name = "over a selection",
     .max = 999,
     .initial = u"999",
     .selStart = 1,
     .selEnd = 2,
     .keys = "\x16",
     .clipboard = u"0",
     .expected = u"909"},
    {.name = "over a selection, judged on the result",
     .max = 255,
     .initial = u"999",
     .selStart = 0,
     .selEnd = 3,
     .keys = "\x16",
     .clipboard = u"42",
     .expected = u"42"},
    {.name = "inserted at the caret giving a leading zero",
     .noLeadingZero = TRUE,
     .initial = u"5",
     .selStart = 0,
     .selEnd = 0,
     .keys = "\x16",
     .clipboard = u"0",
     .expected = u"5"},
};

TEST_F(UIEditTest, Pastes)
{
    for (const EditCase &c : kPasteCases)
        RunCase(c);
}

TEST_F(UIEditTest, EveryPasteKeyOfThePlatformIsFiltered)
{
    UIEdit &e = Make(false);
    e.SetNumericOnly(TRUE);
    const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Paste);
    ASSERT_FALSE(keys.isEmpty());
    for (const QKeySequence &sequence : keys)
    {
        SCOPED_TRACE(sequence.toString().toStdString());
        const QKeyCombination key = sequence[0];
        e.SetWindowText(u"");
        vxwin::SetClipboardText(u"1x");
        QTest::keyClick(e.GetWidget(), key.key(), key.keyboardModifiers());
        EXPECT_EQ(Text(), u"");
        vxwin::SetClipboardText(u"17");
        QTest::keyClick(e.GetWidget(), key.key(), key.keyboardModifiers());
        EXPECT_EQ(Text(), u"17");
    }
}

TEST_F(UIEditTest, APasteWhileTheClipboardIsHeldIsDropped)
{
    UIEdit &e = Make(false);
    e.SetNumericOnly(TRUE);
    vxwin::SetClipboardText(u"1x");
    ASSERT_TRUE(OpenClipboard(nullptr));
    Type("\x16");
    CloseClipboard();
    EXPECT_EQ(Text(), u"");
}

TEST_F(UIEditTest, TheFilterShutsTheWaysInThatTypeNothing)
{
    // Set before creation and after it.
    auto before = std::make_unique<UIEdit>();
    before->SetNumericOnly(TRUE);
    ASSERT_TRUE(before->Create(WS_CHILD | WS_VISIBLE, CRect(20, 60, 120, 84), &host, 1301));
    UIEdit &after = Make(false);
    after.SetNumericOnly(TRUE);
    for (UIEdit *e : {before.get(), &after})
    {
        EXPECT_TRUE(e->IsTypedInputOnly());
        EXPECT_EQ(e->GetWidget()->contextMenuPolicy(), Qt::NoContextMenu);
        EXPECT_FALSE(e->GetWidget()->acceptDrops());
        QMimeData data;
        data.setText(QStringLiteral("x"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e->GetWidget(), &enter);
        EXPECT_FALSE(enter.isAccepted());
    }
    after.SetNumericOnly(FALSE);
    EXPECT_FALSE(after.IsTypedInputOnly());
    EXPECT_EQ(after.GetWidget()->contextMenuPolicy(), Qt::DefaultContextMenu);
    before->DestroyWindow();
}

const EditCase kNumericCases[] = {
    {.name = "one decimal", .numeric = true, .max = 255, .keys = "12.5", .expected = u"12.5"},
    {.name = "a second decimal is dropped", .numeric = true, .max = 255, .keys = "1.55", .expected = u"1.5"},
    {.name = "a second point is dropped", .numeric = true, .max = 255, .keys = "1..5", .expected = u"1.5"},
    {.name = "a point into an empty box is dropped",
     .numeric = true,
     .max = 255,
     .keys = ".5",
     .expected = u"5"},
    {.name = "the maximum binds the whole part",
     .numeric = true,
     .max = 25,
     .keys = "25.9",
     .expected = u"25.9"},
    {.name = "the maximum binds the whole part: 256",
     .numeric = true,
     .max = 255,
     .keys = "256.",
     .expected = u"25."},
    {.name = "a digit behind the point blocks digits anywhere",
     .numeric = true,
     .max = 255,
     .initial = u"12.5",
     .selStart = 0,
     .selEnd = 0,
     .keys = "3",
     .expected = u"12.5"},
    {.name = "a text ending in the point takes one digit in front",
     .numeric = true,
     .max = 255,
     .initial = u"1.",
     .selStart = 0,
     .selEnd = 0,
     .keys = "2",
     .expected = u"21."},
    {.name = "a text ending in the point takes exactly one more digit",
     .numeric = true,
     .max = 255,
     .initial = u"7.",
     .keys = "89",
     .expected = u"7.8"},
    {.name = "a point that would leave two decimals is dropped",
     .numeric = true,
     .max = 255,
     .initial = u"255",
     .selStart = 1,
     .selEnd = 1,
     .keys = ".",
     .expected = u"255"},
    {.name = "a point that leaves one decimal",
     .numeric = true,
     .max = 255,
     .initial = u"255",
     .selStart = 2,
     .selEnd = 2,
     .keys = ".",
     .expected = u"25.5"},
    {.name = "a point over the whole text is dropped",
     .numeric = true,
     .max = 255,
     .initial = u"123",
     .selStart = 0,
     .selEnd = 3,
     .keys = ".",
     .expected = u"123"},
    {.name = "a point over the end of the text follows what stays",
     .numeric = true,
     .max = 255,
     .initial = u"123",
     .selStart = 1,
     .selEnd = 3,
     .keys = ".",
     .expected = u"1."},
    {.name = "a point over the old point and its decimal",
     .numeric = true,
     .max = 255,
     .initial = u"12.5",
     .selStart = 2,
     .selEnd = 4,
     .keys = ".",
     .expected = u"12."},
    {.name = "a digit over the decimal replaces it",
     .numeric = true,
     .max = 255,
     .initial = u"1.5",
     .selStart = 2,
     .selEnd = 3,
     .keys = "7",
     .expected = u"1.7"},
    {.name = "a digit over the point and its decimal",
     .numeric = true,
     .max = 255,
     .initial = u"1.5",
     .selStart = 1,
     .selEnd = 3,
     .keys = "2",
     .expected = u"12"},
    {.name = "a digit over the whole part keeps the decimal rule",
     .numeric = true,
     .max = 255,
     .initial = u"12.5",
     .selStart = 0,
     .selEnd = 2,
     .keys = "3",
     .expected = u"12.5"},
    {.name = "no leading zero binds the whole part",
     .numeric = true,
     .noLeadingZero = TRUE,
     .keys = "0.5",
     .expected = u"5"},
    {.name = "Backspace in front of the point",
     .numeric = true,
     .initial = u"12.5",
     .keys = "\b\b3",
     .expected = u"123"},
    {.name = "paste of one digit behind the point",
     .numeric = true,
     .initial = u"1.",
     .keys = "\x16",
     .clipboard = u"5",
     .expected = u"1.5"},
    {.name = "paste of two digits behind the point",
     .numeric = true,
     .initial = u"1.",
     .keys = "\x16",
     .clipboard = u"55",
     .expected = u"1."},
    {.name = "paste behind a decimal already there",
     .numeric = true,
     .initial = u"1.5",
     .keys = "\x16",
     .clipboard = u"5",
     .expected = u"1.5"},
    {.name = "paste in front of the point",
     .numeric = true,
     .max = 255,
     .initial = u"1.5",
     .selStart = 0,
     .selEnd = 0,
     .keys = "\x16",
     .clipboard = u"2",
     .expected = u"21.5"},
    {.name = "paste of a point",
     .numeric = true,
     .initial = u"1",
     .keys = "\x16",
     .clipboard = u".5",
     .expected = u"1"},
    {.name = "paste over the maximum",
     .numeric = true,
     .max = 255,
     .keys = "\x16",
     .clipboard = u"4294967296",
     .expected = u""},
    {.name = "paste below the minimum",
     .numeric = true,
     .min = 30,
     .keys = "\x16",
     .clipboard = u"29",
     .expected = u""},
};

TEST_F(UIEditTest, NumericEditDecimalRules)
{
    for (const EditCase &c : kNumericCases)
        RunCase(c);
}

TEST_F(UIEditTest, CharactersBeyondTheBasicPlane)
{
    // A key that types one character outside the basic plane: its text is a surrogate pair.
    auto typeText = [&](const QString &text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(edit->GetWidget(), &press);
    };
    const QString grin = QString::fromUcs4(U"\U0001F600");
    // Their low units alone are a digit and a point: never to be taken for them.
    const QString digitLow = QString::fromUcs4(U"\U00010030");
    const QString pointLow = QString::fromUcs4(U"\U0001002E");

    Make(false);
    typeText(QStringLiteral("a"));
    typeText(grin);
    typeText(QStringLiteral("b"));
    EXPECT_EQ(Text(), u"a\U0001F600b");

    for (bool numeric : {false, true})
    {
        SCOPED_TRACE(numeric ? "number box with a point" : "number box");
        UIEdit &e = Make(numeric);
        e.SetNumericOnly(TRUE);
        e.SetWindowText(u"1");
        for (const QString &text : {grin, digitLow, pointLow})
            typeText(text);
        EXPECT_EQ(Text(), u"1");
    }
}

TEST(UIEditNumber, LeadingNumberSaturates)
{
    constexpr unsigned long long kMax = std::numeric_limits<unsigned long long>::max();
    const std::pair<std::u16string, unsigned long long> cases[] = {
        {u"", 0},
        {u"0", 0},
        {u"255", 255},
        {u"25a6", 25},
        {u"12.5", 12},
        {u"4294967296", 4294967296ull},
        {u"18446744073709551615", kMax},
        {u"18446744073709551616", kMax},
        {u"999999999999999999999999999999", kMax},
        {u" 5", 0},
    };
    for (const auto &[text, value] : cases)
        EXPECT_EQ(UIEdit::LeadingNumber(text), value) << std::string(text.begin(), text.end());
}

// ---- Look -------------------------------------------------------------------------------

// An edit whose focused and unfocused backgrounds differ.
class TwoColourEdit : public UIEdit
{
  public:
    void SetBackgrounds(COLORREF normal, COLORREF focused)
    {
        m_crBackgroundNormal = normal;
        m_crBackgroundFocused = focused;
    }
};

TEST_F(UIEditTest, TheBackgroundFollowsTheFocus)
{
    host.fill = RGB(0, 0, 0);
    auto *e = new TwoColourEdit;
    edit.reset(e);
    ASSERT_TRUE(e->Create(WS_CHILD | WS_VISIBLE, kEditRect, &host, 1300));
    UIEdit other;
    ASSERT_TRUE(other.Create(WS_CHILD | WS_VISIBLE, CRect(20, 100, 120, 124), &host, 1301));
    auto shown = [&] {
        e->Invalidate();
        vxtest::ProcessEvents();
        return vxtest::PixelAt(host.Grab(), kEditRect.right - 5, kEditRect.top + 12);
    };
    EXPECT_EQ(shown(), QColor(255, 255, 255));
    // Not shown before the focus first comes or goes.
    e->SetBkColor(RGB(0, 0, 200));
    EXPECT_EQ(shown(), QColor(255, 255, 255));
    EXPECT_EQ(e->GetCurrentBkColor(), RGB(255, 255, 255));
    e->SetFocus();
    EXPECT_EQ(shown(), QColor(0, 0, 200));
    e->SetBackgrounds(RGB(200, 0, 0), RGB(0, 200, 0));
    other.SetFocus();
    EXPECT_EQ(shown(), QColor(200, 0, 0));
    e->SetFocus();
    EXPECT_EQ(shown(), QColor(0, 200, 0));
    EXPECT_EQ(e->GetCurrentBkColor(), RGB(0, 200, 0));
    other.DestroyWindow();
}

TEST_F(UIEditTest, TheTextIsDrawnInTheTextColour)
{
    UIEdit &e = Make(false, CRect(20, 20, 220, 60));
    e.SetFontSize(20);
    e.SetTextColor(RGB(200, 0, 0));
    e.SetWindowText(u"888");
    vxtest::ProcessEvents();
    const QImage image = host.Grab();
    int red = 0;
    for (int y = 20; y < 60; ++y)
        for (int x = 20; x < 220; ++x)
            if (vxtest::PixelAt(image, x, y) == QColor(200, 0, 0))
                ++red;
    EXPECT_GT(red, 30);
}

TEST_F(UIEditTest, TheRoundFrameLeavesTheCornersToTheOuterColour)
{
    host.fill = RGB(0, 0, 0);
    UIEdit &e = Make(false, CRect(20, 20, 120, 50)); // 100 by 30
    e.SetOuterColor(RGB(0, 0, 255));
    e.SetBkColor(RGB(255, 255, 0));
    e.SetFocus(); // the background shows from the first focus
    e.SetRoundFrame(20, 16);
    EXPECT_EQ(e.GetMargins(), static_cast<DWORD>(MAKELONG(10, 10)));
    e.Invalidate();
    vxtest::ProcessEvents();
    QImage image = host.Grab();
    const QColor outer(0, 0, 255);
    const QColor inner(255, 255, 0);
    struct Probe
    {
        int x, y;
        QColor colour;
    };
    const Probe probes[] = {
        {0, 0, outer},  {99, 0, outer},  {0, 29, outer},  {99, 29, outer}, {1, 1, outer},   {50, 0, inner},
        {0, 15, inner}, {99, 15, inner}, {50, 29, inner}, {10, 8, inner},  {90, 22, inner}, {50, 15, inner},
    };
    for (const Probe &p : probes)
        EXPECT_EQ(vxtest::PixelAt(image, 20 + p.x, 20 + p.y), p.colour) << p.x << "," << p.y;

    // A new font or size keeps the text clear of the corners by the same margins.
    e.SetFontSize(14);
    e.MoveWindow(20, 20, 120, 30);
    EXPECT_EQ(e.GetMargins(), static_cast<DWORD>(MAKELONG(10, 10)));

    // A frame chosen before the window exists narrows the text from the start.
    UIEdit early;
    early.SetRoundFrame(8, 8);
    ASSERT_TRUE(early.Create(WS_CHILD | WS_VISIBLE, CRect(20, 100, 120, 124), &host, 1302));
    EXPECT_EQ(early.GetMargins(), static_cast<DWORD>(MAKELONG(4, 4)));
    early.DestroyWindow();

    // (0, 0) turns the frame off: the whole box is the background.
    e.SetRoundFrame(0, 0);
    e.Invalidate();
    vxtest::ProcessEvents();
    image = host.Grab();
    EXPECT_EQ(vxtest::PixelAt(image, 20, 20), inner);
    EXPECT_EQ(vxtest::PixelAt(image, 139, 49), inner);
}

TEST_F(UIEditTest, PointFontsAt96DotsPerInch)
{
    UIEdit &e = Make(false);
    ASSERT_NE(e.GetFont(), nullptr);
    EXPECT_EQ(e.GetFontSize(), 12);
    EXPECT_EQ(e.GetLineEdit()->font().pixelSize(), 16);
    CFont *first = e.GetFont();
    e.SetFontSize(12); // the same size: nothing new
    EXPECT_EQ(e.GetFont(), first);
    e.SetFontSize(20);
    EXPECT_EQ(e.GetFontSize(), 20);
    EXPECT_EQ(e.GetLineEdit()->font().pixelSize(), 27);
    EXPECT_EQ(e.GetFont()->QtFont()->pixelSize(), 27);
    EXPECT_EQ(e.GetLineEdit()->font().family(), QStringLiteral("Arial"));

    // A size chosen before the window exists is the font it is created with.
    UIEdit early;
    early.SetFontSize(9);
    ASSERT_TRUE(early.Create(WS_CHILD | WS_VISIBLE, CRect(20, 60, 120, 84), &host, 1302));
    EXPECT_EQ(early.GetLineEdit()->font().pixelSize(), 12);
    early.DestroyWindow();
}

TEST_F(UIEditTest, HasSelection)
{
    UIEdit &e = Make(false);
    e.SetWindowText(u"1234");
    e.SetSel(1, 1);
    EXPECT_FALSE(e.HasSelection());
    e.SetSel(1, 3);
    EXPECT_TRUE(e.HasSelection());
}
} // namespace

namespace
{
TEST_F(UIEditTest, ACachingFramedEditRisesOnItsFirstEraseAndKeepsItsCorners)
{
    host.fill = RGB(0, 0, 0);
    auto *e = new UIEdit;
    edit.reset(e);
    e->m_bCacheBackground = TRUE;
    e->SetOuterColor(RGB(0, 0, 255));
    ASSERT_TRUE(e->Create(WS_CHILD | WS_VISIBLE, kEditRect, &host, 1300));
    e->SetRoundFrame(12, 12);
    // A picture made later lies above the edit until the edit's first erase.
    UIEdit cover;
    ASSERT_TRUE(cover.Create(WS_CHILD, CRect(0, 0, 10, 10), &host, 1301));
    ASSERT_EQ(host.GetWidget()->children().back(), cover.GetWidget());
    e->Invalidate();
    EXPECT_TRUE(vxtest::WaitFor([&] { return host.GetWidget()->children().back() == e->GetWidget(); }));
    for (int round = 0; round < 2; ++round) // the capture, then the copy of it
    {
        e->Invalidate();
        vxtest::ProcessEvents();
        const QImage image = host.Grab();
        EXPECT_EQ(vxtest::PixelAt(image, kEditRect.left, kEditRect.top), QColor(0, 0, 255)) << round;
        EXPECT_EQ(vxtest::PixelAt(image, kEditRect.left + 50, kEditRect.top + 12), QColor(255, 255, 255))
            << round;
    }
    cover.DestroyWindow();
}
} // namespace
