#include "platform/gdiplus/Gdiplus.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include <atomic>
#include <cstring>
#include <string>

namespace Gdiplus
{
namespace
{
std::atomic<std::uint64_t> g_nextSerial{1};
std::atomic<int> g_startups{0};

QString ToQString(const char16_t *text)
{
    if (!text)
        return QString();
    return QString::fromUtf16(text, qsizetype(std::char_traits<char16_t>::length(text)));
}

// Everything drawn is kept premultiplied; opaque formats keep their alpha at 255.
QImage Normalised(const QImage &in, PixelFormat format)
{
    if (format == PixelFormat32bppRGB || format == PixelFormat24bppRGB)
        return in.convertToFormat(QImage::Format_RGB32);
    return in.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

struct EncoderEntry
{
    CLSID clsid;
    const char16_t *name;
    const char16_t *extension;
    const char16_t *mime;
    const char *qtFormat;
};

// The encoders Qt can write, each with the identity GDI+ gives it.
const EncoderEntry kEncoders[] = {
    {{0x557cf400, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in BMP Codec",
     u"*.BMP;*.DIB;*.RLE",
     u"image/bmp",
     "bmp"},
    {{0x557cf401, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in JPEG Codec",
     u"*.JPG;*.JPEG;*.JPE;*.JFIF",
     u"image/jpeg",
     "jpeg"},
    {{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
     u"Built-in PNG Codec",
     u"*.PNG",
     u"image/png",
     "png"},
};

std::vector<const EncoderEntry *> AvailableEncoders()
{
    std::vector<const EncoderEntry *> out;
    const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    for (const EncoderEntry &e : kEncoders)
        if (formats.contains(QByteArray(e.qtFormat)))
            out.push_back(&e);
    return out;
}
} // namespace

Status GetImageEncodersSize(UINT *numEncoders, UINT *size)
{
    if (!numEncoders || !size)
        return InvalidParameter;
    const auto encoders = AvailableEncoders();
    *numEncoders = UINT(encoders.size());
    *size = UINT(encoders.size() * sizeof(ImageCodecInfo));
    return Ok;
}

Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo *out)
{
    const auto encoders = AvailableEncoders();
    if (!out || numEncoders != encoders.size() || size < encoders.size() * sizeof(ImageCodecInfo))
        return GenericError;
    for (std::size_t i = 0; i < encoders.size(); ++i)
    {
        ImageCodecInfo info;
        info.Clsid = encoders[i]->clsid;
        info.CodecName = encoders[i]->name;
        info.FormatDescription = encoders[i]->name;
        info.FilenameExtension = encoders[i]->extension;
        info.MimeType = encoders[i]->mime;
        info.Version = 1;
        out[i] = info;
    }
    return Ok;
}

Status GdiplusStartup(std::uintptr_t *token, const GdiplusStartupInput *input, GdiplusStartupOutput *)
{
    if (!token || !input)
        return InvalidParameter;
    if (input->GdiplusVersion != 1)
        return UnsupportedGdiplusVersion;
    *token = std::uintptr_t(++g_startups);
    return Ok;
}

void GdiplusShutdown(std::uintptr_t)
{
    if (g_startups > 0)
        --g_startups;
}

int GdiplusActiveStartups()
{
    return g_startups;
}

// ---- Image ----------------------------------------------------------------------------------------------

Image::Image() : m_serial(g_nextSerial++) {}

Image::Image(QImage image, PixelFormat format)
    : m_image(std::move(image)), m_format(format), m_serial(g_nextSerial++)
{
}

Image::Image(const char16_t *filename, bool) : m_serial(g_nextSerial++)
{
    const QString path = ToQString(filename);
    if (path.isEmpty() || !QFile::exists(path))
    {
        m_lastStatus = filename ? FileNotFound : InvalidParameter;
        return;
    }
    QImageReader reader(path);
    QImage decoded = reader.read();
    if (decoded.isNull())
    {
        m_lastStatus = UnknownImageFormat;
        return;
    }
    m_format = decoded.hasAlphaChannel() ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    m_image = Normalised(decoded, m_format);
}

Image::~Image() = default;

Image *Image::FromData(const void *data, std::size_t size)
{
    auto *image = new Image();
    if (!data || size == 0)
    {
        image->m_lastStatus = InvalidParameter;
        return image;
    }
    QImage decoded;
    if (!decoded.loadFromData(static_cast<const uchar *>(data), qsizetype(size)))
    {
        image->m_lastStatus = UnknownImageFormat;
        return image;
    }
    image->m_format = decoded.hasAlphaChannel() ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    image->m_image = Normalised(decoded, image->m_format);
    return image;
}

Image *Image::Clone() const
{
    auto *copy = new Image(m_image.copy(), m_format);
    copy->m_lastStatus = m_lastStatus;
    return copy;
}

UINT Image::GetWidth() const
{
    return m_image.isNull() ? 0 : UINT(m_image.width());
}

UINT Image::GetHeight() const
{
    return m_image.isNull() ? 0 : UINT(m_image.height());
}

Status Image::GetLastStatus() const
{
    return m_lastStatus;
}

Status Image::Save(const char16_t *filename, const CLSID *clsidEncoder, const EncoderParameters *)
{
    if (!filename || !clsidEncoder)
        return m_lastStatus = InvalidParameter;
    if (m_image.isNull())
        return m_lastStatus = WrongState;
    const EncoderEntry *encoder = nullptr;
    for (const EncoderEntry *e : AvailableEncoders())
        if (e->clsid == *clsidEncoder)
            encoder = e;
    if (!encoder)
        return m_lastStatus = FileNotFound;
    // JPEG and BMP carry no alpha: what is transparent is written over black, as GDI+ does.
    const QImage toWrite = std::strcmp(encoder->qtFormat, "png") == 0
                               ? m_image.convertToFormat(QImage::Format_ARGB32)
                               : m_image.convertToFormat(QImage::Format_RGB32);
    // Encoded in memory first, so that what reaches the file can be counted.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, encoder->qtFormat);
        if (!writer.write(toWrite))
            return m_lastStatus = Win32Error;
    }
    // Written beside the old file and put in its place only when every byte reached the disk, so
    // a failed save (a full disk) leaves no half image behind and is never reported as success.
    // Where no file can be made beside it (a folder this user may not write), the file itself is
    // written; a failure then may leave it cut short, but it is still reported. Unbuffered, so a
    // short write shows in the count at once rather than being lost in a later flush.
    QSaveFile file(ToQString(filename));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return m_lastStatus = Win32Error;
    if (file.write(bytes) != bytes.size())
    {
        file.cancelWriting();
        return m_lastStatus = Win32Error;
    }
    if (!file.commit())
        return m_lastStatus = Win32Error;
    return m_lastStatus = Ok;
}

// ---- Bitmap ---------------------------------------------------------------------------------------------

Bitmap::Bitmap(INT width, INT height, PixelFormat format)
{
    m_format = format;
    if (width <= 0 || height <= 0)
    {
        m_lastStatus = InvalidParameter;
        return;
    }
    const bool opaque = format == PixelFormat32bppRGB || format == PixelFormat24bppRGB;
    m_image = QImage(width, height, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    if (m_image.isNull())
    {
        m_lastStatus = OutOfMemory;
        return;
    }
    m_image.fill(opaque ? 0xFF000000u : 0u);
}

Bitmap::Bitmap(const char16_t *filename, bool useEmbeddedColorManagement)
{
    Image loaded(filename, useEmbeddedColorManagement);
    m_image = loaded.QtImage();
    m_format = loaded.GetPixelFormat();
    m_lastStatus = loaded.GetLastStatus();
}

Bitmap::Bitmap(const QImage &image)
{
    if (image.isNull())
    {
        m_lastStatus = InvalidParameter;
        return;
    }
    m_format = PixelFormat32bppARGB;
    m_image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

Bitmap *Bitmap::FromData(const void *data, std::size_t size)
{
    std::unique_ptr<Image> decoded(Image::FromData(data, size));
    auto *bitmap = new Bitmap();
    bitmap->m_image = decoded->QtImage();
    bitmap->m_format = decoded->GetPixelFormat();
    bitmap->m_lastStatus = decoded->GetLastStatus();
    return bitmap;
}

Bitmap *Bitmap::Clone() const
{
    auto *copy = new Bitmap();
    copy->m_image = m_image.copy();
    copy->m_format = m_format;
    copy->m_lastStatus = m_lastStatus;
    return copy;
}

Bitmap *Bitmap::Clone(INT x, INT y, INT width, INT height, PixelFormat format) const
{
    auto *copy = new Bitmap();
    copy->m_format = format;
    if (m_image.isNull() || width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > m_image.width() ||
        y + height > m_image.height())
    {
        copy->m_lastStatus = InvalidParameter;
        return copy;
    }
    copy->m_image = Normalised(m_image.copy(x, y, width, height), format);
    return copy;
}

Bitmap *Bitmap::Clone(const Rect &rect, PixelFormat format) const
{
    return Clone(rect.X, rect.Y, rect.Width, rect.Height, format);
}

Bitmap *Bitmap::Clone(const RectF &rect, PixelFormat format) const
{
    return Clone(INT(rect.X), INT(rect.Y), INT(rect.Width), INT(rect.Height), format);
}

Status Bitmap::GetPixel(INT x, INT y, Color *color) const
{
    if (!color || x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return m_lastStatus = InvalidParameter;
    *color = Color(ARGB(m_image.pixelColor(x, y).rgba()));
    return m_lastStatus = Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color &color)
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return m_lastStatus = InvalidParameter;
    m_image.setPixelColor(x, y, QColor::fromRgba(color.GetValue()));
    Touch();
    return m_lastStatus = Ok;
}
} // namespace Gdiplus
