#include <QBuffer>
#include <QIcon>
#include <gtest/gtest.h>

#include "tests/platform/win/WinTestSupport.h"

namespace
{
QByteArray Png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

HICON IconOf(const QByteArray &bits, int cx = 0, int cy = 0)
{
    return CreateIconFromResourceEx(reinterpret_cast<const BYTE *>(bits.constData()),
                                    static_cast<DWORD>(bits.size()), TRUE, 0x00030000, cx, cy,
                                    LR_DEFAULTCOLOR);
}

QImage Square(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

TEST(IconTest, MadeFromEncodedBitsAtTheirSizeOrTheOneAskedFor)
{
    const QByteArray png = Png(Square(16, Qt::red));
    struct Case
    {
        int cx, cy;
        QSize expected;
    };
    for (const Case &c : {Case{0, 0, QSize(16, 16)}, Case{32, 32, QSize(32, 32)}, Case{0, 24, QSize(16, 16)},
                          Case{256, 256, QSize(256, 256)}})
    {
        HICON icon = IconOf(png, c.cx, c.cy);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->image.size(), c.expected) << c.cx << "x" << c.cy;
        EXPECT_EQ(QColor::fromRgba(icon->image.pixel(3, 3)), QColor(Qt::red));
        EXPECT_TRUE(DestroyIcon(icon));
    }
    EXPECT_FALSE(DestroyIcon(nullptr));
}

TEST(IconTest, BitsThatAreNoImageGiveNoIcon)
{
    const QByteArray png = Png(Square(16, Qt::red));
    EXPECT_EQ(IconOf(QByteArray("not an image \0 at all", 21)), nullptr);
    EXPECT_EQ(IconOf(png.left(png.size() / 2)), nullptr) << "a cut-off image";
    EXPECT_EQ(IconOf(png, 1 << 20, 1 << 20), nullptr) << "larger than any icon";
    EXPECT_EQ(IconOf(png, 16, 257), nullptr) << "larger than any icon";
    EXPECT_EQ(CreateIconFromResourceEx(nullptr, 100, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR), nullptr);
    EXPECT_EQ(CreateIconFromResourceEx(reinterpret_cast<const BYTE *>(png.constData()), 0, TRUE, 0x00030000,
                                       0, 0, LR_DEFAULTCOLOR),
              nullptr);
}

TEST(IconTest, DrawIconDrawsAtTheSystemIconSize)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
    HICON icon = IconOf(Png(Square(16, Qt::blue)));
    ASSERT_NE(icon, nullptr);
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&mem, 64, 64));
    mem.SelectObject(&bitmap);
    EXPECT_TRUE(mem.DrawIcon(10, 12, icon));
    EXPECT_FALSE(mem.DrawIcon(0, 0, nullptr));
    EXPECT_FALSE(DrawIcon(nullptr, 0, 0, icon));
    const QImage image = bitmap.QtImage()->convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(QColor::fromRgba(image.pixel(10, 12)), QColor(Qt::blue));
    EXPECT_EQ(QColor::fromRgba(image.pixel(41, 43)), QColor(Qt::blue));
    EXPECT_EQ(qAlpha(image.pixel(9, 12)), 0);
    EXPECT_EQ(qAlpha(image.pixel(42, 43)), 0);
    EXPECT_EQ(qAlpha(image.pixel(41, 44)), 0);
    DestroyIcon(icon);
}

TEST(IconTest, TheWindowsIconsBecomeItsQtIconAndOutliveTheHandles)
{
    wintest::HostWindow window;
    ASSERT_TRUE(window.Make());
    HICON big = IconOf(Png(Square(32, Qt::green)));
    HICON small = IconOf(Png(Square(16, Qt::green)));
    ASSERT_TRUE(big && small);
    EXPECT_EQ(window.SetIcon(big, TRUE), nullptr);
    EXPECT_EQ(window.SetIcon(small, FALSE), nullptr);
    EXPECT_EQ(window.GetIcon(TRUE), big);
    EXPECT_EQ(window.GetIcon(FALSE), small);
    DestroyIcon(big);
    DestroyIcon(small);
    const QIcon qtIcon = window.GetWidget()->windowIcon();
    ASSERT_FALSE(qtIcon.isNull());
    const QList<QSize> sizes = qtIcon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_EQ(QColor::fromRgba(qtIcon.pixmap(QSize(32, 32)).toImage().pixel(5, 5)), QColor(Qt::green));
    window.DestroyWindow();
}
} // namespace
