#include "tests/support/http_server/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <strings.h>

namespace vxtest
{
// A server certificate made afresh for each server: an EC key and a certificate for
// "localhost" that the key signs itself.
struct LoopbackHttpServer::TlsContext
{
    SSL_CTX *context = nullptr;

    explicit TlsContext(Tls kind)
    {
        EVP_PKEY *key = EVP_EC_gen("P-256");
        X509 *certificate = X509_new();
        if (!key || !certificate)
            throw std::runtime_error("tls key");
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        const long day = 24 * 60 * 60;
        if (kind == Tls::ExpiredSelfSigned)
        {
            X509_gmtime_adj(X509_getm_notBefore(certificate), -30 * day);
            X509_gmtime_adj(X509_getm_notAfter(certificate), -day);
        }
        else
        {
            X509_gmtime_adj(X509_getm_notBefore(certificate), -day);
            X509_gmtime_adj(X509_getm_notAfter(certificate), 365 * day);
        }
        X509_NAME *name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("localhost"), -1,
                                   -1, 0);
        X509_set_issuer_name(certificate, name);
        X509_set_pubkey(certificate, key);
        X509_sign(certificate, key, EVP_sha256());

        context = SSL_CTX_new(TLS_server_method());
        const bool ok = context && SSL_CTX_use_certificate(context, certificate) == 1 &&
                        SSL_CTX_use_PrivateKey(context, key) == 1;
        X509_free(certificate);
        EVP_PKEY_free(key);
        if (!ok)
            throw std::runtime_error("tls context");
    }
    ~TlsContext() { SSL_CTX_free(context); }
};

// One accepted connection, plain or TLS.
struct LoopbackHttpServer::Connection
{
    int fd = -1;
    SSL *ssl = nullptr;

    ~Connection()
    {
        if (ssl)
            SSL_free(ssl);
    }

    // Data the TLS layer has already decrypted needs no wait on the socket.
    bool pending() const { return ssl && SSL_pending(ssl) > 0; }

    long receive(char *buffer, std::size_t size)
    {
        if (ssl)
            return SSL_read(ssl, buffer, static_cast<int>(size));
        return ::recv(fd, buffer, size, 0);
    }

