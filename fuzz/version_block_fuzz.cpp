// Feeds arbitrary version blocks to the version reader (VerQueryValueW) and to the program's module
// version object, which reads a module's block the same way.
//
// Input: a query path up to the first NUL byte (UTF-8, "\StringFileInfo\040904b0\ProductName" and
// the like), then the block. A block is taken as GetFileVersionInfoW hands one out: exactly as long
// as its root node says (an input whose root claims more than there is, is skipped).

#include "app/ModuleVersion.h"
#include "fuzz/FuzzInput.h"
#include "platform/sys/TextConvert.h"
#include "platform/sys/VersionInfo.h"

#include <cstring>
#include <memory>

namespace
{
class BlockVersion : public CModuleVersion
{
  public:
    int Adopt(std::unique_ptr<unsigned char[]> block, std::uint32_t size)
    {
        return LoadBlock(std::move(block), size);
    }
};

void Query(const unsigned char *block, std::size_t size, const char16_t *path)
{
    void *value = nullptr;
    std::uint32_t length = 0xFFFFFFFF;
    if (!VerQueryValueW(block, path, &value, &length))
        return;
    const auto *at = static_cast<const unsigned char *>(value);
    VX_FUZZ_CHECK(at >= block && at <= block + size);
    VX_FUZZ_CHECK(length <= 0xFFFF);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxfuzz::InputReader in(data, size);
    const std::u16string path = vxsys::Utf8ToUtf16(vxfuzz::AsString(in.Until(0)));
    const auto image = in.Rest();
    if (image.size() < 2)
        return 0;
    const std::size_t length = std::max<std::size_t>(2, image[0] | (image[1] << 8));
    if (length > image.size())
        return 0;
    // Exactly the block's bytes: a read past the root node must show.
    auto block = std::make_unique<unsigned char[]>(length);
    std::memcpy(block.get(), image.data(), length);

    for (const char16_t *p : {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo", path.c_str()})
        Query(block.get(), length, p);

    BlockVersion version;
    if (!version.Adopt(std::move(block), static_cast<std::uint32_t>(length)))
    {
        VX_FUZZ_CHECK(version.GetProductName().empty() && version.GetValue(path.c_str()).empty());
        return 0;
    }
    VX_FUZZ_CHECK(version.dwSignature == VS_FFI_SIGNATURE);
    for (const std::u16string &text :
         {version.GetValue(path.c_str()), version.GetProductName(), version.GetProductVersion()})
        VX_FUZZ_CHECK(text.find(u'\0') == std::u16string::npos && text.size() <= length / 2);
    return 0;
}
