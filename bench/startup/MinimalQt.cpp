// The yardstick of the start-up benchmark: a Qt Widgets program that shows one window and ends
// at its first paint.
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdlib>

namespace
{
class FirstPaintExit : public QObject
{
  protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object->isWidgetType() &&
            static_cast<QWidget *>(object)->isWindow())
            std::_Exit(0);
        return false;
    }
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    FirstPaintExit filter;
    app.installEventFilter(&filter);
    QWidget window;
    window.setWindowTitle("Minimal");
    window.resize(400, 300);
    window.show();
    return app.exec();
}
