#include "platform/gdiplus/Gdiplus.h"

#include "tests/platform/gdiplus/GuiApp.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace Gdiplus;

namespace
{
// The index of the encoder whose MIME type equals the text exactly, or -1.
int FindEncoder(const char16_t *mime, CLSID *out)
{
    UINT num = 0, size = 0;
    if (GetImageEncodersSize(&num, &size) != Ok || size == 0)
        return -1;
    std::vector<unsigned char> buffer(size);
    auto *codecs = reinterpret_cast<ImageCodecInfo *>(buffer.data());
    if (GetImageEncoders(num, size, codecs) != Ok)
        return -1;
    for (UINT i = 0; i < num; ++i)
    {
        if (std::u16string(codecs[i].MimeType) == mime)
        {
            *out = codecs[i].Clsid;
            return int(i);
        }
    }
    return -1;
}

std::u16string U16(const std::string &s)
{
    return QString::fromStdString(s).toStdU16String();
}

QByteArray PngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
} // namespace

TEST(GdiplusImage, NewBitmapIsTransparentOrBlackByFormat)
{
    Bitmap argb(4, 3);
    ASSERT_EQ(argb.GetLastStatus(), Ok);
    EXPECT_EQ(argb.GetWidth(), 4u);
    EXPECT_EQ(argb.GetHeight(), 3u);
    Color c;
    ASSERT_EQ(argb.GetPixel(3, 2, &c), Ok);
    EXPECT_EQ(c.GetA(), 0);

    Bitmap rgb(2, 2, PixelFormat32bppRGB);
    ASSERT_EQ(rgb.GetPixel(1, 1, &c), Ok);
    EXPECT_EQ(c.GetValue(), 0xFF000000u);

    Bitmap empty(0, 5);
    EXPECT_EQ(empty.GetLastStatus(), InvalidParameter);
    EXPECT_EQ(empty.GetWidth(), 0u);
}

TEST(GdiplusImage, PixelsOutsideTheBitmapAreRefused)
{
    Bitmap b(2, 2);
    Color c;
    EXPECT_EQ(b.GetPixel(2, 0, &c), InvalidParameter);
    EXPECT_EQ(b.GetPixel(-1, 0, &c), InvalidParameter);
    EXPECT_EQ(b.SetPixel(0, 2, Color(0xFF123456)), InvalidParameter);
    EXPECT_EQ(b.GetLastStatus(), InvalidParameter);
}

TEST(GdiplusImage, CloneIsIndependentOfItsSource)
{
    Bitmap b(3, 3);
    b.SetPixel(1, 1, Color(0xFF102030));
    std::unique_ptr<Bitmap> copy(b.Clone());
    b.SetPixel(1, 1, Color(0xFFFFFFFF));
    Color c;
    copy->GetPixel(1, 1, &c);
    EXPECT_EQ(c.GetValue(), 0xFF102030u);

    std::unique_ptr<Bitmap> part(b.Clone(Rect(1, 1, 2, 2), PixelFormat32bppARGB));
    EXPECT_EQ(part->GetWidth(), 2u);
    part->GetPixel(0, 0, &c);
    EXPECT_EQ(c.GetValue(), 0xFFFFFFFFu);

    std::unique_ptr<Bitmap> outside(b.Clone(Rect(2, 2, 2, 2), PixelFormat32bppARGB));
    EXPECT_EQ(outside->GetLastStatus(), InvalidParameter);
}

TEST(GdiplusImage, DecodesPngBytesAndReportsGarbage)
{
    QImage source(5, 4, QImage::Format_ARGB32);
    source.fill(QColor(0, 255, 0));
    source.setPixelColor(2, 1, QColor(10, 20, 30, 128));
    const QByteArray png = PngBytes(source);

    std::unique_ptr<Bitmap> decoded(Bitmap::FromData(png.constData(), std::size_t(png.size())));
    ASSERT_EQ(decoded->GetLastStatus(), Ok);
    EXPECT_EQ(decoded->GetWidth(), 5u);
    EXPECT_EQ(decoded->GetHeight(), 4u);
    Color c;
    decoded->GetPixel(0, 0, &c);
    EXPECT_EQ(c.GetValue(), 0xFF00FF00u);
    decoded->GetPixel(2, 1, &c);
    EXPECT_EQ(c.GetA(), 128);

    const char garbage[] = "not an image";
    std::unique_ptr<Image> bad(Image::FromData(garbage, sizeof garbage));
    EXPECT_EQ(bad->GetLastStatus(), UnknownImageFormat);
    EXPECT_EQ(bad->GetWidth(), 0u);

    std::unique_ptr<Image> none(Image::FromData(nullptr, 0));
    EXPECT_EQ(none->GetLastStatus(), InvalidParameter);
}

TEST(GdiplusImage, MissingFileIsReported)
{
    const std::u16string path = U16(vxtest::MakeTempDir("img") + "/absent.png");
    Image image(path.c_str());
    EXPECT_EQ(image.GetLastStatus(), FileNotFound);
    EXPECT_EQ(image.GetWidth(), 0u);
}

