#include "tests/support/sim_hid/SimHidMonitor.h"

#include "device/HidReport.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vxtest
{
namespace
{
constexpr std::uint8_t kFrameMarker = 0xAB;
constexpr std::uint8_t kModeOrStatus = 0x01;
constexpr std::uint8_t kReportIdWhenNumbered = 1;
constexpr std::uint8_t kReadRecords = 0x6E;
constexpr std::uint8_t kWriteRecords = 0x1C;

int g_instances = 0;

std::string Hex(const std::uint8_t *bytes, std::size_t length)
{
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < length; ++i)
    {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

std::string Byte(unsigned value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02x", value & 0xFF);
    return text;
}

// Report Count as the shortest item that holds it.
void AppendCount(std::vector<std::uint8_t> &out, std::uint32_t count)
{
    if (count <= 0xFF)
        out.insert(out.end(), {0x95, static_cast<std::uint8_t>(count)});
    else if (count <= 0xFFFF)
        out.insert(out.end(),
                   {0x96, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)});
    else
        out.insert(out.end(),
                   {0x97, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                    static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)});
}
} // namespace

struct SimHidMonitor::Connection
{
    enum class Expect
    {
        Frame,
        ModeByte,
        Data
    };

    int fd = -1;
    bool foreign = false;
    Expect expect = Expect::Frame;
    bool statusIsMode = false;
    std::uint8_t mode = 0xFF;
    std::size_t dataReportsLeft = 0;
    std::size_t commandIndex = 0;
    int lastCommand = -1; // the code of the last command frame
};

SimHidMonitor::SimHidMonitor() : SimHidMonitor(Options{}) {}

SimHidMonitor::SimHidMonitor(Options options) : m_options(std::move(options))
{
    if (g_instances++ != 0)
        throw std::logic_error("only one SimHidMonitor at a time");
    // The layer writes to sockets here; a monitor that went away must give EPIPE, not a signal.
    std::signal(SIGPIPE, SIG_IGN);

    m_path = m_options.interfacePath;
    if (m_path.empty())
        m_path = u"\\\\?\\hid#vid_" + vxsys::Latin1ToUtf16(m_options.vendorId) + u"&pid_" +
                 vxsys::Latin1ToUtf16(m_options.productId) +
                 u"#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    m_readData[kReadRecords] = std::vector<std::uint8_t>(880, 0);
    m_readData[0x05] = DeviceInfoBlock(0, 0, 0, 0, 0, {});
    m_readData[0x0F] = LanguageBlock(0, {0, 1});

    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        throw std::runtime_error("eventfd failed");
    m_thread = std::thread([this] { Run(); });
    Install();
}

SimHidMonitor::~SimHidMonitor()
{
    // Leave nothing of this monitor in the layer for the next test.
    HidClose();
    ResetHidHooks();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    Wake();
    m_thread.join();
    for (auto &connection : m_connections)
        ::close(connection->fd);
    for (auto &connection : m_pending)
        ::close(connection->fd);
    ::close(m_wakeFd);
    --g_instances;
}

void SimHidMonitor::Install()
{
    HidHooks hooks;
    hooks.enumerate = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<HidInterfaceRecord> records;
        for (const std::u16string &path : m_foreign)
            records.push_back({path, "/dev/sim-hid-foreign"});
        if (m_present)
            records.push_back({m_path, "/dev/sim-hid"});
        return records;
    };
    hooks.open = [this](const HidInterfaceRecord &record, bool nonBlocking) -> HidHandle {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_openedPaths.push_back(record.interfacePath);
        const bool ours = record.interfacePath == m_path && m_present;
        const bool foreign =
            std::find(m_foreign.begin(), m_foreign.end(), record.interfacePath) != m_foreign.end();
        if ((!ours && !foreign) || (ours && m_openFails))
            return kInvalidHidHandle;
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return kInvalidHidHandle;
        if (nonBlocking)
            fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
        auto connection = std::make_unique<Connection>();
        connection->fd = ends[1];
        connection->foreign = !ours;
        if (ours)
        {
            ++m_opens;
            m_newestFd = ends[1];
        }
        ++m_openConnections;
        m_pending.push_back(std::move(connection));
        Wake();
        return ends[0];
    };
    hooks.readDescriptor = [this](const HidInterfaceRecord &, HidHandle, std::vector<std::uint8_t> &out) {
        out = ReportDescriptor(m_options.inputReportLength, m_options.outputReportLength,
                               m_options.numberedReports);
        return true;
    };
    hooks.sleep = [this](unsigned milliseconds) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pauses.push_back(milliseconds);
    };
    hooks.reportTimeoutMs = m_options.reportTimeoutMs;
    SetHidHooks(std::move(hooks));
}

