#include "platform/win/InstanceChannel.h"
#include "platform/win/InstanceRequest.h"

#include <QLocalSocket>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/Afx.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace
{
using vxwin::InstanceRequest;
using vxwin::InstanceRequestKind;
using vxwin::ParseStatus;

constexpr UINT kShareToWebApp = WM_USER + 114;
constexpr UINT kOpenWebAppPage = WM_USER + 115;

std::vector<std::uint8_t> Bytes(const std::string &text)
{
    return {text.begin(), text.end()};
}

ParseStatus Parse(const std::string &text, InstanceRequest &request)
{
    return vxwin::ParseInstanceRequest(reinterpret_cast<const std::uint8_t *>(text.data()), text.size(),
                                       request);
}

std::string U32(std::uint32_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

// Runs the client on a thread of its own while this (the GUI) thread serves it.
template <class F> auto OffThread(F client)
{
    auto result = std::async(std::launch::async, std::move(client));
    EXPECT_TRUE(vxtest::WaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000));
    return result.get();
}

// Sends bytes as they are (in pieces of `piece` bytes, each flushed) and gives what comes back
// before the server closes; "<not closed>" follows it when `timeoutMs` passed without a byte
// and the connection still stood.
std::string RawExchange(const std::string &path, const std::string &bytes, std::size_t piece = 0,
                        int timeoutMs = 5000)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(timeoutMs))
        return "no connection";
    const std::size_t step = piece == 0 ? bytes.size() : piece;
    for (std::size_t at = 0; at < bytes.size(); at += step)
    {
        socket.write(bytes.data() + at, static_cast<qint64>(std::min(step, bytes.size() - at)));
        socket.waitForBytesWritten(timeoutMs);
    }
    std::string answer;
    while (socket.state() == QLocalSocket::ConnectedState || socket.bytesAvailable() > 0)
    {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.readAll().toStdString();
    }
    if (socket.state() == QLocalSocket::ConnectedState)
        answer += "<not closed>";
    return answer;
}

// The first instance's main window: records what reaches it.
class Target : public CWnd
{
  public:
    struct CopyData
    {
        ULONG_PTR type;
        DWORD length;
        bool nullData;
        std::vector<std::uint8_t> bytes;
        WPARAM sender;
    };
    std::vector<CopyData> copies;
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> posted;
    LRESULT copyResult = 1;
    std::function<void()> duringCopy;

    bool Make()
    {
        return CreateEx(0, u"target", u"Target", WS_POPUP, CRect(0, 0, 50, 50), nullptr, 0) != FALSE;
    }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_COPYDATA)
        {
            const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
            const auto *p = static_cast<const std::uint8_t *>(data->lpData);
            copies.push_back(
                {data->dwData, data->cbData, p == nullptr,
                 p ? std::vector<std::uint8_t>(p, p + data->cbData) : std::vector<std::uint8_t>{}, wParam});
            if (duringCopy)
                duringCopy();
            return copyResult;
        }
        if (msg >= WM_USER)
            posted.emplace_back(msg, wParam, lParam);
        return CWnd::WindowProc(msg, wParam, lParam);
    }
};

class InstanceChannelTest : public testing::Test
{
  protected:
    InstanceChannelTest() : m_path(vxtest::MakeTempDir("sock") + "/instance")
    {
        EXPECT_TRUE(m_target.Make());
        Listen(true);
    }
    ~InstanceChannelTest() override
    {
        vxwin::StopListening();
        vxwin::SetInstanceRequestTimeout(0);
        vxtest::ProcessEvents();
    }

    void Listen(bool withWindow)
    {
        HWND window = withWindow ? m_target.GetSafeHwnd() : nullptr;
        ASSERT_TRUE(vxwin::ListenForActivation(
            m_path,
            [this] {
                ++m_activations;
                return 1;
            },
            [window] { return window; }));
    }

    std::string m_path;
    Target m_target;
    int m_activations = 0;
};
} // namespace

