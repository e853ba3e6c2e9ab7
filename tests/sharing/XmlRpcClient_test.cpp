#include "sharing/XmlRpcClient.h"

#include "tests/support/http_server/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using vxtest::LoopbackHttpServer;

namespace
{
const char kPath[] = "/~facebook/vormatikws.php";

std::string Response(const std::string &value)
{
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>" + value +
           "</param></params></methodResponse>\r\n";
}

std::string Fault(const std::string &faultString)
{
    return "<?xml version=\"1.0\"?>\n<methodResponse><fault><value><struct>"
           "<member><name>faultCode</name><value><int>4</int></value></member>" +
           faultString + "</struct></value></fault></methodResponse>\n";
}

LoopbackHttpServer::Options Serve(LoopbackHttpServer::Mode mode, std::string body = {})
{
    LoopbackHttpServer::Options options;
    options.mode = mode;
    options.body = std::move(body);
    return options;
}

XmlRpcValue Params(const char *token, int number)
{
    XmlRpcValue params;
    params.setSize(2);
    params[0] = token;
    params[1] = number;
    return params;
}

class XmlRpcClientTest : public ::testing::Test
{
  protected:
    vxtest::NoProxyEnvironment m_noProxy;
};
} // namespace

TEST_F(XmlRpcClientTest, PostsTheRequestAndReadsAnIntReply)
{
    LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Reply, Response("<value><i4>1262304000</i4></value>")));
    XmlRpcClient client(server.url(kPath).c_str());
    client.setIgnoreCertificateAuthority(true);
    XmlRpcValue result;
    const XmlRpcValue params = Params("tok<&>", 0);

    ASSERT_TRUE(client.execute("GetLastRecordDateTime", params, result)) << client.getError();
    EXPECT_EQ(result.asInt(), 1262304000);
    EXPECT_EQ(client.getError(), "");
    EXPECT_FALSE(client.isFault());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto &request = requests[0];
    EXPECT_EQ(request.requestLine, std::string("POST ") + kPath + " HTTP/1.0");
    EXPECT_EQ(request.header("User-Agent"), "XmlRpc");
    EXPECT_EQ(request.header("Content-Type"), "text/xml");
    EXPECT_EQ(request.header("Accept"), "text/*");
    EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_FALSE(request.hasHeader("Expect"));
    // libcurl's own defaults are replaced, not sent beside ours.
    for (const char *name : {"Content-Type", "Accept", "User-Agent"})
        EXPECT_EQ(std::count_if(request.headers.begin(), request.headers.end(),
                                [&](const auto &header) { return header.first == name; }),
                  1)
            << name;
    const std::string body = generateRequest("GetLastRecordDateTime", params);
    EXPECT_EQ(request.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(request.body, body);
}

TEST_F(XmlRpcClientTest, ReplyOutcomes)
{
    const std::string html = "<html><head><title>404 Not Found</title></head></html>";
    const struct
    {
        LoopbackHttpServer::Mode mode;
        std::string body;
        bool success;
        bool fault;
        std::string error;
    } cases[] = {
        {LoopbackHttpServer::Mode::Reply,
         Fault("<member><name>faultString</name><value><string>Invalid session</string></value></member>"), false,
         true, "Invalid session"},
        // A fault never passes for success, whatever its text says.
        {LoopbackHttpServer::Mode::Reply, Fault("<member><name>faultString</name><value><string/></value></member>"),
         false, true, "unspecified error"},
        {LoopbackHttpServer::Mode::Reply, Fault("<member><name>faultString</name><value><i4>2</i4></value></member>"),
         false, true, "unspecified error"},
        {LoopbackHttpServer::Mode::Reply, Fault(""), false, true, "unspecified error"},
        {LoopbackHttpServer::Mode::Reply,
         "<?xml version=\"1.0\"?><methodResponse><fault><value><i4>1</i4></value></fault></methodResponse>", false,
         true, "type error: expected a struct"},
        // A body of zero bytes fails without a reason.
        {LoopbackHttpServer::Mode::EmptyBody, "", false, false, ""},
        // An HTML page: the text behind its first tag.
        {LoopbackHttpServer::Mode::HtmlPage, html, false, false, "<head><title>404 Not Found</title></head></html>"},
        // Replies that are no XML and leave nothing to say still fail.
        {LoopbackHttpServer::Mode::Reply, "<html>", false, false, "unspecified error"},
        {LoopbackHttpServer::Mode::Reply, "\n", false, false, "\n"},
        {LoopbackHttpServer::Mode::Reply, Response("<value><i4>x</i4></value>"), false, false, "Bad double"},
        {LoopbackHttpServer::Mode::Reply, Response("<value></value>"), true, false, ""},
    };
    for (const auto &c : cases)
    {
        LoopbackHttpServer server(Serve(c.mode, c.body));
        XmlRpcClient client(server.url(kPath).c_str());
        XmlRpcValue result;
        EXPECT_EQ(client.execute("Logout", Params("t", 1), result), c.success) << c.body;
        EXPECT_EQ(client.isFault(), c.fault) << c.body;
        EXPECT_EQ(client.getError(), c.error) << c.body;
        if (!c.success && !c.fault)
        {
            EXPECT_FALSE(result.valid()) << c.body;
        }
    }
}

