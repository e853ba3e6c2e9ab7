#include "platform/gdiplus/Gdiplus.h"

#include <QFont>
#include <QGuiApplication>
#include <QRawFont>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

namespace Gdiplus
{
namespace
{
constexpr unsigned kFaceNameSize = 32; // LF_FACESIZE

QString ToQString(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QFont MakeQFont(const std::u16string &family, INT style)
{
    QFont font(ToQString(family));
    font.setBold((style & FontStyleBold) != 0);
    font.setItalic((style & FontStyleItalic) != 0);
    font.setUnderline((style & FontStyleUnderline) != 0);
    font.setStrikeOut((style & FontStyleStrikeout) != 0);
    return font;
}
} // namespace

// ---- FontFamily ---------------------------------------------------------------------------------------

FontFamily::FontFamily() : m_lastStatus(FontFamilyNotFound) {}

FontFamily::FontFamily(const char16_t *name, void *)
{
    if (!name || !*name)
    {
        m_lastStatus = name ? FontFamilyNotFound : InvalidParameter;
        return;
    }
    // Families the system lacks are served by fontconfig's substitutes (Arial by a
    // metric-compatible face), so a named family is always usable.
    m_name = name;
}

bool FontFamily::IsAvailable() const
{
    return m_lastStatus == Ok;
}

Status FontFamily::GetFamilyName(char16_t *name, unsigned short) const
{
    if (!name)
        return InvalidParameter;
    const std::size_t n = std::min<std::size_t>(m_name.size(), kFaceNameSize - 1);
    std::copy_n(m_name.begin(), n, name);
    name[n] = 0;
    return Ok;
}

FontFamily::Metrics FontFamily::MetricsFor(INT style) const
{
    // Arial's design metrics, used when no font system is running.
    Metrics m{2048, 1854, 434, 2355};
    if (!IsAvailable() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return m;
    QFont font = MakeQFont(m_name, style & FontStyleBoldItalic);
    font.setPixelSize(100);
    QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || raw.unitsPerEm() <= 0)
        return m;
    const qreal em = raw.unitsPerEm();
    raw.setPixelSize(em);
    m.em = std::uint16_t(std::lround(em));
    m.ascent = std::uint16_t(std::lround(raw.ascent()));
    m.descent = std::uint16_t(std::lround(raw.descent()));
    m.lineSpacing = std::uint16_t(std::lround(raw.ascent() + raw.descent() + raw.leading()));
    return m;
}

std::uint16_t FontFamily::GetEmHeight(INT style) const
{
    return MetricsFor(style).em;
}

std::uint16_t FontFamily::GetCellAscent(INT style) const
{
    return MetricsFor(style).ascent;
}

std::uint16_t FontFamily::GetCellDescent(INT style) const
{
    return MetricsFor(style).descent;
}

std::uint16_t FontFamily::GetLineSpacing(INT style) const
{
    return MetricsFor(style).lineSpacing;
}

// ---- Font ---------------------------------------------------------------------------------------------

Font::Font(const FontFamily *family, REAL emSize, INT style, Unit unit)
    : m_family(family ? *family : FontFamily()), m_size(emSize), m_style(style), m_unit(unit)
{
    if (!family || !family->IsAvailable())
        m_lastStatus = family ? FontFamilyNotFound : InvalidParameter;
    else if (emSize <= 0 || unit == UnitDisplay)
        m_lastStatus = InvalidParameter;
}

Font::Font(const char16_t *familyName, REAL emSize, INT style, Unit unit, void *)
    : m_family(familyName), m_size(emSize), m_style(style), m_unit(unit)
{
    if (!m_family.IsAvailable())
        m_lastStatus = m_family.GetLastStatus();
    else if (emSize <= 0 || unit == UnitDisplay)
        m_lastStatus = InvalidParameter;
}

Status Font::GetFamily(FontFamily *family) const
{
    if (!family)
        return InvalidParameter;
    *family = m_family;
    return Ok;
}

REAL Font::PixelSize() const
{
    // Drawing runs at a fixed 96 dots per inch.
    switch (m_unit)
    {
    case UnitPoint:
        return m_size * 96.0f / 72.0f;
    case UnitInch:
        return m_size * 96.0f;
    case UnitDocument:
        return m_size * 96.0f / 300.0f;
    case UnitMillimeter:
        return m_size * 96.0f / 25.4f;
    default:
        return m_size;
    }
}

REAL Font::GetHeight(REAL dpi) const
{
    const REAL em = m_family.GetEmHeight(m_style);
    const REAL px = PixelSize() * dpi / 96.0f;
    return em > 0 ? px * m_family.GetLineSpacing(m_style) / em : px;
}

QFont Font::ToQFont() const
{
    QFont font = MakeQFont(m_family.Name(), m_style);
    // Point sizes resolve against the device's 96 dots per inch, which keeps fractional pixel sizes.
    font.setPointSizeF(std::max(0.1, double(PixelSize()) * 72.0 / 96.0));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// ---- StringFormat -------------------------------------------------------------------------------------

StringFormat::StringFormat(INT formatFlags, unsigned short) : m_flags(formatFlags) {}

Status StringFormat::SetAlignment(StringAlignment align)
{
    m_align = align;
    return Ok;
}

Status StringFormat::SetLineAlignment(StringAlignment align)
{
    m_lineAlign = align;
    return Ok;
}

Status StringFormat::SetFormatFlags(INT flags)
{
    m_flags = flags;
    return Ok;
}
} // namespace Gdiplus
