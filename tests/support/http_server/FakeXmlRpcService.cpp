#include "tests/support/http_server/FakeXmlRpcService.h"

namespace vxtest
{
namespace
{
std::string Between(const std::string &text, const std::string &open, const std::string &close, std::size_t &from)
{
    const std::size_t start = text.find(open, from);
    if (start == std::string::npos)
    {
        from = std::string::npos;
        return {};
    }
    const std::size_t end = text.find(close, start + open.size());
    if (end == std::string::npos)
    {
        from = std::string::npos;
        return {};
    }
    from = end + close.size();
    return text.substr(start + open.size(), end - start - open.size());
}
} // namespace

FakeXmlRpcService::Answer FakeXmlRpcService::Value(const std::string &valueXml)
{
    return Raw("<?xml version=\"1.0\"?>\r\n<methodResponse><params><param><value>" + valueXml +
               "</value></param></params></methodResponse>\r\n");
}

FakeXmlRpcService::Answer FakeXmlRpcService::Int(int value)
{
    return Value("<i4>" + std::to_string(value) + "</i4>");
}

FakeXmlRpcService::Answer FakeXmlRpcService::Bool(bool value)
{
    return Value(value ? "<boolean>1</boolean>" : "<boolean>0</boolean>");
}

FakeXmlRpcService::Answer FakeXmlRpcService::String(const std::string &escapedText)
{
    return Value("<string>" + escapedText + "</string>");
}

FakeXmlRpcService::Answer FakeXmlRpcService::Fault()
{
    return Raw("<?xml version=\"1.0\"?>\r\n<methodResponse><fault><value><struct>"
               "<member><name>faultCode</name><value><i4>4</i4></value></member>"
               "<member><name>faultString</name><value>refused</value></member>"
               "</struct></value></fault></methodResponse>\r\n");
}

FakeXmlRpcService::Answer FakeXmlRpcService::Raw(const std::string &body)
{
    return Answer{body};
}

FakeXmlRpcService::Answer FakeXmlRpcService::Drop()
{
    return Answer{std::nullopt};
}

FakeXmlRpcService::FakeXmlRpcService(int maxConnections)
{
    LoopbackHttpServer::Options options;
    options.maxConnections = maxConnections;
    options.responder = [this](const LoopbackHttpServer::Request &request) { return Answer_(request); };
    m_server = std::make_unique<LoopbackHttpServer>(std::move(options));
}

void FakeXmlRpcService::Script(const std::string &method, std::vector<Answer> answers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script[method] = std::move(answers);
    m_served[method] = 0;
}

std::vector<FakeXmlRpcService::Call> FakeXmlRpcService::Calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<std::string> FakeXmlRpcService::Methods() const
{
    std::vector<std::string> methods;
    for (const Call &call : Calls())
        methods.push_back(call.method);
    return methods;
}

std::string FakeXmlRpcService::Host() const
{
    return "127.0.0.1:" + std::to_string(m_server->port());
}

std::optional<std::string> FakeXmlRpcService::Answer_(const LoopbackHttpServer::Request &request)
{
    Call call;
    std::size_t at = 0;
    call.method = Between(request.body, "<methodName>", "</methodName>", at);
    while (at != std::string::npos)
    {
        const std::string param = Between(request.body, "<param>", "</param>", at);
        if (at == std::string::npos)
            break;
        std::string value = param;
        const std::string open = "<value>";
        const std::string close = "</value>";
        if (value.compare(0, open.size(), open) == 0 && value.size() >= open.size() + close.size() &&
            value.compare(value.size() - close.size(), close.size(), close) == 0)
            value = value.substr(open.size(), value.size() - open.size() - close.size());
        call.params.push_back(value);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(call);
    const auto found = m_script.find(call.method);
    if (found == m_script.end() || found->second.empty())
        return Fault().body;
    std::size_t &served = m_served[call.method];
    const std::size_t index = served < found->second.size() ? served : found->second.size() - 1;
    ++served;
    return found->second[index].body;
}
} // namespace vxtest
