#include "device/HidReport.h"

#include "tests/support/sim_hid/SimHidMonitor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
const std::u16string kGuid = u"{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Hooks whose opener hands out /dev/null and remembers which paths it opened.
class RecordingOpener
{
  public:
    RecordingOpener()
    {
        HidHooks hooks;
        hooks.open = [this](const HidInterfaceRecord &record, bool) -> HidHandle {
            opened.push_back(record.interfacePath);
            return ::open("/dev/null", O_RDWR | O_CLOEXEC);
        };
        hooks.sleep = [](unsigned) {};
        SetHidHooks(hooks);
    }
    ~RecordingOpener() { ResetHidHooks(); }

    // Opens through the matcher and closes again; true when it matched.
    bool Matches(const char16_t *vendor, const char16_t *product, const std::u16string &path,
                 char16_t *pathOut = nullptr, std::size_t capacity = 0)
    {
        const HidHandle handle =
            OpenHidInterfaceByVidPid(vendor, product, {path, "/dev/null"}, pathOut, capacity);
        if (handle == kInvalidHidHandle)
            return false;
        ::close(handle);
        return true;
    }

    std::vector<std::u16string> opened;
};

TEST(HidInterfaceMatch, CaseChangesTouchOnlyAsciiLetters)
{
    char16_t text[] = u"Vid_3A7e&\u00C4\u00E4z#{GUID}";
    EXPECT_EQ(WideToLowerAscii(text), 19u);
    EXPECT_EQ(std::u16string(text), u"vid_3a7e&\u00C4\u00E4z#{guid}");
    EXPECT_EQ(WideToUpperAscii(text), 19u);
    EXPECT_EQ(std::u16string(text), u"VID_3A7E&\u00C4\u00E4Z#{GUID}");
    EXPECT_EQ(WideToLowerAscii(nullptr), 0u);
    EXPECT_EQ(WideToUpperAscii(nullptr), 0u);
}

TEST(HidInterfaceMatch, PathMustNameVendorAndProductAfterTheirPrefixes)
{
    RecordingOpener opener;
    struct Case
    {
        const char16_t *vendor;
        const char16_t *product;
        std::u16string path;
        bool match;
    };
    const Case cases[] = {
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, true},
        {u"3A7E", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, true},
        // Product digits only in upper case, vendor digits only in lower case.
        {u"3A7E", u"00ab", u"\\\\?\\HID#vid_3a7e&PID_00AB#7&1c2&0&0000#" + kGuid, true},
        // An interface of a composite device carries "&mi_xx" after the product.
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0001&mi_01#7&1a2b3c4d&0&0000#" + kGuid, true},
        {u"3A7E", u"0001", u"\\\\?\\HID#VID_3A7E&PID_0001&MI_00#7&1A2B3C4D&0&0000#" + kGuid, true},
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0002&mi_01#7&1a2b3c4d&0&0000#" + kGuid, false},
        // The digits appear, but only inside an instance hash: a keyboard, not the monitor.
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_046d&pid_c31c#7&3a7e0001&0&0000#" + kGuid, false},
        // The class GUID holds "4d1e" and "11cf"; no device has these IDs.
        {u"4d1e", u"11cf", u"\\\\?\\hid#vid_046d&pid_c31c#7&0f3e2d1c&0&0000#" + kGuid, false},
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0002#7&1a2b3c4d&0&0000#" + kGuid, false},
        {u"3a7e", u"0001", u"\\\\?\\hid#vid_0001&pid_3a7e#7&1a2b3c4d&0&0000#" + kGuid, false},
        // IDs that are not four hexadecimal digits match nothing.
        {u"", u"", u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, false},
        {u"3a7", u"0001", u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, false},
        {u"3a7e1", u"0001", u"\\\\?\\hid#vid_3a7e1&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, false},
        {u"3a7g", u"0001", u"\\\\?\\hid#vid_3a7g&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, false},
        {nullptr, u"0001", u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid, false},
    };
    for (const Case &c : cases)
    {
        opener.opened.clear();
        EXPECT_EQ(opener.Matches(c.vendor, c.product, c.path), c.match)
            << std::string(c.path.begin(), c.path.end());
        // Nothing is opened without a match.
        EXPECT_EQ(opener.opened.size(), c.match ? 1u : 0u);
    }
}

TEST(HidInterfaceMatch, PathIsCopiedOnlyWhenItFitsAndOtherwiseDoesNotMatch)
{
    RecordingOpener opener;
    const std::u16string path = u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#" + kGuid;
    std::vector<char16_t> out(path.size() + 8, u'x');

    EXPECT_TRUE(opener.Matches(u"3a7e", u"0001", path, out.data(), path.size() + 1));
    EXPECT_EQ(std::u16string(out.data()), path);

    // One character short of room for the terminating zero: a cut path is no match.
    std::fill(out.begin(), out.end(), u'x');
    opener.opened.clear();
    EXPECT_FALSE(opener.Matches(u"3a7e", u"0001", path, out.data(), path.size()));
    EXPECT_EQ(out[0], u'\0');
    EXPECT_EQ(out[path.size()], u'x'); // nothing written past the capacity
    EXPECT_TRUE(opener.opened.empty());

    EXPECT_FALSE(opener.Matches(u"3a7e", u"0001", path, out.data(), 0));
    EXPECT_TRUE(opener.Matches(u"3a7e", u"0001", path, nullptr, 0));
}

TEST(HidInterfaceMatch, FindHidDeviceSkipsAKeyboardWhoseHashHoldsTheDigits)
{
    vxtest::SimHidMonitor monitor;
    const std::u16string keyboard = u"\\\\?\\hid#vid_046d&pid_c31c#7&3a7e0001&0&0000#" + kGuid;
    monitor.AddForeignInterface(keyboard);
    // The right IDs under another interface class are not a HID interface.
    monitor.AddForeignInterface(
        u"\\\\?\\usb#vid_3a7e&pid_0001#5&1&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");

    char16_t path[260];
    const HidHandle handle = FindHidDevice(u"3a7e", u"0001", kHidInterfaceClassGuid, path, 260);
    ASSERT_NE(handle, kInvalidHidHandle);
    ::close(handle);
    EXPECT_EQ(std::u16string(path), monitor.InterfacePath());
    EXPECT_EQ(monitor.OpenedPaths(), std::vector<std::u16string>{monitor.InterfacePath()});
    EXPECT_TRUE(monitor.WaitUntilAllClosed());

    EXPECT_TRUE(IsHidDeviceConnected(u"3A7E", u"0001"));
    EXPECT_FALSE(IsHidDeviceConnected(u"3a7e", u"0002"));
    monitor.SetPresent(false);
    EXPECT_FALSE(IsHidDeviceConnected(u"3a7e", u"0001"));
    EXPECT_TRUE(monitor.WaitUntilAllClosed());
}
} // namespace
