#include "platform/net/WinInet.h"

#include "platform/net/CurlLibrary.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

struct InternetHandle__
{
    enum class Kind
    {
        Session,
        Connection,
        Request
    };

    Kind kind = Kind::Session;
    InternetHandle__ *parent = nullptr;
    std::uintptr_t context = 0;
    INTERNET_STATUS_CALLBACK callback = nullptr;
    std::uint32_t connectTimeoutMs = kDefaultConnectTimeoutMs;
    std::uint32_t receiveTimeoutMs = kDefaultReceiveTimeoutMs;

    // Session
    std::string agent;
    std::uint32_t accessType = INTERNET_OPEN_TYPE_PRECONFIG;

    // Connection
    std::string host;
    std::uint32_t port = 0;

    // Request
    std::string verb;
    std::string object;
    bool http10 = false;
    std::string accept; // empty: no Accept header
    std::uint32_t flags = 0;
    std::uint32_t securityFlags = 0;
    std::vector<std::string> headers;
    std::size_t responseLimit = 0;
    bool sent = false;
    std::string response;
    std::size_t readPosition = 0;
};

namespace
{
thread_local std::uint32_t t_lastError = 0;

std::mutex g_handlesMutex;
std::set<InternetHandle__ *> g_handles;

// The reply body is handed out in pieces of at most this size, as a socket would.
constexpr std::size_t kReadChunk = 64 * 1024;

bool Fail(std::uint32_t error)
{
    t_lastError = error;
    return false;
}

HINTERNET FailHandle(std::uint32_t error)
{
    t_lastError = error;
    return nullptr;
}

// The handle when it is live and of the wanted kind; otherwise null with the last error set.
InternetHandle__ *Lookup(HINTERNET handle, InternetHandle__::Kind kind)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    if (!handle || !g_handles.count(handle))
    {
        t_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (handle->kind != kind)
    {
        t_lastError = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return nullptr;
    }
    return handle;
}

bool IsLive(HINTERNET handle)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    return handle && g_handles.count(handle) != 0;
}

HINTERNET Register(InternetHandle__ *handle)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_handles.insert(handle);
    return handle;
}


void Notify(InternetHandle__ *handle, std::uint32_t status)
{
    if (handle->callback)
        handle->callback(handle, handle->context, status, nullptr, 0);
}

// One transfer's state, shared with libcurl's callbacks.
struct Transfer
{
    InternetHandle__ *request = nullptr;
    std::chrono::steady_clock::time_point lastActivity;
    curl_off_t lastDown = -1;
    curl_off_t lastUp = -1;
    bool timedOut = false;
    bool limitReached = false;
    bool receiving = false;
};

std::size_t WriteBody(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    InternetHandle__ *request = transfer->request;
    const std::size_t length = size * count;
    if (!transfer->receiving && length)
    {
        transfer->receiving = true;
        Notify(request, INTERNET_STATUS_RECEIVING_RESPONSE);
    }
    std::size_t take = length;
    if (request->responseLimit)
    {
        const std::size_t room = request->responseLimit - std::min(request->responseLimit, request->response.size());
        if (take > room)
        {
            take = room;
            transfer->limitReached = true;
        }
    }
    try
    {
        request->response.append(data, take);
    }
    catch (...)
    {
        return 0;
    }
    // A short count ends the transfer: the limit is reached.
    return take == length ? length : 0;
}

int Progress(void *user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto *transfer = static_cast<Transfer *>(user);
    const auto now = std::chrono::steady_clock::now();
    if (downloaded != transfer->lastDown || uploaded != transfer->lastUp)
    {
        transfer->lastDown = downloaded;
        transfer->lastUp = uploaded;
        transfer->lastActivity = now;
        return 0;
    }
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer->lastActivity).count();
    if (idle >= static_cast<long long>(transfer->request->receiveTimeoutMs))
    {
        transfer->timedOut = true;
        return 1;
    }
    return 0;
}

std::string HostForUrl(const std::string &host)
{
    // An IPv6 literal goes between brackets.
    if (host.find(':') != std::string::npos && host.front() != '[')
        return "[" + host + "]";
    return host;
}

void SplitHeaderLines(const char *headers, std::uint32_t length, std::vector<std::string> &out)
{
    if (!headers)
        return;
    const std::size_t size = length == static_cast<std::uint32_t>(-1) ? std::strlen(headers) : length;
    std::string line;
    for (std::size_t i = 0; i <= size; ++i)
    {
        const char c = i < size ? headers[i] : '\n';
        if (c == '\r' || c == '\n' || c == '\0')
        {
            if (!line.empty())
                out.push_back(line);
            line.clear();
            if (c == '\0')
                break;
        }
        else
            line += c;
    }
}

