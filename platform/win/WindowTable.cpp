#include "platform/win/WindowTable.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/win/Wnd.h"

namespace
{
std::mutex g_tableMutex;
std::unordered_map<HWND, CWnd *> g_table;
std::uintptr_t g_nextHandle = 0x10000;

// ---- Posted messages -------------------------------------------------------------------

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessageEvent : public QEvent
{
  public:
    PostedMessageEvent(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(kPostedMessage), hwnd(h), msg(m), wParam(w), lParam(l)
    {
    }
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Lives on the UI thread; turns posted events back into messages for windows still alive.
class MessageDispatcher : public QObject
{
  public:
    bool event(QEvent *e) override
    {
        if (e->type() != kPostedMessage)
            return QObject::event(e);
        auto *m = static_cast<PostedMessageEvent *>(e);
        if (CWnd *wnd = vxwin::LookupWindow(m->hwnd))
            wnd->SendMessage(m->msg, m->wParam, m->lParam);
        return true;
    }
};

std::atomic<MessageDispatcher *> g_dispatcher{nullptr};
} // namespace

namespace vxwin
{
HWND RegisterWindow(CWnd *wnd)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_nextHandle += 4;
    HWND hwnd = reinterpret_cast<HWND>(g_nextHandle);
    g_table[hwnd] = wnd;
    return hwnd;
}

void UnregisterWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_table.erase(hwnd);
}

CWnd *LookupWindow(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_tableMutex);
    const auto it = g_table.find(hwnd);
    return it == g_table.end() ? nullptr : it->second;
}

bool IsUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool EnsureDispatcher()
{
    if (g_dispatcher.load())
        return true;
    if (!IsUiThread())
        return false;
    g_dispatcher.store(new MessageDispatcher);
    return true;
}

LRESULT SendFromOtherThread(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MessageDispatcher *d = g_dispatcher.load();
    if (!d || !LookupWindow(hwnd))
        return 0;
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        d,
        [hwnd, msg, wParam, lParam]() -> LRESULT {
            CWnd *wnd = LookupWindow(hwnd);
            return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
        },
        Qt::BlockingQueuedConnection, &result);
    return result;
}
} // namespace vxwin

// ---- Handle-based messages -------------------------------------------------------------

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (vxwin::IsUiThread())
    {
        CWnd *wnd = vxwin::LookupWindow(hwnd);
        return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
    }
    return vxwin::SendFromOtherThread(hwnd, msg, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MessageDispatcher *d = g_dispatcher.load();
    if (!d || !vxwin::LookupWindow(hwnd))
        return FALSE;
    QCoreApplication::postEvent(d, new PostedMessageEvent(hwnd, msg, wParam, lParam));
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    return vxwin::LookupWindow(hwnd) != nullptr;
}
