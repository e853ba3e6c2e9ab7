#include <QPainter>
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/UIStatic.h"

using uitest::Host;

namespace
{
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

// A bitmap whose left `keyWidth` columns are the pure-green key and the rest `color`.
std::unique_ptr<Gdiplus::Bitmap> KeyedBitmap(int width, int height, const QColor &color, int keyWidth = 0)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, keyWidth, height), QColor(0, 255, 0));
    p.end();
    return std::make_unique<Gdiplus::Bitmap>(image);
}

// A label that can be given pressed and hover images too.
class StateLabel : public UIStatic
{
  public:
    void SetAllImages(std::unique_ptr<Gdiplus::Image> normal, std::unique_ptr<Gdiplus::Image> disabled,
                      std::unique_ptr<Gdiplus::Image> pressed, std::unique_ptr<Gdiplus::Image> hover)
    {
        ReplaceImages(std::move(normal), std::move(disabled), std::move(pressed), std::move(hover));
    }
    std::unique_ptr<Gdiplus::Image> Load(UINT id) { return LoadPng(id, 1033); }
};

class UIStaticTest : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(host.Make()); }
    void TearDown() override
    {
        label.DestroyWindow();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    QImage Show()
    {
        label.Invalidate();
        vxtest::ProcessEvents();
        return host.Grab();
    }
    bool MakeLabel(LPCWSTR text, const CRect &rect)
    {
        return label.Create(text, rect, &host, 1100, WS_CHILD | WS_VISIBLE) != FALSE;
    }

    Host host;
    StateLabel label;
};

TEST_F(UIStaticTest, ANewLabelHasTheDocumentedLook)
{
    ASSERT_TRUE(MakeLabel(nullptr, CRect(10, 10, 110, 40)));
    EXPECT_EQ(label.GetState(), 0);
    EXPECT_EQ(label.GetTextLength(), 0);
    EXPECT_EQ(std::u16string(label.GetText()), u"");
    EXPECT_EQ(label.GetImageWidth(), 0);
    EXPECT_TRUE(label.m_bShowImage);
    EXPECT_FALSE(label.m_bStretch);
    EXPECT_FALSE(label.m_bCacheBackground);
    EXPECT_FALSE(label.IsMultiLine());
    // Style 0 makes a hidden child.
    UIStatic hidden;
    ASSERT_TRUE(hidden.Create(u"x", CRect(0, 0, 10, 10), &host, 1101));
    EXPECT_EQ(hidden.GetStyle() & (WS_CHILD | WS_VISIBLE), WS_CHILD);
}

TEST_F(UIStaticTest, TextStaysInvisibleUntilAColourIsSet)
{
    ASSERT_TRUE(MakeLabel(u"HHHHHHHH", CRect(10, 10, 210, 40)));
    QImage image = Show();
    EXPECT_EQ(uitest::CountOther(image, QRect(10, 10, 200, 30), kWhite), 0);

    label.SetTextColor(0xFF000000);
    image = Show();
    EXPECT_GT(uitest::CountOther(image, QRect(10, 10, 200, 30), kWhite), 20);
    EXPECT_EQ(label.GetCurrentTextColor(), 0xFF000000u);
    // The caption is drawn within the control only.
    EXPECT_EQ(uitest::CountOther(image, QRect(0, 45, 300, 150), kWhite), 0);
}

TEST_F(UIStaticTest, ImagesFollowTheStateAndMissingStateImagesShowTheNormalOne)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    label.SetImageCopy(KeyedBitmap(40, 20, kRed).get(), KeyedBitmap(40, 20, kBlue).get());
    for (int state : {0, 1, 2})
    {
        label.SetState(state);
        EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), kRed) << "state " << state;
    }
    label.EnableWindow(FALSE);
    EXPECT_EQ(label.GetState(), 3);
    EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), kBlue);
    label.EnableWindow(TRUE);
    EXPECT_EQ(label.GetState(), 0);
    EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), kRed);

    // With their own images, pressed and hover show them, and their text colours.
    label.SetAllImages(KeyedBitmap(40, 20, kRed), KeyedBitmap(40, 20, kBlue), KeyedBitmap(40, 20, kYellow),
                       KeyedBitmap(40, 20, QColor(0, 128, 0)));
    label.SetState(1);
    EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), kYellow);
    label.SetState(2);
    EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), QColor(0, 128, 0));
}