void SimHidMonitor::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void SimHidMonitor::Run()
{
    std::vector<std::uint8_t> buffer(1 << 17);
    for (;;)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
            for (auto &connection : m_pending)
                m_connections.push_back(std::move(connection));
            m_pending.clear();
            if (m_unplug)
            {
                for (auto &connection : m_connections)
                    ::close(connection->fd);
                m_connections.clear();
                m_newestFd = -1;
                m_openConnections = 0;
                m_unplug = false;
                m_closed.notify_all();
            }
        }

        std::vector<pollfd> entries;
        entries.push_back({m_wakeFd, POLLIN, 0});
        for (const auto &connection : m_connections)
            entries.push_back({connection->fd, POLLIN, 0});
        if (::poll(entries.data(), entries.size(), -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        if (entries[0].revents & POLLIN)
        {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
        }

        // Older connections first, so a connection's last reports are handled before the next one's.
        std::vector<std::size_t> closed;
        for (std::size_t i = 0; i < m_connections.size(); ++i)
        {
            const short events = entries[i + 1].revents;
            if (events == 0)
                continue;
            Connection &connection = *m_connections[i];
            bool hungUp = false;
            if (events & POLLIN)
            {
                const ssize_t got = ::recv(connection.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (got > 0)
                    HandleReport(connection, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + got));
                else if (got == 0 || (errno != EAGAIN && errno != EINTR))
                    hungUp = true;
            }
            else
            {
                hungUp = true;
            }
            if (hungUp)
                closed.push_back(i);
        }

        if (!closed.empty())
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto it = closed.rbegin(); it != closed.rend(); ++it)
            {
                Connection &connection = *m_connections[*it];
                if (connection.fd == m_newestFd)
                    m_newestFd = -1;
                ::close(connection.fd);
                m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(*it));
                --m_openConnections;
            }
            m_closed.notify_all();
        }
    }
}

int SimHidMonitor::NextStatus(std::deque<int> &queue, int fallback)
{
    if (queue.empty())
        return fallback;
    const int status = queue.front();
    queue.pop_front();
    return status;
}

