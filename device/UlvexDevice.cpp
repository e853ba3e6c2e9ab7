#include "device/UlvexDevice.h"

#include "device/DeviceMutex.h"
#include "device/SupportedDevices.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Storage.h"
#include "platform/sys/Module.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
constexpr const char *kLibraryName = "libulvex.so";
constexpr const char *kLibraryVariable = "VORMATIK_ULVEX_LIBRARY";

// "Settings.dat" holds the magic followed directly by the model code.
constexpr char kSettingsMagic[] = {'T', 'X', 'C', 'F', 'G'};
constexpr std::size_t kSettingsMatch = sizeof kSettingsMagic + kModelCodeLength;
constexpr std::size_t kSettingsBlock = 200;

constexpr std::size_t kDevicePathSize = 300;
constexpr std::size_t kMtpVersionSize = 260;

bool IsValidHandle(ULVEX_HANDLE handle)
{
    return handle != ULVEX_INVALID_HANDLE_VALUE && handle >= 0;
}

bool IsModelCode(const char *code)
{
    return std::any_of(kModelCodes.begin(), kModelCodes.end(), [&](const auto &known) {
        return std::memcmp(known.data(), code, kModelCodeLength) == 0;
    });
}

// The folder of the running program, with its trailing '/'; empty when it cannot be told.
std::string ProgramFolder()
{
    char16_t path[4096];
    if (GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]) == 0)
        return {};
    const std::string file = vxsys::Utf16ToUtf8(path);
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};
} // namespace

std::uint16_t HexToU16(const char *text)
{
    return vxsys::Hex4ToU16(text);
}

void UsbIdPair::SetFromHex(const char *vendorId, const char *productId)
{
    if (!vendorId || !productId || vendorId[0] == '\0' || productId[0] == '\0')
        return;
    m_nVendorId = HexToU16(vendorId);
    m_nProductId = HexToU16(productId);
}

UlvexDevice::UlvexDevice()
    : m_hModule(nullptr), m_pfnIsUSBDevice(nullptr), m_pfnGetMscDeviceInfo(nullptr),
      m_pfnOpenUSBDevice(nullptr), m_pfnGetDriveLetterByVidPid(nullptr), m_pfnGetUSBDevicePath(nullptr),
      m_pfnGetVersionStringbyMtpInfo(nullptr), m_pfnOpenHIDDevice(nullptr), m_pfnSendMTPCmd(nullptr),
      m_pfnSendSCSICmd(nullptr), m_pfnOpenSCSIDevice(nullptr), m_nDeviceType(DeviceType::None),
      m_chDriveLetter(0), m_szVendorId{}, m_szProductId{}
{
    // A library named in the environment is the one meant, and the only one tried: a test that
    // asks for the simulated monitors' library must not quietly get the real one instead.
    const char *chosen = std::getenv(kLibraryVariable);
    if (chosen && *chosen)
    {
        if (std::strchr(chosen, '/'))
            Load(chosen);
        Bind();
        return;
    }
    const std::string folder = ProgramFolder();
    if (!folder.empty())
        Load(folder + kLibraryName);
    if (!m_hModule)
        Load(kLibraryName);
    Bind();
}

UlvexDevice::UlvexDevice(const std::string &libraryPath)
    : m_hModule(nullptr), m_pfnIsUSBDevice(nullptr), m_pfnGetMscDeviceInfo(nullptr),
      m_pfnOpenUSBDevice(nullptr), m_pfnGetDriveLetterByVidPid(nullptr), m_pfnGetUSBDevicePath(nullptr),
      m_pfnGetVersionStringbyMtpInfo(nullptr), m_pfnOpenHIDDevice(nullptr), m_pfnSendMTPCmd(nullptr),
      m_pfnSendSCSICmd(nullptr), m_pfnOpenSCSIDevice(nullptr), m_nDeviceType(DeviceType::None),
      m_chDriveLetter(0), m_szVendorId{}, m_szProductId{}
{
    // A plain name would send the load through the library search; this one means this file.
    if (libraryPath.find('/') != std::string::npos)
        Load(libraryPath);
    Bind();
}

UlvexDevice::~UlvexDevice()
{
    Unload();
}

void UlvexDevice::Load(const std::string &path)
{
    m_hModule = LoadLibraryW(vxsys::Utf8ToUtf16(path).c_str());
}

void UlvexDevice::Bind()
{
    if (!m_hModule)
        return;
    const auto bind = [this](auto &entry, const char *name) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(GetProcAddress(m_hModule, name));
    };
    bind(m_pfnIsUSBDevice, "IsUSBDevice");
    bind(m_pfnGetMscDeviceInfo, "GetMscDeviceInfo");
    bind(m_pfnOpenUSBDevice, "OpenUSBDevice");
    bind(m_pfnGetDriveLetterByVidPid, "GetDriveLetterByVidPid");
    bind(m_pfnGetUSBDevicePath, "GetUSBDevicePath");
    bind(m_pfnGetVersionStringbyMtpInfo, "GetVersionStringbyMtpInfo");
    bind(m_pfnOpenHIDDevice, "OpenHIDDevice");
    bind(m_pfnSendMTPCmd, "SendMTPCmd");
    bind(m_pfnSendSCSICmd, "SendSCSICmd");
    bind(m_pfnOpenSCSIDevice, "OpenSCSIDevice");
}

void UlvexDevice::Unload()
{
    if (!m_hModule)
        return;
    FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pfnIsUSBDevice = nullptr;
    m_pfnGetMscDeviceInfo = nullptr;
    m_pfnOpenUSBDevice = nullptr;
    m_pfnGetDriveLetterByVidPid = nullptr;
    m_pfnGetUSBDevicePath = nullptr;
    m_pfnGetVersionStringbyMtpInfo = nullptr;
    m_pfnOpenHIDDevice = nullptr;
    m_pfnSendMTPCmd = nullptr;
    m_pfnSendSCSICmd = nullptr;
    m_pfnOpenSCSIDevice = nullptr;
}