TEST_F(UIStaticTest, TheStateTextColourNeedsTheStateImage)
{
    ASSERT_TRUE(MakeLabel(u"HHHH", CRect(10, 10, 110, 40)));
    label.SetTextColors(0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFF808080);
    label.SetState(2);
    Show();
    EXPECT_EQ(label.GetCurrentTextColor(), 0xFFFF0000u); // no hover image: the normal colour
    label.SetAllImages(KeyedBitmap(100, 30, kRed, 100), KeyedBitmap(100, 30, kRed, 100),
                       KeyedBitmap(100, 30, kRed, 100), KeyedBitmap(100, 30, kRed, 100));
    label.SetState(2);
    Show();
    EXPECT_EQ(label.GetCurrentTextColor(), 0xFF0000FFu);
    label.SetState(1);
    Show();
    EXPECT_EQ(label.GetCurrentTextColor(), 0xFF00FF00u);
    label.EnableWindow(FALSE);
    Show();
    EXPECT_EQ(label.GetCurrentTextColor(), 0xFF808080u);
}

TEST_F(UIStaticTest, ADisabledLabelWithoutADisabledImageShowsTheNormalOne)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    label.SetImageCopy(KeyedBitmap(40, 20, kRed).get(), nullptr);
    label.EnableWindow(FALSE);
    EXPECT_EQ(vxtest::PixelAt(Show(), 30, 20), kRed);

    // The same for resources: a disabled id of 0 loads the normal picture again.
    label.SetImageResource(472, 0, 1033);
    const QImage shown = Show();
    auto normal = label.Load(472);
    ASSERT_TRUE(normal);
    EXPECT_EQ(vxtest::PixelAt(shown, 10 + 40, 10 + 11), QColor(normal->QtImage().pixel(40, 11)));
}

TEST_F(UIStaticTest, TheColourKeyLeavesPixelsToWhatLiesBeneathUnlessTheLabelIsOpaque)
{
    host.fill = RGB(0, 0, 255);
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    // The left 10 columns are the key colour.
    label.SetImageCopy(KeyedBitmap(40, 20, kRed, 10).get(), nullptr);
    QImage image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 15, 20), kBlue); // keyed: the host shows
    EXPECT_EQ(vxtest::PixelAt(image, 35, 20), kRed);

    // An opaque label fills its background and draws the image as it is.
    StateLabel opaque;
    opaque.SetTransparent(FALSE);
    opaque.SetBkColor(0xFFFFFF00);
    ASSERT_TRUE(opaque.Create(u"", CRect(100, 10, 160, 30), &host, 1102, WS_CHILD | WS_VISIBLE));
    opaque.SetImageCopy(KeyedBitmap(40, 20, kRed, 10).get(), nullptr);
    opaque.MoveWindow(100, 10, 60, 20); // wider than the image, so the fill shows right of it
    opaque.Invalidate();
    image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 102, 20), QColor(0, 255, 0)); // the key colour is drawn
    EXPECT_EQ(vxtest::PixelAt(image, 120, 20), kRed);
    EXPECT_EQ(vxtest::PixelAt(image, 150, 20), kYellow);

    // A key set later applies to the same label.
    label.SetColorKey(0x00FF0000);
    image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 35, 20), kBlue);
    opaque.DestroyWindow();
}

TEST_F(UIStaticTest, AnImageSizesTheWindowUnlessStretched)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(20, 30, 120, 90)));
    label.SetImageCopy(KeyedBitmap(40, 20, kRed).get(), nullptr);
    EXPECT_EQ(label.GetImageWidth(), 40);
    EXPECT_EQ(label.GetImageHeight(), 20);
    CRect r;
    label.GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(20, 30, 60, 50));
    label.MoveWindow(0, 0, 10, 10);
    label.SetImageResource(472, 470, 1033);
    label.GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(20, 30, 20 + 85, 30 + 23)); // back at the creation place, in the picture's size

    StateLabel stretched;
    stretched.m_bStretch = TRUE;
    ASSERT_TRUE(stretched.Create(u"", CRect(150, 30, 250, 90), &host, 1103, WS_CHILD | WS_VISIBLE));
    stretched.SetImageCopy(KeyedBitmap(40, 20, kRed).get(), nullptr);
    stretched.GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(150, 30, 250, 90));
    const QImage image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 245, 85), kRed); // drawn into the whole creation rectangle
    EXPECT_EQ(vxtest::PixelAt(image, 155, 35), kRed);
    stretched.DestroyWindow();
}

