#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

using namespace vxmtp;

namespace vxsim
{
struct SimMtpMonitor::State
{
    struct Command
    {
        std::uint16_t op = 0;
        std::uint32_t tid = 0;
        std::vector<std::uint32_t> params;
        std::size_t logIndex = 0;
    };
    struct ShortRead
    {
        std::size_t payloadBytes = 0; // packets, for a stalled phase
        bool framed = false;
        bool stalledPackets = false;
    };
    struct PendingSend
    {
        std::uint32_t handle = 0;
    };

    mutable std::mutex mutex;
    std::size_t mps;
    DeviceInfo info;
    std::vector<std::pair<std::uint32_t, StorageInfo>> storages;
    std::map<std::uint32_t, SimObject> objects;
    std::uint32_t nextHandle = 1;
    bool sessionOpen = false;
    bool busy = false;
    int busyConnects = 0;
    bool unplugged = false;
    bool omitZlp = false;
    bool acceptDuplicates = true;
    bool fileNameWritable = true;
    // Still-image class state.
    bool wedged = false;
    int statusBusyLeft = 0;
    bool haltInOnCancel = false;
    bool inHalted = false;
    std::map<std::uint16_t, std::size_t> stalledPhases;
    bool inDataPhase = false;                        // a paused or late data phase is still going
    std::deque<std::vector<std::uint8_t>> lateTail;  // its rest, not yet on its way
    std::size_t tailLeft = 0;                        // packets of the rest not yet read by the host
    std::optional<Command> deferredResponse;         // answered once the rest is read
    int cutCountdown = 0;
    bool cutAfterActing = false;
    std::vector<SimControlRequest> controlLog;

    std::map<std::uint16_t, SimVendorReply> vendorScripts;
    std::map<std::uint16_t, std::deque<std::uint16_t>> scriptedCodes;
    std::map<std::uint16_t, ShortRead> shortReads;
    std::map<std::uint16_t, int> failedSends;

    std::vector<SimVendorCall> vendorLog;
    std::vector<SimOperation> operationLog;
    std::vector<std::vector<std::uint8_t>> outTransfers;
    std::vector<std::vector<std::uint8_t>> inPacketsLog;

    // Host to monitor.
    std::vector<std::uint8_t> rx;
    bool awaitingZlp = false;
    std::optional<Command> awaitingData;
    std::optional<PendingSend> pendingSend;
    // Monitor to host.
    std::deque<std::vector<std::uint8_t>> packets;

    explicit State(std::size_t maxPacket) : mps(maxPacket)
    {
        info.manufacturer = u"Sim Maker";
        info.model = u"Sim Monitor";
        info.deviceVersion = u"1.0";
        info.serialNumber = u"SIM0001";
        info.vendorExtensionDesc = u"microsoft.com: 1.0";
        info.operationsSupported = {kOpGetDeviceInfo,     kOpOpenSession,    kOpCloseSession,
                                    kOpGetStorageIds,     kOpGetStorageInfo, kOpGetObjectHandles,
                                    kOpGetObjectInfo,     kOpGetObject,      kOpDeleteObject,
                                    kOpSendObjectInfo,    kOpSendObject,     kOpGetObjectPropDesc,
                                    kOpGetObjectPropValue, kOpSetObjectPropValue};
    }

    static bool IsStandard(std::uint16_t op)
    {
        switch (op)
        {
        case kOpGetDeviceInfo:
        case kOpOpenSession:
        case kOpCloseSession:
        case kOpGetStorageIds:
        case kOpGetStorageInfo:
        case kOpGetObjectHandles:
        case kOpGetObjectInfo:
        case kOpGetObject:
        case kOpDeleteObject:
        case kOpSendObjectInfo:
        case kOpSendObject:
        case kOpGetObjectPropDesc:
        case kOpGetObjectPropValue:
        case kOpSetObjectPropValue:
            return true;
        default:
            return false;
        }
    }

    bool TakesData(std::uint16_t op) const
    {
        if (op == kOpSendObjectInfo || op == kOpSendObject || op == kOpSetObjectPropValue)
            return true;
        const auto it = vendorScripts.find(op);
        return it != vendorScripts.end() && it->second.phase == DataPhase::Out;
    }

    bool HasStorage(std::uint32_t id) const
    {
        return std::any_of(storages.begin(), storages.end(), [&](const auto &s) { return s.first == id; });
    }

    // --- monitor to host ---

