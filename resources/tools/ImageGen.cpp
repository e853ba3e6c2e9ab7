// Draws the program's images from the image table and writes them, PNG-encoded, into a
// C++ source. The drawings are our own: panels, buttons, arrows and small pictograms,
// with no text (captions are drawn by the controls).
//
// usage: vx_image_gen TABLE OUTPUT.cpp [FOLDER]   (FOLDER: also write each image as a file)
//        vx_image_gen --draw TABLE TYPE ID SIZE OUTPUT.png
//          one square image of the table drawn SIZE pixels a side (the program's icon for the desktop)
//
// Table lines: type id width height kind colours shape
//   type     PNG, BITMAP or ICON (an icon resource: its bits are the PNG as well)
//   kind     background | button | icon | picture
//   colours  comma-separated RRGGBB or AARRGGBB values; their meaning depends on the shape
//   shape    a shape name, optionally with ":" and a number

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct Row
{
    std::string type;
    unsigned id = 0;
    int width = 0, height = 0;
    std::string kind;
    std::vector<QColor> colours;
    std::string shape;
    double param = 0;
    int line = 0;
};

struct Failure
{
    std::string message;
};

QColor ParseColour(const std::string &text, int line)
{
    const bool withAlpha = text.size() == 8;
    if ((text.size() != 6 && !withAlpha) ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw Failure{"line " + std::to_string(line) + ": bad colour " + text};
    const unsigned long v = std::stoul(text, nullptr, 16);
    return withAlpha ? QColor::fromRgba(QRgb(v)) : QColor::fromRgb(QRgb(0xFF000000u | v));
}

std::vector<Row> ReadTable(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        throw Failure{path + ": cannot open"};
    std::vector<Row> rows;
    std::set<std::pair<std::string, unsigned>> seen;
    std::string raw;
    int line = 0;
    while (std::getline(in, raw))
    {
        ++line;
        if (raw.empty() || raw[0] == '#')
            continue;
        std::istringstream fields(raw);
        Row row;
        std::string colours;
        row.line = line;
        if (!(fields >> row.type >> row.id >> row.width >> row.height >> row.kind >> colours >> row.shape))
        {
            if (raw.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            throw Failure{path + ":" + std::to_string(line) + ": expected 7 fields"};
        }
        if (row.type != "PNG" && row.type != "BITMAP" && row.type != "ICON")
            throw Failure{path + ":" + std::to_string(line) + ": unknown type " + row.type};
        if (row.width <= 0 || row.height <= 0 || row.width > 4096 || row.height > 4096)
            throw Failure{path + ":" + std::to_string(line) + ": bad size"};
        std::istringstream list(colours);
        std::string one;
        while (std::getline(list, one, ','))
            row.colours.push_back(ParseColour(one, line));
        const std::size_t colon = row.shape.find(':');
        if (colon != std::string::npos)
        {
            row.param = std::stod(row.shape.substr(colon + 1));
            row.shape.erase(colon);
        }
        if (!seen.insert({row.type, row.id}).second)
            throw Failure{path + ":" + std::to_string(line) + ": the id appears twice"};
        rows.push_back(row);
    }
    return rows;
}

QColor Colour(const Row &row, std::size_t i)
{
    if (i >= row.colours.size())
        throw Failure{"line " + std::to_string(row.line) + ": shape " + row.shape + " needs " +
                      std::to_string(i + 1) + " colours"};
    return row.colours[i];
}

QPainterPath RoundedRect(const QRectF &r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A dialog picture: a rounded panel with a title band; what lies outside the panel is
// the dialog's key colour. Drawn without anti-aliasing so that no edge pixel comes
// close to the key without being it.
// colours: key, body top, body bottom, title band, edge; param: title band height (0: none).
void DrawDialog(QPainter &p, const Row &row)
{
    const QRectF all(0, 0, row.width, row.height);
    p.fillRect(all, Colour(row, 0));
    const QPainterPath panel = RoundedRect(all.adjusted(0, 0, -1, -1), 14);
    QLinearGradient body(0, 0, 0, row.height);
    body.setColorAt(0, Colour(row, 1));
    body.setColorAt(1, Colour(row, 2));
    p.fillPath(panel, body);
    const double band = row.param;
    p.save();
    p.setClipPath(panel);
    QLinearGradient title(0, 0, 0, band);
    title.setColorAt(0, Colour(row, 3).lighter(125));
    title.setColorAt(1, Colour(row, 3));
    if (band > 0)
    {
        p.fillRect(QRectF(0, 0, row.width, band), title);
        p.fillRect(QRectF(0, band, row.width, 2), Colour(row, 3).darker(130));
    }
    p.restore();
    p.setPen(QPen(Colour(row, 4), 1));
    p.drawPath(panel);
}

// A button face: a rounded bar with a soft vertical gradient on the key colour.
// colours: key, top, bottom, edge.
void DrawButton(QPainter &p, const Row &row)
{
    const QRectF all(0, 0, row.width, row.height);
    p.fillRect(all, Colour(row, 0));
    const double radius = row.param > 0 ? row.param : std::min(row.height / 2.0, 6.0);
    const QPainterPath face = RoundedRect(all.adjusted(0, 0, -1, -1), radius);
    QLinearGradient g(0, 0, 0, row.height);
    g.setColorAt(0, Colour(row, 1));
    g.setColorAt(0.5, Colour(row, 1));
    g.setColorAt(1, Colour(row, 2));
    p.fillPath(face, g);
    p.setPen(QPen(Colour(row, 3), 1));
    p.drawPath(face);
}

// A filled triangle pointing to one side, centred; param: how much of the box it takes (0..1).
// colours: background, arrow.
void DrawArrow(QPainter &p, const Row &row, char direction)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    const double share = row.param > 0 ? row.param : 0.6;
    const double w = row.width * share, h = row.height * share;
    const double cx = row.width / 2.0, cy = row.height / 2.0;
    QPolygonF tri;
    switch (direction)
    {
    case 'l':
        tri << QPointF(cx - w / 2, cy) << QPointF(cx + w / 2, cy - h / 2) << QPointF(cx + w / 2, cy + h / 2);
        break;
    case 'r':
        tri << QPointF(cx + w / 2, cy) << QPointF(cx - w / 2, cy - h / 2) << QPointF(cx - w / 2, cy + h / 2);
        break;
    case 'u':
        tri << QPointF(cx, cy - h / 2) << QPointF(cx - w / 2, cy + h / 2) << QPointF(cx + w / 2, cy + h / 2);
        break;
    default:
        tri << QPointF(cx, cy + h / 2) << QPointF(cx - w / 2, cy - h / 2) << QPointF(cx + w / 2, cy - h / 2);
        break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawPolygon(tri);
}

// A round badge with a tick. colours: background, disc, mark.
void DrawCheckBadge(QPainter &p, const Row &row)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF disc(1, 1, row.width - 2, row.height - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawEllipse(disc);
    QPen pen(Colour(row, 2), std::max(2.0, row.width / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double w = row.width, h = row.height;
    QPolygonF tick;
    tick << QPointF(w * 0.28, h * 0.52) << QPointF(w * 0.44, h * 0.68) << QPointF(w * 0.73, h * 0.35);
    p.drawPolyline(tick);
}

// A five-pointed star on a disc. colours: background, disc, star.
void DrawStarBadge(QPainter &p, const Row &row)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawEllipse(QRectF(1, 1, row.width - 2, row.height - 2));
    const double cx = row.width / 2.0, cy = row.height / 2.0 + row.height * 0.03;
    const double outer = row.width * 0.36, inner = outer * 0.42;
    QPolygonF star;
    for (int k = 0; k < 10; ++k)
    {
        const double angle = -M_PI / 2 + k * M_PI / 5;
        const double r = (k % 2) ? inner : outer;
        star << QPointF(cx + r * std::cos(angle), cy + r * std::sin(angle));
    }
    p.setBrush(Colour(row, 2));
    p.drawPolygon(star);
}

// A round badge with a cross, for closing and for errors. colours: background, disc, mark.
void DrawCrossBadge(QPainter &p, const Row &row)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawEllipse(QRectF(1, 1, row.width - 2, row.height - 2));
    QPen pen(Colour(row, 2), std::max(2.0, row.width / 9.0), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const double w = row.width, h = row.height;
    p.drawLine(QPointF(w * 0.33, h * 0.33), QPointF(w * 0.67, h * 0.67));
    p.drawLine(QPointF(w * 0.67, h * 0.33), QPointF(w * 0.33, h * 0.67));
}

// A warning triangle with an exclamation mark. colours: key, triangle, mark.
void DrawWarningBadge(QPainter &p, const Row &row)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = row.width, h = row.height;
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    const QPointF triangle[3] = {QPointF(w * 0.5, 1), QPointF(w - 1, h - 2), QPointF(1, h - 2)};
    p.drawPolygon(triangle, 3);
    QPen pen(Colour(row, 2), std::max(2.0, w / 10.0), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(w * 0.5, h * 0.35), QPointF(w * 0.5, h * 0.65));
    p.drawPoint(QPointF(w * 0.5, h * 0.8));
}

// The monitor on its strap, seen from the front; with param 1 it is greyed and crossed out.
// colours: key, strap, case, screen, accent.
void DrawDevice(QPainter &p, const Row &row)
{
    const double w = row.width, h = row.height;
    p.fillRect(QRectF(0, 0, w, h), Colour(row, 0));
    const bool off = row.param > 0;
    // The strap across the picture.
    p.fillRect(QRectF(w * 0.06, h * 0.36, w * 0.88, h * 0.28), Colour(row, 1));
    // The case and its screen.
    const QRectF body(w * 0.3, h * 0.08, w * 0.4, h * 0.84);
    p.fillPath(RoundedRect(body, h * 0.18), Colour(row, 2));
    const QRectF screen =
        body.adjusted(body.width() * 0.14, body.height() * 0.18, -body.width() * 0.14, -body.height() * 0.18);
    p.fillRect(screen, Colour(row, 3));
    // Three step bars on the screen.
    for (int k = 0; k < 3; ++k)
    {
        const double bw = screen.width() / 5;
        const double bh = screen.height() * (0.3 + 0.2 * k);
        p.fillRect(QRectF(screen.left() + bw * (1 + 1.2 * k) - bw / 2, screen.bottom() - bh - 2, bw, bh),
                   off ? Colour(row, 2) : Colour(row, 4));
    }
    if (off)
    {
        QPen pen(Colour(row, 4), std::max(3.0, h / 12.0));
        p.setPen(pen);
        p.drawLine(QPointF(w * 0.25, h * 0.12), QPointF(w * 0.75, h * 0.88));
        p.drawLine(QPointF(w * 0.75, h * 0.12), QPointF(w * 0.25, h * 0.88));
    }
    else
    {
        // Link marks on both sides of the case.
        QPen pen(Colour(row, 4), std::max(2.0, h / 20.0));
        p.setPen(pen);
        for (int k = 1; k <= 2; ++k)
        {
            p.drawLine(QPointF(body.left() - k * w * 0.06, h * 0.3),
                       QPointF(body.left() - k * w * 0.06, h * 0.7));
            p.drawLine(QPointF(body.right() + k * w * 0.06, h * 0.3),
                       QPointF(body.right() + k * w * 0.06, h * 0.7));
        }
    }
}

// A round choice mark on the key colour: a ring, with a dot inside when param is 1 (chosen).
// colours: key, ring, inside, dot.
void DrawRadio(QPainter &p, const Row &row)
{
    p.fillRect(QRectF(0, 0, row.width, row.height), Colour(row, 0));
    const double d = std::min(row.width, row.height) - 2.0;
    const QRectF ring((row.width - d) / 2, (row.height - d) / 2, d, d);
    p.setPen(QPen(Colour(row, 1), 1));
    p.setBrush(Colour(row, 2));
    p.drawEllipse(ring);
    if (row.param > 0)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(Colour(row, 3));
        p.drawEllipse(ring.adjusted(d * 0.28, d * 0.28, -d * 0.28, -d * 0.28));
    }
}

// A button face with a minus (param 0) or a plus (param 1) on it. colours: key, top, bottom, edge,
// sign.
void DrawSignButton(QPainter &p, const Row &row)
{
    Row face = row;
    face.param = 0;
    DrawButton(p, face);
    const double w = row.width, h = row.height;
    const double bar = std::max(2.0, std::round(h / 8.0));
    p.fillRect(QRectF(w * 0.25, (h - bar) / 2, w * 0.5, bar), Colour(row, 4));
    if (row.param > 0)
        p.fillRect(QRectF((w - bar) / 2, h * 0.25, bar, h * 0.5), Colour(row, 4));
}

// A button face with a small picture of what the run graph shows: param 0 bars, 1 a line, 2 a heart,
// 3 a flame. colours: key, top, bottom, edge, picture.
void DrawGraphIcon(QPainter &p, const Row &row)
{
    Row face = row;
    face.param = 0;
    DrawButton(p, face);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = row.width, h = row.height;
    const QColor ink = Colour(row, 4);
    const int kind = static_cast<int>(row.param);
    if (kind == 0)
    {
        for (int k = 0; k < 3; ++k)
        {
            const double bh = h * (0.3 + 0.15 * k);
            p.fillRect(QRectF(w * (0.22 + 0.2 * k), h * 0.8 - bh, w * 0.14, bh), ink);
        }
    }
    else if (kind == 1)
    {
        p.setPen(QPen(ink, std::max(1.5, h / 10.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPolygonF line;
        line << QPointF(w * 0.2, h * 0.72) << QPointF(w * 0.42, h * 0.45) << QPointF(w * 0.6, h * 0.6)
             << QPointF(w * 0.8, h * 0.28);
        p.drawPolyline(line);
    }
    else if (kind == 2)
    {
        QPainterPath heart;
        heart.moveTo(w * 0.5, h * 0.8);
        heart.cubicTo(w * 0.1, h * 0.5, w * 0.2, h * 0.15, w * 0.5, h * 0.35);
        heart.cubicTo(w * 0.8, h * 0.15, w * 0.9, h * 0.5, w * 0.5, h * 0.8);
        p.fillPath(heart, ink);
    }
    else
    {
        QPainterPath flame;
        flame.moveTo(w * 0.5, h * 0.15);
        flame.cubicTo(w * 0.8, h * 0.45, w * 0.75, h * 0.82, w * 0.5, h * 0.82);
        flame.cubicTo(w * 0.25, h * 0.82, w * 0.2, h * 0.5, w * 0.5, h * 0.15);
        p.fillPath(flame, ink);
    }
}

// A progress bar: a rounded track with the share given by param (0 to 1) filled from the left.
// colours: key, track, fill, edge.
void DrawProgress(QPainter &p, const Row &row)
{
    const QRectF all(0, 0, row.width, row.height);
    p.fillRect(all, Colour(row, 0));
    const QPainterPath track = RoundedRect(all.adjusted(0, 0, -1, -1), std::min(row.height / 2.0, 8.0));
    p.fillPath(track, Colour(row, 1));
    const double share = std::clamp(row.param, 0.0, 1.0);
    if (share > 0)
    {
        p.save();
        p.setClipPath(track);
        QLinearGradient g(0, 0, 0, row.height);
        g.setColorAt(0, Colour(row, 2).lighter(130));
        g.setColorAt(1, Colour(row, 2));
        p.fillRect(QRectF(0, 0, row.width * share, row.height), g);
        p.restore();
    }
    p.setPen(QPen(Colour(row, 3), 1));
    p.drawPath(track);
}

// A plain panel: a vertical gradient with a one-pixel edge. colours: top, bottom, edge.
void DrawPanel(QPainter &p, const Row &row)
{
    QLinearGradient g(0, 0, 0, row.height);
    g.setColorAt(0, Colour(row, 0));
    g.setColorAt(1, Colour(row, 1));
    p.fillRect(QRectF(0, 0, row.width, row.height), g);
    p.setPen(QPen(Colour(row, 2), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, row.width - 1, row.height - 1));
}

// A house on the key colour, for the home button. colours: key, house, door.
void DrawHome(QPainter &p, const Row &row)
{
    const double w = row.width, h = row.height;
    p.fillRect(QRectF(0, 0, w, h), Colour(row, 0));
    const double side = std::min(w, h) * 0.9;
    const double left = (w - side) / 2, top = (h - side) / 2;
    QPolygonF roof;
    roof << QPointF(left, top + side * 0.48) << QPointF(left + side / 2, top)
         << QPointF(left + side, top + side * 0.48);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawPolygon(roof);
    const QRectF walls(left + side * 0.16, top + side * 0.46, side * 0.68, side * 0.54);
    p.fillRect(walls, Colour(row, 1));
    p.fillRect(QRectF(left + side * 0.42, top + side * 0.66, side * 0.16, side * 0.34), Colour(row, 2));
}

// A person's head and shoulders in a disc; param 1 adds an error badge (a cross), param 2 a
// badge with a turning arrow (log in again). colours: key, disc, person, badge, badge mark.
void DrawPerson(QPainter &p, const Row &row)
{
    const double w = row.width, h = row.height;
    p.fillRect(QRectF(0, 0, w, h), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    const double d = std::min(w, h) * 0.86;
    const QRectF disc((w - d) / 2, (h - d) / 2, d, d);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 1));
    p.drawEllipse(disc);
    p.save();
    QPainterPath clip;
    clip.addEllipse(disc);
    p.setClipPath(clip);
    p.setBrush(Colour(row, 2));
    const double cx = disc.center().x();
    p.drawEllipse(QPointF(cx, disc.top() + d * 0.36), d * 0.17, d * 0.17);
    p.drawEllipse(QRectF(cx - d * 0.33, disc.top() + d * 0.58, d * 0.66, d * 0.6));
    p.restore();
    if (row.param <= 0)
        return;
    // The field labels of the login pages lie over the disc's lower half: the badge stands in its
    // upper left, above them and left of the heading beside the picture.
    const double b = d * 0.32;
    const QRectF badge(disc.left(), disc.top(), b, b);
    p.setBrush(Colour(row, 3));
    p.drawEllipse(badge);
    QPen pen(Colour(row, 4), std::max(2.0, b / 8.0), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF mark = badge.adjusted(b * 0.3, b * 0.3, -b * 0.3, -b * 0.3);
    if (row.param < 2)
    {
        p.drawLine(mark.topLeft(), mark.bottomRight());
        p.drawLine(mark.topRight(), mark.bottomLeft());
        return;
    }
    p.drawArc(mark, 90 * 16, 270 * 16);
    QPolygonF head;
    head << QPointF(mark.center().x(), mark.top() - b * 0.12) << QPointF(mark.center().x() + b * 0.16, mark.top())
         << QPointF(mark.center().x(), mark.top() + b * 0.12);
    p.setBrush(Colour(row, 4));
    p.drawPolygon(head);
}

// The effort picture of the run detail panel: a rounded box whose right part carries the
// panel's verdict text, and on its left a disc with a mark: param 0 an exclamation mark (too
// hard), 1 a tick (good), 2 an arrow upwards (try harder). colours: key, box, edge, disc, mark.
void DrawEffort(QPainter &p, const Row &row)
{
    const double w = row.width, h = row.height;
    p.fillRect(QRectF(0, 0, w, h), Colour(row, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPainterPath box = RoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 8);
    p.fillPath(box, Colour(row, 1));
    p.setPen(QPen(Colour(row, 2), 1));
    p.drawPath(box);
    const double d = h - 12;
    const QRectF disc(6, 6, d, d);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(row, 3));
    p.drawEllipse(disc);
    QPen pen(Colour(row, 4), std::max(2.0, d / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double x = disc.left(), y = disc.top();
    const int kind = static_cast<int>(row.param);
    if (kind == 0)
    {
        p.drawLine(QPointF(x + d * 0.5, y + d * 0.24), QPointF(x + d * 0.5, y + d * 0.58));
        p.drawPoint(QPointF(x + d * 0.5, y + d * 0.76));
    }
    else if (kind == 1)
    {
        QPolygonF tick;
        tick << QPointF(x + d * 0.28, y + d * 0.52) << QPointF(x + d * 0.44, y + d * 0.68)
             << QPointF(x + d * 0.73, y + d * 0.35);
        p.drawPolyline(tick);
    }
    else
    {
        p.drawLine(QPointF(x + d * 0.5, y + d * 0.76), QPointF(x + d * 0.5, y + d * 0.26));
        QPolygonF head;
        head << QPointF(x + d * 0.3, y + d * 0.44) << QPointF(x + d * 0.5, y + d * 0.26)
             << QPointF(x + d * 0.7, y + d * 0.44);
        p.drawPolyline(head);
    }
}

QImage Draw(const Row &row)
{
    QImage image(row.width, row.height, QImage::Format_ARGB32);
    image.fill(0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (row.shape == "dialog")
        DrawDialog(p, row);
    else if (row.shape == "button")
        DrawButton(p, row);
    else if (row.shape == "arrow-left")
        DrawArrow(p, row, 'l');
    else if (row.shape == "arrow-right")
        DrawArrow(p, row, 'r');
    else if (row.shape == "arrow-up")
        DrawArrow(p, row, 'u');
    else if (row.shape == "arrow-down")
        DrawArrow(p, row, 'd');
    else if (row.shape == "check")
        DrawCheckBadge(p, row);
    else if (row.shape == "star")
        DrawStarBadge(p, row);
    else if (row.shape == "device")
        DrawDevice(p, row);
    else if (row.shape == "warning")
        DrawWarningBadge(p, row);
    else if (row.shape == "cross")
        DrawCrossBadge(p, row);
    else if (row.shape == "radio")
        DrawRadio(p, row);
    else if (row.shape == "sign")
        DrawSignButton(p, row);
    else if (row.shape == "panel")
        DrawPanel(p, row);
    else if (row.shape == "graph-icon")
        DrawGraphIcon(p, row);
    else if (row.shape == "home")
        DrawHome(p, row);
    else if (row.shape == "person")
        DrawPerson(p, row);
    else if (row.shape == "progress")
        DrawProgress(p, row);
    else if (row.shape == "effort")
        DrawEffort(p, row);
    else
        throw Failure{"line " + std::to_string(row.line) + ": unknown shape " + row.shape};
    p.end();
    return image;
}

QByteArray EncodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw Failure{"PNG encoding failed"};
    return bytes;
}
} // namespace

// Draws the square image TYPE ID of the table at another size into a PNG file.
int DrawOne(const std::string &table, const std::string &type, const std::string &id, const std::string &size,
            const std::string &output)
{
    const auto number = [](const std::string &text, unsigned long limit) {
        if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(text) == 0 || std::stoul(text) > limit)
            throw Failure{"bad number " + text};
        return std::stoul(text);
    };
    const unsigned long wantedId = number(id, 65535);
    const int side = static_cast<int>(number(size, 1024));
    for (Row row : ReadTable(table))
    {
        if (row.type != type || row.id != wantedId)
            continue;
        if (row.width != row.height)
            throw Failure{"image " + type + " " + id + " is not square"};
        row.width = row.height = side;
        const QByteArray png = EncodePng(Draw(row));
        QFile file(QString::fromLocal8Bit(output.c_str()));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(png) != png.size() || !file.flush())
            throw Failure{output + ": cannot write"};
        return 0;
    }
    throw Failure{"no image " + type + " " + id + " in the table"};
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--draw")
    {
        if (argc != 7)
        {
            std::cerr << "usage: vx_image_gen --draw TABLE TYPE ID SIZE OUTPUT.png\n";
            return 2;
        }
        try
        {
            return DrawOne(argv[2], argv[3], argv[4], argv[5], argv[6]);
        }
        catch (const Failure &failure)
        {
            std::cerr << "vx_image_gen: " << failure.message << "\n";
        }
        catch (const std::exception &e)
        {
            std::cerr << "vx_image_gen: " << e.what() << "\n";
        }
        return 1;
    }
    if (argc < 3)
    {
        std::cerr << "usage: vx_image_gen TABLE OUTPUT.cpp [FOLDER]\n";
        return 2;
    }
    try
    {
        const std::vector<Row> rows = ReadTable(argv[1]);
        std::ostringstream out;
        out << "// Generated by vx_image_gen from resources/images/images.txt; edit that table instead.\n"
            << "#include \"resources/ResourceTables.h\"\n\n"
            << "namespace vxres::detail\n{\nnamespace\n{\n";
        for (const Row &row : rows)
        {
            const QByteArray png = EncodePng(Draw(row));
            if (argc > 3)
            {
                QDir().mkpath(QString::fromLocal8Bit(argv[3]));
                QFile file(QString::fromLocal8Bit(argv[3]) + "/" + QString::fromStdString(row.type) + "_" +
                           QString::number(row.id) + ".png");
                if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
                    throw Failure{"cannot write the image file"};
            }
            out << "const unsigned char k" << row.type << row.id << "[] = {";
            for (qsizetype i = 0; i < png.size(); ++i)
            {
                if (i % 20 == 0)
                    out << "\n   ";
                out << ' ' << unsigned(static_cast<unsigned char>(png[i])) << ',';
            }
            out << "\n};\n";
        }
        out << "} // namespace\n\n// Every image is stored under language 1033.\nconst ImageEntry kImages[] "
               "= {\n";
        for (const Row &row : rows)
            out << "    {u\"" << row.type << "\", " << row.id << ", 1033, k" << row.type << row.id
                << ", sizeof k" << row.type << row.id << "},\n";
        if (rows.empty())
            out << "    {u\"\", 0, 0, nullptr, 0},\n";
        out << "};\nconst std::size_t kImageCount = " << rows.size() << ";\n} // namespace vxres::detail\n";
        std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
        file << out.str();
        file.close();
        if (!file)
            throw Failure{std::string(argv[2]) + ": cannot write"};
    }
    catch (const Failure &f)
    {
        std::cerr << "vx_image_gen: " << f.message << "\n";
        return 1;
    }
    catch (const std::exception &e)
    {
        std::cerr << "vx_image_gen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
