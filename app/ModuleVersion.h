#pragma once

#include "platform/sys/VersionInfo.h"

#include <cstdint>
#include <memory>
#include <string>

// The version block of a module loaded in this process (the program itself by default).
// The fixed file info of the last load is the base part of the object.
class CModuleVersion : public VS_FIXEDFILEINFO
{
  public:
    CModuleVersion();
    virtual ~CModuleVersion();
    CModuleVersion(const CModuleVersion &) = delete;
    CModuleVersion &operator=(const CModuleVersion &) = delete;

    // Loads the block of the named module, which must already be loaded (null: the
    // program). 1 when the block was read and its fixed info carries the signature; else 0,
    // and no block is kept, so every value reads empty.
    int Load(const char16_t *moduleName);

    // The entry of the string table of the block's first translation (language 0, code
    // page 1252 when the block lists none), or the empty string.
    std::u16string GetValue(const char16_t *valueName) const;
    std::u16string GetProductVersion() const;
    std::u16string GetProductName() const;

  protected:
    // The part of Load after the block was read from the module's file: a block of size bytes as
    // GetFileVersionInfoW delivers it. The state must be the cleared one Load starts from.
    int LoadBlock(std::unique_ptr<unsigned char[]> block, std::uint32_t size);

    std::unique_ptr<unsigned char[]> m_pVersionInfo;
    std::uint32_t m_versionInfoSize = 0; // bytes of m_pVersionInfo
    struct Translation
    {
        std::uint16_t language;
        std::uint16_t codePage;
    } m_translation;
};