    void QueueBytes(const std::vector<std::uint8_t> &bytes, bool endTransfer)
    {
        for (std::size_t pos = 0; pos < bytes.size(); pos += mps)
            packets.emplace_back(bytes.begin() + pos, bytes.begin() + std::min(bytes.size(), pos + mps));
        if (endTransfer && !omitZlp && bytes.size() % mps == 0)
            packets.emplace_back();
    }

    void Respond(const Command &cmd, std::uint16_t code, const std::vector<std::uint32_t> &params = {})
    {
        QueueBytes(EncodeParamContainer(kContainerResponse, code, cmd.tid, params), true);
        operationLog[cmd.logIndex].response = code;
    }

    // Sends a data phase; false when an injected short read cut it (no response may follow).
    bool SendData(const Command &cmd, const std::vector<std::uint8_t> &payload)
    {
        const auto it = shortReads.find(cmd.op);
        if (it == shortReads.end())
        {
            QueueBytes(EncodeDataContainer(cmd.op, cmd.tid, payload), true);
            return true;
        }
        const ShortRead fault = it->second;
        shortReads.erase(it);
        if (fault.stalledPackets)
        {
            // Whole packets first, then a pause; the rest (its zero-length packet included) comes late.
            const std::vector<std::uint8_t> container = EncodeDataContainer(cmd.op, cmd.tid, payload);
            std::deque<std::vector<std::uint8_t>> all;
            for (std::size_t pos = 0; pos < container.size(); pos += mps)
                all.emplace_back(container.begin() + pos,
                                 container.begin() + std::min(container.size(), pos + mps));
            if (container.size() % mps == 0 && !omitZlp)
                all.emplace_back();
            const std::size_t now = std::min(fault.payloadBytes, all.size() - 1);
            for (std::size_t i = 0; i < now; ++i)
            {
                packets.push_back(std::move(all.front()));
                all.pop_front();
            }
            lateTail = std::move(all);
            inDataPhase = true;
            deferredResponse = cmd;
            return false;
        }
        const std::size_t keep = std::min(fault.payloadBytes, payload.size());
        const std::vector<std::uint8_t> cut(payload.begin(), payload.begin() + keep);
        if (fault.framed)
        {
            QueueBytes(EncodeDataContainer(cmd.op, cmd.tid, cut), true);
            return true;
        }
        std::vector<std::uint8_t> container = EncodeDataContainer(cmd.op, cmd.tid, payload);
        container.resize(kContainerHeaderSize + keep);
        // The transfer ends early: a short packet the host can see, then nothing more.
        QueueBytes(container, false);
        if (container.size() % mps == 0)
            packets.emplace_back();
        return false;
    }

    void SendDataAndOk(const Command &cmd, const std::vector<std::uint8_t> &payload)
    {
        if (SendData(cmd, payload))
            Respond(cmd, kRespOk);
    }

    // --- host to monitor ---

    void OnOut(std::span<const std::uint8_t> data)
    {
        outTransfers.emplace_back(data.begin(), data.end());
        if (data.empty())
        {
            if (awaitingZlp)
            {
                awaitingZlp = false;
                Drain();
            }
            return;
        }
        rx.insert(rx.end(), data.begin(), data.end());
        ContainerHeader h;
        // A transfer that ends with a full packet has not ended yet: wait for the zero-length packet.
        if (DecodeHeader(rx, h) && rx.size() == h.length && h.length % mps == 0 && data.size() % mps == 0)
        {
            awaitingZlp = true;
            return;
        }
        Drain();
    }

    void Drain()
    {
        ContainerHeader h;
        while (DecodeHeader(rx, h) && rx.size() >= h.length)
        {
            std::vector<std::uint8_t> container(rx.begin(), rx.begin() + h.length);
            rx.erase(rx.begin(), rx.begin() + h.length);
            OnContainer(h, container);
        }
        if (rx.size() >= 4 && !DecodeHeader(rx, h))
            rx.clear(); // garbage
    }

