// Runs PTP transactions against a hostile device: the input scripts every transfer the device
// sends, so containers can be cut short, overlong, mislabelled, stale, split or glued together,
// and any transfer can fail.
//
// Input: byte 0 chooses the packet size (8, 64, 512 or 1024), bytes 1-2 the longest container the
// session accepts (64 + the value), byte 3 the number of operations (1-8) and the next bytes one
// operation each; the rest is the device's script, read as the host asks: each transfer the host
// sends takes one byte (0xF8 and above fail it), each transfer the host reads takes a kind byte
// and what that kind needs (see Device::NextTransfer). The recovery of a broken transaction reads
// the script too: a class request the host sends takes one byte like a transfer, a device status
// it asks for takes one (see Device::classRequestIn).

#include "fuzz/FuzzInput.h"
#include "platform/mtp/MtpPause.h"
#include "platform/mtp/PtpSession.h"

#include <cstring>
#include <deque>
#include <memory>

using namespace vxmtp;

namespace
{
struct DeviceState
{
    explicit DeviceState(vxfuzz::InputReader &reader) : script(reader) {}
    vxfuzz::InputReader &script;
    std::deque<std::uint8_t> queued; // the rest of a transfer longer than the host's buffer
    std::uint16_t lastOp = 0;
    std::uint32_t lastTid = 0;
    bool Exhausted() const { return queued.empty() && script.Remaining() == 0; }
};

class Device : public PtpTransport
{
  public:
    Device(DeviceState &state, std::size_t mps) : m_state(state), m_mps(mps) {}

    TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned) override
    {
        const std::uint8_t fate = m_state.script.U8();
        if (fate >= 0xF8)
            return Failure(fate);
        ContainerHeader header;
        if (DecodeHeader(data, header) && header.type == kContainerCommand)
        {
            m_state.lastOp = header.code;
            m_state.lastTid = header.transactionId;
        }
        return TransferStatus::Ok;
    }

    TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received, unsigned) override
    {
        received = 0;
        VX_FUZZ_CHECK(!buffer.empty() && buffer.size() % m_mps == 0);
        if (m_state.queued.empty())
        {
            if (m_state.script.Remaining() == 0)
                return TransferStatus::Timeout;
            std::vector<std::uint8_t> transfer;
            const TransferStatus status = NextTransfer(transfer);
            if (status != TransferStatus::Ok)
                return status;
            if (transfer.empty())
                return TransferStatus::Ok; // a zero-length packet
            m_state.queued.assign(transfer.begin(), transfer.end());
        }
        received = std::min(buffer.size(), m_state.queued.size());
        std::copy_n(m_state.queued.begin(), received, buffer.begin());
        m_state.queued.erase(m_state.queued.begin(),
                             m_state.queued.begin() + static_cast<std::ptrdiff_t>(received));
        return TransferStatus::Ok;
    }

    std::size_t maxPacketSize() const override { return m_mps; }

    TransferStatus classRequestOut(std::uint8_t, std::span<const std::uint8_t>, unsigned) override
    {
        if (m_state.script.Remaining() == 0)
            return TransferStatus::Timeout;
        const std::uint8_t fate = m_state.script.U8();
        return fate >= 0xF8 ? Failure(fate) : TransferStatus::Ok;
    }

    // Low two bits the status code (OK, Busy, Transaction Cancelled, any other), the next two bits
    // the halted endpoints named (none, bulk-in, bulk-out, an address that is no endpoint); 0xF8
    // and above fail the request.
    TransferStatus classRequestIn(std::uint8_t, std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned) override
    {
        received = 0;
        if (m_state.script.Remaining() == 0)
            return TransferStatus::Timeout;
        const std::uint8_t pick = m_state.script.U8();
        if (pick >= 0xF8)
            return Failure(pick);
        static constexpr std::uint16_t kCodes[] = {kRespOk, kRespDeviceBusy, kRespTransactionCancelled, 0x2002};
        std::vector<std::uint8_t> bytes = EncodeDeviceStatus({kCodes[pick & 3], {}});
        static constexpr std::uint32_t kEndpoints[] = {0, 0x81, 0x02, 0x1234};
        if (const std::uint32_t ep = kEndpoints[(pick >> 2) & 3]; ep != 0)
        {
            PtpWriter w;
            w.U16(8);
            w.U16(kCodes[pick & 3]);
            w.U32(ep);
            bytes = w.Take();
        }
        // Bit 4 cuts the answer short.
        if ((pick & 0x10) != 0)
            bytes.resize(3);
        received = std::min(bytes.size(), buffer.size());
        std::copy_n(bytes.begin(), received, buffer.begin());
        return TransferStatus::Ok;
    }

    TransferStatus clearHalt(bool, unsigned) override { return TransferStatus::Ok; }

  private:
    static TransferStatus Failure(std::uint8_t code)
    {
        switch (code % 4)
        {
        case 0:
            return TransferStatus::Timeout;
        case 1:
            return TransferStatus::Stall;
        case 2:
            return TransferStatus::NoDevice;
        default:
            return TransferStatus::Error;
        }
    }

    // A kind byte (low three bits the kind, the high bits its variations), then what the kind needs.
    TransferStatus NextTransfer(std::vector<std::uint8_t> &transfer)
    {
        vxfuzz::InputReader &in = m_state.script;
        const std::uint8_t kind = in.U8();
        const std::uint8_t variation = kind >> 3;
        // Most containers carry the transaction id of the last command; some an earlier or a later one.
        const std::uint32_t tid =
            m_state.lastTid + ((variation & 1) ? static_cast<std::uint32_t>(in.U8()) - 128 : 0);
        switch (kind & 7)
        {
        case 0: { // raw bytes
            const auto bytes = in.Bytes(in.U16() % 4096);
            transfer.assign(bytes.begin(), bytes.end());
            return TransferStatus::Ok;
        }
        case 1: { // a data container for the last command, its length field true or off
            const auto payload = in.Bytes(in.U16() % 4096);
            transfer = EncodeDataContainer((variation & 2) ? in.U16() : m_state.lastOp, tid,
                                           std::vector<std::uint8_t>(payload.begin(), payload.end()));
            if (variation & 4)
            {
                const std::uint32_t lie = static_cast<std::uint32_t>(transfer.size()) + in.U16() - 0x8000u;
                std::memcpy(transfer.data(), &lie, 4);
            }
            return TransferStatus::Ok;
        }
        case 2: { // a response
            static constexpr std::uint16_t kCodes[] = {
                kRespOk, kRespGeneralError, kRespSessionAlreadyOpen, kRespIncompleteTransfer, kRespDeviceBusy,
                0};
            const std::uint8_t pick = in.U8();
            const std::uint16_t code = pick < 6 ? kCodes[pick] : static_cast<std::uint16_t>(0x2000 | pick);
            std::vector<std::uint32_t> params(in.U8() % 6);
            for (auto &p : params)
                p = in.U32();
            transfer = EncodeParamContainer(kContainerResponse, code, tid, params);
            return TransferStatus::Ok;
        }
        case 3: // a zero-length packet
            return TransferStatus::Ok;
        case 4: { // an event
            const std::uint16_t code = in.U16();
            transfer = EncodeParamContainer(kContainerEvent, code, tid, {});
            return TransferStatus::Ok;
        }
        case 5: { // a data container and a response in one transfer
            const auto payload = in.Bytes(in.U8());
            transfer = EncodeDataContainer(m_state.lastOp, tid,
                                           std::vector<std::uint8_t>(payload.begin(), payload.end()));
            const auto response = EncodeParamContainer(kContainerResponse, kRespOk, tid, {});
            transfer.insert(transfer.end(), response.begin(), response.end());
            return TransferStatus::Ok;
        }
        default:
            return Failure(in.U8());
        }
    }

    DeviceState &m_state;
    std::size_t m_mps;
};

