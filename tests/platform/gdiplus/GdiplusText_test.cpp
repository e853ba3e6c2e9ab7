#include "platform/gdiplus/Gdiplus.h"

#include "tests/platform/gdiplus/GuiApp.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Gdiplus;

namespace
{
class GdiplusText : public testing::Test
{
  protected:
    void SetUp() override { vxtest::EnsureGuiApplication(); }
};

struct Ink
{
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool Any() const { return right >= 0; }
    int Width() const { return Any() ? right - left + 1 : 0; }
    int Height() const { return Any() ? bottom - top + 1 : 0; }
};

Ink InkOf(const Bitmap &b)
{
    Ink ink;
    const QImage &img = b.QtImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 64)
            {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

void Draw(Bitmap &b, const char16_t *text, const Font &font, const RectF &box, const StringFormat *format,
          ARGB colour = 0xFF000000)
{
    Graphics g(&b);
    SolidBrush brush{Color(colour)};
    ASSERT_EQ(g.DrawString(text, -1, &font, box, format, &brush), Ok);
}
} // namespace

TEST_F(GdiplusText, ArialHasItsDesignMetrics)
{
    FontFamily arial(u"Arial");
    ASSERT_TRUE(arial.IsAvailable());
    // The metric-compatible face that stands in for Arial keeps its numbers.
    EXPECT_EQ(arial.GetEmHeight(FontStyleRegular), 2048);
    EXPECT_EQ(arial.GetCellAscent(FontStyleRegular), 1854);
    EXPECT_EQ(arial.GetCellDescent(FontStyleRegular), 434);
    EXPECT_EQ(arial.GetCellAscent(FontStyleBold), 1854);
    char16_t name[32];
    ASSERT_EQ(arial.GetFamilyName(name), Ok);
    EXPECT_EQ(std::u16string(name), u"Arial");

    FontFamily none(u"");
    EXPECT_FALSE(none.IsAvailable());
    Font broken(&none, 12);
    EXPECT_NE(broken.GetLastStatus(), Ok);
}

TEST_F(GdiplusText, TwelvePointsDrawAsSixteenPixels)
{
    const Font points(u"Arial", 12, FontStyleRegular, UnitPoint);
    const Font pixels(u"Arial", 16, FontStyleRegular, UnitPixel);
    EXPECT_FLOAT_EQ(points.PixelSize(), 16.0f);
    Bitmap a(120, 40), b(120, 40);
    Draw(a, u"Hg 12", points, RectF(0, 0, 120, 40), nullptr);
    Draw(b, u"Hg 12", pixels, RectF(0, 0, 120, 40), nullptr);
    EXPECT_TRUE(a.QtImage() == b.QtImage());

    // A capital stands about 0.716 em high in Arial: 11 to 12 pixels at a 16-pixel em.
    Bitmap h(40, 40);
    Draw(h, u"H", points, RectF(0, 0, 40, 40), nullptr);
    const Ink ink = InkOf(h);
    EXPECT_GE(ink.Height(), 11);
    EXPECT_LE(ink.Height(), 12);
}

TEST_F(GdiplusText, LineHeightFromCellMetrics)
{
    // The label height that the controls compute from the family metrics.
    FontFamily arial(u"Arial");
    const REAL size = 16;
    const REAL line = arial.GetCellAscent(0) * size / arial.GetEmHeight(0) +
                      arial.GetCellDescent(0) * size / arial.GetEmHeight(0);
    EXPECT_NEAR(line, 17.88, 0.01);
    Font font(&arial, size, FontStyleRegular, UnitPixel);
    EXPECT_NEAR(font.GetHeight(), 18.4, 0.1);
}

TEST_F(GdiplusText, TextInAColourWithoutAlphaLeavesNoInk)
{
    // A label whose colour was never set has alpha 0 and shows nothing.
    Bitmap b(100, 30);
    Draw(b, u"Cancel", Font(u"Arial", 16, FontStyleBold, UnitPixel), RectF(0, 0, 100, 30), nullptr,
         0x00FF0000);
    EXPECT_FALSE(InkOf(b).Any());
    Draw(b, u"Cancel", Font(u"Arial", 16, FontStyleBold, UnitPixel), RectF(0, 0, 100, 30), nullptr,
         0xFFFF0000);
    EXPECT_TRUE(InkOf(b).Any());
}

TEST_F(GdiplusText, AlignmentPlacesTheText)
{
    const Font font(u"Arial", 12, FontStyleBold, UnitPixel);
    StringFormat near, centre, far;
    centre.SetAlignment(StringAlignmentCenter);
    centre.SetLineAlignment(StringAlignmentCenter);
    far.SetAlignment(StringAlignmentFar);
    far.SetLineAlignment(StringAlignmentFar);
    Bitmap a(200, 60), b(200, 60), c(200, 60);
    Draw(a, u"Goal", font, RectF(0, 0, 200, 60), &near);
    Draw(b, u"Goal", font, RectF(0, 0, 200, 60), &centre);
    Draw(c, u"Goal", font, RectF(0, 0, 200, 60), &far);
    const Ink ia = InkOf(a), ib = InkOf(b), ic = InkOf(c);
    ASSERT_TRUE(ia.Any() && ib.Any() && ic.Any());
    EXPECT_LT(ia.left, 5);
    EXPECT_LT(ia.top, 8);
    EXPECT_NEAR((ib.left + ib.right) / 2.0, 100, 3);
    EXPECT_NEAR((ib.top + ib.bottom) / 2.0, 30, 4);
    EXPECT_GT(ic.right, 194);
    EXPECT_GT(ic.bottom, 50);
}

TEST_F(GdiplusText, TextIsClippedToItsLayout)
{
    const Font font(u"Arial", 20, FontStyleRegular, UnitPixel);
    StringFormat noWrap(StringFormatFlagsNoWrap);
    Bitmap b(200, 40);
    Draw(b, u"Description of a long goal", font, RectF(0, 0, 60, 40), &noWrap);
    const Ink ink = InkOf(b);
    ASSERT_TRUE(ink.Any());
    EXPECT_LT(ink.right, 60);
}

TEST_F(GdiplusText, LongTextWrapsInsideItsBox)
{
    const Font font(u"Arial", 12, FontStyleRegular, UnitPixel);
    Bitmap b(100, 100);
    Draw(b, u"less than 1 hour to go", font, RectF(0, 0, 80, 100), nullptr);
    const Ink ink = InkOf(b);
    ASSERT_TRUE(ink.Any());
    EXPECT_LT(ink.right, 80);
    EXPECT_GT(ink.Height(), 20); // two lines at least

    Graphics g(&b);
    RectF one, wrapped;
    ASSERT_EQ(g.MeasureString(u"less than 1 hour to go", -1, &font, RectF(0, 0, 0, 0), nullptr, &one), Ok);
    ASSERT_EQ(g.MeasureString(u"less than 1 hour to go", -1, &font, RectF(0, 0, 80, 100), nullptr, &wrapped),
              Ok);
    EXPECT_GT(one.Width, 80);
    EXPECT_LE(wrapped.Width, 80);
    EXPECT_GT(wrapped.Height, one.Height);
}

TEST_F(GdiplusText, MeasureHonoursLengthAndFailsWithoutFont)
{
    const Font font(u"Arial", 16, FontStyleRegular, UnitPixel);
    Bitmap b(10, 10);
    Graphics g(&b);
    RectF whole, part;
    g.MeasureString(u"Calories", -1, &font, PointF(0, 0), &whole);
    g.MeasureString(u"Calories", 3, &font, PointF(0, 0), &part);
    EXPECT_GT(whole.Width, part.Width);
    EXPECT_GT(part.Width, 0);
    EXPECT_EQ(g.MeasureString(u"x", -1, nullptr, PointF(0, 0), &whole), InvalidParameter);
}

TEST_F(GdiplusText, VerticalTextRunsDownTheBox)
{
    const Font font(u"Arial", 12, FontStyleBold, UnitPoint);
    StringFormat vertical(StringFormatFlagsDirectionVertical);
    Bitmap upright(30, 200), turned(30, 200);
    Draw(upright, u"Distance", font, RectF(0, 0, 30, 200), &vertical);
    const Ink a = InkOf(upright);
    ASSERT_TRUE(a.Any());
    EXPECT_GT(a.Height(), 2 * a.Width());
    EXPECT_LT(a.top, 10);

    // The chart title: turned half round about the origin and moved back into the box,
    // so it reads from the bottom up and starts near the bottom.
    {
        Graphics g(&turned);
        g.RotateTransform(180);
        g.TranslateTransform(-30, -200);
        SolidBrush brush(Color(0xFF72706F));
        ASSERT_EQ(g.DrawString(u"Distance", -1, &font, RectF(0, 0, 30, 200), &vertical, &brush), Ok);
    }
    const Ink b = InkOf(turned);
    ASSERT_TRUE(b.Any());
    EXPECT_GT(b.Height(), 2 * b.Width());
    EXPECT_GT(b.bottom, 190);
    EXPECT_FALSE(upright.QtImage() == turned.QtImage());
}

TEST_F(GdiplusText, ChineseTitleStacksOneCharacterPerLineInANarrowBox)
{
    const Font font(u"Arial", 12, FontStyleBold, UnitPoint);
    Bitmap b(30, 200);
    Draw(b, u"距离", font, RectF(0, 0, 30, 200), nullptr);
    const Ink ink = InkOf(b);
    ASSERT_TRUE(ink.Any());
    EXPECT_LT(ink.right, 30);
    EXPECT_GT(ink.Height(), 28); // two lines of about 16 pixels
}

TEST_F(GdiplusText, UnderlineAndStrikeOutAddInk)
{
    Bitmap plain(80, 30), under(80, 30), strike(80, 30);
    Draw(plain, u"on", Font(u"Arial", 16, FontStyleRegular, UnitPixel), RectF(0, 0, 80, 30), nullptr);
    Draw(under, u"on", Font(u"Arial", 16, FontStyleUnderline, UnitPixel), RectF(0, 0, 80, 30), nullptr);
    Draw(strike, u"on", Font(u"Arial", 16, FontStyleStrikeout, UnitPixel), RectF(0, 0, 80, 30), nullptr);
    EXPECT_GT(InkOf(under).bottom, InkOf(plain).bottom);
    EXPECT_FALSE(strike.QtImage() == plain.QtImage());
}

TEST_F(GdiplusText, ChineseAndGermanTextRenderWithRealGlyphs)
{
    // A missing glyph draws the same empty box for every character, so different
    // characters drawing differently shows the fonts are there.
    const Font font(u"Arial", 24, FontStyleRegular, UnitPixel);
    const char16_t *samples[][2] = {{u"中", u"文"}, {u"體", u"運"}, {u"ß", u"ä"}};
    for (const auto &pair : samples)
    {
        Bitmap a(80, 40), b(80, 40);
        Draw(a, pair[0], font, RectF(0, 0, 80, 40), nullptr);
        Draw(b, pair[1], font, RectF(0, 0, 80, 40), nullptr);
        EXPECT_TRUE(InkOf(a).Any());
        EXPECT_FALSE(a.QtImage() == b.QtImage());
    }
}
