#include "platform/mtp/PtpSession.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace vxmtp;
using Bytes = std::vector<std::uint8_t>;

// A device that answers every command with whatever the test scripts, transfer by transfer. It
// gives up (times out) after a fixed number of transfers, so a host that would read forever is
// seen reading too much instead of hanging. A cancelled transaction ends at once: the device sends
// nothing more until the next command, and its status is OK.
namespace
{
constexpr int kGiveUpAfter = 64;
constexpr std::size_t kMps = 512;

struct Script
{
    // The transfer for the n-th bulkIn (from 0); nothing more to send when it returns false.
    std::function<bool(int n, Bytes &transfer)> next;
    int reads = 0;
    bool cancelled = false;
    int cancels = 0;
};

class ScriptedDevice : public PtpTransport
{
  public:
    explicit ScriptedDevice(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned) override
    {
        ContainerHeader h;
        if (DecodeHeader(data, h) && h.type == kContainerCommand)
            m_script->cancelled = false;
        return TransferStatus::Ok;
    }

    TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received, unsigned) override
    {
        received = 0;
        if (m_script->cancelled)
            return TransferStatus::Timeout;
        const int n = m_script->reads++;
        Bytes transfer;
        if (n >= kGiveUpAfter || !m_script->next(n, transfer))
            return TransferStatus::Timeout;
        received = std::min(transfer.size(), buffer.size());
        std::copy(transfer.begin(), transfer.begin() + static_cast<std::ptrdiff_t>(received), buffer.begin());
        return TransferStatus::Ok;
    }

    std::size_t maxPacketSize() const override { return kMps; }

    TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t>, unsigned) override
    {
        if (request == kClassCancelRequest || request == kClassDeviceReset)
        {
            m_script->cancelled = true;
            ++m_script->cancels;
        }
        return TransferStatus::Ok;
    }

    TransferStatus classRequestIn(std::uint8_t, std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned) override
    {
        const Bytes status = EncodeDeviceStatus({kRespOk, {}});
        received = std::min(status.size(), buffer.size());
        std::copy_n(status.begin(), received, buffer.begin());
        return TransferStatus::Ok;
    }

  private:
    std::shared_ptr<Script> m_script;
};

Bytes Header(std::uint32_t length, std::uint16_t type, std::uint16_t code, std::uint32_t tid = 0)
{
    PtpWriter w;
    w.U32(length);
    w.U16(type);
    w.U16(code);
    w.U32(tid);
    return w.Take();
}

Bytes Response(std::uint16_t code = kRespOk, std::uint32_t tid = 0)
{
    return EncodeParamContainer(kContainerResponse, code, tid, {});
}
} // namespace

// Containers whose length field disagrees with what arrived, in every way a device can get it
// wrong. Each fails its transaction as malformed, within a few transfers.
TEST(PtpSessionHostileDevice, ContainersWhoseLengthLies)
{
    const std::uint16_t op = 0x9D05;
    const struct
    {
        const char *what;
        std::function<bool(int, Bytes &)> next;
    } cases[] = {
        {"a response shorter than a header",
         [](int n, Bytes &t) {
             t = Bytes{8, 0, 0, 0, 3, 0};
             return n == 0;
         }},
        {"a length field below the header's size",
         [](int n, Bytes &t) {
             t = Header(8, kContainerResponse, kRespOk);
             return n == 0;
         }},
        {"a length field larger than the data, ended by a short packet",
         [op](int n, Bytes &t) {
             t = Header(100, kContainerData, op);
             t.resize(40);
             return n == 0;
         }},
        {"a data phase that never ends",
         [op](int n, Bytes &t) {
             t = n == 0 ? Header(0xFFFFFFFF, kContainerData, op) : Bytes();
             t.resize(16384);
             return true;
         }},
        {"a data phase longer than any the host accepts",
         [op](int n, Bytes &t) {
             t = n == 0 ? Header(PtpSession::kDefaultMaxContainerLength + 13, kContainerData, op) : Bytes();
             t.resize(16384);
             return true;
         }},
        {"containers of another transaction without end",
         [](int, Bytes &t) {
             t = Response(kRespOk, 77);
             return true;
         }},
        {"zero-length packets without end",
         [](int, Bytes &t) {
             t.clear();
             return true;
         }},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        auto script = std::make_shared<Script>();
        script->next = c.next;
        PtpSession session(std::make_unique<ScriptedDevice>(script));
        Bytes data;
        const PtpResult r = session.Transact(op, {}, DataPhase::In, &data);
        EXPECT_FALSE(r.Completed());
        EXPECT_TRUE(r.protocolError);
        EXPECT_EQ(r.transport, TransferStatus::Ok);
        EXPECT_LT(script->reads, 16);
        EXPECT_TRUE(data.empty());
        // The broken transaction was cancelled, and the session goes on.
        EXPECT_EQ(script->cancels, 1);
        EXPECT_FALSE(session.Failed());
    }
}

