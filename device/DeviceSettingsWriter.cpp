#include "device/DeviceSettingsWriter.h"

#include "device/DeviceMutex.h"
#include "device/WmdmTransfer.h"
#include "device/WorkoutFileAccess.h"
#include "device/WorkoutHeader.h"
#include "platform/dev/Storage.h"
#include "platform/sys/Files.h"

#include <cstdint>
#include <new>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

std::string DrivePath(char letter, const char16_t *relative)
{
    std::u16string path = u"X:\\";
    path[0] = static_cast<char16_t>(static_cast<unsigned char>(letter));
    return vxdev::TranslateDrivePath(path + relative);
}

class SettingsWrite
{
  public:
    SettingsWrite(DeviceSettingsWriteContext &context, bool fresh)
        : m_c(context), m_fresh(fresh), m_header(WorkoutHeaderLength(context.extendedHeader))
    {
    }
    ~SettingsWrite();
    SettingsWrite(const SettingsWrite &) = delete;
    SettingsWrite &operator=(const SettingsWrite &) = delete;

    bool Run();

  private:
    bool RunHid();
    bool RunDrive();
    bool RunMtp();
    // Reads the open file whole; false for a short or failed read or a file shorter than its header.
    bool ReadOpenFile();
    void Patch(Bytes &image) const;
    // Patches the image, gives it its check byte over all of it and writes it over the open file.
    bool WriteOpenFile();

    DeviceSettingsWriteContext &m_c;
    const bool m_fresh;
    const std::size_t m_header;
    Bytes m_image;
    WorkoutFileAccess m_file;
    std::string m_localCopy; // MTP: removed whatever happens
};

SettingsWrite::~SettingsWrite()
{
    m_file.Close();
    if (!m_localCopy.empty())
        vxsys::DeleteFile(m_localCopy);
}

bool SettingsWrite::Run()
{
    m_c.profile.metric = m_c.metricUnits ? 1 : 0;
    try
    {
        switch (m_c.deviceType)
        {
        case DeviceType::Mtp:
            return RunMtp();
        case DeviceType::MassStorage:
            return RunDrive();
        default:
            return RunHid();
        }
    }
    catch (const std::bad_alloc &)
    {
        return false;
    }
}

void SettingsWrite::Patch(Bytes &image) const
{
    PatchWorkoutHeader(image, m_c.extendedHeader, m_c.owner, m_c.profile, m_c.settings, m_c.firmware);
    if (m_fresh)
        image[WorkoutHeaderOffset::RecordCount] = 0;
}

bool SettingsWrite::RunHid()
{
    if (!m_c.hidSession)
        return false;
    if (m_fresh)
    {
        m_image.assign(m_header, 0);
    }
    else
    {
        std::size_t length = 0;
        if (!m_c.hidSession->ReadRecordBlock(m_image, length))
            return false;
        m_image.resize(length);
        // A block shorter than the header would be sent back padded with zeros over the monitor's own.
        if (m_image.size() < m_header)
            return false;
    }
    Patch(m_image);
    m_image[WorkoutHeaderOffset::CheckByte] = WorkoutChecksum(m_image.data() + 1, m_header - 1);
    return m_c.hidSession->WriteRecordBlock(m_image.data(), m_header);
}

bool SettingsWrite::ReadOpenFile()
{
    if (m_file.ReadAll(m_image, kWorkoutFileMaxLength) != WorkoutFileAccess::ReadResult::Ok)
        return false;
    return m_image.size() >= m_header;
}

bool SettingsWrite::WriteOpenFile()
{
    Patch(m_image);
    m_image[WorkoutHeaderOffset::CheckByte] = WorkoutChecksum(m_image.data() + 1, m_image.size() - 1);
    const bool written = m_file.WriteAll(m_image);
    return m_file.Close() && written;
}

bool SettingsWrite::RunDrive()
{
    std::string path = DrivePath(m_c.driveLetter, u"FR.DAT");
    if (!path.empty() && !vxsys::IsRegularFile(path))
        path = DrivePath(m_c.driveLetter, u"workout\\FR.DAT");
    if (path.empty())
        return false;
    if (vxsys::IsRegularFile(path))
    {
        if (!m_file.Open(path) || !ReadOpenFile())
            return false;
    }
    else
    {
        if (!m_file.Create(path))
            return false;
        m_image.assign(m_header, 0);
    }
    const bool written = WriteOpenFile();
    vxdev::SetHiddenAttribute(path, true);
    return written;
}

bool SettingsWrite::RunMtp()
{
    // Without a data folder the copy would land in whatever folder the program was started from.
    if (m_c.dataFolder.empty())
        return false;
    const std::string local = WorkoutLocalCopyPath(m_c.dataFolder);
    m_localCopy = local;
    vxsys::DeleteFile(local);
    const std::uint16_t vendor = m_c.usbIds.VendorId(), product = m_c.usbIds.ProductId();
    WmdmFileLocation at;
    WmdmReplace replace = WmdmReplace::ThatObject;
    switch (WmdmReadFileOutcome(vendor, product, local, kWorkoutDeviceFileName, &at))
    {
    case WmdmReadOutcome::Copied:
        if (!m_file.Open(local) || !ReadOpenFile())
            return false;
        break;
    case WmdmReadOutcome::NoFile:
        if (!m_file.Create(local))
            return false;
        m_image.assign(m_header, 0);
        replace = WmdmReplace::ByName;
        break;
    case WmdmReadOutcome::Failed:
        return false;
    }
    if (!WriteOpenFile())
        return false;
    return WmdmWriteFileAt(vendor, product, at, replace, kWorkoutDeviceFileName, local) ==
           WmdmWriteOutcome::Written;
}
} // namespace

bool WriteDeviceSettings(DeviceSettingsWriteContext &context, bool freshHeader)
{
    DeviceLock lock(DeviceMutex());
    SettingsWrite write(context, freshHeader);
    return write.Run();
}
