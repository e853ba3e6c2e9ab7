#include "device/DeviceMutex.h"
#include "device/WmdmTransfer.h"
#include "platform/sys/TextConvert.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

using vxsim::SimMtpMonitor;
using Bytes = std::vector<std::uint8_t>;
using vxtest::ReadFile;
using vxtest::WriteFile;
namespace fs = std::filesystem;

namespace
{
constexpr std::uint16_t kVid = 0x3a7e;
constexpr std::uint16_t kPid = 0x0001;
constexpr std::uint32_t kStorage1 = 0x00010001;
constexpr std::uint32_t kStorage2 = 0x00020001;

Bytes Image(std::uint8_t fill, std::size_t length = 208 + 2 * 33)
{
    Bytes b(length, fill);
    b[0] = 0x42;
    return b;
}

// Counts the host's commands of one operation and fails the bus transfer of the nth.
struct CommandFault
{
    std::uint16_t op = 0;
    int nth = 0;
    int seen = 0;
};

class FaultyTransport : public vxsim::PassThroughTransport
{
  public:
    FaultyTransport(std::unique_ptr<vxmtp::PtpTransport> inner, std::shared_ptr<CommandFault> fault)
        : PassThroughTransport(std::move(inner)), m_fault(std::move(fault))
    {
    }
    vxmtp::TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) override
    {
        const bool command = data.size() >= 8 && data[4] == 1 && data[5] == 0;
        if (command && (data[6] | (data[7] << 8)) == m_fault->op && ++m_fault->seen == m_fault->nth)
            return vxmtp::TransferStatus::Error;
        return PassThroughTransport::bulkOut(data, timeoutMs);
    }

  private:
    std::shared_ptr<CommandFault> m_fault;
};

// Monitors on the simulated bus, each also listed in a fixture sysfs tree at the same place
// (bus 1, its own port) with the serial that the tree gives it.
class Bus
{
  public:
    Bus()
        : m_source([this] {
              std::vector<vxmtp::MtpDeviceCandidate> list;
              for (const Entry &e : m_entries)
              {
                  vxmtp::MtpDeviceCandidate c = e.sim->Candidate(e.vid, e.pid, 1, {e.port});
                  if (e.fault)
                      c = vxsim::WrapTransports(
                          std::move(c), [fault = e.fault](std::unique_ptr<vxmtp::PtpTransport> t) {
                              return std::make_unique<FaultyTransport>(std::move(t), fault);
                          });
                  list.push_back(std::move(c));
              }
              if (onDiscover)
                  onDiscover();
              return list;
          })
    {
        m_sysfs.AddRootHub(1, 8);
    }

    // mtpSerial is what the device reports over MTP; sysfsSerial what the USB listing shows
    // (nothing: the device has no serial attribute).
    SimMtpMonitor &Add(std::u16string mtpSerial, std::optional<std::string> sysfsSerial,
                       std::uint16_t vid = kVid, std::uint16_t pid = kPid)
    {
        auto sim = std::make_unique<SimMtpMonitor>();
        sim->Info().serialNumber = std::move(mtpSerial);
        const std::uint8_t port = static_cast<std::uint8_t>(m_entries.size() + 1);
        m_sysfs.AddUsbDevice("usb1", port, vxtest::UsbDevice(vid, pid, std::move(sysfsSerial)));
        m_entries.push_back({std::move(sim), vid, pid, port, nullptr});
        return *m_entries.back().sim;
    }

    // The nth command of op that the host sends to the monitor fails on the bus.
    void FailCommand(const SimMtpMonitor &sim, std::uint16_t op, int nth)
    {
        for (Entry &e : m_entries)
            if (e.sim.get() == &sim)
                e.fault = std::make_shared<CommandFault>(CommandFault{op, nth, 0});
    }

    std::function<void()> onDiscover;

  private:
    struct Entry
    {
        std::unique_ptr<SimMtpMonitor> sim;
        std::uint16_t vid, pid;
        std::uint8_t port;
        std::shared_ptr<CommandFault> fault;
    };
    vxtest::FakeSysfs m_sysfs;
    std::vector<Entry> m_entries;
    vxmtp::ScopedDeviceSource m_source;
};

// A monitor laid out as shipped: two storages, FR.DAT in the second one's "workout" folder.
struct Layout
{
    std::uint32_t workout = 0;
    std::uint32_t frDat = 0;
    Bytes content;