void Check(const PtpResult &r)
{
    VX_FUZZ_CHECK(!r.IsOk() || r.Completed());
    VX_FUZZ_CHECK(r.transport == TransferStatus::Ok || !r.Completed());
    VX_FUZZ_CHECK(r.params.size() <= kMaxParams);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxfuzz::InputReader in(data, size);
    static constexpr std::size_t kPacketSizes[] = {8, 64, 512, 1024};
    const std::size_t mps = kPacketSizes[in.U8() % 4];
    const std::size_t maxContainer = 64 + in.U16();
    std::vector<std::uint8_t> ops(in.U8() % 8 + 1);
    for (auto &op : ops)
        op = in.U8();

    // No fuzz run sleeps between status polls.
    static const bool kNoPauses = [] {
        SetPauseFunction([](unsigned) {});
        return true;
    }();
    (void)kNoPauses;

    DeviceState state(in);
    PtpSession session(std::make_unique<Device>(state, mps), 1);
    session.SetMaxContainerLength(maxContainer);

    for (const std::uint8_t op : ops)
    {
        // Nothing left to send: whatever the host got before belongs to earlier exchanges.
        const bool silent = state.Exhausted();
        // A session that gave up does not touch the device again.
        const bool failed = session.Failed();
        const std::size_t scriptLeft = in.Remaining();
        PtpResult r;
        switch (op % 12)
        {
        case 0: {
            DeviceInfo info;
            r = session.GetDeviceInfo(info);
            break;
        }
        case 1:
            r = session.OpenSession();
            VX_FUZZ_CHECK(!r.IsOk() || session.IsOpen());
            break;
        case 2: {
            std::vector<std::uint32_t> ids;
            r = session.GetStorageIds(ids);
            if (r.IsOk())
                for (std::uint32_t id : ids)
                    VX_FUZZ_CHECK((id & 0xFFFF) != 0);
            break;
        }
        case 3: {
            StorageInfo info;
            r = session.GetStorageInfo(0x00010001, info);
            break;
        }
        case 4: {
            std::vector<std::uint32_t> handles;
            r = session.GetObjectHandles(0x00010001, kHandleRoot, handles);
            break;
        }
        case 5: {
            ObjectInfo info;
            r = session.GetObjectInfo(7, info);
            break;
        }
        case 6: {
            std::vector<std::uint8_t> bytes;
            r = session.GetObject(7, bytes);
            if (r.IsOk())
                VX_FUZZ_CHECK(bytes.size() + kContainerHeaderSize <= maxContainer);
            break;
        }
        case 7:
            r = session.DeleteObject(7);
            break;
        case 8: {
            ObjectInfo info;
            info.filename = u"FR.DAT";
            const std::vector<std::uint8_t> bytes(op, 0x5A);
            std::uint32_t handle = 0xFFFF;
            r = session.SendObject(0x00010001, kHandleRoot, info, bytes, handle);
            break;
        }
        case 9: {
            bool hidden = false;
            r = session.GetHidden(7, hidden);
            break;
        }
        case 10:
            r = session.SetHidden(7, (op & 0x10) != 0);
            break;
        default: {
            // A vendor operation with any data phase.
            const DataPhase phase = static_cast<DataPhase>((op >> 4) % 3);
            std::vector<std::uint8_t> payload(op & 0x0F, 0xA5);
            const std::uint32_t params[] = {1, 2, 3};
            r = session.Transact(0x9D05, params, phase, &payload);
            break;
        }
        }
        Check(r);
        if (silent)
            VX_FUZZ_CHECK(!r.Completed());
        if (failed)
            VX_FUZZ_CHECK(!r.Completed() && in.Remaining() == scriptLeft && !session.IsOpen());
    }
    return 0;
}
