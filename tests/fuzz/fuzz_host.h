// The device host of the fuzz targets that read through one (targets that
// include this link druvex_host): HalAccessWinCE over the scratch device.
#pragma once

#include <memory>

#include "fuzz/fuzz_support.h"
#include "host/wince_hal_access.h"

namespace druvex::fuzz {

inline const std::shared_ptr<HalAccessWinCE>& fuzzHost()
{
    FuzzDevice::instance();
    static const std::shared_ptr<HalAccessWinCE> host = std::make_shared<HalAccessWinCE>();
    return host;
}

}  // namespace druvex::fuzz
