#pragma once

#include "platform/sys/Module.h"
#include "usbaccess/ulvex_api.h"

#include <cstdint>
#include <string>

// How the monitor is reached.
enum class DeviceType : std::uint8_t
{
    None = 0,
    Mtp = 1,
    MassStorage = 2,
    Hid = 3,
};

// The 16-bit value of four hexadecimal digits (0-9, A-F, a-f), the first the most
// significant. The text's end stops the reading; a missing or non-hexadecimal character
// counts as the digit 0. A null text gives 0.
std::uint16_t HexToU16(const char *text);

// The program's binding of the Ulvex library, and the record of the one device being looked
// at: its vendor and product ID text, its type and its drive letter.
//
// The library is loaded by file name; an export it lacks leaves that entry point unbound,
// and every operation that needs an unbound entry point fails (false, no type) without
// calling anything. A missing library leaves all of them unbound.
class UlvexDevice
{
  public:
    // The identity written by GetSerial: 32 characters and a terminating zero.
    static constexpr std::size_t kIdentitySize = 33;

    // Loads "libulvex.so" from the program's own folder, else by its plain name through the
    // system's library search. When VORMATIK_ULVEX_LIBRARY names a file (a path with a '/'),
    // that file is loaded instead and nothing else is tried (end-to-end tests load the
    // simulated monitors' variant of the library this way); a value without '/' loads nothing.
    UlvexDevice();
    // Loads the library at exactly this path (tests, or a library kept elsewhere).
    explicit UlvexDevice(const std::string &libraryPath);
    ~UlvexDevice();
    UlvexDevice(const UlvexDevice &) = delete;
    UlvexDevice &operator=(const UlvexDevice &) = delete;

    // Frees the library and unbinds every entry point; nothing the second time. Every MTP
    // device reference has been given back by then (no operation keeps one).
    void Unload();
    bool IsLoaded() const { return m_hModule != nullptr; }

    // Takes the vendor and product ID texts (four hexadecimal digits each; longer text is
    // cut to four characters). Does nothing unless both are given.
    void SetIds(const char *vendorId, const char *productId);

    // A USB device, else a HID interface, with the IDs can be opened.
    bool IsPresent();
    // Decides the device type of the IDs: MTP, mass storage or HID, else none. Stores the
    // drive letter when it finds a drive.
    void DetectType();
    // A mass-storage monitor's identity (kIdentitySize bytes): up to 32 characters after the
    // second '#' of its USB device path, in upper case. False for another type, a path with
    // fewer than two '#', or when the path cannot be found.
    bool GetSerial(char *identity);
    // The letter of the removable drive of the IDs.
    bool GetDriveLetter(char *letter);
    // The four-byte model code after "TXCFG" in "Settings.dat" in the root of the stored
    // drive, as the bytes stand in the file.
    bool ReadModelCode(std::uint32_t *modelCode);

    // The device's clock commands, each holding the device mutex while it talks to the
    // device. ReadMtpInfo sends the operation that must succeed before the MTP clock is set.
    bool ReadMtpInfo();
    bool SetClockMtp();
    bool SetClockScsi();

    DeviceType GetDeviceType() const { return m_nDeviceType; }
    // The stored drive letter (meaningful for mass storage); 0 before any was found.
    char DriveLetter() const { return m_chDriveLetter; }
    const char *VendorId() const { return m_szVendorId; }
    const char *ProductId() const { return m_szProductId; }

  private:
    void Load(const std::string &path);
    void Bind();
    // The product ID is that of one of the entries that need a model code.
    bool NeedsModelCode() const;
    // Holds the device mutex, takes the MTP device of the IDs and sends one operation without
    // parameters; the device is given back before the lock is.
    bool SendMtpCommand(unsigned short operationCode, unsigned int nextPhase, unsigned char *data,
                        unsigned int *dataLength);

    HMODULE m_hModule;
    decltype(&IsUSBDevice) m_pfnIsUSBDevice;
    decltype(&GetMscDeviceInfo) m_pfnGetMscDeviceInfo;
    decltype(&OpenUSBDevice) m_pfnOpenUSBDevice;
    decltype(&GetDriveLetterByVidPid) m_pfnGetDriveLetterByVidPid;
    decltype(&GetUSBDevicePath) m_pfnGetUSBDevicePath;
    decltype(&GetVersionStringbyMtpInfo) m_pfnGetVersionStringbyMtpInfo;
    decltype(&OpenHIDDevice) m_pfnOpenHIDDevice;
    decltype(&SendMTPCmd) m_pfnSendMTPCmd;
    decltype(&SendSCSICmd) m_pfnSendSCSICmd;
    decltype(&OpenSCSIDevice) m_pfnOpenSCSIDevice;
    DeviceType m_nDeviceType;
    char m_chDriveLetter;
    char m_szVendorId[5];
    char m_szProductId[5];
};

// The vendor and product ID as numbers, both 0 until set.
class UsbIdPair
{
  public:
    UsbIdPair() = default;
    // Sets both with HexToU16 when both texts are given and not empty; otherwise nothing changes.
    void SetFromHex(const char *vendorId, const char *productId);
    std::uint16_t VendorId() const { return m_nVendorId; }
    std::uint16_t ProductId() const { return m_nProductId; }

  private:
    std::uint16_t m_nVendorId = 0;
    std::uint16_t m_nProductId = 0;
};
