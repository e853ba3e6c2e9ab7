#include "device/WmdmTransfer.h"

#include "device/DeviceMutex.h"
#include "platform/dev/UsbSerialKey.h"
#include "platform/sys/Files.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
constexpr char16_t kWorkoutFolderName[] = u"workout";

// The first device with the IDs whose serial is one the system lists the USB device under.
std::shared_ptr<vxmtp::MtpDevice> FindMonitor(std::uint16_t vendorId, std::uint16_t productId)
{
    for (std::shared_ptr<vxmtp::MtpDevice> &device :
         vxmtp::MtpDeviceManager::EnumerateDevices(vendorId, productId))
    {
        const vxmtp::UsbLocation &at = device->Location();
        if (at.vendorId != vendorId || at.productId != productId)
            continue;
        if (vxdev::UsbSerialIsEnumerated(vendorId, productId, vxsys::Utf16ToUtf8(device->SerialNumber())))
            return std::move(device);
    }
    return nullptr;
}

// Every folder named "workout" directly below a storage root, in walk order. False on a device error.
bool WorkoutFolders(vxmtp::MtpDevice &device, std::vector<vxmtp::MtpStorage> &folders)
{
    std::vector<vxmtp::MtpStorage> roots;
    if (!device.Storages(roots))
        return false;
    folders.clear();
    for (const vxmtp::MtpStorage &root : roots)
    {
        if (!root.IsFolder())
            continue;
        std::vector<vxmtp::MtpStorage> children;
        if (!device.Children(root, children))
            return false;
        for (vxmtp::MtpStorage &child : children)
            if (child.IsFolder() && child.name == kWorkoutFolderName)
                folders.push_back(std::move(child));
    }
    return true;
}

// The workout folder at the location: on that storage, directly below its root, still a folder named
// "workout". False when any of that no longer holds or the device cannot be asked.
bool FolderAt(vxmtp::MtpDevice &device, const WmdmFileLocation &at, vxmtp::MtpStorage &folder)
{
    std::vector<vxmtp::MtpStorage> roots;
    if (at.folder == 0 || !device.Storages(roots))
        return false;
    for (const vxmtp::MtpStorage &root : roots)
    {
        if (root.storageId != at.storageId || !root.IsFolder())
            continue;
        std::vector<vxmtp::MtpStorage> children;
        if (!device.Children(root, children))
            return false;
        for (vxmtp::MtpStorage &child : children)
        {
            if (child.handle == at.folder && child.IsFolder() && child.name == kWorkoutFolderName)
            {
                folder = std::move(child);
                return true;
            }
        }
        return false;
    }
    return false;
}

void RemoveLocalFile(const std::string &path)
{
    vxsys::DeleteFile(path);
}
} // namespace

