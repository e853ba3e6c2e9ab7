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