// The state of opening an address: the transfer ends at the end of the first final header block.
struct HeadersOnly
{
    CURL *curl = nullptr;
    bool headersDone = false;
};

std::size_t HeaderLine(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *state = static_cast<HeadersOnly *>(user);
    const std::size_t length = size * count;
    const bool blank = (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
    if (!blank)
        return length;
    long status = 0;
    Curl()->easyGetinfo(state->curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200)
        return length; // an interim answer; the real one follows
    state->headersDone = true;
    return 0; // a short count ends the transfer before the body
}

std::size_t DiscardBody(char *, std::size_t size, std::size_t count, void *)
{
    return size * count;
}

bool StartsWithNoCase(const std::string &text, const char *prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

void CloseTree(InternetHandle__ *handle, std::vector<InternetHandle__ *> &closed)
{
    std::vector<InternetHandle__ *> children;
    for (InternetHandle__ *h : g_handles)
        if (h->parent == handle)
            children.push_back(h);
    for (InternetHandle__ *child : children)
        CloseTree(child, closed);
    g_handles.erase(handle);
    closed.push_back(handle);
}
} // namespace

HINTERNET InternetOpenA(const char *agent, std::uint32_t accessType, const char *, const char *, std::uint32_t)
{
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT)
        return FailHandle(ERROR_INVALID_PARAMETER);
    if (!Curl())
        return FailHandle(ERROR_INTERNET_INTERNAL_ERROR);
    auto *session = new InternetHandle__;
    session->kind = InternetHandle__::Kind::Session;
    session->agent = agent ? agent : "";
    session->accessType = accessType;
    return Register(session);
}

HINTERNET InternetConnectA(HINTERNET session, const char *serverName, std::uint32_t port, const char *, const char *,
                           std::uint32_t service, std::uint32_t flags, std::uintptr_t context)
{
    InternetHandle__ *parent = Lookup(session, InternetHandle__::Kind::Session);
    if (!parent)
        return nullptr;
    if (!serverName || !*serverName || service != INTERNET_SERVICE_HTTP || port > 65535)
        return FailHandle(ERROR_INVALID_PARAMETER);
    auto *connection = new InternetHandle__;
    connection->kind = InternetHandle__::Kind::Connection;
    connection->parent = parent;
    connection->context = context;
    connection->callback = parent->callback;
    connection->connectTimeoutMs = parent->connectTimeoutMs;
    connection->receiveTimeoutMs = parent->receiveTimeoutMs;
    connection->host = serverName;
    connection->port = port;
    connection->flags = flags;
    return Register(connection);
}

HINTERNET HttpOpenRequestA(HINTERNET connection, const char *verb, const char *objectName, const char *version,
                           const char *, const char *const *acceptTypes, std::uint32_t flags, std::uintptr_t context)
{
    InternetHandle__ *parent = Lookup(connection, InternetHandle__::Kind::Connection);
    if (!parent)
        return nullptr;
    auto *request = new InternetHandle__;
    request->kind = InternetHandle__::Kind::Request;
    request->parent = parent;
    request->context = context;
    request->callback = parent->callback;
    request->connectTimeoutMs = parent->connectTimeoutMs;
    request->receiveTimeoutMs = parent->receiveTimeoutMs;
    request->verb = verb && *verb ? verb : "GET";
    request->object = objectName ? objectName : "";
    request->http10 = version && std::strcmp(version, "HTTP/1.0") == 0;
    for (const char *const *type = acceptTypes; type && *type; ++type)
    {
        if (!request->accept.empty())
            request->accept += ", ";
        request->accept += *type;
    }
    request->flags = flags;
    request->securityFlags = flags & (SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID);
    return Register(request);
}

bool HttpAddRequestHeadersA(HINTERNET request, const char *headers, std::uint32_t headersLength, std::uint32_t)
{
    InternetHandle__ *handle = Lookup(request, InternetHandle__::Kind::Request);
    if (!handle)
        return false;
    if (!headers)
        return Fail(ERROR_INVALID_PARAMETER);
    SplitHeaderLines(headers, headersLength, handle->headers);
    return true;
}