    explicit Layout(SimMtpMonitor &sim, std::uint8_t fill = 0x5A) : content(Image(fill))
    {
        sim.AddStorage(kStorage1, u"Internal");
        sim.AddStorage(kStorage2, u"Card");
        sim.AddFolder(kStorage1, 0, u"music");
        workout = sim.AddFolder(kStorage2, 0, u"workout");
        frDat = sim.AddFile(kStorage2, workout, u"FR.DAT", content, true);
        sim.AddFile(kStorage2, workout, u"FR.DAT.bak", Bytes{1});
    }
};

std::string Identity(std::size_t capacity = 33)
{
    std::vector<char> buffer(capacity, 'x');
    if (!WmdmDeviceFinder(kVid, kPid, buffer.data(), buffer.size()))
        return "<none:" + std::string(buffer.data(), strnlen(buffer.data(), buffer.size())) + ">";
    return std::string(buffer.data());
}

class WmdmTransferTest : public ::testing::Test
{
  protected:
    std::string LocalPath() const { return (fs::path(m_dir) / kWorkoutLocalCopyName).string(); }

    std::string m_dir = vxtest::MakeTempDir("wmdm");
};
} // namespace

TEST(WmdmLocalCopy, LivesInTheDataFolderUnderItsOwnName)
{
    EXPECT_EQ(WorkoutLocalCopyPath(u"/home/u/.local/share/Vormatik"), "/home/u/.local/share/Vormatik/FR.TMP");
    EXPECT_EQ(WorkoutLocalCopyPath(u"/data/Vormatik/"), "/data/Vormatik/FR.TMP");
    EXPECT_EQ(WorkoutLocalCopyPath(u"/data/M\u00fcller"), "/data/M\xc3\xbcller/FR.TMP");
}

TEST_F(WmdmTransferTest, ReadsTheWorkoutFileOfTheSecondStorage)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    Layout layout(sim);
    // A stray copy in a storage root is not the workout file.
    sim.AddFile(kStorage1, 0, u"FR.DAT", Bytes{9, 9, 9});

    EXPECT_EQ(WmdmReadFileOutcome(kVid, kPid, LocalPath(), kWorkoutDeviceFileName), WmdmReadOutcome::Copied);
    EXPECT_EQ(ReadFile(LocalPath()), layout.content);
    // Reading leaves the device as it was.
    ASSERT_NE(sim.Find(layout.frDat), nullptr);
    EXPECT_EQ(sim.Find(layout.frDat)->bytes, layout.content);

    ASSERT_TRUE(fs::remove(LocalPath()));
    EXPECT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName));
    EXPECT_EQ(ReadFile(LocalPath()), layout.content);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1)
        << "no temporary file is left beside the copy";
}

// Only a folder named exactly "workout" directly below a root, and a file named exactly as asked.
TEST_F(WmdmTransferTest, FindsTheFileOnlyWhereTheMonitorKeepsIt)
{
    struct Case
    {
        const char *what;
        std::function<void(SimMtpMonitor &)> build;
        WmdmReadOutcome expected;
    } cases[] = {
        {"FR.DAT only in a storage root",
         [](SimMtpMonitor &s) { s.AddFile(kStorage1, 0, u"FR.DAT", Image(1)); }, WmdmReadOutcome::Failed},
        {"folder named Workout",
         [](SimMtpMonitor &s) {
             const auto f = s.AddFolder(kStorage1, 0, u"Workout");
             s.AddFile(kStorage1, f, u"FR.DAT", Image(1));
         },
         WmdmReadOutcome::Failed},
        {"workout below another folder",
         [](SimMtpMonitor &s) {
             const auto data = s.AddFolder(kStorage1, 0, u"data");
             const auto f = s.AddFolder(kStorage1, data, u"workout");
             s.AddFile(kStorage1, f, u"FR.DAT", Image(1));
         },
         WmdmReadOutcome::Failed},
        {"a file named workout", [](SimMtpMonitor &s) { s.AddFile(kStorage1, 0, u"workout", Image(1)); },
         WmdmReadOutcome::Failed},
        {"empty workout folder, FR.DAT in the root",
         [](SimMtpMonitor &s) {
             s.AddFolder(kStorage1, 0, u"workout");
             s.AddFile(kStorage1, 0, u"FR.DAT", Image(1));
         },
         WmdmReadOutcome::NoFile},
        {"fr.dat in lower case",
         [](SimMtpMonitor &s) {
             const auto f = s.AddFolder(kStorage1, 0, u"workout");
             s.AddFile(kStorage1, f, u"fr.dat", Image(1));
         },
         WmdmReadOutcome::NoFile},
        {"a folder named FR.DAT",
         [](SimMtpMonitor &s) {
             const auto f = s.AddFolder(kStorage1, 0, u"workout");
             s.AddFolder(kStorage1, f, u"FR.DAT");
         },
         WmdmReadOutcome::NoFile},
        {"first workout folder empty, second holds the file",
         [](SimMtpMonitor &s) {
             s.AddFolder(kStorage1, 0, u"workout");
             const auto f = s.AddFolder(kStorage2, 0, u"workout");
             s.AddFile(kStorage2, f, u"FR.DAT", Image(1));
         },
         WmdmReadOutcome::Copied},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Bus bus;
        SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
        sim.AddStorage(kStorage1, u"Internal");
        sim.AddStorage(kStorage2, u"Card");
        c.build(sim);
        EXPECT_EQ(WmdmReadFileOutcome(kVid, kPid, LocalPath(), kWorkoutDeviceFileName), c.expected);
        EXPECT_EQ(fs::exists(LocalPath()), c.expected == WmdmReadOutcome::Copied);
        EXPECT_EQ(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName),
                  c.expected == WmdmReadOutcome::Copied);
        if (c.expected == WmdmReadOutcome::Copied)
        {
            EXPECT_EQ(ReadFile(LocalPath()), Image(1));
        }
        fs::remove(LocalPath());
    }
}

