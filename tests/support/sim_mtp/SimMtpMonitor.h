#pragma once

#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/PtpCodec.h"
#include "platform/mtp/PtpSession.h"
#include "platform/mtp/PtpTransport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

// A simulated MTP monitor that speaks PTP over the transport seam, packet by packet: containers are
// cut into packets of the max packet size, a container that fills its last packet is followed by a
// zero-length packet, and the monitor acts on a host container only once its transfer has ended
// (so a host that leaves the zero-length packet out gets no answer). Its state (session, objects,
// logs) outlives the transports connected to it, as a real device's does.
namespace vxsim
{
struct SimObject
{
    std::uint32_t handle = 0;
    std::uint32_t storageId = 0;
    std::uint32_t parent = 0; // 0: in the storage's root
    bool folder = false;
    std::u16string name;
    std::vector<std::uint8_t> bytes;
    bool hidden = false;
    std::uint16_t protectionStatus = 0;
};

// How the monitor answers a vendor operation.
struct SimVendorReply
{
    vxmtp::DataPhase phase = vxmtp::DataPhase::None; // Out: the monitor takes a data phase first
    std::uint16_t code = vxmtp::kRespOk;
    std::vector<std::uint32_t> params; // response parameters
    std::vector<std::uint8_t> dataIn;  // sent to the host when phase is In
};

// A vendor (non-standard) operation as the monitor received it.
struct SimVendorCall
{
    std::uint16_t op = 0;
    std::uint32_t transactionId = 0;
    std::vector<std::uint32_t> params;
    std::vector<std::uint8_t> dataOut;
};

// Every operation the monitor received, with the response code it sent (0: none).
struct SimOperation
{
    std::uint16_t op = 0;
    std::uint32_t transactionId = 0;
    std::vector<std::uint32_t> params;
    std::uint16_t response = 0;
};

// A still-image class request the monitor received on its control pipe, or a cleared halt
// (request 0, data {1} for the bulk-in endpoint, {0} for bulk-out).
struct SimControlRequest
{
    std::uint8_t request = 0;
    std::vector<std::uint8_t> data;
};

class SimMtpMonitor
{
  public:
    explicit SimMtpMonitor(std::size_t maxPacketSize = 512);
    ~SimMtpMonitor();
    SimMtpMonitor(const SimMtpMonitor &) = delete;
    SimMtpMonitor &operator=(const SimMtpMonitor &) = delete;

    // The DeviceInfo dataset the monitor sends.
    vxmtp::DeviceInfo &Info();

    void AddStorage(std::uint32_t storageId, std::u16string description, std::u16string volumeLabel = u"");
    // parent 0 puts the object in the storage's root. Return the new handle.
    std::uint32_t AddFolder(std::uint32_t storageId, std::uint32_t parent, std::u16string name);
    std::uint32_t AddFile(std::uint32_t storageId, std::uint32_t parent, std::u16string name,
                          std::vector<std::uint8_t> bytes, bool hidden = false);

    void SetProtectionStatus(std::uint32_t handle, std::uint16_t status);
    // Takes an object off the device, as the monitor's own firmware may (a folder's contents stay).
    void RemoveObject(std::uint32_t handle);

    // Inspection. Find returns null for an unknown handle; FindChild returns 0 when missing.
    const SimObject *Find(std::uint32_t handle) const;
    std::uint32_t FindChild(std::uint32_t storageId, std::uint32_t parent, const std::u16string &name) const;
    std::size_t ObjectCount() const;
    bool SessionOpen() const;
    bool Unplugged() const;

