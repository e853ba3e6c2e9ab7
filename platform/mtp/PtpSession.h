#pragma once

#include "platform/mtp/PtpCodec.h"
#include "platform/mtp/PtpTransport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

namespace vxmtp
{
// Direction of a transaction's data phase.
enum class DataPhase
{
    None, // command and response only
    In,   // the device sends data to the host
    Out,  // the host sends data to the device
};

// How a transaction ended. A transaction completed when the transport carried it and the device
// answered with a well-formed response; code is then the device's response code.
struct PtpResult
{
    TransferStatus transport = TransferStatus::Ok;
    bool protocolError = false; // malformed, truncated or mismatched container
    std::uint16_t code = 0;
    std::vector<std::uint32_t> params;

    bool Completed() const { return transport == TransferStatus::Ok && !protocolError && code != 0; }
    bool IsOk() const { return Completed() && code == kRespOk; }
};

// The transaction engine and the operations the program needs, over one PTP interface.
// Thread-safe: one transaction runs at a time. Releasing the object does not close the device's
// session, so that the effect of a vendor operation survives until the next user of the device.
//
// A transaction that broke off before its response (a timeout, a stalled pipe, a malformed or
// mismatched container) still fails, but leaves the device ready for the next one: the session
// sends the still-image class Cancel Request for its transaction id, polls Get Device Status until
// the device answers OK (clearing the halted endpoints it names, and reading away what is still on
// its way in), and falls back to Device Reset, after which it opens its session again. When neither
// brings the device back, within kRecoveryBudgetMs counted in worst-case waits, the session fails:
// IsOpen() is false and every later transaction fails at once without touching the bus, and the
// next device check opens the interface afresh.
class PtpSession
{
  public:
    // The most a recovery may take: the sum of the timeouts of its requests and of its pauses.
    static constexpr unsigned kRecoveryBudgetMs = 20000;
    static constexpr unsigned kControlTimeoutMs = 500;
    static constexpr unsigned kStatusPollIntervalMs = 100;
    static constexpr unsigned kDrainTimeoutMs = 50;
    static constexpr int kStatusPollsPerStep = 8;

    explicit PtpSession(std::unique_ptr<PtpTransport> transport, unsigned timeoutMs = 5000);
    PtpSession(const PtpSession &) = delete;
    PtpSession &operator=(const PtpSession &) = delete;

    // One transaction. For DataPhase::Out, *data is sent; for DataPhase::In, *data receives the
    // payload (it is cleared first). data may be null for DataPhase::None.
    PtpResult Transact(std::uint16_t op, std::span<const std::uint32_t> params, DataPhase phase,
                       std::vector<std::uint8_t> *data);

    PtpResult GetDeviceInfo(DeviceInfo &info);
    // Opens session 1. A device that answers SessionAlreadyOpen is treated as open.
    PtpResult OpenSession();
    bool IsOpen() const;

    // Storage ids whose low 16 bits are 0 (no medium behind them) are left out.
    PtpResult GetStorageIds(std::vector<std::uint32_t> &ids);
    PtpResult GetStorageInfo(std::uint32_t storageId, StorageInfo &info);
    // parent kHandleRoot lists the storage's root.
    PtpResult GetObjectHandles(std::uint32_t storageId, std::uint32_t parent,
                               std::vector<std::uint32_t> &handles);
    PtpResult GetObjectInfo(std::uint32_t handle, ObjectInfo &info);
    PtpResult GetObject(std::uint32_t handle, std::vector<std::uint8_t> &bytes);
    PtpResult DeleteObject(std::uint32_t handle);
    // SendObjectInfo followed directly by SendObject. info's storage id and size are filled in
    // here. newHandle receives the handle the device gave the object as soon as SendObjectInfo
    // succeeded (0 otherwise), so a caller can remove what a failed SendObject left behind.
    PtpResult SendObject(std::uint32_t storageId, std::uint32_t parent, ObjectInfo info,
                         std::span<const std::uint8_t> bytes, std::uint32_t &newHandle);
    PtpResult GetHidden(std::uint32_t handle, bool &hidden);
    PtpResult SetHidden(std::uint32_t handle, bool hidden);
    // Whether the device lets the property of objects of the format be set (GetObjectPropDesc).
    PtpResult PropertySettable(std::uint16_t property, std::uint16_t format, bool &settable);
    // Renames the object through its ObjectFileName property.
    PtpResult SetFileName(std::uint32_t handle, std::u16string_view name);
    // The session gave up on a device that did not recover from a broken transaction.
    bool Failed() const;

    std::size_t MaxPacketSize() const { return m_mps; }

    // The longest container accepted from the device. A container announcing more fails its
    // transaction at once, before anything is collected, so a device whose length field lies (or
    // whose data phase never ends) cannot make the host hold gigabytes. The default is far above
    // any file or dataset the program reads.
    static constexpr std::size_t kDefaultMaxContainerLength = 64u << 20;
    void SetMaxContainerLength(std::size_t bytes);

  private:
    void Exchange(std::uint16_t op, std::uint32_t tid, std::span<const std::uint32_t> params, DataPhase phase,
                  std::vector<std::uint8_t> *data, PtpResult &result);
    // Brings the device back after a transaction that broke off; false when it could not.
    bool Recover(std::uint32_t tid);
    bool Charge(unsigned milliseconds);
    bool AwaitReady();
    // Reads away what the device still sends; false when it did not stop within the budget.
    bool Drain(int maxTransfers);
    void ClearHalt(bool bulkIn);
    TransferStatus SendContainer(const std::vector<std::uint8_t> &container);
    // Reads one whole container; false with status/protocolError set when it cannot.
    bool ReadContainer(std::vector<std::uint8_t> &container, PtpResult &result);
    bool ReadTransfer(PtpResult &result, std::size_t &got, bool &endedByFullBuffer);

    std::unique_ptr<PtpTransport> m_transport;
    unsigned m_timeoutMs;
    std::size_t m_mps;
    std::size_t m_chunk;
    std::size_t m_maxContainer = kDefaultMaxContainerLength;
    std::vector<std::uint8_t> m_pending; // bytes of the next container already received
    // The last transfer into m_pending ended short: nothing more of its bytes will come.
    bool m_pendingEndsTransfer = false;
    bool m_open = false;
    bool m_failed = false;
    bool m_inStalled = false;
    bool m_outStalled = false;
    unsigned m_budgetLeft = 0; // of the running recovery
    std::uint32_t m_nextTid = 1;
    mutable std::recursive_mutex m_mutex;
};
} // namespace vxmtp
