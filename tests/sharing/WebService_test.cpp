#include "sharing/Rc4Crypt.h"
#include "sharing/WebService.h"

#include "tests/sharing/WebServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using vxtest::FakeXmlRpcService;
using wstest::WebServiceTest;

namespace
{
using Answer = FakeXmlRpcService::Answer;

std::string Hex(const unsigned char *data, std::size_t length)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
    {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::vector<unsigned char> DecodeBase64(const std::string &text)
{
    std::vector<unsigned char> out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text)
    {
        const char *p = std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", c);
        if (c == '=' || !p || !c)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(p - "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
        count += 6;
        if (count >= 8)
        {
            count -= 8;
            out.push_back(static_cast<unsigned char>(bits >> count));
        }
    }
    return out;
}

const char kKey[] = "qwmrtplkvbzxnmqertyuioplkj740391;pqwzmrvo fpt;mnbvcxz w38q 602p7m ;4w";
} // namespace

TEST(Rc4CryptTest, MatchesPublishedVectorsAndUndoesItself)
{
    struct Case
    {
        const char *key;
        const char *plain;
        const char *cipherHex;
    };
    const Case cases[] = {
        {"Key", "Plaintext", "BBF316E8D940AF0AD3"},
        {"Wiki", "pedia", "1021BF0420"},
        {"Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"},
    };
    for (const Case &c : cases)
    {
        std::string data = c.plain;
        auto *bytes = reinterpret_cast<unsigned char *>(data.data());
        Rc4Crypt(reinterpret_cast<const unsigned char *>(c.key), static_cast<int>(std::strlen(c.key)), bytes,
                 static_cast<int>(data.size()));
        EXPECT_EQ(c.cipherHex, Hex(bytes, data.size())) << c.key;
        Rc4Crypt(reinterpret_cast<const unsigned char *>(c.key), static_cast<int>(std::strlen(c.key)), bytes,
                 static_cast<int>(data.size()));
        EXPECT_EQ(c.plain, data);
    }
}

TEST(WsBase64Test, CutsLinesAsThePlatformEncoderDoes)
{
    struct Case
    {
        std::size_t zeros;
        std::string expected;
    };
    const std::string line(76, 'A');
    const Case cases[] = {
        {0, ""},
        {1, "AA=="},
        {2, "AAA="},
        {3, "AAAA"},
        {56, std::string(72, 'A') + "AAA="},
        {57, line + "\r\n"},
        {58, line + "\r\nAA=="},
        {60, line + "\r\nAAAA"},
        {114, line + "\r\n" + line + "\r\n"},
        {116, line + "\r\n" + line + "\r\nAAA="},
        {117, line + "\r\n" + line + "\r\nAAAA"},
    };
    for (const Case &c : cases)
    {
        const std::vector<unsigned char> data(c.zeros, 0);
        EXPECT_EQ(c.expected, WsBase64(data.data(), data.size())) << c.zeros << " bytes";
    }
}

TEST(WsPasswordTest, IsTheAnsiTextUnderRc4InBase64)
{
    EXPECT_EQ("IlqIp8Nk", WsTransformPassword(u"secret"));
    EXPECT_EQ("Fk0XCsM=", WsTransformPassword(u"Gr\u00FC\u00DFe")); // code page 1252, one byte each
    EXPECT_EQ("", WsTransformPassword(u""));
    EXPECT_EQ("IU+bpdZgUJV6wHsmPI5KECAmYe1PCwtuAE+tiuz0/z/JpoOqXRB0roWME3HZOU5j4JiWtxvKIu3c\r\nBw==",
              WsTransformPassword(std::u16string(58, u'p').c_str()));
}

// A password longer than 189 bytes no longer overflows a fixed base64 buffer: every
// enciphered byte travels.
TEST(WsPasswordTest, LongPasswordsTravelWhole)
{
    for (std::size_t length : {189u, 190u, 200u, 259u})
    {
        const std::string plain(length, 'a');
        std::vector<unsigned char> expected(plain.begin(), plain.end());
        Rc4Crypt(reinterpret_cast<const unsigned char *>(kKey), 69, expected.data(), static_cast<int>(length));
        const std::string sent = WsTransformPassword(std::u16string(length, u'a').c_str());
        EXPECT_EQ(expected, DecodeBase64(sent)) << length;
        EXPECT_EQ(sent, WsBase64(expected.data(), expected.size()));
    }
    // Past 259 bytes the text itself is cut, as every text parameter is.
    EXPECT_EQ(WsTransformPassword(std::u16string(259, u'a').c_str()),
              WsTransformPassword(std::u16string(300, u'a').c_str()));
}

TEST(WsTextTest, CutsAt259BytesOnACharacterBoundary)
{
    WsSetLanguage(2052);
    // U+4E2D is two bytes in GBK (D6 D0): 129 of them fill 258 bytes, the 130th would pass 259.
    std::string twoByte;
    for (int i = 0; i < 129; ++i)
        twoByte += "\xD6\xD0";
    EXPECT_EQ(twoByte, WsText(std::u16string(200, u'\u4E2D').c_str()));
    EXPECT_EQ("a" + twoByte, WsText((u"a" + std::u16string(200, u'\u4E2D')).c_str()));
    EXPECT_EQ(std::string(259, 'x'), WsText(std::u16string(400, u'x').c_str()));
    // A character the code page lacks (a surrogate pair) and a lone surrogate are one '?' each.
    EXPECT_EQ("?a?b", WsText(u"\U0001F600a\xD800" u"b"));
    WsSetLanguage(1033);
    EXPECT_EQ("\xE9\x80?", WsText(u"\u00E9\u20AC\u4E2D"));
    EXPECT_EQ("", WsText(nullptr));
}

TEST(WsEndpointTest, HostComesFromTheRegistryWithADefault)
{
    wstest::SetServiceHost("");
    EXPECT_EQ("http://www.tarvex.com/~facebook/vormatikws.php", WsEndpointUrl());
    wstest::SetServiceHost("example.test:8080");
    EXPECT_EQ("http://example.test:8080/~facebook/vormatikws.php", WsEndpointUrl());
    wstest::SetServiceHost("");
}

TEST(WsEndpointTest, ApplicationPageHostIsARegistryValueOfItsOwn)
{
    wstest::SetServiceHost("");
    EXPECT_EQ("http://apps.facebook.com/vormatik", WebAppPageUrl());
    wstest::SetServiceHost("service.test", "");
    EXPECT_EQ("http://apps.facebook.com/vormatik", WebAppPageUrl());
    wstest::SetServiceHost("", "127.0.0.1:8081");
    EXPECT_EQ("http://127.0.0.1:8081/vormatik", WebAppPageUrl());
    EXPECT_EQ("http://www.tarvex.com/~facebook/vormatikws.php", WsEndpointUrl());
    wstest::SetServiceHost("");
}

TEST_F(WebServiceTest, CheckFacebookLoginSendsEmailAndTransformedPassword)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(1)});
    EXPECT_EQ(1, WsCheckFacebookLogin(u"ann@example.com", u"secret"));
    const auto calls = m_service.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("CheckFacebookLogin", calls[0].method);
    EXPECT_EQ((std::vector<std::string>{"ann@example.com", "IlqIp8Nk"}), calls[0].params);
    const auto requests = m_service.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST /~facebook/vormatikws.php HTTP/1.0", requests[0].requestLine);
}

