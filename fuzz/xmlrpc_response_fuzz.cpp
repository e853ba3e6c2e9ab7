// Feeds arbitrary reply bodies to the XML-RPC response reader, as the client hands them
// over: the bytes up to the first zero byte. A reply either parses or raises the reader's
// own exception; whatever was read must survive copying and writing.

#include "sharing/XmlRpcValue.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace
{
// The depth of nested arrays and structs, which the reader bounds.
int Depth(XmlRpcValue &value)
{
    int deepest = 0;
    if (value.getType() == XmlRpcValue::TypeArray)
        for (XmlRpcValue &element : value.asArray())
            deepest = std::max(deepest, Depth(element));
    else if (value.getType() == XmlRpcValue::TypeStruct)
        for (auto &member : value.asStruct())
            deepest = std::max(deepest, Depth(member.second));
    else
        return 0;
    return deepest + 1;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char *>(data), size);
    XmlRpcValue result;
    try
    {
        parseResponse(result, reply.c_str());
    }
    catch (const XmlRpcException &)
    {
    }
    if (Depth(result) > XmlRpcValue::kMaxNesting)
        std::abort();
    XmlRpcValue copy = result;
    if (copy.toXml() != result.toXml())
        std::abort();
    result = result.getType() == XmlRpcValue::TypeArray && result.size() ? result[0] : copy;
    return 0;
}
