#include "ui/UIFactory.h"

#include <string_view>
#include <vector>

#include "resources/Resources.h"

UIFactory::~UIFactory() = default;

BOOL UIFactory::LoadImageFromResource(UINT id, LPCWSTR type, Gdiplus::Image **out, WORD language)
{
    if (!type || !out)
        return FALSE;
    const unsigned char *data = nullptr;
    std::size_t size = 0;
    if (!vxres::LookupImage(std::u16string_view(type), id, language, &data, &size) || !data || size == 0)
        return FALSE;
    // The image decodes its own copy of the bytes, which stay with the program anyway: no
    // memory block is kept per load.
    *out = Gdiplus::Image::FromData(data, size);
    return *out ? TRUE : FALSE;
}

int UIFactory::GetEncoderClsid(LPCWSTR mimeType, Gdiplus::CLSID *out)
{
    Gdiplus::UINT count = 0;
    Gdiplus::UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || count == 0 || size == 0 || !mimeType)
        return -1;
    const std::size_t records =
        (size + sizeof(Gdiplus::ImageCodecInfo) - 1) / sizeof(Gdiplus::ImageCodecInfo);
    std::vector<Gdiplus::ImageCodecInfo> encoders(records);
    if (Gdiplus::GetImageEncoders(count, size, encoders.data()) != Gdiplus::Ok)
        return -1;
    const std::u16string_view wanted(mimeType);
    for (Gdiplus::UINT i = 0; i < count; ++i)
    {
        if (encoders[i].MimeType && std::u16string_view(encoders[i].MimeType) == wanted)
        {
            if (out)
                *out = encoders[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}