TEST_F(UIStaticTest, AMissingPictureLeavesTheImageEmptyAndTheWindowItsSize)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(20, 30, 120, 90)));
    label.SetImageResource(9999, 0, 1033);
    EXPECT_EQ(label.GetImageWidth(), 0);
    CRect r;
    label.GetClientRect(&r);
    EXPECT_EQ(r.Size(), CSize(100, 60));
    EXPECT_EQ(uitest::CountOther(Show(), QRect(20, 30, 100, 60), kWhite), 0);
    // Pictures are kept under language 1033 only.
    label.SetImageResource(472, 0, 1031);
    EXPECT_EQ(label.GetImageWidth(), 0);
}

TEST_F(UIStaticTest, AWideCaptionTurnsMultiLineForGoodAndLaterTextsStartAtTheTop)
{
    ASSERT_TRUE(MakeLabel(u"A rather long caption that cannot fit", CRect(10, 10, 110, 110)));
    label.SetTextColor(0xFF000000);
    Show();
    EXPECT_TRUE(label.IsMultiLine());
    label.SetText(u"Hi");
    const QImage image = Show();
    EXPECT_TRUE(label.IsMultiLine());
    const auto rows = uitest::InkRows(image, QRect(10, 10, 100, 100), kWhite);
    ASSERT_GE(rows.first, 0);
    EXPECT_LT(rows.second, 10 + 25); // at the top, not around the middle (y 60)

    // The same short caption on a fresh label is centred by the font's line height.
    StateLabel fresh;
    ASSERT_TRUE(fresh.Create(u"Hi", CRect(150, 10, 250, 110), &host, 1104, WS_CHILD | WS_VISIBLE));
    fresh.SetTextColor(0xFF000000);
    fresh.Invalidate();
    vxtest::ProcessEvents();
    const QImage centred = host.Grab();
    EXPECT_FALSE(fresh.IsMultiLine());
    const auto middle = uitest::InkRows(centred, QRect(150, 10, 100, 100), kWhite);
    ASSERT_GE(middle.first, 0);
    EXPECT_GT(middle.first, 10 + 35);
    EXPECT_LT(middle.second, 10 + 65);
    fresh.DestroyWindow();
}

TEST_F(UIStaticTest, ALinePlacedByTheLineAlignmentWhenNotCentred)
{
    ASSERT_TRUE(MakeLabel(u"Hi", CRect(10, 10, 110, 110)));
    label.SetTextColor(0xFF000000);
    label.SetVCenter(FALSE);
    label.SetLineAlignment(2);
    label.SetAlignment(2);
    const QImage image = Show();
    const auto rows = uitest::InkRows(image, QRect(10, 10, 100, 100), kWhite);
    ASSERT_GE(rows.first, 0);
    EXPECT_GT(rows.first, 10 + 70);                                          // at the bottom
    EXPECT_EQ(uitest::CountOther(image, QRect(10, 10, 60, 100), kWhite), 0); // and on the right
}

TEST_F(UIStaticTest, APressOnALabelReachesTheParentOnceInTheLabelsCoordinates)
{
    ASSERT_TRUE(MakeLabel(u"label", CRect(40, 50, 140, 80)));
    QTest::mousePress(label.GetWidget(), Qt::LeftButton, {}, QPoint(7, 9));
    QTest::mouseRelease(label.GetWidget(), Qt::LeftButton, {}, QPoint(7, 9));
    vxtest::ProcessEvents();
    ASSERT_EQ(host.presses.size(), 1u);
    EXPECT_EQ(host.presses[0], CPoint(7, 9));
}

TEST_F(UIStaticTest, CaptionsAreCutAt255CharactersWithoutSplittingAPair)
{
    ASSERT_TRUE(MakeLabel(nullptr, CRect(10, 10, 110, 40)));
    const std::u16string longText(400, u'x');
    label.SetText(longText.c_str());
    EXPECT_EQ(label.GetTextLength(), 255);
    EXPECT_EQ(std::u16string(label.GetText()), longText.substr(0, 255));

    std::u16string paired(254, u'a');
    paired += u"\U0001F600tail"; // a surrogate pair at 254 and 255
    label.SetText(paired.c_str());
    EXPECT_EQ(label.GetTextLength(), 254);
    label.SetText(nullptr); // changes nothing
    EXPECT_EQ(label.GetTextLength(), 254);
    label.SetText(u"");
    EXPECT_EQ(label.GetTextLength(), 0);
}

