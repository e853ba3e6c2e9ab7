#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/MtpPause.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

using namespace vxmtp;
using vxsim::SimMtpMonitor;
using vxsim::SimOperation;
using Bytes = std::vector<std::uint8_t>;
using vxtest::ReadFile;
using vxtest::WriteFile;
namespace fs = std::filesystem;

namespace
{
constexpr std::uint16_t kVid = 0x1234;
constexpr std::uint16_t kPid = 0x5678;
constexpr std::uint32_t kStorage1 = 0x00010001;
constexpr std::uint32_t kStorage2 = 0x00020001;

std::vector<std::string> Entries(const fs::path &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A monitor with two storages; the second has a "workout" folder holding FR.DAT.
struct Monitor
{
    SimMtpMonitor sim;
    std::uint32_t workout = 0;
    std::uint32_t frDat = 0;
    Bytes content = Bytes(208, 0x5A);

    Monitor()
    {
        sim.Info().manufacturer = u"Maker Co";
        sim.Info().deviceVersion = u"FW 2.01";
        sim.Info().serialNumber = u"0123456789ABCDEF";
        sim.AddStorage(kStorage1, u"Internal");
        sim.AddStorage(kStorage2, u"Card");
        sim.AddFile(kStorage1, 0, u"FR.DAT", Bytes{1, 2, 3}); // in a root: not the workout file
        workout = sim.AddFolder(kStorage2, 0, u"workout");
        sim.AddFolder(kStorage2, 0, u"music");
        content[0] = 0x11;
        frDat = sim.AddFile(kStorage2, workout, u"FR.DAT", content, true);
        sim.AddFile(kStorage2, workout, u"fr.dat.bak", Bytes{4});
    }
};

std::shared_ptr<MtpDevice> Only(SimMtpMonitor &sim)
{
    ScopedDeviceSource source([&] { return std::vector<MtpDeviceCandidate>{sim.Candidate(kVid, kPid)}; });
    auto devices = MtpDeviceManager::EnumerateDevices();
    EXPECT_EQ(devices.size(), 1u);
    return devices.empty() ? nullptr : devices[0];
}

MtpStorage Workout(MtpDevice &d)
{
    std::vector<MtpStorage> roots;
    EXPECT_TRUE(d.Storages(roots));
    EXPECT_EQ(roots.size(), 2u);
    MtpStorage folder;
    EXPECT_TRUE(d.FindChild(roots.at(1), u"workout", folder));
    return folder;
}
} // namespace

TEST(MtpDeviceManager, DevicesCarryIdentityAndLocationInBusPortOrder)
{
    SimMtpMonitor a, b, busy, other;
    a.Info().serialNumber = u"AAA";
    a.Info().manufacturer = u"Maker A";
    a.Info().deviceVersion = u"1.2";
    b.Info().serialNumber = u"BBB";
    other.Info().serialNumber = u"OTHER";
    busy.SetBusy(true);
    ScopedPauseFunction noWaits([](unsigned) {});
    ScopedDeviceSource source([&] {
        return std::vector<MtpDeviceCandidate>{
            b.Candidate(kVid, kPid, 2, {1}),
            a.Candidate(kVid, kPid, 1, {4, 2}),
            busy.Candidate(kVid, kPid, 1, {1}),
            other.Candidate(0x2222, 0x0001, 1, {3}),
        };
    });

    auto all = MtpDeviceManager::EnumerateDevices();
    ASSERT_EQ(all.size(), 3u) << "the busy one is not available";
    EXPECT_EQ(all[0]->SerialNumber(), u"OTHER");
    EXPECT_EQ(all[1]->SerialNumber(), u"AAA");
    EXPECT_EQ(all[2]->SerialNumber(), u"BBB");
    EXPECT_EQ(all[1]->Manufacturer(), u"Maker A");
    EXPECT_EQ(all[1]->FirmwareVersion(), u"1.2");
    EXPECT_EQ(all[1]->Location().vendorId, kVid);
    EXPECT_EQ(all[1]->Location().productId, kPid);
    EXPECT_EQ(all[1]->Location().SysfsName(), "1-4.2");
    EXPECT_EQ(all[2]->Location().SysfsName(), "2-1");
    EXPECT_TRUE(a.SessionOpen());
    EXPECT_FALSE(busy.SessionOpen());

    auto ours = MtpDeviceManager::EnumerateDevices(kVid, kPid);
    ASSERT_EQ(ours.size(), 2u);
    EXPECT_EQ(ours[0]->SerialNumber(), u"AAA");
    EXPECT_EQ(ours[1]->SerialNumber(), u"BBB");
    EXPECT_TRUE(other.OperationLog().size() == 2u) << "a device of another vendor is not opened again";
}

// A desktop service that probes a new device holds its interface for a moment: the claim is tried
// again a few times, with pauses (through the seam) adding up to about a second, before the device
// counts as absent.
TEST(MtpDeviceManager, BusyInterfaceIsTriedAgainForABoundedTime)
{
    std::vector<unsigned> pauses;
    ScopedPauseFunction record([&](unsigned ms) { pauses.push_back(ms); });
    SimMtpMonitor sim;
    sim.Info().serialNumber = u"HELD";
    ScopedDeviceSource source([&] { return std::vector<MtpDeviceCandidate>{sim.Candidate(kVid, kPid)}; });

    sim.SetBusyForConnects(2);
    auto devices = MtpDeviceManager::EnumerateDevices(kVid, kPid);
    ASSERT_EQ(devices.size(), 1u) << "let go after two tries";
    EXPECT_EQ(devices[0]->SerialNumber(), u"HELD");
    EXPECT_EQ(pauses.size(), 2u);
    devices.clear();

    pauses.clear();
    sim.SetBusy(true);
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices(kVid, kPid).empty());
    ASSERT_FALSE(pauses.empty());
    unsigned total = 0;
    for (unsigned p : pauses)
        total += p;
    EXPECT_LE(pauses.size(), 5u);
    EXPECT_LE(total, 1500u);

