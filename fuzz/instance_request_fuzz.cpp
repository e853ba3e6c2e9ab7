// Feeds what a client of the single-instance socket might send to the request parser, the way
// the first instance reads it: the whole input at once, and again in pieces.
//
// Input: the bytes received on one connection. The first byte also gives the size of the pieces
// (1 to 256) for the second reading.

#include "platform/win/InstanceRequest.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
bool Same(const vxwin::InstanceRequest &a, const vxwin::InstanceRequest &b)
{
    return a.kind == b.kind && a.dataType == b.dataType && a.bytes == b.bytes && a.message == b.message;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxwin::InstanceRequest whole;
    const vxwin::ParseStatus status = vxwin::ParseInstanceRequest(data, size, whole);

    // A reader never waits for more than the longest request.
    if (status == vxwin::ParseStatus::NeedMore && size >= vxwin::kMaxInstanceRequestBytes)
        std::abort();
    if (status == vxwin::ParseStatus::Complete)
    {
        std::string encoded;
        switch (whole.kind)
        {
        case vxwin::InstanceRequestKind::Activate:
            encoded = vxwin::EncodeActivateRequest();
            break;
        case vxwin::InstanceRequestKind::Post:
            if (!vxwin::IsPostableFromOutside(whole.message))
                std::abort();
            encoded = vxwin::EncodePostRequest(whole.message);
            break;
        case vxwin::InstanceRequestKind::CopyData:
            if (whole.bytes.size() > vxwin::kMaxCopyDataBytes)
                std::abort();
            encoded = vxwin::EncodeCopyDataRequest(whole.dataType, whole.bytes.data(),
                                                   static_cast<std::uint32_t>(whole.bytes.size()));
            break;
        }
        // What was taken is exactly the front of what came.
        if (encoded.size() > size ||
            encoded.compare(0, encoded.size(), reinterpret_cast<const char *>(data), encoded.size()) != 0)
            std::abort();
    }

    // Read in pieces as the socket delivers them: the first answer is the same as for the whole.
    const std::size_t piece = size == 0 ? 1 : static_cast<std::size_t>(data[0]) + 1;
    for (std::size_t have = 0;;)
    {
        have = have + piece < size ? have + piece : size;
        vxwin::InstanceRequest request;
        const vxwin::ParseStatus partial = vxwin::ParseInstanceRequest(data, have, request);
        if (partial != vxwin::ParseStatus::NeedMore || have == size)
        {
            if (partial != status || (status == vxwin::ParseStatus::Complete && !Same(request, whole)))
                std::abort();
            break;
        }
    }

    long long answer = 0;
    if (vxwin::ParseInstanceAnswer(std::string(reinterpret_cast<const char *>(data), size), answer))
    {
        long long again = 0;
        if (!vxwin::ParseInstanceAnswer(vxwin::EncodeInstanceAnswer(answer), again) || again != answer)
            std::abort();
    }
    return 0;
}