    void OnContainer(const ContainerHeader &h, const std::vector<std::uint8_t> &container)
    {
        // A device caught in a data phase (or wedged) takes nothing new: the command goes unanswered.
        if (wedged || inDataPhase)
        {
            if (h.type == kContainerCommand)
                operationLog.push_back({h.code, h.transactionId, DecodeParams(container), 0});
            return;
        }
        if (h.type == kContainerCommand)
        {
            if (awaitingData)
                awaitingData.reset(); // abandoned by the host
            Command cmd;
            cmd.op = h.code;
            cmd.tid = h.transactionId;
            cmd.params = DecodeParams(container);
            cmd.logIndex = operationLog.size();
            operationLog.push_back({cmd.op, cmd.tid, cmd.params, 0});
            if (cmd.op != kOpSendObject)
            {
                // SendObject must come directly after SendObjectInfo.
                if (cmd.op != kOpSendObjectInfo)
                    pendingSend.reset();
            }
            if (TakesData(cmd.op))
                awaitingData = cmd;
            else
                Execute(cmd, nullptr);
            return;
        }
        if (h.type == kContainerData)
        {
            const std::vector<std::uint8_t> payload(container.begin() + kContainerHeaderSize,
                                                    container.end());
            if (awaitingData && awaitingData->tid == h.transactionId)
            {
                const Command cmd = *awaitingData;
                awaitingData.reset();
                Execute(cmd, &payload);
                return;
            }
            // A data phase for an operation the monitor answered at once: keep it with the vendor call.
            if (!vendorLog.empty() && vendorLog.back().transactionId == h.transactionId)
                vendorLog.back().dataOut = payload;
        }
    }

    void Unplug()
    {
        unplugged = true;
        packets.clear();
        rx.clear();
        awaitingZlp = false;
        awaitingData.reset();
        pendingSend.reset();
    }

    void Execute(const Command &cmd, const std::vector<std::uint8_t> *dataOut)
    {
        if (cutCountdown > 0 && --cutCountdown == 0)
        {
            if (cutAfterActing)
                ExecuteCommand(cmd, dataOut);
            Unplug();
            return;
        }
        ExecuteCommand(cmd, dataOut);
    }

    bool NameTaken(std::uint32_t storage, std::uint32_t parent, const std::u16string &name,
                   std::uint32_t except = 0) const
    {
        return std::any_of(objects.begin(), objects.end(), [&](const auto &o) {
            return o.first != except && o.second.storageId == storage && o.second.parent == parent &&
                   o.second.name == name;
        });
    }

    void ExecuteCommand(const Command &cmd, const std::vector<std::uint8_t> *dataOut)
    {
        const bool standard = IsStandard(cmd.op);
        if (!standard)
        {
            SimVendorCall call{cmd.op, cmd.tid, cmd.params, dataOut ? *dataOut : std::vector<std::uint8_t>{}};
            vendorLog.push_back(std::move(call));
        }
        auto scripted = scriptedCodes.find(cmd.op);
        if (scripted != scriptedCodes.end() && !scripted->second.empty())
        {
            const std::uint16_t code = scripted->second.front();
            scripted->second.pop_front();
            Respond(cmd, code);
            return;
        }
        if (!standard)
        {
            const auto it = vendorScripts.find(cmd.op);
            if (it == vendorScripts.end())
            {
                Respond(cmd, kRespOperationNotSupported);
                return;
            }
            const SimVendorReply &reply = it->second;
            if (reply.phase == DataPhase::In && reply.code == kRespOk && !SendData(cmd, reply.dataIn))
                return;
            Respond(cmd, reply.code, reply.params);
            return;
        }
        if (cmd.op != kOpGetDeviceInfo && cmd.op != kOpOpenSession && !sessionOpen)
        {
            Respond(cmd, kRespSessionNotOpen);
            return;
        }
        ExecuteStandard(cmd, dataOut ? *dataOut : std::vector<std::uint8_t>{});
    }

    std::uint32_t Param(const Command &cmd, std::size_t i) const
    {
        return i < cmd.params.size() ? cmd.params[i] : 0;
    }

    void RemoveTree(std::uint32_t handle)
    {
        std::vector<std::uint32_t> children;
        for (const auto &[h, o] : objects)
            if (o.parent == handle)
                children.push_back(h);
        for (std::uint32_t c : children)
            RemoveTree(c);
        objects.erase(handle);
    }

