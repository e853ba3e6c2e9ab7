#include "platform/win/InstanceChannel.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <memory>

#include "platform/win/Wnd.h"

namespace
{
constexpr char kRequest = 'A';

std::unique_ptr<QLocalServer> g_server;
std::function<int()> g_handler;

void Answer(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < 2 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    const QByteArray line = socket->read(2);
    int result = 0;
    if (line.size() == 2 && line[0] == kRequest && line[1] == '\n' && g_handler)
        result = g_handler() == 1 ? 1 : 0;
    socket->write(result == 1 ? "1\n" : "0\n");
    socket->flush();
    socket->disconnectFromServer();
}
} // namespace

namespace vxwin
{
bool ListenForActivation(const std::string &path, std::function<int()> handler)
{
    StopListening();
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(QString::fromStdString(path));
    if (!server->listen(QString::fromStdString(path)))
        return false;
    g_handler = std::move(handler);
    QLocalServer *raw = server.get();
    QObject::connect(raw, &QLocalServer::newConnection, raw, [raw] {
        while (QLocalSocket *socket = raw->nextPendingConnection())
        {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { Answer(socket); });
            Answer(socket);
        }
    });
    g_server = std::move(server);
    return true;
}

void StopListening()
{
    if (g_server)
        g_server->close();
    g_server.reset();
    g_handler = nullptr;
}

int RequestActivation(const std::string &path, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(timeoutMs))
        return 0;
    socket.write("A\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return 0;
    QByteArray answer;
    while (answer.size() < 2 && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    return answer.startsWith("1\n") ? 1 : 0;
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