    // A device that is gone is not waited for.
    pauses.clear();
    sim.SetBusy(false);
    sim.SetUnplugged(true);
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices(kVid, kPid).empty());
    EXPECT_TRUE(pauses.empty());
}

TEST(MtpDeviceManager, DeviceThatDoesNotAnswerIsLeftOut)
{
    SimMtpMonitor mute, refusing, good;
    mute.ScriptResponse(kOpGetDeviceInfo, kRespGeneralError);
    refusing.ScriptResponse(kOpOpenSession, kRespDeviceBusy);
    ScopedDeviceSource source([&] {
        return std::vector<MtpDeviceCandidate>{mute.Candidate(kVid, kPid, 1, {1}),
                                               refusing.Candidate(kVid, kPid, 1, {2}),
                                               good.Candidate(kVid, kPid, 1, {3})};
    });
    auto devices = MtpDeviceManager::EnumerateDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]->Location().SysfsName(), "1-3");
}

TEST(MtpDeviceManager, UsbLocationOrderAndNames)
{
    UsbLocation hub{1, 1, 3, {}};
    UsbLocation p2{1, 1, 1, {2}};
    UsbLocation p10{1, 1, 1, {10}};
    UsbLocation p2_1{1, 1, 1, {2, 1}};
    EXPECT_EQ(hub.SysfsName(), "usb3");
    EXPECT_EQ(p2_1.SysfsName(), "1-2.1");
    EXPECT_TRUE(p2 < p2_1);
    EXPECT_TRUE(p2_1 < p10) << "ports compare as numbers";
    EXPECT_TRUE(p10 < hub) << "bus first";
    EXPECT_FALSE(p2 < p2);
}

TEST(MtpDeviceManager, FolderWalkWithAttributes)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    std::vector<MtpStorage> roots;
    ASSERT_TRUE(d->Storages(roots));
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].name, u"Internal");
    EXPECT_EQ(roots[1].name, u"Card");
    EXPECT_TRUE(roots[1].IsRoot());
    EXPECT_TRUE(roots[1].IsFolder());

    std::vector<MtpStorage> top;
    ASSERT_TRUE(d->Children(roots[1], top));
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].name, u"workout");
    EXPECT_EQ(top[0].attributes, kAttrFolder | kAttrCanRead);
    EXPECT_EQ(top[1].name, u"music");

    std::vector<MtpStorage> files;
    ASSERT_TRUE(d->Children(top[0], files));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, u"FR.DAT");
    EXPECT_EQ(files[0].attributes, kAttrFile | kAttrCanRead | kAttrHidden);
    EXPECT_EQ(files[0].size, 208u);
    EXPECT_EQ(files[1].attributes, kAttrFile | kAttrCanRead);

    // Names match exactly.
    MtpStorage found;
    EXPECT_TRUE(d->FindChild(top[0], u"FR.DAT", found));
    EXPECT_EQ(found.handle, m.frDat);
    EXPECT_FALSE(d->FindChild(top[0], u"fr.dat", found));
    EXPECT_TRUE(d->LastResult().IsOk()) << "a name that is not there is no device error";
    // A file has no children.
    EXPECT_FALSE(d->Children(files[0], files));
}