TEST(InstanceRequestParse, EachKindIsTakenWholeAndAnythingElseIsRefused)
{
    const std::string payload("a\0'\"\xDC\x00\xD8z", 9); // NUL, quotes, lone UTF-16 surrogates
    const struct
    {
        std::string bytes;
        ParseStatus status;
        InstanceRequestKind kind;
        std::uint32_t number; // data type or message
        std::string payload;
    } cases[] = {
        {"A\n", ParseStatus::Complete, InstanceRequestKind::Activate, 0, ""},
        {"A\ntrailing", ParseStatus::Complete, InstanceRequestKind::Activate, 0, ""},
        {std::string("A\0", 2), ParseStatus::Refused, {}, 0, ""},
        {"AA", ParseStatus::Refused, {}, 0, ""},
        {"X\n", ParseStatus::Refused, {}, 0, ""},
        {std::string(1, '\0'), ParseStatus::Refused, {}, 0, ""},
        {"a\n", ParseStatus::Refused, {}, 0, ""},
        {"P" + U32(kShareToWebApp), ParseStatus::Complete, InstanceRequestKind::Post, kShareToWebApp, ""},
        {"P" + U32(kOpenWebAppPage) + "x", ParseStatus::Complete, InstanceRequestKind::Post, kOpenWebAppPage,
         ""},
        {"P" + U32(WM_USER + 113), ParseStatus::Refused, {}, 0, ""},
        {"P" + U32(WM_USER + 116), ParseStatus::Refused, {}, 0, ""},
        {"P" + U32(WM_CLOSE), ParseStatus::Refused, {}, 0, ""},
        {"P" + U32(WM_COPYDATA), ParseStatus::Refused, {}, 0, ""},
        {"P" + U32(0x10000 + kShareToWebApp), ParseStatus::Refused, {}, 0, ""},
        {"C" + U32(1) + U32(9) + payload, ParseStatus::Complete, InstanceRequestKind::CopyData, 1, payload},
        {"C" + U32(0xFFFFFFFF) + U32(0), ParseStatus::Complete, InstanceRequestKind::CopyData, 0xFFFFFFFF,
         ""},
        {"C" + U32(1) + U32(2) + "abc", ParseStatus::Complete, InstanceRequestKind::CopyData, 1, "ab"},
        {"C" + U32(1) + U32(vxwin::kMaxCopyDataBytes + 1), ParseStatus::Refused, {}, 0, ""},
        {"C" + U32(1) + U32(0xFFFFFFFF), ParseStatus::Refused, {}, 0, ""},
        {"C" + U32(1) + U32(0x80000000), ParseStatus::Refused, {}, 0, ""},
    };
    for (const auto &c : cases)
    {
        InstanceRequest request;
        EXPECT_EQ(Parse(c.bytes, request), c.status) << testing::PrintToString(c.bytes);
        if (c.status != ParseStatus::Complete)
            continue;
        EXPECT_EQ(request.kind, c.kind);
        if (c.kind == InstanceRequestKind::CopyData)
        {
            EXPECT_EQ(request.dataType, c.number);
            EXPECT_EQ(request.bytes, Bytes(c.payload));
        }
        if (c.kind == InstanceRequestKind::Post)
        {
            EXPECT_EQ(request.message, c.number);
        }
    }
}

TEST(InstanceRequestParse, EveryPrefixOfARequestWaitsForTheRest)
{
    const std::string largest(vxwin::kMaxCopyDataBytes, '\xFF');
    for (const std::string &whole :
         {vxwin::EncodeActivateRequest(), vxwin::EncodePostRequest(kOpenWebAppPage),
          vxwin::EncodeCopyDataRequest(1, "user\0pw", 7), vxwin::EncodeCopyDataRequest(2, nullptr, 0),
          vxwin::EncodeCopyDataRequest(3, largest.data(), vxwin::kMaxCopyDataBytes)})
    {
        ASSERT_LE(whole.size(), vxwin::kMaxInstanceRequestBytes);
        InstanceRequest request;
        for (std::size_t size = 0; size < whole.size(); size += size < 16 ? 1 : 4093)
            EXPECT_EQ(Parse(whole.substr(0, size), request), ParseStatus::NeedMore) << size;
        EXPECT_EQ(Parse(whole, request), ParseStatus::Complete);
    }
}

TEST(InstanceRequestParse, AnAnswerIsOneWholeDecimalLine)
{
    const struct
    {
        std::string text;
        bool ok;
        long long value;
    } cases[] = {
        {"1\n", true, 1},
        {"0\n", true, 0},
        {"-7\n", true, -7},
        {"9223372036854775807\n", true, 9223372036854775807LL},
        {"1\nrest", true, 1},
        {"1", false, 0},
        {"\n", false, 0},
        {"", false, 0},
        {"1x\n", false, 0},
        {" 1\n", false, 0},
        {"+1\n", false, 0},
        {"99999999999999999999\n", false, 0},
        {std::string("1\0\n", 3), false, 0},
    };
    for (const auto &c : cases)
    {
        long long value = 42;
        EXPECT_EQ(vxwin::ParseInstanceAnswer(c.text, value), c.ok) << testing::PrintToString(c.text);
        EXPECT_EQ(value, c.ok ? c.value : 42);
    }
    for (long long value : {0LL, 1LL, -1LL, 1234567LL})
    {
        long long back = 0;
        EXPECT_TRUE(vxwin::ParseInstanceAnswer(vxwin::EncodeInstanceAnswer(value), back));
        EXPECT_EQ(back, value);
    }
}