// A copy that cannot be made whole leaves no local file at all: neither a part of it nor an older
// copy that could later be written back over the monitor's records. None of these is "no file".
TEST_F(WmdmTransferTest, FailedReadLeavesNoLocalFile)
{
    struct Case
    {
        const char *what;
        std::function<void(SimMtpMonitor &, const Layout &, Bus &)> fault;
    } cases[] = {
        {"data phase cut short",
         [](SimMtpMonitor &s, const Layout &, Bus &) { s.InjectShortRead(vxmtp::kOpGetObject, 100); }},
        {"object shorter than announced",
         [](SimMtpMonitor &s, const Layout &, Bus &) { s.InjectShortRead(vxmtp::kOpGetObject, 100, true); }},
        {"read refused", [](SimMtpMonitor &s, const Layout &,
                            Bus &) { s.ScriptResponse(vxmtp::kOpGetObject, vxmtp::kRespAccessDenied); }},
        {"data not transferable",
         [](SimMtpMonitor &s, const Layout &l, Bus &) {
             s.SetProtectionStatus(l.frDat, vxmtp::kProtectionNonTransferable);
         }},
        {"storages cannot be listed",
         [](SimMtpMonitor &s, const Layout &, Bus &) {
             s.ScriptResponse(vxmtp::kOpGetStorageIds, vxmtp::kRespGeneralError);
         }},
        {"unplugged", [](SimMtpMonitor &s, const Layout &, Bus &) { s.SetUnplugged(true); }},
        // The roots of both storages are listed, then the workout folder's listing fails.
        {"workout folder cannot be listed",
         [](SimMtpMonitor &s, const Layout &, Bus &b) { b.FailCommand(s, vxmtp::kOpGetObjectHandles, 3); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Bus bus;
        SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
        const Layout layout(sim);
        WriteFile(LocalPath(), Image(0x11)); // a copy left from an earlier run
        c.fault(sim, layout, bus);
        EXPECT_EQ(WmdmReadFileOutcome(kVid, kPid, LocalPath(), kWorkoutDeviceFileName),
                  WmdmReadOutcome::Failed);
        EXPECT_FALSE(fs::exists(LocalPath()));
        EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 0);
    }
}

TEST_F(WmdmTransferTest, StorageStepsCheckTheirArguments)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    const Layout layout(sim);
    auto devices = vxmtp::MtpDeviceManager::EnumerateDevices(kVid, kPid);
    ASSERT_EQ(devices.size(), 1u);
    vxmtp::MtpDevice &device = *devices[0];
    std::vector<vxmtp::MtpStorage> roots;
    ASSERT_TRUE(device.Storages(roots));
    vxmtp::MtpStorage folder, file;
    ASSERT_TRUE(device.FindChild(roots[1], u"workout", folder));
    ASSERT_TRUE(device.FindChild(folder, u"FR.DAT", file));

    EXPECT_EQ(ReadStorageToFile(device, file, LocalPath()), kWmdmOk);
    EXPECT_EQ(ReadFile(LocalPath()), layout.content);
    EXPECT_EQ(ReadStorageToFile(device, folder, LocalPath()), kWmdmInvalidArgument);
    EXPECT_EQ(ReadStorageToFile(device, roots[0], LocalPath()), kWmdmInvalidArgument);
    // The attributes are read afresh: a stale description does not let protected data out.
    sim.SetProtectionStatus(layout.frDat, vxmtp::kProtectionNonTransferable);
    EXPECT_EQ(ReadStorageToFile(device, file, LocalPath()), kWmdmAccessDenied);
    vxmtp::MtpStorage gone = file;
    gone.handle = 0x7777;
    EXPECT_EQ(ReadStorageToFile(device, gone, LocalPath()), kWmdmFailed);

    EXPECT_EQ(WriteFileToStorage(device, file, u"FR.DAT", LocalPath()), kWmdmInvalidArgument);
    EXPECT_EQ(WriteFileToStorage(device, folder, u"", LocalPath()), kWmdmInvalidArgument);
    EXPECT_EQ(WriteFileToStorage(device, folder, u"NEW.DAT", (fs::path(m_dir) / "missing").string()),
              kWmdmFailed);
    EXPECT_EQ(sim.FindChild(kStorage2, layout.workout, u"NEW.DAT"), 0u);
    EXPECT_EQ(WriteFileToStorage(device, folder, u"NEW.DAT", LocalPath()), kWmdmOk);
    const std::uint32_t created = sim.FindChild(kStorage2, layout.workout, u"NEW.DAT");
    ASSERT_NE(created, 0u);
    EXPECT_TRUE(sim.Find(created)->hidden);
    EXPECT_EQ(sim.Find(created)->bytes, layout.content);
}

