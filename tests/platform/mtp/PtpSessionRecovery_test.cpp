#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/MtpPause.h"
#include "platform/mtp/PtpSession.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace vxmtp;
using vxsim::SimControlRequest;
using vxsim::SimMtpMonitor;
using Bytes = std::vector<std::uint8_t>;

// A transaction that breaks off before its response leaves the monitor in the middle of it. The
// session cancels it the still-image class's way and goes on with the next transaction id; a
// monitor that does not come back fails the session cleanly, in bounded time.
namespace
{
constexpr std::uint32_t kStorage = 0x00010001;
constexpr unsigned kTimeoutMs = 5000;

Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return b;
}

// Adds up the longest each request to the monitor could have waited: its timeout.
class WaitCountingTransport : public vxsim::PassThroughTransport
{
  public:
    WaitCountingTransport(std::unique_ptr<PtpTransport> inner, std::shared_ptr<unsigned long> waited)
        : PassThroughTransport(std::move(inner)), m_waited(std::move(waited))
    {
    }
    TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) override
    {
        *m_waited += timeoutMs;
        return PassThroughTransport::bulkOut(data, timeoutMs);
    }
    TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received, unsigned timeoutMs) override
    {
        *m_waited += timeoutMs;
        return PassThroughTransport::bulkIn(buffer, received, timeoutMs);
    }
    TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t> data,
                                   unsigned timeoutMs) override
    {
        *m_waited += timeoutMs;
        return PassThroughTransport::classRequestOut(request, data, timeoutMs);
    }
    TransferStatus classRequestIn(std::uint8_t request, std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned timeoutMs) override
    {
        *m_waited += timeoutMs;
        return PassThroughTransport::classRequestIn(request, buffer, received, timeoutMs);
    }
    TransferStatus clearHalt(bool bulkInEndpoint, unsigned timeoutMs) override
    {
        *m_waited += timeoutMs;
        return PassThroughTransport::clearHalt(bulkInEndpoint, timeoutMs);
    }

  private:
    std::shared_ptr<unsigned long> m_waited;
};

struct Fixture
{
    SimMtpMonitor sim;
    std::uint32_t file = 0;
    Bytes content = Pattern(3000);
    std::shared_ptr<unsigned long> waited = std::make_shared<unsigned long>(0);
    std::vector<unsigned> pauses;
    ScopedPauseFunction pause{[this](unsigned ms) { pauses.push_back(ms); }};
    std::unique_ptr<PtpSession> session;

    Fixture()
    {
        sim.AddStorage(kStorage, u"Internal");
        file = sim.AddFile(kStorage, 0, u"FR.DAT", content);
        session = std::make_unique<PtpSession>(std::make_unique<WaitCountingTransport>(sim.Connect(), waited),
                                               kTimeoutMs);
        EXPECT_TRUE(session->OpenSession().IsOk());
        sim.ClearLogs();
        *waited = 0;
    }

    unsigned long PausedMs() const
    {
        unsigned long sum = 0;
        for (unsigned p : pauses)
            sum += p;
        return sum;
    }

    std::size_t Count(std::uint8_t request) const
    {
        const auto log = sim.ControlLog();
        return static_cast<std::size_t>(std::count_if(
            log.begin(), log.end(), [&](const SimControlRequest &r) { return r.request == request; }));
    }
};

Bytes CancelData(std::uint32_t tid)
{
    return Bytes{0x01, 0x40, static_cast<std::uint8_t>(tid), static_cast<std::uint8_t>(tid >> 8),
                 static_cast<std::uint8_t>(tid >> 16), static_cast<std::uint8_t>(tid >> 24)};
}

std::uint32_t LastTid(const SimMtpMonitor &sim)
{
    const auto log = sim.OperationLog();
    return log.empty() ? 0 : log.back().transactionId;
}
} // namespace

