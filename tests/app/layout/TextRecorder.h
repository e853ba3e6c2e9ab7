#pragma once

// Where every text of a window stands when it is painted, measured in the font it is drawn with:
// the pixels its glyphs cover and the part of the window in which they can be seen (the layout
// rectangle when the drawing clips to it, the control and each window it lies in).

#include <QRect>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace layouttest
{
struct DrawnLabel
{
    QWidget *widget = nullptr;
    unsigned id = 0;       // the control id of the window that drew it, 0 for none
    QString text;
    QRect ink;             // the glyphs' pixels, in the top-level window
    QRect visible;         // where they can be seen, in the top-level window
    int pixelSize = 0;
    bool bold = false;
    // A control stacked above this text whose picture covers part of its glyphs (0 for none).
    unsigned coveredBy = 0;
    QRect covered; // the part of the glyphs under that picture
    // A control stacked below this text whose picture is dark or strongly coloured under its glyphs,
    // so that they are hard to tell from it (0 for none), and how many such pixels lie under them.
    unsigned standsOn = 0;
    int darkPixels = 0;
};

class TextRecorder
{
  public:
    TextRecorder();
    ~TextRecorder();
    TextRecorder(const TextRecorder &) = delete;
    TextRecorder &operator=(const TextRecorder &) = delete;

    // Paints the window and its children offscreen and returns every text they drew, once each.
    // A control that draws into a picture of its own outside its paint (the chart) is covered by
    // `redraw`, whose texts are taken as drawn at the origin of `offscreenOwner`.
    std::vector<DrawnLabel> Paint(QWidget *window, QWidget *offscreenOwner = nullptr,
                                  const std::function<void()> &redraw = {});

  private:
    QWidget *m_window = nullptr;
    QWidget *m_offscreenOwner = nullptr;
    std::vector<DrawnLabel> m_texts;
};

// A printable description of one text, for failure messages.
std::string Describe(const DrawnLabel &label);
} // namespace layouttest
