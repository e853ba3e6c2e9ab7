#include "platform/win/InstanceChannel.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/win/InstanceRequest.h"
#include "platform/win/Wnd.h"

namespace
{
std::unique_ptr<QLocalServer> g_server;
std::function<int()> g_activate;
std::function<HWND()> g_window;
int g_connections = 0;
// Requests being served; while one is, the server is let go later, never under its feet.
int g_serving = 0;
int g_timeoutMs = vxwin::kInstanceRequestTimeoutMs;

HWND TargetWindow()
{
    const std::function<HWND()> window = g_window;
    return window ? window() : nullptr;
}

long long Serve(const vxwin::InstanceRequest &request)
{
    switch (request.kind)
    {
    case vxwin::InstanceRequestKind::Activate: {
        // A copy: the handler may stop the channel, which lets go of g_activate.
        const std::function<int()> activate = g_activate;
        return activate && activate() == 1 ? 1 : 0;
    }
    case vxwin::InstanceRequestKind::Post: {
        const HWND window = TargetWindow();
        return window && ::PostMessage(window, request.message, 0, 0) ? 1 : 0;
    }
    case vxwin::InstanceRequestKind::CopyData: {
        const HWND window = TargetWindow();
        if (!window)
            return 0;
        // The record and its bytes live on this stack for the whole (synchronous) call, so
        // nothing the connection owns is reached if it goes during the handler.
        std::vector<std::uint8_t> bytes = request.bytes;
        COPYDATASTRUCT data{request.dataType, static_cast<DWORD>(bytes.size()),
                            bytes.empty() ? nullptr : bytes.data()};
        return ::SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
    }
    return 0;
}

// One connection: collects its request, bounded in size and time, answers once and closes.
class Connection : public QObject
{
  public:
    explicit Connection(QLocalSocket *socket) : QObject(socket), m_socket(socket)
    {
        ++g_connections;
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        m_timer.start(g_timeoutMs);
    }
    ~Connection() override { --g_connections; }

    void Read()
    {
        if (m_answered)
            return;
        const qint64 room = static_cast<qint64>(vxwin::kMaxInstanceRequestBytes) - m_buffer.size();
        if (room > 0)
            m_buffer += m_socket->read(room);
        vxwin::InstanceRequest request;
        const auto status =
            vxwin::ParseInstanceRequest(reinterpret_cast<const std::uint8_t *>(m_buffer.constData()),
                                        static_cast<std::size_t>(m_buffer.size()), request);
        if (status == vxwin::ParseStatus::NeedMore)
            return;
        m_answered = true;
        m_timer.stop();
        m_buffer.clear();
        QPointer<QLocalSocket> socket(m_socket);
        // The handler may run a nested loop in which this connection, its socket or the server
        // goes; only the guarded socket is touched afterwards.
        long long result = 0;
        if (status == vxwin::ParseStatus::Complete)
        {
            ++g_serving;
            result = Serve(request);
            --g_serving;
        }
        if (!socket)
            return;
        socket->write(vxwin::EncodeInstanceAnswer(result).c_str());
        socket->flush();
        socket->disconnectFromServer();
    }

  private:
    QLocalSocket *m_socket;
    QByteArray m_buffer;
    QTimer m_timer;
    bool m_answered = false;
};

// One request, one answer line; false when nobody answers in time or the answer is not one.
bool Exchange(const std::string &path, const std::string &request, long long &result, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(request.data(), static_cast<qint64>(request.size()));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < 64)
    {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.readAll().toStdString();
    }
    return vxwin::ParseInstanceAnswer(answer, result);
}
} // namespace

namespace vxwin
{
bool ListenForActivation(const std::string &path, std::function<int()> activate, std::function<HWND()> window)
{
    StopListening();
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(QString::fromStdString(path));
    if (!server->listen(QString::fromStdString(path)))
        return false;
    g_activate = std::move(activate);
    g_window = std::move(window);
    QLocalServer *raw = server.get();
    QObject::connect(raw, &QLocalServer::newConnection, raw, [raw] {
        while (QLocalSocket *socket = raw->nextPendingConnection())
        {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (g_connections >= kMaxInstanceConnections)
            {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto *connection = new Connection(socket);
            QObject::connect(socket, &QLocalSocket::readyRead, connection,
                             [connection] { connection->Read(); });
            // Bytes that came with the connection are read from the event loop: a handler may
            // stop the server, which must not happen inside this loop over its connections.
            QMetaObject::invokeMethod(
                connection, [connection] { connection->Read(); }, Qt::QueuedConnection);
        }
    });
    g_server = std::move(server);
    return true;
}

void StopListening()
{
    if (g_server)
        g_server->close();
    if (g_serving > 0 && g_server)
        g_server.release()->deleteLater();
    g_server.reset();
    g_activate = nullptr;
    g_window = nullptr;
}

void SetInstanceRequestTimeout(int timeoutMs)
{
    g_timeoutMs = timeoutMs > 0 ? timeoutMs : kInstanceRequestTimeoutMs;
}

int RequestActivation(const std::string &path, int timeoutMs)
{
    long long result = 0;
    return Exchange(path, EncodeActivateRequest(), result, timeoutMs) && result == 1 ? 1 : 0;
}

bool RequestCopyData(const std::string &path, std::uint32_t dataType, const void *bytes, std::uint32_t length,
                     long long &result, int timeoutMs)
{
    if (length > kMaxCopyDataBytes || (length != 0 && !bytes))
        return false;
    return Exchange(path, EncodeCopyDataRequest(dataType, bytes, length), result, timeoutMs);
}

int RequestPostMessage(const std::string &path, std::uint32_t message, int timeoutMs)
{
    if (!IsPostableFromOutside(message))
        return 0;
    long long result = 0;
    return Exchange(path, EncodePostRequest(message), result, timeoutMs) && result == 1 ? 1 : 0;
}

BOOL BringLastActivePopupToFront(HWND hwnd)
{
    // Message boxes are plain Qt windows without a handle, so the modal window is raised as such.
    if (QWidget *modal = QApplication::activeModalWidget())
    {
        modal->raise();
        modal->activateWindow();
        return TRUE;
    }
    return ::SetForegroundWindow(hwnd);
}
} // namespace vxwin
