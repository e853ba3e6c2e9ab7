#pragma once

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "platform/win/DeviceChangeNotifier.h"

namespace vxtest
{
// Device events a test feeds to a DeviceChangeNotifier in place of udev and the mount table,
// one byte each: 'a' an arrival, 'r' a completed removal, 'n' a change of device nodes, any
// other byte an event of no interest, 'x' a source that breaks. A read takes all bytes waiting.
class DeviceEventFeed
{
  public:
    DeviceEventFeed()
    {
        int fds[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) == 0)
        {
            m_readEnd = fds[0];
            m_writeEnd = fds[1];
        }
    }
    ~DeviceEventFeed()
    {
        if (m_readEnd >= 0)
            ::close(m_readEnd);
        if (m_writeEnd >= 0)
            ::close(m_writeEnd);
    }
    DeviceEventFeed(const DeviceEventFeed &) = delete;
    DeviceEventFeed &operator=(const DeviceEventFeed &) = delete;

    // The source over the read end (once); it closes that end when let go. `reads` counts its reads.
    std::unique_ptr<vxwin::DeviceEventSource> TakeSource(int *reads = nullptr)
    {
        const int fd = m_readEnd;
        m_readEnd = -1;
        return fd < 0 ? nullptr : std::make_unique<Source>(fd, reads);
    }
    // The source alone, as the notifier's list of sources.
    std::vector<std::unique_ptr<vxwin::DeviceEventSource>> TakeSources(int *reads = nullptr)
    {
        std::vector<std::unique_ptr<vxwin::DeviceEventSource>> sources;
        sources.push_back(TakeSource(reads));
        return sources;
    }
    // false once the source has let its end go.
    bool Send(const std::string &events) const
    {
        return ::send(m_writeEnd, events.data(), events.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(events.size());
    }

  private:
    class Source : public vxwin::DeviceEventSource
    {
      public:
        Source(int fd, int *reads) : m_fd(fd), m_reads(reads) {}
        ~Source() override { ::close(m_fd); }
        int Descriptor() const override { return m_fd; }
        bool SignalsByPriority() const override { return false; }
        bool Read(std::vector<UINT> &types) override
        {
            if (m_reads)
                ++*m_reads;
            char bytes[64];
            const ssize_t got = ::read(m_fd, bytes, sizeof bytes);
            for (ssize_t i = 0; i < got; ++i)
            {
                if (bytes[i] == 'x')
                    return false;
                if (bytes[i] == 'a')
                    types.push_back(DBT_DEVICEARRIVAL);
                else if (bytes[i] == 'r')
                    types.push_back(DBT_DEVICEREMOVECOMPLETE);
                else if (bytes[i] == 'n')
                    types.push_back(DBT_DEVNODES_CHANGED);
            }
            return true;
        }

      private:
        int m_fd;
        int *m_reads;
    };

    int m_readEnd = -1;
    int m_writeEnd = -1;
};
} // namespace vxtest
