#include <QFontInfo>
#include <QLineEdit>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

using wintest::HostWindow;

namespace
{
// A child window whose paint is a function of a test.
class PaintedWnd : public CWnd
{
  public:
    std::function<void(CWnd &)> paint;
    std::function<BOOL(CDC *)> erase;
    HDC erasedHandle = nullptr;

    bool MakeChild(CWnd *parent, const CRect &rect)
    {
        return CreateEx(0, u"painted", u"", WS_CHILD | WS_VISIBLE, rect, parent, 0) != FALSE;
    }

  protected:
    void OnPaint() override
    {
        if (paint)
            paint(*this);
    }
    BOOL OnEraseBkgnd(CDC *dc) override
    {
        if (erase)
            return erase(dc);
        return CWnd::OnEraseBkgnd(dc);
    }
};

class DcTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make(200, 120));
        ASSERT_TRUE(parent.MakeChild(&host, CRect(0, 0, 200, 120)));
        parent.paint = [](CWnd &w) {
            CPaintDC dc(&w);
            dc.FillSolidRect(0, 0, 200, 120, RGB(0, 0, 255));
        };
    }
    void TearDown() override
    {
        child.DestroyWindow();
        parent.DestroyWindow();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    QImage Grab() { return vxtest::GrabWidget(host.GetWidget()); }

    HostWindow host;
    PaintedWnd parent;
    PaintedWnd child;
};

int DistinctAlphas(const QImage &image, bool *onlyOpaqueOrClear)
{
    *onlyOpaqueOrClear = true;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const int a = qAlpha(image.pixel(x, y));
            if (a != 0 && a != 255)
                *onlyOpaqueOrClear = false;
            if (a == 255)
                ++opaque;
        }
    return opaque;
}

TEST(DcRegionTest, ARoundRectRegionLeavesItsLastRowAndColumnAndCutsItsCorners)
{
    CRgn rgn;
    // The client area of 40 by 20 is covered by (0, 0, 41, 21), corners 10 by 10.
    ASSERT_TRUE(rgn.CreateRoundRectRgn(0, 0, 41, 21, 10, 10));
    const QRect box = rgn.QtRegion().boundingRect();
    EXPECT_EQ(box, QRect(0, 0, 40, 20));
    EXPECT_FALSE(rgn.PtInRegion(0, 0));   // corner cut
    EXPECT_FALSE(rgn.PtInRegion(39, 19)); // corner cut
    EXPECT_FALSE(rgn.PtInRegion(1, 0));
    EXPECT_TRUE(rgn.PtInRegion(20, 0));   // straight top edge
    EXPECT_TRUE(rgn.PtInRegion(0, 10));   // straight left edge
    EXPECT_TRUE(rgn.PtInRegion(39, 10));  // straight right edge
    EXPECT_TRUE(rgn.PtInRegion(20, 19));  // straight bottom edge
    EXPECT_FALSE(rgn.PtInRegion(40, 10)); // outside
    EXPECT_TRUE(rgn.PtInRegion(2, 2));    // inside the corner's arc

    // The region is symmetric about both middle lines.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
        {
            ASSERT_EQ(rgn.PtInRegion(x, y), rgn.PtInRegion(39 - x, y)) << x << "," << y;
            ASSERT_EQ(rgn.PtInRegion(x, y), rgn.PtInRegion(x, 19 - y)) << x << "," << y;
        }

    CRgn plain;
    ASSERT_TRUE(plain.CreateRectRgn(2, 3, 12, 8));
    EXPECT_EQ(plain.QtRegion().boundingRect(), QRect(2, 3, 10, 5));
    EXPECT_FALSE(plain.CreateRectRgn(0, 0, 1, 1)); // already made
}

TEST(DcRegionTest, FillRgnPaintsWholePixelsOnly)
{
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&mem, 40, 20));
    mem.SelectObject(&bitmap);
    CRgn rgn;
    ASSERT_TRUE(rgn.CreateRoundRectRgn(0, 0, 41, 21, 16, 16));
    CBrush brush(RGB(200, 10, 30));
    ASSERT_TRUE(mem.FillRgn(&rgn, &brush));

    const QImage image = bitmap.QtImage()->convertToFormat(QImage::Format_ARGB32);
    bool clean = false;
    const int opaque = DistinctAlphas(image, &clean);
    EXPECT_TRUE(clean) << "a region fill is not anti-aliased";
    int inRegion = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            if (rgn.PtInRegion(x, y))
            {
                ++inRegion;
                EXPECT_EQ(QColor::fromRgba(image.pixel(x, y)), QColor(200, 10, 30));
            }
    EXPECT_EQ(opaque, inRegion);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(39, 19)), 0);
}