// The same device answers well once its container fits.
TEST(PtpSessionHostileDevice, ContainersUpToTheLimitAreCollected)
{
    const std::uint16_t op = 0x9D05;
    auto script = std::make_shared<Script>();
    const Bytes payload(10000, 0x5A);
    script->next = [&](int n, Bytes &t) {
        if (n == 0)
        {
            t = EncodeDataContainer(op, 0, payload);
            return true;
        }
        t = Response();
        return n == 1;
    };
    PtpSession session(std::make_unique<ScriptedDevice>(script));
    Bytes data;
    session.SetMaxContainerLength(payload.size() + kContainerHeaderSize);
    ASSERT_TRUE(session.Transact(op, {}, DataPhase::In, &data).IsOk());
    EXPECT_EQ(data, payload);

    script->reads = 0;
    session.SetMaxContainerLength(payload.size() + kContainerHeaderSize - 1);
    const PtpResult r = session.Transact(op, {}, DataPhase::In, &data);
    EXPECT_TRUE(r.protocolError);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(script->reads, 1);
}

// An object larger than the limit is refused by the simulated monitor's session too.
TEST(PtpSessionHostileDevice, ObjectLargerThanTheLimitIsNotRead)
{
    vxsim::SimMtpMonitor sim(512);
    sim.AddStorage(0x00010001, u"Internal");
    const std::uint32_t small = sim.AddFile(0x00010001, 0, u"S", Bytes(3000, 1));
    const std::uint32_t large = sim.AddFile(0x00010001, 0, u"L", Bytes(5000, 2));
    PtpSession session(sim.Connect());
    ASSERT_TRUE(session.OpenSession().IsOk());
    session.SetMaxContainerLength(4096);
    Bytes got;
    ASSERT_TRUE(session.GetObject(small, got).IsOk());
    EXPECT_EQ(got.size(), 3000u);
    const PtpResult r = session.GetObject(large, got);
    EXPECT_FALSE(r.IsOk());
    EXPECT_TRUE(got.empty());
}

namespace
{
Bytes Concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
} // namespace

// A container that does not fill its last packet ends its transfer, so bytes behind it in that
// transfer are no container of the device's: taken as one, they could pass for a response the
// device never gave. The transaction fails, and the next one starts clean. A container that
// fills its last packet may be followed directly by the next one (a device that leaves out the
// zero-length packet), and that is still accepted.
TEST(PtpSessionHostileDevice, BytesBehindAContainerInItsTransfer)
{
    const std::uint16_t op = 0x9D05;
    const Bytes shortPayload(88, 0x11);          // a 100-byte container
    const Bytes alignedPayload(kMps - 12, 0x22); // a container of exactly one packet
    const Bytes ok = Response();
    const struct
    {
        const char *what;
        std::vector<Bytes> transfers;
        bool accepted;
    } cases[] = {
        {"a response behind the data in its packet",
         {Concat(EncodeDataContainer(op, 0, shortPayload), ok)},
         false},
        {"a response behind the data in a transfer that filled the buffer",
         {[&] {
             Bytes t = Concat(EncodeDataContainer(op, 0, shortPayload), ok);
             t.resize(16384);
             return t;
         }()},
         false},
        {"stray bytes behind the response",
         {EncodeDataContainer(op, 0, shortPayload), Concat(ok, Bytes{1, 2, 3, 4})},
         false},
        {"a response begun behind the data and continued in the next transfer",
         {Concat(EncodeDataContainer(op, 0, alignedPayload), Bytes(ok.begin(), ok.begin() + 6)),
          Bytes(ok.begin() + 6, ok.end())},
         false},
        {"a response directly behind data that fills its packet",
         {Concat(EncodeDataContainer(op, 0, alignedPayload), ok)},
         true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        auto script = std::make_shared<Script>();
        const std::vector<Bytes> transfers = c.transfers;
        // After the scripted transfers the device answers the next transaction properly.
        script->next = [transfers, ok](int n, Bytes &t) {
            t = static_cast<std::size_t>(n) < transfers.size() ? transfers[static_cast<std::size_t>(n)] : ok;
            return true;
        };
        PtpSession session(std::make_unique<ScriptedDevice>(script));
        Bytes data;
        const PtpResult r = session.Transact(op, {}, DataPhase::In, &data);
        if (c.accepted)
        {
            EXPECT_TRUE(r.IsOk());
            EXPECT_EQ(data, alignedPayload);
            continue;
        }
        EXPECT_FALSE(r.Completed());
        EXPECT_TRUE(r.protocolError);
        // Nothing of the broken exchange is taken for the next one's.
        script->reads = static_cast<int>(transfers.size());
        EXPECT_TRUE(session.Transact(0x9D04, {}, DataPhase::None, nullptr).IsOk());
    }
}
