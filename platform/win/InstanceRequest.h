#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// The requests a second process sends to the first instance over its local socket, standing
// in for the messages a Windows program sends another program's window. One request per
// connection; every number is little-endian:
//
//   'A' '\n'                                  bring the main window to the front
//   'C' type:u32 length:u32 bytes[length]     WM_COPYDATA with that data type and those bytes
//   'P' message:u32                           post one of the messages other programs may post
//
// The answer is one line: the result as a signed decimal number and '\n' (for 'A' and 'P',
// 1 when done and 0 otherwise). Anything else is refused and answered 0.
namespace vxwin
{
// The largest copy-data payload taken; a larger length is refused before any of it is read.
constexpr std::uint32_t kMaxCopyDataBytes = 64 * 1024;
// The longest well-formed request.
constexpr std::size_t kMaxInstanceRequestBytes = 1 + 4 + 4 + kMaxCopyDataBytes;

// The messages another program may post to the main window: WM_USER+114 and WM_USER+115.
bool IsPostableFromOutside(std::uint32_t message);

enum class InstanceRequestKind
{
    Activate,
    CopyData,
    Post,
};

struct InstanceRequest
{
    InstanceRequestKind kind = InstanceRequestKind::Activate;
    std::uint32_t dataType = 0;      // CopyData
    std::vector<std::uint8_t> bytes; // CopyData
    std::uint32_t message = 0;       // Post
};

enum class ParseStatus
{
    NeedMore, // a prefix of a request: wait for more bytes
    Complete, // `request` holds it; bytes beyond it are ignored
    Refused,  // not a request: answer 0 without waiting for more
};

// Reads the bytes received so far. Refuses as soon as the bytes cannot begin a request (an
// unknown kind, 'A' without '\n', a length above kMaxCopyDataBytes, a message not postable
// from outside), so a hostile client never makes the reader wait for, or keep, more than
// kMaxInstanceRequestBytes.
ParseStatus ParseInstanceRequest(const std::uint8_t *data, std::size_t size, InstanceRequest &request);

// The bytes of a request, as the client sends them.
std::string EncodeActivateRequest();
std::string EncodeCopyDataRequest(std::uint32_t dataType, const void *bytes, std::uint32_t length);
std::string EncodePostRequest(std::uint32_t message);

// The answer line for a result, and the result of an answer line; false when the text is not
// one whole answer line.
std::string EncodeInstanceAnswer(long long result);
bool ParseInstanceAnswer(const std::string &text, long long &result);
} // namespace vxwin
