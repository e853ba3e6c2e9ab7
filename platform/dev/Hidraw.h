#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Raw HID device nodes: opening one, moving one whole report each way within a time limit,
// and the report descriptor as the driver hands it out.
namespace vxdev
{
// The largest report descriptor the HID driver keeps.
inline constexpr std::size_t kHidMaxDescriptorSize = 4096;

// Opens the node for reading and writing (close-on-exec, retried when a signal interrupts
// it); nonBlocking asks for transfers that never block, so the report functions below wait
// for the device themselves. Returns the file descriptor, or -1. Close it with CloseHandle.
int OpenHidrawNode(const std::string &nodePath, bool nonBlocking);

// Writes one report within timeoutMs milliseconds (a negative limit counts as 0). True only
// when all count bytes went out in one transfer; a report that went out in part, a time-out
// or an error is a failure.
bool WriteHidrawReport(int fd, const std::uint8_t *bytes, std::size_t count, int timeoutMs);

// Reads one report (up to capacity bytes) within timeoutMs milliseconds. Returns the
// number of bytes received, or -1 on time-out, error or hang-up.
long ReadHidrawReport(int fd, std::uint8_t *bytes, std::size_t capacity, int timeoutMs);

// The report descriptor of an open node, asked of the driver; false when the driver does
// not give one or it is empty or larger than kHidMaxDescriptorSize.
bool ReadHidrawDescriptor(int fd, std::vector<std::uint8_t> &out);
} // namespace vxdev
