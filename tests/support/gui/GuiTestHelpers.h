#pragma once

#include <QColor>
#include <QImage>
#include <functional>

class QWidget;

namespace vxtest
{
// Renders the widget and its children as they would appear on screen.
QImage GrabWidget(QWidget *widget);

// The colour of one pixel; an invalid QColor outside the image.
QColor PixelAt(const QImage &image, int x, int y);

// Lets queued events (posted messages, deferred deletions, timers that are due) run.
void ProcessEvents();

// Processes events until the condition holds or the event loop has been spun `rounds`
// times with a short wait each; returns whether the condition holds.
bool WaitFor(const std::function<bool()> &condition, int rounds = 500);
} // namespace vxtest