    void ExecuteStandard(const Command &cmd, const std::vector<std::uint8_t> &dataOut)
    {
        switch (cmd.op)
        {
        case kOpGetDeviceInfo:
            SendDataAndOk(cmd, EncodeDeviceInfo(info));
            return;
        case kOpOpenSession:
            if (Param(cmd, 0) == 0)
                Respond(cmd, kRespInvalidParameter);
            else if (sessionOpen)
                Respond(cmd, kRespSessionAlreadyOpen, {Param(cmd, 0)});
            else
            {
                sessionOpen = true;
                Respond(cmd, kRespOk);
            }
            return;
        case kOpCloseSession:
            sessionOpen = false;
            Respond(cmd, kRespOk);
            return;
        case kOpGetStorageIds: {
            std::vector<std::uint32_t> ids;
            for (const auto &s : storages)
                ids.push_back(s.first);
            PtpWriter w;
            w.U32Array(ids);
            SendDataAndOk(cmd, w.Data());
            return;
        }
        case kOpGetStorageInfo: {
            const auto it = std::find_if(storages.begin(), storages.end(),
                                         [&](const auto &s) { return s.first == Param(cmd, 0); });
            if (it == storages.end())
                Respond(cmd, kRespInvalidStorageId);
            else
                SendDataAndOk(cmd, EncodeStorageInfo(it->second));
            return;
        }
        case kOpGetObjectHandles: {
            const std::uint32_t storage = Param(cmd, 0);
            const std::uint32_t parent = Param(cmd, 2);
            if (storage != kStorageAll && !HasStorage(storage))
            {
                Respond(cmd, kRespInvalidStorageId);
                return;
            }
            if (parent != 0 && parent != kHandleRoot &&
                (!objects.count(parent) || !objects.at(parent).folder))
            {
                Respond(cmd, kRespInvalidParentObject);
                return;
            }
            std::vector<std::uint32_t> handles;
            for (const auto &[h, o] : objects)
            {
                if (storage != kStorageAll && o.storageId != storage)
                    continue;
                if (parent == 0 || (parent == kHandleRoot && o.parent == 0) || o.parent == parent)
                    handles.push_back(h);
            }
            PtpWriter w;
            w.U32Array(handles);
            SendDataAndOk(cmd, w.Data());
            return;
        }
        case kOpGetObjectInfo: {
            const auto it = objects.find(Param(cmd, 0));
            if (it == objects.end())
            {
                Respond(cmd, kRespInvalidObjectHandle);
                return;
            }
            const SimObject &o = it->second;
            ObjectInfo oi;
            oi.storageId = o.storageId;
            oi.objectFormat = o.folder ? kFormatAssociation : kFormatUndefined;
            oi.associationType = o.folder ? kAssociationGenericFolder : 0;
            oi.objectCompressedSize = static_cast<std::uint32_t>(o.bytes.size());
            oi.parentObject = o.parent;
            oi.filename = o.name;
            oi.protectionStatus = o.protectionStatus;
            oi.dateModified = u"20100101T000000";
            SendDataAndOk(cmd, EncodeObjectInfo(oi));
            return;
        }
        case kOpGetObject: {
            const auto it = objects.find(Param(cmd, 0));
            if (it == objects.end() || it->second.folder)
                Respond(cmd, kRespInvalidObjectHandle);
            else
                SendDataAndOk(cmd, it->second.bytes);
            return;
        }
        case kOpDeleteObject: {
            const std::uint32_t handle = Param(cmd, 0);
            if (!objects.count(handle))
            {
                Respond(cmd, kRespInvalidObjectHandle);
                return;
            }
            RemoveTree(handle);
            Respond(cmd, kRespOk);
            return;
        }
        case kOpSendObjectInfo: {
            const std::uint32_t storage = Param(cmd, 0);
            std::uint32_t parent = Param(cmd, 1);
            if (parent == kHandleRoot)
                parent = 0;
            ObjectInfo oi;
            if (!HasStorage(storage))
                Respond(cmd, kRespInvalidStorageId);
            else if (parent != 0 && (!objects.count(parent) || !objects.at(parent).folder))
                Respond(cmd, kRespInvalidParentObject);
            else if (!DecodeObjectInfo(dataOut, oi) || oi.filename.empty())
                Respond(cmd, kRespInvalidParameter);
            else if (!acceptDuplicates && NameTaken(storage, parent, oi.filename))
                Respond(cmd, kRespGeneralError);
            else
            {
                SimObject o;
                o.handle = nextHandle++;
                o.storageId = storage;
                o.parent = parent;
                o.folder = oi.objectFormat == kFormatAssociation;
                o.name = oi.filename;
                objects[o.handle] = o;
                pendingSend = PendingSend{o.handle};
                Respond(cmd, kRespOk, {storage, parent == 0 ? kHandleRoot : parent, o.handle});
            }
            return;
        }
        case kOpSendObject:
            if (!pendingSend || !objects.count(pendingSend->handle))
                Respond(cmd, kRespNoValidObjectInfo);
            else
            {
                objects[pendingSend->handle].bytes = dataOut;
                pendingSend.reset();
                Respond(cmd, kRespOk);
            }
            return;
        case kOpGetObjectPropDesc: {
            const std::uint32_t prop = Param(cmd, 0);
            if (prop == kPropHidden)
                SendDataAndOk(cmd, EncodeObjectPropDesc({kPropHidden, 0x0004, true}));
            else if (prop == kPropObjectFileName)
                SendDataAndOk(cmd, EncodeObjectPropDesc({kPropObjectFileName, 0xFFFF, fileNameWritable}));
            else
                Respond(cmd, kRespObjectPropNotSupported);
            return;
        }
        case kOpGetObjectPropValue:
        case kOpSetObjectPropValue: {
            const auto it = objects.find(Param(cmd, 0));
            if (it == objects.end())
                Respond(cmd, kRespInvalidObjectHandle);
            else if (Param(cmd, 1) == kPropObjectFileName && cmd.op == kOpGetObjectPropValue)
            {
                PtpWriter w;
                w.String(it->second.name);
                SendDataAndOk(cmd, w.Data());
            }
            else if (Param(cmd, 1) == kPropObjectFileName)
            {
                PtpReader r(dataOut);
                std::u16string name;
                if (!fileNameWritable)
                    Respond(cmd, kRespAccessDenied);
                else if (!r.String(name) || name.empty())
                    Respond(cmd, kRespInvalidParameter);
                else if (!acceptDuplicates &&
                         NameTaken(it->second.storageId, it->second.parent, name, it->first))
                    Respond(cmd, kRespGeneralError);
                else
                {
                    it->second.name = name;
                    Respond(cmd, kRespOk);
                }
            }
            else if (Param(cmd, 1) != kPropHidden)
                Respond(cmd, kRespObjectPropNotSupported);
            else if (cmd.op == kOpGetObjectPropValue)
                SendDataAndOk(cmd, {static_cast<std::uint8_t>(it->second.hidden ? 1 : 0), 0});
            else if (dataOut.size() != 2)
                Respond(cmd, kRespInvalidParameter);
            else
            {
                it->second.hidden = dataOut[0] != 0 || dataOut[1] != 0;
                Respond(cmd, kRespOk);
            }
            return;
        }
        default:
            Respond(cmd, kRespOperationNotSupported);
        }
    }

