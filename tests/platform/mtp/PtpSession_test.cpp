#include "platform/mtp/PtpSession.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace vxmtp;
using vxsim::SimMtpMonitor;
using Bytes = std::vector<std::uint8_t>;

namespace
{
constexpr std::uint32_t kStorage = 0x00010001;

Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

std::unique_ptr<PtpSession> Open(SimMtpMonitor &sim)
{
    auto s = std::make_unique<PtpSession>(sim.Connect());
    EXPECT_TRUE(s->OpenSession().IsOk());
    return s;
}

std::vector<std::uint16_t> Ops(const SimMtpMonitor &sim)
{
    std::vector<std::uint16_t> ops;
    for (const auto &o : sim.OperationLog())
        ops.push_back(o.op);
    return ops;
}
} // namespace

TEST(PtpSession, DeviceInfoBeforeSessionUsesTransactionZero)
{
    SimMtpMonitor sim;
    sim.Info().serialNumber = u"ABC123";
    sim.Info().deviceVersion = u"V1.07";
    PtpSession s(sim.Connect());
    DeviceInfo info;
    ASSERT_TRUE(s.GetDeviceInfo(info).IsOk());
    EXPECT_EQ(info.serialNumber, u"ABC123");
    EXPECT_EQ(info.deviceVersion, u"V1.07");
    EXPECT_FALSE(s.IsOpen());
    ASSERT_TRUE(s.OpenSession().IsOk());
    std::vector<std::uint32_t> ids;
    s.GetStorageIds(ids);
    s.GetStorageIds(ids);
    const auto log = sim.OperationLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].transactionId, 0u);
    EXPECT_EQ(log[1].op, kOpOpenSession);
    EXPECT_EQ(log[1].transactionId, 0u);
    EXPECT_EQ(log[1].params, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(log[2].transactionId, 1u);
    EXPECT_EQ(log[3].transactionId, 2u);
}

TEST(PtpSession, SessionIsReusedWithoutClosing)
{
    SimMtpMonitor sim;
    sim.AddStorage(kStorage, u"Internal");
    sim.ScriptVendorOperation(0x9D04, {});
    {
        auto first = Open(sim);
        std::vector<std::uint8_t> none;
        EXPECT_TRUE(first->Transact(0x9D04, {}, DataPhase::None, nullptr).IsOk());
    } // released: the device's session stays open
    EXPECT_TRUE(sim.SessionOpen());

    PtpSession second(sim.Connect());
    const PtpResult r = second.OpenSession();
    EXPECT_EQ(r.code, kRespSessionAlreadyOpen);
    EXPECT_TRUE(second.IsOpen());
    std::vector<std::uint32_t> ids;
    EXPECT_TRUE(second.GetStorageIds(ids).IsOk());
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{kStorage}));
    const auto ops = Ops(sim);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), kOpCloseSession), 0);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), kOpOpenSession), 2);
}

TEST(PtpSession, ResponseCodesOtherThanOk)
{
    SimMtpMonitor sim;
    sim.AddStorage(kStorage, u"Internal");
    {
        // Without a session the device refuses.
        PtpSession s(sim.Connect());
        std::vector<std::uint32_t> ids;
        const PtpResult r = s.GetStorageIds(ids);
        EXPECT_TRUE(r.Completed());
        EXPECT_FALSE(r.IsOk());
        EXPECT_EQ(r.code, kRespSessionNotOpen);
    }
    auto s = Open(sim);
    sim.ScriptResponse(kOpGetStorageIds, kRespDeviceBusy);
    std::vector<std::uint32_t> ids = {77};
    PtpResult r = s->GetStorageIds(ids);
    EXPECT_EQ(r.code, kRespDeviceBusy);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{77})) << "no data phase after a refusal";
    // The next transaction is unaffected.
    EXPECT_TRUE(s->GetStorageIds(ids).IsOk());
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{kStorage}));

    ObjectInfo info;
    r = s->GetObjectInfo(999, info);
    EXPECT_EQ(r.code, kRespInvalidObjectHandle);

    // A refused OpenSession leaves the session closed.
    SimMtpMonitor other;
    other.ScriptResponse(kOpOpenSession, kRespDeviceBusy);
    PtpSession t(other.Connect());
    EXPECT_EQ(t.OpenSession().code, kRespDeviceBusy);
    EXPECT_FALSE(t.IsOpen());
}