// The monitor stops half-way through the data phase of a read and sends the rest only after the
// host gave up waiting. The read fails; the transaction is cancelled with its id, the late rest is
// read away, and the next transactions (with the next ids) work.
TEST(PtpSessionRecovery, LateTailOfAStalledDataPhaseIsCancelledAndReadAway)
{
    for (const std::size_t packetsFirst : {std::size_t{1}, std::size_t{3}})
    {
        SCOPED_TRACE(packetsFirst);
        Fixture f;
        f.sim.InjectStalledDataPhase(kOpGetObject, packetsFirst);
        Bytes got;
        const PtpResult broken = f.session->GetObject(f.file, got);
        EXPECT_FALSE(broken.Completed());
        EXPECT_EQ(broken.transport, TransferStatus::Timeout);
        const std::uint32_t brokenTid = LastTid(f.sim);

        const auto control = f.sim.ControlLog();
        ASSERT_GE(control.size(), 2u);
        EXPECT_EQ(control[0].request, kClassCancelRequest);
        EXPECT_EQ(control[0].data, CancelData(brokenTid));
        EXPECT_EQ(control[1].request, kClassGetDeviceStatus);
        EXPECT_EQ(f.Count(kClassDeviceReset), 0u);
        EXPECT_TRUE(f.session->IsOpen());

        std::vector<std::uint32_t> ids;
        ASSERT_TRUE(f.session->GetStorageIds(ids).IsOk());
        EXPECT_EQ(ids, (std::vector<std::uint32_t>{kStorage}));
        EXPECT_EQ(LastTid(f.sim), brokenTid + 1);
        ASSERT_TRUE(f.session->GetObject(f.file, got).IsOk());
        EXPECT_EQ(got, f.content);
        EXPECT_EQ(LastTid(f.sim), brokenTid + 2);
    }
}

// The monitor answers Busy to the status a few times while it finishes cancelling: the session
// polls, pausing between polls (through the seam), until it answers OK.
TEST(PtpSessionRecovery, BusyStatusIsPolledUntilOk)
{
    for (const int busy : {1, 3, PtpSession::kStatusPollsPerStep - 1})
    {
        SCOPED_TRACE(busy);
        Fixture f;
        f.sim.InjectStalledDataPhase(kOpGetObject, 2);
        f.sim.ScriptStatusBusy(busy);
        Bytes got;
        EXPECT_FALSE(f.session->GetObject(f.file, got).Completed());
        EXPECT_EQ(f.Count(kClassCancelRequest), 1u);
        EXPECT_EQ(f.Count(kClassGetDeviceStatus), static_cast<std::size_t>(busy + 1));
        EXPECT_EQ(f.Count(kClassDeviceReset), 0u);
        EXPECT_EQ(f.pauses, std::vector<unsigned>(static_cast<std::size_t>(busy), PtpSession::kStatusPollIntervalMs));
        ASSERT_TRUE(f.session->GetObject(f.file, got).IsOk());
        EXPECT_EQ(got, f.content);
    }
}

// A cancelled transaction leaves the bulk-in endpoint halted, and the status names it: the session
// clears the halt, and reads work again.
TEST(PtpSessionRecovery, HaltedEndpointNamedByTheStatusIsCleared)
{
    Fixture f;
    f.sim.InjectStalledDataPhase(kOpGetObject, 1);
    f.sim.HaltBulkInOnCancel(true);
    Bytes got;
    EXPECT_FALSE(f.session->GetObject(f.file, got).Completed());
    const auto control = f.sim.ControlLog();
    const auto cleared = std::find_if(control.begin(), control.end(),
                                      [](const SimControlRequest &r) { return r.request == 0; });
    ASSERT_NE(cleared, control.end());
    EXPECT_EQ(cleared->data, Bytes{1}) << "the bulk-in endpoint";
    f.sim.HaltBulkInOnCancel(false);
    ASSERT_TRUE(f.session->GetObject(f.file, got).IsOk());
    EXPECT_EQ(got, f.content);
}

// A monitor that stays Busy after the cancellation is reset; its session, which a reset ends, is
// opened again, and the next transaction works.
TEST(PtpSessionRecovery, DeviceResetWhenTheCancellationDoesNotEnd)
{
    Fixture f;
    f.sim.InjectStalledDataPhase(kOpGetObject, 2);
    f.sim.ScriptStatusBusy(1000);
    Bytes got;
    EXPECT_FALSE(f.session->GetObject(f.file, got).Completed());
    EXPECT_EQ(f.Count(kClassCancelRequest), 1u);
    EXPECT_EQ(f.Count(kClassDeviceReset), 1u);
    EXPECT_EQ(f.Count(kClassGetDeviceStatus), static_cast<std::size_t>(PtpSession::kStatusPollsPerStep + 1));
    EXPECT_TRUE(f.session->IsOpen());
    EXPECT_TRUE(f.sim.SessionOpen());
    const auto ops = f.sim.OperationLog();
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops.back().op, kOpOpenSession);
    ASSERT_TRUE(f.session->GetObject(f.file, got).IsOk());
    EXPECT_EQ(got, f.content);
    EXPECT_EQ(LastTid(f.sim), 1u) << "a new session counts from 1";
}