void SimHidMonitor::SendPayload(Connection &connection, const std::uint8_t *payload, std::size_t length)
{
    const std::size_t payloadPerReport =
        m_options.inputReportLength > 1 ? m_options.inputReportLength - 1 : 0;
    std::vector<std::uint8_t> report;
    if (m_options.numberedReports)
        report.push_back(kReportIdWhenNumbered);
    report.insert(report.end(), payload, payload + std::min(length, payloadPerReport));
    if (length > 0)
        report.resize((m_options.numberedReports ? 1 : 0) + payloadPerReport, 0);
    [[maybe_unused]] const ssize_t sent =
        ::send(connection.fd, report.data(), report.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void SimHidMonitor::HandleReport(Connection &connection, const std::vector<std::uint8_t> &report)
{
    std::function<void(const std::vector<std::uint8_t> &)> observer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        observer = m_observer;
    }
    if (observer)
        observer(report);

    std::lock_guard<std::mutex> lock(m_mutex);
    m_outputReports.push_back(report);
    if (connection.foreign || report.empty())
        return;
    const std::uint8_t *payload = report.data() + 1;
    const std::size_t payloadLength = report.size() - 1;

    switch (connection.expect)
    {
    case Connection::Expect::ModeByte:
        connection.mode = payloadLength > 0 ? payload[0] : 0;
        connection.expect = Connection::Expect::Frame;
        connection.statusIsMode = true;
        m_modes.push_back(connection.mode);
        m_transcript.push_back("mode " + Byte(connection.mode));
        return;

    case Connection::Expect::Data: {
        Command &command = m_commands[connection.commandIndex];
        command.received.insert(command.received.end(), payload, payload + payloadLength);
        if (--connection.dataReportsLeft == 0)
        {
            connection.expect = Connection::Expect::Frame;
            if (command.command == kWriteRecords)
                TakeHeaderBlock(command);
            m_transcript.push_back(
                "data-in " + std::to_string(std::min<std::size_t>(command.received.size(), command.length)));
        }
        return;
    }

    case Connection::Expect::Frame:
        break;
    }

    if (payloadLength < 5 || payload[0] != kFrameMarker)
    {
        m_transcript.push_back("unexpected " + Hex(payload, std::min<std::size_t>(payloadLength, 8)));
        return;
    }
    const std::uint8_t direction = payload[1];
    const std::uint16_t length = static_cast<std::uint16_t>(payload[2] | (payload[3] << 8));
    const std::uint8_t code = payload[4];

    if (code == kModeOrStatus && length == 1 && direction == 0)
    {
        connection.expect = Connection::Expect::ModeByte;
        return;
    }

    if (code == kModeOrStatus && length == 1 && direction == 1)
    {
        const bool modeStatus = connection.statusIsMode;
        connection.statusIsMode = false;
        const int status =
            modeStatus ? NextStatus(m_modeQueue, m_modeStatus) : NextStatus(m_finalQueue, m_finalStatus);
        const std::string kind = modeStatus ? "mode-status " : "final-status ";
        if (m_silent || status == kSilent)
        {
            m_transcript.push_back(kind + "silent");
            return;
        }
        m_transcript.push_back(kind + Byte(static_cast<unsigned>(status)));
        const std::uint8_t byte = static_cast<std::uint8_t>(status);
        SendPayload(connection, &byte, 1);
        if (!modeStatus && m_pullOutAfter >= 0 && connection.lastCommand == m_pullOutAfter)
        {
            m_present = false;
            m_pullOutAfter = -1;
        }
        return;
    }

    Command command;
    command.mode = connection.mode;
    std::copy_n(payload, std::min<std::size_t>(payloadLength, 8), command.frame.begin());
    command.direction = direction;
    command.length = length;
    command.command = code;
    connection.statusIsMode = false;
    connection.lastCommand = code;
    m_transcript.push_back("command " + Byte(code) + (direction == 0 ? " send " : " read ") +
                           std::to_string(length));

    if (direction == 0)
    {
        const std::size_t payloadPerReport =
            m_options.outputReportLength > 1 ? m_options.outputReportLength - 1 : std::size_t{0};
        connection.dataReportsLeft =
            payloadPerReport ? (length + payloadPerReport - 1) / payloadPerReport : 0;
        connection.commandIndex = m_commands.size();
        m_commands.push_back(std::move(command));
        if (connection.dataReportsLeft > 0)
            connection.expect = Connection::Expect::Data;
        return;
    }

    std::vector<std::uint8_t> data;
    if (auto it = m_readData.find(code); it != m_readData.end())
        data = it->second;
    if (data.size() > length)
        data.resize(length);
    if (!m_silent && m_options.inputReportLength > 1)
    {
        const std::size_t payloadPerReport = m_options.inputReportLength - 1;
        for (std::size_t offset = 0; offset < data.size(); offset += payloadPerReport)
            SendPayload(connection, data.data() + offset, std::min(payloadPerReport, data.size() - offset));
        command.sent = data.size();
        m_transcript.push_back("data-out " + std::to_string(data.size()));
    }
    m_commands.push_back(std::move(command));
}

void SimHidMonitor::TakeHeaderBlock(const Command &write)
{
    std::vector<std::uint8_t> &image = m_readData[kReadRecords];
    const std::size_t n = std::min({write.received.size(), std::size_t{write.length}, image.size()});
    if (n < 2)
        return;
    std::copy(write.received.begin() + 1, write.received.begin() + static_cast<std::ptrdiff_t>(n),
              image.begin() + 1);
    // The monitor keeps its own check byte over the whole image, as it must after adding a record.
    unsigned sum = 0;
    for (std::size_t i = 1; i < image.size(); ++i)
        sum += image[i];
    image[0] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

void SimHidMonitor::SetModeStatus(int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_modeStatus = status;
}

void SimHidMonitor::QueueModeStatus(int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_modeQueue.push_back(status);
}

void SimHidMonitor::SetFinalStatus(int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finalStatus = status;
}

void SimHidMonitor::QueueFinalStatus(int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finalQueue.push_back(status);
}

void SimHidMonitor::SetReadData(std::uint8_t command, std::vector<std::uint8_t> data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readData[command] = std::move(data);
}

void SimHidMonitor::SetSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void SimHidMonitor::SetPresent(bool present)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_present = present;
}

void SimHidMonitor::Unplug()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_present = false;
    m_unplug = true;
    Wake();
    m_closed.wait(lock, [this] { return !m_unplug; });
}