TEST_F(WmdmTransferTest, IdentityIsTheSerialCutToTheBuffer)
{
    Bus bus;
    const std::string serial40 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
    bus.Add(vxsys::Latin1ToUtf16(serial40), serial40);
    EXPECT_EQ(Identity(), serial40.substr(0, 32));
    EXPECT_EQ(Identity(9), serial40.substr(0, 8));
    EXPECT_EQ(Identity(1), "");

    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(WmdmDeviceFinder(kVid, kPid, nullptr, 33));
    EXPECT_FALSE(WmdmDeviceFinder(kVid, kPid, buffer, 0));
    EXPECT_EQ(buffer[0], 'a') << "a buffer without room is not touched";
}

// Of two monitors with the asked IDs, the one whose serial is not listed for a USB device is
// skipped, and its serial never reaches the identity buffer.
TEST_F(WmdmTransferTest, ChoosesTheDeviceWhoseSerialIsAUsbKey)
{
    Bus bus;
    SimMtpMonitor &first = bus.Add(u"NOTAKEY1", "SOMETHINGELSE");
    const Layout firstLayout(first, 0x01);
    SimMtpMonitor &second = bus.Add(u"ser2-b", "SER2-B"); // letters compared without regard to case
    const Layout secondLayout(second, 0x02);

    EXPECT_EQ(Identity(), "ser2-b");
    ASSERT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName));
    EXPECT_EQ(ReadFile(LocalPath()), secondLayout.content);

    // Writing goes to the chosen device only.
    WriteFile(LocalPath(), Image(0x66));
    ASSERT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    EXPECT_EQ(first.Find(firstLayout.frDat)->bytes, firstLayout.content);
    const std::uint32_t written = second.FindChild(kStorage2, secondLayout.workout, u"FR.DAT");
    ASSERT_NE(written, 0u);
    EXPECT_EQ(second.Find(written)->bytes, Image(0x66));
}

// Nothing qualifies: the buffer is left empty, never holding a serial that failed the check.
TEST_F(WmdmTransferTest, NoDeviceQualifies)
{
    struct Case
    {
        const char *what;
        std::function<void(Bus &)> build;
    } cases[] = {
        {"no device", [](Bus &) {}},
        {"serial not listed", [](Bus &b) { Layout(b.Add(u"NOTAKEY1", "OTHER")); }},
        {"device without a USB serial", [](Bus &b) { Layout(b.Add(u"NOTAKEY1", std::nullopt)); }},
        {"empty serial", [](Bus &b) { Layout(b.Add(u"", std::nullopt)); }},
        {"the serial is listed for another product",
         [](Bus &b) {
             Layout(b.Add(u"NOTAKEY1", "OTHER"));
             b.Add(u"OTHERDEV", "NOTAKEY1", kVid, 0x0002);
         }},
        {"a qualifying device of other IDs",
         [](Bus &b) { Layout(b.Add(u"NOTAKEY1", "NOTAKEY1", kVid, 0x0002)); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Bus bus;
        c.build(bus);
        EXPECT_EQ(Identity(), "<none:>");
        WriteFile(LocalPath(), Image(0x11));
        EXPECT_EQ(WmdmReadFileOutcome(kVid, kPid, LocalPath(), kWorkoutDeviceFileName),
                  WmdmReadOutcome::Failed);
        EXPECT_FALSE(fs::exists(LocalPath()));
        WriteFile(LocalPath(), Image(0x11));
        EXPECT_FALSE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    }
}

// Looking for the device already counts as talking to it: the device mutex is held.
TEST_F(WmdmTransferTest, HoldsTheDeviceMutex)
{
    Bus bus;
    Layout(bus.Add(u"SER42", "SER42"));
    int discoveries = 0;
    bool otherThreadGotTheLock = false;
    bus.onDiscover = [&] {
        ++discoveries;
        std::thread other([&] {
            if (DeviceMutex().try_lock())
            {
                otherThreadGotTheLock = true;
                DeviceMutex().unlock();
            }
        });
        other.join();
    };
    char identity[33];
    EXPECT_TRUE(WmdmDeviceFinder(kVid, kPid, identity, sizeof identity));
    EXPECT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName));
    EXPECT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    EXPECT_EQ(discoveries, 3);
    EXPECT_FALSE(otherThreadGotTheLock);
}