TEST_F(InstanceChannelTest, ACopyDataRequestReachesTheWindowAndGetsItsResult)
{
    const std::string hostile("\0'\"\\\xFF\x00\xDC\x3D\xD8", 9); // NUL, quotes, a lone surrogate pair half
    const std::string largest(vxwin::kMaxCopyDataBytes, 'x');
    const struct
    {
        std::uint32_t type;
        std::string bytes;
        LRESULT result;
    } cases[] = {
        {1, hostile, 1},
        {1, "", 0},
        {7, largest, -3},
        {0xFFFFFFFF, "z", 0x7FFFFFFF},
    };
    for (const auto &c : cases)
    {
        m_target.copies.clear();
        m_target.copyResult = c.result;
        const auto [ok, result] = OffThread([&] {
            long long value = 0;
            const bool sent = vxwin::RequestCopyData(m_path, c.type, c.bytes.data(),
                                                     static_cast<std::uint32_t>(c.bytes.size()), value);
            return std::make_pair(sent, value);
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(result, c.result);
        ASSERT_EQ(m_target.copies.size(), 1u);
        const auto &copy = m_target.copies[0];
        EXPECT_EQ(copy.type, c.type);
        EXPECT_EQ(copy.length, c.bytes.size());
        EXPECT_EQ(copy.nullData, c.bytes.empty());
        EXPECT_EQ(copy.bytes, Bytes(c.bytes));
        EXPECT_EQ(copy.sender, 0u);
    }
    EXPECT_EQ(m_activations, 0);
}

TEST_F(InstanceChannelTest, OversizedOrMalformedRequestsAreAnsweredZeroAndReachNothing)
{
    const std::string tooLong(vxwin::kMaxCopyDataBytes + 1, 'x');
    long long value = 5;
    EXPECT_FALSE(
        vxwin::RequestCopyData(m_path, 1, tooLong.data(), static_cast<std::uint32_t>(tooLong.size()), value));
    EXPECT_FALSE(vxwin::RequestCopyData(m_path, 1, nullptr, 4, value));
    EXPECT_EQ(value, 5);

    // Refused from the header, without waiting for (or reading) the announced bytes.
    for (const std::string &bytes :
         {"C" + U32(1) + U32(vxwin::kMaxCopyDataBytes + 1) + tooLong, "C" + U32(1) + U32(0xFFFFFFFF),
          std::string("A\0", 2), "P" + U32(WM_CLOSE), "P" + U32(WM_USER + 116), std::string(70000, 'A'),
          std::string("\xFF\xFE garbage")})
        EXPECT_EQ(OffThread([&] { return RawExchange(m_path, bytes); }), "0\n");
    vxtest::ProcessEvents();
    EXPECT_TRUE(m_target.copies.empty());
    EXPECT_TRUE(m_target.posted.empty());
    EXPECT_EQ(m_activations, 0);
}

TEST_F(InstanceChannelTest, OnlyTheTwoOutsideMessagesArePostedAndWithoutParameters)
{
    const struct
    {
        std::uint32_t message;
        int answer;
    } cases[] = {
        {kShareToWebApp, 1}, {kOpenWebAppPage, 1}, {WM_USER + 113, 0}, {WM_USER + 116, 0},
        {WM_USER + 104, 0},  {WM_CLOSE, 0},        {WM_COPYDATA, 0},   {0, 0},
    };
    for (const auto &c : cases)
    {
        m_target.posted.clear();
        // The client refuses by itself; the raw request shows the instance refuses too.
        EXPECT_EQ(OffThread([&] { return vxwin::RequestPostMessage(m_path, c.message); }), c.answer)
            << c.message;
        EXPECT_EQ(OffThread([&] { return RawExchange(m_path, "P" + U32(c.message)); }),
                  c.answer ? "1\n" : "0\n");
        vxtest::ProcessEvents();
        const std::vector<std::tuple<UINT, WPARAM, LPARAM>> expected =
            c.answer ? std::vector<std::tuple<UINT, WPARAM, LPARAM>>{{c.message, 0, 0}, {c.message, 0, 0}}
                     : std::vector<std::tuple<UINT, WPARAM, LPARAM>>{};
        EXPECT_EQ(m_target.posted, expected) << c.message;
    }
}

TEST_F(InstanceChannelTest, WithoutAWindowCopyDataAndPostsAreAnsweredZero)
{
    vxwin::StopListening();
    Listen(false);
    const auto [ok, result] = OffThread([&] {
        long long value = 9;
        const bool sent = vxwin::RequestCopyData(m_path, 1, "x", 1, value);
        return std::make_pair(sent, value);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(OffThread([&] { return vxwin::RequestPostMessage(m_path, kShareToWebApp); }), 0);
    EXPECT_EQ(OffThread([&] { return vxwin::RequestActivation(m_path); }), 1);
    EXPECT_TRUE(m_target.copies.empty());
    EXPECT_TRUE(m_target.posted.empty());
}

TEST_F(InstanceChannelTest, ARequestArrivingInPiecesIsServedOnce)
{
    const std::string request = vxwin::EncodeCopyDataRequest(1, "piece by piece", 14);
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{9}})
    {
        m_target.copies.clear();
        EXPECT_EQ(OffThread([&] { return RawExchange(m_path, request + "junk after", piece); }), "1\n");
        ASSERT_EQ(m_target.copies.size(), 1u);
        EXPECT_EQ(m_target.copies[0].bytes, Bytes("piece by piece"));
    }
}

TEST_F(InstanceChannelTest, SilentPartialAndVanishingClientsDoNotHoldTheInstance)
{
    vxwin::SetInstanceRequestTimeout(50);
    // A client that sends part of a request and then nothing is dropped unanswered.
    EXPECT_EQ(OffThread([&] { return RawExchange(m_path, "C" + U32(1) + U32(10) + "abc"); }), "");
    EXPECT_EQ(OffThread([&] { return RawExchange(m_path, ""); }), "");
    // One that closes half-way leaves nothing behind.
    OffThread([&] {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(m_path));
        socket.waitForConnected(5000);
        socket.write("C\x01\x00");
        socket.waitForBytesWritten(5000);
        socket.abort();
        return 0;
    });
    vxtest::ProcessEvents();
    EXPECT_TRUE(m_target.copies.empty());

    // Connections beyond the limit are closed at once; the ones held are dropped in time, and
    // the instance serves again.
    vxwin::SetInstanceRequestTimeout(60000);
    std::vector<std::unique_ptr<QLocalSocket>> held;
    for (int i = 0; i < vxwin::kMaxInstanceConnections; ++i)
    {
        held.push_back(std::make_unique<QLocalSocket>());
        held.back()->connectToServer(QString::fromStdString(m_path));
        ASSERT_TRUE(held.back()->waitForConnected(5000));
    }
    vxtest::ProcessEvents();
    EXPECT_EQ(OffThread([&] { return RawExchange(m_path, "A\n"); }), "");
    EXPECT_EQ(m_activations, 0);
    held.clear();
    ASSERT_TRUE(
        vxtest::WaitFor([&] { return OffThread([&] { return RawExchange(m_path, "A\n"); }) == "1\n"; }));
    EXPECT_EQ(m_activations, 1);
}

TEST_F(InstanceChannelTest, AHandlerThatStopsTheChannelLeavesNothingBehind)
{
    m_target.duringCopy = [] {
        vxwin::StopListening();
        vxtest::ProcessEvents();
    };
    const bool answered = OffThread([&] {
        long long value = 0;
        return vxwin::RequestCopyData(m_path, 1, "x", 1, value, 2000);
    });
    EXPECT_FALSE(answered);
    EXPECT_EQ(m_target.copies.size(), 1u);
    vxtest::ProcessEvents();
    EXPECT_EQ(OffThread([&] { return vxwin::RequestActivation(m_path, 500); }), 0);

    // The activation handler itself may stop the channel: what it holds lives until it returns.
    auto reached = std::make_shared<int>(0);
    ASSERT_TRUE(vxwin::ListenForActivation(m_path, [reached] {
        vxwin::StopListening();
        vxtest::ProcessEvents();
        return ++*reached;
    }));
    OffThread([&] { return vxwin::RequestActivation(m_path, 2000); });
    EXPECT_EQ(*reached, 1);
    vxtest::ProcessEvents();
    EXPECT_EQ(OffThread([&] { return vxwin::RequestActivation(m_path, 500); }), 0);
}
