#include "tests/app/layout/TextRecorder.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <map>

#include "platform/gdiplus/Gdiplus.h"
#include "platform/win/WndBridge.h"
#include "ui/UIStatic.h"

namespace layouttest
{
namespace
{
// Edge pixels fainter than this are anti-aliasing a reader does not see as part of a glyph.
constexpr int kInkAlpha = 96;

// The pixels the glyphs of one drawing cover, in the painter's coordinates; empty for blank text.
QRect InkOf(const Gdiplus::DrawnText &t)
{
    const int flags = t.flags | Qt::TextDontClip;
    const QFontMetricsF metrics(t.font);
    const QRect area = metrics.boundingRect(t.box, flags, t.text).toAlignedRect().adjusted(-8, -8, 8, 8);
    if (area.isEmpty())
        return QRect();
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(-area.topLeft());
        painter.setFont(t.font);
        painter.setPen(Qt::black);
        painter.drawText(t.box, flags, t.text);
    }
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
    {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) >= kInkAlpha)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (right < 0)
        return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom)).translated(area.topLeft());
}

CWnd *WndOf(QWidget *widget)
{
    auto *bridge = dynamic_cast<vxwin::BridgeBase *>(widget);
    CWnd *wnd = bridge ? bridge->Wnd() : nullptr;
    return wnd && wnd->m_hWnd ? wnd : nullptr;
}

unsigned ControlId(QWidget *widget)
{
    CWnd *wnd = WndOf(widget);
    return wnd ? static_cast<unsigned>(wnd->GetDlgCtrlID()) : 0u;
}

// Whether `upper` is stacked above `lower`: under their closest common parent, the child that
// holds `upper` comes later (Qt paints later children over earlier ones).
bool StackedAbove(QWidget *upper, QWidget *lower)
{
    for (QWidget *a = upper; a; a = a->parentWidget())
        for (QWidget *b = lower; b; b = b->parentWidget())
            if (a != b && a->parentWidget() && a->parentWidget() == b->parentWidget())
            {
                const QObjectList &children = a->parentWidget()->children();
                return children.indexOf(a) > children.indexOf(b);
            }
    return false;
}

// The rectangle a control's picture covers in the window, or an empty one when it shows none.
QRect PictureRect(QWidget *widget, QWidget *window)
{
    auto *picture = dynamic_cast<UIStatic *>(WndOf(widget));
    if (!picture || !picture->m_bShowImage || picture->GetImageWidth() <= 0 || !widget->isVisible())
        return QRect();
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

// Of the picture's pixels in `area` (window coordinates), those a grey or dark text cannot be read
// on: opaque and darker than the pale grounds (a badge, a strong colour, a dark drawing).
int DarkPixels(QWidget *picture, const QImage &image, QWidget *window, const QRect &area)
{
    const QRect local = area.translated(-picture->mapTo(window, QPoint(0, 0))) & image.rect();
    int dark = 0;
    for (int y = local.top(); y <= local.bottom(); ++y)
    {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = local.left(); x <= local.right(); ++x)
            if (qAlpha(line[x]) >= 128 && qGray(line[x]) < 176)
                ++dark;
    }
    return dark;
}
} // namespace

TextRecorder::TextRecorder()
{
    Gdiplus::SetDrawnTextObserver([this](const Gdiplus::DrawnText &t) {
        QWidget *widget = vxwin::WidgetInPaint();
        if (!widget)
            widget = m_offscreenOwner;
        if (!m_window || !widget || widget->window() != m_window)
            return;
        // A turned text (an axis title running down the side) is not a label of the page.
        if (t.transform.isRotating())
            return;
        const QRect ink = InkOf(t);
        if (ink.isEmpty())
            return;
        // Painter coordinates are the widget's own: a control paints into a bitmap of its
        // client area that it copies to itself at the origin.
        QRectF visible = t.clipped ? t.layout : QRectF(-1e6, -1e6, 2e6, 2e6);
        visible = t.transform.mapRect(visible) & QRectF(widget->rect());
        const QPoint origin = widget->mapTo(m_window, QPoint(0, 0));
        QRect shown = visible.toAlignedRect().translated(origin);
        for (QWidget *outer = widget->parentWidget(); outer && outer != m_window; outer = outer->parentWidget())
            shown &= QRect(outer->mapTo(m_window, QPoint(0, 0)), outer->size());
        shown &= m_window->rect();
        DrawnLabel label;
        label.widget = widget;
        label.id = ControlId(widget);
        label.text = t.text;
        label.ink = t.transform.mapRect(ink).translated(origin);
        label.visible = shown;
        label.pixelSize = t.font.pixelSize() > 0 ? t.font.pixelSize()
                                                 : static_cast<int>(t.font.pointSizeF() * 96.0 / 72.0 + 0.5);
        label.bold = t.font.bold();
        for (const DrawnLabel &seen : m_texts)
            if (seen.widget == label.widget && seen.text == label.text && seen.ink == label.ink)
                return;
        m_texts.push_back(label);
    });
}

TextRecorder::~TextRecorder()
{
    Gdiplus::SetDrawnTextObserver({});
}

std::vector<DrawnLabel> TextRecorder::Paint(QWidget *window, QWidget *offscreenOwner,
                                            const std::function<void()> &redraw)
{
    m_texts.clear();
    m_window = window;
    if (window && offscreenOwner && redraw)
    {
        m_offscreenOwner = offscreenOwner;
        redraw();
        m_offscreenOwner = nullptr;
    }
    if (window)
        (void)window->grab();
    m_window = nullptr;
    if (!window)
        return {};
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    std::map<QWidget *, QImage> grabs; // each picture under a text, painted once
    for (DrawnLabel &label : m_texts)
    {
        for (QWidget *other : widgets)
        {
            if (other == label.widget || other->isAncestorOf(label.widget) || !StackedAbove(other, label.widget))
                continue;
            const QRect covered = PictureRect(other, window) & label.ink & label.visible;
            if (!covered.isEmpty())
            {
                label.coveredBy = ControlId(other);
                label.covered = covered;
                break;
            }
        }
        // A control that draws its text on a picture of its own hides what lies below it.
        if (PictureRect(label.widget, window).contains(label.ink & label.visible))
            continue;
        for (QWidget *other : widgets)
        {
            if (other == label.widget || other->isAncestorOf(label.widget) || !StackedAbove(label.widget, other))
                continue;
            const QRect under = PictureRect(other, window) & label.ink & label.visible;
            if (under.isEmpty())
                continue;
            auto grabbed = grabs.find(other);
            if (grabbed == grabs.end())
                grabbed = grabs.emplace(other, other->grab().toImage().convertToFormat(QImage::Format_ARGB32)).first;
            const int dark = DarkPixels(other, grabbed->second, window, under);
            if (dark > label.darkPixels)
            {
                label.standsOn = ControlId(other);
                label.darkPixels = dark;
            }
        }
    }
    return std::move(m_texts);
}

std::string Describe(const DrawnLabel &label)
{
    const QRect &r = label.ink;
    QString text = label.text;
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return "id " + std::to_string(label.id) + " \"" + text.toStdString() + "\" (" +
           std::to_string(label.pixelSize) + (label.bold ? " px bold" : " px") + ", ink " +
           std::to_string(r.left()) + "," + std::to_string(r.top()) + "-" + std::to_string(r.right() + 1) + "," +
           std::to_string(r.bottom() + 1) + ")";
}
} // namespace layouttest