TEST(MtpDeviceManager, WalkFailsOnDeviceErrors)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    std::vector<MtpStorage> roots;
    m.sim.ScriptResponse(kOpGetStorageInfo, kRespAccessDenied);
    EXPECT_FALSE(d->Storages(roots));
    EXPECT_EQ(d->LastResult().code, kRespAccessDenied);
    ASSERT_TRUE(d->Storages(roots));
    m.sim.ScriptResponse(kOpGetObjectInfo, kRespGeneralError);
    std::vector<MtpStorage> children;
    EXPECT_FALSE(d->Children(roots[1], children));
}

TEST(MtpDeviceManager, ObjectsWithoutHiddenPropertyAreVisible)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    const MtpStorage folder = Workout(*d);
    m.sim.ScriptResponse(kOpGetObjectPropValue, kRespObjectPropNotSupported);
    std::vector<MtpStorage> files;
    ASSERT_TRUE(d->Children(folder, files));
    EXPECT_FALSE(files[0].IsHidden());
}

TEST(MtpDeviceManager, ProtectionStatusAndRefresh)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    const MtpStorage folder = Workout(*d);
    MtpStorage file;
    ASSERT_TRUE(d->FindChild(folder, u"FR.DAT", file));
    EXPECT_EQ(file.attributes & kAttrNotTransferable, 0u);

    // A read-only object may still be copied; only non-transferable data is marked.
    m.sim.SetProtectionStatus(m.frDat, 0x0001);
    ASSERT_TRUE(d->Refresh(file));
    EXPECT_EQ(file.attributes, kAttrFile | kAttrCanRead | kAttrHidden);
    m.sim.SetProtectionStatus(m.frDat, kProtectionNonTransferable);
    ASSERT_TRUE(d->Refresh(file));
    EXPECT_EQ(file.attributes, kAttrFile | kAttrCanRead | kAttrHidden | kAttrNotTransferable);
    EXPECT_EQ(file.handle, m.frDat);
    EXPECT_EQ(file.name, u"FR.DAT");

    // A root has nothing to read again; an object the device no longer knows fails.
    std::vector<MtpStorage> roots;
    ASSERT_TRUE(d->Storages(roots));
    MtpStorage root = roots[0];
    EXPECT_TRUE(d->Refresh(root));
    EXPECT_EQ(root.attributes, kAttrFolder | kAttrCanRead);
    MtpStorage gone = file;
    gone.handle = 0x7777;
    EXPECT_FALSE(d->Refresh(gone));
    EXPECT_EQ(d->LastResult().code, kRespInvalidObjectHandle);
}

TEST(MtpDeviceManager, ReadToFile)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    const MtpStorage folder = Workout(*d);
    MtpStorage file;
    ASSERT_TRUE(d->FindChild(folder, u"FR.DAT", file));
    const fs::path dir = vxtest::MakeTempDir("read");
    const fs::path target = dir / "FR.TMP";
    ASSERT_TRUE(d->ReadToFile(file, target.string()));
    EXPECT_EQ(ReadFile(target), m.content);
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"FR.TMP"}));

    // A folder is not read.
    EXPECT_FALSE(d->ReadToFile(folder, (dir / "x").string()));
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"FR.TMP"}));
}