TEST(GdiplusImage, EncoderLookupIsExactAndCaseSensitive)
{
    CLSID jpeg;
    EXPECT_GE(FindEncoder(u"image/jpeg", &jpeg), 0);
    CLSID other;
    EXPECT_EQ(FindEncoder(u"image/JPEG", &other), -1);
    EXPECT_EQ(FindEncoder(u"image/jpg", &other), -1);
    CLSID png;
    ASSERT_GE(FindEncoder(u"image/png", &png), 0);
    EXPECT_FALSE(png == jpeg);
}

TEST(GdiplusImage, EncoderListRefusesAWrongBuffer)
{
    UINT num = 0, size = 0;
    ASSERT_EQ(GetImageEncodersSize(&num, &size), Ok);
    ASSERT_GT(num, 0u);
    std::vector<ImageCodecInfo> codecs(num);
    EXPECT_EQ(GetImageEncoders(num, size - 1, codecs.data()), GenericError);
    EXPECT_EQ(GetImageEncoders(num + 1, size, codecs.data()), GenericError);
    EXPECT_EQ(GetImageEncodersSize(nullptr, &size), InvalidParameter);
}

TEST(GdiplusImage, SavesJpegAndPngThatDecodeAgain)
{
    const std::string dir = vxtest::MakeTempDir("save");
    Bitmap b(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            b.SetPixel(x, y, Color(0xFFC02010));

    CLSID jpeg, png;
    ASSERT_GE(FindEncoder(u"image/jpeg", &jpeg), 0);
    ASSERT_GE(FindEncoder(u"image/png", &png), 0);
    const std::u16string jpegPath = U16(dir + "/share.jpg");
    const std::u16string pngPath = U16(dir + "/copy.png");
    ASSERT_EQ(b.Save(jpegPath.c_str(), &jpeg), Ok);
    ASSERT_EQ(b.Save(pngPath.c_str(), &png), Ok);

    QImage readJpeg(QString::fromStdString(dir + "/share.jpg"), "JPEG");
    ASSERT_FALSE(readJpeg.isNull());
    EXPECT_EQ(readJpeg.width(), 16);
    const QColor mid = readJpeg.pixelColor(8, 4);
    EXPECT_NEAR(mid.red(), 0xC0, 8);
    EXPECT_NEAR(mid.green(), 0x20, 8);

    Bitmap again(pngPath.c_str());
    ASSERT_EQ(again.GetLastStatus(), Ok);
    Color c;
    again.GetPixel(15, 7, &c);
    EXPECT_EQ(c.GetValue(), 0xFFC02010u);
}

TEST(GdiplusImage, SaveFailuresAreReportedNotHidden)
{
    Bitmap b(2, 2);
    CLSID unknown;
    unknown.Data1 = 0xDEADBEEF;
    const std::u16string path = U16(vxtest::MakeTempDir("fail") + "/x.jpg");
    EXPECT_NE(b.Save(path.c_str(), &unknown), Ok);

    CLSID jpeg;
    ASSERT_GE(FindEncoder(u"image/jpeg", &jpeg), 0);
    const std::u16string unwritable = U16(vxtest::MakeTempDir("fail") + "/no/such/folder/x.jpg");
    EXPECT_EQ(b.Save(unwritable.c_str(), &jpeg), Win32Error);
}

TEST(GdiplusImage, AWriteThatFailsPartWayIsAFailureAndLeavesTheOldFileWhole)
{
    // A small flat image (its JPEG fits any write buffer, so only the last flush can fail) and a
    // large noisy one (noise does not compress: its JPEG is written in many pieces).
    Bitmap small(64, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            small.SetPixel(x, y, Color(0xFF3080C0));
    Bitmap large(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            large.SetPixel(x, y, Color(0xFF000000u | ((unsigned(x * 7919 + y * 104729) * 2654435761u) >> 8)));
    const struct
    {
        const char *name;
        Bitmap *image;
        rlim_t limit;
    } cases[] = {{"small", &small, 200}, {"large", &large, 4096}};
    CLSID jpeg;
    ASSERT_GE(FindEncoder(u"image/jpeg", &jpeg), 0);
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string dir = vxtest::MakeTempDir("full");
        const std::string path = dir + "/share.jpg";
        std::ofstream(path) << "old picture";
        Status status = Ok;
        {
            vxtest::ScopedFileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.Active());
            status = c.image->Save(U16(path).c_str(), &jpeg);
        }
        EXPECT_EQ(status, Win32Error);
        // Nothing half written stands in the old file's place, and no scrap is left beside it.
        const std::string left = vxtest::ReadWholeFile(path);
        EXPECT_TRUE(left == "old picture") << left.size() << " bytes";
        std::size_t files = 0;
        for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir))
            ++files;
        EXPECT_EQ(files, 1u);

        // Without the limit the same save succeeds, in place of the old file.
        ASSERT_EQ(c.image->Save(U16(path).c_str(), &jpeg), Ok);
        QImage back(QString::fromStdString(path), "JPEG");
        EXPECT_EQ(back.width(), int(c.image->GetWidth()));
        EXPECT_EQ(back.height(), int(c.image->GetHeight()));
    }
}

TEST(GdiplusImage, StartupAndShutdownPair)
{
    const int before = GdiplusActiveStartups();
    GdiplusStartupInput input;
    std::uintptr_t token = 0;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    EXPECT_EQ(GdiplusActiveStartups(), before + 1);
    GdiplusShutdown(token);
    EXPECT_EQ(GdiplusActiveStartups(), before);
    input.GdiplusVersion = 2;
    EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
}