    // Scripting.
    void ScriptVendorOperation(std::uint16_t op, SimVendorReply reply);
    // The next `times` transactions of op are answered with code (a data phase from the host is
    // still taken; none is sent).
    void ScriptResponse(std::uint16_t op, std::uint16_t code, int times = 1);
    // The next data phase the monitor sends for op stops after payloadBytes bytes of payload: the
    // container header still claims the whole length and no response follows. With framed set, the
    // container is instead well-formed but holds only payloadBytes bytes, and the answer is OK.
    void InjectShortRead(std::uint16_t op, std::size_t payloadBytes, bool framed = false);
    // The host's next data phase for op fails on the bus; the monitor drops the transaction.
    void InjectFailedSend(std::uint16_t op);
    // While busy, another program holds the interface: connecting fails with TransferStatus::Busy.
    void SetBusy(bool busy);
    // Only the next `connects` connections fail as busy (a desktop service that lets go again).
    void SetBusyForConnects(int connects);
    // The next data phase the monitor sends for op pauses after `packets` whole packets: the host's
    // next read times out, and only then does the rest of the container arrive (late). Until the
    // rest has been read, or the transaction is cancelled, the monitor takes no new command; once
    // the rest is read the response follows, unless the transaction was cancelled.
    void InjectStalledDataPhase(std::uint16_t op, std::size_t packets);
    // The next `times` Get Device Status requests are answered Busy.
    void ScriptStatusBusy(int times);
    // A cancelled transaction leaves the bulk-in endpoint halted, and the device status names it,
    // until the host clears the halt.
    void HaltBulkInOnCancel(bool halt);
    // Wedged: no command is answered, the device status is Busy for ever and neither a cancel nor a
    // reset helps. Only taking the state away (as unplugging would) brings the monitor back.
    void SetWedged(bool wedged);
    // The monitor drops off the bus at the nth command it acts on from now (1: the next one):
    // before acting on it, or after acting on it but before its response reaches the host.
    void CutAtCommand(int nth, bool afterActing);
    // Whether a second object of a name already in its folder is taken (true by default), and
    // whether objects can be renamed through ObjectFileName (true by default).
    void AcceptDuplicateNames(bool accept);
    void SetFileNameWritable(bool writable);
    // Unplugged: every transfer fails with TransferStatus::NoDevice.
    void SetUnplugged(bool unplugged);
    // A quirk of some devices: no zero-length packet after a container that fills its last packet.
    void OmitZeroLengthPackets(bool omit);

    // Logs.
    std::vector<SimVendorCall> VendorLog() const;
    std::vector<SimOperation> OperationLog() const;
    std::vector<std::vector<std::uint8_t>> OutTransfers() const; // each host bulkOut as sent
    std::vector<std::vector<std::uint8_t>> InPackets() const;    // each packet sent, zero-length ones too
    std::vector<SimControlRequest> ControlLog() const;
    // The objects of a folder (parent 0: the storage's root), in handle order.
    std::vector<SimObject> Children(std::uint32_t storageId, std::uint32_t parent) const;
    void ClearLogs();

    // A transport to the monitor, or null while busy.
    std::unique_ptr<vxmtp::PtpTransport> Connect();
    // A discovery entry for vxmtp::SetDeviceSource.
    vxmtp::MtpDeviceCandidate Candidate(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t bus = 1,
                                        std::vector<std::uint8_t> ports = {1});

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

// Hands every transfer on to another transport; a test derives from it to watch or break some of them.
class PassThroughTransport : public vxmtp::PtpTransport
{
  public:
    explicit PassThroughTransport(std::unique_ptr<vxmtp::PtpTransport> inner) : m_inner(std::move(inner)) {}
    vxmtp::TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) override
    {
        return m_inner->bulkOut(data, timeoutMs);
    }
    vxmtp::TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received,
                                 unsigned timeoutMs) override
    {
        return m_inner->bulkIn(buffer, received, timeoutMs);
    }
    std::size_t maxPacketSize() const override { return m_inner->maxPacketSize(); }
    vxmtp::TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t> data,
                                          unsigned timeoutMs) override
    {
        return m_inner->classRequestOut(request, data, timeoutMs);
    }
    vxmtp::TransferStatus classRequestIn(std::uint8_t request, std::span<std::uint8_t> buffer,
                                         std::size_t &received, unsigned timeoutMs) override
    {
        return m_inner->classRequestIn(request, buffer, received, timeoutMs);
    }
    vxmtp::TransferStatus clearHalt(bool bulkInEndpoint, unsigned timeoutMs) override
    {
        return m_inner->clearHalt(bulkInEndpoint, timeoutMs);
    }

  private:
    std::unique_ptr<vxmtp::PtpTransport> m_inner;
};

// The candidate with each transport it opens handed to wrap, and wrap's transport used instead.
vxmtp::MtpDeviceCandidate WrapTransports(
    vxmtp::MtpDeviceCandidate candidate,
    std::function<std::unique_ptr<vxmtp::PtpTransport>(std::unique_ptr<vxmtp::PtpTransport>)> wrap);
} // namespace vxsim
