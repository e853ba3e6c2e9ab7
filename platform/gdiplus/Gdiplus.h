#pragma once

// A small drawing facade with the shape of GDI+, painted with QPainter into QImage.
// Everything lives in namespace Gdiplus so that drawing code reads as it did on
// Windows. Text arguments are UTF-16 (char16_t); a length of -1 means the text
// ends at its first zero.

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QPainterPath;

namespace Gdiplus
{
using ARGB = std::uint32_t;
using REAL = float;
using INT = int;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using PixelFormat = INT;
using GraphicsState = UINT;

enum Status
{
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20
};

enum Unit
{
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
    UnitPoint = 3,
    UnitInch = 4,
    UnitDocument = 5,
    UnitMillimeter = 6
};

enum SmoothingMode
{
    SmoothingModeInvalid = -1,
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4
};

enum FontStyle
{
    FontStyleRegular = 0,
    FontStyleBold = 1,
    FontStyleItalic = 2,
    FontStyleBoldItalic = 3,
    FontStyleUnderline = 4,
    FontStyleStrikeout = 8
};

enum StringAlignment
{
    StringAlignmentNear = 0,
    StringAlignmentCenter = 1,
    StringAlignmentFar = 2
};

enum StringFormatFlags
{
    StringFormatFlagsDirectionRightToLeft = 0x0001,
    StringFormatFlagsDirectionVertical = 0x0002,
    StringFormatFlagsNoFitBlackBox = 0x0004,
    StringFormatFlagsDisplayFormatControl = 0x0020,
    StringFormatFlagsNoFontFallback = 0x0400,
    StringFormatFlagsMeasureTrailingSpaces = 0x0800,
    StringFormatFlagsNoWrap = 0x1000,
    StringFormatFlagsLineLimit = 0x2000,
    StringFormatFlagsNoClip = 0x4000
};

enum LineCap
{
    LineCapFlat = 0,
    LineCapSquare = 1,
    LineCapRound = 2,
    LineCapTriangle = 3
};

enum DashCap
{
    DashCapFlat = 0,
    DashCapRound = 2,
    DashCapTriangle = 3
};

enum LineJoin
{
    LineJoinMiter = 0,
    LineJoinBevel = 1,
    LineJoinRound = 2,
    LineJoinMiterClipped = 3
};

enum WrapMode
{
    WrapModeTile = 0,
    WrapModeTileFlipX = 1,
    WrapModeTileFlipY = 2,
    WrapModeTileFlipXY = 3,
    WrapModeClamp = 4
};

enum LinearGradientMode
{
    LinearGradientModeHorizontal = 0,
    LinearGradientModeVertical = 1,
    LinearGradientModeForwardDiagonal = 2,
    LinearGradientModeBackwardDiagonal = 3
};

enum MatrixOrder
{
    MatrixOrderPrepend = 0,
    MatrixOrderAppend = 1
};

enum ColorAdjustType
{
    ColorAdjustTypeDefault = 0,
    ColorAdjustTypeBitmap = 1,
    ColorAdjustTypeBrush = 2,
    ColorAdjustTypePen = 3,
    ColorAdjustTypeText = 4
};

enum FillMode
{
    FillModeAlternate = 0,
    FillModeWinding = 1
};

constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0x000E200B;

// A colour as 0xAARRGGBB.
class Color
{
  public:
    enum : ARGB
    {
        Black = 0xFF000000,
        White = 0xFFFFFFFF,
        Transparent = 0x00FFFFFF
    };

    Color() = default;
    Color(ARGB argb) : m_argb(argb) {}
    Color(BYTE r, BYTE g, BYTE b) : m_argb(MakeARGB(255, r, g, b)) {}
    Color(BYTE a, BYTE r, BYTE g, BYTE b) : m_argb(MakeARGB(a, r, g, b)) {}