TEST_F(XmlRpcClientTest, TransportFailuresNameTheirStep)
{
    {
        vxtest::RefusingPort refusing;
        XmlRpcClient client(("http://127.0.0.1:" + std::to_string(refusing.port()) + kPath).c_str());
        // Nothing touched the network yet.
        EXPECT_EQ(client.getError(), "");
        XmlRpcValue result;
        EXPECT_FALSE(client.execute("Logout", Params("t", 1), result));
        EXPECT_EQ(client.getError(), "HttpSendRequest : Failed to connect");
    }
    {
        LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::CloseWithoutReply));
        XmlRpcClient client(server.url(kPath).c_str());
        XmlRpcValue result;
        EXPECT_FALSE(client.execute("Logout", Params("t", 1), result));
        EXPECT_EQ(client.getError(), "HttpSendRequest : The server returned an invalid or unrecognized response");
    }
    {
        LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Silent));
        XmlRpcClient client(server.url(kPath).c_str());
        client.implementation()->receiveTimeoutMs = 200;
        XmlRpcValue result;
        EXPECT_FALSE(client.execute("Logout", Params("t", 1), result));
        EXPECT_EQ(client.getError(), "HttpSendRequest : Internet timeout");
        EXPECT_EQ(server.requests().size(), 1u);
    }
    {
        // The plain server answers the TLS greeting with HTTP text.
        LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Reply, Response("<value><i4>1</i4></value>")));
        XmlRpcClient client(("https://127.0.0.1:" + std::to_string(server.port()) + kPath).c_str());
        client.setIgnoreCertificateAuthority(true);
        XmlRpcValue result;
        EXPECT_FALSE(client.execute("Logout", Params("t", 1), result));
        EXPECT_EQ(client.getError(), "HttpSendRequest : Talking HTTPS to an HTTP server?");
    }
}

TEST_F(XmlRpcClientTest, CertificateChecksOverHttps)
{
    // The https flags always give up the name and date checks; the unknown authority only
    // with setIgnoreCertificateAuthority.
    const struct
    {
        LoopbackHttpServer::Tls tls;
        bool ignoreAuthority;
        bool success;
        std::string error;
    } cases[] = {
        {LoopbackHttpServer::Tls::SelfSigned, true, true, ""},
        {LoopbackHttpServer::Tls::ExpiredSelfSigned, true, true, ""},
        {LoopbackHttpServer::Tls::SelfSigned, false, false, "HttpSendRequest : Invalid certificate authority"},
    };
    for (const auto &c : cases)
    {
        LoopbackHttpServer::Options options = Serve(LoopbackHttpServer::Mode::Reply, Response("<value><i4>3</i4></value>"));
        options.tls = c.tls;
        LoopbackHttpServer server(options);
        XmlRpcClient client(server.url(kPath).c_str());
        EXPECT_EQ(client.implementation()->protocol, 2);
        client.setIgnoreCertificateAuthority(c.ignoreAuthority);
        XmlRpcValue result;
        EXPECT_EQ(client.execute("Logout", Params("t", 1), result), c.success) << client.getError();
        EXPECT_EQ(client.getError(), c.error);
        if (c.success)
        {
            EXPECT_EQ(result.asInt(), 3);
            ASSERT_EQ(server.requests().size(), 1u);
            EXPECT_EQ(server.requests()[0].requestLine, std::string("POST ") + kPath + " HTTP/1.0");
        }
    }
}

TEST_F(XmlRpcClientTest, RepliesBeyondTheCapAreRefused)
{
    // Far more than the cap; the client stops taking it in after one byte too many.
    std::string huge = Response("<value>" + std::string(XmlRpcImplementation::kMaxReplyLength, 'x') + "</value>");
    LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Reply, huge));
    XmlRpcClient client(server.url(kPath).c_str());
    XmlRpcValue result;
    EXPECT_FALSE(client.execute("Logout", Params("t", 1), result));
    EXPECT_EQ(client.getError(), "Reply too large");
    EXPECT_LE(client.implementation()->bytesReceived, XmlRpcImplementation::kMaxReplyLength);
}

