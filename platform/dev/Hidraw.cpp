#include "platform/dev/Hidraw.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vxdev
{
namespace
{
static_assert(kHidMaxDescriptorSize == HID_MAX_DESCRIPTOR_SIZE);

using Deadline = std::chrono::steady_clock::time_point;

Deadline DeadlineIn(int timeoutMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
}

int MillisecondsLeft(Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Waits until the device is ready for events; false on time-out, error or hang-up.
bool WaitReady(int fd, short events, Deadline deadline)
{
    for (;;)
    {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (ready == 0)
            return false;
        if (entry.revents & events)
            return true;
        return false; // POLLERR, POLLHUP or POLLNVAL without the wanted event
    }
}

bool Retry()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
} // namespace

int OpenHidrawNode(const std::string &nodePath, bool nonBlocking)
{
    const int flags = O_RDWR | O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0);
    int fd;
    do
        fd = ::open(nodePath.c_str(), flags);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? -1 : fd;
}

bool WriteHidrawReport(int fd, const std::uint8_t *bytes, std::size_t count, int timeoutMs)
{
    const Deadline deadline = DeadlineIn(timeoutMs);
    for (;;)
    {
        if (!WaitReady(fd, POLLOUT, deadline))
            return false;
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0)
        {
            if (Retry())
                continue;
            return false;
        }
        return static_cast<std::size_t>(written) == count;
    }
}

long ReadHidrawReport(int fd, std::uint8_t *bytes, std::size_t capacity, int timeoutMs)
{
    const Deadline deadline = DeadlineIn(timeoutMs);
    for (;;)
    {
        if (!WaitReady(fd, POLLIN, deadline))
            return -1;
        const ssize_t got = ::read(fd, bytes, capacity);
        if (got < 0)
        {
            if (Retry())
                continue;
            return -1;
        }
        return static_cast<long>(got);
    }
}

bool ReadHidrawDescriptor(int fd, std::vector<std::uint8_t> &out)
{
    out.clear();
    if (fd < 0)
        return false;
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) != 0)
        return false;
    out.assign(descriptor.value, descriptor.value + size);
    return true;
}
} // namespace vxdev