    BYTE GetA() const { return BYTE(m_argb >> 24); }
    BYTE GetR() const { return BYTE(m_argb >> 16); }
    BYTE GetG() const { return BYTE(m_argb >> 8); }
    BYTE GetB() const { return BYTE(m_argb); }
    BYTE GetAlpha() const { return GetA(); }
    BYTE GetRed() const { return GetR(); }
    BYTE GetGreen() const { return GetG(); }
    BYTE GetBlue() const { return GetB(); }
    ARGB GetValue() const { return m_argb; }
    void SetValue(ARGB argb) { m_argb = argb; }

    static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b)
    {
        return (ARGB(a) << 24) | (ARGB(r) << 16) | (ARGB(g) << 8) | ARGB(b);
    }

  private:
    ARGB m_argb = Black;
};

struct Point
{
    INT X = 0, Y = 0;
    Point() = default;
    Point(INT x, INT y) : X(x), Y(y) {}
};

struct PointF
{
    REAL X = 0, Y = 0;
    PointF() = default;
    PointF(REAL x, REAL y) : X(x), Y(y) {}
    PointF(const Point &p) : X(REAL(p.X)), Y(REAL(p.Y)) {}
};

struct Size
{
    INT Width = 0, Height = 0;
    Size() = default;
    Size(INT w, INT h) : Width(w), Height(h) {}
};

struct SizeF
{
    REAL Width = 0, Height = 0;
    SizeF() = default;
    SizeF(REAL w, REAL h) : Width(w), Height(h) {}
};

struct Rect
{
    INT X = 0, Y = 0, Width = 0, Height = 0;
    Rect() = default;
    Rect(INT x, INT y, INT w, INT h) : X(x), Y(y), Width(w), Height(h) {}
    INT GetLeft() const { return X; }
    INT GetTop() const { return Y; }
    INT GetRight() const { return X + Width; }
    INT GetBottom() const { return Y + Height; }
    bool IsEmptyArea() const { return Width <= 0 || Height <= 0; }
    bool Contains(INT x, INT y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
};

struct RectF
{
    REAL X = 0, Y = 0, Width = 0, Height = 0;
    RectF() = default;
    RectF(REAL x, REAL y, REAL w, REAL h) : X(x), Y(y), Width(w), Height(h) {}
    RectF(const Rect &r) : X(REAL(r.X)), Y(REAL(r.Y)), Width(REAL(r.Width)), Height(REAL(r.Height)) {}
    REAL GetLeft() const { return X; }
    REAL GetTop() const { return Y; }
    REAL GetRight() const { return X + Width; }
    REAL GetBottom() const { return Y + Height; }
    bool IsEmptyArea() const { return Width <= 0 || Height <= 0; }
    bool Contains(REAL x, REAL y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
    bool Contains(const PointF &p) const { return Contains(p.X, p.Y); }
};

// The identity of an image encoder.
struct CLSID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const CLSID &, const CLSID &) = default;
};

struct ImageCodecInfo
{
    CLSID Clsid;
    CLSID FormatID;
    const char16_t *CodecName = nullptr;
    const char16_t *DllName = nullptr;
    const char16_t *FormatDescription = nullptr;
    const char16_t *FilenameExtension = nullptr;
    const char16_t *MimeType = nullptr;
    std::uint32_t Flags = 0;
    std::uint32_t Version = 0;
    std::uint32_t SigCount = 0;
    std::uint32_t SigSize = 0;
    const BYTE *SigPattern = nullptr;
    const BYTE *SigMask = nullptr;
};

struct EncoderParameters;

// The installed encoders: their number and the size in bytes of the buffer that
// GetImageEncoders fills (the codec records; their texts are owned by the library).
Status GetImageEncodersSize(UINT *numEncoders, UINT *size);
Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo *encoders);

// Start-up and shut-down have nothing to set up; they only keep their order
// checkable (drawing works either way).
struct GdiplusStartupInput
{
    UINT GdiplusVersion = 1;
    void *DebugEventCallback = nullptr;
    int SuppressBackgroundThread = 0;
    int SuppressExternalCodecs = 0;
};
struct GdiplusStartupOutput
{
    void *NotificationHook = nullptr;
    void *NotificationUnhook = nullptr;
};
Status GdiplusStartup(std::uintptr_t *token, const GdiplusStartupInput *input, GdiplusStartupOutput *output);
void GdiplusShutdown(std::uintptr_t token);
// Number of start-ups not yet shut down.
int GdiplusActiveStartups();

