#include "platform/gdiplus/Gdiplus.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace Gdiplus;

namespace
{
ARGB PixelAt(const Bitmap &b, int x, int y)
{
    Color c;
    EXPECT_EQ(b.GetPixel(x, y, &c), Ok) << x << "," << y;
    return c.GetValue();
}

int Alpha(ARGB v)
{
    return int(v >> 24);
}

// The rounded box of the goal list: four quarter arcs of diameter d around a rectangle.
void AddRoundedBox(GraphicsPath &path, REAL x, REAL y, REAL w, REAL h, REAL d)
{
    path.AddArc(x, y, d, d, 180, 90);
    path.AddArc(x + w - d, y, d, d, 270, 90);
    path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
    path.AddArc(x, y + h - d, d, d, 90, 90);
    path.CloseFigure();
}
} // namespace

TEST(GdiplusDraw, ColorKeyRemovesExactlyTheKeyColour)
{
    Bitmap source(4, 1);
    source.SetPixel(0, 0, Color(0xFF00FF00)); // the key
    source.SetPixel(1, 0, Color(0xFF00FE00)); // one step off in green
    source.SetPixel(2, 0, Color(0xFF01FF00)); // one step off in red
    source.SetPixel(3, 0, Color(0xFF00FF01)); // one step off in blue

    ImageAttributes attributes;
    attributes.SetColorKey(Color(0x0000FF00), Color(0x0000FF00));
    Bitmap target(4, 1);
    {
        Graphics g(&target);
        ASSERT_EQ(g.DrawImage(&source, Rect(0, 0, 4, 1), 0, 0, 4, 1, UnitPixel, &attributes), Ok);
    }
    EXPECT_EQ(Alpha(PixelAt(target, 0, 0)), 0);
    EXPECT_EQ(PixelAt(target, 1, 0), 0xFF00FE00u);
    EXPECT_EQ(PixelAt(target, 2, 0), 0xFF01FF00u);
    EXPECT_EQ(PixelAt(target, 3, 0), 0xFF00FF01u);
}

TEST(GdiplusDraw, ColorKeyRangeAndItsAbsence)
{
    Bitmap source(3, 1);
    source.SetPixel(0, 0, Color(0xFF101010));
    source.SetPixel(1, 0, Color(0xFF202020));
    source.SetPixel(2, 0, Color(0xFF303030));
    ImageAttributes range;
    range.SetColorKey(Color(0x000F0F0F), Color(0x00202020));
    ImageAttributes none;

    Bitmap keyed(3, 1), plain(3, 1);
    {
        Graphics g(&keyed);
        g.DrawImage(&source, Rect(0, 0, 3, 1), 0, 0, 3, 1, UnitPixel, &range);
        Graphics h(&plain);
        h.DrawImage(&source, Rect(0, 0, 3, 1), 0, 0, 3, 1, UnitPixel, &none);
    }
    EXPECT_EQ(Alpha(PixelAt(keyed, 0, 0)), 0);
    EXPECT_EQ(Alpha(PixelAt(keyed, 1, 0)), 0);
    EXPECT_EQ(PixelAt(keyed, 2, 0), 0xFF303030u);
    EXPECT_EQ(PixelAt(plain, 0, 0), 0xFF101010u);
}

TEST(GdiplusDraw, KeyedCopyFollowsChangesOfTheImage)
{
    Bitmap source(1, 1);
    source.SetPixel(0, 0, Color(0xFF00FF00));
    ImageAttributes attributes;
    attributes.SetColorKey(Color(0x0000FF00), Color(0x0000FF00));
    Bitmap first(1, 1), second(1, 1);
    {
        Graphics g(&first);
        g.DrawImage(&source, Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel, &attributes);
    }
    // Drawing into the source through a graphics must not leave a stale keyed copy behind.
    {
        Graphics g(&source);
        SolidBrush red(Color(0xFFFF0000));
        g.FillRectangle(&red, 0, 0, 1, 1);
    }
    {
        Graphics g(&second);
        g.DrawImage(&source, Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel, &attributes);
    }
    EXPECT_EQ(Alpha(PixelAt(first, 0, 0)), 0);
    EXPECT_EQ(PixelAt(second, 0, 0), 0xFFFF0000u);
}