bool HttpSendRequestA(HINTERNET request, const char *headers, std::uint32_t headersLength, const void *optional,
                      std::uint32_t optionalLength)
{
    InternetHandle__ *handle = Lookup(request, InternetHandle__::Kind::Request);
    if (!handle)
        return false;
    // A page opened from an address hangs below the session and has been sent already.
    if (handle->parent->kind != InternetHandle__::Kind::Connection)
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    const InternetHandle__ *connection = handle->parent;
    const InternetHandle__ *session = connection->parent;

    std::vector<std::string> lines = handle->headers;
    SplitHeaderLines(headers, headersLength, lines);

    const bool secure = (handle->flags & INTERNET_FLAG_SECURE) != 0;
    const std::uint32_t port =
        connection->port ? connection->port : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    std::string url = secure ? "https://" : "http://";
    url += HostForUrl(connection->host);
    url += ':' + std::to_string(port);
    if (handle->object.empty() || handle->object.front() != '/')
        url += '/';
    url += handle->object;

    const CurlLibrary *lib = Curl();
    CURL *curl = lib ? lib->easyInit() : nullptr;
    if (!curl)
        return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    curl_slist *list = nullptr;
    auto cleanup = [&] {
        lib->slistFreeAll(list);
        lib->easyCleanup(curl);
    };

    // libcurl's own defaults are replaced or removed so that only what the caller asked
    // for goes out.
    list = lib->slistAppend(list, handle->accept.empty() ? "Accept:" : ("Accept: " + handle->accept).c_str());
    list = lib->slistAppend(list, "Expect:");
    for (const std::string &line : lines)
        list = lib->slistAppend(list, line.c_str());

    handle->response.clear();
    handle->readPosition = 0;
    handle->sent = false;

    Transfer transfer;
    transfer.request = handle;
    transfer.lastActivity = std::chrono::steady_clock::now();

    const vxnet::CertificateChecks checks = vxnet::CertificateChecksFor(handle->securityFlags);
    static const char kEmpty[] = "";

    lib->easySetopt(curl, CURLOPT_URL, url.c_str());
    lib->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    lib->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    lib->easySetopt(curl, CURLOPT_HTTP_VERSION, handle->http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    lib->easySetopt(curl, CURLOPT_USERAGENT, session->agent.c_str());
    lib->easySetopt(curl, CURLOPT_HTTPHEADER, list);
    if (session->accessType == INTERNET_OPEN_TYPE_DIRECT)
        lib->easySetopt(curl, CURLOPT_PROXY, "");
    if (handle->verb == "POST")
    {
        lib->easySetopt(curl, CURLOPT_POST, 1L);
        lib->easySetopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(optional ? optionalLength : 0));
        lib->easySetopt(curl, CURLOPT_POSTFIELDS, optional ? optional : kEmpty);
    }
    else if (handle->verb == "GET")
        lib->easySetopt(curl, CURLOPT_HTTPGET, 1L);
    else
        lib->easySetopt(curl, CURLOPT_CUSTOMREQUEST, handle->verb.c_str());
    lib->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(handle->connectTimeoutMs));
    lib->easySetopt(curl, CURLOPT_SSL_VERIFYPEER, checks.verifyPeer ? 1L : 0L);
    lib->easySetopt(curl, CURLOPT_SSL_VERIFYHOST, checks.verifyHost ? 2L : 0L);
    lib->easySetopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    lib->easySetopt(curl, CURLOPT_WRITEDATA, &transfer);
    lib->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    lib->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    lib->easySetopt(curl, CURLOPT_XFERINFODATA, &transfer);

    Notify(handle, INTERNET_STATUS_SENDING_REQUEST);
    const CURLcode code = lib->easyPerform(curl);
    long verifyResult = 0;
    lib->easyGetinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    cleanup();

    if (transfer.timedOut)
        return Fail(ERROR_INTERNET_TIMEOUT);
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && transfer.limitReached))
    {
        handle->response.clear();
        return Fail(vxnet::ErrorForCurlResult(code, verifyResult));
    }
    handle->sent = true;
    Notify(handle, INTERNET_STATUS_REQUEST_SENT);
    Notify(handle, INTERNET_STATUS_RESPONSE_RECEIVED);
    return true;
}

