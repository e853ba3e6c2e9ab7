#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A small internet client in the shape of the WinINet calls the program makes, over
// libcurl. Handles form the usual tree: session (InternetOpenA) -> connection
// (InternetConnectA) -> request (HttpOpenRequestA). A child inherits its parent's
// time-outs when it is made, and closing a handle closes its children.
//
// Differences a caller may notice:
// - InternetConnectA touches no network; the connection is made by HttpSendRequestA,
//   which also runs the whole transfer. The reply body is then read from memory with
//   InternetQueryDataAvailable / InternetReadFile.
// - The receive time-out is the longest pause in which nothing arrives (or leaves).
// - Redirects are not followed; the reply is whatever the server sent.
// - A host or object with spaces or control bytes is refused (ERROR_INTERNET_INVALID_URL)
//   rather than sent: nothing a caller passes can add a header line.
// - Certificate checks: the name check can be given up on its own, the dates only
//   together with an unknown authority, since libcurl checks the chain as a whole (see
//   CertificateChecksFor); a request that ignores only the dates keeps every check.
// A handle is used by one thread at a time and is not closed while a call on it runs.
// Failures set a per-thread last error (InternetGetLastError) with WinINet's numbers.

typedef struct InternetHandle__ *HINTERNET;
typedef void (*INTERNET_STATUS_CALLBACK)(HINTERNET handle, std::uintptr_t context, std::uint32_t status,
                                         void *information, std::uint32_t informationLength);

#ifndef INTERNET_OPEN_TYPE_PRECONFIG
#define INTERNET_OPEN_TYPE_PRECONFIG 0u // proxies from the environment (http_proxy, no_proxy ...)
#define INTERNET_OPEN_TYPE_DIRECT 1u
#define INTERNET_SERVICE_HTTP 3u
#define INTERNET_INVALID_PORT_NUMBER 0u
#define INTERNET_DEFAULT_HTTP_PORT 80u
#define INTERNET_DEFAULT_HTTPS_PORT 443u

#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#define INTERNET_FLAG_SECURE 0x00800000u
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000u
#define INTERNET_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000u
#define INTERNET_FLAG_IGNORE_CERT_CN_INVALID 0x00001000u
#define SECURITY_FLAG_IGNORE_UNKNOWN_CA 0x00000100u
#define SECURITY_FLAG_IGNORE_CERT_CN_INVALID 0x00001000u
#define SECURITY_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000u

#define INTERNET_OPTION_CONNECT_TIMEOUT 2u
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6u
#define INTERNET_OPTION_SECURITY_FLAGS 31u

#define HTTP_ADDREQ_FLAG_ADD 0x20000000u

#define INTERNET_STATUS_SENDING_REQUEST 30u
#define INTERNET_STATUS_REQUEST_SENT 31u
#define INTERNET_STATUS_RECEIVING_RESPONSE 40u
#define INTERNET_STATUS_RESPONSE_RECEIVED 41u
#define INTERNET_STATUS_HANDLE_CLOSING 70u

#define ERROR_INTERNET_TIMEOUT 12002u
#define ERROR_INTERNET_INTERNAL_ERROR 12004u
#define ERROR_INTERNET_INVALID_URL 12005u
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006u
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007u
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018u
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019u
#define ERROR_INTERNET_CANNOT_CONNECT 12029u
#define ERROR_INTERNET_CONNECTION_ABORTED 12030u
#define ERROR_INTERNET_CONNECTION_RESET 12031u
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037u
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038u
#define ERROR_INTERNET_INVALID_CA 12045u
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152u
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157u
#endif

#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif

// The time-outs a new session starts with.
inline constexpr std::uint32_t kDefaultConnectTimeoutMs = 60000;
inline constexpr std::uint32_t kDefaultReceiveTimeoutMs = 60000;

HINTERNET InternetOpenA(const char *agent, std::uint32_t accessType, const char *proxy, const char *proxyBypass,
                        std::uint32_t flags);

// Port 0 is the service's default. No network is touched here.
HINTERNET InternetConnectA(HINTERNET session, const char *serverName, std::uint32_t port, const char *userName,
                           const char *password, std::uint32_t service, std::uint32_t flags, std::uintptr_t context);

// acceptTypes: a null-terminated list (or null). version "HTTP/1.0" or "HTTP/1.1".
HINTERNET HttpOpenRequestA(HINTERNET connection, const char *verb, const char *objectName, const char *version,
                           const char *referrer, const char *const *acceptTypes, std::uint32_t flags,
                           std::uintptr_t context);

// headers: "Name: value" lines separated by CR LF; length of -1u means up to the zero byte.
bool HttpAddRequestHeadersA(HINTERNET request, const char *headers, std::uint32_t headersLength,
                            std::uint32_t modifiers);

// Connects, sends the request with the body and receives the whole reply.
bool HttpSendRequestA(HINTERNET request, const char *headers, std::uint32_t headersLength, const void *optional,
                      std::uint32_t optionalLength);

bool InternetQueryDataAvailable(HINTERNET request, std::uint32_t *bytesAvailable, std::uint32_t flags,
                                std::uintptr_t context);
bool InternetReadFile(HINTERNET request, void *buffer, std::uint32_t bytesToRead, std::uint32_t *bytesRead);

// Opens an http:// or https:// address (port and path optional) with a GET on the session,
// with the given extra header lines (or none). The transfer ends once the reply's headers are
// in: the body is never fetched, so the handle's data reads give nothing. Any HTTP answer,
// an error page too, gives a handle; no answer (no connection, time-out, not HTTP) gives null.
// Only INTERNET_FLAG_RELOAD and INTERNET_FLAG_NO_CACHE_WRITE are understood (nothing is
// cached, so every open goes to the network); close the handle with InternetCloseHandle.
HINTERNET InternetOpenUrlA(HINTERNET session, const char *url, const char *headers, std::uint32_t headersLength,
                           std::uint32_t flags, std::uintptr_t context);

// Options: the two time-outs (a 32-bit value in ms) on any handle, the security flags
// (32-bit) on a request.
bool InternetSetOptionA(HINTERNET handle, std::uint32_t option, const void *buffer, std::uint32_t bufferLength);
bool InternetQueryOptionA(HINTERNET handle, std::uint32_t option, void *buffer, std::uint32_t *bufferLength);

INTERNET_STATUS_CALLBACK InternetSetStatusCallbackA(HINTERNET handle, INTERNET_STATUS_CALLBACK callback);

bool InternetCloseHandle(HINTERNET handle);

// The error of the last failed call on this thread.
std::uint32_t InternetGetLastError();

// The system's message text for an error number, as the original platform's message
// table gives it; false when it has none.
bool InternetErrorMessageText(std::uint32_t code, std::string *text);

namespace vxnet
{
// At most this many body bytes of a request's reply are received; the rest of the reply
// is not read and the transfer ends there (a guard against endless replies). 0: no limit.
void SetResponseLimit(HINTERNET request, std::size_t limit);

// What a request's security flags (INTERNET_OPTION_SECURITY_FLAGS; the request's
// INTERNET_FLAG_IGNORE_CERT_* flags are among them from the start) ask of the checks.
struct CertificateChecks
{
    bool verifyPeer = true; // the chain up to a known authority, with its dates
    bool verifyHost = true; // the name in the certificate
};
CertificateChecks CertificateChecksFor(std::uint32_t securityFlags);

// The WinINet error number for a libcurl result (a CURLcode) of a transfer that ended
// without the receive time-out; sslVerifyResult is the certificate check's result.
std::uint32_t ErrorForCurlResult(int curlCode, long sslVerifyResult);
} // namespace vxnet
