#include "sharing/XmlRpcClient.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <strings.h>

namespace
{
const char kAgent[] = "XmlRpc";
const char kContentType[] = "Content-Type: text/xml";
const char kUnspecifiedError[] = "unspecified error";

constexpr std::uint32_t kHttpsRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                                             INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                             INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
constexpr std::uint32_t kHttpRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;

// Closes a request handle on every way out of a call.
class RequestHandle
{
  public:
    explicit RequestHandle(HINTERNET handle) : m_handle(handle) {}
    ~RequestHandle() { close(); }
    RequestHandle(const RequestHandle &) = delete;
    RequestHandle &operator=(const RequestHandle &) = delete;
    HINTERNET get() const { return m_handle; }
    void close()
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
        m_handle = nullptr;
    }

  private:
    HINTERNET m_handle;
};
} // namespace

XmlRpcImplementation::XmlRpcImplementation(const char *uri)
{
    const char *p = uri ? uri : "";
    if (strncasecmp(p, "https://", 8) == 0)
    {
        protocol = 2;
        port = INTERNET_DEFAULT_HTTPS_PORT;
        p += 8;
    }
    else if (strncasecmp(p, "http://", 7) == 0)
    {
        protocol = 1;
        port = INTERNET_DEFAULT_HTTP_PORT;
        p += 7;
    }
    else
    {
        errorText = "The URI must begin with \"https://\" or \"http://\".";
        return;
    }

    const char *hostStart = p;
    while (*p && *p != ':' && *p != '/')
        ++p;
    host.assign(hostStart, p);
    if (*p == ':')
    {
        ++p;
        if (*p >= '0' && *p <= '9')
        {
            // Saturates, so an absurd port is refused by the connect step instead of
            // wrapping to some other port.
            std::uint64_t value = 0;
            for (; *p >= '0' && *p <= '9'; ++p)
                value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(*p - '0'), 0xFFFFFFFFu);
            port = static_cast<std::uint32_t>(value);
        }
    }
    object = p;
    connect();
}

XmlRpcImplementation::~XmlRpcImplementation()
{
    if (connection)
        InternetCloseHandle(connection);
    if (internet)
        InternetCloseHandle(internet);
}

void XmlRpcImplementation::connect()
{
    statusCallback = nullptr;
    statusContext = nullptr;
    bytesReceived = 0;

    internet = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!internet)
    {
        errorText = internetErrorText("InternetOpen", InternetGetLastError());
        return;
    }
    connection = InternetConnectA(internet, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                  reinterpret_cast<std::uintptr_t>(this));
    if (!connection)
    {
        errorText = internetErrorText("InternetConnect", InternetGetLastError());
        return;
    }
    InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
    InternetSetOptionA(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
}

std::string XmlRpcImplementation::internetErrorText(const char *step, std::uint32_t code)
{
    std::string reason;
    switch (code)
    {
    case ERROR_INTERNET_TIMEOUT: reason = "Internet timeout"; break;
    case ERROR_INTERNET_INVALID_CA: reason = "Invalid certificate authority"; break;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: reason = "Talking HTTPS to an HTTP server?"; break;
    case ERROR_INTERNET_CANNOT_CONNECT: reason = "Failed to connect"; break;
    default:
        if (!InternetErrorMessageText(code, &reason))
        {
            char text[32];
            std::snprintf(text, sizeof text, "Error %d", static_cast<int>(code));
            reason = text;
        }
        break;
    }
    return std::string(step) + " : " + reason;
}

const char *XmlRpcImplementation::statusText(std::uint32_t status, std::uint32_t received, char (&buffer)[32])
{
    switch (status)
    {
    case INTERNET_STATUS_SENDING_REQUEST: return "Sending data";
    case INTERNET_STATUS_REQUEST_SENT: return "Data sent";
    case INTERNET_STATUS_RECEIVING_RESPONSE: return received > 0 ? "Receiving response" : "Waiting for response";
    case INTERNET_STATUS_RESPONSE_RECEIVED: return "Response received";
    case INTERNET_STATUS_HANDLE_CLOSING: return "Handle closing";
    default: std::snprintf(buffer, sizeof buffer, "Status %d", static_cast<int>(status)); return buffer;
    }
}

void XmlRpcImplementation::onStatus(HINTERNET, std::uintptr_t context, std::uint32_t status, void *, std::uint32_t)
{
    auto *self = reinterpret_cast<XmlRpcImplementation *>(context);
    if (!self || !self->statusCallback)
        return;
    char buffer[32];
    // This runs inside the internet library's own steps, which an exception must not
    // cross; the caller's callback only reports, so what it throws is dropped.
    try
    {
        self->report(statusText(status, self->bytesReceived, buffer));
    }
    catch (...)
    {
    }
}

