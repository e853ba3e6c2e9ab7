#pragma once

#include "platform/gdiplus/Gdiplus.h"
#include "platform/win/Afx.h"

// The mix-in of every kit control and kit dialog: something that paints itself into a device
// context, with the kit's two image helpers.
class UIFactory
{
  public:
    UIFactory() = default;
    virtual ~UIFactory();
    UIFactory(const UIFactory &) = delete;
    UIFactory &operator=(const UIFactory &) = delete;

    virtual void Draw(CDC *dc) = 0;

    // Decodes the program's image resource of that type and id in exactly that language
    // into a new image that the caller owns. FALSE, with *out unchanged, when there is no
    // such resource. A resource that does not decode still gives an image object (empty,
    // with the failure as its last status).
    BOOL LoadImageFromResource(UINT id, LPCWSTR type, Gdiplus::Image **out, WORD language);

    // The index of the first installed image encoder whose MIME type equals `mimeType`
    // exactly (case counts), with its identity in *out; -1 when none does.
    static int GetEncoderClsid(LPCWSTR mimeType, Gdiplus::CLSID *out);
};