void UlvexDevice::SetIds(const char *vendorId, const char *productId)
{
    if (!vendorId || !productId)
        return;
    std::memset(m_szVendorId, 0, sizeof m_szVendorId);
    std::memset(m_szProductId, 0, sizeof m_szProductId);
    std::strncpy(m_szVendorId, vendorId, sizeof m_szVendorId - 1);
    std::strncpy(m_szProductId, productId, sizeof m_szProductId - 1);
}

bool UlvexDevice::NeedsModelCode() const
{
    for (std::size_t i = 0; i < kModelCheckedEntries; ++i)
        if (std::memcmp(m_szProductId, kSupportedDevices[i].szProductId, sizeof m_szProductId) == 0)
            return true;
    return false;
}

bool UlvexDevice::IsPresent()
{
    DeviceLock lock(DeviceMutex());
    for (const auto open : {m_pfnOpenUSBDevice, m_pfnOpenHIDDevice})
    {
        if (!open)
            continue;
        const ULVEX_HANDLE handle = open(m_szVendorId, m_szProductId);
        if (IsValidHandle(handle))
        {
            vxdev::CloseHandle(handle);
            return true;
        }
    }
    return false;
}

void UlvexDevice::DetectType()
{
    DeviceLock lock(DeviceMutex());
    if (m_pfnGetVersionStringbyMtpInfo)
    {
        char manufacturer[ULVEX_MANUFACTURER_SIZE] = {};
        char version[kMtpVersionSize] = {};
        // Without a device out-pointer the library gives its reference back itself.
        if (m_pfnGetVersionStringbyMtpInfo(HexToU16(m_szVendorId), HexToU16(m_szProductId), manufacturer,
                                           version, sizeof version, nullptr) &&
            version[0] != '\0')
        {
            if (!NeedsModelCode() || IsModelCode(version))
            {
                m_nDeviceType = DeviceType::Mtp;
                return;
            }
        }
    }
    if (m_pfnGetDriveLetterByVidPid)
    {
        char letter = 0;
        if (m_pfnGetDriveLetterByVidPid(m_szVendorId, m_szProductId, ULVEX_DRIVE_REMOVABLE, &letter))
        {
            m_chDriveLetter = letter;
            std::uint32_t code = 0;
            if (!NeedsModelCode() ||
                (ReadModelCode(&code) && IsModelCode(reinterpret_cast<const char *>(&code))))
            {
                m_nDeviceType = DeviceType::MassStorage;
                return;
            }
        }
    }
    if (m_pfnOpenHIDDevice)
    {
        const ULVEX_HANDLE handle = m_pfnOpenHIDDevice(m_szVendorId, m_szProductId);
        if (IsValidHandle(handle))
        {
            vxdev::CloseHandle(handle);
            m_nDeviceType = DeviceType::Hid;
            return;
        }
    }
    m_nDeviceType = DeviceType::None;
}

bool UlvexDevice::GetSerial(char *identity)
{
    if (!identity || m_nDeviceType != DeviceType::MassStorage || !m_pfnGetUSBDevicePath)
        return false;
    char path[kDevicePathSize] = {};
    char parentId[kDevicePathSize] = {};
    if (!m_pfnGetUSBDevicePath(m_szVendorId, m_szProductId, path, sizeof path, parentId, sizeof parentId))
        return false;
    path[sizeof path - 1] = '\0';
    const char *first = std::strchr(path, '#');
    const char *second = first ? std::strchr(first + 1, '#') : nullptr;
    if (!second)
        return false;
    // A short path ends the identity early; it never reaches past the path's end.
    const char *from = second + 1;
    std::size_t length = 0;
    while (length < kIdentitySize - 1 && from[length] != '\0')
    {
        const char c = from[length];
        identity[length] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        ++length;
    }
    identity[length] = '\0';
    return true;
}

bool UlvexDevice::GetDriveLetter(char *letter)
{
    if (!letter || !m_pfnGetDriveLetterByVidPid)
        return false;
    return m_pfnGetDriveLetterByVidPid(m_szVendorId, m_szProductId, ULVEX_DRIVE_REMOVABLE, letter) != 0;
}

bool UlvexDevice::ReadModelCode(std::uint32_t *modelCode)
{
    if (!modelCode)
        return false;
    std::u16string drivePath(1, static_cast<char16_t>(static_cast<unsigned char>(m_chDriveLetter)));
    drivePath += u":\\Settings.dat";
    const std::string path = vxdev::TranslateDrivePath(drivePath);
    if (path.empty())
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;

    // The blocks are searched with the last bytes of the previous block in front, so a magic
    // (or its code) that straddles two blocks is found as well.
    unsigned char window[kSettingsMatch - 1 + kSettingsBlock];
    std::size_t carried = 0;
    for (;;)
    {
        const std::size_t got = std::fread(window + carried, 1, kSettingsBlock, file.get());
        if (got == 0)
            return false;
        const std::size_t filled = carried + got;
        for (std::size_t at = 0; at + kSettingsMatch <= filled; ++at)
        {
            if (std::memcmp(window + at, kSettingsMagic, sizeof kSettingsMagic) == 0)
            {
                std::memcpy(modelCode, window + at + sizeof kSettingsMagic, kModelCodeLength);
                return true;
            }
        }
        carried = std::min(filled, kSettingsMatch - 1);
        std::memmove(window, window + filled - carried, carried);
    }
}