// A monitor that never recovers: the transaction fails, the session gives up within its budget
// (counted in the requests' timeouts and the pauses, not in time measured), and touches the bus
// no more. The next device check finds the monitor absent, again in bounded time, and once the
// monitor is back (replugged) opens it afresh.
TEST(PtpSessionRecovery, DeviceThatNeverRecoversFailsTheSessionInBoundedTime)
{
    Fixture f;
    f.sim.SetWedged(true);
    std::vector<std::uint32_t> ids;
    const PtpResult r = f.session->GetStorageIds(ids);
    EXPECT_FALSE(r.Completed());
    EXPECT_TRUE(f.session->Failed());
    EXPECT_FALSE(f.session->IsOpen());
    EXPECT_EQ(f.Count(kClassCancelRequest), 1u);
    EXPECT_EQ(f.Count(kClassDeviceReset), 1u);
    // The transaction itself (command, one read) and the recovery's budget.
    EXPECT_LE(*f.waited + f.PausedMs(), 2ul * kTimeoutMs + PtpSession::kRecoveryBudgetMs);

    f.sim.ClearLogs();
    const unsigned long before = *f.waited;
    EXPECT_FALSE(f.session->GetStorageIds(ids).Completed());
    EXPECT_FALSE(f.session->OpenSession().Completed());
    EXPECT_EQ(*f.waited, before);
    EXPECT_TRUE(f.sim.ControlLog().empty());
    EXPECT_TRUE(f.sim.OutTransfers().empty());

    auto waited = std::make_shared<unsigned long>(0);
    ScopedDeviceSource source([&] {
        return std::vector<MtpDeviceCandidate>{
            vxsim::WrapTransports(f.sim.Candidate(0x1234, 0x5678), [waited](std::unique_ptr<PtpTransport> t) {
                return std::make_unique<WaitCountingTransport>(std::move(t), waited);
            })};
    });
    f.pauses.clear();
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices(0x1234, 0x5678).empty());
    EXPECT_LE(*waited + f.PausedMs(), 2ul * 5000 + PtpSession::kRecoveryBudgetMs);

    f.sim.SetWedged(false);
    const auto devices = MtpDeviceManager::EnumerateDevices(0x1234, 0x5678);
    ASSERT_EQ(devices.size(), 1u);
    std::vector<MtpStorage> roots;
    EXPECT_TRUE(devices[0]->Storages(roots));
}

// A send whose data phase fails on the bus is cancelled too: the monitor would otherwise wait for
// the rest of the data and take the next command for part of it.
TEST(PtpSessionRecovery, FailedSendIsCancelled)
{
    Fixture f;
    f.sim.InjectFailedSend(kOpSendObject);
    ObjectInfo info;
    info.filename = u"NEW.DAT";
    std::uint32_t handle = 0;
    EXPECT_FALSE(f.session->SendObject(kStorage, kHandleRoot, info, Bytes(700, 1), handle).IsOk());
    EXPECT_EQ(f.Count(kClassCancelRequest), 1u);
    const auto control = f.sim.ControlLog();
    ASSERT_FALSE(control.empty());
    EXPECT_EQ(control[0].data, CancelData(LastTid(f.sim)));
    std::vector<std::uint32_t> ids;
    EXPECT_TRUE(f.session->GetStorageIds(ids).IsOk());
}

// Refusals and an unplugged monitor are no broken transactions: nothing is cancelled.
TEST(PtpSessionRecovery, CompletedTransactionsAndUnpluggingNeedNoRecovery)
{
    Fixture f;
    f.sim.ScriptResponse(kOpGetStorageIds, kRespDeviceBusy);
    std::vector<std::uint32_t> ids;
    EXPECT_EQ(f.session->GetStorageIds(ids).code, kRespDeviceBusy);
    EXPECT_TRUE(f.session->GetStorageIds(ids).IsOk());
    f.sim.SetUnplugged(true);
    EXPECT_EQ(f.session->GetStorageIds(ids).transport, TransferStatus::NoDevice);
    EXPECT_TRUE(f.sim.ControlLog().empty());
    EXPECT_FALSE(f.session->Failed());
}