    // Called with the host's bulk-out data; a failed send drops what was being sent.
    TransferStatus BulkOut(std::span<const std::uint8_t> data)
    {
        std::lock_guard lock(mutex);
        if (unplugged)
            return TransferStatus::NoDevice;
        if (!data.empty() && awaitingData && rx.empty())
        {
            const auto it = failedSends.find(awaitingData->op);
            ContainerHeader h;
            if (it != failedSends.end() && DecodeHeader(data, h) && h.type == kContainerData)
            {
                if (--it->second == 0)
                    failedSends.erase(it);
                outTransfers.emplace_back(data.begin(), data.end());
                awaitingData.reset();
                return TransferStatus::Error;
            }
        }
        OnOut(data);
        return TransferStatus::Ok;
    }

    TransferStatus BulkIn(std::span<std::uint8_t> buffer, std::size_t &received)
    {
        std::lock_guard lock(mutex);
        received = 0;
        if (unplugged)
            return TransferStatus::NoDevice;
        if (inHalted)
            return TransferStatus::Stall;
        // A buffer that is not a whole number of packets could overflow on a real bus.
        if (buffer.empty() || buffer.size() % mps != 0)
            return TransferStatus::Error;
        if (packets.empty())
        {
            // The paused rest of a data phase arrives, but only after the host gave up waiting.
            if (!lateTail.empty())
            {
                tailLeft = lateTail.size();
                for (auto &p : lateTail)
                    packets.push_back(std::move(p));
                lateTail.clear();
            }
            return TransferStatus::Timeout;
        }
        while (!packets.empty() && received < buffer.size())
        {
            const std::vector<std::uint8_t> p = std::move(packets.front());
            packets.pop_front();
            inPacketsLog.push_back(p);
            std::copy(p.begin(), p.end(), buffer.begin() + static_cast<std::ptrdiff_t>(received));
            received += p.size();
            if (tailLeft > 0 && --tailLeft == 0)
            {
                inDataPhase = false;
                if (deferredResponse)
                {
                    const Command cmd = *deferredResponse;
                    deferredResponse.reset();
                    Respond(cmd, kRespOk);
                }
            }
            if (p.size() < mps)
                break;
        }
        // A transfer whose last packet was full goes on waiting: with the rest of a paused data
        // phase still held back, it times out, and the rest arrives after that.
        if (packets.empty() && !lateTail.empty() && received % mps == 0)
        {
            tailLeft = lateTail.size();
            for (auto &p : lateTail)
                packets.push_back(std::move(p));
            lateTail.clear();
            return TransferStatus::Timeout;
        }
        return TransferStatus::Ok;
    }

