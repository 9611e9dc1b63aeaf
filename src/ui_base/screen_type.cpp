#include "ui_base/screen_type.h"


#include "platform/device_config.h"
#include "text/diag.h"
#include "text/mutex.h"

namespace druvex {
namespace {

Mutex g_imagesMutex;

SharedString& imagesFolder()
{
    static SharedString folder;
    return folder;
}

}  // namespace

int screenTypeForWidth(int width)
{
    switch (width) {
    case 320:
        return kScreenTypeQvga;
    case 480:
    case 600:
        return kScreenTypeVga;
    case 640:
    case 800:
        return kScreenTypeWide;
    default:
        DRUVEX_DBGCHK("unknown screen width");
        return kScreenTypeVga;
    }
}

int getScreenType()
{
    return screenTypeForWidth(activeDeviceConfig()->screenWidth);
}

void setImagesFolder(const SharedString& folder)
{
    MutexLock lock(g_imagesMutex);
    imagesFolder() = folder;
}

SharedString getImagesFolder()
{
    MutexLock lock(g_imagesMutex);
    return imagesFolder();
}

}  // namespace druvex
