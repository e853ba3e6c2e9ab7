#include "tests/support/sim_ulvex/SimUlvex.h"

#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/PtpTransport.h"
#include "tests/support/sim_ulvex/SimUlvexControl.h"

#include <algorithm>
#include <dlfcn.h>

namespace vxtest
{
struct SimUlvexLibrary::Entries
{
    decltype(&UlvexSimReset) reset = nullptr;
    decltype(&UlvexSimAddMtpMonitor) addMtpMonitor = nullptr;
    decltype(&UlvexSimMtpWorkoutFile) mtpWorkoutFile = nullptr;
    decltype(&UlvexSimMtpVendorCallCount) mtpVendorCallCount = nullptr;
    decltype(&UlvexSimMtpVendorCall) mtpVendorCall = nullptr;
    decltype(&UlvexSimMtpConnect) mtpConnect = nullptr;
    decltype(&UlvexSimMtpBulkOut) mtpBulkOut = nullptr;
    decltype(&UlvexSimMtpBulkIn) mtpBulkIn = nullptr;
    decltype(&UlvexSimMtpMaxPacketSize) mtpMaxPacketSize = nullptr;
    decltype(&UlvexSimMtpDisconnect) mtpDisconnect = nullptr;
    decltype(&UlvexSimScsiCommandCount) scsiCommandCount = nullptr;
    decltype(&UlvexSimScsiCommand) scsiCommand = nullptr;

    bool Complete() const
    {
        return reset && addMtpMonitor && mtpWorkoutFile && mtpVendorCallCount && mtpVendorCall &&
               mtpConnect && mtpBulkOut && mtpBulkIn && mtpMaxPacketSize && mtpDisconnect &&
               scsiCommandCount && scsiCommand;
    }
};

namespace
{
// The program's end of a connection to one of the library's monitors.
class BridgeTransport : public vxmtp::PtpTransport
{
  public:
    BridgeTransport(const SimUlvexLibrary::Entries &entries, void *connection)
        : m_entries(entries), m_connection(connection)
    {
    }
    ~BridgeTransport() override { m_entries.mtpDisconnect(m_connection); }
    vxmtp::TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) override
    {
        return static_cast<vxmtp::TransferStatus>(
            m_entries.mtpBulkOut(m_connection, data.data(), data.size(), timeoutMs));
    }
    vxmtp::TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received,
                                 unsigned timeoutMs) override
    {
        std::size_t got = 0;
        const int status = m_entries.mtpBulkIn(m_connection, buffer.data(), buffer.size(), &got, timeoutMs);
        received = got;
        return static_cast<vxmtp::TransferStatus>(status);
    }
    std::size_t maxPacketSize() const override { return m_entries.mtpMaxPacketSize(m_connection); }

  private:
    const SimUlvexLibrary::Entries &m_entries;
    void *m_connection;
};

template <class F> void Resolve(void *module, F &entry, const char *name)
{
    entry = reinterpret_cast<F>(::dlsym(module, name));
}
} // namespace

SimUlvexLibrary::SimUlvexLibrary()
    : m_entries(std::make_unique<Entries>()), m_path("VORMATIK_ULVEX_LIBRARY", ULVEX_SIM_LIBRARY_PATH),
      m_listed(std::make_shared<std::vector<Listed>>())
{
    m_module = ::dlopen(ULVEX_SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!m_module)
        return;
    Entries &e = *m_entries;
    Resolve(m_module, e.reset, "UlvexSimReset");
    Resolve(m_module, e.addMtpMonitor, "UlvexSimAddMtpMonitor");
    Resolve(m_module, e.mtpWorkoutFile, "UlvexSimMtpWorkoutFile");
    Resolve(m_module, e.mtpVendorCallCount, "UlvexSimMtpVendorCallCount");
    Resolve(m_module, e.mtpVendorCall, "UlvexSimMtpVendorCall");
    Resolve(m_module, e.mtpConnect, "UlvexSimMtpConnect");
    Resolve(m_module, e.mtpBulkOut, "UlvexSimMtpBulkOut");
    Resolve(m_module, e.mtpBulkIn, "UlvexSimMtpBulkIn");
    Resolve(m_module, e.mtpMaxPacketSize, "UlvexSimMtpMaxPacketSize");
    Resolve(m_module, e.mtpDisconnect, "UlvexSimMtpDisconnect");
    Resolve(m_module, e.scsiCommandCount, "UlvexSimScsiCommandCount");
    Resolve(m_module, e.scsiCommand, "UlvexSimScsiCommand");
    if (!e.Complete())
    {
        ::dlclose(m_module);
        m_module = nullptr;
        return;
    }
    e.reset();
    const Entries *entries = m_entries.get();
    std::shared_ptr<std::vector<Listed>> listed = m_listed;
    vxmtp::SetDeviceSource([entries, listed] {
        std::vector<vxmtp::MtpDeviceCandidate> candidates;
        for (const Listed &monitor : *listed)
        {
            vxmtp::MtpDeviceCandidate candidate;
            candidate.location.vendorId = monitor.vendorId;
            candidate.location.productId = monitor.productId;
            candidate.location.busNumber = 1;
            candidate.location.portNumbers = {monitor.port};
            const int index = monitor.index;
            candidate.open = [entries, index](std::unique_ptr<vxmtp::PtpTransport> &transport) {
                // No connection: the monitor was taken off (or pulled out) in the library.
                void *connection = entries->mtpConnect(index);
                if (!connection)
                    return vxmtp::TransferStatus::NoDevice;
                transport = std::make_unique<BridgeTransport>(*entries, connection);
                return vxmtp::TransferStatus::Ok;
            };
            candidates.push_back(std::move(candidate));
        }
        return candidates;
    });
}