// Every way a read can fail leaves the folder as it was: an earlier copy stays, nothing is added.
TEST(MtpDeviceManager, FailedReadLeavesNoFile)
{
    struct Case
    {
        const char *what;
        std::function<void(SimMtpMonitor &)> fault;
    } cases[] = {
        {"cut data phase", [](SimMtpMonitor &s) { s.InjectShortRead(kOpGetObject, 100); }},
        {"short object", [](SimMtpMonitor &s) { s.InjectShortRead(kOpGetObject, 100, true); }},
        {"refused", [](SimMtpMonitor &s) { s.ScriptResponse(kOpGetObject, kRespAccessDenied); }},
        {"info refused",
         [](SimMtpMonitor &s) { s.ScriptResponse(kOpGetObjectInfo, kRespInvalidObjectHandle); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Monitor m;
        auto d = Only(m.sim);
        ASSERT_TRUE(d);
        MtpStorage file;
        ASSERT_TRUE(d->FindChild(Workout(*d), u"FR.DAT", file));
        const fs::path dir = vxtest::MakeTempDir("fail");
        const fs::path fresh = dir / "NEW.TMP";
        const fs::path old = dir / "FR.TMP";
        WriteFile(old, Bytes{9, 9});

        c.fault(m.sim);
        EXPECT_FALSE(d->ReadToFile(file, fresh.string()));
        EXPECT_EQ(Entries(dir), (std::vector<std::string>{"FR.TMP"}));

        c.fault(m.sim);
        EXPECT_FALSE(d->ReadToFile(file, old.string()));
        EXPECT_EQ(ReadFile(old), (Bytes{9, 9}));
        EXPECT_EQ(Entries(dir), (std::vector<std::string>{"FR.TMP"}));
    }

    // A folder that cannot be written to fails too.
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage file;
    ASSERT_TRUE(d->FindChild(Workout(*d), u"FR.DAT", file));
    EXPECT_FALSE(d->ReadToFile(file, vxtest::MakeTempDir("gone") + "/missing/FR.TMP"));
}

TEST(MtpDeviceManager, InsertNewFileAndHide)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage folder = Workout(*d);
    const fs::path local = fs::path(vxtest::MakeTempDir("ins")) / "in.bin";
    const Bytes bytes = {1, 2, 3, 4, 5};
    WriteFile(local, bytes);
    MtpStorage created;
    ASSERT_TRUE(d->Insert(folder, u"NEW.DAT", local.string(), &created));
    EXPECT_EQ(created.name, u"NEW.DAT");
    EXPECT_EQ(created.size, 5u);
    EXPECT_FALSE(created.IsHidden());
    const std::uint32_t h = m.sim.FindChild(kStorage2, m.workout, u"NEW.DAT");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(h, created.handle);
    EXPECT_EQ(m.sim.Find(h)->bytes, bytes);

    ASSERT_TRUE(d->SetHidden(created, true));
    EXPECT_TRUE(created.IsHidden());
    EXPECT_TRUE(m.sim.Find(h)->hidden);
    MtpStorage again;
    ASSERT_TRUE(d->FindChild(folder, u"NEW.DAT", again));
    EXPECT_TRUE(again.IsHidden());
    ASSERT_TRUE(d->SetHidden(again, false));
    EXPECT_FALSE(m.sim.Find(h)->hidden);
    EXPECT_FALSE(again.IsHidden());

    // A missing local file sends nothing.
    const std::size_t before = m.sim.ObjectCount();
    EXPECT_FALSE(d->Insert(folder, u"X.DAT", (local.parent_path() / "none").string()));
    EXPECT_EQ(m.sim.ObjectCount(), before);
}

TEST(MtpDeviceManager, InsertIntoStorageRoot)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    std::vector<MtpStorage> roots;
    ASSERT_TRUE(d->Storages(roots));
    const fs::path local = fs::path(vxtest::MakeTempDir("root")) / "a";
    WriteFile(local, Bytes{7});
    ASSERT_TRUE(d->Insert(roots[0], u"TOP.DAT", local.string()));
    const std::uint32_t h = m.sim.FindChild(kStorage1, 0, u"TOP.DAT");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(m.sim.Find(h)->bytes, (Bytes{7}));
}