TEST_F(WebServiceTest, TextParametersAreEscapedAndAnEmptyPasswordIsAnEmptyString)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(0)});
    EXPECT_EQ(0, WsCheckFacebookLogin(u"a\"<&'\xDC00z", u""));
    const auto calls = m_service.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ((std::vector<std::string>{"a&quot;&lt;&amp;&apos;?z", "<string/>"}), calls[0].params);
}

TEST_F(WebServiceTest, CheckFacebookLoginResults)
{
    struct Case
    {
        const char *what;
        Answer answer;
        int expected;
    };
    const Case cases[] = {
        {"accepted", FakeXmlRpcService::Int(1), 1},
        {"refused", FakeXmlRpcService::Int(0), 0},
        {"other number", FakeXmlRpcService::Int(7), 7},
        {"no value", FakeXmlRpcService::Value(""), 0},
        {"fault", FakeXmlRpcService::Fault(), -1},
        {"connection closed", FakeXmlRpcService::Drop(), -1},
        {"not XML-RPC", FakeXmlRpcService::Raw("<html>busy</html>"), -1},
        {"string", FakeXmlRpcService::String("1"), -1},
        {"boolean", FakeXmlRpcService::Bool(true), -1},
        {"array", FakeXmlRpcService::Value("<array><data/></array>"), -1},
    };
    for (const Case &c : cases)
    {
        m_service.Script("CheckFacebookLogin", {c.answer});
        EXPECT_EQ(c.expected, WsCheckFacebookLogin(u"ann@example.com", u"pw")) << c.what;
    }
}