class Graphics;
class ImageAttributes;

class Image
{
  public:
    // Decodes a file (PNG, JPEG, BMP ...). A failure leaves an empty image whose last
    // status says why.
    explicit Image(const char16_t *filename, bool useEmbeddedColorManagement = false);
    virtual ~Image();
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    // Decodes encoded bytes (the stand-in for an image made from a memory stream).
    static Image *FromData(const void *data, std::size_t size);

    virtual Image *Clone() const;
    UINT GetWidth() const;
    UINT GetHeight() const;
    PixelFormat GetPixelFormat() const { return m_format; }
    REAL GetHorizontalResolution() const { return 96.0f; }
    REAL GetVerticalResolution() const { return 96.0f; }
    Status GetLastStatus() const;

    // Encodes with the encoder of that identity (see GetImageEncoders).
    Status Save(const char16_t *filename, const CLSID *clsidEncoder,
                const EncoderParameters *params = nullptr);

    // The pixels, as straight or premultiplied ARGB depending on the format.
    const QImage &QtImage() const { return m_image; }
    QImage &QtImage() { return m_image; }
    // Changes whenever the pixels may have changed (used by caches of derived images).
    std::uint64_t Generation() const { return m_generation; }
    // True while a graphics draws into the image (its pixels may change at any call).
    bool BeingDrawn() const { return m_activeGraphics > 0; }
    std::uint64_t Serial() const { return m_serial; }

  protected:
    Image();
    explicit Image(QImage image, PixelFormat format);
    void SetStatus(Status s) const { m_lastStatus = s; }
    void Touch() { ++m_generation; }

    QImage m_image;
    PixelFormat m_format = PixelFormat32bppARGB;
    mutable Status m_lastStatus = Ok;

  private:
    friend class Graphics;
    std::uint64_t m_serial;
    std::uint64_t m_generation = 0;
    int m_activeGraphics = 0;
};

class Bitmap : public Image
{
  public:
    Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);
    explicit Bitmap(const char16_t *filename, bool useEmbeddedColorManagement = false);
    // Takes a copy of a Qt image (converted to 32-bit ARGB).
    explicit Bitmap(const QImage &image);

    static Bitmap *FromData(const void *data, std::size_t size);

    Bitmap *Clone() const override;
    Bitmap *Clone(const Rect &rect, PixelFormat format) const;
    Bitmap *Clone(INT x, INT y, INT width, INT height, PixelFormat format) const;
    Bitmap *Clone(const RectF &rect, PixelFormat format) const;

    Status GetPixel(INT x, INT y, Color *color) const;
    Status SetPixel(INT x, INT y, const Color &color);

  private:
    Bitmap() = default;
};

class Brush
{
  public:
    virtual ~Brush() = default;
    virtual Brush *Clone() const = 0;
    Status GetLastStatus() const { return m_lastStatus; }

    // Fills a path (in the painter's current coordinates) with this brush.
    virtual void FillQtPath(QPainter &painter, const QPainterPath &path) const = 0;
    // A plain colour for pens made from the brush.
    virtual ARGB RepresentativeColor() const = 0;

  protected:
    mutable Status m_lastStatus = Ok;
};

class SolidBrush : public Brush
{
  public:
    explicit SolidBrush(const Color &color) : m_color(color) {}
    Brush *Clone() const override { return new SolidBrush(m_color); }
    Status GetColor(Color *color) const;
    Status SetColor(const Color &color);
    void FillQtPath(QPainter &painter, const QPainterPath &path) const override;
    ARGB RepresentativeColor() const override { return m_color.GetValue(); }

  private:
    Color m_color;
};

