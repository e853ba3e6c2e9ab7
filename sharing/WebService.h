#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The client of the on-line service behind the social-site application. Each operation builds its
// own XML-RPC client, makes one call and lets the client go again; nothing survives between calls.
// Texts travel in the ANSI code page of the UI language (see WsSetLanguage).

// Characters of the caller's session buffer, terminator included.
constexpr std::size_t kWsSessionLength = 260;
// Bytes of one text parameter on the wire, terminator included: at most 259 bytes of text.
constexpr std::size_t kWsTextLength = 260;

constexpr char kWsPath[] = "/~facebook/vormatikws.php";
// Registry value (HKEY_LOCAL_MACHINE "Software\Tarvex\Vormatik", text) naming the service's host,
// optionally with ":port"; the default below when the value is missing or empty.
constexpr char16_t kWsHostValueName[] = u"WebServiceHost";
constexpr char kWsDefaultHost[] = "www.tarvex.com";

// "http://" + host + kWsPath, the host read from the registry on every call.
std::string WsEndpointUrl();

// The social-site application page: probed for reachability and opened in the browser. Its host
// comes from the registry value below (same key, text, optionally with ":port") like the service's.
constexpr char16_t kWebAppHostValueName[] = u"WebAppHost";
constexpr char kWebAppDefaultHost[] = "apps.facebook.com";
constexpr char kWebAppPath[] = "/vormatik";

// "http://" + host + kWebAppPath, the host read from the registry on every call.
std::string WebAppPageUrl();

// The UI language whose ANSI code page the texts are converted to (1033 until set).
void WsSetLanguage(std::uint16_t languageId);
unsigned WsCodePage();

// The caller's text in the code page, cut before the first character that would pass 259 bytes.
std::string WsText(const char16_t *text);

// Base64 (RFC 4648 alphabet, "=" padding) cut into lines of 76 characters by CR LF, the
// separator after the last full line kept only when the byte count is a positive multiple of 57
// or a padded group follows it.
std::string WsBase64(const unsigned char *data, std::size_t length);

// The password as it travels: its ANSI text, enciphered with RC4 under the shared key, in base64.
std::string WsTransformPassword(const char16_t *password);

// The reply's integer; -1 when the call fails (no service, a fault, a reply of another type),
// which a caller takes for an unreachable service rather than for refused credentials.
int WsCheckFacebookLogin(const char16_t *email, const char16_t *password);

// 1 with the token of a new session in session (kWsSessionLength characters); 0 otherwise, the
// buffer untouched. A token that does not fit the buffer whole is a failure, not a cut token.
int WsLogin(const char16_t *email, const char16_t *password, char16_t *session);

// The reply's truth value; when true the session buffer becomes empty. 0 when the call fails.
int WsLogout(char16_t *session);

// Sends count runs of 10 integers each in one call; the reply's truth value, 0 when the call fails.
int WsAddRunData(const char16_t *session, const std::int32_t *runData, int count);

// 1 with the service's newest run time (seconds since 1970) in lastTime when it is above 0;
// 0 when the service answers 0 or less (no runs there yet); -1 when the call fails. lastTime is
// written only for 1.
int WsGetLastRecordDateTime(const char16_t *session, std::int32_t *lastTime);
