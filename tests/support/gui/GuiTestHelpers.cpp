#include "tests/support/gui/GuiTestHelpers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QWidget>

namespace vxtest
{
QImage GrabWidget(QWidget *widget)
{
    if (!widget)
        return QImage();
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

QColor PixelAt(const QImage &image, int x, int y)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return QColor();
    return QColor::fromRgba(image.pixel(x, y));
}

void ProcessEvents()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool WaitFor(const std::function<bool()> &condition, int rounds)
{
    for (int i = 0; i < rounds; ++i)
    {
        if (condition())
            return true;
        QTest::qWait(10);
    }
    return condition();
}
} // namespace vxtest
