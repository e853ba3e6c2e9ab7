#include "app/Registry.h"

CRegistry::CRegistry(HKEY root) : m_hRootKey(root) {}

CRegistry::~CRegistry() = default;

int CRegistry::GetString(const char16_t *subKey, const char16_t *valueName, std::u16string &out)
{
    out.clear();
    CRegistryValue value;
    int ok = QueryValue(subKey, valueName, value, m_hRootKey);
    if (ok)
        ok = ValueToString(value, out);
    FreeValue(value);
    if (!ok)
        out.clear();
    return ok;
}

int CRegistry::QueryValue(const char16_t *subKey, const char16_t *valueName, CRegistryValue &value, HKEY root)
{
    FreeValue(value);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    std::uint32_t size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    {
        RegCloseKey(key);
        return 0;
    }
    value.data.assign(size, 0);
    std::uint32_t type = REG_NONE;
    const long status = RegQueryValueExW(key, valueName, nullptr, &type, value.data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
    {
        FreeValue(value);
        return 0;
    }
    value.data.resize(size);
    value.type = type;
    return 1;
}

int CRegistry::ValueToString(const CRegistryValue &value, std::u16string &out)
{
    out.clear();
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_LINK)
        return 0;
    // The text ends at its first zero character or at the end of the bytes, whichever comes
    // first: a value stored without its terminator is read within its size.
    const std::size_t chars = value.data.size() / 2;
    for (std::size_t i = 0; i < chars; ++i)
    {
        const auto c = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
        if (c == 0)
            break;
        out.push_back(c);
    }
    return 1;
}

void CRegistry::FreeValue(CRegistryValue &value)
{
    std::vector<std::uint8_t>().swap(value.data);
    value.type = REG_NONE;
}