class LinearGradientBrush : public Brush
{
  public:
    LinearGradientBrush(const Rect &rect, const Color &color1, const Color &color2, LinearGradientMode mode);
    LinearGradientBrush(const RectF &rect, const Color &color1, const Color &color2, LinearGradientMode mode);
    LinearGradientBrush(const PointF &point1, const PointF &point2, const Color &color1, const Color &color2);
    LinearGradientBrush(const Point &point1, const Point &point2, const Color &color1, const Color &color2);
    Brush *Clone() const override { return new LinearGradientBrush(*this); }

    Status GetLinearColors(Color *colors) const;
    Status SetLinearColors(const Color &color1, const Color &color2);
    Status SetWrapMode(WrapMode mode);
    WrapMode GetWrapMode() const { return m_wrap; }
    void FillQtPath(QPainter &painter, const QPainterPath &path) const override;
    ARGB RepresentativeColor() const override { return m_colors[0].GetValue(); }

  private:
    LinearGradientBrush(const LinearGradientBrush &) = default;
    PointF m_start, m_end;
    Color m_colors[2];
    WrapMode m_wrap = WrapModeTile;
};

class GraphicsPath;

// A gradient from the boundary of a rectangle (position 0) to its centre (position 1),
// where the position of a point is 1 - max(|dx| / (w / 2), |dy| / (h / 2)).
class PathGradientBrush : public Brush
{
  public:
    explicit PathGradientBrush(const GraphicsPath *path);
    PathGradientBrush(const PointF *points, INT count, WrapMode wrapMode = WrapModeClamp);
    PathGradientBrush(const Point *points, INT count, WrapMode wrapMode = WrapModeClamp);
    Brush *Clone() const override { return new PathGradientBrush(*this); }

    Status SetCenterColor(const Color &color);
    Status GetCenterColor(Color *color) const;
    Status SetSurroundColors(const Color *colors, INT *count);
    Status SetInterpolationColors(const Color *presetColors, const REAL *blendPositions, INT count);
    INT GetInterpolationColorCount() const { return INT(m_presetColors.size()); }
    Status SetWrapMode(WrapMode mode);
    WrapMode GetWrapMode() const { return m_wrap; }
    Status GetRectangle(RectF *rect) const;

    // The colour at a position from 0 (boundary) to 1 (centre).
    ARGB ColorAtPosition(REAL position) const;

    void FillQtPath(QPainter &painter, const QPainterPath &path) const override;
    ARGB RepresentativeColor() const override { return m_center.GetValue(); }

  private:
    PathGradientBrush(const PathGradientBrush &) = default;
    void InitFromPoints(const std::vector<PointF> &points);
    RectF m_bounds;
    Color m_center{0xFFFFFFFF};
    Color m_surround{0xFFFFFFFF};
    std::vector<Color> m_presetColors;
    std::vector<REAL> m_presetPositions;
    WrapMode m_wrap = WrapModeClamp;
};

class Pen
{
  public:
    Pen(const Color &color, REAL width = 1.0f);
    Pen(const Brush *brush, REAL width = 1.0f);
    Pen *Clone() const { return new Pen(*this); }

    Status SetWidth(REAL width);
    REAL GetWidth() const { return m_width; }
    Status SetColor(const Color &color);
    Status GetColor(Color *color) const;
    Status SetStartCap(LineCap cap);
    Status SetEndCap(LineCap cap);
    Status SetLineCap(LineCap startCap, LineCap endCap, DashCap dashCap);
    LineCap GetStartCap() const { return m_startCap; }
    LineCap GetEndCap() const { return m_endCap; }
    Status SetLineJoin(LineJoin join);
    LineJoin GetLineJoin() const { return m_join; }
    Status GetLastStatus() const { return m_lastStatus; }

    // Strokes a path in the painter's current coordinates.
    void StrokeQtPath(QPainter &painter, const QPainterPath &path) const;

  private:
    Pen(const Pen &) = default;
    Color m_color;
    REAL m_width;
    LineCap m_startCap = LineCapFlat;
    LineCap m_endCap = LineCapFlat;
    LineJoin m_join = LineJoinMiter;
    Status m_lastStatus = Ok;
};