    // --- the control pipe ---

    void EndTransaction()
    {
        awaitingData.reset();
        pendingSend.reset();
        deferredResponse.reset();
        inDataPhase = false;
        // What already left the device (the late rest of a data phase) is still on its way.
        tailLeft = 0;
    }

    TransferStatus ControlOut(std::uint8_t request, std::span<const std::uint8_t> data)
    {
        std::lock_guard lock(mutex);
        if (unplugged)
            return TransferStatus::NoDevice;
        controlLog.push_back({request, std::vector<std::uint8_t>(data.begin(), data.end())});
        if (wedged)
            return TransferStatus::Ok;
        if (request == kClassCancelRequest)
        {
            EndTransaction();
            rx.clear();
            awaitingZlp = false;
            if (haltInOnCancel)
                inHalted = true;
            return TransferStatus::Ok;
        }
        if (request == kClassDeviceReset)
        {
            EndTransaction();
            lateTail.clear();
            packets.clear();
            rx.clear();
            awaitingZlp = false;
            inHalted = false;
            statusBusyLeft = 0;
            sessionOpen = false;
            return TransferStatus::Ok;
        }
        return TransferStatus::Stall;
    }

    TransferStatus ControlIn(std::uint8_t request, std::span<std::uint8_t> buffer, std::size_t &received)
    {
        std::lock_guard lock(mutex);
        received = 0;
        if (unplugged)
            return TransferStatus::NoDevice;
        controlLog.push_back({request, {}});
        if (request != kClassGetDeviceStatus)
            return TransferStatus::Stall;
        DeviceStatus status;
        if (wedged)
            status.code = kRespDeviceBusy;
        else if (inHalted)
        {
            status.code = kRespTransactionCancelled;
            status.haltedEndpoints = {0x81};
        }
        else if (statusBusyLeft > 0)
        {
            --statusBusyLeft;
            status.code = kRespDeviceBusy;
        }
        else
            status.code = kRespOk;
        const std::vector<std::uint8_t> bytes = EncodeDeviceStatus(status);
        received = std::min(bytes.size(), buffer.size());
        std::copy_n(bytes.begin(), received, buffer.begin());
        return TransferStatus::Ok;
    }

    TransferStatus ClearHalt(bool in)
    {
        std::lock_guard lock(mutex);
        if (unplugged)
            return TransferStatus::NoDevice;
        controlLog.push_back({0, {static_cast<std::uint8_t>(in ? 1 : 0)}});
        if (in && !wedged)
            inHalted = false;
        return TransferStatus::Ok;
    }
};

namespace
{
class SimTransport : public PtpTransport
{
  public:
    explicit SimTransport(std::shared_ptr<SimMtpMonitor::State> state) : m_state(std::move(state)) {}
    TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned) override
    {
        return m_state->BulkOut(data);
    }
    TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received, unsigned) override
    {
        return m_state->BulkIn(buffer, received);
    }
    std::size_t maxPacketSize() const override { return m_state->mps; }
    TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t> data, unsigned) override
    {
        return m_state->ControlOut(request, data);
    }
    TransferStatus classRequestIn(std::uint8_t request, std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned) override
    {
        return m_state->ControlIn(request, buffer, received);
    }
    TransferStatus clearHalt(bool bulkInEndpoint, unsigned) override { return m_state->ClearHalt(bulkInEndpoint); }

  private:
    std::shared_ptr<SimMtpMonitor::State> m_state;
};

TransferStatus OpenSim(const std::shared_ptr<SimMtpMonitor::State> &state,
                       std::unique_ptr<PtpTransport> &transport)
{
    {
        std::lock_guard lock(state->mutex);
        if (state->unplugged)
            return TransferStatus::NoDevice;
        if (state->busy)
            return TransferStatus::Busy;
        if (state->busyConnects > 0)
        {
            --state->busyConnects;
            return TransferStatus::Busy;
        }
        // A new user of the interface starts with empty pipes.
        state->rx.clear();
        state->packets.clear();
        state->awaitingZlp = false;
        state->awaitingData.reset();
    }
    transport = std::make_unique<SimTransport>(state);
    return TransferStatus::Ok;
}
} // namespace