void XmlRpcImplementation::report(const char *status)
{
    if (statusCallback)
        statusCallback(statusContext, status);
}

bool XmlRpcImplementation::execute(const char *method, const XmlRpcValue &params, XmlRpcValue &result)
{
    errorText.clear();
    isFault = false;
    bytesReceived = 0;
    // Nothing may leave this call: every failure, running out of memory included, ends
    // as false with a reason.
    try
    {
        return executeRequest(method, params, result);
    }
    catch (const XmlRpcException &e)
    {
        errorText = e.getMessage();
    }
    catch (const std::bad_alloc &)
    {
        errorText = "Out of memory";
    }
    catch (const std::exception &e)
    {
        errorText = e.what();
    }
    catch (...)
    {
    }
    if (errorText.empty())
        errorText = kUnspecifiedError;
    // A half-read reply is no result.
    result.clear();
    return false;
}

bool XmlRpcImplementation::executeRequest(const char *method, const XmlRpcValue &params, XmlRpcValue &result)
{
    if (!connection)
    {
        errorText = "No connection";
        return false;
    }

    const std::string request = generateRequest(method, params);
    report("Sending data");

    static const char *const kAcceptTypes[] = {"text/*", nullptr};
    RequestHandle handle(HttpOpenRequestA(connection, "POST", object.c_str(), "HTTP/1.0", nullptr, kAcceptTypes,
                                          protocol == 2 ? kHttpsRequestFlags : kHttpRequestFlags,
                                          reinterpret_cast<std::uintptr_t>(this)));
    if (!handle.get())
    {
        errorText = internetErrorText("HttpOpenRequest", InternetGetLastError());
        return false;
    }
    InternetSetStatusCallbackA(handle.get(), &XmlRpcImplementation::onStatus);

    if (ignoreCertificateAuthority)
    {
        std::uint32_t flags = 0;
        std::uint32_t length = sizeof flags;
        InternetQueryOptionA(handle.get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, &length);
        flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        InternetSetOptionA(handle.get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    InternetSetOptionA(handle.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
    // One byte beyond the cap is enough to know a reply is too long.
    vxnet::SetResponseLimit(handle.get(), kMaxReplyLength + 1);
    HttpAddRequestHeadersA(handle.get(), kContentType, sizeof kContentType - 1, HTTP_ADDREQ_FLAG_ADD);

    if (!HttpSendRequestA(handle.get(), nullptr, 0, request.data(), static_cast<std::uint32_t>(request.size())))
    {
        errorText = internetErrorText("HttpSendRequest", InternetGetLastError());
        return false;
    }
    report("Data sent...");

    std::string reply;
    for (;;)
    {
        std::uint32_t available = 0;
        if (!InternetQueryDataAvailable(handle.get(), &available, 0, 0))
        {
            errorText = internetErrorText("InternetQueryDataAvailable", InternetGetLastError());
            break;
        }
        if (available == 0)
            break;
        if (available > kMaxReplyLength - reply.size())
        {
            errorText = "Reply too large";
            break;
        }
        const std::size_t total = reply.size();
        reply.resize(total + available);
        std::uint32_t read = 0;
        if (!InternetReadFile(handle.get(), reply.data() + total, available, &read))
        {
            reply.resize(total);
            errorText = internetErrorText("InternetReadFile", InternetGetLastError());
            break;
        }
        reply.resize(total + read);
        bytesReceived = static_cast<std::uint32_t>(reply.size());
    }
    handle.close();

    if (!errorText.empty())
        return false;
    if (reply.empty())
        return false;

    // The reply ends at its first zero byte, like any text.
    isFault = !parseResponse(result, reply.c_str());
    if (isFault)
    {
        XmlRpcValue &faultString = result["faultString"];
        if (faultString.getType() == XmlRpcValue::TypeString)
            errorText = faultString.asString();
        // A fault must never pass for success, whatever it says.
        if (errorText.empty())
            errorText = kUnspecifiedError;
    }
    return errorText.empty();
}

XmlRpcClient::XmlRpcClient(const char *uri) : m_implementation(new XmlRpcImplementation(uri))
{
}

XmlRpcClient::~XmlRpcClient()
{
    delete m_implementation;
}

void XmlRpcClient::setIgnoreCertificateAuthority(bool value)
{
    m_implementation->ignoreCertificateAuthority = value;
}

bool XmlRpcClient::execute(const char *method, const XmlRpcValue &params, XmlRpcValue &result)
{
    return m_implementation->execute(method, params, result);
}

const std::string &XmlRpcClient::getError() const
{
    return m_implementation->errorText;
}

bool XmlRpcClient::isFault() const
{
    return m_implementation->isFault;
}