// Figures of lines and arcs. Arc angles are in degrees, measured clockwise from
// the positive x axis (y grows downwards).
class GraphicsPath
{
  public:
    explicit GraphicsPath(FillMode fillMode = FillModeAlternate);
    ~GraphicsPath();
    GraphicsPath(const GraphicsPath &) = delete;
    GraphicsPath &operator=(const GraphicsPath &) = delete;
    GraphicsPath *Clone() const;

    Status AddLine(REAL x1, REAL y1, REAL x2, REAL y2);
    Status AddLine(INT x1, INT y1, INT x2, INT y2);
    Status AddLine(const PointF &p1, const PointF &p2);
    Status AddLines(const PointF *points, INT count);
    Status AddLines(const Point *points, INT count);
    Status AddArc(REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle);
    Status AddArc(INT x, INT y, INT width, INT height, REAL startAngle, REAL sweepAngle);
    Status AddArc(const RectF &rect, REAL startAngle, REAL sweepAngle);
    Status AddArc(const Rect &rect, REAL startAngle, REAL sweepAngle);
    Status AddRectangle(const RectF &rect);
    Status AddRectangle(const Rect &rect);
    Status AddEllipse(const RectF &rect);
    Status AddEllipse(REAL x, REAL y, REAL width, REAL height);
    Status StartFigure();
    Status CloseFigure();
    Status CloseAllFigures();
    Status Reset();
    Status GetBounds(RectF *bounds) const;
    Status GetBounds(Rect *bounds) const;
    INT GetPointCount() const;
    Status GetLastStatus() const { return m_lastStatus; }

    const QPainterPath &QtPath() const { return *m_path; }

  private:
    void LineToOrStart(const PointF &p);
    std::unique_ptr<QPainterPath> m_path;
    bool m_figureOpen = false;
    Status m_lastStatus = Ok;
};

class FontFamily
{
  public:
    FontFamily();
    explicit FontFamily(const char16_t *name, void *fontCollection = nullptr);
    FontFamily(const FontFamily &) = default;
    FontFamily *Clone() const { return new FontFamily(*this); }

    bool IsAvailable() const;
    Status GetLastStatus() const { return m_lastStatus; }
    // Copies the name into a buffer of 32 characters (LF_FACESIZE), cut to fit.
    Status GetFamilyName(char16_t *name, unsigned short language = 0) const;
    const std::u16string &Name() const { return m_name; }

    // Design-unit metrics of the face for a style.
    std::uint16_t GetEmHeight(INT style) const;
    std::uint16_t GetCellAscent(INT style) const;
    std::uint16_t GetCellDescent(INT style) const;
    std::uint16_t GetLineSpacing(INT style) const;

  private:
    struct Metrics
    {
        std::uint16_t em = 2048, ascent = 0, descent = 0, lineSpacing = 0;
    };
    Metrics MetricsFor(INT style) const;
    std::u16string m_name;
    Status m_lastStatus = Ok;
};

class Font
{
  public:
    Font(const FontFamily *family, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
    Font(const char16_t *familyName, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint,
         void *fontCollection = nullptr);
    Font *Clone() const { return new Font(*this); }

    REAL GetSize() const { return m_size; }
    INT GetStyle() const { return m_style; }
    Unit GetUnit() const { return m_unit; }
    Status GetFamily(FontFamily *family) const;
    // Line spacing in pixels.
    REAL GetHeight(REAL dpi = 96.0f) const;
    bool IsAvailable() const { return m_family.IsAvailable(); }
    Status GetLastStatus() const { return m_lastStatus; }

    // The em height in device pixels at 96 dots per inch.
    REAL PixelSize() const;
    QFont ToQFont() const;

  private:
    Font(const Font &) = default;
    FontFamily m_family;
    REAL m_size;
    INT m_style;
    Unit m_unit;
    Status m_lastStatus = Ok;
};

class StringFormat
{
  public:
    explicit StringFormat(INT formatFlags = 0, unsigned short language = 0);
    StringFormat(const StringFormat &) = default;
    StringFormat *Clone() const { return new StringFormat(*this); }