void SimHidMonitor::PullOutAfter(std::uint8_t command)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pullOutAfter = command;
}

std::vector<std::uint8_t> SimHidMonitor::RecordImage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_readData.find(kReadRecords);
    return it == m_readData.end() ? std::vector<std::uint8_t>{} : it->second;
}

void SimHidMonitor::SetOpenFails(bool fails)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openFails = fails;
}

void SimHidMonitor::SetReportTimeoutMs(int milliseconds)
{
    m_options.reportTimeoutMs = milliseconds;
    HidHooks hooks = GetHidHooks();
    hooks.reportTimeoutMs = milliseconds;
    SetHidHooks(std::move(hooks));
}

void SimHidMonitor::AddForeignInterface(std::u16string interfacePath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_foreign.push_back(std::move(interfacePath));
}

void SimHidMonitor::SetObserver(std::function<void(const std::vector<std::uint8_t> &)> observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}

bool SimHidMonitor::SendInputReport(const std::vector<std::uint8_t> &payload)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_newestFd < 0)
        return false;
    Connection target;
    target.fd = m_newestFd;
    SendPayload(target, payload.data(), payload.size());
    return true;
}

std::vector<std::string> SimHidMonitor::Transcript() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transcript;
}

std::vector<SimHidMonitor::Command> SimHidMonitor::Commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

std::vector<std::uint8_t> SimHidMonitor::Modes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_modes;
}

std::vector<std::vector<std::uint8_t>> SimHidMonitor::OutputReports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outputReports;
}

std::vector<std::u16string> SimHidMonitor::OpenedPaths() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openedPaths;
}

int SimHidMonitor::Opens() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}

int SimHidMonitor::OpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openConnections;
}

bool SimHidMonitor::WaitUntilAllClosed(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_closed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return m_openConnections == 0; });
}

std::vector<unsigned> SimHidMonitor::Pauses() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pauses;
}

void SimHidMonitor::ClearRecords()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transcript.clear();
    m_commands.clear();
    m_modes.clear();
    m_outputReports.clear();
    m_openedPaths.clear();
    m_pauses.clear();
    m_opens = 0;
}

std::vector<std::uint8_t> SimHidMonitor::ReportDescriptor(std::uint32_t inputLength,
                                                          std::uint32_t outputLength, bool numbered)
{
    std::vector<std::uint8_t> out = {
        0x06, 0x00, 0xFF, // Usage Page (vendor defined)
        0x09, 0x01,       // Usage
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       // Logical Minimum 0
        0x26, 0xFF, 0x00, // Logical Maximum 255
        0x75, 0x08,       // Report Size 8
    };
    if (numbered)
        out.insert(out.end(), {0x85, kReportIdWhenNumbered});
    if (inputLength > 1)
    {
        AppendCount(out, inputLength - 1);
        out.insert(out.end(), {0x09, 0x01, 0x81, 0x02}); // Usage, Input (Data, Variable, Absolute)
    }
    if (outputLength > 1)
    {
        AppendCount(out, outputLength - 1);
        out.insert(out.end(), {0x09, 0x01, 0x91, 0x02}); // Usage, Output (Data, Variable, Absolute)
    }
    out.push_back(0xC0); // End Collection
    return out;
}

std::vector<std::uint8_t> SimHidMonitor::DeviceInfoBlock(std::uint8_t status, std::uint8_t major,
                                                         std::uint8_t minor, std::uint8_t build,
                                                         std::uint16_t value,
                                                         const std::array<std::uint8_t, 16> &identity)
{
    std::vector<std::uint8_t> block(38, 0);
    block[0] = status;
    block[1] = major;
    block[2] = minor;
    block[3] = build;
    block[4] = static_cast<std::uint8_t>(value & 0xFF);
    block[5] = static_cast<std::uint8_t>(value >> 8);
    std::copy(identity.begin(), identity.end(), block.begin() + 6);
    return block;
}

std::vector<std::uint8_t> SimHidMonitor::LanguageBlock(std::uint8_t status,
                                                       const std::vector<std::uint8_t> &codes)
{
    std::vector<std::uint8_t> block(118, 0);
    block[0] = status;
    for (std::uint8_t code : codes)
        if (code < 117)
            block[code + 1u] = 1;
    return block;
}
} // namespace vxtest