std::string WorkoutLocalCopyPath(const std::u16string &dataFolder)
{
    std::string path = vxsys::Utf16ToUtf8(dataFolder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + kWorkoutLocalCopyName;
}

bool WmdmDeviceFinder(std::uint16_t vendorId, std::uint16_t productId, char *identity, std::size_t capacity)
{
    if (identity == nullptr || capacity == 0)
        return false;
    std::memset(identity, 0, capacity);
    DeviceLock lock(DeviceMutex());
    const std::shared_ptr<vxmtp::MtpDevice> device = FindMonitor(vendorId, productId);
    if (!device)
        return false;
    const std::string serial = vxsys::Utf16ToLatin1(device->SerialNumber());
    const std::size_t n = std::min(serial.size(), capacity - 1);
    std::memcpy(identity, serial.data(), n);
    identity[n] = '\0';
    return true;
}

WmdmReadOutcome WmdmReadFileOutcome(std::uint16_t vendorId, std::uint16_t productId,
                                    const std::string &localPath, std::u16string_view deviceFileName,
                                    WmdmFileLocation *readFrom)
{
    WmdmReadOutcome outcome = WmdmReadOutcome::Failed;
    {
        DeviceLock lock(DeviceMutex());
        std::vector<vxmtp::MtpStorage> folders;
        const std::shared_ptr<vxmtp::MtpDevice> device =
            deviceFileName.empty() ? nullptr : FindMonitor(vendorId, productId);
        if (device && WorkoutFolders(*device, folders) && !folders.empty())
        {
            bool listedAll = true;
            bool readFailed = false;
            for (const vxmtp::MtpStorage &folder : folders)
            {
                // A write-back cut off between removing the old file and naming the new one left the
                // new one under its replacement name: it is the file, and is named before the read.
                std::vector<vxmtp::MtpStorage> files;
                if (!device->FinishReplacement(folder, deviceFileName, &files))
                {
                    listedAll = false;
                    break;
                }
                for (const vxmtp::MtpStorage &file : files)
                {
                    if (!file.IsFile() || file.name != deviceFileName)
                        continue;
                    if (ReadStorageToFile(*device, file, localPath) >= 0)
                    {
                        if (readFrom)
                            *readFrom = WmdmFileLocation{file.storageId, folder.handle, file.handle};
                        return WmdmReadOutcome::Copied;
                    }
                    readFailed = true;
                }
            }
            // A file that is there but could not be read is not a missing file.
            if (listedAll && !readFailed)
            {
                outcome = WmdmReadOutcome::NoFile;
                // Where a new file goes: the first workout folder, where a write by name puts it too.
                if (readFrom)
                    *readFrom = WmdmFileLocation{folders.front().storageId, folders.front().handle, 0};
            }
        }
    }
    // Whatever was at the local path before is not this device's file.
    RemoveLocalFile(localPath);
    return outcome;
}

bool WmdmReadFile(std::uint16_t vendorId, std::uint16_t productId, const std::string &localPath,
                  std::u16string_view deviceFileName, WmdmFileLocation *readFrom)
{
    return WmdmReadFileOutcome(vendorId, productId, localPath, deviceFileName, readFrom) ==
           WmdmReadOutcome::Copied;
}

bool WmdmReadFileAt(std::uint16_t vendorId, std::uint16_t productId, const WmdmFileLocation &at,
                    const std::string &localPath)
{
    {
        DeviceLock lock(DeviceMutex());
        const std::shared_ptr<vxmtp::MtpDevice> device = FindMonitor(vendorId, productId);
        vxmtp::MtpStorage folder;
        std::vector<vxmtp::MtpStorage> files;
        if (device && at.object != 0 && FolderAt(*device, at, folder) && device->Children(folder, files))
        {
            for (const vxmtp::MtpStorage &file : files)
                if (file.handle == at.object && file.IsFile())
                    if (ReadStorageToFile(*device, file, localPath) >= 0)
                        return true;
        }
    }
    RemoveLocalFile(localPath);
    return false;
}

WmdmWriteOutcome WmdmWriteFileAt(std::uint16_t vendorId, std::uint16_t productId, WmdmFileLocation &at,
                                 WmdmReplace replace, std::u16string_view deviceFileName,
                                 const std::string &localPath)
{
    if (deviceFileName.empty())
        return WmdmWriteOutcome::Untouched;
    DeviceLock lock(DeviceMutex());
    const std::shared_ptr<vxmtp::MtpDevice> device = FindMonitor(vendorId, productId);
    vxmtp::MtpStorage folder;
    if (!device || !FolderAt(*device, at, folder))
        return WmdmWriteOutcome::Untouched;
    if (replace == WmdmReplace::ThatObject)
    {
        // The insert replaces the folder's first file of the name: it has to be the object that was read.
        std::vector<vxmtp::MtpStorage> files;
        if (!device->Children(folder, files))
            return WmdmWriteOutcome::Untouched;
        const auto named = std::find_if(files.begin(), files.end(),
                                        [&](const vxmtp::MtpStorage &f) { return f.name == deviceFileName; });
        if (named == files.end() || named->handle != at.object || !named->IsFile())
            return WmdmWriteOutcome::Untouched;
    }
    vxmtp::MtpStorage created;
    if (WriteFileToStorage(*device, folder, deviceFileName, localPath, &created) < 0)
        return WmdmWriteOutcome::Failed;
    at.object = created.handle;
    return WmdmWriteOutcome::Written;
}

bool WmdmWriteFile(std::uint16_t vendorId, std::uint16_t productId, std::u16string_view deviceFileName,
                   const std::string &localPath)
{
    if (deviceFileName.empty())
        return false;
    DeviceLock lock(DeviceMutex());
    const std::shared_ptr<vxmtp::MtpDevice> device = FindMonitor(vendorId, productId);
    std::vector<vxmtp::MtpStorage> folders;
    if (!device || !WorkoutFolders(*device, folders) || folders.empty())
        return false;
    // Write where the next read will look: the first folder whose file can be read, else the first
    // that holds a file of the name at all. Writing into an earlier, empty workout folder would leave
    // the monitor's own file (and its records) behind.
    const vxmtp::MtpStorage *target = &folders.front();
    int best = 0;
    for (const vxmtp::MtpStorage &folder : folders)
    {
        std::vector<vxmtp::MtpStorage> files;
        if (!device->Children(folder, files))
            return false;
        for (const vxmtp::MtpStorage &f : files)
        {
            if (!f.IsFile() || f.name != deviceFileName)
                continue;
            const int rank = (f.attributes & kWmdmAttrNotTransferable) == 0 ? 2 : 1;
            if (rank > best)
            {
                best = rank;
                target = &folder;
            }
        }
        if (best == 2)
            break;
    }
    return WriteFileToStorage(*device, *target, deviceFileName, localPath) >= 0;
}

WmdmResult ReadStorageToFile(vxmtp::MtpDevice &device, const vxmtp::MtpStorage &storage,
                             const std::string &localPath)
{
    DeviceLock lock(DeviceMutex());
    vxmtp::MtpStorage current = storage;
    if (!device.Refresh(current))
        return kWmdmFailed;
    if ((current.attributes & kWmdmAttrReadable) == 0 || (current.attributes & kWmdmAttrNotTransferable) != 0)
        return kWmdmAccessDenied;
    if ((current.attributes & kWmdmAttrFile) == 0)
        return kWmdmInvalidArgument;
    return device.ReadToFile(current, localPath) ? kWmdmOk : kWmdmFailed;
}

WmdmResult WriteFileToStorage(vxmtp::MtpDevice &device, const vxmtp::MtpStorage &folder,
                              std::u16string_view deviceFileName, const std::string &localPath,
                              vxmtp::MtpStorage *created)
{
    if (!folder.IsFolder() || deviceFileName.empty())
        return kWmdmInvalidArgument;
    DeviceLock lock(DeviceMutex());
    vxmtp::MtpStorage inserted;
    if (!device.Insert(folder, deviceFileName, localPath, &inserted))
        return kWmdmFailed;
    device.SetHidden(inserted, true);
    if (created)
        *created = inserted;
    return kWmdmOk;
}