    Status SetAlignment(StringAlignment align);
    StringAlignment GetAlignment() const { return m_align; }
    Status SetLineAlignment(StringAlignment align);
    StringAlignment GetLineAlignment() const { return m_lineAlign; }
    Status SetFormatFlags(INT flags);
    INT GetFormatFlags() const { return m_flags; }
    Status GetLastStatus() const { return Ok; }

  private:
    INT m_flags;
    StringAlignment m_align = StringAlignmentNear;
    StringAlignment m_lineAlign = StringAlignmentNear;
};

// Image attributes carry the colour key: pixels whose red, green and blue each lie
// within the key range are not drawn. The keyed copy of the last image drawn is kept.
class ImageAttributes
{
  public:
    ImageAttributes();
    ~ImageAttributes();
    ImageAttributes(const ImageAttributes &) = delete;
    ImageAttributes &operator=(const ImageAttributes &) = delete;
    ImageAttributes *Clone() const;

    Status SetColorKey(const Color &colorLow, const Color &colorHigh,
                       ColorAdjustType type = ColorAdjustTypeDefault);
    Status ClearColorKey(ColorAdjustType type = ColorAdjustTypeDefault);
    Status GetLastStatus() const { return Ok; }

    // The image as it is drawn through these attributes (the image itself when no key is set).
    const QImage &Apply(const Image &image) const;

  private:
    bool m_keyOn = false;
    Color m_low, m_high;
    mutable std::uint64_t m_cachedSerial = 0;
    mutable std::uint64_t m_cachedGeneration = 0;
    mutable ARGB m_cachedLow = 0, m_cachedHigh = 0;
    mutable bool m_cacheValid = false;
    mutable QImage m_cached;
};

class Graphics
{
  public:
    // Draws into an image (held for the life of the graphics).
    explicit Graphics(Image *image);
    // Draws through a painter that someone else owns (a device context's); its
    // state is restored when the graphics ends.
    explicit Graphics(QPainter *painter);
    ~Graphics();
    Graphics(const Graphics &) = delete;
    Graphics &operator=(const Graphics &) = delete;

    static Graphics *FromImage(Image *image) { return new Graphics(image); }
    static Graphics *FromPainter(QPainter *painter) { return new Graphics(painter); }

    Status GetLastStatus() const { return m_lastStatus; }

    Status Clear(const Color &color);
    Status SetSmoothingMode(SmoothingMode mode);
    SmoothingMode GetSmoothingMode() const { return m_smoothing; }
    Status SetPageUnit(Unit unit);
    Unit GetPageUnit() const { return UnitPixel; }

    Status DrawImage(Image *image, INT x, INT y);
    Status DrawImage(Image *image, REAL x, REAL y);
    Status DrawImage(Image *image, const Point &point) { return DrawImage(image, point.X, point.Y); }
    Status DrawImage(Image *image, const PointF &point) { return DrawImage(image, point.X, point.Y); }
    Status DrawImage(Image *image, INT x, INT y, INT width, INT height);
    Status DrawImage(Image *image, REAL x, REAL y, REAL width, REAL height);
    Status DrawImage(Image *image, const Rect &rect);
    Status DrawImage(Image *image, const RectF &rect);
    Status DrawImage(Image *image, const Rect &destRect, INT srcX, INT srcY, INT srcWidth, INT srcHeight,
                     Unit srcUnit, const ImageAttributes *attributes = nullptr);
    Status DrawImage(Image *image, const RectF &destRect, REAL srcX, REAL srcY, REAL srcWidth, REAL srcHeight,
                     Unit srcUnit, const ImageAttributes *attributes = nullptr);

