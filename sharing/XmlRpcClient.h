#pragma once

#include "platform/net/WinInet.h"
#include "sharing/XmlRpcValue.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Holds the internet handles of one XML-RPC endpoint and carries calls over HTTP.
class XmlRpcImplementation
{
  public:
    using StatusCallback = void (*)(void *context, const char *status);

    // Replies longer than this are refused rather than held in memory.
    static constexpr std::size_t kMaxReplyLength = 16u * 1024u * 1024u;
    static constexpr std::uint32_t kDefaultReceiveTimeoutMs = 999000;

    explicit XmlRpcImplementation(const char *uri);
    ~XmlRpcImplementation();
    XmlRpcImplementation(const XmlRpcImplementation &) = delete;
    XmlRpcImplementation &operator=(const XmlRpcImplementation &) = delete;

    bool execute(const char *method, const XmlRpcValue &params, XmlRpcValue &result);

    int protocol = 0; // 1 http, 2 https, 0 until the URI is parsed
    bool ignoreCertificateAuthority = false;
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    std::string host;
    std::string object;
    std::uint32_t port = 0;
    StatusCallback statusCallback = nullptr;
    void *statusContext = nullptr;
    std::uint32_t bytesReceived = 0;
    std::string errorText;
    bool isFault = false;
    // Applied to every request; tests shorten it.
    std::uint32_t receiveTimeoutMs = kDefaultReceiveTimeoutMs;

    // "<step> : <reason>" for the last error of the internet calls.
    static std::string internetErrorText(const char *step, std::uint32_t code);
    static const char *statusText(std::uint32_t status, std::uint32_t bytesReceived, char (&buffer)[32]);

  private:
    void connect();
    void report(const char *status);
    bool executeRequest(const char *method, const XmlRpcValue &params, XmlRpcValue &result);
    static void onStatus(HINTERNET handle, std::uintptr_t context, std::uint32_t status, void *information,
                         std::uint32_t informationLength);
};

// A call to an XML-RPC endpoint. Connects when made; execute never throws.
class XmlRpcClient
{
  public:
    explicit XmlRpcClient(const char *uri);
    ~XmlRpcClient();
    XmlRpcClient(const XmlRpcClient &) = delete;
    XmlRpcClient &operator=(const XmlRpcClient &) = delete;

    void setIgnoreCertificateAuthority(bool value);

    // True when the reply was a normal response, which is then in result.
    bool execute(const char *method, const XmlRpcValue &params, XmlRpcValue &result);

    const std::string &getError() const;
    bool isFault() const;

    XmlRpcImplementation *implementation() { return m_implementation; }

  private:
    XmlRpcImplementation *m_implementation;
};