TEST(WebServiceUnreachableTest, CheckFacebookLoginIsNegativeWithoutAService)
{
    vxtest::NoProxyEnvironment noProxy;
    vxtest::RefusingPort refusing;
    wstest::SetServiceHost("127.0.0.1:" + std::to_string(refusing.port()));
    EXPECT_EQ(-1, WsCheckFacebookLogin(u"ann@example.com", u"pw"));
    std::int32_t last = 5;
    EXPECT_EQ(-1, WsGetLastRecordDateTime(u"tok", &last));
    EXPECT_EQ(5, last);
    wstest::SetServiceHost("");
}

TEST_F(WebServiceTest, LoginResults)
{
    struct Case
    {
        const char *what;
        Answer answer;
        int expected;
        std::u16string token; // what the buffer holds afterwards
    };
    const std::u16string untouched = u"untouched";
    const Case cases[] = {
        {"token", FakeXmlRpcService::String("tok-1"), 1, u"tok-1"},
        {"untagged token", FakeXmlRpcService::Value("a&amp;b"), 1, u"a&b"},
        {"empty string tag", FakeXmlRpcService::Value("<string/>"), 0, untouched},
        {"empty string", FakeXmlRpcService::String(""), 0, untouched},
        {"no value", FakeXmlRpcService::Value(""), 0, untouched},
        {"fault", FakeXmlRpcService::Fault(), 0, untouched},
        {"connection closed", FakeXmlRpcService::Drop(), 0, untouched},
        {"int", FakeXmlRpcService::Int(12), 0, untouched},
        {"boolean", FakeXmlRpcService::Bool(true), 0, untouched},
        {"longest that fits", FakeXmlRpcService::String(std::string(259, 't')), 1, std::u16string(259, u't')},
        {"too long to keep whole", FakeXmlRpcService::String(std::string(260, 't')), 0, untouched},
    };
    for (const Case &c : cases)
    {
        m_service.Script("Login", {c.answer});
        char16_t session[kWsSessionLength];
        std::fill(std::begin(session), std::end(session), u'#');
        std::copy(untouched.begin(), untouched.end(), session);
        session[untouched.size()] = 0;
        EXPECT_EQ(c.expected, WsLogin(u"ann@example.com", u"secret", session)) << c.what;
        EXPECT_EQ(c.token, std::u16string(session)) << c.what;
    }
    const auto calls = m_service.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("Login", calls[0].method);
    EXPECT_EQ((std::vector<std::string>{"ann@example.com", "IlqIp8Nk"}), calls[0].params);
}

TEST_F(WebServiceTest, TokenTravelsInTheCodePageAndWhole)
{
    WsSetLanguage(2052);
    // 200 two-byte characters: 400 bytes, more than any other text parameter may carry.
    std::string tokenBytes;
    for (int i = 0; i < 200; ++i)
        tokenBytes += "\xD6\xD0";
    m_service.Script("Login", {FakeXmlRpcService::String(tokenBytes)});
    m_service.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(0)});
    m_service.Script("Logout", {FakeXmlRpcService::Bool(true)});
    char16_t session[kWsSessionLength] = {};
    ASSERT_EQ(1, WsLogin(u"ann", u"pw", session));
    EXPECT_EQ(std::u16string(200, u'\u4E2D'), std::u16string(session));
    std::int32_t last = 0;
    EXPECT_EQ(0, WsGetLastRecordDateTime(session, &last));
    EXPECT_EQ(1, WsLogout(session));
    const auto calls = m_service.Calls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(std::vector<std::string>{tokenBytes}, calls[1].params);
    EXPECT_EQ(std::vector<std::string>{tokenBytes}, calls[2].params);
}