// The write-back replaces the file in place: same folder, one object for one, hidden.
TEST_F(WmdmTransferTest, WriteReplacesTheFileAndHidesIt)
{
    for (const bool wasHidden : {true, false})
    {
        SCOPED_TRACE(wasHidden ? "was hidden" : "was visible");
        Bus bus;
        SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
        const Layout layout(sim);
        if (!wasHidden)
        {
            auto devices = vxmtp::MtpDeviceManager::EnumerateDevices(kVid, kPid);
            ASSERT_EQ(devices.size(), 1u);
            std::vector<vxmtp::MtpStorage> roots;
            vxmtp::MtpStorage folder, file;
            ASSERT_TRUE(devices[0]->Storages(roots));
            ASSERT_TRUE(devices[0]->FindChild(roots[1], u"workout", folder));
            ASSERT_TRUE(devices[0]->FindChild(folder, u"FR.DAT", file));
            ASSERT_TRUE(devices[0]->SetHidden(file, false));
        }
        const std::size_t before = sim.ObjectCount();
        const Bytes image = Image(0x33, 208 + 5 * 33);
        WriteFile(LocalPath(), image);

        ASSERT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
        EXPECT_EQ(sim.Find(layout.frDat), nullptr) << "the old object is gone";
        const std::uint32_t written = sim.FindChild(kStorage2, layout.workout, u"FR.DAT");
        ASSERT_NE(written, 0u);
        EXPECT_EQ(sim.Find(written)->bytes, image);
        EXPECT_TRUE(sim.Find(written)->hidden);
        EXPECT_EQ(sim.ObjectCount(), before);
        EXPECT_EQ(ReadFile(LocalPath()), image) << "the local file is the caller's";

        // What was written reads back.
        EXPECT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName));
        EXPECT_EQ(ReadFile(LocalPath()), image);
    }
}

TEST_F(WmdmTransferTest, WriteCreatesTheFileInTheFirstWorkoutFolderWhenThereIsNone)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    sim.AddStorage(kStorage1, u"Internal");
    sim.AddStorage(kStorage2, u"Card");
    sim.AddFile(kStorage1, 0, u"FR.DAT", Image(9)); // a root copy is not the workout file
    const std::uint32_t first = sim.AddFolder(kStorage1, 0, u"workout");
    const std::uint32_t second = sim.AddFolder(kStorage2, 0, u"workout");
    const std::size_t before = sim.ObjectCount();
    WriteFile(LocalPath(), Image(0x44, 208));

    ASSERT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    const std::uint32_t created = sim.FindChild(kStorage1, first, u"FR.DAT");
    ASSERT_NE(created, 0u);
    EXPECT_EQ(sim.Find(created)->bytes, Image(0x44, 208));
    EXPECT_TRUE(sim.Find(created)->hidden);
    EXPECT_EQ(sim.FindChild(kStorage2, second, u"FR.DAT"), 0u);
    EXPECT_EQ(sim.ObjectCount(), before + 1);
}

// The monitor's file sits in the second storage's workout folder; the first storage has an empty
// one. The write replaces the monitor's file instead of adding a second FR.DAT that would shadow it.
TEST_F(WmdmTransferTest, WriteGoesWhereTheFileIs)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    sim.AddStorage(kStorage1, u"Internal");
    sim.AddStorage(kStorage2, u"Card");
    const std::uint32_t empty = sim.AddFolder(kStorage1, 0, u"workout");
    const std::uint32_t holder = sim.AddFolder(kStorage2, 0, u"workout");
    sim.AddFile(kStorage2, holder, u"FR.DAT", Image(0x01), true);
    const std::size_t before = sim.ObjectCount();
    WriteFile(LocalPath(), Image(0x02));

    ASSERT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    EXPECT_EQ(sim.FindChild(kStorage1, empty, u"FR.DAT"), 0u);
    const std::uint32_t written = sim.FindChild(kStorage2, holder, u"FR.DAT");
    ASSERT_NE(written, 0u);
    EXPECT_EQ(sim.Find(written)->bytes, Image(0x02));
    EXPECT_EQ(sim.ObjectCount(), before);
}

