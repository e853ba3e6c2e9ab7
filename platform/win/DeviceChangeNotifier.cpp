#include "platform/win/DeviceChangeNotifier.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include "platform/dev/DevRoots.h"
#include "platform/win/Wnd.h"

namespace
{
// A mount table larger than this is not read to its end: enough for tens of thousands of mounts.
constexpr std::size_t kMaxMountTableBytes = 16 * 1024 * 1024;

class UdevMonitor : public vxwin::DeviceEventSource
{
  public:
    UdevMonitor(udev *context, udev_monitor *monitor) : m_context(context), m_monitor(monitor) {}
    ~UdevMonitor() override
    {
        udev_monitor_unref(m_monitor);
        udev_unref(m_context);
    }
    int Descriptor() const override { return udev_monitor_get_fd(m_monitor); }
    bool SignalsByPriority() const override { return false; }
    bool Read(std::vector<UINT> &types) override
    {
        // One device per signal; the notifier signals again while more wait.
        udev_device *device = udev_monitor_receive_device(m_monitor);
        if (!device)
            return true;
        const char *action = udev_device_get_action(device);
        if (const UINT type = vxwin::DeviceChangeOfUdevAction(action ? action : ""))
            types.push_back(type);
        udev_device_unref(device);
        return true;
    }

  private:
    udev *m_context;
    udev_monitor *m_monitor;
};

class MountTableWatch : public vxwin::DeviceEventSource
{
  public:
    explicit MountTableWatch(int fd) : m_fd(fd) { ReadTable(m_table); }
    ~MountTableWatch() override { ::close(m_fd); }
    int Descriptor() const override { return m_fd; }
    bool SignalsByPriority() const override { return true; }
    bool Read(std::vector<UINT> &types) override
    {
        // Reading the table from its start is also what the kernel waits for before it signals
        // the next change.
        std::string now;
        if (!ReadTable(now))
            return false;
        for (const UINT type : vxwin::MountTableChanges(m_table, now))
            types.push_back(type);
        m_table = std::move(now);
        return true;
    }

  private:
    bool ReadTable(std::string &text)
    {
        if (::lseek(m_fd, 0, SEEK_SET) < 0)
            return false;
        text.clear();
        char buffer[8192];
        while (text.size() < kMaxMountTableBytes)
        {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return false;
            if (got == 0)
                break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    int m_fd;
    std::string m_table;
};

std::vector<std::unique_ptr<vxwin::DeviceEventSource>> DefaultSources()
{
    std::vector<std::unique_ptr<vxwin::DeviceEventSource>> sources;
    if (auto udev = vxwin::OpenUdevMonitor())
        sources.push_back(std::move(udev));
    if (auto mounts = vxwin::OpenMountTableWatch(vxdev::ProcRoot() + "/self/mountinfo"))
        sources.push_back(std::move(mounts));
    return sources;
}

vxwin::DeviceEventSourceFactory g_factory;
// Deliveries under way on the UI thread; while one is, notifiers are let go later.
int g_delivering = 0;
} // namespace

namespace vxwin
{
std::unique_ptr<DeviceEventSource> OpenUdevMonitor()
{
    udev *context = udev_new();
    if (!context)
        return nullptr;
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor)
    {
        udev_unref(context);
        return nullptr;
    }
    for (const char *subsystem : {"usb", "block", "hidraw", "scsi_generic"})
        udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr);
    if (udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0)
    {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevMonitor>(context, monitor);
}

std::unique_ptr<DeviceEventSource> OpenMountTableWatch(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    return std::make_unique<MountTableWatch>(fd);
}

void SetDeviceEventSourceFactory(DeviceEventSourceFactory factory)
{
    g_factory = std::move(factory);
}

// A source with its notifier. The notifier's slot holds the channel, so the source (and its
// descriptor) lives until the notifier is gone.
struct Channel
{
    std::unique_ptr<DeviceEventSource> source;
    QSocketNotifier *notifier = nullptr;
};

struct DeviceChangeNotifier::Run
{
    HWND hwnd = nullptr;
    bool stopped = false;
    std::vector<std::shared_ptr<Channel>> channels;
};

DeviceChangeNotifier::DeviceChangeNotifier() = default;

DeviceChangeNotifier::~DeviceChangeNotifier()
{
    Stop();
}

void DeviceChangeNotifier::Start(HWND hwnd)
{
    Start(hwnd, g_factory ? g_factory() : DefaultSources());
}

void DeviceChangeNotifier::Start(HWND hwnd, std::vector<std::unique_ptr<DeviceEventSource>> sources)
{
    Stop();
    if (!QCoreApplication::instance())
        return;
    auto run = std::make_shared<Run>();
    run->hwnd = hwnd;
    for (auto &source : sources)
    {
        if (!source || source->Descriptor() < 0)
            continue;
        auto channel = std::make_shared<Channel>();
        const auto kind = source->SignalsByPriority() ? QSocketNotifier::Exception : QSocketNotifier::Read;
        channel->notifier = new QSocketNotifier(source->Descriptor(), kind);
        channel->source = std::move(source);
        std::weak_ptr<Run> weakRun = run;
        QObject::connect(channel->notifier, &QSocketNotifier::activated, channel->notifier,
                         [weakRun, channel] {
                             const std::shared_ptr<Run> run = weakRun.lock();
                             if (!run || run->stopped)
                                 return;
                             std::vector<UINT> types;
                             if (!channel->source->Read(types))
                             {
                                 // A broken source would signal for ever.
                                 channel->notifier->setEnabled(false);
                                 channel->notifier->deleteLater();
                                 std::erase(run->channels, channel);
                                 return;
                             }
                             ++g_delivering;
                             for (const UINT type : types)
                             {
                                 // A handler may have stopped the notifier, or this run may have ended in a
                                 // nested loop; the run itself lives on in `run`.
                                 if (run->stopped)
                                     break;
                                 ::SendMessage(run->hwnd, WM_DEVICECHANGE, type, 0);
                             }
                             --g_delivering;
                         });
        run->channels.push_back(std::move(channel));
    }
    m_run = std::move(run);
}

void DeviceChangeNotifier::Stop()
{
    if (!m_run)
        return;
    m_run->stopped = true;
    for (const auto &channel : m_run->channels)
    {
        channel->notifier->setEnabled(false);
        // Inside a delivery the notifier may be the very one signalling.
        if (g_delivering > 0)
            channel->notifier->deleteLater();
        else
            delete channel->notifier;
    }
    m_run->channels.clear();
    m_run.reset();
}

int DeviceChangeNotifier::WatchedSources() const
{
    return m_run ? static_cast<int>(m_run->channels.size()) : 0;
}
} // namespace vxwin
