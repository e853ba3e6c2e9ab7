// Built only into libulvex-sim.so: the simulated monitors behind the library's own copies of the
// MTP discovery and SG_IO seams, and the entry points tests use to set them up and read them.
#include "tests/support/sim_ulvex/SimUlvexControl.h"

#include "platform/dev/ScsiPassThrough.h"
#include "platform/mtp/MtpDeviceManager.h"
#include "platform/sys/TextConvert.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#define ULVEX_SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
constexpr std::uint32_t kStorage = 0x00010001;
constexpr std::uint16_t kOpPrepareClock = 0x9D04;
constexpr std::uint16_t kOpSetClock = 0x9D03;

struct Monitor
{
    std::unique_ptr<vxsim::SimMtpMonitor> sim;
    vxmtp::MtpDeviceCandidate candidate;
    std::uint32_t workoutFolder = 0;
};

struct ScsiCall
{
    std::vector<std::uint8_t> cdb;
    std::vector<std::uint8_t> data;
    unsigned int length = 0;
    bool toDevice = false;
};

struct Simulation
{
    std::mutex mutex;
    std::vector<std::shared_ptr<Monitor>> monitors;
    std::vector<ScsiCall> scsi;

    std::shared_ptr<Monitor> Find(int index)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (index < 0 || static_cast<std::size_t>(index) >= monitors.size())
            return nullptr;
        return monitors[static_cast<std::size_t>(index)];
    }
};

Simulation &Sim();

int SimulatedSgIo(int, sg_io_hdr_t &header)
{
    ScsiCall call;
    call.cdb.assign(header.cmdp, header.cmdp + header.cmd_len);
    call.length = header.dxfer_len;
    auto *data = static_cast<std::uint8_t *>(header.dxferp);
    call.toDevice = header.dxfer_direction == SG_DXFER_TO_DEV;
    if (call.toDevice && data)
        call.data.assign(data, data + header.dxfer_len);
    if (header.dxfer_direction == SG_DXFER_FROM_DEV && data)
        std::memset(data, 0, header.dxfer_len);
    header.status = 0;
    header.host_status = 0;
    header.driver_status = 0;
    header.sb_len_wr = 0;
    header.resid = 0;
    std::lock_guard<std::mutex> lock(Sim().mutex);
    Sim().scsi.push_back(std::move(call));
    return 0;
}

// Puts the simulation behind the library's seams. Done at the first use rather than at load time:
// the seams are globals of other units, whose own initialisation could come after and undo it.
void Install()
{
    vxdev::SetSgIo(&SimulatedSgIo);
    vxmtp::SetDeviceSource([] {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        std::vector<vxmtp::MtpDeviceCandidate> candidates;
        for (const auto &monitor : Sim().monitors)
            candidates.push_back(monitor->candidate);
        return candidates;
    });
}

Simulation &Sim()
{
    static Simulation simulation;
    static std::once_flag installed;
    std::call_once(installed, Install);
    return simulation;
}
} // namespace

ULVEX_SIM_EXPORT void UlvexSimReset(void)
{
    std::lock_guard<std::mutex> lock(Sim().mutex);
    Sim().monitors.clear();
    Sim().scsi.clear();
}

ULVEX_SIM_EXPORT int UlvexSimAddMtpMonitor(unsigned short vendorId, unsigned short productId,
                                           const char *serial, const char *firmwareVersion,
                                           unsigned char port, const unsigned char *workout,
                                           unsigned int workoutLength)
{
    auto monitor = std::make_shared<Monitor>();
    monitor->sim = std::make_unique<vxsim::SimMtpMonitor>();
    vxsim::SimMtpMonitor &sim = *monitor->sim;
    sim.Info().serialNumber = vxsys::Latin1ToUtf16(serial ? serial : "");
    sim.Info().deviceVersion = vxsys::Latin1ToUtf16(firmwareVersion ? firmwareVersion : "");
    sim.AddStorage(kStorage, u"Internal");
    monitor->workoutFolder = sim.AddFolder(kStorage, 0, u"workout");
    sim.AddFile(kStorage, monitor->workoutFolder, u"FR.DAT",
                workout ? std::vector<std::uint8_t>(workout, workout + workoutLength)
                        : std::vector<std::uint8_t>{},
                true);
    sim.ScriptVendorOperation(kOpPrepareClock, {});
    sim.ScriptVendorOperation(kOpSetClock, {vxmtp::DataPhase::Out, vxmtp::kRespOk, {}, {}});
    monitor->candidate = sim.Candidate(vendorId, productId, 1, {port});
    std::lock_guard<std::mutex> lock(Sim().mutex);
    Sim().monitors.push_back(std::move(monitor));
    return static_cast<int>(Sim().monitors.size()) - 1;
}