// A send that fails puts the monitor's file back as it was (bytes and hidden flag), and the
// write reports the failure.
TEST_F(WmdmTransferTest, FailedSendRestoresTheOriginal)
{
    struct Case
    {
        const char *what;
        std::function<void(SimMtpMonitor &)> fault;
    } cases[] = {
        {"data phase fails on the bus", [](SimMtpMonitor &s) { s.InjectFailedSend(vxmtp::kOpSendObject); }},
        {"device refuses the data",
         [](SimMtpMonitor &s) { s.ScriptResponse(vxmtp::kOpSendObject, vxmtp::kRespStoreFull); }},
        {"device refuses the new object",
         [](SimMtpMonitor &s) { s.ScriptResponse(vxmtp::kOpSendObjectInfo, vxmtp::kRespStoreFull); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Bus bus;
        SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
        const Layout layout(sim);
        const std::size_t before = sim.ObjectCount();
        WriteFile(LocalPath(), Image(0x33));
        c.fault(sim);

        EXPECT_FALSE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
        const std::uint32_t restored = sim.FindChild(kStorage2, layout.workout, u"FR.DAT");
        ASSERT_NE(restored, 0u);
        EXPECT_EQ(sim.Find(restored)->bytes, layout.content);
        EXPECT_TRUE(sim.Find(restored)->hidden);
        EXPECT_EQ(sim.ObjectCount(), before);
    }
}

// The monitor drops off the bus at each command of the write-back in turn, before acting on it and
// after acting on it (its answer lost). After every cut, and once it is plugged in again, the
// workout folder holds an FR.DAT with the old bytes or the new (or, cut between the removal of the
// old object and the naming of the new, the new object under its replacement name alone), the next
// read takes the old or the new bytes, and the write reported success only where the new bytes are
// in place. A later write leaves one FR.DAT and nothing else behind.
TEST_F(WmdmTransferTest, CutAtEveryStepOfTheReplacementLosesNothing)
{
    const struct
    {
        const char *what;
        bool rename;
        bool duplicates;
    } kinds[] = {
        {"renames, refuses a second object of a name", true, false},
        {"renames, takes a second object of a name", true, true},
        {"cannot rename, takes a second object of a name", false, true},
    };
    const std::u16string temp = vxmtp::ReplacementName(kWorkoutDeviceFileName);
    for (const auto &kind : kinds)
        for (const bool afterActing : {false, true})
        {
            bool uncut = false;
            for (int cut = 1; !uncut && cut < 100; ++cut)
            {
                SCOPED_TRACE(testing::Message() << kind.what << (afterActing ? ", after acting" : ", before acting")
                                                << ", cut at command " << cut);
                Bus bus;
                SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
                const Layout layout(sim);
                sim.SetFileNameWritable(kind.rename);
                sim.AcceptDuplicateNames(kind.duplicates);
                const Bytes image = Image(0x33, 208 + 5 * 33);
                WriteFile(LocalPath(), image);

                sim.CutAtCommand(cut, afterActing);
                const bool written = WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath());
                uncut = !sim.Unplugged();
                sim.CutAtCommand(0, false);
                sim.SetUnplugged(false);
                if (uncut)
                {
                    EXPECT_TRUE(written);
                }

                // What the monitor holds straight after the cut.
                bool oldOrNew = false;
                std::vector<Bytes> moved;
                for (const vxsim::SimObject &o : sim.Children(kStorage2, layout.workout))
                {
                    if (o.name == kWorkoutDeviceFileName && (o.bytes == layout.content || o.bytes == image))
                        oldOrNew = true;
                    if (o.name == temp)
                        moved.push_back(o.bytes);
                }
                EXPECT_TRUE(oldOrNew || (kind.rename && moved == std::vector<Bytes>{image}));

                // The next read takes the old or the new file.
                ASSERT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName));
                const Bytes read = ReadFile(LocalPath());
                EXPECT_TRUE(read == layout.content || read == image);
                if (written)
                {
                    EXPECT_EQ(read, image);
                }
                if (read != image)
                {
                    EXPECT_FALSE(written);
                }

                // A write without a cut puts the new file in place and clears up.
                WriteFile(LocalPath(), image);
                ASSERT_TRUE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
                std::vector<Bytes> named;
                for (const vxsim::SimObject &o : sim.Children(kStorage2, layout.workout))
                {
                    EXPECT_NE(o.name, temp);
                    if (o.name == kWorkoutDeviceFileName)
                    {
                        named.push_back(o.bytes);
                        EXPECT_TRUE(o.hidden);
                    }
                }
                EXPECT_EQ(named, std::vector<Bytes>{image});
                EXPECT_NE(sim.FindChild(kStorage2, layout.workout, u"FR.DAT.bak"), 0u);
            }
            EXPECT_TRUE(uncut) << kind.what;
        }
}