SimUlvexLibrary::~SimUlvexLibrary()
{
    if (!m_module)
        return;
    vxmtp::SetDeviceSource({});
    m_entries->reset();
    ::dlclose(m_module);
}

bool SimUlvexLibrary::Loaded() const
{
    return m_module != nullptr;
}

std::string SimUlvexLibrary::Path()
{
    return ULVEX_SIM_LIBRARY_PATH;
}

int SimUlvexLibrary::AddMtpMonitor(std::uint16_t vendorId, std::uint16_t productId, const std::string &serial,
                                   const std::string &firmwareVersion, std::uint8_t port,
                                   const std::vector<std::uint8_t> &workout)
{
    if (!m_module)
        return -1;
    const int index =
        m_entries->addMtpMonitor(vendorId, productId, serial.c_str(), firmwareVersion.c_str(), port,
                                 workout.data(), static_cast<unsigned int>(workout.size()));
    m_listed->push_back({index, vendorId, productId, port});
    return index;
}

std::vector<std::uint8_t> SimUlvexLibrary::MtpWorkoutFile(int monitor) const
{
    if (!m_module)
        return {};
    const long length = m_entries->mtpWorkoutFile(monitor, nullptr, 0);
    if (length <= 0)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    m_entries->mtpWorkoutFile(monitor, bytes.data(), static_cast<unsigned int>(bytes.size()));
    return bytes;
}

std::vector<SimUlvexLibrary::VendorCall> SimUlvexLibrary::MtpVendorCalls(int monitor) const
{
    std::vector<VendorCall> calls;
    if (!m_module)
        return calls;
    for (int i = 0; i < m_entries->mtpVendorCallCount(monitor); ++i)
    {
        VendorCall call;
        unsigned int length = 0;
        m_entries->mtpVendorCall(monitor, i, &call.operation, nullptr, 0, &length);
        call.data.resize(length);
        m_entries->mtpVendorCall(monitor, i, &call.operation, call.data.data(), length, &length);
        calls.push_back(std::move(call));
    }
    return calls;
}

std::vector<SimUlvexLibrary::ScsiCommand> SimUlvexLibrary::ScsiCommands() const
{
    std::vector<ScsiCommand> commands;
    if (!m_module)
        return commands;
    for (int i = 0; i < m_entries->scsiCommandCount(); ++i)
    {
        ScsiCommand command;
        unsigned char cdb[16] = {};
        unsigned int cdbLength = 0;
        int toDevice = 0;
        m_entries->scsiCommand(i, cdb, &cdbLength, nullptr, 0, &command.length, &toDevice);
        command.cdb.assign(cdb, cdb + std::min<unsigned int>(cdbLength, sizeof cdb));
        command.toDevice = toDevice != 0;
        if (command.toDevice)
        {
            command.data.resize(command.length);
            m_entries->scsiCommand(i, cdb, &cdbLength, command.data.data(), command.length, &command.length,
                                   &toDevice);
        }
        commands.push_back(std::move(command));
    }
    return commands;
}
} // namespace vxtest