TEST_F(XmlRpcClientTest, NoExceptionLeavesExecute)
{
    // The status callback is the one piece of caller code that runs inside a call.
    const struct
    {
        void (*thrower)(void *, const char *);
        std::string error;
    } cases[] = {
        {[](void *, const char *) { throw std::bad_alloc(); }, "Out of memory"},
        {[](void *, const char *) { throw std::runtime_error("disk on fire"); }, "disk on fire"},
        {[](void *, const char *) { throw XmlRpcException("from the callback"); }, "from the callback"},
        {[](void *, const char *) { throw 42; }, "unspecified error"},
    };
    LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Reply, Response("<value><i4>1</i4></value>")));
    for (const auto &c : cases)
    {
        XmlRpcClient client(server.url(kPath).c_str());
        client.implementation()->statusCallback = c.thrower;
        XmlRpcValue result;
        bool ok = true;
        EXPECT_NO_THROW(ok = client.execute("Logout", Params("t", 1), result));
        EXPECT_FALSE(ok);
        EXPECT_EQ(client.getError(), c.error);
    }
}

TEST_F(XmlRpcClientTest, StatusReports)
{
    LoopbackHttpServer server(Serve(LoopbackHttpServer::Mode::Reply, Response("<value><i4>1</i4></value>")));
    XmlRpcClient client(server.url(kPath).c_str());
    std::vector<std::string> reports;
    client.implementation()->statusContext = &reports;
    client.implementation()->statusCallback = [](void *context, const char *status) {
        static_cast<std::vector<std::string> *>(context)->push_back(status);
    };
    XmlRpcValue result;
    ASSERT_TRUE(client.execute("Logout", Params("t", 1), result));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), "Sending data");
    EXPECT_NE(std::find(reports.begin(), reports.end(), "Data sent..."), reports.end());
    EXPECT_EQ(reports.back(), "Handle closing");

    char buffer[32];
    EXPECT_STREQ(XmlRpcImplementation::statusText(40, 0, buffer), "Waiting for response");
    EXPECT_STREQ(XmlRpcImplementation::statusText(40, 5, buffer), "Receiving response");
    EXPECT_STREQ(XmlRpcImplementation::statusText(31, 0, buffer), "Data sent");
    EXPECT_STREQ(XmlRpcImplementation::statusText(41, 0, buffer), "Response received");
    EXPECT_STREQ(XmlRpcImplementation::statusText(99, 0, buffer), "Status 99");
}

TEST_F(XmlRpcClientTest, ErrorTexts)
{
    const struct
    {
        std::uint32_t code;
        std::string text;
    } cases[] = {
        {12002, "HttpSendRequest : Internet timeout"},
        {12045, "HttpSendRequest : Invalid certificate authority"},
        {12157, "HttpSendRequest : Talking HTTPS to an HTTP server?"},
        {12029, "HttpSendRequest : Failed to connect"},
        {12007, "HttpSendRequest : The server name or address could not be resolved"},
        {4321, "HttpSendRequest : Error 4321"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlRpcImplementation::internetErrorText("HttpSendRequest", c.code), c.text);
}

TEST_F(XmlRpcClientTest, UrlTable)
{
    const char *const kBadScheme = "The URI must begin with \"https://\" or \"http://\".";
    const struct
    {
        const char *url;
        int protocol;
        std::string host;
        std::uint32_t port;
        std::string object;
        bool connected;
        std::string error;
    } cases[] = {
        {"http://service.example/~facebook/vormatikws.php", 1, "service.example", 80, "/~facebook/vormatikws.php",
         true, ""},
        {"HTTPS://Service.Example/RPC2", 2, "Service.Example", 443, "/RPC2", true, ""},
        {"http://service.example:8080/RPC2", 1, "service.example", 8080, "/RPC2", true, ""},
        {"https://service.example:8443", 2, "service.example", 8443, "", true, ""},
        {"http://service.example", 1, "service.example", 80, "", true, ""},
        {"http://service.example:/x", 1, "service.example", 80, "/x", true, ""},
        {"http://service.example:80x/y", 1, "service.example", 80, "x/y", true, ""},
        {"http://service.example:99999999999999/x", 1, "service.example", 0xFFFFFFFFu, "/x", false,
         "InternetConnect : The parameter is incorrect."},
        {"http:///x", 1, "", 80, "/x", false, "InternetConnect : The parameter is incorrect."},
        {"ftp://service.example/x", 0, "", 0, "", false, kBadScheme},
        {"service.example/x", 0, "", 0, "", false, kBadScheme},
        {"", 0, "", 0, "", false, kBadScheme},
    };
    for (const auto &c : cases)
    {
        XmlRpcClient client(c.url);
        const XmlRpcImplementation &impl = *client.implementation();
        EXPECT_EQ(impl.protocol, c.protocol) << c.url;
        EXPECT_EQ(impl.host, c.host) << c.url;
        EXPECT_EQ(impl.port, c.port) << c.url;
        EXPECT_EQ(impl.object, c.object) << c.url;
        EXPECT_EQ(impl.connection != nullptr, c.connected) << c.url;
        EXPECT_EQ(impl.errorText, c.error) << c.url;
        if (!c.connected)
        {
            XmlRpcValue result;
            EXPECT_FALSE(client.execute("Logout", Params("t", 1), result)) << c.url;
            EXPECT_EQ(client.getError(), "No connection") << c.url;
        }
    }
}
