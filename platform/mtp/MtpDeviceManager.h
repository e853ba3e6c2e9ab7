#pragma once

// A media-device-manager-like view of the MTP devices on the USB bus.
//
// Finding devices
//   MtpDeviceManager::EnumerateDevices(vid, pid) opens every MTP interface present (or only those of
//   the given vendor and product; 0 matches any), asks each for its DeviceInfo and opens a session.
//   Discovery opens only the USB devices whose device descriptor carries the IDs asked for. A device
//   whose interface another program holds is tried again a few times over about a second (the waits
//   go through PauseFor); one still held then, or one that does not answer, is left out. The list is
//   in bus/port order. Each MtpDevice carries:
//     Location()        USB vendor and product ID, bus number and port chain; SysfsName() gives the
//                       name of the device's folder under /sys/bus/usb/devices ("1-4.2"), so a caller
//                       can match the serial number against sysfs;
//     SerialNumber(), Manufacturer(), Model(), FirmwareVersion() (the DeviceInfo DeviceVersion), all
//                       UTF-16 as the device gave them.
//   Devices hold their USB interface until the last shared_ptr is released. Releasing one does not
//   close the device's session: the effect of a vendor operation is kept for the next user.
//
// Files
//   Storages() gives the storage roots; Children(parent) the objects below a root or folder, each an
//   MtpStorage with its name and attribute bits (kAttrFolder, kAttrFile, kAttrHidden, kAttrCanRead,
//   kAttrNotTransferable); FindChild(parent, name) matches the name exactly; Refresh(object) reads an
//   object's description again.
//   ReadToFile(file, path) copies an object to a local file through a temporary file in the same
//   folder and a rename: on failure the local path is untouched and nothing is left behind.
//   Insert(folder, name, path, &created) copies a local file into a folder, replacing the objects of the
//   same name. The old object goes only once the new one is whole on the device: the new one is sent
//   (under ReplacementName(name) when the device can rename objects, else under the name itself, which
//   the device must then accept twice), the old one deleted, and the new one renamed (ObjectFileName,
//   0xDC07). It takes the old one's hidden flag. When any step fails the old file is left as it was
//   (or, after a cut between the delete and the rename, the new one waits under the replacement name
//   for FinishReplacement) and Insert fails.
//   SetHidden(object, flag) sets the MTP Hidden property (0xDC0D).
//
// Vendor operations
//   SendVendorOperation(op, params, phase, data) runs one operation with up to five parameters and a
//   data phase of DataPhase::None, ::Out (data is sent) or ::In (data receives what the device sends),
//   and returns the transport outcome, the device's response code and its response parameters. Bounds
//   that a caller's record format imposes (for example a 1024-byte write area, a 2048-byte read area)
//   are the caller's to check; the engine itself carries any length.
//
// Tests
//   SetDeviceSource() replaces libusb discovery with a list of candidates (for example simulated
//   monitors, tests/support/sim_mtp); ScopedDeviceSource restores discovery when it ends.
//   SetUsbBusSource() (UsbMtpTransport.h) replaces only libusb's device list, so that the discovery
//   itself runs over a simulated bus; SetPauseFunction() (MtpPause.h) replaces the waits.
//
// Every call blocks on the USB transfers. The operations of one device are serialised; callers that
// need one device operation at a time across the process keep their own lock around them.

#include "platform/mtp/PtpSession.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vxmtp
{
// Attribute bits of an MtpStorage.
constexpr std::uint32_t kAttrFolder = 0x8;
constexpr std::uint32_t kAttrFile = 0x20;
constexpr std::uint32_t kAttrCanRead = 0x40000;
constexpr std::uint32_t kAttrHidden = 0x400000;
// The object's protection status says its data may not leave the device.
constexpr std::uint32_t kAttrNotTransferable = 0x20000000;

// MTP protection status "non-transferable data".
constexpr std::uint16_t kProtectionNonTransferable = 0x8003;

struct UsbLocation
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t busNumber = 0;
    std::vector<std::uint8_t> portNumbers; // from the root hub down

    // "bus-port.port..." as the kernel names the device in sysfs; "usbN" for a root hub.
    std::string SysfsName() const;
};

// Bus/port order: by bus number, then by the port chain.
bool operator<(const UsbLocation &a, const UsbLocation &b);

