#include "ui/MainDialogSeam.h"

namespace
{
MainDialogSeam *g_seam = nullptr;
} // namespace

namespace vxui
{
void SetMainDialogSeam(MainDialogSeam *seam)
{
    g_seam = seam;
}

MainDialogSeam *GetMainDialogSeam()
{
    return g_seam;
}
} // namespace vxui