HINTERNET InternetOpenUrlA(HINTERNET session, const char *url, const char *headers, std::uint32_t headersLength,
                           std::uint32_t flags, std::uintptr_t context)
{
    InternetHandle__ *parent = Lookup(session, InternetHandle__::Kind::Session);
    if (!parent)
        return nullptr;
    if (!url)
        return FailHandle(ERROR_INVALID_PARAMETER);
    const std::string address = url;
    std::size_t hostStart = 0;
    if (StartsWithNoCase(address, "http://"))
        hostStart = 7;
    else if (StartsWithNoCase(address, "https://"))
        hostStart = 8;
    else
        return FailHandle(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    // Spaces and control bytes would end up in the request line or split it.
    for (unsigned char c : address)
        if (c <= 0x20 || c == 0x7F)
            return FailHandle(ERROR_INTERNET_INVALID_URL);
    if (address.size() == hostStart || address[hostStart] == '/' || address[hostStart] == ':')
        return FailHandle(ERROR_INTERNET_INVALID_URL);

    std::vector<std::string> lines;
    SplitHeaderLines(headers, headersLength, lines);

    const CurlLibrary *lib = Curl();
    CURL *curl = lib ? lib->easyInit() : nullptr;
    if (!curl)
        return FailHandle(ERROR_INTERNET_INTERNAL_ERROR);
    curl_slist *list = nullptr;
    list = lib->slistAppend(list, "Accept:");
    for (const std::string &line : lines)
        list = lib->slistAppend(list, line.c_str());

    auto *request = new InternetHandle__;
    request->kind = InternetHandle__::Kind::Request;
    request->parent = parent;
    request->context = context;
    request->callback = parent->callback;
    request->connectTimeoutMs = parent->connectTimeoutMs;
    request->receiveTimeoutMs = parent->receiveTimeoutMs;
    request->verb = "GET";
    request->flags = flags;

    Transfer transfer;
    transfer.request = request;
    transfer.lastActivity = std::chrono::steady_clock::now();
    HeadersOnly state;
    state.curl = curl;

    lib->easySetopt(curl, CURLOPT_URL, address.c_str());
    lib->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    lib->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    lib->easySetopt(curl, CURLOPT_HTTPGET, 1L);
    lib->easySetopt(curl, CURLOPT_USERAGENT, parent->agent.c_str());
    lib->easySetopt(curl, CURLOPT_HTTPHEADER, list);
    if (parent->accessType == INTERNET_OPEN_TYPE_DIRECT)
        lib->easySetopt(curl, CURLOPT_PROXY, "");
    lib->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request->connectTimeoutMs));
    lib->easySetopt(curl, CURLOPT_HEADERFUNCTION, HeaderLine);
    lib->easySetopt(curl, CURLOPT_HEADERDATA, &state);
    lib->easySetopt(curl, CURLOPT_WRITEFUNCTION, DiscardBody);
    lib->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    lib->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    lib->easySetopt(curl, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = lib->easyPerform(curl);
    long verifyResult = 0;
    lib->easyGetinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    lib->slistFreeAll(list);
    lib->easyCleanup(curl);

    if (!state.headersDone)
    {
        delete request;
        if (transfer.timedOut)
            return FailHandle(ERROR_INTERNET_TIMEOUT);
        // A reply that ended cleanly without a final header block is no HTTP answer.
        return FailHandle(code == CURLE_OK ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                                           : vxnet::ErrorForCurlResult(code, verifyResult));
    }
    request->sent = true;
    return Register(request);
}

bool InternetQueryDataAvailable(HINTERNET request, std::uint32_t *bytesAvailable, std::uint32_t, std::uintptr_t)
{
    InternetHandle__ *handle = Lookup(request, InternetHandle__::Kind::Request);
    if (!handle)
        return false;
    if (!bytesAvailable)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!handle->sent)
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    *bytesAvailable = static_cast<std::uint32_t>(std::min(kReadChunk, handle->response.size() - handle->readPosition));
    return true;
}

bool InternetReadFile(HINTERNET request, void *buffer, std::uint32_t bytesToRead, std::uint32_t *bytesRead)
{
    InternetHandle__ *handle = Lookup(request, InternetHandle__::Kind::Request);
    if (!handle)
        return false;
    if (!bytesRead || (!buffer && bytesToRead))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!handle->sent)
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    const std::size_t count = std::min<std::size_t>(bytesToRead, handle->response.size() - handle->readPosition);
    if (count)
        std::memcpy(buffer, handle->response.data() + handle->readPosition, count);
    handle->readPosition += count;
    *bytesRead = static_cast<std::uint32_t>(count);
    return true;
}

