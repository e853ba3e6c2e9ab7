#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vxtest
{
// An HTTP server for tests on 127.0.0.1 with a port of the system's choice. It serves
// connections one after another on its own thread, at most maxConnections of them and
// for at most lifetimeMs in all; every wait it makes is bounded by that lifetime, and the
// destructor ends it at once. Each request is recorded (request line, headers, body,
// raw bytes) before the answer goes out, so a test reads it after its call returns.
//
// A request that does not begin like HTTP (a TLS greeting, say) is answered at once as
// it arrived. With tls set the server speaks HTTPS with a certificate of its own making,
// issued by itself for "localhost" (so no system authority knows it).
class LoopbackHttpServer
{
  public:
    enum class Mode
    {
        Reply,             // statusLine, then body with Content-Length, then close
        EmptyBody,         // "HTTP/1.0 200 OK" with no body
        HtmlPage,          // an HTML error page (body when given, else a small 404 page)
        CloseWithoutReply, // reads the request and closes
        Silent,            // reads the request and answers nothing until the client leaves
    };

    enum class Tls
    {
        None,
        SelfSigned,        // valid from yesterday for a year
        ExpiredSelfSigned, // ran out yesterday
    };

    struct Request;

    struct Options
    {
        Mode mode = Mode::Reply;
        Tls tls = Tls::None;
        std::string body;
        std::string statusLine = "HTTP/1.0 200 OK";
        std::string contentType = "text/xml";
        int maxConnections = 4;
        int lifetimeMs = 30000;
        // With Mode::Reply, when set, gives the body for each request in place of body;
        // no body closes the connection without a reply. Runs on the server's thread.
        std::function<std::optional<std::string>(const Request &)> responder;
    };

    struct Request
    {
        std::string requestLine;
        std::vector<std::pair<std::string, std::string>> headers; // as sent, in order
        std::string body;
        std::string raw;

        // The value of the first header of that name (case aside); empty when missing.
        std::string header(const std::string &name) const;
        bool hasHeader(const std::string &name) const;
    };

    explicit LoopbackHttpServer(Options options);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer &) = delete;
    LoopbackHttpServer &operator=(const LoopbackHttpServer &) = delete;

    std::uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" (https with tls) followed by path.
    std::string url(const std::string &path) const;

    std::vector<Request> requests() const;

  private:
    struct TlsContext;
    struct Connection;

    void serve();
    void serveConnection(Connection &connection);
    bool waitReadable(int fd, int &remainingMs) const;

    std::unique_ptr<TlsContext> m_tls;
    Options m_options;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::thread m_thread;
    std::int64_t m_deadlineMs = 0;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening, kept until the
// object goes.
class RefusingPort
{
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort &) = delete;
    RefusingPort &operator=(const RefusingPort &) = delete;
    std::uint16_t port() const { return m_port; }

  private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

// Clears the proxy settings of the environment for the life of the object, so a call to
// 127.0.0.1 goes there directly.
class NoProxyEnvironment
{
  public:
    NoProxyEnvironment();
    ~NoProxyEnvironment();
    NoProxyEnvironment(const NoProxyEnvironment &) = delete;
    NoProxyEnvironment &operator=(const NoProxyEnvironment &) = delete;

  private:
    std::vector<std::pair<std::string, std::string>> m_saved;
};
} // namespace vxtest