TEST_F(WebServiceTest, LogoutResults)
{
    struct Case
    {
        const char *what;
        Answer answer;
        int expected;
        bool emptied;
    };
    const Case cases[] = {
        {"confirmed", FakeXmlRpcService::Bool(true), 1, true},
        {"refused", FakeXmlRpcService::Bool(false), 0, false},
        {"no value", FakeXmlRpcService::Value(""), 0, false},
        {"fault", FakeXmlRpcService::Fault(), 0, false},
        {"connection closed", FakeXmlRpcService::Drop(), 0, false},
        {"int", FakeXmlRpcService::Int(1), 0, false},
        {"string", FakeXmlRpcService::String("1"), 0, false},
    };
    for (const Case &c : cases)
    {
        m_service.Script("Logout", {c.answer});
        char16_t session[kWsSessionLength] = u"tok-9";
        EXPECT_EQ(c.expected, WsLogout(session)) << c.what;
        EXPECT_EQ(c.emptied ? u"" : u"tok-9", std::u16string(session)) << c.what;
    }
    const auto calls = m_service.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::vector<std::string>{"tok-9"}, calls[0].params);
}

TEST_F(WebServiceTest, AddRunDataSendsEveryIntegerAsItsOwnParameter)
{
    m_service.Script("AddRunData", {FakeXmlRpcService::Bool(true)});
    EXPECT_EQ(1, WsAddRunData(u"tok", nullptr, 0));
    std::vector<std::int32_t> runs(20);
    for (int i = 0; i < 20; ++i)
        runs[i] = i == 7 ? -3 : i * 100;
    EXPECT_EQ(1, WsAddRunData(u"tok", runs.data(), 2));
    const auto calls = m_service.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ((std::vector<std::string>{"tok", "<i4>0</i4>"}), calls[0].params);
    std::vector<std::string> expected{"tok", "<i4>2</i4>"};
    for (std::int32_t v : runs)
        expected.push_back("<i4>" + std::to_string(v) + "</i4>");
    EXPECT_EQ(expected, calls[1].params);
    EXPECT_EQ(0, WsAddRunData(u"tok", runs.data(), -1));
    EXPECT_EQ(0, WsAddRunData(u"tok", nullptr, 1));
    EXPECT_EQ(2u, m_service.Calls().size());
}

TEST_F(WebServiceTest, AddRunDataResults)
{
    struct Case
    {
        const char *what;
        Answer answer;
        int expected;
    };
    const Case cases[] = {
        {"stored", FakeXmlRpcService::Bool(true), 1},
        {"refused", FakeXmlRpcService::Bool(false), 0},
        {"no value", FakeXmlRpcService::Value(""), 0},
        {"fault", FakeXmlRpcService::Fault(), 0},
        {"connection closed", FakeXmlRpcService::Drop(), 0},
        {"int", FakeXmlRpcService::Int(1), 0},
        {"bad boolean", FakeXmlRpcService::Value("<boolean>true</boolean>"), 0},
    };
    const std::int32_t run[10] = {1262304000, 1800, 600, 3000, 500, 4000, 250, 0, 70, 150};
    for (const Case &c : cases)
    {
        m_service.Script("AddRunData", {c.answer});
        EXPECT_EQ(c.expected, WsAddRunData(u"tok", run, 1)) << c.what;
    }
}

TEST_F(WebServiceTest, GetLastRecordDateTimeResults)
{
    struct Case
    {
        const char *what;
        Answer answer;
        int expected;
        std::int32_t time;
    };
    const Case cases[] = {
        {"a time", FakeXmlRpcService::Int(1262304000), 1, 1262304000},
        {"no runs yet", FakeXmlRpcService::Int(0), 0, 42},
        {"negative", FakeXmlRpcService::Int(-5), 0, 42},
        {"no value", FakeXmlRpcService::Value(""), -1, 42},
        {"fault", FakeXmlRpcService::Fault(), -1, 42},
        {"connection closed", FakeXmlRpcService::Drop(), -1, 42},
        {"string", FakeXmlRpcService::String("1262304000"), -1, 42},
        {"double", FakeXmlRpcService::Value("<double>5.5</double>"), -1, 42},
        {"struct", FakeXmlRpcService::Value("<struct></struct>"), -1, 42},
    };
    for (const Case &c : cases)
    {
        m_service.Script("GetLastRecordDateTime", {c.answer});
        std::int32_t time = 42;
        EXPECT_EQ(c.expected, WsGetLastRecordDateTime(u"tok", &time)) << c.what;
        EXPECT_EQ(c.time, time) << c.what;
    }
    const auto calls = m_service.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("GetLastRecordDateTime", calls[0].method);
    EXPECT_EQ(std::vector<std::string>{"tok"}, calls[0].params);
}