SimMtpMonitor::SimMtpMonitor(std::size_t maxPacketSize) : m_state(std::make_shared<State>(maxPacketSize)) {}

SimMtpMonitor::~SimMtpMonitor() = default;

DeviceInfo &SimMtpMonitor::Info()
{
    return m_state->info;
}

void SimMtpMonitor::AddStorage(std::uint32_t storageId, std::u16string description,
                               std::u16string volumeLabel)
{
    std::lock_guard lock(m_state->mutex);
    StorageInfo si;
    si.storageType = 3; // fixed RAM
    si.filesystemType = 2;
    si.accessCapability = 0;
    si.maxCapacity = 8u << 20;
    si.freeSpaceInBytes = 4u << 20;
    si.freeSpaceInObjects = 0xFFFFFFFF;
    si.storageDescription = std::move(description);
    si.volumeLabel = std::move(volumeLabel);
    m_state->storages.emplace_back(storageId, std::move(si));
}

std::uint32_t SimMtpMonitor::AddFolder(std::uint32_t storageId, std::uint32_t parent, std::u16string name)
{
    std::lock_guard lock(m_state->mutex);
    SimObject o;
    o.handle = m_state->nextHandle++;
    o.storageId = storageId;
    o.parent = parent;
    o.folder = true;
    o.name = std::move(name);
    m_state->objects[o.handle] = o;
    return o.handle;
}

std::uint32_t SimMtpMonitor::AddFile(std::uint32_t storageId, std::uint32_t parent, std::u16string name,
                                     std::vector<std::uint8_t> bytes, bool hidden)
{
    std::lock_guard lock(m_state->mutex);
    SimObject o;
    o.handle = m_state->nextHandle++;
    o.storageId = storageId;
    o.parent = parent;
    o.name = std::move(name);
    o.bytes = std::move(bytes);
    o.hidden = hidden;
    m_state->objects[o.handle] = o;
    return o.handle;
}

void SimMtpMonitor::SetProtectionStatus(std::uint32_t handle, std::uint16_t status)
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->objects.find(handle);
    if (it != m_state->objects.end())
        it->second.protectionStatus = status;
}

void SimMtpMonitor::RemoveObject(std::uint32_t handle)
{
    std::lock_guard lock(m_state->mutex);
    m_state->objects.erase(handle);
}

const SimObject *SimMtpMonitor::Find(std::uint32_t handle) const
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->objects.find(handle);
    return it == m_state->objects.end() ? nullptr : &it->second;
}

std::uint32_t SimMtpMonitor::FindChild(std::uint32_t storageId, std::uint32_t parent,
                                       const std::u16string &name) const
{
    std::lock_guard lock(m_state->mutex);
    for (const auto &[h, o] : m_state->objects)
        if (o.storageId == storageId && o.parent == parent && o.name == name)
            return h;
    return 0;
}

std::size_t SimMtpMonitor::ObjectCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->objects.size();
}

bool SimMtpMonitor::SessionOpen() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->sessionOpen;
}

bool SimMtpMonitor::Unplugged() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->unplugged;
}

void SimMtpMonitor::ScriptVendorOperation(std::uint16_t op, SimVendorReply reply)
{
    std::lock_guard lock(m_state->mutex);
    m_state->vendorScripts[op] = std::move(reply);
}

void SimMtpMonitor::ScriptResponse(std::uint16_t op, std::uint16_t code, int times)
{
    std::lock_guard lock(m_state->mutex);
    for (int i = 0; i < times; ++i)
        m_state->scriptedCodes[op].push_back(code);
}

void SimMtpMonitor::InjectShortRead(std::uint16_t op, std::size_t payloadBytes, bool framed)
{
    std::lock_guard lock(m_state->mutex);
    m_state->shortReads[op] = State::ShortRead{payloadBytes, framed};
}

void SimMtpMonitor::InjectFailedSend(std::uint16_t op)
{
    std::lock_guard lock(m_state->mutex);
    ++m_state->failedSends[op];
}

void SimMtpMonitor::SetUnplugged(bool unplugged)
{
    std::lock_guard lock(m_state->mutex);
    m_state->unplugged = unplugged;
}