TEST(MtpDeviceManager, InsertReplacesFileOfSameName)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage folder = Workout(*d);
    const std::size_t before = m.sim.ObjectCount();
    const fs::path local = fs::path(vxtest::MakeTempDir("rep")) / "FR.TMP";
    const Bytes image(208, 0x33);
    WriteFile(local, image);
    m.sim.ClearLogs();
    MtpStorage created;
    ASSERT_TRUE(d->Insert(folder, u"FR.DAT", local.string(), &created));
    EXPECT_EQ(m.sim.Find(m.frDat), nullptr) << "the old object is gone";
    const std::uint32_t h = m.sim.FindChild(kStorage2, m.workout, u"FR.DAT");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(m.sim.Find(h)->bytes, image);
    EXPECT_EQ(m.sim.ObjectCount(), before);
    EXPECT_TRUE(m.sim.Find(h)->hidden) << "the old file's hidden flag";
    EXPECT_EQ(created.handle, h);
    EXPECT_EQ(created.name, u"FR.DAT");
    // The new object is whole on the device, under the replacement name, before the old one goes;
    // then it takes the name.
    std::vector<std::uint16_t> ops;
    for (const auto &o : m.sim.OperationLog())
        ops.push_back(o.op);
    const auto info = std::find(ops.begin(), ops.end(), kOpSendObjectInfo);
    ASSERT_NE(info, ops.end());
    EXPECT_EQ(*(info + 1), kOpSendObject);
    const auto del = std::find(ops.begin(), ops.end(), kOpDeleteObject);
    ASSERT_NE(del, ops.end());
    EXPECT_LT(info, del);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), kOpGetObject), 0) << "the old bytes are not needed";
    const auto log = m.sim.OperationLog();
    const auto renamed = std::find_if(log.begin(), log.end(), [](const SimOperation &o) {
        return o.op == kOpSetObjectPropValue && o.params.size() == 2 && o.params[1] == kPropObjectFileName;
    });
    ASSERT_NE(renamed, log.end());
    EXPECT_EQ(renamed->params[0], h);
    EXPECT_GT(renamed - log.begin(), del - ops.begin());
}

// A device that cannot rename objects gets the new object under the name itself, beside the old
// one, which then goes; a device that takes neither cannot have its file replaced, and keeps it.
TEST(MtpDeviceManager, InsertOnDevicesThatCannotRename)
{
    for (const bool duplicates : {true, false})
    {
        SCOPED_TRACE(duplicates ? "takes a second object of the name" : "refuses a second object of the name");
        Monitor m;
        m.sim.SetFileNameWritable(false);
        m.sim.AcceptDuplicateNames(duplicates);
        auto d = Only(m.sim);
        ASSERT_TRUE(d);
        MtpStorage folder = Workout(*d);
        const std::size_t before = m.sim.ObjectCount();
        const fs::path local = fs::path(vxtest::MakeTempDir("norename")) / "FR.TMP";
        const Bytes image(208, 0x66);
        WriteFile(local, image);
        EXPECT_EQ(d->Insert(folder, u"FR.DAT", local.string()), duplicates);
        const auto files = m.sim.Children(kStorage2, m.workout);
        std::vector<Bytes> named;
        for (const auto &f : files)
        {
            EXPECT_NE(f.name, u"FR.DAT.new");
            if (f.name == u"FR.DAT")
                named.push_back(f.bytes);
        }
        EXPECT_EQ(named, std::vector<Bytes>{duplicates ? image : m.content});
        EXPECT_EQ(m.sim.ObjectCount(), before);
    }
}