TEST_F(WmdmTransferTest, WriteFailsWithoutAWorkoutFolderOrLocalFile)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    sim.AddStorage(kStorage1, u"Internal");
    sim.AddFolder(kStorage1, 0, u"Workout");
    const std::size_t before = sim.ObjectCount();
    WriteFile(LocalPath(), Image(0x02));
    EXPECT_FALSE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, LocalPath()));
    EXPECT_FALSE(WmdmWriteFile(kVid, kPid, u"", LocalPath()));
    EXPECT_EQ(sim.ObjectCount(), before);

    const std::uint32_t workout = sim.AddFolder(kStorage1, 0, u"workout");
    const std::uint32_t old = sim.AddFile(kStorage1, workout, u"FR.DAT", Image(0x01), true);
    EXPECT_FALSE(WmdmWriteFile(kVid, kPid, kWorkoutDeviceFileName, (fs::path(m_dir) / "missing").string()));
    ASSERT_NE(sim.Find(old), nullptr);
    EXPECT_EQ(sim.Find(old)->bytes, Image(0x01));
}

namespace
{
// Two storages, each with workout/FR.DAT.
struct TwoFiles
{
    std::uint32_t firstFolder = 0, firstFile = 0, secondFolder = 0, secondFile = 0;

    explicit TwoFiles(SimMtpMonitor &sim)
    {
        sim.AddStorage(kStorage1, u"Internal");
        sim.AddStorage(kStorage2, u"Card");
        firstFolder = sim.AddFolder(kStorage1, 0, u"workout");
        firstFile = sim.AddFile(kStorage1, firstFolder, u"FR.DAT", Image(0x01), true);
        secondFolder = sim.AddFolder(kStorage2, 0, u"workout");
        secondFile = sim.AddFile(kStorage2, secondFolder, u"FR.DAT", Image(0x02), true);
    }
};

// Replaces the file in the folder by a new object with other bytes, through the device directly.
void ReplaceOnDevice(std::uint32_t storageId, const std::string &localPath, const Bytes &bytes)
{
    WriteFile(localPath, bytes);
    auto devices = vxmtp::MtpDeviceManager::EnumerateDevices(kVid, kPid);
    ASSERT_EQ(devices.size(), 1u);
    std::vector<vxmtp::MtpStorage> roots;
    ASSERT_TRUE(devices[0]->Storages(roots));
    for (const vxmtp::MtpStorage &root : roots)
    {
        vxmtp::MtpStorage folder;
        if (root.storageId == storageId && devices[0]->FindChild(root, u"workout", folder))
        {
            ASSERT_TRUE(devices[0]->Insert(folder, u"FR.DAT", localPath));
            return;
        }
    }
    FAIL() << "no workout folder on the storage";
}
} // namespace

// The first storage's file cannot be read once, so the read takes the second's and tells where it was;
// reading at that place gets that file again, not the first storage's.
TEST_F(WmdmTransferTest, AReadTellsWhichObjectItTook)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    const TwoFiles files(sim);
    sim.ScriptResponse(vxmtp::kOpGetObject, vxmtp::kRespGeneralError);

    WmdmFileLocation at;
    ASSERT_TRUE(WmdmReadFile(kVid, kPid, LocalPath(), kWorkoutDeviceFileName, &at));
    EXPECT_EQ(ReadFile(LocalPath()), Image(0x02));
    EXPECT_EQ(at.storageId, kStorage2);
    EXPECT_EQ(at.folder, files.secondFolder);
    EXPECT_EQ(at.object, files.secondFile);

    ASSERT_TRUE(WmdmReadFileAt(kVid, kPid, at, LocalPath()));
    EXPECT_EQ(ReadFile(LocalPath()), Image(0x02));

    // An object that is no longer there is not read, and leaves no local file.
    WmdmFileLocation gone = at;
    gone.object = files.firstFile;
    EXPECT_FALSE(WmdmReadFileAt(kVid, kPid, gone, LocalPath())) << "another folder's file";
    EXPECT_FALSE(fs::exists(LocalPath()));
}