    void sendAll(const std::string &data)
    {
        std::size_t sent = 0;
        while (sent < data.size())
        {
            const long n = ssl ? SSL_write(ssl, data.data() + sent, static_cast<int>(data.size() - sent))
                               : ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }
};

namespace
{
std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int BindLoopback(std::uint16_t *port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
    {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

const char kDefaultHtml[] = "<html><head><title>404 Not Found</title></head>\n"
                            "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body>"
                            "</html>\n";

const char *const kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                       "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
} // namespace

std::string LoopbackHttpServer::Request::header(const std::string &name) const
{
    for (const auto &[key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

bool LoopbackHttpServer::Request::hasHeader(const std::string &name) const
{
    for (const auto &entry : headers)
        if (strcasecmp(entry.first.c_str(), name.c_str()) == 0)
            return true;
    return false;
}

LoopbackHttpServer::LoopbackHttpServer(Options options) : m_options(std::move(options))
{
    if (m_options.tls != Tls::None)
        m_tls = std::make_unique<TlsContext>(m_options.tls);
    m_listenFd = BindLoopback(&m_port);
    if (::listen(m_listenFd, 8) != 0 || ::pipe2(m_wakeFds, O_CLOEXEC) != 0)
    {
        ::close(m_listenFd);
        throw std::runtime_error("listen");
    }
    m_deadlineMs = NowMs() + m_options.lifetimeMs;
    m_thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFds[1], &byte, 1);
    m_thread.join();
    ::close(m_listenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);
}

std::string LoopbackHttpServer::url(const std::string &path) const
{
    return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

// Waits until fd can be read, the server is told to stop, or the lifetime ends.
bool LoopbackHttpServer::waitReadable(int fd, int &remainingMs) const
{
    remainingMs = static_cast<int>(std::max<std::int64_t>(0, m_deadlineMs - NowMs()));
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    const int ready = ::poll(fds, 2, remainingMs);
    return ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN);
}

void LoopbackHttpServer::serve()
{
    for (int served = 0; served < m_options.maxConnections; ++served)
    {
        int remaining = 0;
        if (!waitReadable(m_listenFd, remaining))
            return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            Connection connection;
            connection.fd = fd;
            if (m_tls)
            {
                // Every wait of the handshake is bounded too.
                const std::int64_t left = std::max<std::int64_t>(1, m_deadlineMs - NowMs());
                timeval limit{static_cast<time_t>(left / 1000), static_cast<suseconds_t>((left % 1000) * 1000)};
                ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
                connection.ssl = SSL_new(m_tls->context);
                SSL_set_fd(connection.ssl, fd);
            }
            if (!connection.ssl || SSL_accept(connection.ssl) == 1)
                serveConnection(connection);
        }
        ::close(fd);
    }
}

void LoopbackHttpServer::serveConnection(Connection &connection)
{
    const int fd = connection.fd;
    Request request;
    std::string &raw = request.raw;
    std::size_t headerEnd = std::string::npos;
    std::size_t contentLength = 0;
    char buffer[4096];
    for (;;)
    {
        int remaining = 0;
        if (!connection.pending() && !waitReadable(fd, remaining))
            return;
        const long n = connection.receive(buffer, sizeof buffer);
        if (n <= 0)
            break;
        raw.append(buffer, static_cast<std::size_t>(n));
        if (!std::isupper(static_cast<unsigned char>(raw[0])))
            break; // not HTTP: answer what came
        if (headerEnd == std::string::npos)
        {
            headerEnd = raw.find("\r\n\r\n");
            if (headerEnd != std::string::npos)
            {
                const std::string head = raw.substr(0, headerEnd);
                std::size_t lineEnd = head.find("\r\n");
                request.requestLine = head.substr(0, lineEnd);
                while (lineEnd != std::string::npos)
                {
                    const std::size_t start = lineEnd + 2;
                    lineEnd = head.find("\r\n", start);
                    const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos
                                                                                             : lineEnd - start);
                    const std::size_t colon = line.find(':');
                    if (colon == std::string::npos)
                        continue;
                    std::string value = line.substr(colon + 1);
                    value.erase(0, value.find_first_not_of(' '));
                    request.headers.emplace_back(line.substr(0, colon), value);
                }
                contentLength = std::strtoul(request.header("Content-Length").c_str(), nullptr, 10);
            }
        }
        if (headerEnd != std::string::npos && raw.size() >= headerEnd + 4 + contentLength)
            break;
    }
    if (headerEnd != std::string::npos)
        request.body = raw.substr(headerEnd + 4, contentLength);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }

    auto reply = [&](const std::string &statusLine, const std::string &contentType, const std::string &body) {
        std::string text = statusLine + "\r\n";
        if (!contentType.empty())
            text += "Content-Type: " + contentType + "\r\n";
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        connection.sendAll(text);
    };

    switch (m_options.mode)
    {
    case Mode::Reply:
        if (m_options.responder)
        {
            const std::optional<std::string> body = m_options.responder(request);
            if (body)
                reply(m_options.statusLine, m_options.contentType, *body);
        }
        else
        {
            reply(m_options.statusLine, m_options.contentType, m_options.body);
        }
        break;
    case Mode::EmptyBody: reply("HTTP/1.0 200 OK", m_options.contentType, ""); break;
    case Mode::HtmlPage:
        reply("HTTP/1.0 404 Not Found", "text/html", m_options.body.empty() ? kDefaultHtml : m_options.body);
        break;
    case Mode::CloseWithoutReply: break;
    case Mode::Silent:
        // Until the client gives up (or the server ends).
        for (;;)
        {
            int remaining = 0;
            if ((!connection.pending() && !waitReadable(fd, remaining)) ||
                connection.receive(buffer, sizeof buffer) <= 0)
                break;
        }
        break;
    }
    if (connection.ssl)
        SSL_shutdown(connection.ssl);
    ::shutdown(fd, SHUT_WR);
}

RefusingPort::RefusingPort()
{
    m_fd = BindLoopback(&m_port);
}

RefusingPort::~RefusingPort()
{
    ::close(m_fd);
}

NoProxyEnvironment::NoProxyEnvironment()
{
    for (const char *name : kProxyVariables)
    {
        if (const char *value = std::getenv(name))
            m_saved.emplace_back(name, value);
        ::unsetenv(name);
    }
}

NoProxyEnvironment::~NoProxyEnvironment()
{
    for (const char *name : kProxyVariables)
        ::unsetenv(name);
    for (const auto &[name, value] : m_saved)
        ::setenv(name.c_str(), value.c_str(), 1);
}
} // namespace vxtest
