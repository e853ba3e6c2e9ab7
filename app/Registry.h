#pragma once

#include "platform/sys/Registry.h"

#include <cstdint>
#include <string>
#include <vector>

// One value as read from the registry: its bytes and its registry type. The bytes
// belong to the record and are released by CRegistry::FreeValue (or with the record).
struct CRegistryValue
{
    std::vector<std::uint8_t> data;
    std::uint32_t type = REG_NONE;
};

// Reads text values below one root key. Nothing is ever written.
class CRegistry
{
  public:
    explicit CRegistry(HKEY root);
    virtual ~CRegistry();

    // The text of a REG_SZ, REG_EXPAND_SZ (not expanded) or REG_LINK value, up to its first
    // zero character. An empty name reads the key's default value. 1 on success; 0 with an
    // empty out for a missing key or value and for a value of any other type.
    int GetString(const char16_t *subKey, const char16_t *valueName, std::u16string &out);

    // Reads the value's bytes and type under root; 1 on success, else 0 with no bytes.
    int QueryValue(const char16_t *subKey, const char16_t *valueName, CRegistryValue &value, HKEY root);

    // The text of a value read by QueryValue; 0 with an empty out for a non-text type.
    int ValueToString(const CRegistryValue &value, std::u16string &out);

    void FreeValue(CRegistryValue &value);

  private:
    HKEY m_hRootKey;
};
