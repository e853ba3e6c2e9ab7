#include "platform/net/WinInet.h"

#include "tests/support/http_server/LoopbackHttpServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

using vxtest::LoopbackHttpServer;

namespace
{
class WinInetTest : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        if (m_session)
            InternetCloseHandle(m_session);
    }

    // A session and a connection to the server (owned by the fixture).
    HINTERNET Connect(std::uint16_t port)
    {
        m_session = InternetOpenA("Probe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        EXPECT_NE(m_session, nullptr);
        HINTERNET connection =
            InternetConnectA(m_session, "127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        EXPECT_NE(connection, nullptr);
        return connection;
    }

    static std::string ReadAll(HINTERNET request)
    {
        std::string body;
        for (;;)
        {
            std::uint32_t available = 0;
            EXPECT_TRUE(InternetQueryDataAvailable(request, &available, 0, 0));
            if (!available)
                return body;
            std::string piece(available, '\0');
            std::uint32_t read = 0;
            EXPECT_TRUE(InternetReadFile(request, piece.data(), available, &read));
            body.append(piece, 0, read);
        }
    }

    vxtest::NoProxyEnvironment m_noProxy;
    HINTERNET m_session = nullptr;
};
} // namespace

TEST(WinInetErrors, CurlResultsMapToWinInetNumbers)
{
    const struct
    {
        CURLcode code;
        long verify;
        std::uint32_t error;
    } cases[] = {
        {CURLE_OK, 0, 0},
        {CURLE_COULDNT_CONNECT, 0, ERROR_INTERNET_CANNOT_CONNECT},
        {CURLE_COULDNT_RESOLVE_HOST, 0, ERROR_INTERNET_NAME_NOT_RESOLVED},
        {CURLE_COULDNT_RESOLVE_PROXY, 0, ERROR_INTERNET_NAME_NOT_RESOLVED},
        {CURLE_OPERATION_TIMEDOUT, 0, ERROR_INTERNET_TIMEOUT},
        {CURLE_SSL_CONNECT_ERROR, 0, ERROR_INTERNET_SECURITY_CHANNEL_ERROR},
        {CURLE_PEER_FAILED_VERIFICATION, 20, ERROR_INTERNET_INVALID_CA}, // unable to get local issuer
        {CURLE_PEER_FAILED_VERIFICATION, 18, ERROR_INTERNET_INVALID_CA}, // self-signed
        {CURLE_PEER_FAILED_VERIFICATION, 10, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        {CURLE_PEER_FAILED_VERIFICATION, 9, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        {CURLE_PEER_FAILED_VERIFICATION, 0, ERROR_INTERNET_SEC_CERT_CN_INVALID},
        {CURLE_GOT_NOTHING, 0, ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {CURLE_WEIRD_SERVER_REPLY, 0, ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {CURLE_RECV_ERROR, 0, ERROR_INTERNET_CONNECTION_ABORTED},
        {CURLE_SEND_ERROR, 0, ERROR_INTERNET_CONNECTION_ABORTED},
        {CURLE_PARTIAL_FILE, 0, ERROR_INTERNET_CONNECTION_ABORTED},
        {CURLE_OUT_OF_MEMORY, 0, static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY)},
        {CURLE_FAILED_INIT, 0, ERROR_INTERNET_INTERNAL_ERROR},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxnet::ErrorForCurlResult(c.code, c.verify), c.error) << c.code << " " << c.verify;

    std::string text;
    EXPECT_TRUE(InternetErrorMessageText(ERROR_HTTP_INVALID_SERVER_RESPONSE, &text));
    EXPECT_EQ(text, "The server returned an invalid or unrecognized response");
    EXPECT_FALSE(InternetErrorMessageText(4321, &text));
}

TEST(WinInetCertificates, FlagsMapToTheChecks)
{
    const struct
    {
        std::uint32_t flags;
        bool verifyPeer;
        bool verifyHost;
    } cases[] = {
        {0, true, true},
        {SECURITY_FLAG_IGNORE_CERT_CN_INVALID, true, false},
        // The date alone cannot be given up: every check stays.
        {SECURITY_FLAG_IGNORE_CERT_DATE_INVALID, true, true},
        {SECURITY_FLAG_IGNORE_UNKNOWN_CA, false, true},
        {SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
             SECURITY_FLAG_IGNORE_CERT_DATE_INVALID,
         false, false},
    };
    for (const auto &c : cases)
    {
        const vxnet::CertificateChecks checks = vxnet::CertificateChecksFor(c.flags);
        EXPECT_EQ(checks.verifyPeer, c.verifyPeer) << c.flags;
        EXPECT_EQ(checks.verifyHost, c.verifyHost) << c.flags;
    }
}

TEST_F(WinInetTest, RequestFlagsAndOptionsAreKeptPerHandle)
{
    HINTERNET connection = Connect(80);
    std::uint32_t timeout = 1234;
    ASSERT_TRUE(InternetSetOptionA(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    HINTERNET request = HttpOpenRequestA(connection, "POST", "/x", "HTTP/1.0", nullptr, nullptr,
                                         INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                                             INTERNET_FLAG_IGNORE_CERT_DATE_INVALID,
                                         0);
    ASSERT_NE(request, nullptr);

    std::uint32_t value = 0;
    std::uint32_t length = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(value, 1234u); // inherited from the connection
    ASSERT_TRUE(InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &value, &length));
    EXPECT_EQ(value, SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID);

    // Security flags belong to requests only; reading before sending is refused.
    EXPECT_FALSE(InternetQueryOptionA(connection, INTERNET_OPTION_SECURITY_FLAGS, &value, &length));
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    std::uint32_t available = 0;
    EXPECT_FALSE(InternetQueryDataAvailable(request, &available, 0, 0));

    // The wrong kind of handle, and a handle closed with its parent.
    EXPECT_EQ(HttpOpenRequestA(m_session, "GET", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_TRUE(InternetCloseHandle(connection));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(InternetGetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
}

TEST_F(WinInetTest, GetWithoutAcceptTypesAndChunkedReading)
{
    LoopbackHttpServer::Options options;
    options.body = std::string(150000, 'b') + "end";
    LoopbackHttpServer server(options);
    HINTERNET connection = Connect(server.port());
    HINTERNET request = HttpOpenRequestA(connection, "GET", "/page?q=1", "HTTP/1.1", nullptr, nullptr, 0, 0);
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(HttpAddRequestHeadersA(request, "X-One: 1\r\nX-Two: 2\r\n", static_cast<std::uint32_t>(-1),
                                       HTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
    EXPECT_EQ(ReadAll(request), options.body);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /page?q=1 HTTP/1.1");
    EXPECT_EQ(requests[0].header("User-Agent"), "Probe");
    EXPECT_FALSE(requests[0].hasHeader("Accept"));
    EXPECT_EQ(requests[0].header("X-One"), "1");
    EXPECT_EQ(requests[0].header("X-Two"), "2");
}

TEST_F(WinInetTest, ResponseLimitStopsTheTransfer)
{
    LoopbackHttpServer::Options options;
    options.body = std::string(1 << 20, 'z');
    LoopbackHttpServer server(options);
    HINTERNET connection = Connect(server.port());
    HINTERNET request = HttpOpenRequestA(connection, "POST", "/", "HTTP/1.0", nullptr, nullptr, 0, 0);
    vxnet::SetResponseLimit(request, 1000);
    ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, "abc", 3));
    EXPECT_EQ(ReadAll(request), std::string(1000, 'z'));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, "abc");
}

TEST_F(WinInetTest, ConnectingTouchesNoNetwork)
{
    m_session = InternetOpenA("Probe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    // A name that could never resolve: only sending would find out.
    HINTERNET connection =
        InternetConnectA(m_session, "host.invalid", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    EXPECT_NE(connection, nullptr);
    EXPECT_EQ(InternetConnectA(m_session, "h", 70000, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    EXPECT_EQ(InternetGetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
}

TEST_F(WinInetTest, ControlBytesInTheObjectAreRefusedBeforeSending)
{
    LoopbackHttpServer::Options options;
    options.body = "ok";
    LoopbackHttpServer server(options);
    HINTERNET connection = Connect(server.port());
    for (const char *object : {"/x\r\nX-Injected: 1", "/a b", "/tab\tx"})
    {
        HINTERNET request = HttpOpenRequestA(connection, "POST", object, "HTTP/1.0", nullptr, nullptr, 0, 0);
        ASSERT_NE(request, nullptr);
        EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, "", 0)) << object;
        EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INVALID_URL) << object;
        InternetCloseHandle(request);
    }
    // The same server still answers a clean request, and saw nothing before it.
    HINTERNET request = HttpOpenRequestA(connection, "POST", "/clean", "HTTP/1.0", nullptr, nullptr, 0, 0);
    ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, "", 0));
    EXPECT_EQ(ReadAll(request), "ok");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].requestLine, "POST /clean HTTP/1.0");
}

TEST_F(WinInetTest, OpeningAnAddressTakesAnyHttpAnswerAndStopsAtItsHeaders)
{
    struct Case
    {
        LoopbackHttpServer::Mode mode;
        const char *statusLine;
        bool opens;
        std::uint32_t error;
    };
    const Case cases[] = {
        {LoopbackHttpServer::Mode::Reply, "HTTP/1.0 200 OK", true, 0},
        {LoopbackHttpServer::Mode::HtmlPage, "HTTP/1.0 404 Not Found", true, 0},
        {LoopbackHttpServer::Mode::Reply, "HTTP/1.1 500 Internal Server Error", true, 0},
        {LoopbackHttpServer::Mode::EmptyBody, "HTTP/1.0 200 OK", true, 0},
        {LoopbackHttpServer::Mode::CloseWithoutReply, "", false, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    };
    m_session = InternetOpenA("Vormatik", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    for (const Case &c : cases)
    {
        LoopbackHttpServer::Options options;
        options.mode = c.mode;
        options.statusLine = c.statusLine;
        // Far more than one read of the socket: the page is left unread.
        options.body = std::string(4 << 20, 'p');
        LoopbackHttpServer server(options);
        const std::string url = server.url("/vormatik");
        HINTERNET page = InternetOpenUrlA(m_session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
        EXPECT_EQ(page != nullptr, c.opens) << c.statusLine;
        if (page)
        {
            EXPECT_EQ(ReadAll(page), "");
            EXPECT_FALSE(HttpSendRequestA(page, nullptr, 0, nullptr, 0));
            EXPECT_TRUE(InternetCloseHandle(page));
        }
        else
            EXPECT_EQ(InternetGetLastError(), c.error) << c.statusLine;
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u) << c.statusLine;
        EXPECT_EQ(requests[0].requestLine, "GET /vormatik HTTP/1.1");
        EXPECT_EQ(requests[0].header("User-Agent"), "Vormatik");
        // Nothing but what names the host and the agent goes out.
        for (const auto &[name, value] : requests[0].headers)
            EXPECT_TRUE(name == "Host" || name == "User-Agent") << name << ": " << value;
    }
}

TEST_F(WinInetTest, OpeningAnAddressFailsWithoutAnAnswer)
{
    m_session = InternetOpenA("Vormatik", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    vxtest::RefusingPort closed;
    const std::string refused = "http://127.0.0.1:" + std::to_string(closed.port()) + "/vormatik";
    EXPECT_EQ(InternetOpenUrlA(m_session, refused.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_CANNOT_CONNECT);

    LoopbackHttpServer::Options options;
    options.mode = LoopbackHttpServer::Mode::Silent;
    LoopbackHttpServer silent(options);
    const std::uint32_t receiveMs = 200;
    ASSERT_TRUE(InternetSetOptionA(m_session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs));
    const std::string url = silent.url("/vormatik");
    EXPECT_EQ(InternetOpenUrlA(m_session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_TIMEOUT);
}

TEST_F(WinInetTest, OpeningAnAddressRefusesWhatWouldBreakTheRequest)
{
    LoopbackHttpServer::Options options;
    LoopbackHttpServer server(options);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    m_session = InternetOpenA("Vormatik", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    const struct
    {
        std::string url;
        std::uint32_t error;
    } cases[] = {
        {"ftp://127.0.0.1/x", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"127.0.0.1/vormatik", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"http://", ERROR_INTERNET_INVALID_URL},
        {"http:///vormatik", ERROR_INTERNET_INVALID_URL},
        {base + "/a b", ERROR_INTERNET_INVALID_URL},
        {base + "/x\r\nX-Injected: 1", ERROR_INTERNET_INVALID_URL},
        {base + "/tab\tx", ERROR_INTERNET_INVALID_URL},
        {std::string("http://127.0.0.1:") + std::to_string(server.port()) + "/\x7f", ERROR_INTERNET_INVALID_URL},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(InternetOpenUrlA(m_session, c.url.c_str(), nullptr, 0, 0, 0), nullptr) << c.url;
        EXPECT_EQ(InternetGetLastError(), c.error) << c.url;
    }
    EXPECT_EQ(InternetOpenUrlA(m_session, nullptr, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(InternetOpenUrlA(nullptr, base.c_str(), nullptr, 0, 0, 0), nullptr);
    EXPECT_TRUE(server.requests().empty());

    // The same address, clean, with a header line of the caller's.
    HINTERNET page = InternetOpenUrlA(m_session, (base + "/ok").c_str(), "X-One: 1\r\n", static_cast<std::uint32_t>(-1),
                                      INTERNET_FLAG_RELOAD, 0);
    ASSERT_NE(page, nullptr);
    InternetCloseHandle(page);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].header("X-One"), "1");
}

TEST_F(WinInetTest, ClosingTheSessionClosesAnOpenedPage)
{
    LoopbackHttpServer::Options options;
    LoopbackHttpServer server(options);
    HINTERNET session = InternetOpenA("Vormatik", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET page = InternetOpenUrlA(session, server.url("/").c_str(), nullptr, 0, 0, 0);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_FALSE(InternetCloseHandle(page));
    EXPECT_EQ(InternetGetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}