bool InternetSetOptionA(HINTERNET handle, std::uint32_t option, const void *buffer, std::uint32_t bufferLength)
{
    if (!IsLive(handle))
        return Fail(ERROR_INVALID_HANDLE);
    if (!buffer || bufferLength < sizeof(std::uint32_t))
        return Fail(ERROR_INVALID_PARAMETER);
    std::uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    switch (option)
    {
    case INTERNET_OPTION_CONNECT_TIMEOUT: handle->connectTimeoutMs = value; return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: handle->receiveTimeoutMs = value; return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
        if (handle->kind != InternetHandle__::Kind::Request)
            return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        handle->securityFlags = value;
        return true;
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
}

bool InternetQueryOptionA(HINTERNET handle, std::uint32_t option, void *buffer, std::uint32_t *bufferLength)
{
    if (!IsLive(handle))
        return Fail(ERROR_INVALID_HANDLE);
    if (!buffer || !bufferLength || *bufferLength < sizeof(std::uint32_t))
        return Fail(ERROR_INVALID_PARAMETER);
    std::uint32_t value = 0;
    switch (option)
    {
    case INTERNET_OPTION_CONNECT_TIMEOUT: value = handle->connectTimeoutMs; break;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: value = handle->receiveTimeoutMs; break;
    case INTERNET_OPTION_SECURITY_FLAGS:
        if (handle->kind != InternetHandle__::Kind::Request)
            return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        value = handle->securityFlags;
        break;
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
    std::memcpy(buffer, &value, sizeof value);
    *bufferLength = sizeof value;
    return true;
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallbackA(HINTERNET handle, INTERNET_STATUS_CALLBACK callback)
{
    if (!IsLive(handle))
    {
        t_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    INTERNET_STATUS_CALLBACK previous = handle->callback;
    handle->callback = callback;
    return previous;
}

bool InternetCloseHandle(HINTERNET handle)
{
    std::vector<InternetHandle__ *> closed;
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (!handle || !g_handles.count(handle))
            return Fail(ERROR_INVALID_HANDLE);
        CloseTree(handle, closed);
    }
    for (InternetHandle__ *h : closed)
    {
        Notify(h, INTERNET_STATUS_HANDLE_CLOSING);
        delete h;
    }
    return true;
}

std::uint32_t InternetGetLastError()
{
    return t_lastError;
}

bool InternetErrorMessageText(std::uint32_t code, std::string *text)
{
    static const struct
    {
        std::uint32_t code;
        const char *text;
    } kMessages[] = {
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_INTERNET_TIMEOUT, "The operation timed out"},
        {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred."},
        {ERROR_INTERNET_INVALID_URL, "The URL is invalid."},
        {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The URL does not use a recognized protocol"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved"},
        {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "The type of handle supplied is incorrect for this operation."},
        {ERROR_INTERNET_INCORRECT_HANDLE_STATE,
         "The requested operation cannot be carried out because the handle supplied is not in the correct state."},
        {ERROR_INTERNET_CANNOT_CONNECT, "A connection with the server could not be established"},
        {ERROR_INTERNET_CONNECTION_ABORTED, "The connection with the server was terminated abnormally"},
        {ERROR_INTERNET_CONNECTION_RESET, "The connection with the server was reset"},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "The certificate date is invalid or has expired"},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, "The certificate's common name is invalid"},
        {ERROR_INTERNET_INVALID_CA, "The certificate authority is invalid or incorrect"},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server returned an invalid or unrecognized response"},
        {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "A security channel error occurred"},
    };
    for (const auto &message : kMessages)
    {
        if (message.code == code)
        {
            if (text)
                *text = message.text;
            return true;
        }
    }
    return false;
}

namespace vxnet
{
void SetResponseLimit(HINTERNET request, std::size_t limit)
{
    if (InternetHandle__ *handle = Lookup(request, InternetHandle__::Kind::Request))
        handle->responseLimit = limit;
}

CertificateChecks CertificateChecksFor(std::uint32_t securityFlags)
{
    CertificateChecks checks;
    // libcurl checks the chain and its dates in one: they can only be given up together.
    checks.verifyPeer = (securityFlags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) == 0;
    checks.verifyHost = (securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
    return checks;
}

std::uint32_t ErrorForCurlResult(int curlCode, long sslVerifyResult)
{
    switch (static_cast<CURLcode>(curlCode))
    {
    case CURLE_OK: return 0;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE: return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_UNSUPPORTED_PROTOCOL: // also an HTTP/0.9 reply
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_PEER_FAILED_VERIFICATION:
        // OpenSSL's X509_V_ERR_CERT_NOT_YET_VALID (9) and X509_V_ERR_CERT_HAS_EXPIRED (10);
        // a chain that verified (0) failed on the name.
        if (sslVerifyResult == 9 || sslVerifyResult == 10)
            return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
        if (sslVerifyResult == 0)
            return ERROR_INTERNET_SEC_CERT_CN_INVALID;
        return ERROR_INTERNET_INVALID_CA;
    default: return ERROR_INTERNET_INTERNAL_ERROR;
    }
}
} // namespace vxnet