TEST(DcFontTest, TwelvePointsAreSixteenPixelsAndWindowsTakeTheFont)
{
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(120, u"Arial"));
    ASSERT_NE(font.QtFont(), nullptr);
    EXPECT_EQ(font.QtFont()->pixelSize(), 16);
    EXPECT_EQ(font.QtFont()->family(), QStringLiteral("Arial"));
    CFont small;
    ASSERT_TRUE(small.CreatePointFont(90, u"Arial"));
    EXPECT_EQ(small.QtFont()->pixelSize(), 12);

    HostWindow host;
    ASSERT_TRUE(host.Make());
    CEdit edit;
    ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 150, 34), &host, 1005));
    edit.SetFont(&font);
    EXPECT_EQ(edit.GetWidget()->font().pixelSize(), 16);
    EXPECT_EQ(edit.GetFont(), &font);
    EXPECT_EQ(reinterpret_cast<HFONT>(edit.SendMessage(WM_GETFONT)), static_cast<HFONT>(font));

    // The rendered glyphs are as tall as a 16-pixel font makes them.
    QImage image(60, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setFont(*font.QtFont());
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, 60, 30), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("H"));
    }
    int top = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
            {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    // A capital of a 16-pixel Arial is about 11.5 pixels tall.
    EXPECT_GE(bottom - top + 1, 10);
    EXPECT_LE(bottom - top + 1, 13);

    edit.DestroyWindow();
    host.DestroyWindow();
    vxtest::ProcessEvents();
}

TEST_F(DcTest, ACopyFromMemoryDrawsOverWhatTheParentPainted)
{
    ASSERT_TRUE(child.MakeChild(&parent, CRect(20, 20, 120, 70)));
    child.paint = [](CWnd &w) {
        CPaintDC dc(&w);
        CRect client;
        w.GetClientRect(&client);
        CDC mem;
        ASSERT_TRUE(mem.CreateCompatibleDC(&dc));
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&dc, client.Width(), client.Height()));
        CBitmap *old = mem.SelectObject(&bitmap);
        EXPECT_NE(old, nullptr);
        // What lies beneath cannot be read back: the memory stays transparent.
        EXPECT_TRUE(mem.BitBlt(0, 0, client.Width(), client.Height(), &dc, 0, 0, SRCCOPY));
        EXPECT_EQ(qAlpha(bitmap.QtImage()->pixel(70, 10)), 0);
        mem.FillSolidRect(0, 0, client.Width() / 2, client.Height(), RGB(255, 0, 0));
        EXPECT_TRUE(dc.BitBlt(0, 0, client.Width(), client.Height(), &mem, 0, 0, SRCCOPY));
        mem.SelectObject(old);
    };
    child.Invalidate();
    vxtest::ProcessEvents();
    const QImage image = Grab();
    EXPECT_EQ(vxtest::PixelAt(image, 30, 40), QColor(255, 0, 0));  // drawn in memory
    EXPECT_EQ(vxtest::PixelAt(image, 100, 40), QColor(0, 0, 255)); // the parent shows through
    EXPECT_EQ(vxtest::PixelAt(image, 150, 100), QColor(0, 0, 255));
}

TEST(DcMemoryTest, ACopyBetweenMemoryContextsReplacesThePixels)
{
    CDC a, b;
    ASSERT_TRUE(a.CreateCompatibleDC(nullptr));
    ASSERT_TRUE(b.CreateCompatibleDC(&a));
    CBitmap ba, bb;
    ASSERT_TRUE(ba.CreateCompatibleBitmap(&a, 10, 10));
    ASSERT_TRUE(bb.CreateCompatibleBitmap(&b, 10, 10));
    a.SelectObject(&ba);
    b.SelectObject(&bb);
    b.FillSolidRect(0, 0, 10, 10, RGB(0, 255, 0));
    a.Painter()->fillRect(QRect(0, 0, 5, 10), QColor(255, 0, 0, 128));
    // A copy with an offset: source (2, 0) lands at (0, 0).
    ASSERT_TRUE(b.BitBlt(0, 0, 8, 10, &a, 2, 0, SRCCOPY));
    const QImage out = bb.QtImage()->convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 128); // half-transparent red replaced the green
    EXPECT_EQ(qRed(out.pixel(0, 0)), 255);
    EXPECT_EQ(qGreen(out.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(out.pixel(5, 5)), 0);                     // transparent copied as transparent
    EXPECT_EQ(out.pixel(9, 5), qRgb(0, 255, 0));               // outside the copy: untouched
    EXPECT_FALSE(b.BitBlt(0, 0, 8, 10, &a, 0, 0, 0x00EE0086)); // only plain copies
}