void SimMtpMonitor::OmitZeroLengthPackets(bool omit)
{
    std::lock_guard lock(m_state->mutex);
    m_state->omitZlp = omit;
}

void SimMtpMonitor::SetBusy(bool busy)
{
    std::lock_guard lock(m_state->mutex);
    m_state->busy = busy;
}

void SimMtpMonitor::SetBusyForConnects(int connects)
{
    std::lock_guard lock(m_state->mutex);
    m_state->busyConnects = connects;
}

void SimMtpMonitor::InjectStalledDataPhase(std::uint16_t op, std::size_t packets)
{
    std::lock_guard lock(m_state->mutex);
    m_state->shortReads[op] = State::ShortRead{packets, false, true};
}

void SimMtpMonitor::ScriptStatusBusy(int times)
{
    std::lock_guard lock(m_state->mutex);
    m_state->statusBusyLeft = times;
}

void SimMtpMonitor::HaltBulkInOnCancel(bool halt)
{
    std::lock_guard lock(m_state->mutex);
    m_state->haltInOnCancel = halt;
}

void SimMtpMonitor::SetWedged(bool wedged)
{
    std::lock_guard lock(m_state->mutex);
    m_state->wedged = wedged;
    if (!wedged)
    {
        m_state->EndTransaction();
        m_state->packets.clear();
        m_state->rx.clear();
    }
}

void SimMtpMonitor::CutAtCommand(int nth, bool afterActing)
{
    std::lock_guard lock(m_state->mutex);
    m_state->cutCountdown = nth;
    m_state->cutAfterActing = afterActing;
}

void SimMtpMonitor::AcceptDuplicateNames(bool accept)
{
    std::lock_guard lock(m_state->mutex);
    m_state->acceptDuplicates = accept;
}

void SimMtpMonitor::SetFileNameWritable(bool writable)
{
    std::lock_guard lock(m_state->mutex);
    m_state->fileNameWritable = writable;
}

std::vector<SimControlRequest> SimMtpMonitor::ControlLog() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->controlLog;
}

std::vector<SimObject> SimMtpMonitor::Children(std::uint32_t storageId, std::uint32_t parent) const
{
    std::lock_guard lock(m_state->mutex);
    std::vector<SimObject> out;
    for (const auto &[h, o] : m_state->objects)
        if (o.storageId == storageId && o.parent == parent)
            out.push_back(o);
    return out;
}

std::vector<SimVendorCall> SimMtpMonitor::VendorLog() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->vendorLog;
}

std::vector<SimOperation> SimMtpMonitor::OperationLog() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->operationLog;
}

std::vector<std::vector<std::uint8_t>> SimMtpMonitor::OutTransfers() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->outTransfers;
}

std::vector<std::vector<std::uint8_t>> SimMtpMonitor::InPackets() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->inPacketsLog;
}

void SimMtpMonitor::ClearLogs()
{
    std::lock_guard lock(m_state->mutex);
    m_state->vendorLog.clear();
    m_state->operationLog.clear();
    m_state->outTransfers.clear();
    m_state->inPacketsLog.clear();
    m_state->controlLog.clear();
}

std::unique_ptr<PtpTransport> SimMtpMonitor::Connect()
{
    std::unique_ptr<PtpTransport> transport;
    OpenSim(m_state, transport);
    return transport;
}

MtpDeviceCandidate SimMtpMonitor::Candidate(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t bus,
                                            std::vector<std::uint8_t> ports)
{
    MtpDeviceCandidate c;
    c.location.vendorId = vendorId;
    c.location.productId = productId;
    c.location.busNumber = bus;
    c.location.portNumbers = std::move(ports);
    std::shared_ptr<State> state = m_state;
    c.open = [state](std::unique_ptr<PtpTransport> &transport) { return OpenSim(state, transport); };
    return c;
}

MtpDeviceCandidate WrapTransports(
    MtpDeviceCandidate candidate,
    std::function<std::unique_ptr<PtpTransport>(std::unique_ptr<PtpTransport>)> wrap)
{
    candidate.open = [open = std::move(candidate.open),
                      wrap = std::move(wrap)](std::unique_ptr<PtpTransport> &transport) {
        const TransferStatus status = open(transport);
        if (status == TransferStatus::Ok && transport)
            transport = wrap(std::move(transport));
        return status;
    };
    return candidate;
}
} // namespace vxsim