TEST(PtpSession, StorageIdsWithoutMediumAreSkipped)
{
    SimMtpMonitor sim;
    sim.AddStorage(0x00010001, u"A");
    sim.AddStorage(0x00020000, u"empty slot");
    sim.AddStorage(0x00020001, u"B");
    auto s = Open(sim);
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(s->GetStorageIds(ids).IsOk());
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0x00010001, 0x00020001}));
    StorageInfo info;
    ASSERT_TRUE(s->GetStorageInfo(0x00020001, info).IsOk());
    EXPECT_EQ(info.storageDescription, u"B");
}

// Object sizes around the packet boundary, for two packet sizes: the container is 12 bytes longer
// than the object, and a container that fills its last packet is followed by a zero-length packet.
TEST(PtpSession, MultiPacketDataAndZeroLengthPackets)
{
    struct Case
    {
        std::size_t mps;
        std::size_t objectSize;
        bool zlp;
    } cases[] = {
        {512, 0, false},     {512, 499, false},   {512, 500, true},
        {512, 501, false},   {512, 1012, true},   {512, 16372, true},
        {512, 16373, false}, {512, 40000, false}, {512, 16384 * 3 - 12, true},
        {64, 52, true},      {64, 1000, false},   {64, 4084, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mps " << c.mps << " size " << c.objectSize);
        SimMtpMonitor sim(c.mps);
        sim.AddStorage(kStorage, u"Internal");
        const Bytes content = Pattern(c.objectSize);
        const std::uint32_t h = sim.AddFile(kStorage, 0, u"F.BIN", content);
        auto s = Open(sim);

        // Device to host.
        sim.ClearLogs();
        Bytes got;
        ASSERT_TRUE(s->GetObject(h, got).IsOk());
        EXPECT_EQ(got, content);
        const auto in = sim.InPackets();
        const std::size_t container = c.objectSize + 12;
        const std::size_t dataPackets = (container + c.mps - 1) / c.mps;
        ASSERT_GE(in.size(), dataPackets + 1);
        for (std::size_t i = 0; i + 1 < dataPackets; ++i)
            EXPECT_EQ(in[i].size(), c.mps);
        EXPECT_EQ(in[dataPackets].empty(), c.zlp);
        // Every packet the device sent was consumed, the response included.
        const std::size_t expected = dataPackets + (c.zlp ? 1 : 0) + 1;
        EXPECT_EQ(in.size(), expected);

        // Host to device: the object goes back under a new name.
        sim.ClearLogs();
        std::uint32_t newHandle = 0;
        ObjectInfo info;
        info.filename = u"G.BIN";
        ASSERT_TRUE(s->SendObject(kStorage, kHandleRoot, info, content, newHandle).IsOk());
        ASSERT_NE(sim.Find(newHandle), nullptr);
        EXPECT_EQ(sim.Find(newHandle)->bytes, content);
        const auto out = sim.OutTransfers();
        ASSERT_FALSE(out.empty());
        // The last transfers: SendObject's command, its data container, and a zero-length packet
        // exactly when the container fills its last packet.
        const auto &last = out.back();
        if (c.zlp)
        {
            EXPECT_TRUE(last.empty());
            ASSERT_GE(out.size(), 2u);
            EXPECT_EQ(out[out.size() - 2].size(), container);
        }
        else
            EXPECT_EQ(last.size(), container);
    }
}

TEST(PtpSession, DataSpanningSeveralReadsIsReassembled)
{
    SimMtpMonitor sim(512);
    sim.AddStorage(kStorage, u"Internal");
    const Bytes content = Pattern(100000);
    const std::uint32_t h = sim.AddFile(kStorage, 0, u"BIG", content);
    auto s = Open(sim);
    Bytes got;
    ASSERT_TRUE(s->GetObject(h, got).IsOk());
    EXPECT_EQ(got, content);
}

TEST(PtpSession, ShortReadFailsAndTheNextTransactionWorks)
{
    for (const std::size_t keep : {std::size_t{0}, std::size_t{100}, std::size_t{500}, std::size_t{1000}})
    {
        SCOPED_TRACE(keep);
        SimMtpMonitor sim;
        sim.AddStorage(kStorage, u"Internal");
        const Bytes content = Pattern(3000);
        const std::uint32_t h = sim.AddFile(kStorage, 0, u"F", content);
        auto s = Open(sim);
        sim.InjectShortRead(kOpGetObject, keep);
        Bytes got;
        const PtpResult r = s->GetObject(h, got);
        EXPECT_FALSE(r.IsOk());
        EXPECT_FALSE(r.Completed());
        ASSERT_TRUE(s->GetObject(h, got).IsOk());
        EXPECT_EQ(got, content);
    }
}

TEST(PtpSession, SendObjectInfoIsFollowedDirectlyBySendObject)
{
    SimMtpMonitor sim;
    sim.AddStorage(kStorage, u"Internal");
    const std::uint32_t folder = sim.AddFolder(kStorage, 0, u"workout");
    auto s = Open(sim);
    sim.ClearLogs();
    ObjectInfo info;
    info.filename = u"FR.DAT";
    std::uint32_t h = 0;
    ASSERT_TRUE(s->SendObject(kStorage, folder, info, Bytes{1, 2, 3}, h).IsOk());
    EXPECT_EQ(Ops(sim), (std::vector<std::uint16_t>{kOpSendObjectInfo, kOpSendObject}));
    const auto log = sim.OperationLog();
    EXPECT_EQ(log[0].params, (std::vector<std::uint32_t>{kStorage, folder}));
    EXPECT_TRUE(log[1].params.empty());
    EXPECT_EQ(log[1].transactionId, log[0].transactionId + 1);
    ASSERT_NE(sim.Find(h), nullptr);
    EXPECT_EQ(sim.Find(h)->parent, folder);
    EXPECT_EQ(sim.Find(h)->name, u"FR.DAT");

    // A failed data phase leaves the placeholder's handle with the caller.
    sim.InjectFailedSend(kOpSendObject);
    std::uint32_t h2 = 0;
    const PtpResult r = s->SendObject(kStorage, folder, info, Bytes{9}, h2);
    EXPECT_FALSE(r.IsOk());
    EXPECT_EQ(r.transport, TransferStatus::Error);
    EXPECT_NE(h2, 0u);
}

TEST(PtpSession, HiddenProperty)
{
    SimMtpMonitor sim;
    sim.AddStorage(kStorage, u"Internal");
    const std::uint32_t h = sim.AddFile(kStorage, 0, u"F", {1});
    auto s = Open(sim);
    bool hidden = true;
    ASSERT_TRUE(s->GetHidden(h, hidden).IsOk());
    EXPECT_FALSE(hidden);
    sim.ClearLogs();
    ASSERT_TRUE(s->SetHidden(h, true).IsOk());
    EXPECT_TRUE(sim.Find(h)->hidden);
    const auto log = sim.OperationLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].op, kOpSetObjectPropValue);
    EXPECT_EQ(log[0].params, (std::vector<std::uint32_t>{h, kPropHidden}));
    // The value travels as a UINT16.
    const auto out = sim.OutTransfers();
    ASSERT_EQ(out.size(), 2u);
    const auto tid = static_cast<std::uint8_t>(log[0].transactionId);
    EXPECT_EQ(out[1], (Bytes{14, 0, 0, 0, 2, 0, 0x04, 0x98, tid, 0, 0, 0, 1, 0}));
    ASSERT_TRUE(s->GetHidden(h, hidden).IsOk());
    EXPECT_TRUE(hidden);
}