TEST_F(UIStaticTest, ACachedBackgroundIsCopiedNotPaintedOver)
{
    host.fill = RGB(0, 0, 255);
    label.m_bCacheBackground = TRUE;
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    // Normal: red on the right; disabled: yellow on the left, key on the right.
    label.SetImageCopy(KeyedBitmap(40, 20, kRed, 20).get(), nullptr);
    QImage image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 40, 20), kRed);
    EXPECT_EQ(vxtest::PixelAt(image, 15, 20), kBlue);

    QImage swapped(40, 20, QImage::Format_ARGB32);
    swapped.fill(QColor(0, 255, 0));
    QPainter(&swapped).fillRect(QRect(0, 0, 20, 20), kYellow);
    label.SetAllImages(KeyedBitmap(40, 20, kRed, 20), std::make_unique<Gdiplus::Bitmap>(swapped), nullptr,
                       nullptr);
    label.EnableWindow(FALSE);
    image = Show();
    EXPECT_EQ(vxtest::PixelAt(image, 15, 20), kYellow);
    EXPECT_EQ(vxtest::PixelAt(image, 40, 20), kBlue); // nothing of the earlier red is left
}

TEST(UIStaticTextTest, LoadStringTakesExactlyTheLanguageAsked)
{
    uitest::ProgramStrings strings;
    CString text;
    EXPECT_TRUE(text.LoadString(nullptr, 167, 1031));
    EXPECT_EQ(text.str(), u"Tage");
    EXPECT_TRUE(text.LoadString(nullptr, 167, 1033));
    EXPECT_EQ(text.str(), u"days");
    // A language the table does not have, and an id it does not have: the text stays.
    EXPECT_FALSE(text.LoadString(nullptr, 167, 1036));
    EXPECT_EQ(text.str(), u"days");
    EXPECT_FALSE(text.LoadString(nullptr, 65000, 1033));
    EXPECT_EQ(text.str(), u"days");
    CString empty;
    EXPECT_FALSE(empty.LoadString(nullptr, 65000, 1028));
    EXPECT_TRUE(empty.IsEmpty());
}

// A table with one text that only English has.
bool EnglishOnly(unsigned id, unsigned short language, std::u16string &out)
{
    if (id != 700 || language != 1033)
        return false;
    out = u"Only in English";
    return true;
}

TEST(UIStaticTextTest, ATextMissingInOneLanguageLeavesTheCaptionEmpty)
{
    const vxwin::StringTableLookup previous = vxwin::GetStringTableLookup();
    vxwin::SetStringTableLookup(&EnglishOnly);
    Host host;
    ASSERT_TRUE(host.Make());
    UIStatic english, german;
    for (auto [label, language] : {std::pair{&english, WORD(1033)}, std::pair{&german, WORD(1031)}})
    {
        CString caption;
        caption.LoadString(nullptr, 700, language);
        ASSERT_TRUE(label->Create(caption, CRect(10, 10, 200, 40), &host, 1000, WS_CHILD | WS_VISIBLE));
        label->SetTextColor(0xFF000000);
    }
    EXPECT_EQ(std::u16string(english.GetText()), u"Only in English");
    EXPECT_EQ(german.GetTextLength(), 0);
    english.DestroyWindow();
    german.DestroyWindow();
    host.DestroyWindow();
    vxtest::ProcessEvents();
    vxwin::SetStringTableLookup(previous);
}
} // namespace

namespace
{
TEST_F(UIStaticTest, BitmapHandlesGiveCopiesThatOutliveThem)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    {
        QImage red(30, 15, QImage::Format_ARGB32);
        red.fill(kRed);
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateFromImage(red));
        label.SetImage(bitmap, nullptr);
    }
    EXPECT_EQ(label.GetImageWidth(), 30);
    EXPECT_EQ(vxtest::PixelAt(Show(), 20, 15), kRed);
    label.EnableWindow(FALSE);
    EXPECT_EQ(vxtest::PixelAt(Show(), 20, 15), kRed); // the disabled image is the normal one
}

TEST_F(UIStaticTest, DrawingIntoAMemoryContextStartsFromWhatItHolds)
{
    ASSERT_TRUE(MakeLabel(u"", CRect(10, 10, 50, 30)));
    label.SetImageCopy(KeyedBitmap(40, 20, kRed, 20).get(), nullptr);
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    CBitmap target;
    ASSERT_TRUE(target.CreateCompatibleBitmap(&mem, 40, 20));
    CBitmap *old = mem.SelectObject(&target);
    mem.FillSolidRect(0, 0, 40, 20, RGB(0, 0, 255));
    label.Draw(&mem);
    mem.SelectObject(old);
    const QImage out = target.QtImage()->convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(QColor(out.pixel(5, 10)), kBlue); // keyed: what the context held
    EXPECT_EQ(QColor(out.pixel(30, 10)), kRed);
}
} // namespace
