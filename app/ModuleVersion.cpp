#include "app/ModuleVersion.h"

#include "platform/sys/Module.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

CModuleVersion::CModuleVersion() : VS_FIXEDFILEINFO{}, m_translation{0, 1252} {}

CModuleVersion::~CModuleVersion() = default;

int CModuleVersion::Load(const char16_t *moduleName)
{
    // A failed load must not leave the values of an earlier module readable.
    m_pVersionInfo.reset();
    m_versionInfoSize = 0;
    m_translation = {0, 1252};
    static_cast<VS_FIXEDFILEINFO &>(*this) = VS_FIXEDFILEINFO{};

    const HMODULE module = GetModuleHandleW(moduleName);
    if (moduleName && !module)
        return 0;
    char16_t fileName[PATH_MAX];
    if (!GetModuleFileNameW(module, fileName, PATH_MAX))
        return 0;

    std::uint32_t handle = 0;
    const std::uint32_t size = GetFileVersionInfoSizeW(fileName, &handle);
    if (size == 0)
        return 0;
    auto block = std::make_unique<unsigned char[]>(size);
    if (!GetFileVersionInfoW(fileName, handle, size, block.get()))
        return 0;
    return LoadBlock(std::move(block), size);
}

int CModuleVersion::LoadBlock(std::unique_ptr<unsigned char[]> block, std::uint32_t size)
{
    void *value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueW(block.get(), u"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    static_cast<VS_FIXEDFILEINFO &>(*this) = fixed;

    if (VerQueryValueW(block.get(), u"\\VarFileInfo\\Translation", &value, &length) && length >= 4)
    {
        std::uint16_t pair[2];
        std::memcpy(pair, value, sizeof pair);
        m_translation = {pair[0], pair[1]};
    }
    if (dwSignature != VS_FFI_SIGNATURE)
        return 0;
    m_pVersionInfo = std::move(block);
    m_versionInfoSize = size;
    return 1;
}

std::u16string CModuleVersion::GetValue(const char16_t *valueName) const
{
    if (!m_pVersionInfo || !valueName)
        return {};
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", m_translation.language, m_translation.codePage);
    const std::u16string path = u"\\StringFileInfo\\" + vxsys::Utf8ToUtf16(table) + u"\\" + valueName;

    void *value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueW(m_pVersionInfo.get(), path.c_str(), &value, &length))
        return {};
    // The length counts characters only when the entry is marked as text; an entry marked
    // as binary gives bytes, and twice that many could run past the block.
    const std::size_t offset =
        static_cast<std::size_t>(static_cast<const unsigned char *>(value) - m_pVersionInfo.get());
    if (offset > m_versionInfoSize)
        return {};
    const std::size_t chars = std::min<std::size_t>(length, (m_versionInfoSize - offset) / 2);
    std::u16string text(chars, u'\0');
    std::memcpy(text.data(), value, chars * 2);
    return text.substr(0, text.find(u'\0'));
}

std::u16string CModuleVersion::GetProductVersion() const
{
    return GetValue(u"ProductVersion");
}

std::u16string CModuleVersion::GetProductName() const
{
    return GetValue(u"ProductName");
}