// Writing at a location touches only that folder. ThatObject replaces the file only while it is the
// object that was read; ByName replaces whatever the folder's file now is, or creates it. Only a send
// that failed may have changed the device; every other refusal leaves it untouched.
TEST_F(WmdmTransferTest, AWriteAtALocationReplacesOnlyWhatItMayReplace)
{
    using Outcome = WmdmWriteOutcome;
    const struct
    {
        const char *what;
        WmdmReplace replace;
        bool replacedSinceRead;
        std::function<void(WmdmFileLocation &)> change;
        bool sendFails;
        Outcome outcome;
    } cases[] = {
        {"the object that was read", WmdmReplace::ThatObject, false, {}, false, Outcome::Written},
        {"replaced since the read", WmdmReplace::ThatObject, true, {}, false, Outcome::Untouched},
        {"another storage", WmdmReplace::ThatObject, false,
         [](WmdmFileLocation &l) { l.storageId = kStorage1; }, false, Outcome::Untouched},
        {"another folder", WmdmReplace::ThatObject, false, [](WmdmFileLocation &l) { l.folder = l.object; },
         false, Outcome::Untouched},
        {"no object", WmdmReplace::ThatObject, false, [](WmdmFileLocation &l) { l.object = 0; }, false,
         Outcome::Untouched},
        {"the send fails", WmdmReplace::ThatObject, false, {}, true, Outcome::Failed},
        {"by name, replaced since the read", WmdmReplace::ByName, true, {}, false, Outcome::Written},
        {"by name, another storage", WmdmReplace::ByName, false, [](WmdmFileLocation &l) { l.storageId = 7; },
         false, Outcome::Untouched},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        Bus bus;
        SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
        const TwoFiles files(sim);
        WmdmFileLocation at{kStorage2, files.secondFolder, files.secondFile};
        if (c.replacedSinceRead)
            ReplaceOnDevice(kStorage2, LocalPath(), Image(0x03));
        const std::uint32_t handleBefore = sim.FindChild(kStorage2, files.secondFolder, u"FR.DAT");
        const Bytes before = sim.Find(handleBefore)->bytes;
        if (c.change)
            c.change(at);
        if (c.sendFails)
            sim.InjectFailedSend(vxmtp::kOpSendObject);
        const WmdmFileLocation asked = at;
        WriteFile(LocalPath(), Image(0x44));

        EXPECT_EQ(WmdmWriteFileAt(kVid, kPid, at, c.replace, kWorkoutDeviceFileName, LocalPath()), c.outcome);
        EXPECT_EQ(sim.Find(files.firstFile)->bytes, Image(0x01)) << "the other storage's file";
        const std::uint32_t now = sim.FindChild(kStorage2, files.secondFolder, u"FR.DAT");
        ASSERT_NE(now, 0u);
        const bool written = c.outcome == Outcome::Written;
        EXPECT_EQ(sim.Find(now)->bytes, written ? Image(0x44) : before);
        if (written)
        {
            EXPECT_TRUE(sim.Find(now)->hidden);
            EXPECT_EQ(at.object, now) << "the location names the new object";
        }
        else
        {
            EXPECT_EQ(at.object, asked.object);
        }
        if (c.outcome == Outcome::Untouched)
        {
            EXPECT_EQ(now, handleBefore) << "not even replaced by an equal copy";
        }
    }
}

// Putting a file back after a write that lost it: by name, the file is created in the folder.
TEST_F(WmdmTransferTest, AWriteByNameCreatesAMissingFile)
{
    Bus bus;
    SimMtpMonitor &sim = bus.Add(u"SER42", "SER42");
    sim.AddStorage(kStorage1, u"Internal");
    const std::uint32_t folder = sim.AddFolder(kStorage1, 0, u"workout");
    WmdmFileLocation at{kStorage1, folder, 0x777};
    WriteFile(LocalPath(), Image(0x55));

    EXPECT_EQ(WmdmWriteFileAt(kVid, kPid, at, WmdmReplace::ThatObject, kWorkoutDeviceFileName, LocalPath()),
              WmdmWriteOutcome::Untouched);
    EXPECT_EQ(sim.FindChild(kStorage1, folder, u"FR.DAT"), 0u);
    ASSERT_EQ(WmdmWriteFileAt(kVid, kPid, at, WmdmReplace::ByName, kWorkoutDeviceFileName, LocalPath()),
              WmdmWriteOutcome::Written);
    const std::uint32_t created = sim.FindChild(kStorage1, folder, u"FR.DAT");
    ASSERT_NE(created, 0u);
    EXPECT_EQ(sim.Find(created)->bytes, Image(0x55));
    EXPECT_EQ(at.object, created);
}
