#include "platform/mtp/PtpSession.h"

#include "platform/mtp/MtpPause.h"

#include <algorithm>

namespace vxmtp
{
namespace
{
constexpr std::size_t kReadChunk = 16384;
// Containers left over from an earlier, broken transaction are skipped, but not forever.
constexpr int kMaxStaleContainers = 8;
constexpr int kMaxEmptyTransfers = 3;
// What a recovery reads away: the tail of a data phase the device was still sending.
constexpr std::size_t kDrainChunk = 65536;
constexpr int kMaxDrainTransfers = 64;
constexpr std::size_t kStatusBufferSize = 64;
} // namespace

PtpSession::PtpSession(std::unique_ptr<PtpTransport> transport, unsigned timeoutMs)
    : m_transport(std::move(transport)), m_timeoutMs(timeoutMs)
{
    m_mps = m_transport ? m_transport->maxPacketSize() : 0;
    if (m_mps == 0)
        m_mps = 512;
    m_chunk = m_mps * std::max<std::size_t>(1, kReadChunk / m_mps);
}

void PtpSession::SetMaxContainerLength(std::size_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_maxContainer = std::max(bytes, kContainerHeaderSize);
}

bool PtpSession::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

bool PtpSession::Failed() const
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

TransferStatus PtpSession::SendContainer(const std::vector<std::uint8_t> &container)
{
    TransferStatus st = m_transport->bulkOut(container, m_timeoutMs);
    // A transfer that fills its last packet exactly needs a zero-length packet to end it.
    if (st == TransferStatus::Ok && container.size() % m_mps == 0)
        st = m_transport->bulkOut({}, m_timeoutMs);
    if (st == TransferStatus::Stall)
        m_outStalled = true;
    return st;
}

bool PtpSession::ReadTransfer(PtpResult &result, std::size_t &got, bool &endedByFullBuffer)
{
    const std::size_t old = m_pending.size();
    m_pending.resize(old + m_chunk);
    got = 0;
    const TransferStatus st =
        m_transport->bulkIn(std::span<std::uint8_t>(m_pending.data() + old, m_chunk), got, m_timeoutMs);
    got = std::min(got, m_chunk);
    m_pending.resize(old + (st == TransferStatus::Ok ? got : 0));
    if (st != TransferStatus::Ok)
    {
        if (st == TransferStatus::Stall)
            m_inStalled = true;
        result.transport = st;
        return false;
    }
    endedByFullBuffer = got == m_chunk;
    m_pendingEndsTransfer = !endedByFullBuffer;
    return true;
}

bool PtpSession::ReadContainer(std::vector<std::uint8_t> &container, PtpResult &result)
{
    std::size_t got = 0;
    bool lastFull = false;
    bool readAny = false;
    int empties = 0;
    auto fail = [&] {
        result.protocolError = true;
        m_pending.clear();
        m_pendingEndsTransfer = false;
        return false;
    };
    while (m_pending.size() < kContainerHeaderSize)
    {
        // What is left of a transfer that ended short cannot be continued by the next one.
        if (!m_pending.empty() && m_pendingEndsTransfer)
            return fail();
        if (!ReadTransfer(result, got, lastFull))
            return false;
        readAny = true;
        if (got == 0)
        {
            // Stray zero-length packets before a container are harmless.
            if (m_pending.empty() && ++empties <= kMaxEmptyTransfers)
                continue;
            return fail();
        }
        if (!lastFull && m_pending.size() < kContainerHeaderSize)
            return fail();
    }
    ContainerHeader h;
    if (!DecodeHeader(m_pending, h) || h.length > m_maxContainer)
        return fail();
    while (m_pending.size() < h.length)
    {
        // A transfer ends at a short packet, and a container never spans two transfers that way:
        // the device cut its container short.
        if (m_pendingEndsTransfer)
            return fail();
        if (!ReadTransfer(result, got, lastFull))
        {
            m_pending.clear();
            return false;
        }
        readAny = true;
        if (got == 0)
            return fail();
    }
    container.assign(m_pending.begin(), m_pending.begin() + h.length);
    m_pending.erase(m_pending.begin(), m_pending.begin() + h.length);
    // A container that does not fill its last packet ends its transfer. Bytes behind it came in
    // that same packet: no device sends them, and taken as the next container they could pass
    // for a response the device never gave.
    if (!m_pending.empty() && h.length % m_mps != 0)
        return fail();
    // A container that fills its last packet is followed by a zero-length packet. When our buffer
    // filled up at the container's end that packet is still waiting: consume it. A device that
    // leaves it out sends its next container instead, which is kept.
    if (h.length % m_mps == 0 && m_pending.empty() && readAny && lastFull)
    {
        bool full = false;
        if (!ReadTransfer(result, got, full))
        {
            // Nothing followed: the device left the packet out, and the container stands.
            if (result.transport != TransferStatus::Timeout)
                return false;
            result.transport = TransferStatus::Ok;
        }
    }
    return true;
}

PtpResult PtpSession::Transact(std::uint16_t op, std::span<const std::uint32_t> params, DataPhase phase,
                               std::vector<std::uint8_t> *data)
{
    std::lock_guard lock(m_mutex);
    PtpResult result;
    if (!m_transport || ((phase != DataPhase::None) && !data) || params.size() > kMaxParams)
    {
        result.transport = TransferStatus::Error;
        return result;
    }
    // A device that did not come back is not asked again; the next device check starts afresh.
    if (m_failed)
    {
        result.transport = TransferStatus::Error;
        return result;
    }
    // Operations outside a session and OpenSession itself carry transaction id 0.
    std::uint32_t tid = 0;
    if (m_open && op != kOpOpenSession)
    {
        tid = m_nextTid++;
        if (m_nextTid == 0xFFFFFFFF)
            m_nextTid = 1;
    }
    Exchange(op, tid, params, phase, data, result);
    // Without a response the device may still be in the middle of the transaction (sending the
    // rest of a data phase, waiting for the rest of ours), and it would take our next command for
    // part of this one. An unplugged device needs nothing.
    if (result.code == 0 && result.transport != TransferStatus::NoDevice)
        Recover(tid);
    return result;
}

void PtpSession::Exchange(std::uint16_t op, std::uint32_t tid, std::span<const std::uint32_t> params,
                          DataPhase phase, std::vector<std::uint8_t> *data, PtpResult &result)
{
    // Bytes of an earlier, broken exchange must not be taken for this one's.
    m_pending.clear();
    m_pendingEndsTransfer = false;

    result.transport = SendContainer(EncodeParamContainer(kContainerCommand, op, tid, params));
    if (result.transport != TransferStatus::Ok)
        return;
    if (phase == DataPhase::Out)
    {
        result.transport = SendContainer(EncodeDataContainer(op, tid, *data));
        if (result.transport != TransferStatus::Ok)
            return;
    }
    if (phase == DataPhase::In)
        data->clear();

    std::vector<std::uint8_t> container;
    int stale = 0;
    bool haveData = false;
    for (;;)
    {
        if (!ReadContainer(container, result))
            return;
        ContainerHeader h;
        DecodeHeader(container, h);
        if (h.type == kContainerEvent || h.transactionId != tid)
        {
            if (++stale > kMaxStaleContainers)
            {
                result.protocolError = true;
                return;
            }
            continue;
        }
        if (h.type == kContainerData)
        {
            if (phase != DataPhase::In || haveData || h.code != op)
            {
                result.protocolError = true;
                return;
            }
            data->assign(container.begin() + kContainerHeaderSize, container.end());
            haveData = true;
            continue;
        }
        if (h.type != kContainerResponse)
        {
            result.protocolError = true;
            return;
        }
        result.code = h.code;
        result.params = DecodeParams(container);
        // A device that refuses a read answers at once, without a data phase.
        if (phase == DataPhase::In && !haveData && h.code == kRespOk)
            result.protocolError = true;
        return;
    }
}

PtpResult PtpSession::GetDeviceInfo(DeviceInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetDeviceInfo, {}, DataPhase::In, &data);
    if (r.IsOk() && !DecodeDeviceInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::OpenSession()
{
    std::lock_guard lock(m_mutex);
    const std::uint32_t sessionId = 1;
    PtpResult r = Transact(kOpOpenSession, std::span(&sessionId, 1), DataPhase::None, nullptr);
    if (r.Completed() && (r.code == kRespOk || r.code == kRespSessionAlreadyOpen))
    {
        m_open = true;
        m_nextTid = 1;
    }
    return r;
}

PtpResult PtpSession::GetStorageIds(std::vector<std::uint32_t> &ids)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetStorageIds, {}, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    PtpReader reader(data);
    std::vector<std::uint32_t> all;
    if (!reader.U32Array(all))
    {
        r.protocolError = true;
        return r;
    }
    ids.clear();
    for (std::uint32_t id : all)
        if ((id & 0xFFFF) != 0)
            ids.push_back(id);
    return r;
}

PtpResult PtpSession::GetStorageInfo(std::uint32_t storageId, StorageInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetStorageInfo, std::span(&storageId, 1), DataPhase::In, &data);
    if (r.IsOk() && !DecodeStorageInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObjectHandles(std::uint32_t storageId, std::uint32_t parent,
                                       std::vector<std::uint32_t> &handles)
{
    const std::uint32_t params[] = {storageId, 0, parent};
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectHandles, params, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    PtpReader reader(data);
    if (!reader.U32Array(handles))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObjectInfo(std::uint32_t handle, ObjectInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectInfo, std::span(&handle, 1), DataPhase::In, &data);
    if (r.IsOk() && !DecodeObjectInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObject(std::uint32_t handle, std::vector<std::uint8_t> &bytes)
{
    return Transact(kOpGetObject, std::span(&handle, 1), DataPhase::In, &bytes);
}

PtpResult PtpSession::DeleteObject(std::uint32_t handle)
{
    const std::uint32_t params[] = {handle, 0};
    return Transact(kOpDeleteObject, params, DataPhase::None, nullptr);
}

PtpResult PtpSession::SendObject(std::uint32_t storageId, std::uint32_t parent, ObjectInfo info,
                                 std::span<const std::uint8_t> bytes, std::uint32_t &newHandle)
{
    std::lock_guard lock(m_mutex);
    newHandle = 0;
    info.storageId = storageId;
    // Objects of 4 GiB and more announce the size as unknown.
    info.objectCompressedSize =
        bytes.size() >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes.size());
    std::vector<std::uint8_t> data = EncodeObjectInfo(info);
    const std::uint32_t params[] = {storageId, parent};
    PtpResult r = Transact(kOpSendObjectInfo, params, DataPhase::Out, &data);
    if (!r.IsOk())
        return r;
    if (r.params.size() < 3)
    {
        r.protocolError = true;
        return r;
    }
    newHandle = r.params[2];
    data.assign(bytes.begin(), bytes.end());
    return Transact(kOpSendObject, {}, DataPhase::Out, &data);
}

PtpResult PtpSession::GetHidden(std::uint32_t handle, bool &hidden)
{
    const std::uint32_t params[] = {handle, kPropHidden};
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectPropValue, params, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    if (data.empty())
    {
        r.protocolError = true;
        return r;
    }
    // The property is a UINT16; a one-byte answer is read as what it is.
    hidden = data[0] != 0 || (data.size() > 1 && data[1] != 0);
    return r;
}

PtpResult PtpSession::SetHidden(std::uint32_t handle, bool hidden)
{
    const std::uint32_t params[] = {handle, kPropHidden};
    std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(hidden ? 1 : 0), 0};
    return Transact(kOpSetObjectPropValue, params, DataPhase::Out, &data);
}

PtpResult PtpSession::PropertySettable(std::uint16_t property, std::uint16_t format, bool &settable)
{
    settable = false;
    const std::uint32_t params[] = {property, format};
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectPropDesc, params, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    ObjectPropDesc desc;
    if (!DecodeObjectPropDesc(data, desc) || desc.propertyCode != property)
    {
        r.protocolError = true;
        return r;
    }
    settable = desc.settable;
    return r;
}

PtpResult PtpSession::SetFileName(std::uint32_t handle, std::u16string_view name)
{
    const std::uint32_t params[] = {handle, kPropObjectFileName};
    PtpWriter w;
    w.String(name);
    std::vector<std::uint8_t> data = w.Take();
    return Transact(kOpSetObjectPropValue, params, DataPhase::Out, &data);
}

bool PtpSession::Charge(unsigned milliseconds)
{
    if (m_budgetLeft < milliseconds)
    {
        m_budgetLeft = 0;
        return false;
    }
    m_budgetLeft -= milliseconds;
    return true;
}

void PtpSession::ClearHalt(bool bulkIn)
{
    if (Charge(kControlTimeoutMs) && m_transport->clearHalt(bulkIn, kControlTimeoutMs) == TransferStatus::Ok)
        (bulkIn ? m_inStalled : m_outStalled) = false;
}

bool PtpSession::Drain(int maxTransfers)
{
    std::vector<std::uint8_t> scratch(m_mps * std::max<std::size_t>(1, kDrainChunk / m_mps));
    for (int i = 0; i < maxTransfers; ++i)
    {
        if (!Charge(kDrainTimeoutMs))
            return false;
        std::size_t got = 0;
        const TransferStatus st = m_transport->bulkIn(scratch, got, kDrainTimeoutMs);
        if (st == TransferStatus::Stall)
        {
            ClearHalt(true);
            continue;
        }
        if (st != TransferStatus::Ok)
            return st == TransferStatus::Timeout; // nothing more on its way
    }
    return false;
}

bool PtpSession::AwaitReady()
{
    for (int poll = 0; poll < kStatusPollsPerStep; ++poll)
    {
        if (poll > 0)
        {
            // Whatever the device still had on its way goes first: some finish cancelling only once
            // their pipe is empty.
            Drain(1);
            if (!Charge(kStatusPollIntervalMs))
                return false;
            PauseFor(kStatusPollIntervalMs);
        }
        if (!Charge(kControlTimeoutMs))
            return false;
        std::uint8_t buffer[kStatusBufferSize] = {};
        std::size_t got = 0;
        const TransferStatus st =
            m_transport->classRequestIn(kClassGetDeviceStatus, buffer, got, kControlTimeoutMs);
        if (st == TransferStatus::NoDevice)
            return false;
        DeviceStatus status;
        if (st != TransferStatus::Ok || !DecodeDeviceStatus(std::span(buffer, std::min(got, sizeof buffer)), status))
            continue;
        // The device names the endpoints it halted; they stay halted until the host clears them.
        bool in = false, out = false;
        for (const std::uint8_t endpoint : status.haltedEndpoints)
            ((endpoint & 0x80) != 0 ? in : out) = true;
        if (in)
            ClearHalt(true);
        if (out)
            ClearHalt(false);
        if (status.code == kRespOk)
            return true;
    }
    return false;
}

bool PtpSession::Recover(std::uint32_t tid)
{
    m_pending.clear();
    m_pendingEndsTransfer = false;
    m_budgetLeft = kRecoveryBudgetMs;
    // A pipe that stalled stays halted until it is cleared.
    if (m_inStalled)
        ClearHalt(true);
    if (m_outStalled)
        ClearHalt(false);

    PtpWriter cancel;
    cancel.U16(kCancellationCode);
    cancel.U32(tid);
    bool ready = Charge(kControlTimeoutMs) &&
                 m_transport->classRequestOut(kClassCancelRequest, cancel.Data(), kControlTimeoutMs) ==
                     TransferStatus::Ok &&
                 AwaitReady();
    bool reset = false;
    if (!ready)
    {
        // The device did not take the cancellation: a reset ends whatever it was doing, and its session.
        reset = Charge(kControlTimeoutMs) &&
                m_transport->classRequestOut(kClassDeviceReset, {}, kControlTimeoutMs) == TransferStatus::Ok;
        ready = reset && AwaitReady();
    }
    if (ready)
        ready = Drain(kMaxDrainTransfers);
    m_pending.clear();
    m_pendingEndsTransfer = false;
    if (ready && reset && m_open)
    {
        // Sessions end with a reset; ours is opened again, so that the next transaction finds it.
        m_open = false;
        const std::uint32_t sessionId = 1;
        PtpResult r;
        Exchange(kOpOpenSession, 0, std::span(&sessionId, 1), DataPhase::None, nullptr, r);
        ready = r.Completed() && (r.code == kRespOk || r.code == kRespSessionAlreadyOpen);
        if (ready)
        {
            m_open = true;
            m_nextTid = 1;
        }
    }
    if (!ready)
    {
        m_failed = true;
        m_open = false;
    }
    return ready;
}
} // namespace vxmtp