// A failed send puts the old file back, bytes and hidden flag, and leaves no placeholder.
TEST(MtpDeviceManager, FailedInsertRestoresTheOldFile)
{
    struct Case
    {
        const char *what;
        std::function<void(SimMtpMonitor &)> fault;
    } cases[] = {
        {"bus error in SendObject", [](SimMtpMonitor &s) { s.InjectFailedSend(kOpSendObject); }},
        {"SendObject refused", [](SimMtpMonitor &s) { s.ScriptResponse(kOpSendObject, kRespStoreFull); }},
        {"SendObjectInfo refused",
         [](SimMtpMonitor &s) { s.ScriptResponse(kOpSendObjectInfo, kRespStoreFull); }},
        {"bus error in SendObjectInfo", [](SimMtpMonitor &s) { s.InjectFailedSend(kOpSendObjectInfo); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Monitor m;
        auto d = Only(m.sim);
        ASSERT_TRUE(d);
        MtpStorage folder = Workout(*d);
        const std::size_t before = m.sim.ObjectCount();
        const fs::path local = fs::path(vxtest::MakeTempDir("restore")) / "FR.TMP";
        WriteFile(local, Bytes(208, 0x44));
        c.fault(m.sim);
        EXPECT_FALSE(d->Insert(folder, u"FR.DAT", local.string()));
        EXPECT_FALSE(d->LastResult().IsOk());
        const std::uint32_t h = m.sim.FindChild(kStorage2, m.workout, u"FR.DAT");
        ASSERT_NE(h, 0u);
        EXPECT_EQ(m.sim.Find(h)->bytes, m.content);
        EXPECT_TRUE(m.sim.Find(h)->hidden);
        EXPECT_EQ(m.sim.ObjectCount(), before);
    }
}

// The old file stays, and nothing of the new one is left, when the device will not delete the old
// object or rename the new one; a folder of the name is never replaced by a file.
TEST(MtpDeviceManager, InsertKeepsTheOldFileWhenItCannotBeReplaced)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage folder = Workout(*d);
    const std::size_t before = m.sim.ObjectCount();
    const fs::path local = fs::path(vxtest::MakeTempDir("keep")) / "FR.TMP";
    WriteFile(local, Bytes(10, 1));

    m.sim.ScriptResponse(kOpDeleteObject, kRespAccessDenied);
    EXPECT_FALSE(d->Insert(folder, u"FR.DAT", local.string()));
    ASSERT_NE(m.sim.Find(m.frDat), nullptr);
    EXPECT_EQ(m.sim.Find(m.frDat)->bytes, m.content);
    EXPECT_EQ(m.sim.FindChild(kStorage2, m.workout, u"FR.DAT.new"), 0u);
    EXPECT_EQ(m.sim.ObjectCount(), before);

    // The device lists the name as settable but refuses it once the old object is gone: the name is
    // free by then, and the file is sent again under it. (The first refusal is of the hidden flag,
    // which the new object takes over from the old one.)
    m.sim.ScriptResponse(kOpSetObjectPropValue, kRespAccessDenied, 2);
    const Bytes image(10, 1);
    EXPECT_TRUE(d->Insert(folder, u"FR.DAT", local.string()));
    const std::uint32_t h = m.sim.FindChild(kStorage2, m.workout, u"FR.DAT");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(m.sim.Find(h)->bytes, image);
    EXPECT_EQ(m.sim.FindChild(kStorage2, m.workout, u"FR.DAT.new"), 0u);
    EXPECT_EQ(m.sim.ObjectCount(), before);

    // A folder of that name is not replaced by a file.
    EXPECT_FALSE(d->Insert(MtpStorage{kStorage2, 0, u"Card", kAttrFolder, 0}, u"workout", local.string()));
    ASSERT_NE(m.sim.Find(m.workout), nullptr);
}

// What an interrupted replacement left: the new object alone under the replacement name is named
// (it is the file now); beside the file of the name it is a leftover, which the next insert removes.
TEST(MtpDeviceManager, InterruptedReplacementIsFinished)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage folder = Workout(*d);
    const Bytes fresh(208, 0x77);
    const std::uint32_t moved = m.sim.AddFile(kStorage2, m.workout, u"FR.DAT.new", fresh, true);

    // Beside the old file it is not taken.
    std::vector<MtpStorage> children;
    ASSERT_TRUE(d->FinishReplacement(folder, u"FR.DAT", &children));
    EXPECT_EQ(m.sim.Find(moved)->name, u"FR.DAT.new");
    EXPECT_EQ(m.sim.Find(m.frDat)->bytes, m.content);

    // Alone it is the file.
    m.sim.RemoveObject(m.frDat);
    ASSERT_TRUE(d->FinishReplacement(folder, u"FR.DAT", &children));
    EXPECT_EQ(m.sim.Find(moved)->name, u"FR.DAT");
    EXPECT_TRUE(std::any_of(children.begin(), children.end(),
                            [&](const MtpStorage &c) { return c.handle == moved && c.name == u"FR.DAT"; }));

    // A leftover beside the file goes with the next insert.
    const std::uint32_t leftover = m.sim.AddFile(kStorage2, m.workout, u"FR.DAT.new", Bytes(3, 9));
    const fs::path local = fs::path(vxtest::MakeTempDir("finish")) / "FR.TMP";
    WriteFile(local, Bytes(208, 0x12));
    ASSERT_TRUE(d->Insert(folder, u"FR.DAT", local.string()));
    EXPECT_EQ(m.sim.Find(leftover), nullptr);
    EXPECT_EQ(m.sim.FindChild(kStorage2, m.workout, u"FR.DAT.new"), 0u);
    EXPECT_EQ(m.sim.Find(m.sim.FindChild(kStorage2, m.workout, u"FR.DAT"))->bytes, Bytes(208, 0x12));

    // A lone object that cannot be named leaves the folder without a file a reader could take as
    // missing: the step fails.
    m.sim.RemoveObject(m.sim.FindChild(kStorage2, m.workout, u"FR.DAT"));
    m.sim.AddFile(kStorage2, m.workout, u"FR.DAT.new", fresh);
    m.sim.SetFileNameWritable(false);
    EXPECT_FALSE(d->FinishReplacement(folder, u"FR.DAT", &children));
}