ULVEX_SIM_EXPORT long UlvexSimMtpWorkoutFile(int index, unsigned char *bytes, unsigned int capacity)
{
    const auto monitor = Sim().Find(index);
    if (!monitor)
        return -1;
    const std::uint32_t handle = monitor->sim->FindChild(kStorage, monitor->workoutFolder, u"FR.DAT");
    const vxsim::SimObject *file = handle ? monitor->sim->Find(handle) : nullptr;
    if (!file)
        return -1;
    if (bytes)
        std::memcpy(bytes, file->bytes.data(), std::min<std::size_t>(capacity, file->bytes.size()));
    return static_cast<long>(file->bytes.size());
}

ULVEX_SIM_EXPORT int UlvexSimMtpVendorCallCount(int index)
{
    const auto monitor = Sim().Find(index);
    return monitor ? static_cast<int>(monitor->sim->VendorLog().size()) : 0;
}

ULVEX_SIM_EXPORT int UlvexSimMtpVendorCall(int index, int call, unsigned short *operation,
                                           unsigned char *data, unsigned int capacity, unsigned int *length)
{
    const auto monitor = Sim().Find(index);
    if (!monitor)
        return 0;
    const auto log = monitor->sim->VendorLog();
    if (call < 0 || static_cast<std::size_t>(call) >= log.size())
        return 0;
    const vxsim::SimVendorCall &entry = log[static_cast<std::size_t>(call)];
    if (operation)
        *operation = entry.op;
    if (data)
        std::memcpy(data, entry.dataOut.data(), std::min<std::size_t>(capacity, entry.dataOut.size()));
    if (length)
        *length = static_cast<unsigned int>(entry.dataOut.size());
    return 1;
}

ULVEX_SIM_EXPORT void *UlvexSimMtpConnect(int index)
{
    const auto monitor = Sim().Find(index);
    return monitor ? monitor->sim->Connect().release() : nullptr;
}

ULVEX_SIM_EXPORT int UlvexSimMtpBulkOut(void *connection, const unsigned char *data, size_t length,
                                        unsigned int timeoutMs)
{
    auto *transport = static_cast<vxmtp::PtpTransport *>(connection);
    return static_cast<int>(transport->bulkOut(std::span<const std::uint8_t>(data, length), timeoutMs));
}

ULVEX_SIM_EXPORT int UlvexSimMtpBulkIn(void *connection, unsigned char *buffer, size_t capacity,
                                       size_t *received, unsigned int timeoutMs)
{
    auto *transport = static_cast<vxmtp::PtpTransport *>(connection);
    std::size_t got = 0;
    const auto status = transport->bulkIn(std::span<std::uint8_t>(buffer, capacity), got, timeoutMs);
    *received = got;
    return static_cast<int>(status);
}

ULVEX_SIM_EXPORT size_t UlvexSimMtpMaxPacketSize(void *connection)
{
    return static_cast<vxmtp::PtpTransport *>(connection)->maxPacketSize();
}

ULVEX_SIM_EXPORT void UlvexSimMtpDisconnect(void *connection)
{
    delete static_cast<vxmtp::PtpTransport *>(connection);
}

ULVEX_SIM_EXPORT int UlvexSimScsiCommandCount(void)
{
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return static_cast<int>(Sim().scsi.size());
}

ULVEX_SIM_EXPORT int UlvexSimScsiCommand(int index, unsigned char *cdb, unsigned int *cdbLength,
                                         unsigned char *data, unsigned int capacity, unsigned int *dataLength,
                                         int *toDevice)
{
    std::lock_guard<std::mutex> lock(Sim().mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= Sim().scsi.size())
        return 0;
    const ScsiCall &call = Sim().scsi[static_cast<std::size_t>(index)];
    if (cdb)
        std::memcpy(cdb, call.cdb.data(), call.cdb.size());
    if (cdbLength)
        *cdbLength = static_cast<unsigned int>(call.cdb.size());
    if (data)
        std::memcpy(data, call.data.data(), std::min<std::size_t>(capacity, call.data.size()));
    if (dataLength)
        *dataLength = call.length;
    if (toDevice)
        *toDevice = call.toDevice ? 1 : 0;
    return 1;
}
