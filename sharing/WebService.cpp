#include "sharing/WebService.h"

#include "platform/sys/Registry.h"
#include "platform/sys/TextConvert.h"
#include "sharing/Rc4Crypt.h"
#include "sharing/XmlRpcClient.h"
#include "sharing/XmlRpcValue.h"

#include <atomic>
#include <vector>

namespace
{
// The shared key of the password transform; all 69 characters are key bytes.
constexpr char kSharedKey[] = "qwmrtplkvbzxnmqertyuioplkj740391;pqwzmrvo fpt;mnbvcxz w38q 602p7m ;4w";
constexpr int kSharedKeyLength = 69;
static_assert(sizeof kSharedKey - 1 == kSharedKeyLength);

std::atomic<std::uint16_t> g_language{1033};

std::u16string RegistryHost(const char16_t *valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tarvex\\Vormatik", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::u16string host;
    std::uint32_t type = REG_NONE;
    std::uint32_t size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ && size >= 2)
    {
        std::vector<std::uint8_t> bytes(size);
        if (RegQueryValueExW(key, valueName, nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS)
        {
            for (std::size_t i = 0; i + 1 < size; i += 2)
            {
                const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
                if (c == 0)
                    break;
                host.push_back(c);
            }
        }
    }
    RegCloseKey(key);
    return host;
}

// The session token as the caller holds it: up to its terminator within the buffer.
std::u16string SessionText(const char16_t *session)
{
    std::u16string token;
    if (!session)
        return token;
    for (std::size_t i = 0; i < kWsSessionLength && session[i]; ++i)
        token.push_back(session[i]);
    return token;
}

void Append(XmlRpcValue &params, const XmlRpcValue &value)
{
    const int index = params.valid() ? params.size() : 0;
    params.setSize(index + 1);
    params[index] = value;
}

// One call on a client of its own. False for every failure of the transport or the reply.
bool Call(const char *method, const XmlRpcValue &params, XmlRpcValue &result)
{
    const std::string url = WsEndpointUrl();
    XmlRpcClient client(url.c_str());
    client.setIgnoreCertificateAuthority(true);
    return client.execute(method, params, result);
}
} // namespace

std::string WsEndpointUrl()
{
    std::string host = vxsys::Utf16ToUtf8(RegistryHost(kWsHostValueName));
    if (host.empty())
        host = kWsDefaultHost;
    return "http://" + host + kWsPath;
}

std::string WebAppPageUrl()
{
    std::string host = vxsys::Utf16ToUtf8(RegistryHost(kWebAppHostValueName));
    if (host.empty())
        host = kWebAppDefaultHost;
    return "http://" + host + kWebAppPath;
}

void WsSetLanguage(std::uint16_t languageId)
{
    g_language = languageId;
}

unsigned WsCodePage()
{
    return vxsys::AnsiCodePageOfLanguage(g_language);
}

std::string WsText(const char16_t *text)
{
    if (!text)
        return {};
    return vxsys::Utf16ToCodePage(text, WsCodePage(), kWsTextLength - 1);
}

std::string WsBase64(const unsigned char *data, std::size_t length)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    if (!data)
        length = 0;
    const std::size_t groups = length / 3;
    const std::size_t fullLines = groups / 19;
    std::size_t group = 0;
    // Every line, the last (possibly empty) one included, is followed by CR LF, and the final
    // CR LF is then taken back: the rule of the platform's encoder that the service was written for.
    for (std::size_t line = 0; line <= fullLines; ++line)
    {
        const std::size_t inLine = line == fullLines ? groups % 19 : 19;
        for (std::size_t k = 0; k < inLine; ++k, ++group)
        {
            const unsigned char *p = data + group * 3;
            const unsigned v = (p[0] << 16) | (p[1] << 8) | p[2];
            out += kAlphabet[(v >> 18) & 63];
            out += kAlphabet[(v >> 12) & 63];
            out += kAlphabet[(v >> 6) & 63];
            out += kAlphabet[v & 63];
        }
        out += "\r\n";
    }
    out.resize(out.size() - 2);
    const std::size_t rest = length % 3;
    if (rest)
    {
        const unsigned char *p = data + groups * 3;
        const unsigned v = (p[0] << 16) | (rest == 2 ? p[1] << 8 : 0);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string WsTransformPassword(const char16_t *password)
{
    std::string bytes = WsText(password);
    std::vector<unsigned char> data(bytes.begin(), bytes.end());
    Rc4Crypt(reinterpret_cast<const unsigned char *>(kSharedKey), kSharedKeyLength, data.data(),
             static_cast<int>(data.size()));
    return WsBase64(data.data(), data.size());
}

int WsCheckFacebookLogin(const char16_t *email, const char16_t *password)
{
    try
    {
        XmlRpcValue params;
        Append(params, WsText(email));
        Append(params, WsTransformPassword(password));
        XmlRpcValue result;
        if (!Call("CheckFacebookLogin", params, result))
            return -1;
        return result.asInt();
    }
    catch (const XmlRpcException &)
    {
        return -1;
    }
}

int WsLogin(const char16_t *email, const char16_t *password, char16_t *session)
{
    if (!session)
        return 0;
    try
    {
        XmlRpcValue params;
        Append(params, WsText(email));
        Append(params, WsTransformPassword(password));
        XmlRpcValue result;
        if (!Call("Login", params, result))
            return 0;
        const std::u16string token = vxsys::CodePageToUtf16(result.asString(), WsCodePage());
        if (token.empty() || token.size() >= kWsSessionLength)
            return 0;
        vxsys::U16CopyBounded(session, kWsSessionLength, token);
        return 1;
    }
    catch (const XmlRpcException &)
    {
        return 0;
    }
}

int WsLogout(char16_t *session)
{
    try
    {
        XmlRpcValue params;
        Append(params, vxsys::Utf16ToCodePage(SessionText(session), WsCodePage()));
        XmlRpcValue result;
        if (!Call("Logout", params, result))
            return 0;
        if (!result.asBool())
            return 0;
        if (session)
            session[0] = 0;
        return 1;
    }
    catch (const XmlRpcException &)
    {
        return 0;
    }
}

int WsAddRunData(const char16_t *session, const std::int32_t *runData, int count)
{
    if (count < 0 || (count > 0 && !runData))
        return 0;
    try
    {
        XmlRpcValue params;
        Append(params, vxsys::Utf16ToCodePage(SessionText(session), WsCodePage()));
        Append(params, count);
        for (std::size_t i = 0; i < static_cast<std::size_t>(count) * 10; ++i)
            Append(params, static_cast<int>(runData[i]));
        XmlRpcValue result;
        if (!Call("AddRunData", params, result))
            return 0;
        return result.asBool() ? 1 : 0;
    }
    catch (const XmlRpcException &)
    {
        return 0;
    }
}

int WsGetLastRecordDateTime(const char16_t *session, std::int32_t *lastTime)
{
    try
    {
        XmlRpcValue params;
        Append(params, vxsys::Utf16ToCodePage(SessionText(session), WsCodePage()));
        XmlRpcValue result;
        if (!Call("GetLastRecordDateTime", params, result))
            return -1;
        // A reply without a value is no answer: read as 0 it would send the whole history again,
        // and the service keeps out duplicates only through this call.
        if (!result.valid())
            return -1;
        const int value = result.asInt();
        if (value <= 0)
            return 0;
        if (lastTime)
            *lastTime = value;
        return 1;
    }
    catch (const XmlRpcException &)
    {
        return -1;
    }
}