// Vendor operations in each direction, checked container by container on the wire.
TEST(PtpSession, VendorOperationsCarryExactContainers)
{
    SimMtpMonitor sim;
    auto s = Open(sim);
    const std::uint32_t tid = 1; // the first transaction after OpenSession

    // No data phase, two parameters, three response parameters.
    sim.ScriptVendorOperation(0x9D04, {DataPhase::None, kRespOk, {0xA, 0xB, 0xC}, {}});
    sim.ClearLogs();
    const std::uint32_t p2[] = {0x01020304, 5};
    PtpResult r = s->Transact(0x9D04, p2, DataPhase::None, nullptr);
    ASSERT_TRUE(r.IsOk());
    EXPECT_EQ(r.params, (std::vector<std::uint32_t>{0xA, 0xB, 0xC}));
    auto out = sim.OutTransfers();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], (Bytes{20, 0, 0, 0, 1, 0, 0x04, 0x9D, tid, 0, 0, 0, 4, 3, 2, 1, 5, 0, 0, 0}));
    auto in = sim.InPackets();
    ASSERT_EQ(in.size(), 1u);
    EXPECT_EQ(in[0],
              (Bytes{24, 0, 0, 0, 3, 0, 0x01, 0x20, tid, 0, 0, 0, 0xA, 0, 0, 0, 0xB, 0, 0, 0, 0xC, 0, 0, 0}));

    // Host to device: a 36-byte record.
    sim.ScriptVendorOperation(0x9D03, {DataPhase::Out, kRespOk, {}, {}});
    sim.ClearLogs();
    Bytes record(36, 0);
    record[0] = 0xDA;
    record[1] = 0x07;
    record[4] = 11;
    r = s->Transact(0x9D03, {}, DataPhase::Out, &record);
    ASSERT_TRUE(r.IsOk());
    EXPECT_TRUE(r.params.empty());
    out = sim.OutTransfers();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], (Bytes{12, 0, 0, 0, 1, 0, 0x03, 0x9D, tid + 1, 0, 0, 0}));
    Bytes expectedData = {48, 0, 0, 0, 2, 0, 0x03, 0x9D, tid + 1, 0, 0, 0};
    expectedData.insert(expectedData.end(), record.begin(), record.end());
    EXPECT_EQ(out[1], expectedData);
    auto vendor = sim.VendorLog();
    ASSERT_EQ(vendor.size(), 1u);
    EXPECT_EQ(vendor[0].op, 0x9D03);
    EXPECT_EQ(vendor[0].dataOut, record);

    // Device to host: five parameters out, data and one response parameter back.
    sim.ScriptVendorOperation(0x9D10, {DataPhase::In, kRespOk, {7}, Bytes{0xDE, 0xAD, 0xBE}});
    sim.ClearLogs();
    const std::uint32_t p5[] = {1, 2, 3, 4, 5};
    Bytes data = {0x55};
    r = s->Transact(0x9D10, p5, DataPhase::In, &data);
    ASSERT_TRUE(r.IsOk());
    EXPECT_EQ(data, (Bytes{0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(r.params, (std::vector<std::uint32_t>{7}));
    out = sim.OutTransfers();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].size(), 32u);
    in = sim.InPackets();
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[0], (Bytes{15, 0, 0, 0, 2, 0, 0x10, 0x9D, tid + 2, 0, 0, 0, 0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(in[1], (Bytes{16, 0, 0, 0, 3, 0, 0x01, 0x20, tid + 2, 0, 0, 0, 7, 0, 0, 0}));
}

TEST(PtpSession, VendorRefusalsAreReported)
{
    SimMtpMonitor sim;
    auto s = Open(sim);
    // An operation the monitor does not know.
    PtpResult r = s->Transact(0x9DFF, {}, DataPhase::None, nullptr);
    EXPECT_TRUE(r.Completed());
    EXPECT_EQ(r.code, kRespOperationNotSupported);

    // A read the monitor refuses: the answer comes without a data phase.
    sim.ScriptVendorOperation(0x9D20, {DataPhase::In, kRespAccessDenied, {}, Bytes{1, 2}});
    Bytes data = {9};
    r = s->Transact(0x9D20, {}, DataPhase::In, &data);
    EXPECT_EQ(r.code, kRespAccessDenied);
    EXPECT_TRUE(data.empty());

    // A write refused after its data arrived.
    sim.ScriptVendorOperation(0x9D21, {DataPhase::Out, kRespOk, {}, {}});
    sim.ScriptResponse(0x9D21, kRespGeneralError);
    Bytes payload = {1, 2, 3};
    r = s->Transact(0x9D21, {}, DataPhase::Out, &payload);
    EXPECT_EQ(r.code, kRespGeneralError);
    const auto vendor = sim.VendorLog();
    ASSERT_FALSE(vendor.empty());
    EXPECT_EQ(vendor.back().dataOut, payload);

    // A data phase toward a monitor that treats the operation as data-less is still logged, and
    // the exchange ends cleanly.
    Bytes stray = {4, 5};
    r = s->Transact(0x9D22, {}, DataPhase::Out, &stray);
    EXPECT_EQ(r.code, kRespOperationNotSupported);
    EXPECT_EQ(sim.VendorLog().back().dataOut, stray);
    EXPECT_TRUE(s->Transact(0x9DFF, {}, DataPhase::None, nullptr).Completed());
}

TEST(PtpSession, MisuseAndMissingDeviceFailWithoutSending)
{
    SimMtpMonitor sim;
    auto s = Open(sim);
    sim.ClearLogs();
    const std::uint32_t six[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(s->Transact(0x9D04, six, DataPhase::None, nullptr).transport, TransferStatus::Error);
    EXPECT_EQ(s->Transact(0x9D04, {}, DataPhase::In, nullptr).transport, TransferStatus::Error);
    EXPECT_TRUE(sim.OutTransfers().empty());

    // Without a transport nothing is attempted.
    PtpSession none(nullptr);
    EXPECT_FALSE(none.OpenSession().Completed());
}

TEST(PtpSession, DeviceThatLeavesOutZeroLengthPackets)
{
    for (const std::size_t size : {std::size_t{500}, std::size_t{16372}, std::size_t{1012}})
    {
        SCOPED_TRACE(size);
        SimMtpMonitor sim(512);
        sim.AddStorage(kStorage, u"Internal");
        const Bytes content = Pattern(size);
        const std::uint32_t h = sim.AddFile(kStorage, 0, u"F", content);
        auto s = Open(sim);
        sim.OmitZeroLengthPackets(true);
        Bytes got;
        ASSERT_TRUE(s->GetObject(h, got).IsOk());
        EXPECT_EQ(got, content);
        std::vector<std::uint32_t> ids;
        EXPECT_TRUE(s->GetStorageIds(ids).IsOk());
    }
}

TEST(PtpSession, UnpluggedDeviceFailsEveryTransaction)
{
    SimMtpMonitor sim;
    sim.AddStorage(kStorage, u"Internal");
    auto s = Open(sim);
    sim.SetUnplugged(true);
    std::vector<std::uint32_t> ids;
    const PtpResult r = s->GetStorageIds(ids);
    EXPECT_EQ(r.transport, TransferStatus::NoDevice);
    EXPECT_FALSE(r.Completed());
    Bytes data = {1};
    EXPECT_EQ(s->Transact(0x9D03, {}, DataPhase::Out, &data).transport, TransferStatus::NoDevice);
}