    Status FillRectangle(const Brush *brush, INT x, INT y, INT width, INT height);
    Status FillRectangle(const Brush *brush, REAL x, REAL y, REAL width, REAL height);
    Status FillRectangle(const Brush *brush, const Rect &rect);
    Status FillRectangle(const Brush *brush, const RectF &rect);
    Status FillRectangles(const Brush *brush, const Rect *rects, INT count);
    Status FillRectangles(const Brush *brush, const RectF *rects, INT count);
    Status DrawRectangle(const Pen *pen, INT x, INT y, INT width, INT height);
    Status DrawRectangle(const Pen *pen, REAL x, REAL y, REAL width, REAL height);
    Status DrawRectangle(const Pen *pen, const Rect &rect);
    Status DrawRectangle(const Pen *pen, const RectF &rect);
    Status DrawLine(const Pen *pen, INT x1, INT y1, INT x2, INT y2);
    Status DrawLine(const Pen *pen, REAL x1, REAL y1, REAL x2, REAL y2);
    Status DrawLine(const Pen *pen, const Point &p1, const Point &p2);
    Status DrawLine(const Pen *pen, const PointF &p1, const PointF &p2);
    Status DrawLines(const Pen *pen, const Point *points, INT count);
    Status DrawLines(const Pen *pen, const PointF *points, INT count);
    Status FillPath(const Brush *brush, const GraphicsPath *path);
    Status DrawPath(const Pen *pen, const GraphicsPath *path);
    Status FillEllipse(const Brush *brush, REAL x, REAL y, REAL width, REAL height);
    Status DrawEllipse(const Pen *pen, REAL x, REAL y, REAL width, REAL height);

    Status DrawString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                      const StringFormat *format, const Brush *brush);
    Status DrawString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                      const Brush *brush);
    Status DrawString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                      const StringFormat *format, const Brush *brush);
    Status MeasureString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                         const StringFormat *format, RectF *boundingBox, INT *codepointsFitted = nullptr,
                         INT *linesFilled = nullptr) const;
    Status MeasureString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                         const StringFormat *format, RectF *boundingBox) const;
    Status MeasureString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                         RectF *boundingBox) const;
    Status MeasureString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                         RectF *boundingBox) const;

    Status RotateTransform(REAL angle, MatrixOrder order = MatrixOrderPrepend);
    Status TranslateTransform(REAL dx, REAL dy, MatrixOrder order = MatrixOrderPrepend);
    Status ScaleTransform(REAL sx, REAL sy, MatrixOrder order = MatrixOrderPrepend);
    Status ResetTransform();

    QPainter *Painter() const { return m_painter; }

  private:
    Status Fail(Status s) const
    {
        m_lastStatus = s;
        return s;
    }
    Status Done() const { return Fail(Ok); }
    bool Usable() const;
    Status DrawImageQt(Image *image, const QRectF &dest, const QRectF &source,
                       const ImageAttributes *attributes);
    Status StrokeQt(const Pen *pen, const QPainterPath &path);
    Status FillQt(const Brush *brush, const QPainterPath &path);
    void ApplyTransform();

    Image *m_image = nullptr;
    QPainter *m_painter = nullptr;
    std::unique_ptr<QPainter> m_ownPainter;
    QTransform m_base; // the painter's own transform when the graphics began
    QTransform m_user; // what RotateTransform and the others added
    SmoothingMode m_smoothing = SmoothingModeNone;
    mutable Status m_lastStatus = Ok;
};

// One text as DrawString lays it out, handed to the text observer before it is painted: what
// checks of the program's pages need to find where a text stands and whether it is cut.
struct DrawnText
{
    QString text;
    QFont font;            // sized for the device it draws on
    QRectF layout;         // the caller's layout rectangle, in the painter's coordinates
    QRectF box;            // the rectangle the text is drawn into (Qt::TextDontClip added)
    int flags = 0;         // Qt alignment and wrapping flags
    bool clipped = false;  // drawing is clipped to the layout rectangle
    QTransform transform;  // from the painter's coordinates to its device's
    const QPaintDevice *device = nullptr;
};
using DrawnTextObserver = std::function<void(const DrawnText &)>;
// Replaces the observer (an empty one turns it off). Called on the UI thread only.
void SetDrawnTextObserver(DrawnTextObserver observer);
} // namespace Gdiplus