TEST(GdiplusDraw, KeyedCopyIsNotReusedWhileTheImageIsBeingDrawn)
{
    Bitmap source(1, 1);
    ImageAttributes attributes;
    attributes.SetColorKey(Color(0x0000FF00), Color(0x0000FF00));
    Bitmap first(1, 1), second(1, 1);
    Graphics painting(&source);
    SolidBrush red(Color(0xFFFF0000)), green(Color(0xFF00FF00));
    painting.FillRectangle(&red, 0, 0, 1, 1);
    {
        Graphics g(&first);
        g.DrawImage(&source, Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel, &attributes);
    }
    painting.FillRectangle(&green, 0, 0, 1, 1);
    {
        Graphics g(&second);
        g.DrawImage(&source, Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel, &attributes);
    }
    EXPECT_EQ(PixelAt(first, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Alpha(PixelAt(second, 0, 0)), 0);
}

TEST(GdiplusDraw, GraphicsOnNoImageFails)
{
    Graphics g(static_cast<Image *>(nullptr));
    EXPECT_EQ(g.GetLastStatus(), InvalidParameter);
    Bitmap empty(0, 0);
    Graphics h(&empty);
    EXPECT_EQ(h.GetLastStatus(), InvalidParameter);
    EXPECT_EQ(h.Clear(Color(0xFF000000)), InvalidParameter);
}

TEST(GdiplusDraw, DrawImageStretchesIntoTheDestination)
{
    Bitmap source(2, 2);
    for (int i = 0; i < 4; ++i)
        source.SetPixel(i % 2, i / 2, Color(0xFF0000FF));
    Bitmap target(10, 10);
    {
        Graphics g(&target);
        ASSERT_EQ(g.DrawImage(&source, 2, 2, 6, 6), Ok);
    }
    EXPECT_EQ(PixelAt(target, 5, 5), 0xFF0000FFu);
    EXPECT_EQ(Alpha(PixelAt(target, 1, 1)), 0);
    EXPECT_EQ(Alpha(PixelAt(target, 8, 8)), 0);

    Graphics g(&target);
    EXPECT_EQ(g.DrawImage(nullptr, 0, 0), InvalidParameter);
    EXPECT_EQ(g.GetLastStatus(), InvalidParameter);
}

TEST(GdiplusDraw, ClearFillsEverythingIncludingAlpha)
{
    Bitmap b(3, 3);
    Graphics g(&b);
    ASSERT_EQ(g.Clear(Color(0xFFFFFFFF)), Ok);
    ASSERT_EQ(g.Clear(Color(0x00000000)), Ok);
    g.RotateTransform(45);
    SolidBrush brush(Color(0xFF0000FF));
    ASSERT_EQ(g.Clear(Color(0x80102030)), Ok);
    Color c;
    b.GetPixel(2, 2, &c);
    EXPECT_EQ(c.GetA(), 0x80);
}

TEST(GdiplusDraw, VerticalGradientHasItsEndColours)
{
    Bitmap b(4, 100);
    {
        Graphics g(&b);
        LinearGradientBrush brush(Rect(0, 0, 4, 100), Color(0xFF000000), Color(0xFFFFFFFF),
                                  LinearGradientModeVertical);
        ASSERT_EQ(g.FillRectangle(&brush, 0, 0, 4, 100), Ok);
    }
    const ARGB top = PixelAt(b, 1, 0), bottom = PixelAt(b, 1, 99);
    EXPECT_EQ(Alpha(top), 255);
    EXPECT_LE(int(top & 0xFF), 4);
    EXPECT_GE(int(bottom & 0xFF), 251);
    // It runs down, not across: one row has one colour.
    EXPECT_EQ(PixelAt(b, 0, 50), PixelAt(b, 3, 50));
    EXPECT_LT(int(PixelAt(b, 0, 25) & 0xFF), int(PixelAt(b, 0, 75) & 0xFF));
}

TEST(GdiplusDraw, GradientAlphaEndsOfTheGoalBox)
{
    // The goal boxes fade from transparent grey at the top to opaque grey at the bottom.
    Bitmap b(2, 50);
    {
        Graphics g(&b);
        LinearGradientBrush brush(Rect(0, 0, 2, 51), Color(0x00C2C2C2), Color(0xFFC2C2C2),
                                  LinearGradientModeVertical);
        g.FillRectangle(&brush, 0, 0, 2, 50);
    }
    EXPECT_LE(Alpha(PixelAt(b, 0, 0)), 5);
    EXPECT_GE(Alpha(PixelAt(b, 0, 49)), 245);
    EXPECT_NEAR(int((PixelAt(b, 0, 49) >> 16) & 0xFF), 0xC2, 2);
}

TEST(GdiplusDraw, PathGradientIsClearAtTheEdgeAndGreyInside)
{
    const int w = 140, h = 100;
    Bitmap b(w, h);
    {
        Graphics g(&b);
        GraphicsPath path;
        path.AddRectangle(Rect(0, 0, w, h));
        PathGradientBrush brush(&path);
        const Color colours[3] = {Color(0x00FFFFFF), Color(0xB4696969), Color(0xB4696969)};
        const REAL positions[3] = {0.0f, 0.1f, 1.0f};
        ASSERT_EQ(brush.SetInterpolationColors(colours, positions, 3), Ok);
        brush.SetWrapMode(WrapModeClamp);
        ASSERT_EQ(g.FillRectangle(&brush, 0, 0, w, h), Ok);
    }
    // The outermost pixels lie on the boundary: position 0.
    for (int x = 0; x < w; x += 7)
    {
        EXPECT_EQ(Alpha(PixelAt(b, x, 0)), 0) << x;
        EXPECT_EQ(Alpha(PixelAt(b, x, h - 1)), 0) << x;
    }
    for (int y = 0; y < h; y += 7)
        EXPECT_EQ(Alpha(PixelAt(b, 0, y)), 0) << y;
    // Inside the outer 10 % of each half the colour is the plateau.
    const ARGB centre = PixelAt(b, w / 2, h / 2);
    EXPECT_EQ(Alpha(centre), 0xB4);
    EXPECT_NEAR(int((centre >> 16) & 0xFF), 0x69, 1);
    EXPECT_EQ(Alpha(PixelAt(b, w / 2, 10)), 0xB4);
    EXPECT_EQ(Alpha(PixelAt(b, 12, h / 2)), 0xB4);
    // Between the edge and 10 % the alpha rises.
    const int a1 = Alpha(PixelAt(b, w / 2, 1)), a3 = Alpha(PixelAt(b, w / 2, 3));
    EXPECT_GT(a1, 0);
    EXPECT_LT(a1, a3);
    EXPECT_LT(a3, 0xB4);
}

TEST(GdiplusDraw, PathGradientPaintsNothingOutsideItsRectangle)
{
    Bitmap b(60, 40);
    {
        Graphics g(&b);
        const PointF corners[4] = {PointF(10, 10), PointF(50, 10), PointF(50, 30), PointF(10, 30)};
        PathGradientBrush brush(corners, 4);
        brush.SetCenterColor(Color(0xFFFF0000));
        g.FillRectangle(&brush, 0, 0, 60, 40);
    }
    EXPECT_EQ(Alpha(PixelAt(b, 5, 5)), 0);
    EXPECT_EQ(Alpha(PixelAt(b, 55, 35)), 0);
    const ARGB centre = PixelAt(b, 30, 20);
    EXPECT_GE(int((centre >> 16) & 0xFF), 0xF0);
    EXPECT_LE(int((centre >> 8) & 0xFF), 0x20);
}

TEST(GdiplusDraw, PathGradientColourTable)
{
    GraphicsPath path;
    path.AddRectangle(RectF(0, 0, 10, 10));
    PathGradientBrush brush(&path);
    const Color colours[3] = {Color(0x00FFFFFF), Color(0xB4696969), Color(0xB4696969)};
    const REAL positions[3] = {0.0f, 0.1f, 1.0f};
    brush.SetInterpolationColors(colours, positions, 3);
    struct Case
    {
        REAL position;
        ARGB expected;
    } cases[] = {{0.0f, 0x00FFFFFF},  {0.1f, 0xB4696969},  {0.5f, 0xB4696969}, {1.0f, 0xB4696969},
                 {0.05f, 0x5AB4B4B4}, {-1.0f, 0x00FFFFFF}, {2.0f, 0xB4696969}};
    for (const Case &c : cases)
        EXPECT_EQ(brush.ColorAtPosition(c.position), c.expected) << c.position;

    const REAL bad[2] = {0.2f, 1.0f};
    EXPECT_EQ(brush.SetInterpolationColors(colours, bad, 2), InvalidParameter);
}

TEST(GdiplusDraw, RoundedBoxArcsTurnClockwise)
{
    Bitmap b(130, 90);
    GraphicsPath path;
    AddRoundedBox(path, 10, 10, 100, 60, 20);
    RectF bounds;
    path.GetBounds(&bounds);
    EXPECT_NEAR(bounds.X, 10, 0.01);
    EXPECT_NEAR(bounds.Y, 10, 0.01);
    EXPECT_NEAR(bounds.Width, 100, 0.01);
    EXPECT_NEAR(bounds.Height, 60, 0.01);
    {
        Graphics g(&b);
        SolidBrush fill(Color(0xFF000000));
        ASSERT_EQ(g.FillPath(&fill, &path), Ok);
    }
    // The corners are cut off, the edges between them are straight and filled.
    for (auto [x, y] : {std::pair{11, 11}, std::pair{108, 11}, std::pair{108, 68}, std::pair{11, 68}})
        EXPECT_EQ(Alpha(PixelAt(b, x, y)), 0) << x << "," << y;
    for (auto [x, y] : {std::pair{60, 11}, std::pair{60, 68}, std::pair{11, 40}, std::pair{108, 40},
                        std::pair{60, 40}, std::pair{17, 17}, std::pair{102, 62}})
        EXPECT_EQ(PixelAt(b, x, y), 0xFF000000u) << x << "," << y;
    EXPECT_EQ(Alpha(PixelAt(b, 60, 5)), 0);
    EXPECT_EQ(Alpha(PixelAt(b, 115, 40)), 0);
}

TEST(GdiplusDraw, RoundedBoxOutlineIsAntiAliased)
{
    Bitmap b(130, 90);
    {
        Graphics g(&b);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        EXPECT_EQ(g.GetSmoothingMode(), SmoothingModeAntiAlias);
        GraphicsPath path;
        AddRoundedBox(path, 10, 10, 100, 60, 20);
        Pen pen(Color(0xFFDD137B));
        ASSERT_EQ(g.DrawPath(&pen, &path), Ok);
    }
    // Somewhere on the curved corner the outline is only partly covering a pixel.
    bool partial = false;
    for (int y = 10; y < 20 && !partial; ++y)
        for (int x = 10; x < 20 && !partial; ++x)
        {
            const int a = Alpha(PixelAt(b, x, y));
            partial = a > 0 && a < 255;
        }
    EXPECT_TRUE(partial);
    EXPECT_EQ(Alpha(PixelAt(b, 60, 40)), 0); // only the outline
}

TEST(GdiplusDraw, RoundCapsReachBeyondTheLineEnds)
{
    Bitmap flat(60, 20), round(60, 20);
    for (Bitmap *b : {&flat, &round})
    {
        Graphics g(b);
        Pen pen(Color(0xFF75C4F0), 5.0f);
        if (b == &round)
        {
            pen.SetStartCap(LineCapRound);
            pen.SetEndCap(LineCapRound);
            pen.SetLineJoin(LineJoinRound);
        }
        ASSERT_EQ(g.DrawLine(&pen, 20, 10, 40, 10), Ok);
    }
    EXPECT_EQ(Alpha(PixelAt(flat, 18, 10)), 0);
    EXPECT_EQ(Alpha(PixelAt(flat, 41, 10)), 0);
    EXPECT_GT(Alpha(PixelAt(round, 18, 10)), 0);
    EXPECT_GT(Alpha(PixelAt(round, 41, 10)), 0);
    EXPECT_EQ(PixelAt(round, 30, 10), 0xFF75C4F0u);
}

TEST(GdiplusDraw, PolylineAndRectangles)
{
    Bitmap b(40, 40);
    {
        Graphics g(&b);
        Pen pen(Color(0xFF00889F), 3.0f);
        const PointF points[3] = {PointF(5, 5), PointF(20, 35), PointF(35, 5)};
        ASSERT_EQ(g.DrawLines(&pen, points, 3), Ok);
        EXPECT_EQ(g.DrawLines(&pen, points, 1), InvalidParameter);
        SolidBrush brush(Color(0xFFABD32A));
        const Rect bars[2] = {Rect(0, 36, 4, 4), Rect(36, 36, 4, 4)};
        ASSERT_EQ(g.FillRectangles(&brush, bars, 2), Ok);
    }
    EXPECT_EQ(PixelAt(b, 20, 34), 0xFF00889Fu);
    EXPECT_EQ(Alpha(PixelAt(b, 20, 10)), 0);
    EXPECT_EQ(PixelAt(b, 1, 38), 0xFFABD32Au);
    EXPECT_EQ(PixelAt(b, 38, 38), 0xFFABD32Au);
}

TEST(GdiplusDraw, TransformsComposeInGdiplusOrder)
{
    // Rotating by 180 degrees and then translating by (-w, -h) (prepended) maps the box onto itself.
    Bitmap b(30, 20);
    {
        Graphics g(&b);
        g.RotateTransform(180);
        g.TranslateTransform(-30, -20);
        SolidBrush brush(Color(0xFFFF0000));
        ASSERT_EQ(g.FillRectangle(&brush, 0, 0, 5, 5), Ok);
    }
    EXPECT_EQ(PixelAt(b, 27, 17), 0xFFFF0000u);
    EXPECT_EQ(Alpha(PixelAt(b, 2, 2)), 0);

    Bitmap c(30, 20);
    {
        Graphics g(&c);
        g.TranslateTransform(10, 0);
        g.TranslateTransform(0, 5, MatrixOrderAppend);
        g.ResetTransform();
        g.TranslateTransform(3, 4);
        SolidBrush brush(Color(0xFF0000FF));
        g.FillRectangle(&brush, 0, 0, 2, 2);
    }
    EXPECT_EQ(PixelAt(c, 3, 4), 0xFF0000FFu);
    EXPECT_EQ(Alpha(PixelAt(c, 13, 5)), 0);
}

TEST(GdiplusDraw, GraphicsOnAPainterLeavesItsStateAsItWas)
{
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    QPainter painter(&image);
    painter.translate(5, 5);
    const QTransform before = painter.worldTransform();
    {
        Graphics g(&painter);
        ASSERT_EQ(g.GetLastStatus(), Ok);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        g.TranslateTransform(2, 2);
        SolidBrush brush(Color(0xFF00FF00));
        g.FillRectangle(&brush, 0, 0, 3, 3);
        g.ResetTransform();
        g.FillRectangle(&brush, 10, 10, 1, 1);
    }
    EXPECT_EQ(painter.worldTransform(), before);
    EXPECT_FALSE(painter.testRenderHint(QPainter::Antialiasing));
    painter.end();
    EXPECT_EQ(image.pixel(8, 8), 0xFF00FF00u);
    EXPECT_EQ(image.pixel(15, 15), 0xFF00FF00u); // reset returns to the painter's own transform
    EXPECT_EQ(image.pixel(2, 2), 0u);

    Graphics none(static_cast<QPainter *>(nullptr));
    EXPECT_EQ(none.GetLastStatus(), InvalidParameter);
    SolidBrush brush(Color(0xFF000000));
    EXPECT_EQ(none.FillRectangle(&brush, 0, 0, 1, 1), InvalidParameter);
}

TEST(GdiplusDraw, EmptyGradientRectangleIsAnError)
{
    LinearGradientBrush brush(Rect(0, 0, 10, 0), Color(0xFF000000), Color(0xFFFFFFFF),
                              LinearGradientModeVertical);
    EXPECT_NE(brush.GetLastStatus(), Ok);
    Bitmap b(4, 4);
    Graphics g(&b);
    EXPECT_NE(g.FillRectangle(&brush, 0, 0, 4, 4), Ok);
}