TEST(MtpDeviceManager, VendorOperationsThroughTheFacade)
{
    SimMtpMonitor sim;
    sim.ScriptVendorOperation(0x9D04, {DataPhase::None, kRespOk, {}, {}});
    sim.ScriptVendorOperation(0x9D03, {DataPhase::Out, kRespOk, {}, {}});
    sim.ScriptVendorOperation(0x9D05, {DataPhase::In, kRespOk, {1, 2, 3, 4, 5}, Bytes(2048, 0xEE)});
    {
        auto d = Only(sim);
        ASSERT_TRUE(d);
        EXPECT_TRUE(d->SendVendorOperation(0x9D04, {}, DataPhase::None, nullptr).IsOk());
    }
    // A second device object for the same monitor: the session is reused, not reopened.
    auto d = Only(sim);
    ASSERT_TRUE(d);
    Bytes record(36, 0);
    record[0] = 0xDA;
    EXPECT_TRUE(d->SendVendorOperation(0x9D03, {}, DataPhase::Out, &record).IsOk());
    Bytes in;
    const std::uint32_t params[] = {9};
    const PtpResult r = d->SendVendorOperation(0x9D05, params, DataPhase::In, &in);
    ASSERT_TRUE(r.IsOk());
    EXPECT_EQ(in, Bytes(2048, 0xEE));
    EXPECT_EQ(r.params, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    const auto log = sim.VendorLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].op, 0x9D04);
    EXPECT_EQ(log[1].dataOut, record);
    EXPECT_EQ(log[2].params, (std::vector<std::uint32_t>{9}));

    sim.ScriptResponse(0x9D04, kRespDeviceBusy);
    const PtpResult refused = d->SendVendorOperation(0x9D04, {}, DataPhase::None, nullptr);
    EXPECT_TRUE(refused.Completed());
    EXPECT_EQ(refused.code, kRespDeviceBusy);
}

TEST(MtpDeviceManager, UnpluggedDevice)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage file;
    ASSERT_TRUE(d->FindChild(Workout(*d), u"FR.DAT", file));
    m.sim.SetUnplugged(true);
    const fs::path dir = vxtest::MakeTempDir("unplug");
    EXPECT_FALSE(d->ReadToFile(file, (dir / "FR.TMP").string()));
    EXPECT_EQ(d->LastResult().transport, TransferStatus::NoDevice);
    EXPECT_TRUE(Entries(dir).empty());
    std::vector<MtpStorage> roots;
    EXPECT_FALSE(d->Storages(roots));

    ScopedDeviceSource source([&] { return std::vector<MtpDeviceCandidate>{m.sim.Candidate(kVid, kPid)}; });
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices().empty());
}

TEST(MtpDeviceManager, LocalFailuresAreNotTakenForDeviceAnswers)
{
    Monitor m;
    auto d = Only(m.sim);
    ASSERT_TRUE(d);
    MtpStorage folder = Workout(*d);
    ASSERT_TRUE(d->LastResult().IsOk());
    EXPECT_FALSE(d->Insert(folder, u"X.DAT", vxtest::MakeTempDir("none") + "/missing"));
    EXPECT_FALSE(d->LastResult().IsOk());
    EXPECT_EQ(d->LastResult().code, 0);
}