TEST(DcMemoryTest, SelectionHandsBackThePreviousObjectsAndABitmapLivesInOneContext)
{
    CDC a, b;
    ASSERT_TRUE(a.CreateCompatibleDC(nullptr));
    ASSERT_TRUE(b.CreateCompatibleDC(nullptr));
    EXPECT_EQ(a.GetSurfaceSize(), CSize(1, 1));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&a, 30, 12));
    EXPECT_EQ(bitmap.GetSize(), CSize(30, 12));
    CBitmap *stock = a.SelectObject(&bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(a.GetSurfaceSize(), CSize(30, 12));
    EXPECT_EQ(b.SelectObject(&bitmap), nullptr); // already in a
    EXPECT_EQ(a.SelectObject(stock), &bitmap);
    EXPECT_NE(b.SelectObject(&bitmap), nullptr); // free again

    CFont f1, f2;
    ASSERT_TRUE(f1.CreatePointFont(100, u"Arial"));
    ASSERT_TRUE(f2.CreatePointFont(120, u"Arial"));
    EXPECT_EQ(a.SelectObject(&f1), nullptr);
    EXPECT_EQ(a.SelectObject(&f2), &f1);
    CBrush brush(RGB(1, 2, 3));
    EXPECT_EQ(a.SelectObject(&brush), nullptr);
    EXPECT_EQ(a.GetCurrentBrush(), static_cast<HBRUSH>(brush));

    EXPECT_EQ(a.SetTextColor(RGB(9, 8, 7)), RGB(0, 0, 0));
    EXPECT_EQ(a.GetTextColor(), RGB(9, 8, 7));
    EXPECT_EQ(a.SetBkColor(RGB(1, 1, 1)), RGB(255, 255, 255));
    EXPECT_EQ(a.GetDeviceCaps(LOGPIXELSY), 96);
}

TEST(DcMemoryTest, ABitmapDeletedWhileSelectedLeavesTheContextDrawable)
{
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    {
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&mem, 50, 50));
        mem.SelectObject(&bitmap);
        mem.FillSolidRect(0, 0, 50, 50, RGB(1, 2, 3));
    }
    EXPECT_EQ(mem.GetSurfaceSize(), CSize(1, 1));
    mem.FillSolidRect(0, 0, 50, 50, RGB(4, 5, 6)); // into the blank bitmap, not freed memory
    EXPECT_TRUE(mem.DeleteDC());
    EXPECT_FALSE(mem.DeleteDC());
    EXPECT_EQ(mem.Painter(), nullptr);

    // A context deleted first lets go of its bitmap, which may then go elsewhere.
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(nullptr, 5, 5));
    {
        CDC first;
        ASSERT_TRUE(first.CreateCompatibleDC(nullptr));
        first.SelectObject(&bitmap);
    }
    CDC second;
    ASSERT_TRUE(second.CreateCompatibleDC(nullptr));
    EXPECT_NE(second.SelectObject(&bitmap), nullptr);
}

TEST(DcMemoryTest, DeletingAnOwnedHandleLeavesItsOwnerEmpty)
{
    CBrush brush(RGB(1, 2, 3));
    HBRUSH handle = brush;
    EXPECT_EQ(CBrush::FromHandle(handle), &brush);
    EXPECT_TRUE(DeleteObject(handle));
    EXPECT_EQ(brush.GetSafeHandle(), nullptr);
    EXPECT_FALSE(brush.DeleteObject());
    EXPECT_TRUE(brush.CreateSolidBrush(RGB(4, 5, 6)));
    COLORREF color{};
    EXPECT_TRUE(vxwin::GetBrushColor(brush, &color));
    EXPECT_EQ(color, RGB(4, 5, 6));
}

TEST_F(DcTest, TheEraseMessageCarriesTheDeviceContextOfThePaint)
{
    ASSERT_TRUE(child.MakeChild(&parent, CRect(10, 10, 60, 40)));
    CDC *erased = nullptr;
    CDC *painted = nullptr;
    child.erase = [&](CDC *dc) {
        erased = dc;
        if (dc)
        {
            CBrush brush(RGB(0, 200, 0));
            CRect r(0, 0, 50, 30);
            dc->FillRect(&r, &brush);
        }
        return TRUE;
    };
    child.paint = [&](CWnd &w) {
        CPaintDC dc(&w);
        painted = CDC::FromHandle(dc.GetSafeHdc());
        EXPECT_EQ(dc.GetSafeHdc(), erased ? erased->GetSafeHdc() : nullptr);
        // GetDC during a paint is the paint's own context and ReleaseDC leaves it be.
        CDC *client = w.GetDC();
        EXPECT_EQ(client->GetSafeHdc(), dc.GetSafeHdc());
        EXPECT_EQ(w.ReleaseDC(client), 1);
    };
    child.Invalidate();
    vxtest::ProcessEvents();
    const QImage image = Grab();
    ASSERT_NE(erased, nullptr);
    EXPECT_EQ(painted, erased);
    EXPECT_EQ(vxtest::PixelAt(image, 30, 20), QColor(0, 200, 0));
    EXPECT_EQ(vxtest::PixelAt(image, 80, 80), QColor(0, 0, 255));
}

TEST_F(DcTest, OutsideAPaintAWindowContextDrawsNowhere)
{
    ASSERT_TRUE(child.MakeChild(&parent, CRect(10, 10, 60, 40)));
    CDC *dc = child.GetDC();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->GetSurfaceSize(), CSize(50, 30));
    dc->FillSolidRect(0, 0, 50, 30, RGB(255, 0, 0));
    EXPECT_EQ(child.ReleaseDC(dc), 1);
    {
        CClientDC client(&child);
        client.FillSolidRect(0, 0, 50, 30, RGB(255, 0, 0));
    }
    const QImage image = Grab();
    EXPECT_EQ(vxtest::PixelAt(image, 30, 20), QColor(0, 0, 255));
}
} // namespace
