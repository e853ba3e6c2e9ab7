#pragma once

#include "tests/support/http_server/LoopbackHttpServer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vxtest
{
// An XML-RPC service on a LoopbackHttpServer: records every call (method name and the
// text of each parameter's value) and answers each method from a script of its own.
// The answers of a method are served in order and the last one repeats; a method with
// no script gets a fault.
class FakeXmlRpcService
{
  public:
    struct Call
    {
        std::string method;
        // What stood between "<value>" and "</value>" of each param, as sent:
        // "<i4>7</i4>", "<boolean>1</boolean>", "text" or "<string/>".
        std::vector<std::string> params;
    };

    // A reply body, or none to close the connection without answering.
    struct Answer
    {
        std::optional<std::string> body;
    };

    static Answer Value(const std::string &valueXml); // "<value>" + valueXml + "</value>"
    static Answer Int(int value);
    static Answer Bool(bool value);
    static Answer String(const std::string &escapedText);
    static Answer Fault();
    static Answer Raw(const std::string &body);
    static Answer Drop();

    explicit FakeXmlRpcService(int maxConnections = 64);

    void Script(const std::string &method, std::vector<Answer> answers);

    std::vector<Call> Calls() const;
    std::vector<std::string> Methods() const;
    // "127.0.0.1:<port>", the host part of an endpoint URL.
    std::string Host() const;
    std::vector<LoopbackHttpServer::Request> Requests() const { return m_server->requests(); }

  private:
    std::optional<std::string> Answer_(const LoopbackHttpServer::Request &request);

    mutable std::mutex m_mutex;
    std::map<std::string, std::vector<Answer>> m_script;
    std::map<std::string, std::size_t> m_served;
    std::vector<Call> m_calls;
    std::unique_ptr<LoopbackHttpServer> m_server;
};
} // namespace vxtest