// One MTP interface that could be opened.
struct MtpDeviceCandidate
{
    UsbLocation location;
    // Opens the interface: TransferStatus::Ok with a transport, or why not (Busy when another
    // program holds it).
    std::function<TransferStatus(std::unique_ptr<PtpTransport> &transport)> open;
};

using DeviceSource = std::function<std::vector<MtpDeviceCandidate>()>;

// Replaces USB discovery for the whole process; an empty source restores it.
void SetDeviceSource(DeviceSource source);

class ScopedDeviceSource
{
  public:
    explicit ScopedDeviceSource(DeviceSource source) { SetDeviceSource(std::move(source)); }
    ~ScopedDeviceSource() { SetDeviceSource({}); }
    ScopedDeviceSource(const ScopedDeviceSource &) = delete;
    ScopedDeviceSource &operator=(const ScopedDeviceSource &) = delete;
};

// A storage root or an object on the device. A root has handle 0 and is a folder.
struct MtpStorage
{
    std::uint32_t storageId = 0;
    std::uint32_t handle = 0;
    std::u16string name; // the volume's description for a root, else the file name
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;

    bool IsRoot() const { return handle == 0; }
    bool IsFolder() const { return (attributes & kAttrFolder) != 0; }
    bool IsFile() const { return (attributes & kAttrFile) != 0; }
    bool IsHidden() const { return (attributes & kAttrHidden) != 0; }
};

class MtpDevice
{
  public:
    MtpDevice(UsbLocation location, std::unique_ptr<PtpSession> session, DeviceInfo info);
    MtpDevice(const MtpDevice &) = delete;
    MtpDevice &operator=(const MtpDevice &) = delete;

    const UsbLocation &Location() const { return m_location; }
    const DeviceInfo &Info() const { return m_info; }
    const std::u16string &SerialNumber() const { return m_info.serialNumber; }
    const std::u16string &Manufacturer() const { return m_info.manufacturer; }
    const std::u16string &Model() const { return m_info.model; }
    const std::u16string &FirmwareVersion() const { return m_info.deviceVersion; }

    bool Storages(std::vector<MtpStorage> &roots);
    bool Children(const MtpStorage &parent, std::vector<MtpStorage> &children);
    bool FindChild(const MtpStorage &parent, std::u16string_view name, MtpStorage &child);
    // Reads the object's name, attributes and size from the device again; a root stays as it is.
    bool Refresh(MtpStorage &object);
    bool ReadToFile(const MtpStorage &file, const std::string &localPath);
    bool Insert(const MtpStorage &folder, std::u16string_view name, const std::string &localPath,
                MtpStorage *created = nullptr);
    // Finishes a replacement of the named file that was cut off after the old object went: the new
    // object, still under ReplacementName(name), takes the name. children, when given, receives the
    // folder's objects as they are then. False when the folder cannot be listed or the object cannot
    // be renamed (the folder then has no file of the name that a reader may take as missing).
    bool FinishReplacement(const MtpStorage &folder, std::u16string_view name,
                           std::vector<MtpStorage> *children = nullptr);
    bool SetHidden(MtpStorage &object, bool hidden);

    PtpResult SendVendorOperation(std::uint16_t op, std::span<const std::uint32_t> params, DataPhase phase,
                                  std::vector<std::uint8_t> *data);

    // The outcome of the last device transaction of the last call above; code 0 when that call failed
    // before it reached the device (a bad argument, a local file that could not be read).
    PtpResult LastResult() const;
    PtpSession &Session() { return *m_session; }

  private:
    bool Check(const PtpResult &r);
    // Whether objects can be renamed through ObjectFileName; false when the device could not be asked.
    bool RenameSupported(bool &supported);
    bool Describe(std::uint32_t handle, MtpStorage &object, ObjectInfo *info = nullptr);

    UsbLocation m_location;
    std::unique_ptr<PtpSession> m_session;
    DeviceInfo m_info;
    mutable std::recursive_mutex m_mutex;
    PtpResult m_last;
    bool m_renameKnown = false;
    bool m_canRename = false;
};

// The name a replacement of a file travels under until the old object is gone.
std::u16string ReplacementName(std::u16string_view name);

class MtpDeviceManager
{
  public:
    // vendorId/productId 0 match any device.
    static std::vector<std::shared_ptr<MtpDevice>> EnumerateDevices(std::uint16_t vendorId = 0,
                                                                    std::uint16_t productId = 0);
};
} // namespace vxmtp
