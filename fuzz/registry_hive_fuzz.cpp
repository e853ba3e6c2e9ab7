// Feeds arbitrary hive files to the registry reader and asks them for a key and a value.
//
// Input: a key path up to the first NUL byte, a value name up to the next one (both UTF-8, "-"
// alone asks for the default value), then the hive file's bytes.

#include "fuzz/FuzzInput.h"
#include "platform/sys/Registry.h"
#include "platform/sys/TextConvert.h"

#include <cstdlib>
#include <fstream>

namespace
{
std::string g_hiveFile;

// Reads the value as the program does (size first, then the bytes) and checks that both answers
// agree.
void ReadValue(HKEY key, const std::u16string *name)
{
    const char16_t *valueName = name ? name->c_str() : nullptr;
    std::uint32_t type = 0xFFFF;
    std::uint32_t size = 0;
    const long status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return;
    std::vector<std::uint8_t> bytes(size + 1, 0xCC);
    std::uint32_t second = size;
    std::uint32_t type2 = 0xFFFF;
    VX_FUZZ_CHECK(RegQueryValueExW(key, valueName, nullptr, &type2, bytes.data(), &second) == ERROR_SUCCESS);
    VX_FUZZ_CHECK(second == size && type2 == type);
    VX_FUZZ_CHECK(bytes[size] == 0xCC); // nothing written past the size given
    // (No check of the bytes against the type: "hex(N):" gives any type any bytes, as the format allows.)
    if (size > 0)
    {
        // A buffer one byte short is refused, with the size needed.
        std::uint32_t shortSize = size - 1;
        VX_FUZZ_CHECK(RegQueryValueExW(key, valueName, nullptr, nullptr, bytes.data(), &shortSize) ==
                      ERROR_MORE_DATA);
        VX_FUZZ_CHECK(shortSize == size);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("VORMATIK_REGISTRY_DIR", vxfuzz::ScratchFolder().c_str(), 1);
    g_hiveFile = vxsys::RegistryHiveFile(HKEY_CURRENT_USER);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (g_hiveFile.empty())
        LLVMFuzzerInitialize(nullptr, nullptr);
    vxfuzz::InputReader in(data, size);
    const std::u16string keyPath = vxsys::Utf8ToUtf16(vxfuzz::AsString(in.Until(0)));
    const std::string nameText = vxfuzz::AsString(in.Until(0));
    const std::u16string valueName = vxsys::Utf8ToUtf16(nameText);
    const auto hive = in.Rest();
    {
        std::ofstream out(g_hiveFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(hive.data()), static_cast<std::streamsize>(hive.size()));
    }
    const std::u16string *name = nameText == "-" ? nullptr : &valueName;

    ReadValue(HKEY_CURRENT_USER, name);
    HKEY key = nullptr;
    const long opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS)
    {
        VX_FUZZ_CHECK(key == nullptr);
        return 0;
    }
    VX_FUZZ_CHECK(key != nullptr);
    ReadValue(key, name);
    // The value name taken as a key below the open one.
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, valueName.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS)
    {
        ReadValue(sub, nullptr);
        VX_FUZZ_CHECK(RegCloseKey(sub) == ERROR_SUCCESS);
    }
    VX_FUZZ_CHECK(RegCloseKey(key) == ERROR_SUCCESS);
    VX_FUZZ_CHECK(RegCloseKey(key) == ERROR_INVALID_HANDLE);
    return 0;
}
